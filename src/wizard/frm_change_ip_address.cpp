#include "wizard/frm_change_ip_address.h"

#include <exception>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "wizard/come_back.h"
#include "wizard/frm_main.h"
#include "wizard/address_checks.h"

FrmChangeIPAddress::FrmChangeIPAddress(Program& program) : program(program) {
  CmdOk.tabIndex = 0;
  Text1.tabIndex = 1;
  Text2.tabIndex = 2;
  Text3.tabIndex = 3;
  forms::SetFocus(form, CmdOk);
}

void FrmChangeIPAddress::Form_Load() {
  Text1.text = program.state.CurrentIPAddress;
  Text2.text = program.state.CurrentSubnetMask;
  Text3.text = program.state.CurrentGateway;
}

void FrmChangeIPAddress::CmdOk_Click() {
  Program& p = program;
  WizardState& state = p.state;
  if (!EntriesAccepted()) return;

  p.desktop.SetMousePointer(forms::Hourglass);
  const WizardState before = state;
  bool sent = false;
  try {
    sent = SendNewAddress();
  } catch (const std::exception& error) {
    // Nothing is known to have changed: keep the address the list shows.
    state.CurrentIPAddress = before.CurrentIPAddress;
    state.CurrentSubnetMask = before.CurrentSubnetMask;
    state.CurrentGateway = before.CurrentGateway;
    ShowCameraError(p, error);
    return;
  }
  if (!sent) {
    p.desktop.SetMousePointer(forms::DefaultPointer);
    ShowAddressConflict(p, form, Text1);
    return;
  }

  // The camera takes the new address and comes back on it: our own
  // protocol's camera by a restart, an ONVIF camera wherever it must.
  const bool longer = NeedsExplicitRestart(state.DeviceVersion);
  std::vector<forms::Wait> waits{{forms::WaitStage::ComingBack, ComeBackMs}};
  if (longer) waits.push_back({forms::WaitStage::ComingBack, ComeBackLongerMs});
  const bool onvifRow = p.frmMain && p.frmMain->LaunchedOnvifRow;
  p.desktop.WaitsAhead(waits, SoughtCamera(p, {state.CurrentIPAddress, state.CurrentSubnetMask, state.CurrentGateway},
                                           before.CurrentIPAddress, !onvifRow));
  if (longer) {
    WaitForCameraBack(p.desktop, {ComeBackMs, ComeBackLongerMs});
  } else {
    WaitForCameraBack(p.desktop, {ComeBackMs});
  }
  Unload(p, p.frmMain);
  Show(p, p.frmMain);
  Unload(p, p.changeIPAddress);
  p.desktop.SetMousePointer(forms::DefaultPointer);
}

// A mistyped address would send the camera where it cannot be reached, so
// the entries pass the IP address page's checks before anything is sent.
bool FrmChangeIPAddress::EntriesAccepted() {
  const std::optional<AddressRefusal> refusal = CheckAddressEntries(Text1.text, Text2.text, Text3.text);
  if (!refusal) return true;
  forms::TextBox& field = refusal->field == AddressField::IPAddress    ? Text1
                          : refusal->field == AddressField::SubnetMask ? Text2
                                                                       : Text3;
  RefuseEntry(program, form, field, refusal->message, program.state.MessageTitle);
  return false;
}

// False when another camera already has the typed address; nothing is
// changed then. An ONVIF row is spoken to in ONVIF at its own service, and
// the camera control changes its address only once it proves to be the
// camera chosen.
bool FrmChangeIPAddress::SendNewAddress() {
  device::CameraControl& camTemp = program.CamTemp;
  WizardState& state = program.state;
  const bool onvifRow = program.frmMain && program.frmMain->LaunchedOnvifRow;
  camTemp.ProtocolOption(onvifRow ? protocol::OnvifProtocolOption : 0);
  camTemp.ProtocolFamily(state.DeviceFamily);
  AimAtRowService(program.cam, camTemp, onvifRow, state.DeviceFamily);
  camTemp.TargetAddress(Text1.text);
  constexpr int32_t AddressTaken = -1;
  if (camTemp.AddressInUse() == AddressTaken) return false;
  camTemp.TargetMac(state.DeviceMac);
  state.CurrentIPAddress = Text1.text;
  state.CurrentSubnetMask = Text2.text;
  state.CurrentGateway = Text3.text;
  ChangeResult = camTemp.ChangeAddress(state.CurrentIPAddress, state.CurrentSubnetMask, state.CurrentGateway);
  camTemp.ApplySettings(1, 0);
  return true;
}
