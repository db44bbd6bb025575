#include "wizard/come_back.h"

#include <algorithm>

#include "device/camera_text.h"
#include "wizard/apply_settings.h"
#include "wizard/frm_main.h"
#include "wizard/program.h"

namespace {

// A gateway reported as 0.0.0.0 is no gateway, as an empty one.
bool SameSetting(const std::u16string& wanted, const std::u16string& reported) {
  const auto none = [](const std::u16string& value) { return value.empty() || value == u"0.0.0.0"; };
  return wanted == reported || (none(wanted) && none(reported));
}

bool AtEitherAddress(const forms::CameraSought& sought, const std::u16string& address) {
  return address == sought.address || address == sought.previousAddress;
}

}  // namespace

bool IsSoughtCamera(const forms::CameraSought& sought, const CameraSighting& seen) {
  if (!sought.mac.empty() && !seen.mac.empty()) return sought.mac == seen.mac;
  if (sought.servicePort != 0) return seen.servicePort == sought.servicePort && seen.servicePath == sought.servicePath;
  return true;  // nothing to tell it by: its address decides
}

bool IsCameraBack(const forms::CameraSought& sought, const CameraSighting& seen, bool wentSilent) {
  if (!IsSoughtCamera(sought, seen) || seen.address != sought.address) return false;
  // An ONVIF answer reports no mask or gateway; our own protocol's does.
  if (sought.servicePort == 0 && (!SameSetting(sought.mask, seen.mask) || !SameSetting(sought.gateway, seen.gateway))) {
    return false;
  }
  // At the same address it answers until it goes down; at a new one only
  // once it restarted.
  return !sought.restarts || wentSilent || sought.address != sought.previousAddress;
}

bool MissesCamera(const forms::CameraSought& sought, const std::vector<CameraSighting>& heard) {
  return std::none_of(heard.begin(), heard.end(), [&sought](const CameraSighting& seen) {
    return AtEitherAddress(sought, seen.address) && IsSoughtCamera(sought, seen);
  });
}

void WaitForCameraBack(forms::Desktop& desktop, const std::vector<int32_t>& waits) {
  for (const int32_t wait : waits) {
    if (desktop.WaitForCamera(wait, false) == forms::CameraSeen::Back) return;
  }
  desktop.WaitForCamera(LookOnMs, true);
}

forms::CameraSought SoughtCamera(const Program& program, const NewAddress& next, const std::u16string& previousAddress,
                                 bool restarts) {
  forms::CameraSought sought;
  sought.mac = program.state.DeviceMac;
  sought.address = next.address;
  sought.mask = next.mask;
  sought.gateway = next.gateway;
  sought.previousAddress = previousAddress;
  if (program.frmMain && program.frmMain->LaunchedOnvifRow) {
    sought.servicePort = program.frmMain->LaunchedService.port;
    sought.servicePath = program.frmMain->LaunchedService.path;
  }
  sought.restarts = restarts;
  return sought;
}

bool ChangesIdentity(const Program& program) {
  const WizardState& state = program.state;
  return AdminIDToWrite(state) != state.CurrentAdminID || AdminPasswordToWrite(state) != state.CurrentAdminPassword ||
         state.NewIPAddress != state.CurrentIPAddress || state.NewSubnetMask != state.CurrentSubnetMask ||
         state.NewGateway != state.CurrentGateway;
}

// A row is the camera when it is at the address and its MAC, where the row
// shows one, is the camera's.
ComeBackFinding FindComeBack(const forms::ListView& list, const forms::CameraSought& sought) {
  const std::u16string mac = sought.mac.empty() ? u"" : device::FormatMacText(sought.mac);
  const auto listedAt = [&](const std::u16string& address) {
    return std::any_of(list.rows.begin(), list.rows.end(), [&](const forms::ListView::Row& row) {
      return row.cells[1] == address && (mac.empty() || row.cells[0].empty() || row.cells[0] == mac);
    });
  };
  if (listedAt(sought.address)) return ComeBackFinding::AtNewAddress;
  if (!sought.previousAddress.empty() && listedAt(sought.previousAddress)) return ComeBackFinding::AtOldAddress;
  return ComeBackFinding::NotFound;
}

namespace {

std::u16string Finding(const std::u16string& camera, ComeBackFinding finding, const forms::CameraSought& sought) {
  switch (finding) {
    case ComeBackFinding::AtNewAddress:
      return camera + u" answers at " + sought.address;
    case ComeBackFinding::AtOldAddress:
      return camera + u" did not take the new address — it answers at " + sought.previousAddress;
    case ComeBackFinding::NotFound:
      break;
  }
  return camera + u" did not answer yet — search again in a moment";
}

}  // namespace

std::u16string ComeBackNews(const std::u16string& name, ComeBackFinding finding, const forms::CameraSought& sought,
                            const std::u16string& unconfirmed) {
  const std::u16string news = Finding(name.empty() ? u"The camera" : name, finding, sought);
  return unconfirmed.empty() ? news : news + u"; " + unconfirmed;
}
