#pragma once
// A running program on the fake desktop and two fake camera controls, with
// the cameras the search finds. Everything both fakes see lands in one log.
// PageTest goes on part way into a wizard run: the main list is filled by a
// real search, the wizard state holds what the launch read from the selected
// camera, and a test opens the page it drives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wizard/frm_main.h"
#include "wizard/program.h"
#include "support/event_log.h"
#include "support/fake_camera.h"
#include "support/fake_desktop.h"

// A camera as the search lists it; the rest of its description follows from
// the number.
inline FakeCameraDevice Camera(int number, std::u16string address, std::u16string mode = u"CS-200") {
  const std::u16string n = std::u16string(1, static_cast<char16_t>(u'0' + number));
  return {u"0.64.140.1.2." + n, std::move(address), std::move(mode), u"Camera " + n,
          u"v2.0.9" + n,        u"255.255.255.0",   u"10.0.0.1"};
}

// Joins log lines for readable failure output.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const auto& line : lines) joined += "  " + line + "\n";
  return joined;
}

// The one camera description the pages' tests use; only its address varies.
inline FakeCameraDevice CameraAt(std::u16string address) {
  return {u"0.64.140.1.2.3", std::move(address), u"CS-200", u"Camera", u"v2.0.9", u"255.255.255.0", u"10.0.0.1"};
}

class ProgramTest : public testing::Test {
 protected:
  EventLog log;
  FakeDesktop desktop{log};
  FakeCamera cam{"cam", log};
  FakeCamera camTemp{"CamTemp", log};
  Program program{desktop, cam, camTemp};

  // Starts the program with these cameras on the network and forgets what
  // the start logged.
  void StartWith(std::vector<FakeCameraDevice> devices) {
    cam.devices = std::move(devices);
    program.Start();
    log.Clear();
  }
  FrmMain& Main() { return *program.frmMain; }
  void Choose(int32_t row) { Main().List.selectedRow = row; }
};

// The log, as the window steps go, must be exactly these lines.
#define EXPECT_LOG(log, ...) EXPECT_EQ(Lines((log).lines), Lines(std::vector<std::string>{__VA_ARGS__}))

class PageTest : public ProgramTest {
 protected:
  WizardState& state = program.state;

  // The main window lists cameras at these addresses; the first one is the
  // camera being set up, as the launch left the state for it.
  void StartWith(const std::vector<std::u16string>& addresses) {
    for (const auto& address : addresses) cam.devices.push_back(CameraAt(address));
    program.Start();
    state.CurrentIPAddress = addresses.front();
    state.CurrentSubnetMask = u"255.255.255.0";
    state.CurrentGateway = u"10.0.0.1";
    state.NewIPAddress = state.CurrentIPAddress;
    state.NewSubnetMask = state.CurrentSubnetMask;
    state.NewGateway = state.CurrentGateway;
    state.CurrentAdminID = u"admin";
    state.CurrentAdminPassword = u"secret";
    state.DeviceVersion = u"v2.0.9";
    Hide(program, program.frmMain);
    log.Clear();
  }

  // The wireless settings the launch reads from a wireless camera.
  void MakeWireless(int16_t mode, std::u16string essid, int16_t channel, int16_t wepFlag, std::u16string key) {
    state.DeviceType = 1 << 29;
    state.CurrentWlanMode = mode;
    state.NewWlanMode = mode;
    state.CurrentWlanESSID = essid;
    state.NewWlanESSID = std::move(essid);
    state.CurrentWlanChannel = channel;
    state.CurrentWlanWEPFlag = wepFlag;
    state.CurrentWlanWEPKey = std::move(key);
    state.ChangeWEPKey = False;
  }

  // Shows a page as the page before it does, and forgets what that logged.
  template <class F>
  F& Open(std::unique_ptr<F>& window) {
    Show(program, window);
    log.Clear();
    return *window;
  }

  // The lines logged since the last clear, one per line, for readable diffs.
  std::string Logged() const { return Lines(log.lines); }
};

// The critical message with an OK button and the pages' empty title.
inline std::string Refusal(const std::string& text) {
  return "msgbox \"" + text + "\" title=\"\" icon=critical buttons=ok";
}

// The focused control of a window, by its name.
template <class F>
std::string Focused(const F& window) {
  return window.form.focus != nullptr ? window.form.focus->name : "(none)";
}

// The whole text of a box is selected.
inline bool WhollySelected(const forms::TextBox& box) {
  return box.selStart == 0 && box.selLength == static_cast<int32_t>(box.text.size());
}

// The lines logged since the last clear must be exactly these.
#define EXPECT_LOGGED(...) EXPECT_LOG(log, __VA_ARGS__)
