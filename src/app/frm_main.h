#pragma once
#include "app/program.h"

struct FrmMain {
  static constexpr forms::WindowId Id = forms::WindowId::FrmMain;
  explicit FrmMain(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
