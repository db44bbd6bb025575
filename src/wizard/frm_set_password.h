#pragma once
// The administrator account page, the wizard's first page: the user proves he
// knows the camera's administrator ID and password and may choose new ones,
// each typed twice.
#include "wizard/program.h"

struct FrmSetPassword {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSetPassword;
  explicit FrmSetPassword(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::TextBox TxtOldSysAdminID;  // the launch prefills it after a wizard login
  forms::TextBox TxtOldPassword;
  forms::CheckBox ChkUserName;
  forms::TextBox TxtNewUserName;
  forms::TextBox TxtUserNameReconfirm;
  forms::CheckBox ChkPassword;
  forms::TextBox TxtNewPassword;
  forms::TextBox TxtReconfirm;
  forms::Button CmdBack;
  forms::Button CmdNext;
  forms::Button CmdExit;

  void Form_Load();
  void Form_Activate();
  void ChkUserName_Click();
  void ChkPassword_Click();
  void CmdNext_Click();
  void CmdBack_Click();
  void CmdExit_Click();

 private:
  bool EmptyPasswordConfirmed();
};
