#pragma once
// The about box: the program's version; OK goes back to the main window.
#include "wizard/program.h"

struct FrmSysAbout {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSysAbout;
  explicit FrmSysAbout(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::Label Label1{{}, u"2.21"};  // the main window writes the version before showing the box
  forms::Button CmdOk;

  void Form_Load() {}
  void CmdOk_Click();
};
