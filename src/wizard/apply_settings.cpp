#include "wizard/apply_settings.h"

#include <vector>

#include "wizard/come_back.h"
#include "wizard/frm_main.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_wireless.h"

namespace {

// Fixed waits for the camera to take the settings and come back.
constexpr int32_t AfterApplyMs = 1000;
constexpr int32_t AfterRestartMs = 5000;

// The camera's setting word for "address set by hand".
constexpr int16_t FixedAddress = 1;

}  // namespace

const std::u16string& AdminIDToWrite(const WizardState& state) {
  return state.ChangeAdminID == True ? state.NewAdminID : state.CurrentAdminID;
}

const std::u16string& AdminPasswordToWrite(const WizardState& state) {
  return state.ChangeAdminPassword == True ? state.NewAdminPassword : state.CurrentAdminPassword;
}

void ShowAccessControl(const Program& program, forms::Label& line) {
  const bool open =
      program.state.DeviceFamily == FamilyPlain || (program.frmMain && program.frmMain->LaunchedOpenCamera);
  line.caption = open ? NoAccessControlText : u"";
  line.visible = open;
}

void WriteAccountAndAddressAndApply(Program& program) {
  const WizardState& state = program.state;
  device::CameraControl& camera = program.CamTemp;
  camera.LoginID(state.CurrentAdminID);
  camera.LoginPassword(state.CurrentAdminPassword);
  camera.SetSetting(u"SysAdminID", AdminIDToWrite(state));
  camera.SetSetting(u"SysAdminPassword", AdminPasswordToWrite(state));
  camera.SetSetting(u"SysIPAssignment", FixedAddress);
  camera.SetSetting(u"SysIPAddress", state.NewIPAddress);
  camera.SetSetting(u"SysSubnetMask", state.NewSubnetMask);
  camera.SetSetting(u"SysDefaultGateway", state.NewGateway);
  // Read back before the apply; the answers are not needed.
  camera.GetSettingText(u"SysIPAddress");
  camera.GetSettingText(u"SysSubnetMask");
  camera.GetSettingText(u"SysDefaultGateway");
  // What the camera looks like once back, taken before the apply: our own
  // protocol's camera restarts by itself for a new identity.
  const bool explicitRestart = NeedsExplicitRestart(state.DeviceVersion);
  const bool onvifRow = program.frmMain && program.frmMain->LaunchedOnvifRow;
  const forms::CameraSought sought =
      SoughtCamera(program, {state.NewIPAddress, state.NewSubnetMask, state.NewGateway}, state.CurrentIPAddress,
                   explicitRestart || (!onvifRow && ChangesIdentity(program)));
  camera.ApplySettings(1, 0);

  // The camera applies; firmware that restarts only when told keeps its
  // time for that. From then on each wait ends once the camera is back.
  std::vector<forms::Wait> waits{{forms::WaitStage::ApplyingSettings, AfterApplyMs}};
  if (explicitRestart) waits.push_back({forms::WaitStage::Restarting, AfterRestartMs});
  waits.push_back({forms::WaitStage::ComingBack, ComeBackMs});
  if (explicitRestart) waits.push_back({forms::WaitStage::ComingBack, ComeBackLongerMs});
  program.desktop.WaitsAhead(waits, sought);
  if (explicitRestart) {
    program.desktop.Sleep(AfterApplyMs);
    camera.Restart();
    WaitForCameraBack(program.desktop, {AfterRestartMs, ComeBackMs, ComeBackLongerMs});
  } else {
    WaitForCameraBack(program.desktop, {AfterApplyMs, ComeBackMs});
  }
  // The camera answers in the computer's network now, or never through the
  // temporary address again: it goes.
  program.cam.RemoveTemporaryAddress();
}

void CloseWizardAndReopenMain(Program& program, WizardKind kind) {
  Unload(program, program.chackPassWord);
  Unload(program, program.setIPAddress);
  Unload(program, program.setPassword);
  if (kind == WizardKind::Wireless) Unload(program, program.wireless);
  Unload(program, program.frmMain);
  Show(program, program.frmMain);
}
