#pragma once
// A running program on the fake desktop and two fake camera controls, with
// the cameras the search finds. Everything both fakes see lands in one log.
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
  return {u"0.64.140.1.2." + n, std::move(address), std::move(mode), u"Camera " + n, u"v2.0.9" + n,
          u"255.255.255.0", u"10.0.0.1"};
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

// Joins log lines for readable failure output.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const auto& line : lines) joined += "  " + line + "\n";
  return joined;
}

// The log, as the window steps go, must be exactly these lines.
#define EXPECT_LOG(log, ...) EXPECT_EQ(Lines((log).lines), Lines(std::vector<std::string>{__VA_ARGS__}))
