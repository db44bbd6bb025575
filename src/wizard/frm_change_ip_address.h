#pragma once
#include "app/program.h"

struct FrmChangeIPAddress {
  static constexpr forms::WindowId Id = forms::WindowId::FrmChangeIPAddress;
  explicit FrmChangeIPAddress(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
