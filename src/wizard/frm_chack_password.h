#pragma once
#include "app/program.h"

struct FrmChackPassWord {
  static constexpr forms::WindowId Id = forms::WindowId::FrmChackPassWord;
  explicit FrmChackPassWord(Program& program) : program(program) {}
  Program& program;
  forms::FormModel form{u"Setup Wizard"};
  void Form_Load() {}
};
