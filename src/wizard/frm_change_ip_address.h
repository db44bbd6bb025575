#pragma once
// The change-address dialog: gives a camera with a doubtful address a new
// IP address, subnet mask and gateway directly, then searches again.
#include <cstdint>

#include "wizard/program.h"

struct FrmChangeIPAddress {
  static constexpr forms::WindowId Id = forms::WindowId::FrmChangeIPAddress;
  explicit FrmChangeIPAddress(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::Control Frame2;
  forms::Label Label1{{}, u"Change IP Address"};
  forms::Control Frame1;
  forms::Label Label4{{}, u"IP Address "};
  forms::TextBox Text1;
  forms::Label Label5{{}, u"Subnet Mask"};
  forms::TextBox Text2;
  forms::Label Label6{{}, u"Gateway"};
  forms::TextBox Text3;
  forms::Button CmdOk{{}, u"OK"};

  int32_t ChangeResult = 0;  // what ChangeAddress answered; kept, not examined

  void Form_Load();
  void CmdOk_Click();

 private:
  bool EntriesAccepted();
  bool SendNewAddress();
};
