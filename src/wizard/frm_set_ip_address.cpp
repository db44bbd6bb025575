#include "wizard/frm_set_ip_address.h"

#include "wizard/frm_main.h"
#include "bits/modBitOps.h"
#include "base/text.h"
#include "wizard/address_checks.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_wireless.h"

FrmSetIPAddress::FrmSetIPAddress(Program& program) : program(program) {
  TxtIPAddress.name = "TxtIPAddress";
  TxtSubnetMask.name = "TxtSubnetMask";
  TxtGateway.name = "TxtGateway";
  CmdBack.name = "CmdBack";
  CmdNext.name = "CmdNext";
  CmdExit.name = "CmdExit";
  int16_t tab = 0;
  for (forms::Control* control : std::initializer_list<forms::Control*>{&TxtSubnetMask, &CmdBack, &CmdNext, &CmdExit,
                                                                        &TxtGateway, &TxtIPAddress}) {
    control->tabIndex = tab++;
  }
  forms::SetFocus(form, TxtSubnetMask);
}

void FrmSetIPAddress::Form_Load() {
  TxtIPAddress.text = program.state.NewIPAddress;
  TxtSubnetMask.text = program.state.NewSubnetMask;
  TxtGateway.text = program.state.NewGateway;
}

// Another row of the main list shows the typed address (blanks around either
// text do not count). The camera's own address is no conflict.
bool FrmSetIPAddress::AddressTakenByAnotherCamera() {
  std::u16string_view typed = base::TrimBlanks(TxtIPAddress.text);
  if (typed == base::TrimBlanks(program.state.CurrentIPAddress)) return false;
  forms::ListView& list = program.frmMain->List;
  for (int16_t row = 0; row < program.state.DeviceCount; ++row) {
    if (base::TrimBlanks(list.CellText(row, 1)) == typed) return true;
  }
  return false;
}

void FrmSetIPAddress::CmdNext_Click() {
  WizardState& state = program.state;
  if (auto refusal = CheckAddressEntries(TxtIPAddress.text, TxtSubnetMask.text, TxtGateway.text)) {
    forms::TextBox& field = refusal->field == AddressField::IPAddress    ? TxtIPAddress
                            : refusal->field == AddressField::SubnetMask ? TxtSubnetMask
                                                                         : TxtGateway;
    RefuseEntry(program, form, field, refusal->message, state.MessageTitle);
    return;
  }
  program.desktop.SetMousePointer(forms::Hourglass);
  if (AddressTakenByAnotherCamera()) {
    program.desktop.SetMousePointer(forms::DefaultPointer);
    ShowAddressConflict(program, form, TxtIPAddress);
    return;
  }
  state.NewIPAddress = TxtIPAddress.text;
  state.NewSubnetMask = TxtSubnetMask.text;
  state.NewGateway = TxtGateway.text;
  if (modBitOps::BitTestLong(state.DeviceType, WirelessBit) == True) {
    Show(program, program.wireless);
  } else {
    Show(program, program.setLanEnd);
  }
  program.desktop.SetMousePointer(forms::DefaultPointer);
  Hide(program, program.setIPAddress);
}

void FrmSetIPAddress::CmdBack_Click() {
  Show(program, program.setPassword);
  Hide(program, program.setIPAddress);
}

void FrmSetIPAddress::CmdExit_Click() { program.desktop.EndProgram(); }
