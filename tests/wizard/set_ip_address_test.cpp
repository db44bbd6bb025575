// The IP address page: what it shows, Next's refusals and the conflict test
// against the main list, the choice of the next page, Back and Exit.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "support/param_name.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_wireless.h"

namespace {

class SetIPAddressTest : public PageTest {
 protected:
  void SetUp() override { StartWith({u"10.0.0.5", u"10.0.0.7", u"10.0.0.9"}); }
  FrmSetIPAddress& Page() { return Open(program.setIPAddress); }
  static void Enter(FrmSetIPAddress& page, std::u16string ip, std::u16string mask, std::u16string gateway) {
    forms::Type(page.TxtIPAddress, ip);
    forms::Type(page.TxtSubnetMask, mask);
    forms::Type(page.TxtGateway, gateway);
  }
  void ExpectNothingStored() {
    EXPECT_EQ(state.NewIPAddress, u"10.0.0.5");
    EXPECT_EQ(state.NewSubnetMask, u"255.255.255.0");
    EXPECT_EQ(state.NewGateway, u"10.0.0.1");
  }
};

TEST_F(SetIPAddressTest, ShowsTheValuesToBeWrittenWithTheMaskFocused) {
  state.NewIPAddress = u"10.0.0.6";
  FrmSetIPAddress& page = Page();
  EXPECT_EQ(page.TxtIPAddress.text, u"10.0.0.6");
  EXPECT_EQ(page.TxtSubnetMask.text, u"255.255.255.0");
  EXPECT_EQ(page.TxtGateway.text, u"10.0.0.1");
  EXPECT_EQ(Focused(page), "TxtSubnetMask");
  std::vector<std::pair<int16_t, std::string>> order;
  for (const forms::Control* c : std::initializer_list<const forms::Control*>{
           &page.TxtIPAddress, &page.TxtSubnetMask, &page.TxtGateway, &page.CmdBack, &page.CmdNext, &page.CmdExit}) {
    order.emplace_back(c->tabIndex, c->name);
  }
  for (const forms::TextBox* box : {&page.TxtIPAddress, &page.TxtSubnetMask, &page.TxtGateway}) {
    EXPECT_EQ(box->maxLength, 0) << box->name;
  }
  std::sort(order.begin(), order.end());
  std::vector<std::string> names;
  for (const auto& [tab, name] : order) names.push_back(name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"TxtSubnetMask", "CmdBack", "CmdNext", "CmdExit", "TxtGateway", "TxtIPAddress"}));
}

struct PageRefusal {
  std::u16string ip, mask, gateway;
  std::string message;
  std::string focus;
};
void PrintTo(const PageRefusal& c, std::ostream* os) {
  *os << base::ToUtf8(c.ip) << " / " << base::ToUtf8(c.mask) << " / " << base::ToUtf8(c.gateway);
}

class SetIPAddressRefusalTest : public SetIPAddressTest, public testing::WithParamInterface<PageRefusal> {};

TEST_P(SetIPAddressRefusalTest, ShowsTheMessageFocusesTheFieldAndStoresNothing) {
  const PageRefusal& c = GetParam();
  FrmSetIPAddress& page = Page();
  Enter(page, c.ip, c.mask, c.gateway);
  page.CmdNext_Click();
  EXPECT_LOGGED(Refusal(c.message));
  EXPECT_EQ(Focused(page), c.focus);
  const forms::TextBox& field = c.focus == "TxtIPAddress"    ? page.TxtIPAddress
                                : c.focus == "TxtSubnetMask" ? page.TxtSubnetMask
                                                             : page.TxtGateway;
  EXPECT_TRUE(WhollySelected(field));
  EXPECT_TRUE(page.form.visible);
  ExpectNothingStored();
}

INSTANTIATE_TEST_SUITE_P(
    Checks, SetIPAddressRefusalTest,
    testing::Values(PageRefusal{u"0.0.0.0", u"255.255.255.0", u"", "IPAddress Is Error", "TxtIPAddress"},
                    PageRefusal{u"1.2.3.999", u"", u"", "SubnetMask Is Error", "TxtSubnetMask"},
                    PageRefusal{u"300.1.1.1", u"255.0.0.0", u"", "IPAddress Is Error", "TxtIPAddress"},
                    PageRefusal{u"192.168.1.256", u"255.255.255.0", u"", "IPAddress Is Error", "TxtIPAddress"},
                    PageRefusal{u"10.0.0.6", u"255.255.0", u"", "SubnetMask Is Error", "TxtSubnetMask"},
                    PageRefusal{u"10.0.0.6", u"255.0.0.0", u"10.0.0.1 ", "Gateway Is Error", "TxtGateway"}),
    [](const auto& testInfo) { return ParamName(testInfo.param.ip, testInfo.param.mask, testInfo.param.gateway); });

TEST_F(SetIPAddressTest, AddressOfAnotherListedCameraIsAConflict) {
  FrmSetIPAddress& page = Page();
  Enter(page, u"10.0.0.9", u"255.0.0.0", u"");
  page.CmdNext_Click();
  EXPECT_LOGGED("pointer 11", "pointer 0",
                "msgbox \"10.0.0.9\r\n IP conflict !!\" title=\"Sentrova\" icon=critical buttons=ok");
  EXPECT_EQ(Focused(page), "TxtIPAddress");
  EXPECT_TRUE(WhollySelected(page.TxtIPAddress));
  EXPECT_TRUE(page.form.visible);
  ExpectNothingStored();
}

TEST_F(SetIPAddressTest, ConflictTestTrimsTheListAndIgnoresRowsBeyondTheCount) {
  program.frmMain->List.CellText(1, 1, u"  10.0.0.7 ");
  FrmSetIPAddress& page = Page();
  Enter(page, u"10.0.0.7", u"255.0.0.0", u"");
  page.CmdNext_Click();
  EXPECT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages.back().text, u"10.0.0.7\r\n IP conflict !!");

  // Only rows 0 to DeviceCount - 1 are looked at.
  state.DeviceCount = 2;
  desktop.messages.clear();
  forms::Type(page.TxtIPAddress, u"10.0.0.9");
  page.CmdNext_Click();
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(state.NewIPAddress, u"10.0.0.9");
}

TEST_F(SetIPAddressTest, TheCamerasOwnAddressIsNoConflictOnceTrimmed) {
  // Another row shares the address; the test does not run for the camera's own address.
  program.frmMain->List.CellText(2, 1, u"10.0.0.5");
  state.CurrentIPAddress = u" 10.0.0.5 ";
  FrmSetIPAddress& page = Page();
  Enter(page, u"10.0.0.5", u"255.255.255.0", u"10.0.0.1");
  page.CmdNext_Click();
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_TRUE(program.setLanEnd && program.setLanEnd->form.visible);
}

TEST_F(SetIPAddressTest, WiredCameraGoesToTheWiredSummaryWithTheEntriesStoredAsTyped) {
  FrmSetIPAddress& page = Page();
  Enter(page, u"192.168.01.09", u"255.255.255.1", u"");
  page.CmdNext_Click();
  EXPECT_LOGGED("pointer 11", "show FrmsetLanEnd", "pointer 0", "hide FrmSetIPAddress");
  EXPECT_EQ(state.NewIPAddress, u"192.168.01.09");
  EXPECT_EQ(state.NewSubnetMask, u"255.255.255.1");
  EXPECT_EQ(state.NewGateway, u"");
  EXPECT_FALSE(program.wireless);
  EXPECT_FALSE(page.form.visible);
}

TEST_F(SetIPAddressTest, WirelessCameraGoesToTheWirelessPage) {
  MakeWireless(0, u"home", 6, 0, u"");
  FrmSetIPAddress& page = Page();
  Enter(page, u"10.0.0.6", u"255.255.255.0", u"0.0.0.0");
  page.CmdNext_Click();
  EXPECT_LOGGED("pointer 11", "show FrmWireless", "pointer 0", "hide FrmSetIPAddress");
  EXPECT_EQ(state.NewGateway, u"0.0.0.0");
  EXPECT_FALSE(program.setLanEnd);
}

TEST_F(SetIPAddressTest, BackStoresNothingAndTheTextsWaitForTheNextShow) {
  Load(program, program.setPassword);
  FrmSetIPAddress& page = Page();
  Enter(page, u"10.0.0.6", u"255.0.0.0", u"");
  page.CmdBack_Click();
  EXPECT_LOGGED("show FrmSetPassword", "hide FrmSetIPAddress");
  ExpectNothingStored();
  Open(program.setIPAddress);
  EXPECT_EQ(page.TxtIPAddress.text, u"10.0.0.6");
  EXPECT_EQ(page.TxtSubnetMask.text, u"255.0.0.0");
  EXPECT_EQ(page.TxtGateway.text, u"");
}

TEST_F(SetIPAddressTest, ExitEndsTheProgram) {
  FrmSetIPAddress& page = Page();
  Enter(page, u"10.0.0.6", u"255.0.0.0", u"");
  page.CmdExit_Click();
  EXPECT_LOGGED("end");
  ExpectNothingStored();
}

}  // namespace
