// The waits of a Restart or an address change on screen: one progress over
// the whole announced sequence, what happens in each wait, and what the
// search afterwards found out about the camera.
#include <QElapsedTimer>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "desktop/desktop_fixture.h"
#include "desktop/frames.h"
#include "desktop/wait_progress.h"
#include "wizard/come_back.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_set_lan_end.h"

namespace {

using forms::Wait;
using forms::WaitStage;
using forms::WindowId;

// A sequence of waits as the logic announces it, at a hundredth of the time.
struct SequenceCase {
  const char* what;
  std::vector<Wait> waits;
  QStringList stages;  // what the progress says in each wait
};

class WaitsTest : public DesktopTest {
 protected:
  // What the progress showed during each wait of the sequence, sampled
  // half-way through it.
  struct Seen {
    std::vector<desktop::WaitProgress*> bars;
    QStringList texts;
    QStringList spoken;  // what a screen reader hears: name, then description
    std::vector<int> done;
    std::vector<int> totals;
  };
  Seen RunSequence(const std::vector<Wait>& waits, const std::u16string& address) {
    Seen seen;
    desktop.Dispatch([&] {
      forms::CameraSought camera;
      camera.mac = u"0.64.140.1.2.1";
      camera.address = address;
      camera.previousAddress = u"127.77.0.10";
      desktop.WaitsAhead(waits, camera);
      for (const Wait& wait : waits) {
        QTimer::singleShot(wait.milliseconds / 2, [&] {
          desktop::WaitProgress* bar = desktop.Progress();
          seen.bars.push_back(bar);
          seen.texts << (bar != nullptr ? bar->Text() : QString());
          seen.spoken << (bar != nullptr ? bar->accessibleName() + " / " + bar->accessibleDescription() : QString());
          seen.done.push_back(bar != nullptr ? bar->Done() : -1);
          seen.totals.push_back(bar != nullptr ? bar->Total() : -1);
        });
        desktop.Sleep(wait.milliseconds);
      }
    });
    return seen;
  }

  // Where the progress and the named widgets of the view stand half-way
  // through a wait (in the view's own coordinates), and which take clicks.
  struct SeenWidget {
    QRect place;  // empty: not shown
    bool button;
    bool enabled;
  };
  struct DuringWait {
    QRect bar;
    std::vector<SeenWidget> widgets;
  };
  DuringWait SeeDuringWait(desktop::WindowView& view, const std::vector<const char*>& names) {
    DuringWait seen;
    QTimer::singleShot(50, [&] {
      QWidget* bar = desktop.Progress();
      if (bar == nullptr || !view.isAncestorOf(bar)) return;
      seen.bar = QRect(bar->mapTo(&view, QPoint()), bar->size());
      for (const char* name : names) {
        auto* widget = view.findChild<QWidget*>(QString::fromLatin1(name));
        const bool shown = widget != nullptr && widget->isVisible();
        seen.widgets.push_back({shown ? QRect(widget->mapTo(&view, QPoint()), widget->size()) : QRect(),
                                qobject_cast<QAbstractButton*>(widget) != nullptr, shown && widget->isEnabled()});
      }
    });
    RunSequence({{WaitStage::ComingBack, 100}}, u"127.77.0.10");
    return seen;
  }
};

TEST_F(WaitsTest, OneProgressRunsOverTheWholeSequenceAndSaysWhatHappens) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  const SequenceCase cases[] = {
      {"Restart, new firmware: 16 s",
       {{WaitStage::ApplyingSettings, 100}, {WaitStage::ComingBack, 150}},
       {"Applying settings", "Waiting for the camera"}},
      {"Restart, firmware that restarts when told: 31 s",
       {{WaitStage::ApplyingSettings, 100},
        {WaitStage::Restarting, 50},
        {WaitStage::ComingBack, 150},
        {WaitStage::ComingBack, 100}},
       {"Applying settings", "Camera restarting", "Waiting for the camera", "Waiting for the camera"}},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.what);
    int total = 0;
    for (const Wait& wait : c.waits) total += wait.milliseconds;
    const Seen seen = RunSequence(c.waits, u"127.77.0.10");
    ASSERT_EQ(seen.bars.size(), c.waits.size());
    ASSERT_NE(seen.bars.front(), nullptr);
    for (desktop::WaitProgress* bar : seen.bars) EXPECT_EQ(bar, seen.bars.front()) << "one bar, not one per wait";
    for (int index = 0; index < seen.texts.size(); ++index) {
      EXPECT_TRUE(seen.texts[index].startsWith(c.stages[index] + " — ")) << seen.texts[index].toStdString();
      EXPECT_TRUE(seen.spoken[index].startsWith(c.stages[index] + " / ")) << seen.spoken[index].toStdString();
      EXPECT_TRUE(seen.spoken[index].endsWith(" seconds left") || seen.spoken[index].endsWith(" second left"))
          << "screen readers hear the time left: " << seen.spoken[index].toStdString();
    }
    for (int shown : seen.totals) EXPECT_EQ(shown, total) << "the bar spans the announced waits";
    int before = 0;  // ms of the waits already over
    for (size_t index = 0; index < seen.done.size(); ++index) {
      EXPECT_GE(seen.done[index], before) << "the bar goes on where the last wait left it";
      EXPECT_LT(seen.done[index], total);
      before += c.waits[index].milliseconds;
    }
    EXPECT_EQ(desktop.Progress(), nullptr) << "the bar goes with the last wait";
  }
}

struct CoverCase {
  const char* what;
  WindowId window;  // the window in front, which shows the progress
  std::vector<const char*> names;
};

TEST_F(WaitsTest, TheProgressSitsAboveTheWindowsButtonsWhichShowSwitchedOffMeanwhile) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  program->state.CurrentIPAddress = u"127.77.0.10";
  program->state.CurrentSubnetMask = u"255.255.255.0";
  program->state.CurrentGateway = u"127.77.0.1";
  const CoverCase cases[] = {
      {"the main window", WindowId::FrmMain, {"CmdWizard", "Command1", "CmdLink", "CmdAbout", "CmdExit", "List"}},
      {"a page in the wizard frame", WindowId::FrmsetLanEnd, {"LblSubnet", "CmdBack", "CmdRestart"}},
      {"the change-address dialog", WindowId::FrmChangeIPAddress, {"Text3", "CmdOk"}},
  };
  for (const CoverCase& c : cases) {
    SCOPED_TRACE(c.what);
    desktop.Dispatch([&] {
      if (c.window == WindowId::FrmsetLanEnd) Show(*program, program->setLanEnd);
      if (c.window == WindowId::FrmChangeIPAddress) Show(*program, program->changeIPAddress);
    });
    ASSERT_TRUE(Shown(c.window));
    desktop::WindowView& view = *desktop.View(c.window);
    const DuringWait seen = SeeDuringWait(view, c.names);
    ASSERT_FALSE(seen.bar.isEmpty()) << "the progress is in the window in front";
    ASSERT_EQ(seen.widgets.size(), c.names.size());
    for (size_t index = 0; index < c.names.size(); ++index) {
      const SeenWidget& widget = seen.widgets[index];
      EXPECT_FALSE(widget.place.isEmpty()) << c.names[index];
      EXPECT_FALSE(widget.place.intersects(seen.bar)) << c.names[index] << " is not covered";
      if (!widget.button) continue;
      EXPECT_FALSE(widget.enabled) << c.names[index] << " shows it takes no clicks during the wait";
      EXPECT_TRUE(view.findChild<QWidget*>(c.names[index])->isEnabled()) << c.names[index] << " is back afterwards";
    }
  }
}

TEST_F(WaitsTest, ARefusedRestartEndsTheWaitsBeforeItsErrorShows) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  ChooseRow(0);
  program->state.DeviceVersion = u"v1.0.001";  // firmware that restarts when told
  camTemp.failing = {"Restart"};
  desktop.Dispatch([&] { Show(*program, program->setLanEnd); });
  ASSERT_TRUE(Shown(WindowId::FrmsetLanEnd));
  bool barBesideTheBox = true;
  bool backOnAtTheBox = false;
  desktop.SetMessageBoxFunction([&](const desktop::MessageRequest& request) {
    messages.push_back(request);
    barBesideTheBox = desktop.View(WindowId::FrmsetLanEnd)->findChild<QWidget*>("WaitProgress") != nullptr;
    backOnAtTheBox = Find(WindowId::FrmsetLanEnd, "CmdBack")->isEnabled();
    return forms::MsgAnswer::OK;
  });
  Click(WindowId::FrmsetLanEnd, "CmdRestart");
  ASSERT_EQ(log.Starting("CamTemp.Restart").size(), 1U);
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(U8(messages[0].text), "Camera Error . Restart failed");
  EXPECT_FALSE(barBesideTheBox) << "the waits end before the error shows";
  EXPECT_TRUE(backOnAtTheBox) << "and the page's buttons are back";
  EXPECT_EQ(desktop.Progress(), nullptr);

  desktop.Dispatch([&] {
    Unload(*program, program->frmMain);
    Show(*program, program->frmMain);
  });
  EXPECT_EQ(desktop.Main()->News(), "") << "nothing is said about a camera that did not restart";
}

struct ComeBackCase {
  const char* what;
  std::vector<FakeCameraDevice> found;
  QString news;
};

TEST_F(WaitsTest, TheSearchAfterTheWaitsSaysWhetherTheCameraAnswersAtItsAddress) {
  const ComeBackCase cases[] = {
      {"found at the new address", {Device(1, u"127.77.0.60", u"CS-200")}, "Camera 1 answers at 127.77.0.60"},
      {"still at the old address",
       {Device(1, u"127.77.0.10", u"CS-200")},
       "Camera 1 did not take the new address — it answers at 127.77.0.10"},
      {"not found at all", {}, "Camera 1 did not answer yet — search again in a moment"},
  };
  for (const ComeBackCase& c : cases) {
    SCOPED_TRACE(c.what);
    StartWith({Device(1, u"127.77.0.10", u"CS-200"), Device(2, u"127.77.0.60", u"CS-350")});
    ChooseRow(0);
    RunSequence({{WaitStage::ApplyingSettings, 20}, {WaitStage::ComingBack, 20}}, u"127.77.0.60");
    EXPECT_EQ(desktop.Main()->News(), "") << "nothing is said before the search";
    cam.devices = c.found;
    desktop.Dispatch([&] {
      Unload(*program, program->frmMain);
      Show(*program, program->frmMain);
    });
    EXPECT_EQ(desktop.Main()->News(), c.news);
    Click(WindowId::FrmMain, "Command1");
    EXPECT_EQ(desktop.Main()->News(), "") << "the next search clears it";
    desktop.Dispatch([&] { Unload(*program, program->frmMain); });
  }
}

// The camera looked for, as the summary describes a camera moving from
// 127.77.0.10 to 127.77.0.60.
forms::CameraSought Moving(bool restarts) {
  forms::CameraSought camera;
  camera.mac = u"0.64.140.1.2.1";
  camera.address = u"127.77.0.60";
  camera.mask = u"255.255.255.0";
  camera.gateway = u"127.77.0.1";
  camera.previousAddress = u"127.77.0.10";
  camera.restarts = restarts;
  return camera;
}

CameraSighting At(const std::u16string& address) {
  return {u"0.64.140.1.2.1", address, u"255.255.255.0", u"127.77.0.1", 0, u""};
}

// The searches a watch runs, one answer each, and then the last again.
desktop::CameraLook Searches(std::vector<std::vector<CameraSighting>> answers, int* looks) {
  return [answers = std::move(answers), looks](const forms::CameraSought&) {
    const size_t index = std::min(static_cast<size_t>((*looks)++), answers.size() - 1);
    return answers[index];
  };
}

TEST(CameraWatchTest, ACameraRestartingInPlaceCountsOnlyOnceItWasSilent) {
  forms::CameraSought inPlace = Moving(true);
  inPlace.address = inPlace.previousAddress;
  int looks = 0;
  desktop::CameraWatch watch(Searches({{At(u"127.77.0.10")}, {At(u"127.77.0.10")}, {}, {At(u"127.77.0.10")}}, &looks),
                             inPlace);
  EXPECT_FALSE(watch.Look()) << "still up before its restart";
  EXPECT_FALSE(watch.Look());
  EXPECT_FALSE(watch.Look()) << "silent";
  EXPECT_TRUE(watch.Look()) << "back after the silence";
  EXPECT_TRUE(watch.Back());
  EXPECT_EQ(looks, 4);
  EXPECT_TRUE(watch.Look()) << "once back, it stays back without another search";
  EXPECT_EQ(looks, 4);
}

TEST_F(WaitsTest, TheWaitsEndAsSoonAsTheCameraIsSeenBack) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  ChooseRow(0);
  int looks = 0;
  QElapsedTimer clock;
  // Still at its old address for 300 ms, then gone, then at the new one.
  desktop.SetCameraLook([&looks, &clock](const forms::CameraSought&) {
    ++looks;
    if (clock.elapsed() < 300) return std::vector<CameraSighting>{At(u"127.77.0.10")};
    if (clock.elapsed() < 600) return std::vector<CameraSighting>{};
    return std::vector<CameraSighting>{At(u"127.77.0.60")};
  });
  qint64 ended = 0;
  desktop.Dispatch([&] {
    desktop.WaitsAhead({{WaitStage::ApplyingSettings, 1000}, {WaitStage::ComingBack, 15000}}, Moving(true));
    clock.start();
    WaitForCameraBack(desktop, {1000, 15000});
    ended = clock.elapsed();
  });
  EXPECT_GE(ended, 600);
  EXPECT_LT(ended, 2000) << "the 16 s of waits end once the camera answers at its new address";
  EXPECT_GE(looks, 3);
  EXPECT_EQ(desktop.Progress(), nullptr) << "the bar goes with the camera back";
}

TEST_F(WaitsTest, ACameraNotSeenIsLookedForWithACancelThatGoesOn) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  ChooseRow(0);
  int looks = 0;
  desktop.SetCameraLook(Searches({{}}, &looks));
  QString spoken;
  bool cancelOffered = false;
  QTimer::singleShot(300, [&] {
    desktop::WaitProgress* bar = desktop.Progress();
    if (bar == nullptr) return;
    spoken = bar->accessibleName() + " / " + bar->accessibleDescription();
    auto* cancel = bar->findChild<QAbstractButton*>("CmdCancelWait");
    cancelOffered = cancel != nullptr && cancel->isVisible() && cancel->isEnabled();
    if (cancel != nullptr) QTest::mouseClick(cancel, Qt::LeftButton);
  });
  forms::CameraSeen seen = forms::CameraSeen::Back;
  QElapsedTimer clock;
  desktop.Dispatch([&] {
    desktop.WaitsAhead({{WaitStage::ComingBack, 100}}, Moving(false));
    clock.start();
    seen = desktop.WaitForCamera(100, false);
    if (seen == forms::CameraSeen::NotSeen) seen = desktop.WaitForCamera(LookOnMs, true);
  });
  EXPECT_EQ(seen, forms::CameraSeen::Cancelled);
  EXPECT_TRUE(cancelOffered);
  EXPECT_TRUE(spoken.startsWith("Looking for the camera / ")) << spoken.toStdString();
  EXPECT_TRUE(spoken.endsWith(" seconds left")) << spoken.toStdString();
  EXPECT_LT(clock.elapsed(), 5000) << "Cancel ends the 120 s at once";
  EXPECT_GE(looks, 1);
  EXPECT_EQ(desktop.Progress(), nullptr);
}

TEST_F(WaitsTest, WithoutALookTheWaitsRunTheirTime) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  QElapsedTimer clock;
  forms::CameraSeen seen = forms::CameraSeen::Back;
  desktop.Dispatch([&] {
    desktop.WaitsAhead({{WaitStage::ComingBack, 150}}, Moving(false));
    clock.start();
    seen = desktop.WaitForCamera(150, false);
  });
  EXPECT_EQ(seen, forms::CameraSeen::NotSeen);
  EXPECT_GE(clock.elapsed(), 150);
}

}  // namespace
