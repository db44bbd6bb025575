// Whole wizard runs with the real camera control against the simulator: the
// headless program, a fake desktop whose waits are instant, and cameras whose
// restart is short enough to be back before the main window searches again.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include "base/text.h"
#include "wizard/frm_main.h"
#include "wizard/program.h"
#include "device/net_camera_control.h"
#include "simulator.h"
#include "support/event_log.h"
#include "support/fake_desktop.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_message.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_wireless.h"

namespace {

using forms::WindowId;

std::u16string U(const QString& text) { return text.toStdU16String(); }

device::NetOptions WizardOptions(const Simulator& sim) {
  device::NetOptions options = sim.Options();
  options.probeInterval = std::chrono::milliseconds(40);   // the last copy finds a camera back from its restart
  options.onvifInterval = std::chrono::milliseconds(100);  // so does the last ONVIF round
  return options;
}

class WizardRun : public testing::Test {
 protected:
  explicit WizardRun(std::vector<SimCamera> cameras) : sim(std::move(cameras), 20) {}

  void Start() {
    ASSERT_TRUE(sim.Start());
    program.Start();
  }
  FrmMain& Main() { return *program.frmMain; }
  bool Visible(WindowId id) const { return desktop.visible.count(id) != 0; }
  int32_t RowOf(const QString& address) {
    for (int32_t row = 0; row < program.state.DeviceCount; ++row) {
      if (Main().List.CellText(row, 1) == U(address)) return row;
    }
    return -1;
  }
  // What reached the camera over HTTP, in order: "METHOD path status".
  std::vector<std::string> HttpSeen(int host) const {
    static const QRegularExpression pattern(u"http (\\w+) (\\S+).* status=(\\d+)"_qs);
    std::vector<std::string> seen;
    for (const QString& line : sim.LogLines({sim.Mac(host), u" http "_qs})) {
      const QRegularExpressionMatch match = pattern.match(line);
      if (match.hasMatch())
        seen.push_back((match.captured(1) + u' ' + match.captured(2) + u' ' + match.captured(3)).toStdString());
    }
    return seen;
  }
  // A control of our own that reads the camera as it is now.
  std::u16string ReadBack(int host, const QString& address, int family, const char16_t* id, const char16_t* password,
                          const char16_t* key) {
    device::NetCameraControl reader(sim.Options());
    reader.TargetAddress(U(address));
    reader.TargetMac(U(sim.Mac(host)));
    reader.TargetPort(family != 0 ? 80 : 8481);
    reader.LoginID(id);
    reader.LoginPassword(password);
    if (reader.Connect() == 0) return u"<no connect>";
    return reader.GetSettingText(key);
  }

  // ONVIF operations that reached the camera, in order: "Operation user status"
  // ("-" for no user).
  std::vector<std::string> OnvifSeen(int host) const {
    static const QRegularExpression pattern(u" onvif \\S+ op=(\\w+)(?: user=(\\S+))?.* status=(\\d+)"_qs);
    std::vector<std::string> seen;
    for (const QString& line : sim.LogLines({sim.Mac(host), u" onvif "_qs})) {
      const QRegularExpressionMatch match = pattern.match(line);
      if (!match.hasMatch()) continue;
      const QString user = match.captured(2).isEmpty() ? u"-"_qs : match.captured(2);
      seen.push_back((match.captured(1) + u' ' + user + u' ' + match.captured(3)).toStdString());
    }
    return seen;
  }
  // A control of our own that logs in to an ONVIF camera as it is now.
  std::u16string ReadOnvif(const QString& address, int port, const char16_t* id, const char16_t* password,
                           const char16_t* key) {
    device::NetCameraControl reader(sim.Options());
    reader.ProtocolOption(1);
    reader.TargetAddress(U(address));
    reader.TargetPort(port);
    reader.LoginID(id);
    reader.LoginPassword(password);
    if (reader.Connect() == 0) return u"<no connect>";
    return reader.GetSettingText(key);
  }
  // The settings file the simulator keeps for the camera at host.
  QJsonObject SavedSettings(int host) const {
    QFile file(sim.stateDir() + u'/' + sim.Mac(host) + u".json"_qs);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(u"settings"_qs).toObject();
  }
  void LoginWith(const char16_t* id, const char16_t* password) {
    desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this, id, password] {
      forms::Type(program.chackIDPWD->Text1, id);
      forms::Type(program.chackIDPWD->TxtPassWord, password);
      program.chackIDPWD->CmdYes_Click();
    });
  }

  Simulator sim;
  EventLog log;
  FakeDesktop desktop{log};
  device::NetCameraControl cam{WizardOptions(sim)};
  device::NetCameraControl camTemp{WizardOptions(sim)};
  Program program{desktop, cam, camTemp};
};

class WiredRun : public WizardRun {
 protected:
  WiredRun()
      : WizardRun({{.host = 10, .family = 0, .mode = u"C-100"_qs, .caption = u"Hall"_qs, .version = u"2.10.001"_qs},
                   {.host = 11, .family = 2, .mode = u"X-350"_qs, .caption = u"Gate"_qs, .version = u"2.11.003"_qs}}) {}
};

// A family-0 wired camera whose firmware restarts on request: new password
// and address written, applied, restarted, and listed at its new address.
TEST_F(WiredRun, NewPasswordAndAddressReachTheCamera) {
  Start();
  ASSERT_EQ(program.state.DeviceCount, 2);
  const int32_t row = RowOf(sim.Address(10));
  ASSERT_GE(row, 0);
  EXPECT_EQ(Main().List.CellText(row, 2), u"ok");
  EXPECT_EQ(Main().List.CellText(row, 3), u"C-100");
  Main().List.selectedRow = row;
  Main().CmdWizard_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetPassword)) << "a family-0 camera opens the wizard without a login";
  EXPECT_EQ(program.state.CurrentAdminID, u"admin");

  FrmSetPassword& admin = *program.setPassword;
  forms::Type(admin.TxtOldSysAdminID, u"admin");
  forms::Type(admin.TxtOldPassword, u"secret");
  admin.ChkPassword.value = 1;
  admin.ChkPassword_Click();
  forms::Type(admin.TxtNewPassword, u"newpw");
  forms::Type(admin.TxtReconfirm, u"newpw");
  admin.CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetIPAddress)) << (desktop.messages.empty() ? "" : "message shown");

  FrmSetIPAddress& address = *program.setIPAddress;
  forms::Type(address.TxtIPAddress, U(sim.Address(20)));
  address.CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmsetLanEnd));
  program.setLanEnd->CmdRestart_Click();

  EXPECT_EQ(HttpSeen(10), (std::vector<std::string>{
                              "GET /setup/v1/hello 200",
                              "GET /setup/v1/settings/SysAdminID 200",
                              "GET /setup/v1/settings/SysAdminPassword 200",
                              "GET /setup/v1/settings/DeviceType 200",
                              "GET /setup/v1/settings/SysIPAddress 200",
                              "GET /setup/v1/settings/SysSubnetMask 200",
                              "GET /setup/v1/settings/SysDefaultGateway 200",
                              "POST /setup/v1/apply 401",
                              "POST /setup/v1/apply 200",
                              "POST /setup/v1/restart 401",
                              "POST /setup/v1/restart 200",
                          }));
  ASSERT_TRUE(sim.WaitForLog({sim.Mac(10), u"state up"_qs, sim.Address(20)}));
  EXPECT_EQ(ReadBack(10, sim.Address(20), 0, u"admin", u"newpw", u"SysAdminPassword"), u"newpw");
  EXPECT_EQ(ReadBack(10, sim.Address(20), 0, u"admin", u"newpw", u"SysIPAddress"), U(sim.Address(20)));

  EXPECT_FALSE(Visible(WindowId::FrmsetLanEnd));
  ASSERT_TRUE(Visible(WindowId::FrmMain)) << "the main window is shown afresh";
  EXPECT_GE(RowOf(sim.Address(20)), 0) << "its new search lists the camera at its new address";
}

class WirelessRun : public WizardRun {
 protected:
  WirelessRun()
      : WizardRun({{.host = 12,
                    .family = 2,
                    .mode = u"X-350W"_qs,
                    .caption = u"Porch"_qs,
                    .version = u"2.11.003"_qs,
                    .wireless = true,
                    .settings = QJsonObject{{u"WlanESSID"_qs, u"home"_qs}, {u"WlanChannel"_qs, 6}}}}) {}
};

// A family-2 wireless camera behind the login: the login goes by MAC, the
// settings by Digest-authenticated HTTP; this firmware restarts by itself.
TEST_F(WirelessRun, LoginThenEveryPageToRestart) {
  Start();
  ASSERT_EQ(program.state.DeviceCount, 1);
  desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this] {  // a wrong password first
    forms::Type(program.chackIDPWD->Text1, u"admin");
    forms::Type(program.chackIDPWD->TxtPassWord, u"nope");
    program.chackIDPWD->CmdYes_Click();
  });
  desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this] {
    forms::Type(program.chackIDPWD->TxtPassWord, u"secret");
    program.chackIDPWD->CmdYes_Click();
  });
  Main().List.selectedRow = 0;
  Main().CmdWizard_Click();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text, u"Password Error . Please Re-Enter The Correct Password");
  ASSERT_TRUE(Visible(WindowId::FrmSetPassword));
  EXPECT_EQ(sim.LogLines({sim.Mac(12), u"udp login"_qs}).size(), 2) << "both logins went by MAC";

  FrmSetPassword& admin = *program.setPassword;
  EXPECT_EQ(admin.TxtOldSysAdminID.text, u"admin");
  EXPECT_EQ(admin.TxtOldPassword.text, u"secret");
  admin.ChkUserName.value = 1;
  admin.ChkUserName_Click();
  forms::Type(admin.TxtNewUserName, u"boss");
  forms::Type(admin.TxtUserNameReconfirm, u"boss");
  admin.CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetIPAddress));
  forms::Type(program.setIPAddress->TxtIPAddress, U(sim.Address(21)));
  program.setIPAddress->CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmWireless));

  FrmWireless& page = *program.wireless;
  EXPECT_EQ(page.txtWlanESSID.text, u"home") << "read from the camera at launch";
  forms::Type(page.txtWlanESSID, u"office");
  page.CboChannel.text = u"11";
  page.CheckEWK.value = 1;
  page.CheckEWK_Click();
  page.optWEPKeyFormat.selected = 1;
  page.optWEPKeyFormat_Click();
  forms::Type(page.txtNewWlanWEPKey, u"0123456789");
  forms::Type(page.txtWlanWEPKeyConfirm, u"0123456789");
  page.CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetupEnd));
  program.setupEnd->CmdRestart_Click();

  EXPECT_TRUE(sim.LogLines({sim.Mac(12), u"/setup/v1/restart"_qs}).isEmpty())
      << "this firmware is not asked to restart";
  ASSERT_TRUE(sim.WaitForLog({sim.Mac(12), u"state up"_qs, sim.Address(21)}));
  const QString moved = sim.Address(21);
  EXPECT_EQ(ReadBack(12, moved, 2, u"boss", u"secret", u"SysAdminID"), u"boss");
  EXPECT_EQ(ReadBack(12, moved, 2, u"boss", u"secret", u"WlanESSID"), u"office");
  EXPECT_EQ(ReadBack(12, moved, 2, u"boss", u"secret", u"WlanChannel"), u"11");
  EXPECT_EQ(ReadBack(12, moved, 2, u"boss", u"secret", u"WlanWEPKeyHEX"), u"0123456789");
  EXPECT_EQ(ReadBack(12, moved, 2, u"boss", u"secret", u"WlanWEPFlag"), u"256");
  EXPECT_EQ(ReadBack(12, moved, 2, u"admin", u"secret", u"SysAdminID"), u"<no connect>")
      << "the old ID no longer opens it";
}

// A network name the page takes and the camera refuses (longer than its 32
// characters): the summary's Restart stops at the camera's reason instead of
// waiting for a restart that never comes and reloading as if it had worked.
TEST_F(WirelessRun, RefusedApplyShowsTheCameraErrorAndStops) {
  Start();
  ASSERT_EQ(program.state.DeviceCount, 1);
  desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this] {
    forms::Type(program.chackIDPWD->Text1, u"admin");
    forms::Type(program.chackIDPWD->TxtPassWord, u"secret");
    program.chackIDPWD->CmdYes_Click();
  });
  Main().List.selectedRow = 0;
  Main().CmdWizard_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetPassword));
  program.setPassword->CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetIPAddress));
  forms::Type(program.setIPAddress->TxtIPAddress, U(sim.Address(22)));
  program.setIPAddress->CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmWireless));
  forms::Type(program.wireless->txtWlanESSID, std::u16string(40, u'n'));
  program.wireless->CmdNext_Click();
  ASSERT_TRUE(Visible(WindowId::FrmSetupEnd)) << "the page accepts the name";
  const qsizetype searches = sim.LogLines({u"sim udp probe"_qs}).size();
  desktop.messages.clear();

  program.setupEnd->CmdRestart_Click();

  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text, u"Camera Error . ApplySettings failed: WlanESSID: too long");
  EXPECT_EQ(desktop.messages[0].icon, forms::MsgIcon::Critical);
  EXPECT_TRUE(desktop.sleeps.empty()) << "no wait for a camera that is not restarting";
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
  EXPECT_TRUE(Visible(WindowId::FrmSetupEnd)) << "the summary stays, the wizard is not closed";
  EXPECT_EQ(sim.LogLines({u"sim udp probe"_qs}).size(), searches) << "the main window did not search again";
  EXPECT_EQ(HttpSeen(12).back(), "POST /setup/v1/apply 422");
  EXPECT_TRUE(sim.LogLines({sim.Mac(12), u"state silent"_qs}).isEmpty()) << "the camera did not restart";
  EXPECT_EQ(ReadBack(12, sim.Address(12), 2, u"admin", u"secret", u"WlanESSID"), u"home") << "nothing applied";
  EXPECT_EQ(ReadBack(12, sim.Address(12), 2, u"admin", u"secret", u"SysIPAddress"), U(sim.Address(12)));
}

class UnreachableRun : public WizardRun {
 protected:
  UnreachableRun()
      : WizardRun({{.host = 13,
                    .family = 2,
                    .mode = u"X-350"_qs,
                    .version = u"2.11.003"_qs,
                    .faults = QJsonObject{{u"refuseConnections"_qs, true}}},
                   {.host = 14, .family = 2, .mode = u"X-350"_qs, .version = u"2.11.003"_qs}}) {}
};

// A camera that answers discovery but refuses connections: the warning, the
// login by MAC and a new address given by MAC.
TEST_F(UnreachableRun, AddressChangedByMac) {
  Start();
  const int32_t row = RowOf(sim.Address(13));
  ASSERT_GE(row, 0);
  desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this] {
    forms::Type(program.chackIDPWD->Text1, u"admin");
    forms::Type(program.chackIDPWD->TxtPassWord, u"secret");
    program.chackIDPWD->CmdYes_Click();
  });
  Main().List.selectedRow = row;
  Main().CmdWizard_Click();
  ASSERT_TRUE(Visible(WindowId::FrmMessage)) << "Connect gave 0";
  program.message->CmdYes_Click();
  ASSERT_TRUE(Visible(WindowId::FrmChackPassWord));
  forms::Type(program.chackPassWord->Text1, u"admin");
  forms::Type(program.chackPassWord->TxtPassWord, u"secret");
  program.chackPassWord->CmdYes_Click();
  ASSERT_TRUE(Visible(WindowId::FrmChangeIPAddress));

  FrmChangeIPAddress& change = *program.changeIPAddress;
  forms::Type(change.Text1, U(sim.Address(14)));  // taken by the other camera
  change.CmdOk_Click();
  ASSERT_FALSE(desktop.messages.empty());
  EXPECT_EQ(desktop.messages.back().text, U(sim.Address(14)) + u"\r\n IP conflict !!");
  EXPECT_TRUE(sim.LogLines({u"udp change-address"_qs}).isEmpty()) << "nothing sent after a conflict";

  forms::Type(change.Text1, U(sim.Address(30)));
  change.CmdOk_Click();
  ASSERT_TRUE(sim.WaitForLog({sim.Mac(13), u"state up"_qs, sim.Address(30)}));
  EXPECT_EQ(sim.LogLines({sim.Mac(13), u"udp change-address"_qs}).size(), 1);
  EXPECT_EQ(sim.LogLines({sim.Mac(14), u"udp change-address"_qs}).size(), 0) << "only the chosen camera";
  ASSERT_TRUE(Visible(WindowId::FrmMain));
  EXPECT_GE(RowOf(sim.Address(30)), 0) << "listed at its new address by the new search";
}

class UnreachablePlainRun : public WizardRun {
 protected:
  UnreachablePlainRun()
      : WizardRun({{.host = 15,
                    .family = 0,
                    .mode = u"C-100"_qs,
                    .version = u"2.11.003"_qs,
                    .faults = QJsonObject{{u"refuseConnections"_qs, true}}}}) {}
};

// A family-0 camera needs no login: its login dialog grants access at once,
// the component never learns a password, and the camera takes the new
// address by MAC all the same.
TEST_F(UnreachablePlainRun, AddressChangedWithoutALogin) {
  Start();
  ASSERT_EQ(program.state.DeviceCount, 1);
  Main().List.selectedRow = 0;
  Main().CmdWizard_Click();
  ASSERT_TRUE(Visible(WindowId::FrmMessage));
  program.message->CmdYes_Click();
  program.chackPassWord->CmdYes_Click();  // fields left empty
  ASSERT_TRUE(Visible(WindowId::FrmChangeIPAddress));
  forms::Type(program.changeIPAddress->Text1, U(sim.Address(31)));
  program.changeIPAddress->CmdOk_Click();
  ASSERT_TRUE(sim.WaitForLog({sim.Mac(15), u"state up"_qs, sim.Address(31)}));
  EXPECT_TRUE(sim.LogLines({sim.Mac(15), u"udp login"_qs}).isEmpty());
  EXPECT_GE(RowOf(sim.Address(31)), 0);
}

// An ONVIF-only camera whose device service is on port 8080 and whose
// address change takes effect on a reboot.
class OnvifRun : public WizardRun {
 protected:
  explicit OnvifRun(QJsonObject faults = QJsonObject{{u"rebootNeeded"_qs, true}})
      : WizardRun({{.host = 40,
                    .family = 2,
                    .mode = u"DC-1"_qs,
                    .caption = u"Yard"_qs,
                    .version = u"2.10.001"_qs,
                    .faults = std::move(faults),
                    .protocols = {u"onvif"_qs},
                    .httpPort = OnvifPort}}) {}
  static constexpr int OnvifPort = 8080;

  // From the list to the summary page: the login, a new ID and password,
  // and a new address, mask and gateway.
  void ToSummary() {
    ASSERT_EQ(program.state.DeviceCount, 1);
    EXPECT_EQ(Main().List.CellText(0, 1), U(sim.Address(40)));
    EXPECT_EQ(Main().List.CellText(0, 3), u"ONVIF");
    EXPECT_EQ(Main().List.CellText(0, 0), device::FormatMacText(U(sim.Mac(40))));
    LoginWith(u"admin", u"secret");
    Main().List.selectedRow = 0;
    Main().CmdWizard_Click();
    ASSERT_TRUE(Visible(WindowId::FrmSetPassword)) << (desktop.messages.empty() ? "" : "message shown");

    FrmSetPassword& admin = *program.setPassword;
    EXPECT_EQ(admin.TxtOldSysAdminID.text, u"admin");
    EXPECT_EQ(program.state.CurrentAdminID, u"admin");
    admin.ChkUserName.value = 1;
    admin.ChkUserName_Click();
    forms::Type(admin.TxtNewUserName, u"boss");
    forms::Type(admin.TxtUserNameReconfirm, u"boss");
    admin.ChkPassword.value = 1;
    admin.ChkPassword_Click();
    forms::Type(admin.TxtNewPassword, u"newpw");
    forms::Type(admin.TxtReconfirm, u"newpw");
    admin.CmdNext_Click();
    ASSERT_TRUE(Visible(WindowId::FrmSetIPAddress));

    FrmSetIPAddress& address = *program.setIPAddress;
    EXPECT_EQ(address.TxtIPAddress.text, U(sim.Address(40))) << "the page starts from the camera's own values";
    EXPECT_EQ(address.TxtSubnetMask.text, u"255.255.255.0");
    EXPECT_EQ(address.TxtGateway.text, U(sim.Address(1)));
    EXPECT_EQ(program.state.DeviceVersion, u"2.10.001") << "read after the login";
    EXPECT_EQ(program.state.DeviceMac, U(sim.Mac(40)));
    forms::Type(address.TxtIPAddress, U(sim.Address(50)));
    forms::Type(address.TxtSubnetMask, u"255.255.0.0");
    forms::Type(address.TxtGateway, U(sim.Address(254)));
    address.CmdNext_Click();
    ASSERT_TRUE(Visible(WindowId::FrmsetLanEnd)) << "no 802.11 interface: the wired summary, no wireless page";
    EXPECT_FALSE(Visible(WindowId::FrmWireless));
  }
};

// The whole run: listed by WS-Discovery, logged in, the pages from the
// camera's values, the writes in their safe order on the camera's own port,
// the reboot it asks for, and found again at its new address.
TEST_F(OnvifRun, NewAccountAndAddressReachTheCameraInTheSafeOrder) {
  Start();
  ToSummary();
  if (HasFatalFailure()) return;
  program.setLanEnd->CmdRestart_Click();
  EXPECT_TRUE(desktop.messages.empty()) << base::ToUtf8(desktop.messages.empty() ? u"" : desktop.messages[0].text);

  EXPECT_EQ(OnvifSeen(40), (std::vector<std::string>{
                               "GetDeviceInformation - 401",      // the dialog asks LoginState: refused without a login
                               "GetSystemDateAndTime - 200",      // no Date header: the camera's clock
                               "GetDeviceInformation admin 200",  // Login with what was typed
                               "GetNetworkInterfaces admin 200",
                               "GetNetworkDefaultGateway admin 200",  // Connect logs in no second time
                               "GetNetworkInterfaces admin 200",      // Restart: fresh values to compare
                               "GetNetworkDefaultGateway admin 200",
                               "CreateUsers admin 200",  // the new ID proven by a read refused without a login
                               "GetUsers boss 200",
                               "GetDeviceInformation boss 200",
                               "DeleteUsers boss 200",  // only then the old one goes
                               "GetUsers boss 200",
                               "SetNetworkDefaultGateway boss 200",
                               "GetNetworkDefaultGateway boss 200",
                               "SetNetworkInterfaces boss 200",  // the address last, then the reboot it asks for
                               "SystemReboot boss 200",
                           }));
  EXPECT_EQ(sim.LogLines({sim.Mac(40), u"onvif /onvif/device_service"_qs}).size(),
            sim.LogLines({sim.Mac(40), u" onvif "_qs}).size());
  EXPECT_EQ(sim.LogLines({sim.Mac(40), u"op=SystemReboot"_qs}).size(), 1) << "one reboot, not a second one for Restart";

  const QJsonObject saved = SavedSettings(40);
  EXPECT_EQ(saved.value(u"SysAdminID"_qs).toString(), u"boss"_qs);
  EXPECT_EQ(saved.value(u"SysAdminPassword"_qs).toString(), u"newpw"_qs);
  EXPECT_EQ(saved.value(u"SysIPAddress"_qs).toString(), sim.Address(50));
  EXPECT_EQ(saved.value(u"SysSubnetMask"_qs).toString(), u"255.255.0.0"_qs);
  EXPECT_EQ(saved.value(u"SysDefaultGateway"_qs).toString(), sim.Address(254));

  ASSERT_TRUE(Visible(WindowId::FrmMain)) << "the main window is shown afresh";
  EXPECT_FALSE(Visible(WindowId::FrmsetLanEnd));
  EXPECT_EQ(RowOf(sim.Address(40)), -1);
  EXPECT_GE(RowOf(sim.Address(50)), 0) << "its new search lists the camera at its new address";
  EXPECT_EQ(ReadOnvif(sim.Address(50), OnvifPort, u"boss", u"newpw", u"SysSubnetMask"), u"255.255.0.0");
  EXPECT_EQ(ReadOnvif(sim.Address(50), OnvifPort, u"admin", u"secret", u"SysAdminID"), u"<no connect>")
      << "the old ID no longer opens it";
}

class OnvifSkewedRun : public OnvifRun {
 protected:
  OnvifSkewedRun() : OnvifRun(QJsonObject{{u"clockSkewSeconds"_qs, 7200}}) {}
};

// A camera whose clock is two hours ahead: a wrong password is refused with
// the dialog's message and asked again, the right one opens the wizard.
TEST_F(OnvifSkewedRun, AWrongPasswordIsAskedAgainAndTheRightOneOpensTheWizard) {
  Start();
  ASSERT_EQ(program.state.DeviceCount, 1);
  LoginWith(u"admin", u"nope");
  LoginWith(u"admin", u"secret");
  Main().List.selectedRow = 0;
  Main().CmdWizard_Click();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text, u"Password Error . Please Re-Enter The Correct Password");
  ASSERT_TRUE(Visible(WindowId::FrmSetPassword));
  EXPECT_EQ(sim.LogLines({sim.Mac(40), u"op=GetDeviceInformation user=admin refused=token-wrong status=400"_qs}).size(),
            1)
      << "the wrong password, refused once";
  EXPECT_FALSE(sim.LogLines({sim.Mac(40), u"op=GetDeviceInformation user=admin auth=token status=200"_qs}).isEmpty());
  EXPECT_TRUE(sim.LogLines({sim.Mac(40), u"outside-clock-window"_qs}).isEmpty()) << "tokens in the camera's time";
  EXPECT_EQ(program.state.CurrentIPAddress, U(sim.Address(40)));
}

class OnvifRefusingRun : public OnvifRun {
 protected:
  OnvifRefusingRun() : OnvifRun(QJsonObject{{u"refuseOperations"_qs, QJsonArray{u"SetNetworkInterfaces"_qs}}}) {}
};

// The camera takes the new account and gateway and then refuses the
// address: the summary shows the camera's reason and stays, and the camera
// answers at its old address to the account the user just chose.
TEST_F(OnvifRefusingRun, ARefusalPartWayShowsTheCameraErrorAndKeepsItReachable) {
  Start();
  ToSummary();
  if (HasFatalFailure()) return;
  const qsizetype searches = sim.LogLines({u"sim onvif probe"_qs}).size();
  desktop.messages.clear();
  program.setLanEnd->CmdRestart_Click();

  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text,
            u"Camera Error . the ID is now boss with the new password; the gateway is now " + U(sim.Address(254)) +
                u"; the address was not changed: fault Receiver Action: this camera refuses SetNetworkInterfaces")
      << "what is in effect, then what was not";
  EXPECT_EQ(desktop.messages[0].icon, forms::MsgIcon::Critical);
  EXPECT_TRUE(desktop.sleeps.empty()) << "no wait for a camera that is not restarting";
  EXPECT_TRUE(Visible(WindowId::FrmsetLanEnd)) << "the summary stays";
  EXPECT_EQ(sim.LogLines({u"sim onvif probe"_qs}).size(), searches) << "no new search";
  const std::vector<std::string> seen = OnvifSeen(40);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "SetNetworkInterfaces boss 500");
  EXPECT_TRUE(sim.LogLines({sim.Mac(40), u"op=SystemReboot"_qs}).isEmpty());

  const QJsonObject saved = SavedSettings(40);
  EXPECT_EQ(saved.value(u"SysIPAddress"_qs).toString(), sim.Address(40));
  EXPECT_EQ(saved.value(u"SysAdminID"_qs).toString(), u"boss"_qs);
  EXPECT_EQ(ReadOnvif(sim.Address(40), OnvifPort, u"boss", u"newpw", u"SysDefaultGateway"), U(sim.Address(254)))
      << "reachable with the credentials the user chose";
  EXPECT_EQ(ReadOnvif(sim.Address(40), OnvifPort, u"admin", u"secret", u"SysAdminID"), u"<no connect>");
  EXPECT_EQ(camTemp.LoginID(), u"boss") << "the wizard goes on with the credentials the camera holds";
}

}  // namespace
