// The invalid-address warning and the change-address dialog: what reaches
// the camera and in which order, the conflict message, the waits by firmware
// version, the main window's new search, and entries refused before
// anything is sent.
#include <gtest/gtest.h>

#include "support/param_name.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_message.h"

namespace {

class WarningTest : public ProgramTest {
 protected:
  void SetUp() override {
    StartWith({Camera(1, u"10.0.0.5")});
    Show(program, program.message);
    log.Clear();
  }
};

TEST_F(WarningTest, ShowsTheWarningWithTheQuestionOnALineOfItsOwn) {
  const FrmMessage& warning = *program.message;
  const std::u16string first =
      u"Your camera's IP Address may be invalid. Please change your camera's IP Address to match your network "
      u"settings, or you will be unable to connect to the camera.";
  const std::u16string question = u"Would you like to change the IP Address now?";
  EXPECT_EQ(warning.Label2.caption, first + std::u16string(84, u' ') + question);
  EXPECT_EQ(warning.Label2.caption.size(), 287u);
  EXPECT_EQ(warning.CmdYes.caption, u"Yes");
  EXPECT_EQ(warning.CmdNo.caption, u"No");
  EXPECT_EQ(warning.form.caption, u"Setup Wizard");
  EXPECT_EQ(warning.form.focus, &warning.CmdYes);
  EXPECT_LT(warning.CmdYes.tabIndex, warning.CmdNo.tabIndex);
}

TEST_F(WarningTest, NoClosesTheWarningAndNothingElse) {
  program.message->CmdNo_Click();
  EXPECT_LOG(log, "unload FrmMessage");
  EXPECT_EQ(desktop.visible, std::set<forms::WindowId>{forms::WindowId::FrmMain});
}

TEST_F(WarningTest, YesOpensTheLoginAndClosesTheWarning) {
  program.message->CmdYes_Click();
  EXPECT_LOG(log, "show FrmChackPassWord", "unload FrmMessage");
  EXPECT_FALSE(program.message);
  ASSERT_TRUE(program.chackPassWord);
  EXPECT_TRUE(program.chackPassWord->form.visible);
}

// The camera as the launch left it in the state, and the dialog loaded from
// it.
class ChangeAddressTest : public ProgramTest {
 protected:
  void Open(int16_t family, std::u16string version) {
    StartWith({Camera(1, u"192.168.0.20"), Camera(2, u"192.168.0.20")});
    WizardState& state = program.state;
    state.DeviceMac = u"0.64.140.1.2.1";
    state.CurrentIPAddress = u"192.168.0.20";
    state.CurrentSubnetMask = u"255.255.255.0";
    state.CurrentGateway = u"192.168.0.1";
    state.DeviceFamily = family;
    state.DeviceVersion = std::move(version);
    Show(program, program.changeIPAddress);
    cam.devices = {Camera(1, u"10.0.0.9"), Camera(2, u"192.168.0.20")};  // after the change
    log.Clear();
  }
  FrmChangeIPAddress& Dialog() { return *program.changeIPAddress; }
  void Enter(std::u16string ip, std::u16string mask, std::u16string gateway) {
    forms::Type(Dialog().Text1, ip);
    forms::Type(Dialog().Text2, mask);
    forms::Type(Dialog().Text3, gateway);
  }
};

TEST_F(ChangeAddressTest, LoadsTheCurrentAddress) {
  Open(0, u"v2.0.9");
  const FrmChangeIPAddress& dialog = Dialog();
  EXPECT_EQ(dialog.Text1.text, u"192.168.0.20");
  EXPECT_EQ(dialog.Text2.text, u"255.255.255.0");
  EXPECT_EQ(dialog.Text3.text, u"192.168.0.1");
  EXPECT_EQ(dialog.Label1.caption, u"Change IP Address");
  EXPECT_EQ(dialog.Label4.caption, u"IP Address ");
  EXPECT_EQ(dialog.Label5.caption, u"Subnet Mask");
  EXPECT_EQ(dialog.Label6.caption, u"Gateway");
  EXPECT_EQ(dialog.CmdOk.caption, u"OK");
  EXPECT_EQ(dialog.form.focus, &dialog.CmdOk);
  for (const forms::TextBox* box : {&dialog.Text1, &dialog.Text2, &dialog.Text3}) {
    EXPECT_EQ(box->maxLength, 0);
    EXPECT_LT(dialog.CmdOk.tabIndex, box->tabIndex);
  }
}

TEST_F(ChangeAddressTest, SendsTheNewAddressWaitsAndSearchesAgain) {
  Open(2, u"v2.0.9");
  Enter(u"10.0.0.9", u"255.0.0.0", u"10.0.0.254");
  Dialog().CmdOk_Click();
  EXPECT_LOG(log, "pointer 11", "CamTemp.ProtocolOption = 0", "CamTemp.ProtocolFamily = 2", "CamTemp.TargetPort = 80",
             "CamTemp.TargetAddress = \"10.0.0.9\"", "CamTemp.AddressInUse", "CamTemp.TargetMac = \"0.64.140.1.2.1\"",
             "CamTemp.ChangeAddress(\"10.0.0.9\", \"255.0.0.0\", \"10.0.0.254\")", "CamTemp.ApplySettings(1, 0)",
             "waits 15000 for 10.0.0.9", "watch 15000 back after 15000", "unload FrmMain",
             // the main window loads afresh and searches
             "pointer 11", "cam.Search", "cam.FoundCount", "cam.DeviceIndex = 0", "cam.DeviceCaption",
             "cam.DeviceMacText", "cam.DeviceAddress", "cam.DeviceAddress", "cam.DeviceMode", "cam.DeviceNote",
             "cam.DeviceIndex = 1", "cam.DeviceCaption", "cam.DeviceMacText", "cam.DeviceAddress", "cam.DeviceAddress",
             "cam.DeviceMode", "cam.DeviceNote", "pointer 0", "show FrmMain", "unload FrmChangeIPAddress", "pointer 0");
  const WizardState& state = program.state;
  EXPECT_EQ(state.CurrentIPAddress, u"10.0.0.9");
  EXPECT_EQ(state.CurrentSubnetMask, u"255.0.0.0");
  EXPECT_EQ(state.CurrentGateway, u"10.0.0.254");
  EXPECT_FALSE(program.changeIPAddress);
  ASSERT_TRUE(program.frmMain);
  EXPECT_EQ(program.frmMain->List.rows[0].cells[1], u"10.0.0.9");
  EXPECT_EQ(desktop.visible, std::set<forms::WindowId>{forms::WindowId::FrmMain});
}

// After a launch on an ONVIF row the dialog keeps speaking ONVIF, at the
// row's own service; the camera control decides whether the camera reached
// is the one chosen.
TEST_F(ChangeAddressTest, AnOnvifRowIsSpokenToAtItsOwnService) {
  Open(2, u"v2.0.9");
  program.frmMain->LaunchedOnvifRow = true;
  cam.DeviceIndex(0);
  cam.servicePort = 8080;
  cam.servicePath = u"/services/device";
  log.Clear();
  Enter(u"10.0.0.9", u"255.0.0.0", u"10.0.0.254");
  Dialog().CmdOk_Click();
  EXPECT_LOG(log, "pointer 11", "CamTemp.ProtocolOption = 1", "CamTemp.ProtocolFamily = 2", "cam.DevicePort",
             "CamTemp.TargetPort = 8080", "cam.DeviceServicePath", "CamTemp.TargetServicePath = \"/services/device\"",
             "cam.DeviceLinkLocal", "CamTemp.TargetLinkLocal = \"\"",
             "CamTemp.TargetAddress = \"10.0.0.9\"", "CamTemp.AddressInUse", "CamTemp.TargetMac = \"0.64.140.1.2.1\"",
             "CamTemp.ChangeAddress(\"10.0.0.9\", \"255.0.0.0\", \"10.0.0.254\")", "CamTemp.ApplySettings(1, 0)",
             "waits 15000 for 10.0.0.9", "watch 15000 back after 15000", "unload FrmMain", "pointer 11", "cam.Search",
             "cam.FoundCount", "cam.DeviceIndex = 0", "cam.DeviceCaption", "cam.DeviceMacText", "cam.DeviceAddress",
             "cam.DeviceAddress", "cam.DeviceMode", "cam.DeviceNote", "cam.DeviceIndex = 1", "cam.DeviceCaption",
             "cam.DeviceMacText", "cam.DeviceAddress", "cam.DeviceAddress", "cam.DeviceMode", "cam.DeviceNote",
             "pointer 0", "show FrmMain", "unload FrmChangeIPAddress", "pointer 0");
}

TEST_F(ChangeAddressTest, AnUnchangedAddressIsAskedAboutLikeAnyOther) {
  Open(0, u"v2.0.9");
  Dialog().CmdOk_Click();
  EXPECT_EQ(log.Starting("CamTemp.TargetAddress"),
            std::vector<std::string>{"CamTemp.TargetAddress = \"192.168.0.20\""});
  EXPECT_EQ(log.Starting("CamTemp.TargetPort"), std::vector<std::string>{"CamTemp.TargetPort = 8481"});
  EXPECT_EQ(log.Starting("CamTemp.ProtocolFamily"), std::vector<std::string>{"CamTemp.ProtocolFamily = 0"});
  EXPECT_EQ(log.Starting("CamTemp.ChangeAddress").size(), 1u);
}

struct WaitCase {
  std::u16string version;
  std::vector<int32_t> sleeps;
};

class WaitTest : public ChangeAddressTest, public testing::WithParamInterface<WaitCase> {};

TEST_P(WaitTest, WaitsLongerForFirmwareThatRestartsOnlyWhenTold) {
  Open(0, GetParam().version);
  Enter(u"10.0.0.9", u"255.255.255.0", u"10.0.0.1");
  Dialog().CmdOk_Click();
  EXPECT_EQ(desktop.sleeps, GetParam().sleeps);
  // The waits (announced first) come after the apply and before the main
  // window goes.
  const auto apply = std::find(log.lines.begin(), log.lines.end(), "CamTemp.ApplySettings(1, 0)");
  const auto unload = std::find(log.lines.begin(), log.lines.end(), "unload FrmMain");
  ASSERT_NE(apply, log.lines.end());
  EXPECT_EQ(unload - apply, static_cast<std::ptrdiff_t>(GetParam().sleeps.size() + 2));
}

INSTANTIATE_TEST_SUITE_P(Versions, WaitTest,
                         testing::Values(WaitCase{u"1.00.001", {15000, 10000}}, WaitCase{u"V2.0.001x", {15000, 10000}},
                                         WaitCase{u"1.00.002", {15000}}, WaitCase{u"1.01.001", {15000}},
                                         WaitCase{u"1.00.00", {15000}}, WaitCase{u"1.00", {15000}},
                                         WaitCase{u"", {15000}}, WaitCase{u"v2.0.9", {15000}}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.version); });

TEST_F(ChangeAddressTest, AnAddressInUseIsRefusedAndNothingIsChanged) {
  Open(2, u"1.00.001");
  Enter(u"192.168.0.50", u"255.255.255.0", u"192.168.0.1");
  camTemp.addressInUse = {-1};
  Dialog().CmdOk_Click();
  EXPECT_LOG(log, "pointer 11", "CamTemp.ProtocolOption = 0", "CamTemp.ProtocolFamily = 2", "CamTemp.TargetPort = 80",
             "CamTemp.TargetAddress = \"192.168.0.50\"", "CamTemp.AddressInUse", "pointer 0",
             "msgbox \"192.168.0.50\r\n IP conflict !!\" title=\"Sentrova\" icon=critical buttons=ok");
  FrmChangeIPAddress& dialog = Dialog();
  EXPECT_EQ(dialog.form.focus, &dialog.Text1);
  EXPECT_EQ(dialog.Text1.selStart, 0);
  EXPECT_EQ(dialog.Text1.selLength, 12);
  EXPECT_EQ(program.state.CurrentIPAddress, u"192.168.0.20");
  EXPECT_EQ(program.state.CurrentSubnetMask, u"255.255.255.0");
  EXPECT_EQ(program.state.CurrentGateway, u"192.168.0.1");
  EXPECT_TRUE(desktop.sleeps.empty());

  // Another try asks again from the start.
  log.Clear();
  forms::Type(dialog.Text1, u"192.168.0.51");
  dialog.CmdOk_Click();
  EXPECT_EQ(log.Starting("CamTemp.").front(), "CamTemp.ProtocolOption = 0");
  EXPECT_EQ(log.Starting("CamTemp.ChangeAddress"),
            std::vector<std::string>{"CamTemp.ChangeAddress(\"192.168.0.51\", \"255.255.255.0\", \"192.168.0.1\")"});
}

// Any answer but -1 means the address is free.
TEST_F(ChangeAddressTest, OnlyMinusOneMeansTaken) {
  Open(0, u"v2.0.9");
  camTemp.addressInUse = {1};
  Dialog().CmdOk_Click();
  EXPECT_EQ(log.Starting("CamTemp.ChangeAddress").size(), 1u);
  EXPECT_TRUE(log.Starting("msgbox").empty());
}

struct RefusedEntryCase {
  std::u16string ip;
  std::u16string mask;
  std::u16string gateway;
  std::string message;
  int field;  // 1, 2, 3: Text1, Text2, Text3
};

class RefusedEntryTest : public ChangeAddressTest, public testing::WithParamInterface<RefusedEntryCase> {};

// A malformed entry is refused before the hourglass and before anything
// reaches the camera; the offending field takes the focus, all selected.
TEST_P(RefusedEntryTest, NothingIsSentForAMalformedEntry) {
  Open(0, u"v2.0.9");
  Enter(GetParam().ip, GetParam().mask, GetParam().gateway);
  Dialog().CmdOk_Click();
  EXPECT_LOG(log, "msgbox \"" + GetParam().message + "\" title=\"\" icon=critical buttons=ok");
  FrmChangeIPAddress& dialog = Dialog();
  forms::TextBox* fields[] = {&dialog.Text1, &dialog.Text2, &dialog.Text3};
  forms::TextBox& field = *fields[GetParam().field - 1];
  EXPECT_EQ(dialog.form.focus, &field);
  EXPECT_EQ(field.selStart, 0);
  EXPECT_EQ(field.selLength, static_cast<int32_t>(field.text.size()));
  EXPECT_EQ(program.state.CurrentIPAddress, u"192.168.0.20");
  EXPECT_TRUE(program.changeIPAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RefusedEntryTest,
    testing::Values(RefusedEntryCase{u"10.0.0.300", u"255.255.255.0", u"10.0.0.1", "IPAddress Is Error", 1},
                    RefusedEntryCase{u"", u"255.255.255.0", u"10.0.0.1", "IPAddress Is Error", 1},
                    RefusedEntryCase{u"10.0.0", u"255.255.255.0", u"10.0.0.1", "IPAddress Is Error", 1},
                    RefusedEntryCase{u"10.0.0.9", u"255.255.256.0", u"10.0.0.1", "SubnetMask Is Error", 2},
                    RefusedEntryCase{u"10.0.0.9", u"", u"10.0.0.1", "SubnetMask Is Error", 2},
                    RefusedEntryCase{u"10.0.0.9", u"255.255.255.0", u"10.0.0.x", "Gateway Is Error", 3},
                    RefusedEntryCase{u"10.0.0.9", u"255.255.255.0", u"10.0.0.256", "Gateway Is Error", 3},
                    // the first failing entry wins
                    RefusedEntryCase{u"a", u"b", u"c", "IPAddress Is Error", 1}),
    [](const auto& testInfo) { return ParamName(testInfo.param.ip, testInfo.param.mask, testInfo.param.gateway); });

TEST_F(ChangeAddressTest, AFailingCameraControlKeepsTheDialogAndTheAddress) {
  Open(0, u"v2.0.9");
  Enter(u"10.0.0.9", u"255.255.255.0", u"10.0.0.1");
  camTemp.failing = {"ApplySettings"};
  Dialog().CmdOk_Click();
  const std::vector<std::string> tail(log.lines.end() - 3, log.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"CamTemp.ApplySettings(1, 0)", "pointer 0",
                                            "msgbox \"Camera Error . ApplySettings failed\" title=\"\" "
                                            "icon=critical buttons=ok"}));
  EXPECT_EQ(program.state.CurrentIPAddress, u"192.168.0.20");
  EXPECT_TRUE(program.changeIPAddress);
  EXPECT_TRUE(desktop.sleeps.empty());
  EXPECT_TRUE(log.Starting("unload FrmMain").empty());
}

}  // namespace
