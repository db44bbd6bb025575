// The two summary pages: what they show, and Restart: every call to the
// camera in its order with its value types, the waits by firmware version,
// the windows closed and the main window opened afresh.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "support/param_name.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_wireless.h"

namespace {

constexpr const char16_t* ExplicitRestartVersion = u"1.00.001";

class SummaryTest : public PageTest {
 protected:
  void SetUp() override {
    StartWith({u"10.0.0.5"});
    state.ChangeAdminID = True;
    state.NewAdminID = u"newadmin";
    state.ChangeAdminPassword = False;
    state.NewAdminPassword = u"unused";
    state.NewIPAddress = u"10.0.0.6";
    state.NewSubnetMask = u"255.255.0.0";
    state.NewGateway = u"";
    // The wizard's pages are loaded and hidden, as after a run through them.
    Load(program, program.setPassword);
    Load(program, program.setIPAddress);
  }

  // A wireless run: the wireless page with a new hexadecimal key ticked.
  FrmSetupEnd& WirelessSummary() {
    MakeWireless(0, u"home", 6, 1, u"abcde");
    FrmWireless& wireless = Open(program.wireless);
    wireless.optWEPKeyFormat.selected = 1;
    wireless.optWEPKeyFormat_Click();
    wireless.CheckEWK.value = 1;
    wireless.CheckEWK_Click();
    wireless.txtNewWlanWEPKey.text = wireless.txtWlanWEPKeyConfirm.text = u"0123456789";
    wireless.optConnectionMode.selected = 1;
    wireless.CboChannel.text = u"11";
    wireless.CmdNext_Click();
    log.Clear();
    return *program.setupEnd;
  }
  FrmsetLanEnd& WiredSummary() { return Open(program.setLanEnd); }

  // The lines up to and including the main window's unload; the rest is the
  // fresh main window's search, its show and this page's unload.
  std::vector<std::string> UpToMainUnload() const {
    auto end = std::find(log.lines.begin(), log.lines.end(), "unload FrmMain");
    return {log.lines.begin(), end == log.lines.end() ? end : end + 1};
  }
  void ExpectMainReopenedThenUnloaded(const std::string& page) {
    ASSERT_GE(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[log.lines.size() - 2], "show FrmMain");
    EXPECT_EQ(log.lines.back(), "unload " + page);
    auto search = std::find(log.lines.begin(), log.lines.end(), "cam.Search");
    auto mainUnload = std::find(log.lines.begin(), log.lines.end(), "unload FrmMain");
    EXPECT_TRUE(mainUnload < search && search < log.lines.end() - 2) << Logged();
    ASSERT_TRUE(program.frmMain);
    EXPECT_TRUE(program.frmMain->form.visible);
    EXPECT_EQ(program.frmMain->List.rows.size(), 1u);
    EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
  }
};

std::vector<std::string> AccountAndAddress(const std::string& id, const std::string& password) {
  return {"CamTemp.LoginID = \"admin\"",
          "CamTemp.LoginPassword = \"secret\"",
          "CamTemp.SetSetting(\"SysAdminID\", \"" + id + "\")",
          "CamTemp.SetSetting(\"SysAdminPassword\", \"" + password + "\")",
          "CamTemp.SetSetting(\"SysIPAssignment\", 1)",
          "CamTemp.SetSetting(\"SysIPAddress\", \"10.0.0.6\")",
          "CamTemp.SetSetting(\"SysSubnetMask\", \"255.255.0.0\")",
          "CamTemp.SetSetting(\"SysDefaultGateway\", \"\")",
          "CamTemp.GetSettingText(\"SysIPAddress\")",
          "CamTemp.GetSettingText(\"SysSubnetMask\")",
          "CamTemp.GetSettingText(\"SysDefaultGateway\")",
          "CamTemp.ApplySettings(1, 0)"};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The camera is back at the end of the last wait; the waits after the apply
// (after the restart command, where there is one) watch for it.
const std::vector<std::string> ShortWaits{"waits 16000 for 10.0.0.6", "watch 1000", "watch 15000 back after 15000",
                                          "pointer 0"};
const std::vector<std::string> LongWaits{
    "waits 31000 for 10.0.0.6",     "sleep 1000", "CamTemp.Restart", "watch 5000", "watch 15000",
    "watch 10000 back after 10000", "pointer 0"};

TEST_F(SummaryTest, WirelessRestartWritesEverythingInOrderAndReopensTheMainWindow) {
  Load(program, program.chackPassWord);
  FrmSetupEnd& page = WirelessSummary();
  page.CmdRestart_Click();
  EXPECT_EQ(
      Lines(UpToMainUnload()),
      Lines(Concat({{"pointer 11", "CamTemp.SetSetting(\"WlanMode\", 1)", "CamTemp.SetSetting(\"WlanESSID\", \"home\")",
                     "CamTemp.SetSetting(\"WlanChannel\", 11)", "CamTemp.SetSetting(\"WlanWEPFlag\", 257)",
                     "CamTemp.SetSetting(\"WlanWEPKeyHEX\", \"0123456789\")"},
                    AccountAndAddress("newadmin", "secret"),
                    ShortWaits,
                    {"unload FrmChackPassWord", "unload FrmSetIPAddress", "unload FrmSetPassword", "unload FrmWireless",
                     "unload FrmMain"}})));
  ExpectMainReopenedThenUnloaded("FrmSetupEnd");
  EXPECT_EQ(desktop.TotalSleep(), 16000);
  for (bool gone :
       {!program.chackPassWord, !program.setIPAddress, !program.setPassword, !program.wireless, !program.setupEnd}) {
    EXPECT_TRUE(gone);
  }
}

TEST_F(SummaryTest, WiredRestartPutsTheCredentialsFirstAndLeavesTheWirelessPageAlone) {
  state.ChangeAdminID = False;
  state.ChangeAdminPassword = True;
  state.NewAdminPassword = u"newpw";
  Load(program, program.wireless);
  FrmsetLanEnd& page = WiredSummary();
  page.CmdRestart_Click();
  EXPECT_EQ(Lines(UpToMainUnload()),
            Lines(Concat({{"pointer 11"},
                          AccountAndAddress("admin", "newpw"),
                          ShortWaits,
                          {"unload FrmSetIPAddress", "unload FrmSetPassword", "unload FrmMain"}})));
  ExpectMainReopenedThenUnloaded("FrmsetLanEnd");
  EXPECT_TRUE(program.wireless);
  EXPECT_FALSE(program.setLanEnd);
}

struct VersionCase {
  std::u16string version;
  bool explicitRestart;
  bool wireless;
};
void PrintTo(const VersionCase& c, std::ostream* os) {
  *os << base::ToUtf8(c.version) << (c.wireless ? " wireless" : " wired");
}

class SummaryVersionTest : public SummaryTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(SummaryVersionTest, FirmwareVersionDecidesTheRestartCallAndTheWaits) {
  const VersionCase& c = GetParam();
  state.DeviceVersion = c.version;
  if (c.wireless) {
    WirelessSummary().CmdRestart_Click();
  } else {
    WiredSummary().CmdRestart_Click();
  }
  const std::vector<std::string>& waits = c.explicitRestart ? LongWaits : ShortWaits;
  std::vector<std::string> lines = UpToMainUnload();
  auto apply = std::find(lines.begin(), lines.end(), "CamTemp.ApplySettings(1, 0)");
  ASSERT_LE(apply + 1 + static_cast<std::ptrdiff_t>(waits.size()), lines.end());
  EXPECT_EQ(std::vector<std::string>(apply + 1, apply + 1 + static_cast<std::ptrdiff_t>(waits.size())), waits);
  EXPECT_EQ(desktop.TotalSleep(), c.explicitRestart ? 31000 : 16000);
  EXPECT_EQ(log.Starting("CamTemp.Restart").size(), c.explicitRestart ? 1u : 0u);
  using forms::WaitStage;
  std::vector<WaitStage> stages;
  std::vector<int32_t> announced;
  for (const forms::Wait& wait : desktop.announcedWaits) {
    stages.push_back(wait.stage);
    announced.push_back(wait.milliseconds);
  }
  EXPECT_EQ(announced, desktop.sleeps) << "the announced waits are the waits that follow";
  const std::vector<WaitStage> expected =
      c.explicitRestart ? std::vector<WaitStage>{WaitStage::ApplyingSettings, WaitStage::Restarting,
                                                 WaitStage::ComingBack, WaitStage::ComingBack}
                        : std::vector<WaitStage>{WaitStage::ApplyingSettings, WaitStage::ComingBack};
  EXPECT_EQ(stages, expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, SummaryVersionTest,
                         testing::Values(VersionCase{ExplicitRestartVersion, true, true},
                                         VersionCase{ExplicitRestartVersion, true, false},
                                         VersionCase{u"x.y0z001 and more", true, true},
                                         VersionCase{u"1.01.001", false, true}, VersionCase{u"1.01.001", false, false},
                                         VersionCase{u"1.00.002", false, false}, VersionCase{u"1.00.00", false, true},
                                         VersionCase{u"1.0", false, false}),
                         [](const auto& testInfo) {
                           return ParamName(testInfo.param.version, testInfo.param.wireless ? "wireless" : "wired");
                         });

class SummaryNetworkNameTest : public SummaryTest,
                               public testing::WithParamInterface<std::pair<std::u16string, std::string>> {};

TEST_P(SummaryNetworkNameTest, OnlyExactlyAnyIsWrittenAsNoName) {
  FrmSetupEnd& page = WirelessSummary();
  state.NewWlanESSID = GetParam().first;
  page.CmdRestart_Click();
  EXPECT_EQ(log.Starting("CamTemp.SetSetting(\"WlanESSID\""),
            std::vector<std::string>{"CamTemp.SetSetting(\"WlanESSID\", \"" + GetParam().second + "\")"});
}

INSTANTIATE_TEST_SUITE_P(Names, SummaryNetworkNameTest,
                         testing::Values(std::pair<std::u16string, std::string>{u"Any", ""},
                                         std::pair<std::u16string, std::string>{u"any", "any"},
                                         std::pair<std::u16string, std::string>{u"ANY", "ANY"},
                                         std::pair<std::u16string, std::string>{u"Any ", "Any "}),
                         [](const auto& testInfo) { return ParamName(testInfo.param.first); });

struct FlagCase {
  int16_t current;
  Flag hex;
  int written;
};
void PrintTo(const FlagCase& c, std::ostream* os) { *os << c.current << (c.hex == True ? " to hex" : " to ASCII"); }

class SummaryFlagTest : public SummaryTest, public testing::WithParamInterface<FlagCase> {};

TEST_P(SummaryFlagTest, KeyFormatBitIsSetOrClearedAndOtherBitsKept) {
  const FlagCase& c = GetParam();
  FrmSetupEnd& page = WirelessSummary();
  state.CurrentWlanWEPFlag = c.current;
  state.NewWEPKeyIsHex = c.hex;
  page.CmdRestart_Click();
  EXPECT_EQ(log.Starting("CamTemp.SetSetting(\"WlanWEPFlag\""),
            std::vector<std::string>{"CamTemp.SetSetting(\"WlanWEPFlag\", " + std::to_string(c.written) + ")"});
}

INSTANTIATE_TEST_SUITE_P(Flags, SummaryFlagTest,
                         testing::Values(FlagCase{257, False, 1}, FlagCase{1, True, 257}, FlagCase{0, False, 0},
                                         FlagCase{-1, False, -257}, FlagCase{256, True, 256}),
                         [](const auto& testInfo) {
                           return ParamName(testInfo.param.current, testInfo.param.hex == True ? "hex" : "ascii");
                         });

TEST_F(SummaryTest, NoKeyIsWrittenWhenTheChangeBoxIsUnticked) {
  FrmSetupEnd& page = WirelessSummary();
  program.wireless->CheckEWK.value = 0;
  page.CmdRestart_Click();
  EXPECT_TRUE(log.Starting("CamTemp.SetSetting(\"WlanWEPKey").empty());
  EXPECT_EQ(log.Starting("CamTemp.SetSetting(\"WlanWEPFlag\"").size(), 1u);
}

TEST_F(SummaryTest, AnAsciiKeyIsWrittenUnderItsOwnKey) {
  WirelessSummary();
  FrmWireless& wireless = *program.wireless;
  wireless.optWEPKeyFormat.selected = 0;
  wireless.optWEPKeyFormat_Click();
  wireless.txtNewWlanWEPKey.text = u"abcde";
  program.setupEnd->CmdRestart_Click();
  EXPECT_EQ(log.Starting("CamTemp.SetSetting(\"WlanWEPKey"),
            std::vector<std::string>{"CamTemp.SetSetting(\"WlanWEPKey\", \"abcde\")"});
}

TEST_F(SummaryTest, UnchangedAccountIsWrittenWithTheCurrentValues) {
  state.ChangeAdminID = False;
  WiredSummary().CmdRestart_Click();
  EXPECT_EQ(log.Starting("CamTemp.SetSetting(\"SysAdmin"),
            (std::vector<std::string>{"CamTemp.SetSetting(\"SysAdminID\", \"admin\")",
                                      "CamTemp.SetSetting(\"SysAdminPassword\", \"secret\")"}));
}

TEST_F(SummaryTest, WiredLabelsShowWhatWillBeWritten) {
  FrmsetLanEnd& page = WiredSummary();
  EXPECT_EQ(page.LblID.caption, u"newadmin");
  EXPECT_EQ(page.LblPassword.caption, u"secret");
  EXPECT_EQ(page.LblIP.caption, u"10.0.0.6");
  EXPECT_EQ(page.LblSubnet.caption, u"255.255.0.0");
  state.ChangeAdminID = False;
  state.ChangeAdminPassword = True;
  state.NewAdminPassword = u"newpw";
  Open(program.setLanEnd);
  EXPECT_EQ(page.LblID.caption, u"admin");
  EXPECT_EQ(page.LblPassword.caption, u"newpw");
}

TEST_F(SummaryTest, WirelessLabelsShowWhatWillBeWritten) {
  FrmSetupEnd& page = WirelessSummary();
  EXPECT_EQ(page.LblID.caption, u"newadmin");
  EXPECT_EQ(page.LblPassword.caption, u"secret");
  EXPECT_EQ(page.LblIP.caption, u"10.0.0.6");
  EXPECT_EQ(page.LblSubnet.caption, u"255.255.0.0");
  EXPECT_EQ(page.LblSSID.caption, u"home");
  EXPECT_EQ(page.LblChannel.caption, u"11");
  EXPECT_EQ(page.LblWebKey.caption, u"0123456789");
}

struct KeyLabelCase {
  Flag change;
  std::u16string newKey;
  std::u16string currentKey;
  std::u16string shown;
};

TEST_F(SummaryTest, KeyLabelShowsTheNewKeyOrAMaskOfTheCurrentOne) {
  FrmSetupEnd& page = WirelessSummary();
  const std::u16string stars26(26, u'*');
  for (const KeyLabelCase& c :
       {KeyLabelCase{False, u"", std::u16string(13, u'k'), std::u16string(13, u'*')},
        KeyLabelCase{False, u"", std::u16string(10, u'k'), std::u16string(10, u'*')},
        KeyLabelCase{False, u"", std::u16string(5, u'k'), std::u16string(5, u'*')},
        KeyLabelCase{False, u"", std::u16string(26, u'k'), stars26},
        KeyLabelCase{False, u"", u"  kkkkk  ", std::u16string(5, u'*')}, KeyLabelCase{False, u"", u"kkkkkkk", stars26},
        KeyLabelCase{False, u"", u"   ", u""}, KeyLabelCase{True, u"plainkey", u"kkkkk", u"plainkey"},
        KeyLabelCase{True, u"", u"kkkkk", u""}, KeyLabelCase{True, u"plainkey", u"", u"plainkey"},
        KeyLabelCase{False, u"plainkey", u"", u""}}) {  // after a new key was shown
    state.ChangeWEPKey = c.change;
    state.NewWlanWEPKey = c.newKey;
    state.CurrentWlanWEPKey = c.currentKey;
    page.Form_Activate();
    EXPECT_EQ(page.LblWebKey.caption, c.shown) << base::ToUtf8(c.currentKey);
  }
}

TEST_F(SummaryTest, BackReturnsToThePreviousPageWithoutTalkingToTheCamera) {
  FrmSetupEnd& wirelessPage = WirelessSummary();
  wirelessPage.CmdBack_Click();
  EXPECT_LOGGED("show FrmWireless", "hide FrmSetupEnd");
  log.Clear();
  WiredSummary().CmdBack_Click();
  EXPECT_LOGGED("show FrmSetIPAddress", "hide FrmsetLanEnd");
}

TEST_F(SummaryTest, CameraControlFailureStopsRestartWithAMessageAndKeepsTheWizard) {
  camTemp.failing.insert("ApplySettings");
  FrmsetLanEnd& page = WiredSummary();
  page.CmdRestart_Click();
  ASSERT_GE(log.lines.size(), 3u);
  EXPECT_EQ(log.lines[log.lines.size() - 3], "CamTemp.ApplySettings(1, 0)");
  EXPECT_EQ(log.lines[log.lines.size() - 2], "pointer 0");
  EXPECT_EQ(log.lines.back(), "msgbox \"Camera Error . ApplySettings failed\" title=\"\" icon=critical buttons=ok");
  EXPECT_TRUE(desktop.sleeps.empty());
  EXPECT_TRUE(program.setLanEnd && program.setLanEnd->form.visible);
  EXPECT_TRUE(program.setPassword && program.setIPAddress);

  log.Clear();
  camTemp.failing.clear();
  page.CmdRestart_Click();  // the user tries again
  EXPECT_EQ(log.Starting("CamTemp.ApplySettings").size(), 1u);
  EXPECT_FALSE(program.setLanEnd);
}

// On firmware that restarts only when told, the apply went through and the
// first wait ran when the camera refuses the restart: the message says so
// and nothing goes on as if the camera came back (no later wait, no search).
TEST_F(SummaryTest, ARefusedRestartStopsWithAMessageAfterTheFirstWait) {
  state.DeviceVersion = u"2.10.001";
  camTemp.failing.insert("Restart");
  FrmsetLanEnd& page = WiredSummary();
  page.CmdRestart_Click();
  ASSERT_GE(log.lines.size(), 4u);
  const std::vector<std::string> last(log.lines.end() - 4, log.lines.end());
  EXPECT_EQ(last,
            (std::vector<std::string>{"sleep 1000", "CamTemp.Restart", "pointer 0",
                                      "msgbox \"Camera Error . Restart failed\" title=\"\" icon=critical buttons=ok"}));
  EXPECT_EQ(desktop.TotalSleep(), 1000);
  EXPECT_TRUE(log.Starting("cam.Search").empty());
  EXPECT_TRUE(program.setLanEnd && program.setLanEnd->form.visible);
}

TEST_F(SummaryTest, AfterRestartANewRunLoadsThePagesAfresh) {
  FrmSetPassword& first = *program.setPassword;
  forms::Type(first.TxtOldSysAdminID, u"admin");
  WiredSummary().CmdRestart_Click();
  FrmSetPassword& again = Open(program.setPassword);
  EXPECT_NE(&again, &first);
  EXPECT_EQ(again.TxtOldSysAdminID.text, u"");
}

}  // namespace
