#pragma once
#include "app/program.h"

struct FrmMessage {
  static constexpr forms::WindowId Id = forms::WindowId::FrmMessage;
  explicit FrmMessage(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
