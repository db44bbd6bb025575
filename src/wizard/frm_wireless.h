#pragma once
#include "app/program.h"

struct FrmWireless {
  static constexpr forms::WindowId Id = forms::WindowId::FrmWireless;
  explicit FrmWireless(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
