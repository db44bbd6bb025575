#pragma once
#include "app/program.h"

struct frmchackIDPWD {
  static constexpr forms::WindowId Id = forms::WindowId::frmchackIDPWD;
  explicit frmchackIDPWD(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
