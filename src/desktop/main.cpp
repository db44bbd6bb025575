// sentrova: the setup wizard for network cameras on the LAN.
//
//   sentrova [--interface NAME] [--discovery-port N]
//
// A user runs it without options: it searches on every up, multicast-capable
// IPv4 interface. The options are for the demo and the tests: --interface
// confines every packet to one interface (lo keeps them on 127.0.0.0/8),
// --discovery-port moves the search off the standard port.
//
// The command line is read before any window exists, so --help, --version
// and a wrong command line need no display. A command line it cannot take
// exits 2 (base::ExitUsage); no display exits 1. Once a display is open, a
// start-up error is shown in a message box as well as on stderr.
#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <cstdio>
#include <cstdlib>

#include "base/command_line.h"
#include "desktop/qt_desktop.h"
#include "desktop/startup.h"
#include "device/net_camera_control.h"
#include "device/net_options.h"
#include "device/temporary_address.h"
#include "wizard/program.h"

namespace {

constexpr int ExitNoDisplay = 1;

void PrintError(const QString& message) { std::fprintf(stderr, "sentrova: %s\n", qPrintable(message)); }

int UsageFail(const std::string& problem) {
  std::fprintf(stderr, "%s\n", base::UsageError("sentrova", problem).c_str());
  return base::ExitUsage;
}

// Qt's own options, which QApplication takes out of the command line (the
// platform, the display, the style...): known here so that they are not
// refused before QApplication sees them. --help-all lists them.
struct QtOption {
  const char* name;
  bool takesValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"display", true},         {"name", true},
    {"visual", true},          {"geometry", true},
    {"qwindowgeometry", true}, {"title", true},
    {"qwindowtitle", true},    {"icon", true},
    {"qwindowicon", true},     {"session", true},
    {"style", true},           {"stylesheet", true},
    {"qmljsdebugger", true},   {"reverse", false},
    {"sync", false},           {"nograb", false},
    {"dograb", false},         {"widgetcount", false},
};

void AddQtOptions(QCommandLineParser& parser) {
  for (const QtOption& qt : QtOptions) {
    QCommandLineOption option(QString::fromLatin1(qt.name));
    if (qt.takesValue) option.setValueName(QStringLiteral("VALUE"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

// The help names the program as it was started, which the parser takes from
// an application object: one lives just long enough to print it.
int PrintHelp(int argc, char* argv[], const QCommandLineParser& parser, bool withQtOptions) {
  const QCoreApplication core(argc, argv);
  QString help = parser.helpText();
  if (withQtOptions) {
    help += QStringLiteral("\nQt's own options, taken before the first window:\n");
    for (const QtOption& qt : QtOptions) {
      help += QStringLiteral("  -%1%2\n").arg(QString::fromLatin1(qt.name), qt.takesValue ? u" <VALUE>"_qs : QString());
    }
  }
  std::fputs(qPrintable(help), stdout);
  return 0;
}

// Why no display could be opened, naming what chose it.
QString NoDisplayText(const QString& platformOption) {
  const QString platform = platformOption.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : platformOption;
  if (!platform.isEmpty()) {
    return QStringLiteral("cannot open a display on the platform \"%1\" (QT_QPA_PLATFORM or -platform)").arg(platform);
  }
  const QString display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    return QStringLiteral(
        "no display: DISPLAY is not set; run sentrova in a desktop session, or choose a platform with "
        "QT_QPA_PLATFORM");
  }
  return QStringLiteral("cannot open the display \"%1\" (DISPLAY); check that it runs and may be used").arg(display);
}

// QApplication ends the process with qFatal() (an abort) when it cannot open
// the display. While it starts, that fatal message becomes the program's own
// line on stderr and an ordinary exit.
struct DisplayOpening {
  QString platformOption;
  bool errorPrinted = false;  // a start-up error is on stderr already: only the status is left
  int status = ExitNoDisplay;
};
DisplayOpening* opening = nullptr;

void OnMessageWhileOpening(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    // Qt's details of the failure (which plugin, which display) help, unless
    // the program's own error is on stderr already.
    if (!opening->errorPrinted) std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    return;
  }
  if (!opening->errorPrinted) PrintError(NoDisplayText(opening->platformOption));
  std::fflush(stderr);
  std::_Exit(opening->status);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QStringLiteral("sentrova"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Setup wizard for network cameras on the local network."));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);  // Qt's -platform, -style
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption interfaceOption(
      QStringLiteral("interface"),
      QStringLiteral("Search and talk on this interface (repeat for more; lo alone confines to loopback)."),
      QStringLiteral("NAME"));
  const QCommandLineOption portOption(QStringLiteral("discovery-port"), QStringLiteral("Discovery UDP port."),
                                      QStringLiteral("N"));
  parser.addOptions({interfaceOption, portOption});
  AddQtOptions(parser);
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    return UsageFail(base::ParserProblem(parser.errorText().toStdString(),
                                         unknown.isEmpty() ? std::string() : unknown.first().toStdString()));
  }
  if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
    return PrintHelp(argc, argv, parser, parser.isSet(QStringLiteral("help-all")));
  }
  if (parser.isSet(QStringLiteral("version"))) {
    std::printf("sentrova %s\n", base::Version().c_str());
    return 0;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return UsageFail("unexpected argument '" + parser.positionalArguments().first().toStdString() + "'");
  }

  device::NetOptions options;
  options.interfaceNames = parser.values(interfaceOption);
  QString error;
  if (parser.isSet(portOption)) {
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok);
    if (ok && port >= 1 && port <= 65535) {
      options.port = static_cast<quint16>(port);
    } else {
      error = QStringLiteral("--discovery-port wants 1 to 65535");
    }
  }
  const device::InterfaceChoice choice = device::ChooseInterfaces(options.interfaceNames);
  if (error.isEmpty()) error = choice.error;
  if (!error.isEmpty()) PrintError(error);

  DisplayOpening displayOpening{parser.value(QStringLiteral("platform")), !error.isEmpty(),
                                error.isEmpty() ? ExitNoDisplay : base::ExitUsage};
  opening = &displayOpening;
  const QtMessageHandler previousHandler = qInstallMessageHandler(OnMessageWhileOpening);
  QApplication app(argc, argv);
  qInstallMessageHandler(previousHandler);
  opening = nullptr;
  if (!error.isEmpty()) {
    if (desktop::PlatformShowsWindows()) desktop::ShowStartupError(error);
    return base::ExitUsage;
  }
  QApplication::setQuitOnLastWindowClosed(false);  // only the logic ends the program

  // A temporary address that a killed run left on an interface goes first.
  device::RemoveLeftoverAddresses();
  desktop::InterfaceOffer interfaces = desktop::StartingInterfaces(options.interfaceNames);
  options.interfaceNames = interfaces.chosen;
  device::NetCameraControl cam(options);
  device::NetCameraControl camTemp(options);
  desktop::QtDesktop desktop;
  // After a Restart or an address change the waits end once the camera is back.
  desktop.SetCameraLook(desktop::NetworkCameraLook(options));
  interfaces.apply = [&](const QStringList& names) {
    options.interfaceNames = names;
    cam.SetInterfaces(names);
    camTemp.SetInterfaces(names);
    desktop.SetCameraLook(desktop::NetworkCameraLook(options));
  };
  desktop.SetInterfaceOffer(std::move(interfaces));
  // The list shows each camera as it answers, while the search still runs.
  cam.SetFoundCallback([&desktop](const device::FoundCamera& found) {
    desktop.CameraHeard(found.caption.toStdU16String(), found.mac.toStdU16String(), found.address.toStdU16String(),
                        found.mode.toStdU16String());
  });
  // Cameras that announce themselves join the list between searches.
  cam.SetListChangedCallback([&desktop] { desktop.ListNews(); });
  cam.StartListening();
  int status = 0;
  {
    Program program(desktop, cam, camTemp);
    desktop.Attach(program);
    desktop.Dispatch([&program] { program.Start(); });
    if (!desktop.Ending()) status = QApplication::exec();
    desktop.EndProgram();  // the views let go of the windows before they are freed
  }
  return status;
}
