#pragma once
// The login in front of the change-address dialog, opened from the
// invalid-address warning.
#include "wizard/program.h"
#include "wizard/login_dialog.h"

struct FrmChackPassWord : LoginFields {
  static constexpr forms::WindowId Id = forms::WindowId::FrmChackPassWord;
  explicit FrmChackPassWord(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  void Form_Load() {}
  void CmdYes_Click();
  void CmdCancel_Click();
};
