#pragma once
#include "app/program.h"

struct FrmsetLanEnd {
  static constexpr forms::WindowId Id = forms::WindowId::FrmsetLanEnd;
  explicit FrmsetLanEnd(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
