#pragma once
// The wizard login: the launch shows it modally for cameras that need a
// login before anything else, and reads what was entered once it is hidden.
#include <string>

#include "wizard/program.h"
#include "wizard/login_dialog.h"

struct frmchackIDPWD : LoginFields {
  static constexpr forms::WindowId Id = forms::WindowId::frmchackIDPWD;
  explicit frmchackIDPWD(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  // Written by OK only; the launch reads them after the dialog is hidden.
  std::u16string EnteredAdminID;
  std::u16string EnteredPassword;
  bool LoginCancelled = false;

  void Form_Load() {}
  void Form_Activate();
  void CmdYes_Click();
  void CmdCancel_Click();
};
