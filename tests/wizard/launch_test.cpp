// The wizard launch from the main window: what reaches the camera controls
// and the desktop, in order, for both camera families and every way the
// launch can stop.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/param_name.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_message.h"
#include "wizard/frm_set_password.h"

namespace {

constexpr int32_t Wireless = 1 << 29;
constexpr int32_t HexKey = 1 << 8;

// What the launch logs while it reads the chosen row of a list whose
// cameras all describe themselves as the fixture's Camera().
std::vector<std::string> ReadRow(int row, const std::string& family) {
  return {"pointer 11",
          "cam.DeviceIndex = " + std::to_string(row),
          "cam.DeviceMacText",
          "cam.DeviceVersionText",
          "cam.DeviceSubnetMask",
          "cam.DeviceGateway",
          "cam.DeviceMode",
          "cam.ProtocolFamily = " + family,
          "cam.ProtocolOption = 0"};
}

std::vector<std::string> PrepareCamTemp(const std::string& family, const std::string& address, const std::string& mac,
                                        const std::string& port) {
  return {"CamTemp.ProtocolFamily = " + family,
          "CamTemp.ProtocolOption = 0",
          "CamTemp.TargetAddress = \"" + address + "\"",
          "CamTemp.TargetMac = \"" + mac + "\"",
          "CamTemp.LoginID = \"\"",
          "CamTemp.LoginPassword = \"\"",
          "CamTemp.TargetPort = " + port,
          "CamTemp.ProtocolFamily = " + family};
}

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

class LaunchTest : public ProgramTest {
 protected:
  // The user types into the modal login and presses one of its buttons.
  void LoginSteps(std::u16string id, std::u16string password, bool ok = true) {
    desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this, id, password, ok] {
      frmchackIDPWD& login = *program.chackIDPWD;
      forms::Type(login.Text1, id);
      forms::Type(login.TxtPassWord, password);
      if (ok) {
        login.CmdYes_Click();
      } else {
        login.CmdCancel_Click();
      }
    });
  }
  void CancelStep() {
    desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this] { program.chackIDPWD->CmdCancel_Click(); });
  }
  bool Shown(forms::WindowId id) const { return desktop.visible.count(id) != 0; }
};

TEST_F(LaunchTest, WiredPlainCameraOpensTheAdministratorPage) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6", u"CS-200")});
  camTemp.texts = {{u"SysAdminID", u"admin"}, {u"SysAdminPassword", u"secret"}};
  camTemp.numbers = {{u"DeviceType", 0x40}};
  Choose(1);
  Main().CmdWizard_Click();
  EXPECT_EQ(Lines(log.lines),
            Lines(ReadRow(1, "0") + PrepareCamTemp("0", "10.0.0.6", "0.64.140.1.2.2", "8481") +
                  std::vector<std::string>{"CamTemp.Connect", "CamTemp.GetSettingText(\"SysAdminID\")",
                                           "CamTemp.GetSettingText(\"SysAdminPassword\")",
                                           "CamTemp.GetSettingNumber(\"DeviceType\")", "pointer 0",
                                           "show FrmSetPassword", "hide FrmMain"}));
  const WizardState& state = program.state;
  EXPECT_EQ(state.DeviceFamily, 0);
  EXPECT_EQ(Main().LoginResult, 1);
  EXPECT_EQ(state.CurrentAdminID, u"admin");
  EXPECT_EQ(state.CurrentAdminPassword, u"secret");
  EXPECT_EQ(state.DeviceType, 0x40);
  EXPECT_EQ(state.NewIPAddress, u"10.0.0.6");
  EXPECT_EQ(state.NewSubnetMask, u"255.255.255.0");
  EXPECT_EQ(state.NewGateway, u"10.0.0.1");
  EXPECT_EQ(state.DeviceVersion, u"v2.0.92");
  EXPECT_TRUE(Shown(forms::WindowId::FrmSetPassword));
  EXPECT_FALSE(Main().form.visible);
  EXPECT_FALSE(program.chackIDPWD);
}

TEST_F(LaunchTest, WirelessLoginCameraLogsInFirst) {
  StartWith({Camera(1, u"10.0.0.5", u"CS-350W")});
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.loginResults = {device::LoginGranted};
  camTemp.texts = {{u"SysAdminID", u"root"},
                   {u"SysAdminPassword", u"pw"},
                   {u"WlanESSID", u"home"},
                   {u"WlanWEPKey", u"abcde"},
                   {u"WlanWEPKeyHEX", u"0102030405"}};
  camTemp.numbers = {{u"DeviceType", Wireless | 0x3}, {u"WlanMode", 1}, {u"WlanChannel", 6}, {u"WlanWEPFlag", 0x11}};
  LoginSteps(u"root", u"pw");
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(Lines(log.lines), Lines(ReadRow(0, "2") + PrepareCamTemp("2", "10.0.0.5", "0.64.140.1.2.1", "80") +
                                    std::vector<std::string>{"pointer 0",
                                                             "show frmchackIDPWD modal",
                                                             "CamTemp.LoginState",
                                                             "CamTemp.Login(\"root\", \"pw\")",
                                                             "hide frmchackIDPWD",
                                                             "CamTemp.LoginID = \"root\"",
                                                             "CamTemp.LoginPassword = \"pw\"",
                                                             "unload frmchackIDPWD",
                                                             "pointer 11",
                                                             "CamTemp.Connect",
                                                             "CamTemp.LoginID",
                                                             "CamTemp.LoginPassword",
                                                             "CamTemp.GetSettingText(\"SysAdminID\")",
                                                             "CamTemp.GetSettingText(\"SysAdminPassword\")",
                                                             "CamTemp.GetSettingNumber(\"DeviceType\")",
                                                             "CamTemp.GetSettingNumber(\"WlanMode\")",
                                                             "CamTemp.GetSettingText(\"WlanESSID\")",
                                                             "CamTemp.GetSettingNumber(\"WlanChannel\")",
                                                             "CamTemp.GetSettingNumber(\"WlanWEPFlag\")",
                                                             "CamTemp.GetSettingText(\"WlanWEPKey\")",
                                                             "pointer 0",
                                                             "show FrmSetPassword",
                                                             "hide FrmMain"}));
  const WizardState& state = program.state;
  EXPECT_EQ(state.DeviceFamily, 2);
  ASSERT_TRUE(program.setPassword);
  EXPECT_EQ(program.setPassword->TxtOldSysAdminID.text, u"root");
  EXPECT_EQ(program.setPassword->TxtOldPassword.text, u"pw");
  EXPECT_EQ(state.CurrentWlanMode, 1);
  EXPECT_EQ(state.NewWlanMode, 1);
  EXPECT_EQ(state.CurrentWlanESSID, u"home");
  EXPECT_EQ(state.NewWlanESSID, u"home");
  EXPECT_EQ(state.CurrentWlanChannel, 6);
  EXPECT_EQ(state.CurrentWlanWEPFlag, 0x11);
  EXPECT_EQ(state.CurrentWlanWEPKey, u"abcde");
  EXPECT_EQ(state.ChangeWEPKey, False);
  EXPECT_FALSE(program.chackIDPWD);
}

TEST_F(LaunchTest, HexKeyFlagReadsTheHexKey) {
  StartWith({Camera(1, u"10.0.0.5")});
  camTemp.texts = {{u"WlanWEPKey", u"abcde"}, {u"WlanWEPKeyHEX", u"0102030405"}};
  camTemp.numbers = {{u"DeviceType", Wireless}, {u"WlanWEPFlag", HexKey | 1}};
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(program.state.CurrentWlanWEPKey, u"0102030405");
  EXPECT_EQ(log.Starting("CamTemp.GetSettingText(\"WlanWEPKey").size(), 1u);
  EXPECT_EQ(log.Starting("CamTemp.GetSettingText(\"WlanWEPKeyHEX\")").size(), 1u);
}

// The 16-bit settings keep their low 16 bits, so a flag word with bit 15 set
// reads negative and bit 8 is still found.
TEST_F(LaunchTest, SixteenBitSettingsKeepTheirLowBits) {
  StartWith({Camera(1, u"10.0.0.5")});
  camTemp.numbers = {{u"DeviceType", static_cast<int32_t>(0xE0000000u)},
                     {u"WlanMode", 0x10002},
                     {u"WlanChannel", 11},
                     {u"WlanWEPFlag", 0xFF00}};
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(program.state.CurrentWlanMode, 2);
  EXPECT_EQ(program.state.CurrentWlanWEPFlag, static_cast<int16_t>(-256));
  EXPECT_EQ(log.Starting("CamTemp.GetSettingText(\"WlanWEPKeyHEX\")").size(), 1u);
}

TEST_F(LaunchTest, WiredCameraReadsNoWirelessSettingsAndKeepsEarlierOnes) {
  StartWith({Camera(1, u"10.0.0.5")});
  WizardState& state = program.state;
  state.CurrentWlanMode = 2;
  state.NewWlanMode = 3;
  state.CurrentWlanESSID = u"earlier";
  state.NewWlanESSID = u"typed";
  state.CurrentWlanChannel = 4;
  state.CurrentWlanWEPKey = u"key";
  state.CurrentWlanWEPFlag = 5;
  state.ChangeWEPKey = True;
  camTemp.numbers = {{u"DeviceType", ~Wireless}};
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_TRUE(log.Starting("CamTemp.GetSettingNumber(\"Wlan").empty());
  EXPECT_TRUE(log.Starting("CamTemp.GetSettingText(\"Wlan").empty());
  EXPECT_EQ(state.CurrentWlanMode, 2);
  EXPECT_EQ(state.NewWlanMode, 3);
  EXPECT_EQ(state.CurrentWlanESSID, u"earlier");
  EXPECT_EQ(state.NewWlanESSID, u"typed");
  EXPECT_EQ(state.CurrentWlanChannel, 4);
  EXPECT_EQ(state.CurrentWlanWEPKey, u"key");
  EXPECT_EQ(state.CurrentWlanWEPFlag, 5);
  EXPECT_EQ(state.ChangeWEPKey, True);
}

// A later launch clears the change flags and copies the addresses afresh,
// and leaves what the later pages typed.
TEST_F(LaunchTest, ALaunchResetsOnlyWhatItReads) {
  StartWith({Camera(1, u"10.0.0.5")});
  WizardState& state = program.state;
  state.ChangeAdminID = True;
  state.ChangeAdminPassword = True;
  state.NewIPAddress = u"10.9.9.9";
  state.NewWlanWEPKey = u"typedkey";
  state.NewWEPKeyIsHex = True;
  state.NewWlanChannel = 9;
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(state.ChangeAdminID, False);
  EXPECT_EQ(state.ChangeAdminPassword, False);
  EXPECT_EQ(state.NewIPAddress, u"10.0.0.5");
  EXPECT_EQ(state.NewWlanChannel, 9);
  EXPECT_EQ(state.NewWlanWEPKey, u"typedkey");
  EXPECT_EQ(state.NewWEPKeyIsHex, True);
}

struct FamilyCase {
  std::u16string mode;
  int16_t family;
};

class FamilyTest : public LaunchTest, public testing::WithParamInterface<FamilyCase> {};

TEST_P(FamilyTest, TheModeTextDecidesFamilyPortAndLogin) {
  StartWith({Camera(1, u"10.0.0.5", GetParam().mode)});
  const bool login = GetParam().family == 2;
  if (login) LoginSteps(u"id", u"pw");
  program.state.DeviceFamily = 7;  // a leftover the launch replaces
  Load(program, program.setPassword).TxtOldSysAdminID.text = u"left";
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(program.state.DeviceFamily, GetParam().family);
  const std::string family = std::to_string(GetParam().family);
  // Both controls are left on the mode's family; the order of the puts is
  // the launch tests' business.
  EXPECT_EQ(log.Last("cam.ProtocolFamily"), "cam.ProtocolFamily = " + family);
  EXPECT_EQ(log.Last("CamTemp.ProtocolFamily"), "CamTemp.ProtocolFamily = " + family);
  EXPECT_EQ(log.Starting("CamTemp.TargetPort"),
            std::vector<std::string>{login ? "CamTemp.TargetPort = 80" : "CamTemp.TargetPort = 8481"});
  EXPECT_EQ(log.Starting("show frmchackIDPWD").size(), login ? 1u : 0u);
  EXPECT_EQ(program.setPassword->TxtOldSysAdminID.text, login ? u"id" : u"left");
  EXPECT_TRUE(Shown(forms::WindowId::FrmSetPassword));
}

INSTANTIATE_TEST_SUITE_P(Modes, FamilyTest,
                         testing::Values(FamilyCase{u"X-350", 2}, FamilyCase{u"1350", 2}, FamilyCase{u"350", 2},
                                         FamilyCase{u"CS-3500W", 2}, FamilyCase{u"35 0", 0}, FamilyCase{u"35", 0},
                                         FamilyCase{u"", 0}, FamilyCase{u"CS-200", 0}, FamilyCase{u"３５０", 0}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.mode); });

struct CutCase {
  std::u16string id;
  std::u16string password;
  std::u16string keptID;
  std::u16string keptPassword;
};

class CutTest : public LaunchTest, public testing::WithParamInterface<CutCase> {};

TEST_P(CutTest, LongAdministratorValuesAreCut) {
  StartWith({Camera(1, u"10.0.0.5")});
  camTemp.texts = {{u"SysAdminID", GetParam().id}, {u"SysAdminPassword", GetParam().password}};
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(program.state.CurrentAdminID, GetParam().keptID);
  EXPECT_EQ(program.state.CurrentAdminPassword, GetParam().keptPassword);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CutTest,
                         testing::Values(CutCase{u"abcdefghijkl", u"12345678", u"abcdefghijkl", u"12345678"},
                                         CutCase{u"abcdefghijklm", u"123456789", u"abcdefghijkl", u"12345678"},
                                         CutCase{u"abcdefghijklmno", u"1234567890", u"abcdefghijkl", u"12345678"},
                                         CutCase{u"", u"", u"", u""},
                                         CutCase{u"äöüäöüäöüäöüäöü", u"ÄÖÜÄÖÜÄÖÜ", u"äöüäöüäöüäöü", u"ÄÖÜÄÖÜÄÖ"}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.id, testInfo.param.password); });

TEST_F(LaunchTest, ASharedAddressShowsTheWarningInsteadOfTheLogin) {
  StartWith({Camera(1, u"192.168.0.20", u"X-350"), Camera(2, u"10.0.0.6"), Camera(3, u"192.168.0.20")});
  for (int row : {0, 2}) {
    log.Clear();
    Choose(row);
    Main().CmdWizard_Click();
    const std::string family = row == 0 ? "2" : "0";
    EXPECT_EQ(Lines(log.lines), Lines(ReadRow(row, family) +
                                      PrepareCamTemp(family, "192.168.0.20", "0.64.140.1.2." + std::to_string(row + 1),
                                                     row == 0 ? "80" : "8481") +
                                      std::vector<std::string>{"pointer 0", "show FrmMessage"}));
    EXPECT_TRUE(Main().form.visible);
    Unload(program, program.message);
  }
  EXPECT_EQ(program.state.CurrentIPAddress, u"192.168.0.20");
  EXPECT_EQ(program.state.DeviceMac, u"0.64.140.1.2.3");
}

// Addresses count as the same only when they are the same text.
TEST_F(LaunchTest, NearlyTheSameAddressIsAnotherAddress) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.5 "), Camera(3, u"10.0.0.50")});
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_TRUE(log.Starting("show FrmMessage").empty());
  EXPECT_EQ(log.Starting("CamTemp.Connect").size(), 1u);
}

TEST_F(LaunchTest, ARefusedConnectionShowsTheWarning) {
  StartWith({Camera(1, u"10.0.0.5", u"X-350")});
  camTemp.connectResult = 0;
  LoginSteps(u"id", u"pw");
  Choose(0);
  Main().CmdWizard_Click();
  const std::vector<std::string> tail(log.lines.end() - 4, log.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"pointer 11", "CamTemp.Connect", "pointer 0", "show FrmMessage"}));
  EXPECT_EQ(Main().LoginResult, 0);
  EXPECT_TRUE(log.Starting("CamTemp.GetSetting").empty());
  EXPECT_TRUE(Main().form.visible);
  EXPECT_FALSE(program.setPassword);
}

// A 32-bit answer whose low 16 bits are 0 still means the camera answered.
TEST_F(LaunchTest, ALargeConnectResultStillConnects) {
  StartWith({Camera(1, u"10.0.0.5")});
  camTemp.connectResult = 0x10000;
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_NE(Main().LoginResult, 0);
  EXPECT_TRUE(log.Starting("show FrmMessage").empty());
  EXPECT_EQ(log.Starting("show FrmSetPassword").size(), 1u);
}

TEST_F(LaunchTest, ARefusedPasswordIsAskedForAgain) {
  StartWith({Camera(1, u"10.0.0.5", u"X-350")});
  camTemp.loginStates = {device::LoginNeeded, device::LoginNeeded};
  camTemp.loginResults = {device::LoginNeeded, device::LoginGranted};
  LoginSteps(u"admin", u"wrong");
  desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this] {
    frmchackIDPWD& login = *program.chackIDPWD;
    EXPECT_EQ(login.Text1.text, u"admin");  // kept as typed
    forms::Type(login.TxtPassWord, u"right");
    login.CmdYes_Click();
  });
  Choose(0);
  Main().CmdWizard_Click();
  const auto from = std::find(log.lines.begin(), log.lines.end(), "show frmchackIDPWD modal");
  ASSERT_NE(from, log.lines.end());
  EXPECT_EQ(
      std::vector<std::string>(from, from + 11),
      (std::vector<std::string>{"show frmchackIDPWD modal", "CamTemp.LoginState", "CamTemp.Login(\"admin\", \"wrong\")",
                                "msgbox \"Password Error . Please Re-Enter The Correct Password\" title=\"\" "
                                "icon=critical buttons=ok",
                                "CamTemp.LoginState", "CamTemp.Login(\"admin\", \"right\")", "hide frmchackIDPWD",
                                "CamTemp.LoginID = \"admin\"", "CamTemp.LoginPassword = \"right\"",
                                "unload frmchackIDPWD", "pointer 11"}));
  EXPECT_EQ(log.Starting("show FrmSetPassword").size(), 1u);
}

TEST_F(LaunchTest, CancelledLoginEndsTheLaunchQuietly) {
  StartWith({Camera(1, u"10.0.0.5", u"X-350")});
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.loginResults = {device::LoginNeeded};
  LoginSteps(u"admin", u"wrong");
  LoginSteps(u"admin", u"wrong", false);
  Choose(0);
  Main().CmdWizard_Click();
  const std::vector<std::string> tail(log.lines.end() - 3, log.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"msgbox \"Password Error . Please Re-Enter The Correct Password\" "
                                            "title=\"\" icon=critical buttons=ok",
                                            "hide frmchackIDPWD", "unload frmchackIDPWD"}));
  // Only the launch's emptying of the last camera's login; nothing typed.
  EXPECT_EQ(log.Starting("CamTemp.LoginID"), std::vector<std::string>{"CamTemp.LoginID = \"\""});
  EXPECT_EQ(log.Starting("CamTemp.LoginPassword"), std::vector<std::string>{"CamTemp.LoginPassword = \"\""});
  EXPECT_TRUE(log.Starting("CamTemp.Connect").empty());
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
  EXPECT_TRUE(Main().form.visible);
  EXPECT_FALSE(program.chackIDPWD);
}

TEST_F(LaunchTest, EachLaunchStartsWithAFreshLogin) {
  StartWith({Camera(1, u"10.0.0.5", u"X-350")});
  CancelStep();
  Choose(0);
  Main().CmdWizard_Click();
  desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this] {
    EXPECT_EQ(program.chackIDPWD->Text1.text, u"");
    EXPECT_FALSE(program.chackIDPWD->LoginCancelled);
    program.chackIDPWD->CmdYes_Click();
  });
  Main().CmdWizard_Click();
  EXPECT_EQ(log.Starting("show FrmSetPassword").size(), 1u);
}

// A launch keeps nothing of the last camera's login: the connection
// instance's credentials are emptied before anything reaches the camera, and
// an administrator page that a failed launch had prefilled goes with it.
TEST_F(LaunchTest, ALaunchKeepsNothingOfTheLastCamerasLogin) {
  StartWith({Camera(1, u"10.0.0.5", u"X-350"), Camera(2, u"10.0.0.6", u"CS-200"), Camera(3, u"10.0.0.7", u"X-350")});
  camTemp.failing = {"GetSettingText"};
  LoginSteps(u"first", u"secret1");
  Choose(0);
  Main().CmdWizard_Click();
  ASSERT_EQ(desktop.messages.size(), 1u) << "the first launch failed after its login";
  EXPECT_FALSE(program.setPassword) << "no page prefilled with the first camera's login is left";
  camTemp.failing.clear();

  const struct {
    int row;
    bool login;
  } next[] = {{1, false}, {2, true}};
  for (const auto& launch : next) {
    SCOPED_TRACE(launch.row);
    std::u16string heldAtTheDialog = u"?";
    if (launch.login) {
      desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this, &heldAtTheDialog] {
        heldAtTheDialog = camTemp.loginId + u"/" + camTemp.loginPassword;
        forms::Type(program.chackIDPWD->Text1, u"third");
        forms::Type(program.chackIDPWD->TxtPassWord, u"secret3");
        program.chackIDPWD->CmdYes_Click();
      });
    }
    log.Clear();
    Choose(launch.row);
    Main().CmdWizard_Click();
    ASSERT_TRUE(program.setPassword);
    if (launch.login) {
      EXPECT_EQ(heldAtTheDialog, u"/") << "the login dialog starts with no credentials in the camera control";
      EXPECT_EQ(program.setPassword->TxtOldSysAdminID.text, u"third");
      EXPECT_EQ(program.setPassword->TxtOldPassword.text, u"secret3");
    } else {
      EXPECT_EQ(camTemp.loginId, u"");
      EXPECT_EQ(camTemp.loginPassword, u"");
      EXPECT_EQ(program.setPassword->TxtOldSysAdminID.text, u"");
      EXPECT_EQ(program.setPassword->TxtOldPassword.text, u"");
    }
    const auto at = [this](const std::string& line) { return std::find(log.lines.begin(), log.lines.end(), line); };
    EXPECT_LT(at("CamTemp.LoginID = \"\""), at("CamTemp.Connect"));
    program.setPassword->CmdBack_Click();
    program.DisposeUnloaded();
  }
}

struct LaunchFailureCase {
  std::string instance;  // "cam" or "CamTemp"
  std::string member;
  std::u16string mode;
};

class LaunchFailureTest : public LaunchTest, public testing::WithParamInterface<LaunchFailureCase> {};

// A camera control that fails during the launch stops it with a message;
// the main window stays as it was and no page or login is left behind.
TEST_P(LaunchFailureTest, StopsWithAMessageAndLeavesTheMainWindow) {
  StartWith({Camera(1, u"10.0.0.5", GetParam().mode)});
  camTemp.numbers = {{u"DeviceType", Wireless}};
  LoginSteps(u"id", u"pw");
  (GetParam().instance == "cam" ? cam : camTemp).failing = {GetParam().member};
  Choose(0);
  Main().CmdWizard_Click();
  const std::vector<std::string> tail(log.lines.end() - 2, log.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"pointer 0", "msgbox \"Camera Error . " + GetParam().member +
                                                             " failed\" title=\"\" icon=critical buttons=ok"}));
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
  EXPECT_TRUE(Main().form.visible);
  EXPECT_FALSE(Shown(forms::WindowId::FrmSetPassword));
  EXPECT_FALSE(program.chackIDPWD);
  EXPECT_EQ(Main().List.rows.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Members, LaunchFailureTest,
                         testing::Values(LaunchFailureCase{"cam", "DeviceIndex", u"CS-200"},
                                         LaunchFailureCase{"cam", "DeviceMode", u"CS-200"},
                                         LaunchFailureCase{"CamTemp", "TargetAddress", u"CS-200"},
                                         LaunchFailureCase{"CamTemp", "LoginID", u"X-350"},
                                         LaunchFailureCase{"CamTemp", "Connect", u"X-350"},
                                         LaunchFailureCase{"CamTemp", "GetSettingText", u"CS-200"},
                                         LaunchFailureCase{"CamTemp", "GetSettingNumber", u"CS-200"}),
                         [](const auto& testInfo) {
                           return ParamName(testInfo.param.instance, testInfo.param.member);
                         });

// A login that the camera control cannot answer is reported inside the
// dialog, which stays open for another try or Cancel.
TEST_F(LaunchTest, AFailingLoginStaysInTheDialog) {
  StartWith({Camera(1, u"10.0.0.5", u"X-350")});
  camTemp.failing = {"LoginState"};
  LoginSteps(u"id", u"pw");
  desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this] {
    EXPECT_TRUE(Shown(forms::WindowId::frmchackIDPWD));
    program.chackIDPWD->CmdCancel_Click();
  });
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(log.Starting("msgbox").front(),
            "msgbox \"Camera Error . LoginState failed\" title=\"\" icon=critical buttons=ok");
  EXPECT_TRUE(log.Starting("CamTemp.Connect").empty());
  EXPECT_TRUE(Main().form.visible);
}

}  // namespace
