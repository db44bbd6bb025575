// The time a summary page's Restart click takes beyond its fixed waits: the
// headless program with the network camera control as cam and CamTemp,
// against sentrova-camd on loopback, and a desktop whose Sleep only records
// the milliseconds asked. The timed region is the whole click (writes, apply,
// restart, the main window's new search), so it is the overhead alone.
//
// Each iteration walks the wizard to the summary page untimed, moves the
// camera between two addresses (so it restarts every time), and after the
// click searches untimed until the camera is listed at its new address.
//
// BM_RestartToNewList* time the same click on the Qt desktop (offscreen),
// whose waits watch for the camera with the device search: the camera is
// back 3 s after it went down, and the time is the whole click, from
// Restart to the main window's new list.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <utility>

#include "desktop/frames.h"
#include "desktop/qt_desktop.h"
#include "desktop/wait_progress.h"
#include "wizard/frm_main.h"
#include "wizard/program.h"
#include "device/net_camera_control.h"
#include "simulator.h"
#include "support/event_log.h"
#include "support/fake_desktop.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_wireless.h"

namespace {

using forms::WindowId;

constexpr int CameraHost = 10;
constexpr int OtherHost = 20;
constexpr int RestartMs = 50;  // the simulated camera is back long before the next iteration
constexpr int ComeBackTimeoutMs = 10000;
constexpr int SlowRestartMs = 3000;  // the camera is back this long after it went down

std::u16string U(const QString& text) { return text.toStdU16String(); }

struct Rig {
  explicit Rig(SimCamera camera, int restartMs = RestartMs) : sim({std::move(camera)}, restartMs) {}
  void Run(const std::function<void()>& handler) { handler(); }

  // The product's own timings; only the interface and the port are the simulator's.
  device::NetOptions ControlOptions() const {
    device::NetOptions options;
    options.interfaceNames = QStringList{u"lo"_qs};
    options.port = sim.port();
    return options;
  }
  FrmMain& Main() { return *program.frmMain; }
  bool Visible(WindowId id) const { return desktop.visible.count(id) != 0; }
  int32_t RowOf(const QString& address) {
    for (int32_t row = 0; row < program.state.DeviceCount; ++row) {
      if (Main().List.CellText(row, 1) == U(address)) return row;
    }
    return -1;
  }
  // Searches again until the camera answers at `address`; false after the timeout.
  bool SearchUntilListed(const QString& address) {
    return WaitUntil(
        [&] {
          Main().Command1_Click();
          return RowOf(address) >= 0;
        },
        ComeBackTimeoutMs);
  }

  Simulator sim;
  EventLog log;
  FakeDesktop desktop{log};
  device::NetCameraControl cam{ControlOptions()};
  device::NetCameraControl camTemp{ControlOptions()};
  Program program{desktop, cam, camTemp};
};

// The same on the Qt desktop, offscreen: message boxes are counted and
// answered OK, the waits watch for the camera with the device search.
struct QtRig {
  explicit QtRig(SimCamera camera, int restartMs) : sim({std::move(camera)}, restartMs) {
    desktop.SetMessageBoxFunction([this](const desktop::MessageRequest&) {
      ++messages;
      return forms::MsgAnswer::OK;
    });
    desktop.SetQuitFunction([] {});
    desktop.SetCameraLook(desktop::NetworkCameraLook(ControlOptions()));
    desktop.Attach(program);
  }
  ~QtRig() { desktop.EndProgram(); }
  void Run(const std::function<void()>& handler) { desktop.Dispatch(handler); }

  device::NetOptions ControlOptions() const {
    device::NetOptions options;
    options.interfaceNames = QStringList{u"lo"_qs};
    options.port = sim.port();
    return options;
  }
  FrmMain& Main() { return *program.frmMain; }
  bool Visible(WindowId id) const {
    const desktop::WindowView* view = desktop.View(id);
    return view != nullptr && view->isVisible();
  }
  int32_t RowOf(const QString& address) {
    for (int32_t row = 0; row < program.state.DeviceCount; ++row) {
      if (Main().List.CellText(row, 1) == U(address)) return row;
    }
    return -1;
  }

  Simulator sim;
  device::NetCameraControl cam{ControlOptions()};
  device::NetCameraControl camTemp{ControlOptions()};
  desktop::QtDesktop desktop;
  Program program{desktop, cam, camTemp};
  int messages = 0;
};

// Main window to the summary page with the account unchanged and the address
// moved to `target`; a text saying where it stopped, or empty.
template <class R>
std::string WalkToSummary(R& rig, const QString& from, const QString& target, bool wireless) {
  const int32_t row = rig.RowOf(from);
  if (row < 0) return "camera not listed";
  if constexpr (requires { rig.desktop.modalSteps; }) {
    if (wireless) {  // the wireless camera here asks for a login
      rig.desktop.modalSteps[WindowId::frmchackIDPWD].push_back([&rig] {
        forms::Type(rig.program.chackIDPWD->Text1, u"admin");
        forms::Type(rig.program.chackIDPWD->TxtPassWord, u"secret");
        rig.program.chackIDPWD->CmdYes_Click();
      });
    }
  }
  rig.Main().List.selectedRow = row;
  rig.Run([&rig] { rig.Main().CmdWizard_Click(); });
  if (!rig.Visible(WindowId::FrmSetPassword)) return "wizard did not open";
  rig.Run([&rig] {
    FrmSetPassword& account = *rig.program.setPassword;
    forms::Type(account.TxtOldSysAdminID, u"admin");
    forms::Type(account.TxtOldPassword, u"secret");
    account.CmdNext_Click();
  });
  if (!rig.Visible(WindowId::FrmSetIPAddress)) return "account page refused";
  rig.Run([&rig, &target] {
    forms::Type(rig.program.setIPAddress->TxtIPAddress, U(target));
    rig.program.setIPAddress->CmdNext_Click();
  });
  if (wireless) {
    if (!rig.Visible(WindowId::FrmWireless)) return "address page refused";
    rig.Run([&rig] { rig.program.wireless->CmdNext_Click(); });
    if (!rig.Visible(WindowId::FrmSetupEnd)) return "wireless page refused";
  } else if (!rig.Visible(WindowId::FrmsetLanEnd)) {
    return "address page refused";
  }
  return {};
}

void RunRestarts(benchmark::State& state, SimCamera camera) {
  const bool wireless = camera.wireless;
  Rig rig(std::move(camera));
  if (!rig.sim.Start()) {
    state.SkipWithError("sentrova-camd did not start");
    return;
  }
  rig.program.Start();
  QString at = rig.sim.Address(CameraHost);
  QString next = rig.sim.Address(OtherHost);
  double overheadMs = 0;
  double waitsAskedMs = 0;
  for (auto _ : state) {
    if (const std::string stop = WalkToSummary(rig, at, next, wireless); !stop.empty()) {
      state.SkipWithError(stop.c_str());
      break;
    }
    rig.desktop.sleeps.clear();
    rig.desktop.messages.clear();

    const auto start = std::chrono::steady_clock::now();
    if (wireless) {
      rig.program.setupEnd->CmdRestart_Click();
    } else {
      rig.program.setLanEnd->CmdRestart_Click();
    }
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    overheadMs += std::chrono::duration<double, std::milli>(end - start).count();

    rig.program.DisposeUnloaded();
    waitsAskedMs += rig.desktop.TotalSleep();
    if (!rig.desktop.messages.empty() || !rig.Visible(WindowId::FrmMain)) {
      state.SkipWithError("Restart did not end at the main window");
      break;
    }
    if (!rig.SearchUntilListed(next)) {
      state.SkipWithError("camera not back at its new address");
      break;
    }
    std::swap(at, next);
  }
  // The waits the click asked for, none of them slept: the time is all overhead.
  state.counters["overhead_ms"] = benchmark::Counter(overheadMs, benchmark::Counter::kAvgIterations);
  state.counters["waits_asked_ms"] = benchmark::Counter(waitsAskedMs, benchmark::Counter::kAvgIterations);
}

// Family 0 firmware that restarts on request: 1 + 5 + 15 + 10 s of waits.
void BM_WiredRestart(benchmark::State& state) {
  RunRestarts(state,
              {.host = CameraHost, .family = 0, .mode = u"C-100"_qs, .caption = u"Hall"_qs, .version = u"2.10.001"_qs});
}

// Family 2 wireless firmware that restarts by itself: 1 + 15 s of waits.
void BM_WirelessRestart(benchmark::State& state) {
  RunRestarts(state, {.host = CameraHost,
                      .family = 2,
                      .mode = u"X-350W"_qs,
                      .caption = u"Porch"_qs,
                      .version = u"2.11.003"_qs,
                      .wireless = true,
                      .settings = QJsonObject{{u"WlanESSID"_qs, u"home"_qs}, {u"WlanChannel"_qs, 6}}});
}

// Restart on the Qt desktop to the new list, with the camera back
// SlowRestartMs after it went down: the click's whole time, and whether the
// status line said the camera answers at its new address.
void RunRestartsToNewList(benchmark::State& state, SimCamera camera) {
  const bool wireless = camera.wireless;
  QtRig rig(std::move(camera), SlowRestartMs);
  if (!rig.sim.Start()) {
    state.SkipWithError("sentrova-camd did not start");
    return;
  }
  rig.Run([&rig] { rig.program.Start(); });
  QString at = rig.sim.Address(CameraHost);
  QString next = rig.sim.Address(OtherHost);
  double totalMs = 0;
  int foundAtNew = 0;
  for (auto _ : state) {
    if (const std::string stop = WalkToSummary(rig, at, next, wireless); !stop.empty()) {
      state.SkipWithError(stop.c_str());
      break;
    }
    const auto start = std::chrono::steady_clock::now();
    rig.Run([&rig, wireless] {
      if (wireless) {
        rig.program.setupEnd->CmdRestart_Click();
      } else {
        rig.program.setLanEnd->CmdRestart_Click();
      }
    });
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    totalMs += std::chrono::duration<double, std::milli>(end - start).count();
    if (rig.messages != 0 || !rig.Visible(WindowId::FrmMain)) {
      state.SkipWithError("Restart did not end at the main window");
      break;
    }
    if (rig.RowOf(next) >= 0 && rig.desktop.Main()->News().contains(u"answers at"_qs)) ++foundAtNew;
    if (rig.RowOf(next) < 0 && !WaitUntil(
                                   [&] {
                                     rig.Run([&rig] { rig.Main().Command1_Click(); });
                                     return rig.RowOf(next) >= 0;
                                   },
                                   ComeBackTimeoutMs)) {
      state.SkipWithError("camera not back at its new address");
      break;
    }
    std::swap(at, next);
  }
  state.counters["restart_to_list_ms"] = benchmark::Counter(totalMs, benchmark::Counter::kAvgIterations);
  state.counters["listed_at_new_address"] = benchmark::Counter(foundAtNew, benchmark::Counter::kAvgIterations);
}

// Family 0 firmware that restarts by itself after the apply.
void BM_RestartToNewList(benchmark::State& state) {
  RunRestartsToNewList(
      state, {.host = CameraHost, .family = 0, .mode = u"C-100"_qs, .caption = u"Hall"_qs, .version = u"2.11.003"_qs});
}

// Family 0 firmware that restarts when told, 1 s after the apply.
void BM_RestartToNewListToldToRestart(benchmark::State& state) {
  RunRestartsToNewList(
      state, {.host = CameraHost, .family = 0, .mode = u"C-100"_qs, .caption = u"Hall"_qs, .version = u"2.10.001"_qs});
}

BENCHMARK(BM_RestartToNewList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_RestartToNewListToldToRestart)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(1);
BENCHMARK(BM_WiredRestart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(BM_WirelessRestart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

}  // namespace

// The camera control waits for its answers in local event loops; the Qt
// desktop draws offscreen unless told otherwise.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
