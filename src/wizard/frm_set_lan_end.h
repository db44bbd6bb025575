#pragma once
// The summary page for cameras without a wireless interface: shows the
// account and address that will be written, and its Restart writes them.
#include "wizard/program.h"

struct FrmsetLanEnd {
  static constexpr forms::WindowId Id = forms::WindowId::FrmsetLanEnd;
  explicit FrmsetLanEnd(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::Label LblID;
  forms::Label LblPassword;  // in plain text
  forms::Label LblIP;
  forms::Label LblSubnet;
  forms::Label LblAccess;  // shown for a camera without access control
  forms::Button CmdBack;
  forms::Button CmdRestart;

  void Form_Load() {}
  void Form_Activate();
  void CmdBack_Click();
  void CmdRestart_Click();
};
