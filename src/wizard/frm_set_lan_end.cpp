#include "wizard/frm_set_lan_end.h"

#include "wizard/frm_main.h"
#include "wizard/apply_settings.h"
#include "wizard/frm_set_ip_address.h"

FrmsetLanEnd::FrmsetLanEnd(Program& program) : program(program) {
  LblID.name = "LblID";
  LblPassword.name = "LblPassword";
  LblIP.name = "LblIP";
  LblSubnet.name = "LblSubnet";
  LblAccess.name = "LblAccess";
  CmdBack.name = "CmdBack";
  CmdBack.tabIndex = 0;
  CmdRestart.name = "CmdRestart";
  CmdRestart.tabIndex = 1;
}

void FrmsetLanEnd::Form_Activate() {
  const WizardState& state = program.state;
  LblID.caption = AdminIDToWrite(state);
  LblPassword.caption = AdminPasswordToWrite(state);
  LblIP.caption = state.NewIPAddress;
  LblSubnet.caption = state.NewSubnetMask;
  ShowAccessControl(program, LblAccess);
}

void FrmsetLanEnd::CmdBack_Click() {
  Show(program, program.setIPAddress);
  Hide(program, program.setLanEnd);
}

void FrmsetLanEnd::CmdRestart_Click() {
  Program& owner = program;
  owner.desktop.SetMousePointer(forms::Hourglass);
  try {
    WriteAccountAndAddressAndApply(owner);
  } catch (const device::CameraControlError& error) {
    ShowCameraError(owner, error);
    return;
  }
  owner.desktop.SetMousePointer(forms::DefaultPointer);
  CloseWizardAndReopenMain(owner, WizardKind::Wired);
  Unload(owner, owner.setLanEnd);
}
