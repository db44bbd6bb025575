#pragma once
#include "app/program.h"

struct FrmSetPassword {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSetPassword;
  explicit FrmSetPassword(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
