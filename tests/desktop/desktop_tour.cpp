// desktop_tour: the real windows with fake cameras, brought to one state at
// a time, for the screenshots and the window-manager smoke test.
//
//   desktop_tour STATE [--dark] [--large-font] [--cameras N] [--shot FILE.png]
//
// Once STATE is on screen it prints one line,
//   ready X Y W H FRONT BX BY MAIN
// the screen area of every window shown, the X window id of the window in
// front, the centre of its default button (0 0 when it has none) and the X
// window id of the main window (0 when there is none), and runs until it is
// killed. With --shot it first saves that area of the
// screen, window manager's frames included, as a PNG in the screen's own
// pixels. An unknown STATE lists the states.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "desktop/qt_desktop.h"
#include "support/event_log.h"
#include "support/fake_camera.h"
#include "wizard/frm_main.h"
#include "wizard/program.h"

namespace {

using forms::WindowId;

constexpr int32_t WirelessType = 1 << 29;

std::vector<FakeCameraDevice> Fleet() {
  return {
      {u"0.64.140.18.52.86", u"192.168.0.20", u"CS-200", u"Front door", u"v2.0.91", u"255.255.255.0", u"192.168.0.1"},
      {u"0.64.140.18.52.87", u"192.168.0.21", u"CS-350", u"Garage", u"v2.0.91", u"255.255.255.0", u"192.168.0.1"},
      {u"0.64.140.18.52.88", u"192.168.0.22", u"CW-200", u"Garden (wireless)", u"v2.0.91", u"255.255.255.0",
       u"192.168.0.1"},
      {u"0.64.140.18.52.89", u"192.168.0.30", u"CS-200", u"Warehouse", u"v1.0.001", u"255.255.255.0", u"192.168.0.1"},
      {u"0.64.140.18.52.90", u"192.168.1.99", u"CS-200", u"Shop entrance", u"v2.0.91", u"255.255.255.0",
       u"192.168.1.1"},
  };
}

// A fleet of count cameras of both families and ONVIF, for a long list.
std::vector<FakeCameraDevice> LargeFleet(int count) {
  static const char16_t* const modes[] = {u"CS-200", u"CS-350", u"ONVIF"};
  std::vector<FakeCameraDevice> fleet;
  for (int n = 0; n < count; ++n) {
    const auto part = [](int value) { return QString::number(value).toStdU16String(); };
    fleet.push_back({u"0.64.140.18." + part(n / 256) + u"." + part(n % 256),
                     u"10.1." + part(n / 250) + u"." + part(n % 250 + 1), modes[n % 3], u"Camera " + part(n + 1),
                     u"v2.0.91", u"255.255.0.0", u"10.1.0.1"});
  }
  return fleet;
}

// The fleet with the notes of the Network column: an ONVIF camera on a
// subnet that is not the computer's, one that announced itself, one added
// by its address, one that said Bye.
constexpr int32_t OutsideRow = 5;
void AddNetworkRows(FakeCamera& cam) {
  cam.devices.push_back(
      {u"0.18.52.86.120.10", u"10.9.0.10", u"ONVIF", u"Loading dock", u"", u"255.255.255.0", u"10.9.0.1"});
  cam.devices.push_back(
      {u"0.64.140.18.52.91", u"192.0.2.31", u"CS-350", u"Lobby", u"v2.0.91", u"255.255.255.0", u"192.0.2.1"});
  cam.devices.push_back(
      {u"0.18.52.86.120.11", u"198.51.100.20", u"ONVIF", u"Branch office", u"", u"255.255.255.0", u"198.51.100.1"});
  cam.devices.push_back(
      {u"0.64.140.18.52.92", u"192.0.2.40", u"CS-200", u"Old gate", u"v2.0.91", u"255.255.255.0", u"192.0.2.1"});
  cam.notes = {{OutsideRow, u"other network, announced"},
               {OutsideRow + 1, u"announced"},
               {OutsideRow + 2, u"added by address"},
               {OutsideRow + 3, u"gone (said Bye)"}};
  cam.networks = {{OutsideRow, u"192.0.2.1/24 on eth0"}};
  cam.outside = {OutsideRow};
  cam.offer = {u"10.9.0.254", 24, u"eth0", true};
}

// Hears its cameras one at a time while its search runs, pauseMs apart, as
// the network's answers come in; at once when pauseMs is 0.
class ArrivingCamera : public FakeCamera {
 public:
  using FakeCamera::FakeCamera;
  std::function<void(const FakeCameraDevice&)> onFound;
  int pauseMs = 0;
  void Search() override {
    for (const FakeCameraDevice& camera : pauseMs > 0 ? devices : std::vector<FakeCameraDevice>{}) {
      onFound(camera);
      QEventLoop pause;
      QTimer::singleShot(pauseMs, &pause, &QEventLoop::quit);
      pause.exec(QEventLoop::ExcludeUserInputEvents);
    }
    FakeCamera::Search();
  }
};

class Tour {
 public:
  Tour() : program_(desktop_, cam_, camTemp_) {
    desktop_.Attach(program_);
    cam_.devices = Fleet();
    cam_.onFound = [this](const FakeCameraDevice& camera) {
      desktop_.CameraHeard(camera.caption, camera.mac, camera.address, camera.mode);
    };
    camTemp_.texts = {{u"SysAdminID", u"admin"},
                      {u"SysAdminPassword", u"1234"},
                      {u"WlanESSID", u"HomeNet"},
                      {u"WlanWEPKey", u"abcde"}};
    camTemp_.numbers = {{u"DeviceType", 0}, {u"WlanMode", 0}, {u"WlanChannel", 6}, {u"WlanWEPFlag", 1}};
  }

  void UseFleet(std::vector<FakeCameraDevice> fleet) { cam_.devices = std::move(fleet); }

  // Brings the program to the state; false for an unknown one.
  bool Go(const std::string& state, int& readyAfter) {
    const std::map<std::string, std::function<void()>> states = {
        {"main", [] {}},
        {"main-empty", [this] { Search({}); }},
        {"main-searching",
         [this, &readyAfter] {
           cam_.pauseMs = 1500;
           readyAfter = 3800;  // three cameras have answered
           Later([this] { Press(WindowId::FrmMain, "Command1"); });
         }},
        {"about", [this] { Press(WindowId::FrmMain, "CmdAbout"); }},
        {"admin", [this] { Launch(0); }},
        {"admin-filled",
         [this] {
           Launch(0);
           FillAdmin();
           Tick(WindowId::FrmSetPassword, "ChkPassword");
           Type(WindowId::FrmSetPassword, "TxtNewPassword", "s3cret");
           Type(WindowId::FrmSetPassword, "TxtReconfirm", "s3cret");
         }},
        {"ip", [this] { ToAddressPage(0); }},
        {"ip-conflict",
         [this] {
           cam_.devices[1].address = u"192.168.0.40";
           camTemp_.addressInUse = {-1};
           ToAddressPage(0);
           Type(WindowId::FrmSetIPAddress, "TxtIPAddress", "192.168.0.21");
           Later([this] { Press(WindowId::FrmSetIPAddress, "CmdNext"); });
         }},
        {"wireless", [this] { ToWireless(); }},
        {"wireless-new-key",
         [this] {
           ToWireless();
           Tick(WindowId::FrmWireless, "CheckEWK");
           Type(WindowId::FrmWireless, "txtNewWlanWEPKey", "12345");
           Type(WindowId::FrmWireless, "txtWlanWEPKeyConfirm", "12345");
         }},
        {"wireless-summary",
         [this] {
           ToWireless();
           Press(WindowId::FrmWireless, "CmdNext");
         }},
        {"wired-summary",
         [this] {
           ToAddressPage(0);
           Press(WindowId::FrmSetIPAddress, "CmdNext");
         }},
        {"restart-wait",
         [this, &readyAfter] {
           ToAddressPage(0);
           Type(WindowId::FrmSetIPAddress, "TxtIPAddress", "192.168.0.60");
           Press(WindowId::FrmSetIPAddress, "CmdNext");
           readyAfter = 7000;  // mid-way through the 16 s
           Later([this] { Press(WindowId::FrmsetLanEnd, "CmdRestart"); });
         }},
        {"login",
         [this] {
           Choose(1);
           Later([this] { Press(WindowId::FrmMain, "CmdWizard"); });
         }},
        {"password-error",
         [this] {
           Choose(1);
           camTemp_.loginStates = {device::LoginNeeded};  // the camera asks for a login and refuses it
           camTemp_.loginResults = {device::LoginNeeded};
           Later([this] { Press(WindowId::FrmMain, "CmdWizard"); });
           Later(
               [this] {
                 Type(WindowId::frmchackIDPWD, "Text1", "admin");
                 Type(WindowId::frmchackIDPWD, "TxtPassWord", "wrong");
                 Press(WindowId::frmchackIDPWD, "CmdYes");
               },
               300);
         }},
        {"warning", [this] { ToWarning(); }},
        {"change-address", [this] { ToChangeAddress(); }},
        {"change-address-conflict",
         [this] {
           ToChangeAddress();
           camTemp_.addressInUse = {-1};
         }},
        {"change-address-conflict-box",
         [this] {
           ToChangeAddress();
           camTemp_.addressInUse = {-1};
           Later([this] { Press(WindowId::FrmChangeIPAddress, "CmdOk"); });
         }},
        {"main-network",
         [this, &readyAfter] {
           readyAfter = 1500;  // the tooltip is up
           shotTakesTip_ = true;
           Later([this] { ShowRowTip(OutsideRow); }, 700);
         }},
        {"interfaces-menu", [this] { OpenMenu("InterfacesMenu"); }},
        {"cameras-menu", [this] { OpenMenu("CamerasMenu"); }},
        {"add-by-address", [this] { AddByAddress(""); }},
        {"add-by-address-invalid", [this] { AddByAddress("192.0.2.300"); }},
        {"outside-camera", [this] { Later([this] { Launch(OutsideRow); }); }},
    };
    const auto found = states.find(state);
    if (found == states.end()) {
      for (const auto& [name, go] : states) std::printf("%s\n", name.c_str());
      return false;
    }
    if (state.rfind("main-network", 0) == 0 || state.rfind("outside", 0) == 0) AddNetworkRows(cam_);
    // The menu as it is offered when no interface was chosen.
    desktop_.SetInterfaceOffer({});
    desktop_.Dispatch([this] { program_.Start(); });
    found->second();
    return true;
  }

  desktop::QtDesktop& Desktop() { return desktop_; }
  // The picture takes in a tooltip the state brings up.
  bool ShotTakesTip() const { return shotTakesTip_; }

 private:
  template <class W = QWidget>
  W* Find(WindowId id, const char* name) {
    desktop::WindowView* view = desktop_.View(id);
    return view == nullptr ? nullptr : view->findChild<W*>(QString::fromLatin1(name));
  }
  void Press(WindowId id, const char* name) {
    if (auto* button = Find<QPushButton>(id, name)) button->click();
  }
  void Tick(WindowId id, const char* name) {
    if (auto* box = Find<QCheckBox>(id, name)) box->click();
  }
  void Type(WindowId id, const char* name, const char* text) {
    if (auto* field = Find<QLineEdit>(id, name)) {
      field->setFocus();
      field->selectAll();
      QTest::keyClicks(field, QString::fromUtf8(text));
    }
  }
  // For steps that open a modal window or message box: they run from the
  // event loop, so the tour goes on.
  static void Later(std::function<void()> step, int milliseconds = 0) { QTimer::singleShot(milliseconds, step); }
  // The list's own tooltip over the row, as a resting mouse brings it up.
  void ShowRowTip(int row) {
    auto* list = Find<QAbstractItemView>(WindowId::FrmMain, "List");
    if (list == nullptr) return;
    const QModelIndex cell = list->model()->index(row, 4);
    list->scrollTo(cell);
    const QPoint at = list->visualRect(cell).center();
    QHelpEvent hover(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &hover);
  }
  // Opened as a click on the menu bar opens it.
  void OpenMenu(const char* name) {
    Later(
        [this, name] {
          if (auto* menu = desktop_.Main()->menuBar()->findChild<QMenu*>(QString::fromLatin1(name))) {
            desktop_.Main()->menuBar()->setActiveAction(menu->menuAction());
          }
        },
        300);
  }
  void AddByAddress(const char* text) {
    Later([this] { desktop_.Main()->findChild<QAction*>(QStringLiteral("AddByAddress"))->trigger(); });
    Later(
        [text] {
          QWidget* dialog = QApplication::activeModalWidget();
          auto* field = dialog == nullptr ? nullptr : dialog->findChild<QLineEdit*>(QStringLiteral("CameraAddress"));
          if (field != nullptr && *text != '\0') QTest::keyClicks(field, QString::fromUtf8(text));
        },
        300);
  }
  void Search(std::vector<FakeCameraDevice> devices) {
    cam_.devices = std::move(devices);
    Press(WindowId::FrmMain, "Command1");
  }
  void Choose(int row) {
    desktop_.Dispatch([this, row] {
      program_.frmMain->List.selectedRow = row;
      program_.frmMain->List_Event9();
    });
  }
  void Launch(int row) {
    Choose(row);
    Press(WindowId::FrmMain, "CmdWizard");
  }
  void FillAdmin() {
    Type(WindowId::FrmSetPassword, "TxtOldSysAdminID", "admin");
    Type(WindowId::FrmSetPassword, "TxtOldPassword", "1234");
  }
  void ToAddressPage(int row) {
    Launch(row);
    FillAdmin();
    Press(WindowId::FrmSetPassword, "CmdNext");
  }
  void ToWireless() {
    camTemp_.numbers[u"DeviceType"] = WirelessType;
    ToAddressPage(2);
    Press(WindowId::FrmSetIPAddress, "CmdNext");
  }
  void ToWarning() {
    camTemp_.connectResult = 0;
    Launch(4);
  }
  void ToChangeAddress() {
    ToWarning();
    Press(WindowId::FrmMessage, "CmdYes");
    Type(WindowId::FrmChackPassWord, "Text1", "admin");
    Type(WindowId::FrmChackPassWord, "TxtPassWord", "1234");
    Press(WindowId::FrmChackPassWord, "CmdYes");
    Type(WindowId::FrmChangeIPAddress, "Text1", "192.168.0.21");
  }

  bool shotTakesTip_ = false;
  EventLog log_;
  ArrivingCamera cam_{"cam", log_};
  FakeCamera camTemp_{"CamTemp", log_};
  desktop::QtDesktop desktop_;
  Program program_;
};

void UseDarkPalette() {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 32));
  dark.setColor(QPalette::AlternateBase, QColor(50, 50, 54));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(60, 60, 64));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(60, 120, 200));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
  dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
  dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
  QApplication::setPalette(dark);
}

// The windows shown, the one in front and its default button; the picture
// of them when shot names a file.
bool ReportReady(desktop::QtDesktop& desktop, const QString& shot, bool withTip) {
  QRect area;
  QWidget* front = QApplication::activeModalWidget();
  if (front == nullptr) front = QApplication::activeWindow();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && (withTip || window->windowType() != Qt::ToolTip))
      area = area.united(window->frameGeometry());
  }
  if (front == nullptr) front = desktop.Owner();
  QPoint button;
  if (auto* view = qobject_cast<desktop::WindowView*>(front); view != nullptr && view->DefaultButton() != nullptr) {
    button = view->DefaultButton()->mapToGlobal(view->DefaultButton()->rect().center());
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!shot.isEmpty()) {
    // The whole screen's window (0) holds the frames the window manager drew.
    const QPixmap picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (picture.isNull() || !picture.save(shot, "PNG")) {
      std::fprintf(stderr, "desktop_tour: cannot save %s\n", qPrintable(shot));
      return false;
    }
  }
  // In the screen's own pixels, as X and its tools count them.
  const qreal ratio = screen->devicePixelRatio();
  const QRect pixels(QPoint(qRound(area.x() * ratio), qRound(area.y() * ratio)),
                     QSize(qRound(area.width() * ratio), qRound(area.height() * ratio)));
  auto windowId = [](QWidget* window) {
    return window != nullptr ? static_cast<unsigned long long>(window->winId()) : 0ULL;
  };
  std::printf("ready %d %d %d %d %llu %d %d %llu\n", pixels.x(), pixels.y(), pixels.width(), pixels.height(),
              windowId(front), qRound(button.x() * ratio), qRound(button.y() * ratio), windowId(desktop.Main()));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Every tour starts from the windows' own sizes, and leaves the user's
  // remembered ones alone.
  const QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("sentrova"));
  QApplication::setQuitOnLastWindowClosed(false);
  const QStringList arguments = QApplication::arguments();
  if (arguments.contains(QStringLiteral("--dark"))) UseDarkPalette();
  if (arguments.contains(QStringLiteral("--large-font"))) {
    QFont large = QApplication::font();
    large.setPointSize(13);
    QApplication::setFont(large);
  }
  const qsizetype shotAt = arguments.indexOf(QStringLiteral("--shot"));
  const QString shot = shotAt > 0 ? arguments.value(shotAt + 1) : QString();
  if (shotAt > 0 && shot.isEmpty()) {
    std::fprintf(stderr, "desktop_tour: --shot wants a file name\n");
    return 2;
  }
  Tour tour;
  if (const qsizetype at = arguments.indexOf(QStringLiteral("--cameras")); at > 0) {
    tour.UseFleet(LargeFleet(arguments.value(at + 1).toInt()));
  }
  int readyAfter = 800;
  if (!tour.Go(arguments.value(1).toStdString(), readyAfter)) return 2;
  QTimer::singleShot(readyAfter, [&tour, &shot] {
    if (!ReportReady(tour.Desktop(), shot, tour.ShotTakesTip())) QCoreApplication::exit(1);
  });
  const int status = QApplication::exec();
  tour.Desktop().EndProgram();
  return status;
}
