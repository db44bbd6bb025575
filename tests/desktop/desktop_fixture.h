#pragma once
// The real program on the Qt desktop, with fake cameras: message boxes are
// answered by the test and the end of the program does not leave the test's
// event loop.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QTreeView>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "wizard/frm_main.h"
#include "wizard/program.h"
#include "desktop/frames.h"
#include "desktop/qt_desktop.h"
#include "base/text.h"
#include "support/event_log.h"
#include "support/fake_camera.h"

inline std::string U8(const std::u16string& text) { return base::ToUtf8(text); }

// Calls seen with the message box once it is shown: a box runs its own
// event loop, so the test meets it from a timer. poll lives until the box
// has gone.
inline void WhenMessageBoxShows(QTimer& poll, std::function<void(QMessageBox&)> seen) {
  QObject::connect(&poll, &QTimer::timeout, [&poll, seen = std::move(seen)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    poll.stop();
    seen(*box);
  });
  poll.start(5);
}

// A camera as the search lists it.
inline FakeCameraDevice Device(int number, std::u16string address, std::u16string mode) {
  const std::u16string n = std::u16string(1, static_cast<char16_t>(u'0' + number));
  return {u"0.64.140.1.2." + n, std::move(address), std::move(mode), u"Camera " + n,
          u"v2.0.9" + n,        u"255.255.255.0",   u"127.77.0.1"};
}

class DesktopTest : public testing::Test {
 protected:
  EventLog log;
  FakeCamera cam{"cam", log};
  FakeCamera camTemp{"CamTemp", log};
  desktop::QtDesktop desktop;
  std::unique_ptr<Program> program = std::make_unique<Program>(desktop, cam, camTemp);
  std::vector<desktop::MessageRequest> messages;
  std::deque<forms::MsgAnswer> answers;  // then OK
  int quits = 0;

  void SetUp() override {
    desktop::ForgetWindowPlaces();
    desktop.Attach(*program);
    desktop.SetMessageBoxFunction([this](const desktop::MessageRequest& request) {
      messages.push_back(request);
      if (answers.empty()) return forms::MsgAnswer::OK;
      const forms::MsgAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    });
    desktop.SetQuitFunction([this] { ++quits; });
  }
  // The views let go of the windows before the program frees them.
  void TearDown() override { desktop.EndProgram(); }

  void StartWith(std::vector<FakeCameraDevice> devices) {
    cam.devices = std::move(devices);
    desktop.Dispatch([this] { program->Start(); });
  }

  template <class W = QWidget>
  W* Find(forms::WindowId id, const char* name) {
    desktop::WindowView* view = desktop.View(id);
    return view == nullptr ? nullptr : view->findChild<W*>(QString::fromLatin1(name));
  }
  bool Shown(forms::WindowId id) {
    desktop::WindowView* view = desktop.View(id);
    return view != nullptr && view->isVisible();
  }
  // The main window's list as the user sees it, sorted or not.
  QTreeView* List() { return Find<QTreeView>(forms::WindowId::FrmMain, "List"); }
  QString ListText(int row, int column) { return List()->model()->index(row, column).data().toString(); }
  void ChooseRow(int row) {
    QTreeView* list = List();
    ASSERT_NE(list, nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 1)).center());
  }
  void Click(forms::WindowId id, const char* name) {
    auto* button = Find<QAbstractButton>(id, name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
};
