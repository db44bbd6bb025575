// The device search of the main window: what it asks the camera control, in
// which order, and what the list shows afterwards.
#include <gtest/gtest.h>

#include "support/param_name.h"
#include "wizard/program_fixture.h"

namespace {

using Cells = std::array<std::u16string, forms::ListView::ColumnCount>;

class SearchTest : public ProgramTest {};

TEST_F(SearchTest, LoadingTheMainWindowSearchesBeforeItIsShown) {
  cam.devices = {Camera(1, u"10.0.0.5", u"CS-200"), Camera(2, u"192.168.0.20", u"X-350")};
  cam.notes[1] = u"other network";
  cam.networks[1] = u"192.0.2.1/24 on eth0";
  program.Start();
  EXPECT_LOG(log, "pointer 11", "cam.Search", "cam.FoundCount",                                     //
             "cam.DeviceIndex = 0", "cam.DeviceCaption", "cam.DeviceMacText", "cam.DeviceAddress",  //
             "cam.DeviceAddress", "cam.DeviceMode", "cam.DeviceNote",                               //
             "cam.DeviceIndex = 1", "cam.DeviceCaption", "cam.DeviceMacText", "cam.DeviceAddress",  //
             "cam.DeviceAddress", "cam.DeviceMode", "cam.DeviceNote", "cam.DeviceNetworks",         //
             "pointer 0", "show FrmMain");
  FrmMain& main = Main();
  EXPECT_EQ(main.form.caption, u"Setup Wizard");
  EXPECT_TRUE(main.form.visible);
  EXPECT_EQ(main.List.headers,
            (std::vector<std::u16string>{u"Mac Address", u"Current IP Address", u"Assigned", u"Mode", u"Network"}));
  ASSERT_EQ(main.List.rows.size(), 2u);
  EXPECT_EQ(main.List.rows[0].text, u"Camera 1");
  EXPECT_EQ(main.List.rows[0].cells, (Cells{u"00 40 8C 01 02 01", u"10.0.0.5", u"ok", u"CS-200", u""}));
  EXPECT_EQ(main.List.rows[1].text, u"Camera 2");
  EXPECT_EQ(main.List.rows[1].cells, (Cells{u"00 40 8C 01 02 02", u"192.168.0.20", u"", u"X-350", u"other network"}));
  // A row outside the computer's networks names them when pointed at.
  EXPECT_EQ(main.List.rows[0].tip, u"");
  EXPECT_EQ(main.List.rows[1].tip, u"Outside this computer's networks (192.0.2.1/24 on eth0)");
  EXPECT_EQ(program.state.DeviceCount, 2);
}

TEST_F(SearchTest, NoCameraLeavesTheListEmpty) {
  StartWith({Camera(1, u"10.0.0.5")});
  cam.devices.clear();
  Main().Command1_Click();
  EXPECT_LOG(log, "pointer 11", "cam.Search", "cam.FoundCount", "pointer 0");
  EXPECT_TRUE(Main().List.rows.empty());
  EXPECT_EQ(program.state.DeviceCount, 0);
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
}

// Cameras heard between searches: the new one gets the next row, as a
// search would add it, and a listed camera's note follows the control's.
TEST_F(SearchTest, NewsBetweenSearchesAddRowsAndRefreshNotes) {
  StartWith({Camera(1, u"10.0.0.5")});
  cam.HearBetweenSearches(Camera(2, u"10.9.0.10", u"ONVIF"));
  cam.notes[0] = u"gone (said Bye)";
  cam.notes[1] = u"other network, announced";
  Main().ShowListNews();
  ASSERT_EQ(Main().List.rows.size(), 2u);
  EXPECT_EQ(program.state.DeviceCount, 2);
  EXPECT_EQ(Main().List.rows[0].cells[4], u"gone (said Bye)");
  EXPECT_EQ(Main().List.rows[1].text, u"Camera 2");
  EXPECT_EQ(Main().List.rows[1].cells,
            (Cells{u"00 40 8C 01 02 02", u"10.9.0.10", u"ok", u"ONVIF", u"other network, announced"}));
  Main().ShowListNews();
  EXPECT_EQ(Main().List.rows.size(), 2u) << "no news, no new row";
}

TEST_F(SearchTest, SearchingAgainRebuildsTheListFromScratch) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6")});
  const std::vector<forms::ListView::Row> first = Main().List.rows;
  Main().Command1_Click();
  Main().Command1_Click();
  EXPECT_EQ(Main().List.rows.size(), 2u);
  EXPECT_EQ(Main().List.rows[0].cells, first[0].cells);
  EXPECT_EQ(Main().List.rows[1].cells, first[1].cells);
  EXPECT_EQ(program.state.DeviceCount, 2);
  EXPECT_EQ(log.Starting("cam.DeviceIndex"), (std::vector<std::string>{"cam.DeviceIndex = 0", "cam.DeviceIndex = 1",
                                                                       "cam.DeviceIndex = 0", "cam.DeviceIndex = 1"}));
}

TEST_F(SearchTest, SearchingAgainShowsCamerasThatCameAndWent) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6")});
  cam.devices = {Camera(3, u"10.0.0.7")};
  Main().Command1_Click();
  ASSERT_EQ(Main().List.rows.size(), 1u);
  EXPECT_EQ(Main().List.rows[0].cells[1], u"10.0.0.7");
  EXPECT_EQ(program.state.DeviceCount, 1);
}

struct AssignedCase {
  std::u16string address;
  std::u16string mark;
};

class AssignedMarkTest : public ProgramTest, public testing::WithParamInterface<AssignedCase> {};

// Only the two factory addresses, compared exactly, count as unassigned.
TEST_P(AssignedMarkTest, MarksEveryAddressButTheTwoFactoryOnes) {
  StartWith({Camera(1, GetParam().address)});
  ASSERT_EQ(Main().List.rows.size(), 1u);
  EXPECT_EQ(Main().List.rows[0].cells[1], GetParam().address);
  EXPECT_EQ(Main().List.rows[0].cells[2], GetParam().mark);
}

INSTANTIATE_TEST_SUITE_P(Addresses, AssignedMarkTest,
                         testing::Values(AssignedCase{u"192.168.0.20", u""}, AssignedCase{u"192.168.0.30", u""},
                                         AssignedCase{u"192.168.0.200", u"ok"}, AssignedCase{u"192.168.0.3", u"ok"},
                                         AssignedCase{u"192.168.0.2", u"ok"}, AssignedCase{u" 192.168.0.20", u"ok"},
                                         AssignedCase{u"192.168.0.30 ", u"ok"}, AssignedCase{u"192.168.000.20", u"ok"},
                                         AssignedCase{u"", u"ok"}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.address); });

// A camera control that fails while it describes one chosen camera.
class CameraFailingAt : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  int32_t failingIndex = -1;
  std::u16string DeviceMode() override {
    std::u16string mode = FakeCamera::DeviceMode();
    if (deviceIndex == failingIndex) throw device::CameraControlError("no answer from camera");
    return mode;
  }
};

struct SearchFailureCase {
  std::string member;
  size_t rowsLeft;  // of two cameras, when the member fails for the first
};

class SearchFailureTest : public ProgramTest, public testing::WithParamInterface<SearchFailureCase> {};

// The rows read before the failure stay (a row already added stays even
// when a later cell failed), the count matches them, the pointer comes back
// and the user is told.
TEST_P(SearchFailureTest, KeepsWhatWasReadAndSaysSo) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6")});
  cam.failing = {GetParam().member};
  Main().Command1_Click();
  EXPECT_EQ(Main().List.rows.size(), GetParam().rowsLeft);
  EXPECT_EQ(program.state.DeviceCount, static_cast<int16_t>(GetParam().rowsLeft));
  const std::vector<std::string> tail(log.lines.end() - 3, log.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "pointer 0",
                      "msgbox \"Camera Error . " + GetParam().member + " failed\" title=\"\" icon=critical buttons=ok",
                      "pointer 0"}));
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
}

INSTANTIATE_TEST_SUITE_P(Members, SearchFailureTest,
                         testing::Values(SearchFailureCase{"Search", 0}, SearchFailureCase{"FoundCount", 0},
                                         SearchFailureCase{"DeviceIndex", 0}, SearchFailureCase{"DeviceCaption", 0},
                                         SearchFailureCase{"DeviceMacText", 1}, SearchFailureCase{"DeviceAddress", 1},
                                         SearchFailureCase{"DeviceMode", 1}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.member); });

TEST(SearchFailureLater, KeepsTheCamerasDescribedBeforeTheFailure) {
  EventLog log;
  FakeDesktop desktop{log};
  CameraFailingAt cam{"cam", log};
  FakeCamera camTemp{"CamTemp", log};
  Program program{desktop, cam, camTemp};
  cam.devices = {Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6"), Camera(3, u"10.0.0.7")};
  cam.failingIndex = 2;
  program.Start();
  FrmMain& main = *program.frmMain;
  ASSERT_EQ(main.List.rows.size(), 3u);
  EXPECT_EQ(main.List.rows[1].cells, (Cells{u"00 40 8C 01 02 02", u"10.0.0.6", u"ok", u"CS-200"}));
  EXPECT_EQ(main.List.rows[2].cells, (Cells{u"00 40 8C 01 02 03", u"10.0.0.7", u"ok", u""}));
  EXPECT_EQ(program.state.DeviceCount, 3);
  EXPECT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
  EXPECT_TRUE(main.form.visible);
}

// A count the control cannot mean is no reason to list anything.
class CountingCamera : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  int32_t count = 0;
  int32_t FoundCount() override {
    FakeCamera::FoundCount();
    return count;
  }
};

TEST(SearchCount, NegativeCountListsNothing) {
  EventLog log;
  FakeDesktop desktop{log};
  CountingCamera cam{"cam", log};
  FakeCamera camTemp{"CamTemp", log};
  Program program{desktop, cam, camTemp};
  cam.count = -3;
  program.Start();
  EXPECT_TRUE(program.frmMain->List.rows.empty());
  EXPECT_EQ(program.state.DeviceCount, 0);
  EXPECT_TRUE(log.Starting("cam.DeviceIndex").empty());
}

struct MacCase {
  std::u16string macText;
  std::u16string shown;
};

class FormatMacTextTest : public testing::TestWithParam<MacCase> {};

TEST_P(FormatMacTextTest, ShowsSixHexGroups) { EXPECT_EQ(device::FormatMacText(GetParam().macText), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(
    MacTexts, FormatMacTextTest,
    testing::Values(MacCase{u"0.12.34.255.1.2", u"00 0C 22 FF 01 02"},
                    MacCase{u"10.11.12.13.14.15", u"0A 0B 0C 0D 0E 0F"},
                    MacCase{u"1.2.3.4.5.300", u"01 02 03 04 05 12C"},  // three digits stay
                    MacCase{u"1.2.3.4.5.6.7", u"01 02 03 04 05 06"},   // the seventh part is ignored
                    MacCase{u"1.2.3.4.5.6.x", u"01 02 03 04 05 06"},   // whatever it holds
                    MacCase{u"007.0.16.4095.65536.9", u"07 00 10 FFF 10000 09"},
                    MacCase{u"4294967295.0.0.0.0.0", u"FFFFFFFF 00 00 00 00 00"},
                    // What cannot be read shows as "??", and six groups always.
                    MacCase{u"1.2.3", u"01 02 03 ?? ?? ??"}, MacCase{u"", u"?? ?? ?? ?? ?? ??"},
                    MacCase{u"1.x.3.4.5.6", u"01 ?? 03 04 05 06"}, MacCase{u"1..3.4.5.6", u"01 ?? 03 04 05 06"},
                    MacCase{u"+1.-2. 3.4 .0x5.6", u"?? ?? ?? ?? ?? 06"},
                    MacCase{u"4294967296.1.2.3.4.5", u"?? 01 02 03 04 05"},
                    MacCase{u"99999999999999999999.1.2.3.4.5", u"?? 01 02 03 04 05"},
                    MacCase{u"\u0661.2.3.4.5.6", u"?? 02 03 04 05 06"},  // an Arabic-Indic one is no decimal here
                    MacCase{u"00-40-8C-01-02-03", u"?? ?? ?? ?? ?? ??"}),
    [](const auto& testInfo) { return ParamName(testInfo.param.macText); });

struct PageCase {
  std::u16string address;
  std::string page;  // empty: no page opens
};

class CameraWebPageTest : public testing::TestWithParam<PageCase> {};

TEST_P(CameraWebPageTest, OpensOnlyWellFormedAddresses) {
  const std::optional<std::string> page = device::CameraWebPage(GetParam().address);
  EXPECT_EQ(page.value_or(""), GetParam().page);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CameraWebPageTest,
    testing::Values(PageCase{u"10.0.0.5", "http://10.0.0.5/"}, PageCase{u"192.168.0.20", "http://192.168.0.20/"},
                    PageCase{u"255.255.255.255", "http://255.255.255.255/"}, PageCase{u"0.0.0.0", "http://0.0.0.0/"},
                    PageCase{u"10.0.0.0", "http://10.0.0.0/"},
                    // Not an address: nothing opens.
                    PageCase{u"", ""}, PageCase{u"256.1.1.1", ""}, PageCase{u"1.2.3.1000", ""}, PageCase{u"1.2.3", ""},
                    PageCase{u"1.2.3.4.5", ""}, PageCase{u"1..3.4", ""}, PageCase{u"1.2.3.", ""},
                    PageCase{u".1.2.3", ""}, PageCase{u" 10.0.0.5", ""}, PageCase{u"10.0.0.5 ", ""},
                    PageCase{u"+10.0.0.5", ""}, PageCase{u"10.-0.0.5", ""}, PageCase{u"010.0.0.5", ""},
                    PageCase{u"10.0.0.05", ""}, PageCase{u"10.00.0.5", ""}, PageCase{u"a.b.c.d", ""},
                    PageCase{u"10.0.0.5/admin", ""}, PageCase{u"10.0.0.5:80", ""}, PageCase{u"10.0.0.5\" & calc", ""},
                    PageCase{u"10.0.0.5\r\n", ""}, PageCase{u"camera.local", ""}, PageCase{u"\u0661.0.0.5", ""},
                    PageCase{u"::1", ""}),
    [](const auto& testInfo) { return ParamName(testInfo.param.address); });

}  // namespace
