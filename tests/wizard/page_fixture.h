#pragma once
// A running program on the fake desktop and the fake cameras, part way into
// a wizard run: the main list is filled by a real search, the wizard state
// holds what the launch read from the selected camera, and a test opens the
// page it drives. Everything both fakes see lands in one log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wizard/frm_main.h"
#include "wizard/program.h"
#include "support/event_log.h"
#include "support/fake_camera.h"
#include "support/fake_desktop.h"

inline FakeCameraDevice CameraAt(std::u16string address) {
  return {u"0.64.140.1.2.3", std::move(address), u"CS-200", u"Camera", u"v2.0.9", u"255.255.255.0", u"10.0.0.1"};
}

class PageTest : public testing::Test {
 protected:
  EventLog log;
  FakeDesktop desktop{log};
  FakeCamera cam{"cam", log};
  FakeCamera camTemp{"CamTemp", log};
  Program program{desktop, cam, camTemp};
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
  std::string Logged() const { return Joined(log.lines); }
  static std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const auto& line : lines) joined += line + "\n";
    return joined;
  }
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

#define EXPECT_LOGGED(...) EXPECT_EQ(Logged(), Joined(std::vector<std::string>{__VA_ARGS__}))
