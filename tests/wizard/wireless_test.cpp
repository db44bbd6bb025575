// The wireless page: what it shows from the camera's settings, the key
// format and change box, Next's checks in order and what it stores, Back and
// Exit.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "base/text.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_wireless.h"

namespace {

constexpr int16_t HexFlag = 256;  // bit 8: the key is held in hexadecimal form

std::vector<std::u16string> ElevenChannels() {
  std::vector<std::u16string> list;
  for (const char16_t* c : {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10", u"11"}) list.push_back(c);
  return list;
}

class WirelessTest : public PageTest {
 protected:
  void SetUp() override {
    StartWith({u"10.0.0.5"});
    MakeWireless(0, u"home", 6, 0, u"abcde");
  }
  FrmWireless& Page() { return Open(program.wireless); }
  static void TickNewKey(FrmWireless& page, std::u16string key, std::u16string confirm) {
    page.CheckEWK.value = 1;
    page.CheckEWK_Click();
    forms::Type(page.txtNewWlanWEPKey, key);
    forms::Type(page.txtWlanWEPKeyConfirm, confirm);
  }
};

TEST_F(WirelessTest, ControlsAsDesigned) {
  FrmWireless& page = Page();
  EXPECT_EQ(page.optConnectionMode.captions, (std::vector<std::u16string>{u"Infrastructure", u"Adhoc", u""}));
  EXPECT_EQ(page.optWEPKeyFormat.captions, (std::vector<std::u16string>{u"ASCII", u"HEX"}));
  EXPECT_EQ(page.txtWlanWEPKey.passwordChar, u'*');
  EXPECT_FALSE(page.txtWlanWEPKey.enabled);
  EXPECT_EQ(page.txtWlanWEPKey.backColour, forms::LightGrey);
  EXPECT_EQ(page.txtNewWlanWEPKey.passwordChar, 0);
  EXPECT_EQ(page.txtWlanWEPKeyConfirm.passwordChar, 0);
  EXPECT_EQ(page.txtWlanESSID.maxLength, 0);
  EXPECT_EQ(page.CheckEWK.value, 0);
  EXPECT_EQ(page.CboChannel.list, ElevenChannels());
}

TEST_F(WirelessTest, ModeOptionFollowsTheCamerasMode) {
  for (int16_t mode : std::initializer_list<int16_t>{0, 1, 2, 3, -1}) {
    state.CurrentWlanMode = mode;
    program.wireless.reset();
    FrmWireless& page = Page();
    EXPECT_EQ(page.optConnectionMode.selected, mode >= 0 && mode <= 2 ? mode : -1) << mode;
  }
}

TEST_F(WirelessTest, ShowsTheCamerasNameOrAnyAndItsChannel) {
  state.CurrentWlanESSID = u"";
  state.CurrentWlanChannel = 13;
  FrmWireless& page = Page();
  EXPECT_EQ(page.txtWlanESSID.text, u"any");
  EXPECT_EQ(page.CboChannel.text, u"13");
}

struct StoredKeyCase {
  int16_t flag;
  std::u16string key;
  std::u16string shown;
};

TEST_F(WirelessTest, KeyFormatAndStoredKeyFollowTheFlag) {
  const std::u16string filler(26, u'a');
  for (const StoredKeyCase& c :
       {StoredKeyCase{0, u"abc", u"abc"}, StoredKeyCase{1, u"abcdefghijklmnopq", u"abcdefghijklmnopq"},
        StoredKeyCase{HexFlag, u"0123456789", u"0123456789"},
        StoredKeyCase{HexFlag | 1, std::u16string(26, u'F'), std::u16string(26, u'F')},
        StoredKeyCase{HexFlag, u"0123456789ab", filler}, StoredKeyCase{HexFlag, u" 0123456789 ", u" 0123456789 "},
        StoredKeyCase{HexFlag, u"", u""}}) {
    state.CurrentWlanWEPFlag = c.flag;
    state.CurrentWlanWEPKey = c.key;
    state.NewWEPKeyIsHex = c.flag & HexFlag ? False : True;  // the page must set it
    program.wireless.reset();
    FrmWireless& page = Page();
    const bool hex = (c.flag & HexFlag) != 0;
    const int32_t limit = hex ? 26 : 13;
    EXPECT_EQ(page.optWEPKeyFormat.selected, hex ? 1 : 0) << c.flag;
    EXPECT_EQ(state.NewWEPKeyIsHex, hex ? True : False) << c.flag;
    EXPECT_EQ(page.txtWlanWEPKey.maxLength, limit);
    EXPECT_EQ(page.txtNewWlanWEPKey.maxLength, limit);
    EXPECT_EQ(page.txtWlanWEPKeyConfirm.maxLength, limit);
    EXPECT_EQ(page.txtWlanWEPKey.text, c.shown) << base::ToUtf8(c.key);
  }
}

TEST_F(WirelessTest, ActivationKeepsElevenChannelsAndFollowsTheChangeFlag) {
  FrmWireless& page = Page();
  page.CboChannel.list.push_back(u"12");
  state.ChangeWEPKey = True;
  Open(program.wireless);
  EXPECT_EQ(page.CboChannel.list, ElevenChannels());
  EXPECT_EQ(page.CheckEWK.value, 1);
  for (const forms::TextBox* box : {&page.txtNewWlanWEPKey, &page.txtWlanWEPKeyConfirm}) {
    EXPECT_TRUE(box->enabled);
    EXPECT_EQ(box->backColour, forms::SystemWindowColour);
  }
  state.ChangeWEPKey = False;
  Open(program.wireless);
  EXPECT_EQ(page.CheckEWK.value, 0);
  for (const forms::TextBox* box : {&page.txtNewWlanWEPKey, &page.txtWlanWEPKeyConfirm}) {
    EXPECT_FALSE(box->enabled);
    EXPECT_EQ(box->backColour, forms::LightGrey);
  }
  EXPECT_FALSE(page.txtWlanWEPKey.enabled);
}

TEST_F(WirelessTest, ChangeBoxSwitchesTheKeyBoxesAndKeepsTheirTexts) {
  FrmWireless& page = Page();
  TickNewKey(page, u"abcde", u"abcdf");
  EXPECT_EQ(state.ChangeWEPKey, True);
  EXPECT_TRUE(page.txtNewWlanWEPKey.enabled);
  page.CheckEWK.value = 0;
  page.CheckEWK_Click();
  EXPECT_EQ(state.ChangeWEPKey, False);
  EXPECT_FALSE(page.txtWlanWEPKeyConfirm.enabled);
  EXPECT_EQ(page.txtWlanWEPKeyConfirm.backColour, forms::LightGrey);
  EXPECT_EQ(page.txtNewWlanWEPKey.text, u"abcde");
  EXPECT_EQ(page.txtWlanWEPKeyConfirm.text, u"abcdf");
}

TEST_F(WirelessTest, FormatClickSetsLimitsAndKeepsALongerKeyForNextToRefuse) {
  state.CurrentWlanWEPFlag = HexFlag;
  FrmWireless& page = Page();
  TickNewKey(page, u"0123456789abcdef0123456789", u"0123456789abcdef0123456789");
  page.optWEPKeyFormat.selected = 0;
  page.optWEPKeyFormat_Click();
  EXPECT_EQ(state.NewWEPKeyIsHex, False);
  EXPECT_EQ(page.txtNewWlanWEPKey.maxLength, 13);
  EXPECT_EQ(page.txtWlanWEPKeyConfirm.maxLength, 13);
  EXPECT_EQ(page.txtWlanWEPKey.maxLength, 26);  // the display box keeps the limit the load gave it
  EXPECT_EQ(page.txtNewWlanWEPKey.text.size(), 26u);
  page.CmdNext_Click();
  EXPECT_LOGGED(Refusal("Invalid WEP Key."));
}

// A refused Next: the message, the focus, and no wizard-state field changed.
struct WirelessRefusal {
  const char* what;
  std::function<void(FrmWireless&)> enter;
  std::string message;
  std::string focus;
};
void PrintTo(const WirelessRefusal& c, std::ostream* os) { *os << c.what; }

class WirelessRefusalTest : public WirelessTest, public testing::WithParamInterface<WirelessRefusal> {};

void SetKey(FrmWireless& page, int16_t format, std::u16string key, std::u16string confirm) {
  page.optWEPKeyFormat.selected = format;
  page.optWEPKeyFormat_Click();
  page.CheckEWK.value = 1;
  page.CheckEWK_Click();
  page.txtNewWlanWEPKey.text = std::move(key);
  page.txtWlanWEPKeyConfirm.text = std::move(confirm);
}

TEST_P(WirelessRefusalTest, RefusesAndStoresNothing) {
  const WirelessRefusal& c = GetParam();
  state.NewWlanWEPKey = u"before";
  state.NewWlanChannel = 3;
  FrmWireless& page = Page();
  page.optConnectionMode.selected = 1;
  c.enter(page);
  const Flag change = state.ChangeWEPKey;
  page.CmdNext_Click();

  EXPECT_LOGGED(Refusal(c.message));
  EXPECT_EQ(Focused(page), c.focus);
  EXPECT_TRUE(page.form.visible);
  EXPECT_FALSE(program.setupEnd);
  EXPECT_EQ(state.NewWlanMode, 0);
  EXPECT_EQ(state.NewWlanESSID, u"home");
  EXPECT_EQ(state.NewWlanChannel, 3);
  EXPECT_EQ(state.NewWlanWEPKey, u"before");
  EXPECT_EQ(state.ChangeWEPKey, change);
  if (c.focus == "txtNewWlanWEPKey") {
    EXPECT_EQ(page.txtWlanWEPKeyConfirm.text, u"");
    EXPECT_FALSE(page.txtNewWlanWEPKey.text.empty());
    EXPECT_TRUE(WhollySelected(page.txtNewWlanWEPKey));
  }
  if (c.focus == "txtWlanESSID") {
    EXPECT_TRUE(WhollySelected(page.txtWlanESSID));
  }
}

const std::string BadName = "Invalid Network Name (ESS-ID).";
const std::string BadKey = "Invalid WEP Key.";
const std::string BadChannel = "Invalid Wireless Channel.";

INSTANTIATE_TEST_SUITE_P(
    Checks, WirelessRefusalTest,
    testing::Values(
        WirelessRefusal{"name beyond the single-byte characters",
                        [](FrmWireless& p) { p.txtWlanESSID.text = u"caf\u20ac"; }, BadName, "txtWlanESSID"},
        WirelessRefusal{"name of 500 characters",
                        [](FrmWireless& p) { p.txtWlanESSID.text = std::u16string(500, u'n'); }, BadName,
                        "txtWlanESSID"},
        WirelessRefusal{"name of 2000 characters then a wide one",
                        [](FrmWireless& p) { p.txtWlanESSID.text = std::u16string(2000, u'n') + u"\u20ac"; }, BadName,
                        "txtWlanESSID"},
        WirelessRefusal{"name refused before the key",
                        [](FrmWireless& p) {
                          p.txtWlanESSID.text = u"\u4e2d";
                          SetKey(p, 0, u"abc", u"abc");
                        },
                        BadName, "txtWlanESSID"},
        WirelessRefusal{"ASCII key of 4", [](FrmWireless& p) { SetKey(p, 0, u"abcd", u"abcd"); }, BadKey,
                        "txtNewWlanWEPKey"},
        WirelessRefusal{"ASCII key with a hyphen", [](FrmWireless& p) { SetKey(p, 0, u"abc-e", u"abc-e"); }, BadKey,
                        "txtNewWlanWEPKey"},
        WirelessRefusal{"ASCII key of 6", [](FrmWireless& p) { SetKey(p, 0, u"abcdef", u"abcdef"); }, BadKey,
                        "txtNewWlanWEPKey"},
        WirelessRefusal{"ASCII key differing in letter case", [](FrmWireless& p) { SetKey(p, 0, u"abcde", u"ABCDE"); },
                        BadKey, "txtNewWlanWEPKey"},
        WirelessRefusal{"hex key of 11", [](FrmWireless& p) { SetKey(p, 1, u"0123456789A", u"0123456789A"); }, BadKey,
                        "txtNewWlanWEPKey"},
        WirelessRefusal{"hex key with a g", [](FrmWireless& p) { SetKey(p, 1, u"012345678g", u"012345678g"); }, BadKey,
                        "txtNewWlanWEPKey"},
        WirelessRefusal{"hex key with an empty confirmation", [](FrmWireless& p) { SetKey(p, 1, u"0123456789", u""); },
                        BadKey, "txtNewWlanWEPKey"},
        WirelessRefusal{"key refused before the channel",
                        [](FrmWireless& p) {
                          SetKey(p, 0, u"abcd", u"abcd");
                          p.CboChannel.text = u"x";
                        },
                        BadKey, "txtNewWlanWEPKey"},
        WirelessRefusal{"channel empty", [](FrmWireless& p) { p.CboChannel.text = u""; }, BadChannel, "CboChannel"},
        WirelessRefusal{"channel blanks only", [](FrmWireless& p) { p.CboChannel.text = u"   "; }, BadChannel,
                        "CboChannel"},
        WirelessRefusal{"channel letters", [](FrmWireless& p) { p.CboChannel.text = u"six"; }, BadChannel,
                        "CboChannel"},
        WirelessRefusal{"channel with a fraction", [](FrmWireless& p) { p.CboChannel.text = u"1.5"; }, BadChannel,
                        "CboChannel"},
        WirelessRefusal{"channel beyond 16 bits", [](FrmWireless& p) { p.CboChannel.text = u"70000"; }, BadChannel,
                        "CboChannel"},
        WirelessRefusal{"channel just beyond 16 bits", [](FrmWireless& p) { p.CboChannel.text = u"32768"; }, BadChannel,
                        "CboChannel"},
        WirelessRefusal{"channel with a blank inside", [](FrmWireless& p) { p.CboChannel.text = u"1 1"; }, BadChannel,
                        "CboChannel"},
        WirelessRefusal{"channel sign alone", [](FrmWireless& p) { p.CboChannel.text = u"-"; }, BadChannel,
                        "CboChannel"}),
    [](const testing::TestParamInfo<WirelessRefusal>& param) {
      std::string name;
      for (const char* c = param.param.what; *c != 0; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

TEST_F(WirelessTest, NextStoresTheEntriesAndShowsTheSummary) {
  FrmWireless& page = Page();
  page.optConnectionMode.selected = 1;
  forms::Type(page.txtWlanESSID, u"office net");
  page.CboChannel.text = u"11";
  SetKey(page, 1, u"0123456789ABCDEFabcdef0123", u"0123456789ABCDEFabcdef0123");
  page.CmdNext_Click();
  EXPECT_LOGGED("pointer 0", "show FrmSetupEnd", "hide FrmWireless");
  EXPECT_EQ(state.NewWlanMode, 1);
  EXPECT_EQ(state.NewWlanESSID, u"office net");
  EXPECT_EQ(state.NewWlanChannel, 11);
  EXPECT_EQ(state.NewWlanWEPKey, u"0123456789ABCDEFabcdef0123");
  EXPECT_EQ(state.NewWEPKeyIsHex, True);
  EXPECT_FALSE(page.form.visible);
}

struct AcceptedEntry {
  std::function<void(FrmWireless&)> enter;
  std::u16string essid;
  int16_t channel;
};

TEST_F(WirelessTest, NextAcceptsTheseEntries) {
  const std::vector<AcceptedEntry> cases{
      {[](FrmWireless&) {}, u"home", 6},
      {[](FrmWireless& p) { p.txtWlanESSID.text = u""; }, u"", 6},
      {[](FrmWireless& p) { p.txtWlanESSID.text = std::u16string(499, u'\u00ff'); }, std::u16string(499, u'\u00ff'), 6},
      {[](FrmWireless& p) { p.CboChannel.text = u" 7 "; }, u"home", 7},
      {[](FrmWireless& p) { p.CboChannel.text = u"13"; }, u"home", 13},
      {[](FrmWireless& p) { p.CboChannel.text = u"+9"; }, u"home", 9},
      {[](FrmWireless& p) { p.CboChannel.text = u"-32768"; }, u"home", -32768},
      {[](FrmWireless& p) { p.CboChannel.text = u"32767"; }, u"home", 32767},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    program.wireless.reset();
    FrmWireless& page = Page();
    cases[i].enter(page);
    page.CmdNext_Click();
    EXPECT_TRUE(desktop.messages.empty()) << "case " << i;
    EXPECT_EQ(state.NewWlanESSID, cases[i].essid) << "case " << i;
    EXPECT_EQ(state.NewWlanChannel, cases[i].channel) << "case " << i;
    desktop.messages.clear();
  }
}

// "any" on the page stands for a camera without a network name: left as it
// is, the camera keeps its empty name; a name typed over it is the user's.
struct FillerCase {
  const char* what;
  std::u16string cameraName;
  std::function<void(FrmWireless&)> enter;
  std::u16string stored;
};

TEST_F(WirelessTest, TheAnyFillerKeepsAnEmptyNameEmpty) {
  const std::vector<FillerCase> cases = {
      {"untouched filler", u"", [](FrmWireless&) {}, u""},
      {"name typed over the filler", u"", [](FrmWireless& p) { forms::Type(p.txtWlanESSID, u"office"); }, u"office"},
      {"filler in capitals typed", u"", [](FrmWireless& p) { forms::Type(p.txtWlanESSID, u"ANY"); }, u"ANY"},
      {"field emptied", u"", [](FrmWireless& p) { forms::Type(p.txtWlanESSID, u""); }, u""},
      {"a camera whose network is called any", u"any", [](FrmWireless&) {}, u"any"},
      {"a named camera's name replaced by any", u"home", [](FrmWireless& p) { forms::Type(p.txtWlanESSID, u"any"); },
       u"any"},
  };
  for (const FillerCase& c : cases) {
    SCOPED_TRACE(c.what);
    state.CurrentWlanESSID = c.cameraName;
    program.wireless.reset();
    FrmWireless& page = Page();
    if (c.cameraName.empty()) {
      EXPECT_EQ(page.txtWlanESSID.text, u"any") << "the page shows the filler";
    }
    c.enter(page);
    page.CmdNext_Click();
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(state.NewWlanESSID, c.stored);
  }
}

TEST_F(WirelessTest, EmptyNewKeyIsStoredWhenTheKeyIsToBeChanged) {
  state.NewWlanWEPKey = u"before";
  FrmWireless& page = Page();
  SetKey(page, 0, u"", u"");
  page.CmdNext_Click();
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(state.NewWlanWEPKey, u"");
}

TEST_F(WirelessTest, UntickedKeyBoxesAreNeitherCheckedNorStored) {
  state.NewWlanWEPKey = u"before";
  FrmWireless& page = Page();
  page.txtNewWlanWEPKey.text = u"!!";
  page.txtWlanWEPKeyConfirm.text = u"??";
  page.CmdNext_Click();
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(state.NewWlanWEPKey, u"before");
  EXPECT_EQ(page.txtWlanWEPKeyConfirm.text, u"??");
}

TEST_F(WirelessTest, WithNoModeSelectedTheLaunchsModeIsKept) {
  state.CurrentWlanMode = 3;
  state.NewWlanMode = 3;
  Page().CmdNext_Click();
  EXPECT_EQ(state.NewWlanMode, 3);
}

TEST_F(WirelessTest, BackStoresNothingAndNextAgainFindsTheFieldsAsLeft) {
  Load(program, program.setIPAddress);
  FrmWireless& page = Page();
  forms::Type(page.txtWlanESSID, u"typed");
  page.CboChannel.text = u"3";
  page.CmdBack_Click();
  EXPECT_LOGGED("show FrmSetIPAddress", "hide FrmWireless");
  EXPECT_EQ(state.NewWlanESSID, u"home");

  Open(program.wireless);
  page.CmdNext_Click();
  program.setupEnd->CmdBack_Click();
  EXPECT_EQ(page.txtWlanESSID.text, u"typed");
  EXPECT_EQ(page.CboChannel.text, u"3");
  EXPECT_EQ(page.CboChannel.list, ElevenChannels());
  EXPECT_EQ(state.NewWlanChannel, 3);
}

TEST_F(WirelessTest, ExitEndsTheProgram) {
  FrmWireless& page = Page();
  forms::Type(page.txtWlanESSID, u"typed");
  page.ComExit_Click();
  EXPECT_LOGGED("end");
  EXPECT_EQ(state.NewWlanESSID, u"home");
}

}  // namespace
