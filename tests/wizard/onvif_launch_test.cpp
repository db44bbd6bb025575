// The launch on an ONVIF row (Mode "ONVIF"): login first like family 2, the
// connection instance told to speak ONVIF, and once Connect succeeded the
// pages start from the address, mask, gateway, version and MAC the camera
// itself reports.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "protocol/wire.h"
#include "wizard/apply_settings.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_set_password.h"
#include "wizard/program_fixture.h"

namespace {

class OnvifLaunchTest : public ProgramTest {
 protected:
  void LoginSteps(std::u16string id, std::u16string password) {
    desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this, id, password] {
      forms::Type(program.chackIDPWD->Text1, id);
      forms::Type(program.chackIDPWD->TxtPassWord, password);
      program.chackIDPWD->CmdYes_Click();
    });
  }
  // An ONVIF camera as the search lists it: no mask, gateway or version yet.
  static FakeCameraDevice OnvifRow(std::u16string mac = u"") {
    return {std::move(mac), u"10.0.0.9", u"ONVIF", u"Front Door (DC-1)", u"", u"", u""};
  }
  bool Has(const std::string& line) const {
    return std::find(log.lines.begin(), log.lines.end(), line) != log.lines.end();
  }
  size_t At(const std::string& line) const {
    return static_cast<size_t>(std::find(log.lines.begin(), log.lines.end(), line) - log.lines.begin());
  }
};

TEST_F(OnvifLaunchTest, LogsInFirstThenStartsFromTheCamerasOwnValues) {
  StartWith({OnvifRow()});
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.texts = {{u"SysAdminID", u"admin"},
                   {u"SysAdminPassword", u"1234"},
                   {u"SysIPAddress", u"10.0.0.9"},
                   {u"SysSubnetMask", u"255.255.0.0"},
                   {u"SysDefaultGateway", u"10.0.0.1"},
                   {u"SysFirmwareVersion", u"2.4.001"},
                   {u"SysMacAddress", u"0.12.34.255.1.2"}};
  LoginSteps(u"admin", u"1234");
  Choose(0);
  Main().CmdWizard_Click();

  EXPECT_TRUE(Has("CamTemp.ProtocolOption = 1")) << "the connection instance speaks ONVIF";
  EXPECT_TRUE(Has("cam.ProtocolOption = 0")) << "the search instance is not told anything new";
  EXPECT_TRUE(Has("CamTemp.TargetPort = 80"));
  EXPECT_LT(At("show frmchackIDPWD modal"), At("CamTemp.Connect")) << "the login comes first";
  EXPECT_LT(At("CamTemp.Connect"), At("CamTemp.GetSettingText(\"SysIPAddress\")")) << "read only after Connect";
  EXPECT_LT(At("CamTemp.GetSettingText(\"SysMacAddress\")"), At("CamTemp.GetSettingText(\"SysAdminID\")"));

  const WizardState& state = program.state;
  EXPECT_EQ(state.DeviceFamily, 2);
  EXPECT_EQ(state.CurrentIPAddress, u"10.0.0.9");
  EXPECT_EQ(state.CurrentSubnetMask, u"255.255.0.0");
  EXPECT_EQ(state.CurrentGateway, u"10.0.0.1");
  EXPECT_EQ(state.NewSubnetMask, u"255.255.0.0") << "the address page starts from the camera's values";
  EXPECT_EQ(state.NewGateway, u"10.0.0.1");
  EXPECT_EQ(state.DeviceVersion, u"2.4.001");
  EXPECT_EQ(state.DeviceMac, u"0.12.34.255.1.2");
  EXPECT_EQ(state.CurrentAdminID, u"admin");
  EXPECT_TRUE(desktop.visible.count(forms::WindowId::FrmSetPassword));
}

// The connection instance is told the port and path of the row's own
// service address, right where our own cameras get their family's port.
TEST_F(OnvifLaunchTest, TheCameraIsSpokenToAtItsOwnServicePortAndPath) {
  StartWith({OnvifRow()});
  cam.servicePort = 8080;
  cam.servicePath = u"/services/device";
  camTemp.loginStates = {device::LoginNeeded};
  LoginSteps(u"admin", u"1234");
  Choose(0);
  Main().CmdWizard_Click();
  ASSERT_TRUE(Has("CamTemp.TargetPort = 8080"));
  ASSERT_TRUE(Has("CamTemp.TargetServicePath = \"/services/device\""));
  EXPECT_FALSE(Has("CamTemp.TargetPort = 80"));
  EXPECT_LT(At("CamTemp.TargetMac = \"\""), At("CamTemp.TargetPort = 8080"));
  EXPECT_LT(At("CamTemp.TargetServicePath = \"/services/device\""), At("CamTemp.Connect"));
}

// A camera that offered its service at an IPv6 link-local address: the
// connection instance is told it before it first speaks to the camera.
TEST_F(OnvifLaunchTest, TheConnectionLearnsTheRowsLinkLocalAddress) {
  StartWith({OnvifRow()});
  cam.linkLocals = {{0, u"fe80::1%eth0"}};
  camTemp.loginStates = {device::LoginNeeded};
  LoginSteps(u"admin", u"1234");
  Choose(0);
  Main().CmdWizard_Click();
  ASSERT_TRUE(Has("CamTemp.TargetLinkLocal = \"fe80::1%eth0\""));
  EXPECT_LT(At("CamTemp.TargetAddress = \"10.0.0.9\""), At("CamTemp.TargetLinkLocal = \"fe80::1%eth0\""))
      << "after the target, which forgets an earlier camera's";
  EXPECT_LT(At("CamTemp.TargetLinkLocal = \"fe80::1%eth0\""), At("CamTemp.LoginState"));
}

TEST_F(OnvifLaunchTest, AValueTheCameraDoesNotGiveKeepsTheRows) {
  StartWith({OnvifRow(u"0.1.2.3.4.5")});
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.texts = {{u"SysAdminID", u"admin"}, {u"SysSubnetMask", u"255.255.255.0"}};
  LoginSteps(u"admin", u"1234");
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(program.state.CurrentIPAddress, u"10.0.0.9");
  EXPECT_EQ(program.state.DeviceMac, u"0.1.2.3.4.5");
  EXPECT_EQ(program.state.CurrentSubnetMask, u"255.255.255.0");
}

TEST_F(OnvifLaunchTest, ARefusedConnectStopsBeforeAnyRead) {
  StartWith({OnvifRow()});
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.connectResult = 0;
  LoginSteps(u"admin", u"wrong");
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_TRUE(desktop.visible.count(forms::WindowId::FrmMessage));
  EXPECT_FALSE(Has("CamTemp.GetSettingText(\"SysIPAddress\")"));
  EXPECT_FALSE(desktop.visible.count(forms::WindowId::FrmSetPassword));
}

// Only the exact Mode text marks an ONVIF row; our own cameras launch as
// before (launch_test.cpp holds their exact sequences).
TEST(OnvifLaunchRule, OwnProtocolRowsAreNotSpokenToInOnvif) {
  for (const char16_t* mode : {u"CS-200", u"CS-350W", u"onvif", u"ONVIF 350"}) {
    EventLog log;
    FakeDesktop desktop{log};
    FakeCamera cam{"cam", log};
    FakeCamera camTemp{"CamTemp", log};
    Program program{desktop, cam, camTemp};
    cam.devices = {Camera(1, u"10.0.0.5", mode)};
    camTemp.loginStates = {device::LoginNeeded};
    desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([&] {
      forms::Type(program.chackIDPWD->Text1, u"root");
      forms::Type(program.chackIDPWD->TxtPassWord, u"pw");
      program.chackIDPWD->CmdYes_Click();
    });
    program.Start();
    program.frmMain->List.selectedRow = 0;
    program.frmMain->CmdWizard_Click();
    const auto has = [&](const std::string& line) {
      return std::find(log.lines.begin(), log.lines.end(), line) != log.lines.end();
    };
    EXPECT_TRUE(has("CamTemp.Connect")) << base::ToUtf8(mode);
    EXPECT_FALSE(has("CamTemp.ProtocolOption = 1")) << base::ToUtf8(mode);
    EXPECT_FALSE(has("CamTemp.GetSettingText(\"SysIPAddress\")")) << base::ToUtf8(mode);
    EXPECT_FALSE(has("cam.DevicePort") || has("CamTemp.TargetServicePath = \"/onvif/device_service\""))
        << base::ToUtf8(mode);
  }
}

// An ONVIF camera that takes commands without any login is marked on its
// row and warned about on the summary, as our own cameras without one are;
// the row stays an ONVIF row for the next launch.
TEST_F(OnvifLaunchTest, ACameraWithoutLoginIsMarkedOpenAndWarnedAbout) {
  for (const bool open : {false, true}) {
    StartWith({OnvifRow()});
    camTemp.loginStates = {device::LoginGranted};
    camTemp.numbers.clear();
    if (open) camTemp.numbers = {{protocol::NoLoginKey, -1}};
    LoginSteps(u"anyone", u"");
    Choose(0);
    Main().CmdWizard_Click();
    ASSERT_TRUE(desktop.visible.count(forms::WindowId::FrmSetPassword));
    EXPECT_EQ(Main().List.CellText(0, 3), open ? u"ONVIF no login (open)" : u"ONVIF");
    EXPECT_EQ(FamilyOfMode(Main().List.CellText(0, 3)), FamilyLogin) << "still asks for a login next time";
    forms::Label line;
    ShowAccessControl(program, line);
    EXPECT_EQ(line.visible, open);
    EXPECT_EQ(line.caption, open ? std::u16string(NoAccessControlText) : u"");
  }
}

}  // namespace
