// The launch on an ONVIF row outside the computer's networks: never a silent
// stall. The user reads why and what can be done; where the program may, it
// offers a temporary address of the camera's subnet and adds it only after a
// Yes, and the address goes once the wizard is left or has applied.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "wizard/apply_settings.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_set_password.h"
#include "wizard/program_fixture.h"

namespace {

using forms::MsgAnswer;
using forms::MsgButtons;

class OutsideLaunchTest : public ProgramTest {
 protected:
  void SetUp() override {
    StartWith({{u"", u"10.9.0.10", u"ONVIF", u"Gate (DC-1)", u"", u"255.255.255.0", u""}});
    cam.outside = {0};
    cam.networks[0] = u"192.0.2.1/24 on eth0";
    cam.offer = {u"10.9.0.254", 24, u"eth0", true};
    camTemp.loginStates = {device::LoginGranted};
    desktop.modalSteps[forms::WindowId::frmchackIDPWD].push_back([this] { program.chackIDPWD->CmdYes_Click(); });
    Choose(0);
  }
  bool Has(const std::string& line) const {
    return std::find(log.lines.begin(), log.lines.end(), line) != log.lines.end();
  }
  size_t At(const std::string& line) const {
    return static_cast<size_t>(std::find(log.lines.begin(), log.lines.end(), line) - log.lines.begin());
  }
  static bool Says(const ShownMessage& message, const std::u16string& part) {
    return message.text.find(part) != std::u16string::npos;
  }
};

TEST_F(OutsideLaunchTest, AYesAddsTheOfferedAddressBeforeTheLoginAndTheWizardOpens) {
  desktop.answers = {MsgAnswer::Yes};
  Main().CmdWizard_Click();

  ASSERT_EQ(desktop.messages.size(), 1u);
  const ShownMessage& asked = desktop.messages[0];
  EXPECT_EQ(asked.buttons, MsgButtons::YesNo);
  EXPECT_EQ(asked.title, u"Sentrova") << "not the empty title of the old pages";
  EXPECT_TRUE(Says(asked, u"The camera at 10.9.0.10 is outside this computer's networks (192.0.2.1/24 on eth0)"));
  EXPECT_TRUE(Says(asked,
                   u"Sentrova will add the address 10.9.0.254/24 to eth0 while it changes this camera, and remove it "
                   u"afterwards."));
  EXPECT_TRUE(Says(asked, u"\"Add camera by address…\""));
  EXPECT_LT(At("cam.AddTemporaryAddress = \"10.9.0.254\""), At("show frmchackIDPWD modal"));
  EXPECT_LT(At("cam.AddTemporaryAddress = \"10.9.0.254\""), At("CamTemp.Connect"));
  EXPECT_TRUE(desktop.visible.count(forms::WindowId::FrmSetPassword));
  EXPECT_EQ(cam.temporaryAddress, u"10.9.0.254") << "it lives while the wizard works on the camera";

  program.setPassword->CmdBack_Click();
  EXPECT_EQ(cam.temporaryAddress, u"") << "leaving the wizard removes it";
  EXPECT_TRUE(Has("cam.RemoveTemporaryAddress = \"10.9.0.254\""));
}

TEST_F(OutsideLaunchTest, TheAddressGoesAfterTheApplyHasWaitedForTheCamera) {
  desktop.answers = {MsgAnswer::Yes};
  Main().CmdWizard_Click();
  ASSERT_EQ(cam.temporaryAddress, u"10.9.0.254");
  log.Clear();
  WriteAccountAndAddressAndApply(program);
  EXPECT_EQ(cam.temporaryAddress, u"");
  EXPECT_LT(At("CamTemp.ApplySettings(1, 0)"), At("cam.RemoveTemporaryAddress = \"10.9.0.254\""));
  EXPECT_EQ(At("cam.RemoveTemporaryAddress = \"10.9.0.254\""), log.lines.size() - 1) << "after every wait";
}

// Whatever stops the launch, nothing is reached: no address is added or it
// is removed again, and the main window stays.
struct StopCase {
  const char* name;
  device::TemporaryAddressOffer offer;
  std::deque<MsgAnswer> answers;
  bool addTakes;
  std::vector<std::u16string> said;  // parts of the last message
};

class OutsideStopTest : public OutsideLaunchTest, public testing::WithParamInterface<StopCase> {};

TEST_P(OutsideStopTest, StopsWithAMessageAndNoConnection) {
  const StopCase& c = GetParam();
  cam.offer = c.offer;
  cam.addTakes = c.addTakes;
  desktop.answers = c.answers;
  Main().CmdWizard_Click();
  ASSERT_FALSE(desktop.messages.empty());
  for (const std::u16string& part : c.said) {
    EXPECT_TRUE(Says(desktop.messages.back(), part)) << base::ToUtf8(part) << "\nin\n"
                                                     << base::ToUtf8(desktop.messages.back().text);
  }
  EXPECT_TRUE(log.Starting("CamTemp.Connect").empty());
  EXPECT_TRUE(log.Starting("show frmchackIDPWD").empty());
  EXPECT_EQ(cam.temporaryAddress, u"");
  EXPECT_EQ(desktop.visible, std::set<forms::WindowId>{forms::WindowId::FrmMain});
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutsideStopTest,
    testing::Values(
        StopCase{"the_user_says_no",
                 {u"10.9.0.254", 24, u"eth0", true},
                 {MsgAnswer::No},
                 true,
                 {u"Sentrova will add the address 10.9.0.254/24 to eth0"}},
        StopCase{"no_right_to_change_the_interface",
                 {u"10.9.0.254", 24, u"eth0", false},
                 {},
                 true,
                 {u"The camera at 10.9.0.10 is outside this computer's networks (192.0.2.1/24 on eth0)",
                  u"  sudo ip address add 10.9.0.254/24 dev eth0\n", u"  sudo ip address del 10.9.0.254/24 dev eth0",
                  u"\"Add camera by address…\""}},
        StopCase{"no_free_address", {u"", 24, u"eth0", true}, {}, true, {u"No free address of the camera's subnet"}},
        StopCase{"the_address_cannot_be_added",
                 {u"10.9.0.254", 16, u"eth0", true},
                 {MsgAnswer::Yes},
                 false,
                 {u"Sentrova could not add the address 10.9.0.254/16 to eth0",
                  u"sudo ip address add 10.9.0.254/16 dev eth0"}}),
    [](const testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });

// Our own protocol's camera outside the computer's networks keeps its way:
// the connection is tried and fails into the address change by MAC.
TEST_F(OutsideLaunchTest, OurOwnProtocolsRowIsNotOfferedATemporaryAddress) {
  cam.devices = {Camera(1, u"10.9.0.11")};
  Main().Command1_Click();
  cam.outside = {0};
  camTemp.connectResult = 0;
  Choose(0);
  Main().CmdWizard_Click();
  EXPECT_TRUE(log.Starting("cam.OfferTemporaryAddress").empty());
  EXPECT_EQ(log.Starting("CamTemp.Connect").size(), 1u);
  EXPECT_TRUE(desktop.visible.count(forms::WindowId::FrmMessage)) << "the invalid-address warning";
}

}  // namespace
