#include "wizard/frm_main.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <vector>

#include "bits/modBitOps.h"
#include "protocol/wire.h"
#include "base/text.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_message.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_sys_about.h"

namespace {

constexpr std::u16string_view LoginFamilyMark = u"350";
constexpr size_t LongestAdminID = 12;
constexpr size_t LongestAdminPassword = 8;

// A count or a result kept in 16 bits: out-of-range values stay on their side
// of zero instead of wrapping, so "none" and "some" never swap.
int16_t ClampToInt16(int32_t value) {
  return static_cast<int16_t>(
      std::clamp<int32_t>(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

// The desktop hears that the search runs, however it ends.
struct SearchAnnouncement {
  explicit SearchAnnouncement(forms::Desktop& desktop) : desktop(desktop) { desktop.SearchBegins(); }
  ~SearchAnnouncement() { desktop.SearchEnds(); }
  SearchAnnouncement(const SearchAnnouncement&) = delete;
  SearchAnnouncement& operator=(const SearchAnnouncement&) = delete;
  forms::Desktop& desktop;
};

// The title of the messages about reaching cameras, which the wizard of
// old did not have: the program's name rather than an empty bar.
const std::u16string ReachTitle = u"Sentrova";

}  // namespace

bool IsOnvifMode(const std::u16string& mode) { return mode == protocol::OnvifModeText || mode == OpenOnvifModeText; }

int16_t FamilyOfMode(const std::u16string& mode) {
  const bool login = IsOnvifMode(mode) || mode.find(LoginFamilyMark) != std::u16string::npos;
  return login ? FamilyLogin : FamilyPlain;
}

RowService AimAtRowService(device::CameraControl& cam, device::CameraControl& camTemp, bool onvifRow, int16_t family) {
  if (!onvifRow) {
    camTemp.TargetPort(protocol::HttpPortForFamily(family));
    return {};
  }
  RowService service{cam.DevicePort(), {}};
  camTemp.TargetPort(service.port);
  service.path = cam.DeviceServicePath();
  camTemp.TargetServicePath(service.path);
  camTemp.TargetLinkLocal(cam.DeviceLinkLocal());
  return service;
}

void ShowCameraError(Program& program, const std::exception& error) {
  program.desktop.SetMousePointer(forms::DefaultPointer);
  program.desktop.MessageBox(u"Camera Error . " + base::FromUtf8(error.what()), program.state.MessageTitle,
                             forms::MsgIcon::Critical, forms::MsgButtons::OK);
}

FrmMain::FrmMain(Program& program) : program(program) {
  List.headers = {u"Mac Address", u"Current IP Address", u"Assigned", u"Mode", u"Network"};
}

void FrmMain::Form_Load() { SearchDevices(); }

void FrmMain::Form_Activate() { program.cam.RemoveTemporaryAddress(); }

std::u16string OutsideRowTip(const std::u16string& networks) {
  if (networks.empty()) return u"Outside this computer's networks";
  return u"Outside this computer's networks (" + networks + u")";
}

void FrmMain::Command1_Click() { SearchDevices(); }

// The list shows what the camera control delivered, as it delivered it. When
// the control fails part way, the rows read so far stay and the count
// matches them.
void FrmMain::SearchDevices() {
  Program& p = program;
  WizardState& state = p.state;
  p.desktop.SetMousePointer(forms::Hourglass);
  List.ClearRows();
  state.DeviceCount = 0;
  try {
    {
      const SearchAnnouncement announced(p.desktop);
      p.cam.Search();
    }
    const int16_t found = ClampToInt16(p.cam.FoundCount());
    for (int16_t i = 0; i < found; ++i) AddFoundRow(i);
  } catch (const std::exception& error) {
    ShowCameraError(p, error);
  }
  p.desktop.SetMousePointer(forms::DefaultPointer);
}

// Row `row` from found camera `row`, counted as soon as the row exists.
void FrmMain::AddFoundRow(int16_t row) {
  device::CameraControl& cam = program.cam;
  cam.DeviceIndex(row);
  List.AddRow(cam.DeviceCaption(), row);
  program.state.DeviceCount = static_cast<int16_t>(row + 1);
  List.CellText(row, 0, device::FormatMacText(cam.DeviceMacText()));
  List.CellText(row, 1, cam.DeviceAddress());
  const std::u16string address = cam.DeviceAddress();
  if (device::IsAssignedAddress(address)) List.CellText(row, 2, u"ok");
  List.CellText(row, 3, cam.DeviceMode());
  ShowNote(row);
}

void FrmMain::ShowNote(int16_t row) {
  device::CameraControl& cam = program.cam;
  const std::u16string note = cam.DeviceNote();
  List.CellText(row, 4, note);
  const bool outside = note.find(device::OutsideNetworkNote) != std::u16string::npos;
  List.RowTip(row, outside ? OutsideRowTip(cam.DeviceNetworks()) : u"");
}

void FrmMain::ShowListNews() {
  Program& p = program;
  try {
    for (int16_t row = 0; row < p.state.DeviceCount; ++row) {
      p.cam.DeviceIndex(row);
      List.CellText(row, 1, p.cam.DeviceAddress());  // a camera that took a new address announces it
      ShowNote(row);
    }
    const int16_t found = ClampToInt16(p.cam.FoundCount());
    for (int16_t row = p.state.DeviceCount; row < found; ++row) AddFoundRow(row);
  } catch (const std::exception& error) {
    ShowCameraError(p, error);
  }
}

void FrmMain::AddCameraByAddress(const std::u16string& address) {
  Program& p = program;
  p.desktop.SetMousePointer(forms::Hourglass);
  std::u16string refusal;
  try {
    refusal = p.cam.AddCamera(address);
  } catch (const std::exception& error) {
    ShowCameraError(p, error);
    return;
  }
  p.desktop.SetMousePointer(forms::DefaultPointer);
  if (!refusal.empty()) {
    p.desktop.MessageBox(refusal, ReachTitle, forms::MsgIcon::Exclamation, forms::MsgButtons::OK);
    return;
  }
  const int16_t before = p.state.DeviceCount;
  ShowListNews();
  // The new row, or the row that listed the camera already.
  const std::u16string host = address.substr(0, address.find(u':'));
  int32_t row = p.state.DeviceCount > before ? p.state.DeviceCount - 1 : forms::NoSelectedRow;
  for (int16_t listed = 0; row == forms::NoSelectedRow && listed < p.state.DeviceCount; ++listed) {
    if (List.CellText(listed, 1) == host) row = listed;
  }
  if (row == forms::NoSelectedRow) return;
  List.selectedRow = row;
  List_Event9();
}

bool FrmMain::HasSelectedDevice() {
  return program.state.DeviceCount > 0 && List.SelectedRow() != forms::NoSelectedRow;
}

void FrmMain::ReadSelectedDevice() {
  device::CameraControl& cam = program.cam;
  WizardState& state = program.state;
  const int32_t row = List.SelectedRow();
  cam.DeviceIndex(row);
  state.DeviceMac = cam.DeviceMacText();
  state.CurrentIPAddress = List.CellText(row, 1);
  state.DeviceVersion = cam.DeviceVersionText();
  state.CurrentSubnetMask = cam.DeviceSubnetMask();
  state.CurrentGateway = cam.DeviceGateway();
}

void FrmMain::SelectDevice() {
  ReadSelectedDevice();
  program.cam.ProtocolFamily(FamilyPlain);
  program.cam.ProtocolOption(0);
}

void FrmMain::List_Event9() {
  if (!HasSelectedDevice()) return;
  try {
    SelectDevice();
  } catch (const std::exception& error) {
    ShowCameraError(program, error);
  }
}

// Only a well-formed address reaches the browser; the address comes from the
// network and is never trusted as it is.
void FrmMain::List_Event10() {
  if (!HasSelectedDevice()) return;
  try {
    SelectDevice();
  } catch (const std::exception& error) {
    ShowCameraError(program, error);
    return;
  }
  if (const std::optional<std::string> page = device::CameraWebPage(program.state.CurrentIPAddress)) {
    program.desktop.OpenWebPage(*page);
  }
}

void FrmMain::CmdLink_Click() {
  if (program.state.DeviceCount > 0) List_Event10();
}

void FrmMain::CmdWizard_Click() {
  Program& p = program;
  if (!HasSelectedDevice()) {
    p.desktop.SetMousePointer(forms::DefaultPointer);
    return;
  }
  bool opensWizard = false;
  try {
    opensWizard = LaunchWizard();
  } catch (const std::exception& error) {
    // The login dialog and the administrator page (prefilled with this
    // camera's login) go with the failed launch; the main window stays.
    Unload(p, p.chackIDPWD);
    Unload(p, p.setPassword);
    p.cam.RemoveTemporaryAddress();
    ShowCameraError(p, error);
    return;
  }
  if (!opensWizard) {
    p.cam.RemoveTemporaryAddress();  // the wizard does not start: nothing is changed through it
    return;
  }
  p.desktop.SetMousePointer(forms::DefaultPointer);
  Show(p, p.setPassword);
  Hide(p, p.frmMain);
}

// Connects to the selected camera and reads its settings into the wizard
// state. False when the launch stops before the first page: the warning, a
// cancelled login or a refused connection.
bool FrmMain::LaunchWizard() {
  Program& p = program;
  device::CameraControl& cam = p.cam;
  device::CameraControl& camTemp = p.CamTemp;
  WizardState& state = p.state;

  p.desktop.SetMousePointer(forms::Hourglass);
  ReadSelectedDevice();
  const std::u16string mode = cam.DeviceMode();
  // An ONVIF row: login first, like family 2, and spoken to in ONVIF.
  const bool onvifRow = IsOnvifMode(mode);
  LaunchedOnvifRow = onvifRow;
  LaunchedOpenCamera = false;
  state.DeviceFamily = FamilyOfMode(mode);
  cam.ProtocolFamily(state.DeviceFamily);
  cam.ProtocolOption(0);

  int32_t sameAddress = 0;
  for (int32_t row = 0; row < state.DeviceCount; ++row) {
    if (List.CellText(row, 1) == state.CurrentIPAddress) ++sameAddress;
  }

  camTemp.ProtocolFamily(state.DeviceFamily);
  camTemp.ProtocolOption(onvifRow ? protocol::OnvifProtocolOption : 0);
  camTemp.TargetAddress(state.CurrentIPAddress);
  camTemp.TargetMac(state.DeviceMac);
  // Nothing of the last camera's login goes to this one: the login dialog,
  // and for a camera without one the summary, puts what this camera takes.
  camTemp.LoginID(u"");
  camTemp.LoginPassword(u"");
  // An ONVIF row is spoken to where its own service address (found in the
  // search) says its device service is: that port and path. Our own cameras
  // at their family's port.
  LaunchedService = AimAtRowService(cam, camTemp, onvifRow, state.DeviceFamily);
  camTemp.ProtocolFamily(state.DeviceFamily);

  if (sameAddress >= 2) {
    p.desktop.SetMousePointer(forms::DefaultPointer);
    Show(p, p.message);
    return false;
  }

  // An ONVIF camera outside the computer's networks cannot be spoken to as
  // it is; our own protocol's cameras are re-addressed by MAC instead.
  if (onvifRow && cam.DeviceOutside() == True && !ReachOutsideCamera()) {
    p.desktop.SetMousePointer(forms::DefaultPointer);
    return false;
  }

  if (state.DeviceFamily != 0) {
    p.desktop.SetMousePointer(forms::DefaultPointer);
    Show(p, p.chackIDPWD, true);
    // A dialog closed by other means than its buttons counts as cancelled.
    if (!p.chackIDPWD || p.chackIDPWD->LoginCancelled) {
      Unload(p, p.chackIDPWD);
      return false;
    }
    camTemp.LoginID(p.chackIDPWD->EnteredAdminID);
    camTemp.LoginPassword(p.chackIDPWD->EnteredPassword);
    Unload(p, p.chackIDPWD);
    p.desktop.SetMousePointer(forms::Hourglass);
  }

  LoginResult = ClampToInt16(camTemp.Connect());
  if (LoginResult == 0) {
    p.desktop.SetMousePointer(forms::DefaultPointer);
    Show(p, p.message);
    return false;
  }

  if (onvifRow) ReadOnvifCamera();
  // Both change flags are cleared before the administrator page is first
  // touched: its load refreshes the new-value pairs from them, and flags
  // left from another camera's run would put that camera's new ID and
  // password into this camera's fields.
  state.ChangeAdminID = False;
  state.ChangeAdminPassword = False;
  if (state.DeviceFamily != 0) {
    FrmSetPassword& adminPage = Load(p, p.setPassword);
    adminPage.TxtOldSysAdminID.text = camTemp.LoginID();
    adminPage.TxtOldPassword.text = camTemp.LoginPassword();
  }
  state.CurrentAdminID = camTemp.GetSettingText(u"SysAdminID").substr(0, LongestAdminID);
  state.CurrentAdminPassword = camTemp.GetSettingText(u"SysAdminPassword").substr(0, LongestAdminPassword);
  state.DeviceType = camTemp.GetSettingNumber(u"DeviceType");
  state.NewIPAddress = state.CurrentIPAddress;
  state.NewSubnetMask = state.CurrentSubnetMask;
  state.NewGateway = state.CurrentGateway;

  if (modBitOps::BitTestLong(state.DeviceType, WirelessBit) == True) {
    state.CurrentWlanMode = modBitOps::LongToInt(camTemp.GetSettingNumber(u"WlanMode"));
    state.NewWlanMode = state.CurrentWlanMode;
    state.CurrentWlanESSID = camTemp.GetSettingText(u"WlanESSID");
    state.NewWlanESSID = state.CurrentWlanESSID;
    state.CurrentWlanChannel = modBitOps::LongToInt(camTemp.GetSettingNumber(u"WlanChannel"));
    state.CurrentWlanWEPFlag = modBitOps::LongToInt(camTemp.GetSettingNumber(u"WlanWEPFlag"));
    state.CurrentWlanWEPKey = modBitOps::BitTestInteger(state.CurrentWlanWEPFlag, HexKeyBit) == True
                                  ? camTemp.GetSettingText(u"WlanWEPKeyHEX")
                                  : camTemp.GetSettingText(u"WlanWEPKey");
    state.ChangeWEPKey = False;
  }
  return true;
}

// Says why an ONVIF camera outside the computer's networks cannot be reached
// and what can be done; where this program may, offers to reach it through
// a temporary address of its subnet, and adds it once the user agrees. True
// when the camera can be spoken to now.
bool FrmMain::ReachOutsideCamera() {
  Program& p = program;
  device::CameraControl& cam = p.cam;
  const std::u16string& address = p.state.CurrentIPAddress;
  const std::u16string networks = cam.DeviceNetworks();
  const device::TemporaryAddressOffer offer = cam.OfferTemporaryAddress();
  p.desktop.SetMousePointer(forms::DefaultPointer);
  std::u16string text = u"The camera at " + address + u" is outside this computer's networks (" +
                        (networks.empty() ? u"none known" : networks) + u"), so Sentrova cannot reach it as it is.";
  const std::u16string otherWays =
      u"Otherwise, if the camera is reachable through a router, use \"Add camera by address…\"; or move the camera "
      u"into this computer's network with its maker's tool.";
  const std::u16string withPrefix = offer.address + u"/" + base::Decimal(offer.prefixLength);
  if (offer.address.empty()) {
    text += u"\n\nNo free address of the camera's subnet was found for this computer.\n\n" + otherWays;
    p.desktop.MessageBox(text, ReachTitle, forms::MsgIcon::Exclamation, forms::MsgButtons::OK);
    return false;
  }
  if (!offer.mayAdd) {
    text +=
        u"\n\nTo reach it, give this computer an address of the camera's subnet, then start the wizard again:\n  "
        u"sudo ip address add " +
        withPrefix + u" dev " + offer.interfaceName +
        u"\nOnce the camera is in this computer's network, remove that address again:\n  sudo ip address del " +
        withPrefix + u" dev " + offer.interfaceName + u"\n\n" + otherWays;
    p.desktop.MessageBox(text, ReachTitle, forms::MsgIcon::Exclamation, forms::MsgButtons::OK);
    return false;
  }
  text += u"\n\nSentrova will add the address " + withPrefix + u" to " + offer.interfaceName +
          u" while it changes this camera, and remove it afterwards. Add it now?\n\n" + otherWays;
  if (p.desktop.MessageBox(text, ReachTitle, forms::MsgIcon::Question, forms::MsgButtons::YesNo) !=
      forms::MsgAnswer::Yes) {
    return false;
  }
  if (!cam.AddTemporaryAddress(offer)) {
    p.desktop.MessageBox(u"Sentrova could not add the address " + withPrefix + u" to " + offer.interfaceName +
                             u". To add it by hand:\n  sudo ip address add " + withPrefix + u" dev " +
                             offer.interfaceName,
                         ReachTitle, forms::MsgIcon::Critical, forms::MsgButtons::OK);
    return false;
  }
  p.desktop.SetMousePointer(forms::Hourglass);
  return true;
}

// An ONVIF camera tells its settings only after the login, so the pages
// start from what it reads then; a value it does not give keeps the row's.
void FrmMain::ReadOnvifCamera() {
  device::CameraControl& camTemp = program.CamTemp;
  WizardState& state = program.state;
  const auto read = [&](const std::u16string& key, std::u16string& field) {
    std::u16string value = camTemp.GetSettingText(key);
    if (!value.empty()) field = std::move(value);
  };
  read(u"SysIPAddress", state.CurrentIPAddress);
  read(u"SysSubnetMask", state.CurrentSubnetMask);
  read(u"SysDefaultGateway", state.CurrentGateway);
  read(protocol::FirmwareVersionKey, state.DeviceVersion);
  read(protocol::MacAddressKey, state.DeviceMac);
  // A camera that takes commands without any login is marked and warned
  // about like our own family without one.
  LaunchedOpenCamera = camTemp.GetSettingNumber(protocol::NoLoginKey) == -1;
  if (LaunchedOpenCamera) List.CellText(List.SelectedRow(), 3, OpenOnvifModeText);
}

void FrmMain::CmdAbout_Click() {
  Program& p = program;
  const forms::Version version = p.desktop.ProgramVersion();
  Load(p, p.sysAbout).Label1.caption =
      base::Decimal(version.major) + u"." + base::Decimal(version.minor) + u"." + base::Decimal(version.revision);
  Show(p, p.sysAbout);
  Hide(p, p.frmMain);
}

void FrmMain::CmdExit_Click() { program.desktop.EndProgram(); }
