#pragma once
#include "app/program.h"

struct FrmSetIPAddress {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSetIPAddress;
  explicit FrmSetIPAddress(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
