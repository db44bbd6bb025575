// sentrova: the setup wizard for network cameras on the LAN.
//
//   sentrova [--interface NAME] [--discovery-port N]
//
// A user runs it without options: it searches on every up, multicast-capable
// IPv4 interface. The options are for the demo and the tests: --interface
// confines every packet to one interface (lo keeps them on 127.0.0.0/8),
// --discovery-port moves the search off the standard port.
#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <cstdio>

#include "wizard/program.h"
#include "desktop/qt_desktop.h"
#include "device/net_camera_control.h"
#include "device/net_options.h"

namespace {

constexpr int ExitUsage = 2;

int Fail(const QString& message) {
  std::fprintf(stderr, "sentrova: %s\n", qPrintable(message));
  return ExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("sentrova"));
  QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                          .arg(SENTROVA_VERSION_MAJOR)
                                          .arg(SENTROVA_VERSION_MINOR)
                                          .arg(SENTROVA_VERSION_PATCH));
  QApplication::setQuitOnLastWindowClosed(false);  // only the logic ends the program

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Setup wizard for network cameras on the local network."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption interfaceOption(QStringLiteral("interface"),
                                           QStringLiteral("Search and talk on this interface only (e.g. lo)."),
                                           QStringLiteral("NAME"));
  const QCommandLineOption portOption(QStringLiteral("discovery-port"), QStringLiteral("Discovery UDP port."),
                                      QStringLiteral("N"));
  parser.addOptions({interfaceOption, portOption});
  parser.process(app);

  device::NetOptions options;
  options.interfaceName = parser.value(interfaceOption);
  if (parser.isSet(portOption)) {
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok);
    if (!ok || port < 1 || port > 65535) return Fail(QStringLiteral("--discovery-port wants 1 to 65535"));
    options.port = static_cast<quint16>(port);
  }
  const device::InterfaceChoice choice = device::ChooseInterfaces(options.interfaceName);
  if (!choice.error.isEmpty()) return Fail(choice.error);

  device::NetCameraControl cam(options);
  device::NetCameraControl camTemp(options);
  desktop::QtDesktop desktop;
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
