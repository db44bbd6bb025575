#pragma once
// The IP address page: the camera's new address, subnet mask and default
// gateway, refused when another listed camera already has the address.
#include "wizard/program.h"

struct FrmSetIPAddress {
  static constexpr forms::WindowId Id = forms::WindowId::FrmSetIPAddress;
  explicit FrmSetIPAddress(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::TextBox TxtIPAddress;
  forms::TextBox TxtSubnetMask;
  forms::TextBox TxtGateway;
  forms::Button CmdBack;
  forms::Button CmdNext;
  forms::Button CmdExit;

  // No activation handler: shown again, the page keeps what the user left.
  void Form_Load();
  void CmdNext_Click();
  void CmdBack_Click();
  void CmdExit_Click();

 private:
  bool AddressTakenByAnotherCamera();
};
