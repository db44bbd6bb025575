// The desktop services on Qt: the dispatch of handlers, message boxes, the
// pointer, blocking waits, modal windows and the end of the program.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <functional>
#include <limits>

#include "bits/modBitOps.h"
#include "desktop/wait_progress.h"
#include "device/camera_control.h"
#include "regex/modRegEx.h"
#include "desktop/desktop_fixture.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_message.h"
#include "wizard/frm_sys_about.h"

namespace {

using forms::WindowId;

struct EscapingError {
  const char* what;
  std::function<void()> raise;
  std::string text;
  std::string title;
};

TEST_F(DesktopTest, AnErrorThatEscapesAHandlerIsShownAndTheProgramGoesOn) {
  const std::vector<EscapingError> cases = {
      {"pattern engine error: its number and description",
       [] { modRegEx::RegExpr(u"abc", u"b", modRegEx::reSingleLine | modRegEx::reMultiline); },
       "Error: 20053. Error in RegExpr.RegExpr: Cannot specify both reSingleLine and reMultiline at the same time.",
       "Sentrova"},
      {"camera control error", [] { throw device::CameraControlError("CamTemp did not answer"); },
       "Camera Error . CamTemp did not answer", ""},
      {"any other error", [] { throw std::out_of_range("list cell (5, 1) does not exist"); },
       "Error: list cell (5, 1) does not exist", "Sentrova"},
      {"not even an exception", [] { throw 42; }, "Error: the last action failed.", "Sentrova"},
  };
  for (const EscapingError& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    desktop.Dispatch([&] {
      desktop.SetMousePointer(forms::Hourglass);
      c.raise();
    });
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(U8(messages[0].text), c.text);
    EXPECT_EQ(U8(messages[0].title), c.title);
    EXPECT_EQ(messages[0].icon, forms::MsgIcon::Critical);
    EXPECT_EQ(messages[0].buttons, forms::MsgButtons::OK);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the hourglass goes before the message";

    bool ranAfter = false;
    desktop.Dispatch([&] { ranAfter = true; });
    EXPECT_TRUE(ranAfter);
  }
}

TEST_F(DesktopTest, EveryShownWindowIsRedrawnAfterAHandler) {
  StartWith({});
  QTreeView* list = List();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(Shown(WindowId::FrmMain));
  EXPECT_EQ(list->model()->rowCount(), 0);

  cam.devices = {Device(1, u"127.77.0.10", u"CS-200"), Device(2, u"192.168.0.20", u"CS-350")};
  Click(WindowId::FrmMain, "Command1");
  ASSERT_EQ(list->model()->rowCount(), 2);
  EXPECT_EQ(ListText(0, 0), "Camera 1");
  EXPECT_EQ(ListText(0, 1), "00 40 8C 01 02 01");
  EXPECT_EQ(ListText(0, 3), "ok");
  EXPECT_EQ(ListText(1, 2), "192.168.0.20");
  EXPECT_EQ(ListText(1, 3), "");
}

TEST_F(DesktopTest, AnUnloadedWindowLeavesTheScreenAndIsFreedOnceNoHandlerRuns) {
  StartWith({});
  Click(WindowId::FrmMain, "CmdAbout");
  EXPECT_TRUE(Shown(WindowId::FrmSysAbout));
  EXPECT_FALSE(Shown(WindowId::FrmMain));
  auto* version = Find<QLabel>(WindowId::FrmSysAbout, "Label1");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), "2.61.0");

  Click(WindowId::FrmSysAbout, "CmdOk");
  EXPECT_EQ(desktop.View(WindowId::FrmSysAbout), nullptr);
  EXPECT_EQ(program->sysAbout, nullptr);
  EXPECT_TRUE(program->unloaded.empty());
  EXPECT_TRUE(Shown(WindowId::FrmMain));
}

TEST_F(DesktopTest, TheAboutBoxNamesTheProgramItsVersionAndLicencesAndCarriesTheIcon) {
  StartWith({});
  EXPECT_FALSE(QGuiApplication::windowIcon().isNull());
  EXPECT_EQ(QGuiApplication::desktopFileName(), "sentrova");
  Click(WindowId::FrmMain, "CmdAbout");
  desktop::WindowView* about = desktop.View(WindowId::FrmSysAbout);
  ASSERT_NE(about, nullptr);
  QStringList texts;
  for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains("Sentrova"));
  EXPECT_TRUE(texts.contains("2.61.0"));
  const QString all = texts.join(' ');
  QFile licence(QStringLiteral(SENTROVA_LICENSE_FILE));
  ASSERT_TRUE(licence.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString licenceName = QString::fromUtf8(licence.readLine()).section(u' ', 0, 0);  // "MIT License"
  EXPECT_EQ(licenceName, "MIT");
  EXPECT_TRUE(all.contains(licenceName + " licence")) << "the program's licence is the LICENSE file's";
  EXPECT_TRUE(all.contains("Qt is used under the GNU LGPL version 3"));
  EXPECT_FALSE(all.contains("prosecuted")) << "no warning that contradicts the licence";
  auto* aboutQt = about->findChild<QPushButton*>(QStringLiteral("AboutQt"));
  ASSERT_NE(aboutQt, nullptr);
  EXPECT_TRUE(aboutQt->isVisible());
  EXPECT_TRUE(about->isWindow());
  EXPECT_EQ(about->parentWidget(), desktop.Main()) << "the box belongs to the main window";
}

TEST_F(DesktopTest, AModalShowReturnsOnceTheWindowIsHidden) {
  StartWith({});
  bool sawModalDialog = false;
  QTimer::singleShot(0, [&] {
    desktop::WindowView* dialog = desktop.View(WindowId::frmchackIDPWD);
    sawModalDialog = dialog != nullptr && dialog->isVisible() && dialog->windowModality() == Qt::ApplicationModal;
    QTest::keyClicks(Find<QLineEdit>(WindowId::frmchackIDPWD, "Text1"), "root");
    Click(WindowId::frmchackIDPWD, "CmdCancel");
  });
  bool returned = false;
  desktop.Dispatch([&] {
    Show(*program, program->chackIDPWD, true);
    returned = true;
  });
  EXPECT_TRUE(sawModalDialog);
  EXPECT_TRUE(returned);
  ASSERT_NE(program->chackIDPWD, nullptr);
  EXPECT_TRUE(program->chackIDPWD->LoginCancelled);
  EXPECT_EQ(U8(program->chackIDPWD->Text1.text), "root");
  EXPECT_FALSE(Shown(WindowId::frmchackIDPWD));
}

TEST_F(DesktopTest, AModalShowReturnsOnceTheWindowIsUnloaded) {
  StartWith({});
  QTimer::singleShot(0, [&] { desktop.Dispatch([&] { Unload(*program, program->chackIDPWD); }); });
  desktop.Dispatch([&] { Show(*program, program->chackIDPWD, true); });
  EXPECT_EQ(program->chackIDPWD, nullptr);
  EXPECT_EQ(desktop.View(WindowId::frmchackIDPWD), nullptr);
}

// A click that reaches a button by the event queue, as the window system's
// input does.
void PostClick(QWidget& target) {
  const QPointF centre = QRectF(target.rect()).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(
        &target, new QMouseEvent(type, centre, target.mapToGlobal(centre), Qt::LeftButton,
                                 type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
  }
}

TEST(DesktopSleep, BlocksForTheTimeKeepsTimersRunningAndDropsTheUsersInput) {
  desktop::QtDesktop desktop;
  QPushButton button(QStringLiteral("Restart"));
  button.resize(120, 40);
  button.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });

  // Without a wait the same posted click does reach the button.
  PostClick(button);
  QCoreApplication::processEvents();
  ASSERT_EQ(clicks, 1);

  bool timerRan = false;
  QTimer::singleShot(20, [&] {
    timerRan = true;
    PostClick(button);
  });
  QElapsedTimer clock;
  clock.start();
  desktop.Sleep(300);
  EXPECT_GE(clock.elapsed(), 300);
  EXPECT_TRUE(timerRan) << "the event loop runs during the wait, so the windows keep painting";
  QCoreApplication::processEvents();
  EXPECT_EQ(clicks, 1) << "a click made during the wait is not played afterwards";
}

TEST(WaitProgress, SaysWhatHappensAndTheSecondsLeftAndNeverGoesBack) {
  desktop::WaitProgress progress(31000);
  auto* label = progress.findChild<QLabel*>(QStringLiteral("SecondsLeft"));
  ASSERT_NE(label, nullptr);
  progress.Update(QStringLiteral("Applying settings"), 0);
  EXPECT_EQ(label->text(), "Applying settings — 31 seconds left");
  progress.Update(QStringLiteral("Waiting for the camera"), 30100);
  EXPECT_EQ(label->text(), "Waiting for the camera — 1 second left");
  progress.Update(QStringLiteral("Waiting for the camera"), 6000);
  EXPECT_EQ(progress.Done(), 30100) << "a later update never moves the bar back";
  progress.Update(QStringLiteral("Waiting for the camera"), 99000);
  EXPECT_EQ(progress.Done(), 31000);
  EXPECT_EQ(progress.SecondsLeft(), 0);
}

TEST_F(DesktopTest, AWaitOfFiveSecondsShowsItsProgressAndRemovesItAfterwards) {
  StartWith({});
  QString shownDuringWait;
  QTimer::singleShot(100, [&] {
    if (auto* secondsLeft = desktop.View(WindowId::FrmMain)->findChild<QLabel*>(QStringLiteral("SecondsLeft"))) {
      shownDuringWait = secondsLeft->text();
    }
  });
  desktop.Dispatch([&] { desktop.Sleep(desktop::LongWait); });
  EXPECT_EQ(shownDuringWait, "Please wait — 5 seconds left");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(desktop.View(WindowId::FrmMain)->findChild<QWidget*>(QStringLiteral("WaitProgress")), nullptr);
}

TEST_F(DesktopTest, HourglassOnElevenDefaultOnZero) {
  desktop.SetMousePointer(forms::Hourglass);
  desktop.SetMousePointer(forms::Hourglass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  desktop.SetMousePointer(forms::DefaultPointer);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "one default undoes any number of hourglasses";
}

TEST_F(DesktopTest, BitHelperErrorsReachAMessageBoxWithTheirTitle) {
  desktop.Dispatch([] { modBitOps::dblToLong(std::numeric_limits<double>::quiet_NaN()); });
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(U8(messages[0].title), "dblToLong");
  EXPECT_EQ(U8(messages[0].text).rfind("Error: ", 0), 0U) << U8(messages[0].text);
  EXPECT_EQ(messages[0].icon, forms::MsgIcon::None);
  EXPECT_EQ(messages[0].buttons, forms::MsgButtons::OK);
}

TEST_F(DesktopTest, TheVersionIsTheProjects) {
  const forms::Version version = desktop.ProgramVersion();
  EXPECT_EQ(version.major, 2);
  EXPECT_EQ(version.minor, 61);
  EXPECT_EQ(version.revision, 0);
}

TEST_F(DesktopTest, ExitEndsTheProgramAtOnceAndNothingShowsAfterwards) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  desktop::WindowView* main = desktop.View(WindowId::FrmMain);
  ASSERT_NE(main, nullptr);
  Click(WindowId::FrmMain, "CmdExit");
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(desktop.Ending());
  EXPECT_EQ(desktop.View(WindowId::FrmMain), nullptr);

  bool ran = false;
  desktop.Dispatch([&] { ran = true; });
  EXPECT_FALSE(ran) << "no handler runs once the program ends";
  EXPECT_EQ(desktop.MessageBox(u"late", u"", forms::MsgIcon::Question, forms::MsgButtons::YesNo), forms::MsgAnswer::No);
  EXPECT_TRUE(messages.empty());
  QElapsedTimer clock;
  clock.start();
  desktop.Sleep(60000);
  EXPECT_LT(clock.elapsed(), 30000) << "a wait after the end returns at once";
}

TEST_F(DesktopTest, ClosingAWindowFromItsFrameIsItsOwnWayOut) {
  StartWith({Device(1, u"127.77.0.10", u"CS-200")});
  desktop.Dispatch([&] { Show(*program, program->message); });
  ASSERT_TRUE(Shown(WindowId::FrmMessage));
  desktop.View(WindowId::FrmMessage)->close();
  EXPECT_EQ(program->message, nullptr) << "closing the warning is its No";
  EXPECT_EQ(quits, 0);
  EXPECT_TRUE(Shown(WindowId::FrmMain));

  desktop.Main()->close();
  EXPECT_EQ(quits, 1) << "closing the main window is its Exit";
}

TEST_F(DesktopTest, ClosingAWindowWhileAHandlerWaitsDoesNothing) {
  StartWith({});
  QTimer::singleShot(20, [&] { desktop.Main()->close(); });
  desktop.Dispatch([&] { desktop.Sleep(200); });
  EXPECT_EQ(quits, 0);
  EXPECT_TRUE(Shown(WindowId::FrmMain));
}

// Stands in for the user's browser.
class Browser : public QObject {
  Q_OBJECT
 public:
  QStringList opened;
 public slots:
  void Open(const QUrl& url) { opened << url.toString(); }
};

TEST_F(DesktopTest, TheWebPageOfTheChosenCameraOpensInTheBrowser) {
  Browser browser;
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "Open");
  StartWith({Device(1, u"127.77.0.10", u"CS-200"), Device(2, u"127.77.0.11", u"CS-350")});
  desktop.Dispatch([&] { program->frmMain->List.selectedRow = 1; });
  Click(WindowId::FrmMain, "CmdLink");
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  EXPECT_EQ(browser.opened, QStringList{QStringLiteral("http://127.77.0.11/")});
  EXPECT_TRUE(messages.empty());
}

// The real message box, answered by a user who clicks or presses Escape.
struct MessageBoxCase {
  const char* what;
  desktop::MessageRequest request;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  std::function<void(QMessageBox&)> user;
  forms::MsgAnswer answer;
};

TEST(QtMessageBox, ShowsIconTitleTextAndButtonsAndReturnsTheAnswer) {
  const std::vector<MessageBoxCase> cases = {
      {"refused entry: critical, empty title, OK",
       {u"IPAddress Is Error", u"", forms::MsgIcon::Critical, forms::MsgButtons::OK},
       QMessageBox::Critical,
       QMessageBox::Ok,
       [](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); },
       forms::MsgAnswer::OK},
      {"question answered No",
       {u"Go on?", u"Sentrova", forms::MsgIcon::Question, forms::MsgButtons::YesNo},
       QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No,
       [](QMessageBox& box) { box.button(QMessageBox::No)->click(); },
       forms::MsgAnswer::No},
      {"Escape cancels",
       {u"Careful", u"Sentrova", forms::MsgIcon::Exclamation, forms::MsgButtons::OKCancel},
       QMessageBox::Warning,
       QMessageBox::Ok | QMessageBox::Cancel,
       [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); },
       forms::MsgAnswer::Cancel},
  };
  for (const MessageBoxCase& c : cases) {
    SCOPED_TRACE(c.what);
    QString title = QStringLiteral("not seen");
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer poll;
    WhenMessageBoxShows(poll, [&](QMessageBox& box) {
      title = box.windowTitle();
      text = box.text();
      icon = box.icon();
      buttons = box.standardButtons();
      c.user(box);
    });
    const forms::MsgAnswer answer = desktop::ShowQtMessageBox(c.request);
    EXPECT_EQ(title, QString::fromStdU16String(c.request.title));
    EXPECT_EQ(text, QString::fromStdU16String(c.request.text));
    EXPECT_EQ(icon, c.icon);
    EXPECT_EQ(buttons, c.buttons);
    EXPECT_EQ(answer, c.answer);
  }
}

TEST(QtMessageBox, IsWideEnoughForItsWholeTitle) {
  const desktop::MessageRequest request{u"192.168.0.21\r\n IP conflict !!", u"Sentrova", forms::MsgIcon::Critical,
                                        forms::MsgButtons::OK};
  int width = 0;
  int wanted = 0;
  QTimer poll;
  WhenMessageBoxShows(poll, [&](QMessageBox& box) {
    width = box.width();
    QFont bold = box.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // The title, and an icon and three buttons of a title bar, each two
    // lines wide with its margins.
    wanted = metrics.horizontalAdvance(box.windowTitle()) + 4 * 2 * metrics.height();
    box.button(QMessageBox::Ok)->click();
  });
  desktop::ShowQtMessageBox(request);
  EXPECT_GT(wanted, 0);
  EXPECT_GE(width, wanted);
}

}  // namespace

#include "qt_desktop_test.moc"
