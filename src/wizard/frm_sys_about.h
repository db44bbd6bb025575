#pragma once
#include "app/program.h"

struct FrmSysAbout {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSysAbout;
  explicit FrmSysAbout(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
