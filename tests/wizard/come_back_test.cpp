// The waits after Restart and an address change follow the camera: which
// waits watch for it, how they end once it is back, the looking on when it
// was not seen, how it is known again, and what the status line says about
// the search afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "wizard/program_fixture.h"
#include "wizard/come_back.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"

namespace {

using forms::CameraSought;

class ComeBackTest : public PageTest {
 protected:
  void SetUp() override {
    StartWith({u"10.0.0.5"});
    state.DeviceMac = u"0.64.140.1.2.3";
    state.NewIPAddress = u"10.0.0.6";
  }
  // The lines from the apply to the main window's unload.
  std::vector<std::string> Waits() const {
    auto apply = std::find(log.lines.begin(), log.lines.end(), "CamTemp.ApplySettings(1, 0)");
    auto end = std::find(apply, log.lines.end(), "unload FrmSetIPAddress");
    if (apply == log.lines.end()) return {};
    return {apply + 1, end};
  }
};

struct WaitCase {
  const char* what;
  std::u16string version;
  int32_t backAfter;  // ms after the waits were announced
  bool cancel;
  std::vector<std::string> lines;
  int32_t waited;
};

TEST_F(ComeBackTest, TheWaitsEndOnceTheCameraIsBackOrLookOnForIt) {
  const std::vector<WaitCase> cases = {
      {"back 3 s after the apply",
       u"v2.0.9",
       3000,
       false,
       {"waits 16000 for 10.0.0.6", "watch 1000", "watch 15000 back after 2000", "pointer 0"},
       3000},
      {"back during the first wait",
       u"v2.0.9",
       400,
       false,
       {"waits 16000 for 10.0.0.6", "watch 1000 back after 400", "pointer 0"},
       400},
      {"firmware that restarts when told: the wait before the command stays",
       u"1.00.001",
       3000,
       false,
       {"waits 31000 for 10.0.0.6", "sleep 1000", "CamTemp.Restart", "watch 5000 back after 2000", "pointer 0"},
       3000},
      {"a camera that takes 40 s",
       u"v2.0.9",
       40000,
       false,
       {"waits 16000 for 10.0.0.6", "watch 1000", "watch 15000", "watch 120000 back after 24000", "pointer 0"},
       40000},
      {"never back: looked for 120 s more",
       u"v2.0.9",
       FakeDesktop::NeverBack,
       false,
       {"waits 16000 for 10.0.0.6", "watch 1000", "watch 15000", "watch 120000", "pointer 0"},
       136000},
      {"never back, the user cancels",
       u"v2.0.9",
       FakeDesktop::NeverBack,
       true,
       {"waits 16000 for 10.0.0.6", "watch 1000", "watch 15000", "watch 120000 cancelled", "pointer 0"},
       16000},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.what);
    program.setLanEnd.reset();
    Load(program, program.setPassword);
    Load(program, program.setIPAddress);
    desktop.sleeps.clear();
    state.DeviceVersion = c.version;
    desktop.cameraBackAfter = c.backAfter;
    desktop.cancelLookingOn = c.cancel;
    Open(program.setLanEnd).CmdRestart_Click();
    EXPECT_EQ(Waits(), c.lines);
    EXPECT_EQ(desktop.TotalSleep(), c.waited);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(log.Starting("cam.Search").size(), 1U) << "the main window searches once the waits are over";
  }
}

struct SoughtCase {
  const char* what;
  std::function<void(WizardState&)> change;
  bool restarts;
};

// The camera is known again by its MAC at its new address with the new mask
// and gateway; it restarts by itself for a new identity (or when told).
TEST_F(ComeBackTest, RestartDescribesTheCameraAsItComesBack) {
  const std::vector<SoughtCase> cases = {
      {"nothing of its identity changes", [](WizardState&) {}, false},
      {"a new address", [](WizardState& s) { s.NewIPAddress = u"10.0.0.9"; }, true},
      {"a new gateway", [](WizardState& s) { s.NewGateway = u"10.0.0.254"; }, true},
      {"a new password",
       [](WizardState& s) {
         s.ChangeAdminPassword = True;
         s.NewAdminPassword = u"pw2";
       },
       true},
      {"firmware that restarts when told", [](WizardState& s) { s.DeviceVersion = u"1.00.001"; }, true},
  };
  for (const SoughtCase& c : cases) {
    SCOPED_TRACE(c.what);
    program.setLanEnd.reset();
    Load(program, program.setPassword);
    Load(program, program.setIPAddress);
    state.NewIPAddress = state.CurrentIPAddress;
    state.NewGateway = state.CurrentGateway;
    state.ChangeAdminPassword = False;
    state.DeviceVersion = u"v2.0.9";
    c.change(state);
    const std::u16string address = state.NewIPAddress;
    Open(program.setLanEnd).CmdRestart_Click();
    const CameraSought& sought = desktop.soughtCamera;
    EXPECT_EQ(sought.mac, u"0.64.140.1.2.3");
    EXPECT_EQ(sought.address, address);
    EXPECT_EQ(sought.previousAddress, u"10.0.0.5");
    EXPECT_EQ(sought.mask, u"255.255.255.0");
    EXPECT_EQ(sought.servicePort, 0);
    EXPECT_EQ(sought.restarts, c.restarts);
  }
}

TEST_F(ComeBackTest, TheChangeAddressDialogWaitsForTheCameraAtItsNewAddress) {
  desktop.cameraBackAfter = 5000;
  FrmChangeIPAddress& dialog = Open(program.changeIPAddress);
  forms::Type(dialog.Text1, u"10.0.0.40");
  forms::Type(dialog.Text2, u"255.255.0.0");
  forms::Type(dialog.Text3, u"10.0.0.1");
  dialog.CmdOk_Click();
  const CameraSought& sought = desktop.soughtCamera;
  EXPECT_EQ(sought.address, u"10.0.0.40");
  EXPECT_EQ(sought.mask, u"255.255.0.0");
  EXPECT_EQ(sought.gateway, u"10.0.0.1");
  EXPECT_EQ(sought.previousAddress, u"10.0.0.5");
  EXPECT_TRUE(sought.restarts);
  EXPECT_EQ(desktop.sleeps, std::vector<int32_t>{5000});
  EXPECT_EQ(log.Starting("watch"), std::vector<std::string>{"watch 15000 back after 5000"});
}

CameraSought Sought(std::u16string address, std::u16string previous, bool restarts) {
  CameraSought sought;
  sought.mac = u"0.64.140.1.2.3";
  sought.address = std::move(address);
  sought.mask = u"255.255.255.0";
  sought.gateway = u"10.0.0.1";
  sought.previousAddress = std::move(previous);
  sought.restarts = restarts;
  return sought;
}

CameraSighting Seen(std::u16string mac, std::u16string address, std::u16string gateway = u"10.0.0.1") {
  return {std::move(mac), std::move(address), u"255.255.255.0", std::move(gateway), 0, u""};
}

struct SightingCase {
  const char* what;
  CameraSought sought;
  CameraSighting seen;
  bool wentSilent;
  bool back;
};

TEST(CameraSightings, TheCameraIsBackAtItsNewAddressWithItsNewSettings) {
  CameraSought onvif = Sought(u"10.0.0.6", u"10.0.0.5", false);
  onvif.mac.clear();
  onvif.servicePort = 8080;
  onvif.servicePath = u"/onvif/device_service";
  const std::vector<SightingCase> cases = {
      {"at the new address", Sought(u"10.0.0.6", u"10.0.0.5", true), Seen(u"0.64.140.1.2.3", u"10.0.0.6"), false, true},
      {"still at the old address", Sought(u"10.0.0.6", u"10.0.0.5", true), Seen(u"0.64.140.1.2.3", u"10.0.0.5"), true,
       false},
      {"another camera at the new address", Sought(u"10.0.0.6", u"10.0.0.5", true),
       Seen(u"0.64.140.1.2.4", u"10.0.0.6"), true, false},
      {"the old gateway", Sought(u"10.0.0.6", u"10.0.0.5", false), Seen(u"0.64.140.1.2.3", u"10.0.0.6", u"10.0.0.9"),
       true, false},
      {"restarting in place, not yet silent", Sought(u"10.0.0.5", u"10.0.0.5", true),
       Seen(u"0.64.140.1.2.3", u"10.0.0.5"), false, false},
      {"restarting in place, back after silence", Sought(u"10.0.0.5", u"10.0.0.5", true),
       Seen(u"0.64.140.1.2.3", u"10.0.0.5"), true, true},
      {"not restarting, in place", Sought(u"10.0.0.5", u"10.0.0.5", false), Seen(u"0.64.140.1.2.3", u"10.0.0.5"), false,
       true},
      {"ONVIF: its device service at the new address",
       onvif,
       {u"", u"10.0.0.6", u"", u"", 8080, u"/onvif/device_service"},
       false,
       true},
      {"ONVIF: another service at the new address",
       onvif,
       {u"", u"10.0.0.6", u"", u"", 80, u"/onvif/device_service"},
       false,
       false},
  };
  for (const SightingCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsCameraBack(c.sought, c.seen, c.wentSilent), c.back);
  }
  const CameraSought inPlace = Sought(u"10.0.0.5", u"10.0.0.5", true);
  EXPECT_FALSE(MissesCamera(inPlace, {Seen(u"0.64.140.1.2.4", u"10.0.0.7"), Seen(u"0.64.140.1.2.3", u"10.0.0.5")}));
  EXPECT_TRUE(MissesCamera(inPlace, {Seen(u"0.64.140.1.2.4", u"10.0.0.5")})) << "another camera at its address";
  EXPECT_TRUE(MissesCamera(inPlace, {}));
}

struct NewsCase {
  const char* what;
  std::vector<std::array<std::u16string, 2>> rows;  // MAC column, address column
  std::u16string news;
};

TEST(ComeBackNews, TheStatusLineSaysWhereTheSearchFoundTheCamera) {
  const CameraSought sought = Sought(u"192.168.0.60", u"192.168.0.50", true);
  const std::vector<NewsCase> cases = {
      {"at the new address", {{u"00 40 8C 01 02 03", u"192.168.0.60"}}, u"Front door answers at 192.168.0.60"},
      {"at its old address",
       {{u"00 40 8C 01 02 03", u"192.168.0.50"}},
       u"Front door did not take the new address — it answers at 192.168.0.50"},
      {"another camera at the old address",
       {{u"00 40 8C 01 02 04", u"192.168.0.50"}},
       u"Front door did not answer yet — search again in a moment"},
      {"not found", {}, u"Front door did not answer yet — search again in a moment"},
  };
  for (const NewsCase& c : cases) {
    SCOPED_TRACE(c.what);
    forms::ListView list;
    int16_t index = 0;
    for (const auto& row : c.rows) {
      list.AddRow(u"Front door", index);
      list.CellText(index, 0, row[0]);
      list.CellText(index, 1, row[1]);
      ++index;
    }
    EXPECT_EQ(ComeBackNews(u"Front door", FindComeBack(list, sought), sought), c.news);
  }
  EXPECT_EQ(ComeBackNews(u"", ComeBackFinding::AtNewAddress, sought), u"The camera answers at 192.168.0.60");
  EXPECT_EQ(ComeBackNews(u"Porch", ComeBackFinding::AtNewAddress, sought,
                         u"the gateway 192.168.0.1 was written, not confirmed (the camera reports no gateway)"),
            u"Porch answers at 192.168.0.60; the gateway 192.168.0.1 was written, not confirmed (the camera reports no "
            u"gateway)");
}

}  // namespace
