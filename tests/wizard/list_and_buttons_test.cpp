// Choosing and opening rows of the device list, the web page button, the
// about box and the exit button of the main window.
#include <gtest/gtest.h>

#include <functional>

#include "support/param_name.h"
#include "wizard/program_fixture.h"
#include "base/text.h"
#include "wizard/frm_sys_about.h"

namespace {

class ListEventsTest : public ProgramTest {
 protected:
  void SetUp() override {
    StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6")});
    // The address comes from the list, not from a fresh read of the camera.
    Main().List.CellText(1, 1, u"10.0.0.66");
    Choose(1);
  }
};

TEST_F(ListEventsTest, ChoosingARowReadsThatCamera) {
  Main().List_Event9();
  EXPECT_EQ(log.Starting("cam.DeviceIndex"), std::vector<std::string>{"cam.DeviceIndex = 1"});
  EXPECT_EQ(log.Last("cam.ProtocolFamily"), "cam.ProtocolFamily = 0");
  EXPECT_EQ(log.Last("cam.ProtocolOption"), "cam.ProtocolOption = 0");
  const WizardState& state = program.state;
  EXPECT_EQ(state.DeviceMac, u"0.64.140.1.2.2");
  EXPECT_EQ(state.CurrentIPAddress, u"10.0.0.66");
  EXPECT_EQ(state.DeviceVersion, u"v2.0.92");
  EXPECT_EQ(state.CurrentSubnetMask, u"255.255.255.0");
  EXPECT_EQ(state.CurrentGateway, u"10.0.0.1");
  EXPECT_TRUE(desktop.openedPages.empty());
}

TEST_F(ListEventsTest, OpeningARowOpensItsWebPage) {
  Main().List_Event10();
  EXPECT_EQ(log.Starting("cam.DeviceIndex"), std::vector<std::string>{"cam.DeviceIndex = 1"});
  EXPECT_EQ(log.Last("cam.ProtocolFamily"), "cam.ProtocolFamily = 0");
  EXPECT_EQ(desktop.openedPages, std::vector<std::string>{"http://10.0.0.66/"});
  EXPECT_EQ(program.state.DeviceMac, u"0.64.140.1.2.2");
  EXPECT_EQ(program.state.CurrentIPAddress, u"10.0.0.66");
}

TEST_F(ListEventsTest, TheLinkButtonOpensTheChosenRowsWebPage) {
  Choose(0);
  Main().CmdLink_Click();
  EXPECT_EQ(desktop.openedPages, (std::vector<std::string>{"http://10.0.0.5/"}));
  EXPECT_EQ(program.state.DeviceMac, u"0.64.140.1.2.1");
}

// Whatever a camera reports as its address never reaches the browser unless
// it is a plain IPv4 address; the camera is still read.
TEST_F(ListEventsTest, AnAddressThatIsNoAddressOpensNothing) {
  for (const char16_t* address : {u"10.0.0.300", u"10.0.0.5 & del *", u"", u"010.0.0.5"}) {
    log.Clear();
    Main().List.CellText(1, 1, address);
    Main().List_Event10();
    Main().CmdLink_Click();
    EXPECT_TRUE(desktop.openedPages.empty()) << base::ToUtf8(address);
    EXPECT_EQ(log.Starting("cam.DeviceIndex").size(), 2u);
    EXPECT_EQ(program.state.CurrentIPAddress, address);
  }
}

TEST_F(ListEventsTest, AFailingCameraControlIsReportedAndOpensNothing) {
  cam.failing = {"DeviceMacText"};
  Main().List_Event10();
  EXPECT_LOG(log, "cam.DeviceIndex = 1", "cam.DeviceMacText", "pointer 0",
             "msgbox \"Camera Error . DeviceMacText failed\" title=\"\" icon=critical buttons=ok");
  EXPECT_TRUE(desktop.openedPages.empty());
}

struct IdleCase {
  const char* what;
  std::vector<FakeCameraDevice> devices;
  int32_t selectedRow;
};

class IdleListTest : public ProgramTest, public testing::WithParamInterface<IdleCase> {};

// With nothing listed, or nothing chosen, the list events and the buttons
// touch nothing; the wizard button only puts the pointer back.
TEST_P(IdleListTest, ListEventsAndButtonsDoNothing) {
  StartWith(GetParam().devices);
  Choose(GetParam().selectedRow);
  const WizardState before = program.state;
  Main().List_Event9();
  Main().List_Event10();
  Main().CmdLink_Click();
  EXPECT_TRUE(log.lines.empty()) << Lines(log.lines);
  Main().CmdWizard_Click();
  EXPECT_LOG(log, "pointer 0");
  EXPECT_EQ(program.state.DeviceMac, before.DeviceMac);
  EXPECT_EQ(program.state.CurrentIPAddress, before.CurrentIPAddress);
  EXPECT_TRUE(Main().form.visible);
}

INSTANTIATE_TEST_SUITE_P(Lists, IdleListTest,
                         testing::Values(IdleCase{"empty list", {}, forms::NoSelectedRow},
                                         IdleCase{"empty list, stale selection", {}, 0},
                                         IdleCase{"no row chosen", {Camera(1, u"10.0.0.5")}, forms::NoSelectedRow},
                                         IdleCase{"selection beyond the rows", {Camera(1, u"10.0.0.5")}, 4}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.what); });

class MainButtonsTest : public ProgramTest {};

TEST_F(MainButtonsTest, ExitEndsTheProgramAtOnce) {
  StartWith({Camera(1, u"10.0.0.5")});
  Main().CmdExit_Click();
  EXPECT_LOG(log, "end");
  EXPECT_TRUE(desktop.ended);
}

TEST_F(MainButtonsTest, TheUnloadHandlerDoesNothing) {
  StartWith({Camera(1, u"10.0.0.5")});
  Main().Form_Unload();
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(MainButtonsTest, AboutShowsTheProgramVersionAndOkComesBack) {
  StartWith({Camera(1, u"10.0.0.5")});
  Main().CmdAbout_Click();
  EXPECT_LOG(log, "show FrmSysAbout", "hide FrmMain");
  ASSERT_TRUE(program.sysAbout);
  EXPECT_EQ(program.sysAbout->Label1.caption, u"2.61.0");
  EXPECT_EQ(program.sysAbout->form.caption, u"Setup Wizard");
  EXPECT_FALSE(Main().form.visible);

  log.Clear();
  program.sysAbout->CmdOk_Click();
  EXPECT_LOG(log, "show FrmMain", "unload FrmSysAbout");
  EXPECT_FALSE(program.sysAbout);
  EXPECT_TRUE(Main().form.visible);
  EXPECT_EQ(Main().List.rows.size(), 1u);  // shown again, not searched again
}

class OtherVersionDesktop : public FakeDesktop {
 public:
  using FakeDesktop::FakeDesktop;
  forms::Version ProgramVersion() override { return {10, 0, 7}; }
};

TEST(AboutBox, WritesEachPartInPlainDecimal) {
  EventLog log;
  OtherVersionDesktop desktop{log};
  FakeCamera cam{"cam", log};
  FakeCamera camTemp{"CamTemp", log};
  Program program{desktop, cam, camTemp};
  program.Start();
  EXPECT_EQ(Load(program, program.sysAbout).Label1.caption, u"2.21");  // until the main window writes it
  program.frmMain->CmdAbout_Click();
  EXPECT_EQ(program.sysAbout->Label1.caption, u"10.0.7");
}

}  // namespace
