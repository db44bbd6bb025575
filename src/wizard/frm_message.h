#pragma once
// The warning shown instead of the wizard when the selected camera's address
// is doubtful: it offers to change the address at once.
#include <string>

#include "wizard/program.h"

// The first sentence, a run of 84 blanks that wraps the question onto a line
// of its own, and the question.
std::u16string InvalidAddressWarning();

struct FrmMessage {
  static constexpr forms::WindowId Id = forms::WindowId::FrmMessage;
  explicit FrmMessage(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::Control Frame1;
  forms::Label Label2{{}, InvalidAddressWarning()};
  forms::Button CmdYes{{}, u"Yes"};
  forms::Button CmdNo{{}, u"No"};

  void Form_Load() {}
  void CmdYes_Click();
  void CmdNo_Click();
};
