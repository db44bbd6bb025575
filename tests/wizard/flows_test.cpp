// Whole wizard runs through the program, from the main list to Restart, and
// the doubtful-address path through the warning, the login and the address
// change: every camera call in order, the waits, the windows left open.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/param_name.h"
#include "wizard/program_fixture.h"
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

constexpr int32_t Wireless = 1 << 29;

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The search a freshly loaded main window runs, for this many cameras.
std::vector<std::string> Search(int cameras) {
  std::vector<std::string> lines{"pointer 11", "cam.Search", "cam.FoundCount"};
  for (int i = 0; i < cameras; ++i) {
    lines = lines + std::vector<std::string>{"cam.DeviceIndex = " + std::to_string(i),
                                             "cam.DeviceCaption",
                                             "cam.DeviceMacText",
                                             "cam.DeviceAddress",
                                             "cam.DeviceAddress",
                                             "cam.DeviceMode",
                                             "cam.DeviceNote"};
  }
  return lines + std::vector<std::string>{"pointer 0"};
}

// Account and address as both summary pages write them, then the apply and
// the waits: 16 s, or 31 s with an explicit restart.
std::vector<std::string> AccountAddressApply(const std::string& id, const std::string& password,
                                             const std::string& newID, const std::string& newPassword,
                                             const std::string& ip, bool explicitRestart) {
  std::vector<std::string> lines{"CamTemp.LoginID = \"" + id + "\"",
                                 "CamTemp.LoginPassword = \"" + password + "\"",
                                 "CamTemp.SetSetting(\"SysAdminID\", \"" + newID + "\")",
                                 "CamTemp.SetSetting(\"SysAdminPassword\", \"" + newPassword + "\")",
                                 "CamTemp.SetSetting(\"SysIPAssignment\", 1)",
                                 "CamTemp.SetSetting(\"SysIPAddress\", \"" + ip + "\")",
                                 "CamTemp.SetSetting(\"SysSubnetMask\", \"255.255.255.0\")",
                                 "CamTemp.SetSetting(\"SysDefaultGateway\", \"10.0.0.1\")",
                                 "CamTemp.GetSettingText(\"SysIPAddress\")",
                                 "CamTemp.GetSettingText(\"SysSubnetMask\")",
                                 "CamTemp.GetSettingText(\"SysDefaultGateway\")",
                                 "CamTemp.ApplySettings(1, 0)",
                                 "waits " + std::string(explicitRestart ? "31000" : "16000") + " for " + ip,
                                 explicitRestart ? "sleep 1000" : "watch 1000"};
  if (explicitRestart) lines = lines + std::vector<std::string>{"CamTemp.Restart", "watch 5000", "watch 15000"};
  lines.push_back(explicitRestart ? "watch 10000 back after 10000" : "watch 15000 back after 15000");
  return lines;
}

class FlowTest : public ProgramTest {
 protected:
  // The camera as it answers once connected.
  void CameraSettings(int32_t deviceType) {
    camTemp.texts = {{u"SysAdminID", u"admin"},
                     {u"SysAdminPassword", u"secret"},
                     {u"WlanESSID", u"home"},
                     {u"WlanWEPKey", u"abcde"}};
    camTemp.numbers = {{u"DeviceType", deviceType}, {u"WlanMode", 0}, {u"WlanChannel", 3}, {u"WlanWEPFlag", 1}};
  }
  void Launch(int32_t row) {
    Choose(row);
    Main().CmdWizard_Click();
  }
  std::set<WindowId> Visible() const { return desktop.visible; }
  // After a Restart only a fresh main window is left, and every page is gone.
  void ExpectOnlyAFreshMainWindow(const FrmMain* before) {
    EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmMain});
    ASSERT_TRUE(program.frmMain);
    EXPECT_NE(program.frmMain.get(), before);
    EXPECT_TRUE(Main().form.visible);
    EXPECT_FALSE(program.setPassword);
    EXPECT_FALSE(program.setIPAddress);
    EXPECT_FALSE(program.wireless);
    EXPECT_FALSE(program.setupEnd);
    EXPECT_FALSE(program.setLanEnd);
    EXPECT_FALSE(program.chackPassWord);
    EXPECT_FALSE(program.chackIDPWD);
    EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
  }
};

struct WiredCase {
  std::u16string version;
  bool explicitRestart;
};

class WiredFlowTest : public FlowTest, public testing::WithParamInterface<WiredCase> {};

TEST_P(WiredFlowTest, WiredCameraFromTheListToRestart) {
  FakeCameraDevice wired = Camera(1, u"10.0.0.5");
  wired.version = GetParam().version;
  StartWith({wired, Camera(2, u"10.0.0.6")});
  CameraSettings(0);
  Launch(0);
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmSetPassword});

  FrmSetPassword& admin = *program.setPassword;
  EXPECT_EQ(admin.TxtOldSysAdminID.text, u"");  // no login for this family
  forms::Type(admin.TxtOldSysAdminID, u"admin");
  forms::Type(admin.TxtOldPassword, u"secret");
  admin.ChkPassword.value = 1;
  admin.ChkPassword_Click();
  forms::Type(admin.TxtNewPassword, u"newpw");
  forms::Type(admin.TxtReconfirm, u"newpw");
  admin.CmdNext_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmSetIPAddress});

  FrmSetIPAddress& address = *program.setIPAddress;
  EXPECT_EQ(address.TxtIPAddress.text, u"10.0.0.5");
  forms::Type(address.TxtIPAddress, u"10.0.0.77");
  address.CmdNext_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmsetLanEnd});

  FrmsetLanEnd& summary = *program.setLanEnd;
  EXPECT_EQ(summary.LblID.caption, u"admin");
  EXPECT_EQ(summary.LblPassword.caption, u"newpw");
  EXPECT_EQ(summary.LblIP.caption, u"10.0.0.77");
  EXPECT_EQ(summary.LblSubnet.caption, u"255.255.255.0");

  const FrmMain* before = program.frmMain.get();
  cam.devices[0].address = u"10.0.0.77";
  log.Clear();
  summary.CmdRestart_Click();
  EXPECT_EQ(
      Lines(log.lines),
      Lines(std::vector<std::string>{"pointer 11"} +
            AccountAddressApply("admin", "secret", "admin", "newpw", "10.0.0.77", GetParam().explicitRestart) +
            std::vector<std::string>{"pointer 0", "unload FrmSetIPAddress", "unload FrmSetPassword", "unload FrmMain"} +
            Search(2) + std::vector<std::string>{"show FrmMain", "unload FrmsetLanEnd"}));
  EXPECT_EQ(desktop.TotalSleep(), GetParam().explicitRestart ? 31000 : 16000);
  ExpectOnlyAFreshMainWindow(before);
  EXPECT_EQ(Main().List.rows[0].cells[1], u"10.0.0.77");
}

INSTANTIATE_TEST_SUITE_P(Versions, WiredFlowTest,
                         testing::Values(WiredCase{u"1.00.001", true}, WiredCase{u"1.01.001", false},
                                         WiredCase{u"1.00.002", false}, WiredCase{u"1.0", false}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.version); });

TEST_F(FlowTest, WirelessLoginCameraThroughAllFourPagesToRestart) {
  FakeCameraDevice wireless = Camera(1, u"10.0.0.5", u"CS-350W");
  wireless.version = u"2.00.001";
  StartWith({wireless});
  CameraSettings(Wireless);
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.loginResults = {device::LoginGranted};
  desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this] {
    forms::Type(program.chackIDPWD->Text1, u"admin");
    forms::Type(program.chackIDPWD->TxtPassWord, u"secret");
    program.chackIDPWD->CmdYes_Click();
  });
  Launch(0);
  EXPECT_EQ(log.Starting("CamTemp.TargetPort"), std::vector<std::string>{"CamTemp.TargetPort = 80"});

  // The old account is filled in from the login.
  FrmSetPassword& admin = *program.setPassword;
  EXPECT_EQ(admin.TxtOldSysAdminID.text, u"admin");
  EXPECT_EQ(admin.TxtOldPassword.text, u"secret");
  admin.ChkUserName.value = 1;
  admin.ChkUserName_Click();
  forms::Type(admin.TxtNewUserName, u"boss");
  forms::Type(admin.TxtUserNameReconfirm, u"boss");
  admin.CmdNext_Click();

  program.setIPAddress->CmdNext_Click();  // the address stays
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmWireless});

  FrmWireless& page = *program.wireless;
  EXPECT_EQ(page.txtWlanESSID.text, u"home");
  forms::Type(page.txtWlanESSID, u"office");
  page.optConnectionMode.selected = 1;
  page.CboChannel.text = u"6";
  page.CheckEWK.value = 1;
  page.CheckEWK_Click();
  page.SelectWEPKeyFormat(1);
  forms::Type(page.txtNewWlanWEPKey, u"0123456789");
  forms::Type(page.txtWlanWEPKeyConfirm, u"0123456789");
  page.CmdNext_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmSetupEnd});

  FrmSetupEnd& summary = *program.setupEnd;
  EXPECT_EQ(summary.LblID.caption, u"boss");
  EXPECT_EQ(summary.LblPassword.caption, u"secret");
  EXPECT_EQ(summary.LblSSID.caption, u"office");
  EXPECT_EQ(summary.LblChannel.caption, u"6");
  EXPECT_EQ(summary.LblWebKey.caption, u"0123456789");

  const FrmMain* before = program.frmMain.get();
  log.Clear();
  summary.CmdRestart_Click();
  EXPECT_EQ(
      Lines(log.lines),
      Lines(std::vector<std::string>{
                "pointer 11", "CamTemp.SetSetting(\"WlanMode\", 1)", "CamTemp.SetSetting(\"WlanESSID\", \"office\")",
                "CamTemp.SetSetting(\"WlanChannel\", 6)", "CamTemp.SetSetting(\"WlanWEPFlag\", 257)",
                "CamTemp.SetSetting(\"WlanWEPKeyHEX\", \"0123456789\")"} +
            AccountAddressApply("admin", "secret", "boss", "secret", "10.0.0.5", true) +
            std::vector<std::string>{"pointer 0", "unload FrmSetIPAddress", "unload FrmSetPassword",
                                     "unload FrmWireless", "unload FrmMain"} +
            Search(1) + std::vector<std::string>{"show FrmMain", "unload FrmSetupEnd"}));
  EXPECT_EQ(desktop.TotalSleep(), 31000);
  ExpectOnlyAFreshMainWindow(before);
}

// A new ID and password typed for one camera never reach the next camera's
// page: after camera A's run to Restart with both changed, launching camera B
// shows both pairs empty and grey, and ticking both and pressing Next keeps
// nothing of camera A's values.
struct NextCameraCase {
  const char* name;
  std::u16string secondMode;  // "350" in it: the second camera logs in first
};
void PrintTo(const NextCameraCase& c, std::ostream* os) { *os << c.name; }

class NextCameraTest : public FlowTest, public testing::WithParamInterface<NextCameraCase> {
 protected:
  void LoginAs(const std::u16string& id, const std::u16string& password) {
    desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this, id, password] {
      forms::Type(program.chackIDPWD->Text1, id);
      forms::Type(program.chackIDPWD->TxtPassWord, password);
      program.chackIDPWD->CmdYes_Click();
    });
  }
};

TEST_P(NextCameraTest, NewAccountOfOneCameraNeverReachesTheNext) {
  StartWith({Camera(1, u"10.0.0.5", u"CS-350"), Camera(2, u"10.0.0.6", GetParam().secondMode)});
  CameraSettings(0);

  LoginAs(u"admin", u"secret");
  Launch(0);
  FrmSetPassword& first = *program.setPassword;
  first.ChkUserName.value = 1;
  first.ChkUserName_Click();
  forms::Type(first.TxtNewUserName, u"boss2");
  forms::Type(first.TxtUserNameReconfirm, u"boss2");
  first.ChkPassword.value = 1;
  first.ChkPassword_Click();
  forms::Type(first.TxtNewPassword, u"pass2");
  forms::Type(first.TxtReconfirm, u"pass2");
  first.CmdNext_Click();
  program.setIPAddress->CmdNext_Click();
  ASSERT_TRUE(program.setLanEnd);
  EXPECT_EQ(program.setLanEnd->LblPassword.caption, u"pass2");
  program.setLanEnd->CmdRestart_Click();
  program.DisposeUnloaded();

  if (GetParam().secondMode.find(u"350") != std::u16string::npos) LoginAs(u"admin", u"secret");
  Launch(1);
  ASSERT_TRUE(program.setPassword);
  FrmSetPassword& second = *program.setPassword;
  for (const forms::TextBox* field :
       {&second.TxtNewUserName, &second.TxtUserNameReconfirm, &second.TxtNewPassword, &second.TxtReconfirm}) {
    EXPECT_EQ(field->text, u"") << "a value typed for the first camera";
    EXPECT_FALSE(field->enabled);
  }
  forms::Type(second.TxtOldSysAdminID, u"admin");
  forms::Type(second.TxtOldPassword, u"secret");
  second.ChkUserName.value = 1;
  second.ChkUserName_Click();
  second.ChkPassword.value = 1;
  second.ChkPassword_Click();
  // An empty password on a camera that asks for a login is confirmed first.
  const bool loginFamily = GetParam().secondMode.find(u"350") != std::u16string::npos;
  if (loginFamily) desktop.answers.push_back(forms::MsgAnswer::Yes);
  second.CmdNext_Click();
  EXPECT_EQ(desktop.messages.size(), loginFamily ? 1U : 0U);
  EXPECT_EQ(program.state.NewAdminID, u"");
  EXPECT_EQ(program.state.NewAdminPassword, u"");
  ASSERT_TRUE(program.setIPAddress);
  program.setIPAddress->CmdNext_Click();
  ASSERT_TRUE(program.setLanEnd);
  EXPECT_EQ(program.setLanEnd->LblID.caption, u"");
  EXPECT_EQ(program.setLanEnd->LblPassword.caption, u"");
}

INSTANTIATE_TEST_SUITE_P(Families, NextCameraTest,
                         testing::Values(NextCameraCase{"LoginFamily", u"CS-350"},
                                         NextCameraCase{"PlainFamily", u"CS-200"}),
                         [](const testing::TestParamInfo<NextCameraCase>& testInfo) { return testInfo.param.name; });

// Back and Next across the pages keep what the user typed, and Restart
// writes the last values.
TEST_F(FlowTest, BackAndNextKeepWhatWasTyped) {
  StartWith({Camera(1, u"10.0.0.5")});
  CameraSettings(Wireless);
  Launch(0);
  FrmSetPassword& admin = *program.setPassword;
  forms::Type(admin.TxtOldSysAdminID, u"admin");
  forms::Type(admin.TxtOldPassword, u"secret");
  admin.CmdNext_Click();
  forms::Type(program.setIPAddress->TxtIPAddress, u"10.0.0.42");
  program.setIPAddress->CmdNext_Click();
  forms::Type(program.wireless->txtWlanESSID, u"typed-net");
  program.wireless->CboChannel.text = u"9";

  program.wireless->CmdBack_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmSetIPAddress});
  EXPECT_EQ(program.setIPAddress->TxtIPAddress.text, u"10.0.0.42");
  program.setIPAddress->CmdBack_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmSetPassword});
  EXPECT_EQ(admin.TxtOldSysAdminID.text, u"admin");

  admin.CmdNext_Click();
  EXPECT_EQ(program.setIPAddress->TxtIPAddress.text, u"10.0.0.42");
  program.setIPAddress->CmdNext_Click();
  EXPECT_EQ(program.wireless->txtWlanESSID.text, u"typed-net");
  EXPECT_EQ(program.wireless->CboChannel.text, u"9");
  program.wireless->CmdNext_Click();
  program.setupEnd->CmdBack_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmWireless});
  program.wireless->CmdNext_Click();
  EXPECT_EQ(program.setupEnd->LblIP.caption, u"10.0.0.42");

  log.Clear();
  program.setupEnd->CmdRestart_Click();
  const std::vector<std::string> written = log.Starting("CamTemp.SetSetting");
  EXPECT_NE(std::find(written.begin(), written.end(), "CamTemp.SetSetting(\"WlanESSID\", \"typed-net\")"),
            written.end());
  EXPECT_NE(std::find(written.begin(), written.end(), "CamTemp.SetSetting(\"WlanChannel\", 9)"), written.end());
  EXPECT_NE(std::find(written.begin(), written.end(), "CamTemp.SetSetting(\"SysIPAddress\", \"10.0.0.42\")"),
            written.end());
  EXPECT_TRUE(log.Starting("CamTemp.SetSetting(\"WlanWEPKey").empty());  // no new key wanted
}

// The administrator page's Back leaves the wizard; the next launch loads
// the pages afresh from what the camera says.
TEST_F(FlowTest, BackFromTheFirstPageReturnsToTheListAndALaterRunStartsAfresh) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6")});
  CameraSettings(0);
  Launch(0);
  forms::Type(program.setPassword->TxtOldSysAdminID, u"admin");
  forms::Type(program.setPassword->TxtOldPassword, u"secret");
  program.setPassword->CmdNext_Click();
  forms::Type(program.setIPAddress->TxtIPAddress, u"10.0.0.99");
  program.setIPAddress->CmdBack_Click();
  program.setPassword->CmdBack_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmMain});
  EXPECT_FALSE(program.setIPAddress);

  Launch(1);
  forms::Type(program.setPassword->TxtOldSysAdminID, u"admin");
  forms::Type(program.setPassword->TxtOldPassword, u"secret");
  program.setPassword->CmdNext_Click();
  EXPECT_EQ(program.setIPAddress->TxtIPAddress.text, u"10.0.0.6");
}

// Two cameras share an address: the warning, the login and the address
// change give the chosen one a new address without the wizard.
TEST_F(FlowTest, SharedAddressIsChangedThroughWarningLoginAndDialog) {
  FakeCameraDevice first = Camera(1, u"192.168.0.20", u"CS-350");
  first.version = u"1.00.001";
  StartWith({first, Camera(2, u"192.168.0.20")});
  Launch(0);
  EXPECT_EQ(Visible(), (std::set<WindowId>{WindowId::FrmMain, WindowId::FrmMessage}));
  EXPECT_TRUE(log.Starting("show frmchackIDPWD").empty());

  program.message->CmdYes_Click();
  camTemp.loginStates = {device::LoginNeeded};
  camTemp.loginResults = {device::LoginNeeded, device::LoginGranted};
  FrmChackPassWord& login = *program.chackPassWord;
  forms::Type(login.Text1, u"admin");
  forms::Type(login.TxtPassWord, u"wrong");
  login.CmdYes_Click();
  EXPECT_EQ(desktop.messages.back().text, u"Password Error . Please Re-Enter The Correct Password");
  login.TxtPassWord.text = u"secret";
  login.CmdYes_Click();
  EXPECT_EQ(Visible(), (std::set<WindowId>{WindowId::FrmMain, WindowId::FrmChangeIPAddress}));

  FrmChangeIPAddress& change = *program.changeIPAddress;
  EXPECT_EQ(change.Text1.text, u"192.168.0.20");
  forms::Type(change.Text1, u"192.168.0.21");
  cam.devices[0].address = u"192.168.0.21";
  const FrmMain* before = program.frmMain.get();
  log.Clear();
  change.CmdOk_Click();
  EXPECT_EQ(
      log.Starting("CamTemp."),
      (std::vector<std::string>{
          "CamTemp.ProtocolOption = 0", "CamTemp.ProtocolFamily = 2", "CamTemp.TargetPort = 80",
          "CamTemp.TargetAddress = \"192.168.0.21\"", "CamTemp.AddressInUse", "CamTemp.TargetMac = \"0.64.140.1.2.1\"",
          "CamTemp.ChangeAddress(\"192.168.0.21\", \"255.255.255.0\", \"10.0.0.1\")", "CamTemp.ApplySettings(1, 0)"}));
  EXPECT_EQ(desktop.sleeps, (std::vector<int32_t>{15000, 10000}));
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmMain});
  EXPECT_NE(program.frmMain.get(), before);
  EXPECT_EQ(Main().List.rows[0].cells[1], u"192.168.0.21");

  // The address is no longer shared: the wizard opens.
  CameraSettings(0);
  camTemp.loginStates = {device::LoginGranted};
  desktop.modalSteps[WindowId::frmchackIDPWD].push_back([this] { program.chackIDPWD->CmdYes_Click(); });
  Launch(0);
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmSetPassword});
}

// A camera that does not answer the connection is offered the address
// change too; a conflict is refused first, then a free address is taken.
TEST_F(FlowTest, UnreachableCameraIsChangedAfterAConflict) {
  StartWith({Camera(1, u"10.1.1.5")});
  camTemp.connectResult = 0;
  Launch(0);
  EXPECT_EQ(log.Starting("CamTemp.Connect").size(), 1u);
  EXPECT_EQ(Visible(), (std::set<WindowId>{WindowId::FrmMain, WindowId::FrmMessage}));

  program.message->CmdYes_Click();
  camTemp.loginStates = {device::LoginGranted};
  program.chackPassWord->CmdYes_Click();
  EXPECT_TRUE(log.Starting("CamTemp.Login(").empty());

  FrmChangeIPAddress& change = *program.changeIPAddress;
  forms::Type(change.Text1, u"10.0.0.6");
  camTemp.addressInUse = {-1};
  change.CmdOk_Click();
  EXPECT_EQ(desktop.messages.back().text, u"10.0.0.6\r\n IP conflict !!");
  EXPECT_EQ(desktop.messages.back().title, u"Sentrova");
  EXPECT_TRUE(log.Starting("CamTemp.ChangeAddress").empty());

  forms::Type(change.Text1, u"10.0.0.7");
  change.CmdOk_Click();
  EXPECT_EQ(log.Starting("CamTemp.TargetPort"),
            (std::vector<std::string>{"CamTemp.TargetPort = 8481", "CamTemp.TargetPort = 8481",
                                      "CamTemp.TargetPort = 8481"}));
  EXPECT_EQ(log.Starting("CamTemp.ChangeAddress").size(), 1u);
  EXPECT_EQ(desktop.sleeps, std::vector<int32_t>{15000});
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmMain});
}

TEST_F(FlowTest, NoOnTheWarningLeavesTheMainWindowAndAskingAgainWarnsAgain) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.5")});
  Launch(1);
  program.message->CmdNo_Click();
  EXPECT_EQ(Visible(), std::set<WindowId>{WindowId::FrmMain});
  Launch(1);
  EXPECT_EQ(Visible(), (std::set<WindowId>{WindowId::FrmMain, WindowId::FrmMessage}));
  EXPECT_TRUE(log.Starting("CamTemp.Connect").empty());
}

struct ExitCase {
  const char* window;
  std::function<void(Program&)> walk;  // from a launched wired-or-wireless run to the window, then Exit
};

class ExitTest : public FlowTest, public testing::WithParamInterface<ExitCase> {};

// Every exit button ends the program at once; nothing is written.
TEST_P(ExitTest, EndsTheProgramWithoutWriting) {
  StartWith({Camera(1, u"10.0.0.5")});
  CameraSettings(Wireless);
  Launch(0);
  forms::Type(program.setPassword->TxtOldSysAdminID, u"admin");
  forms::Type(program.setPassword->TxtOldPassword, u"secret");
  log.Clear();
  GetParam().walk(program);
  EXPECT_EQ(log.lines.back(), "end");
  EXPECT_TRUE(desktop.ended);
  EXPECT_TRUE(log.Starting("CamTemp.").empty());
}

INSTANTIATE_TEST_SUITE_P(Windows, ExitTest,
                         testing::Values(ExitCase{"FrmMain", [](Program& p) { p.frmMain->CmdExit_Click(); }},
                                         ExitCase{"FrmSetPassword", [](Program& p) { p.setPassword->CmdExit_Click(); }},
                                         ExitCase{"FrmSetIPAddress",
                                                  [](Program& p) {
                                                    p.setPassword->CmdNext_Click();
                                                    p.setIPAddress->CmdExit_Click();
                                                  }},
                                         ExitCase{"FrmWireless",
                                                  [](Program& p) {
                                                    p.setPassword->CmdNext_Click();
                                                    p.setIPAddress->CmdNext_Click();
                                                    p.wireless->ComExit_Click();
                                                  }}),
                         [](const testing::TestParamInfo<ExitCase>& exitCase) {
                           return std::string(exitCase.param.window);
                         });

}  // namespace
