#pragma once
// The summary page for cameras with a wireless interface: shows what will be
// written, and its Restart writes everything into the camera.
#include "wizard/program.h"

struct FrmSetupEnd {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSetupEnd;
  explicit FrmSetupEnd(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::Label LblID;
  forms::Label LblPassword;  // in plain text
  forms::Label LblIP;
  forms::Label LblSubnet;
  forms::Label LblSSID;
  forms::Label LblChannel;
  forms::Label LblWebKey;  // the new key in plain text, or the current one masked
  forms::Label LblAccess;  // shown for a camera without access control
  forms::Button CmdBack;
  forms::Button CmdRestart;

  void Form_Load() {}
  void Form_Activate();
  void CmdBack_Click();
  void CmdRestart_Click();
};
