#pragma once
#include "app/program.h"

struct FrmSetupEnd {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSetupEnd;
  explicit FrmSetupEnd(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
