// sentrova-camd: plays a fleet of network cameras for the demo, the tests
// and the benchmarks. Stops cleanly on SIGINT or SIGTERM.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "base/command_line.h"
#include "camd/camera.h"
#include "camd/discovery.h"
#include "camd/onvif_discovery.h"
#include "camd/onvif_service.h"
#include "camd/settings.h"
#include "camd/settings_store.h"
#include "camd/sim_log.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

// One socket pair per camera: a fleet of thousands needs more descriptors
// than the usual soft limit.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// The command line cannot be taken: exits base::ExitUsage. A fleet that cannot
// start (a socket, the log, a saved settings file) exits 1.
constexpr int ExitCannotRun = 1;

int Fail(const QString& message, int status = base::ExitUsage) {
  std::fprintf(stderr, "sentrova-camd: %s\n", qPrintable(message));
  return status;
}

int UsageFail(const std::string& problem) {
  std::fprintf(stderr, "%s\n", base::UsageError("sentrova-camd", problem).c_str());
  return base::ExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("sentrova-camd");
  // A signal that arrives while the fleet starts waits in the pipe.
  if (pipe(signalPipe) != 0) return Fail("cannot create the signal pipe", ExitCannotRun);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Plays a fleet of network cameras: discovery answers, the setup HTTP API and the MAC-addressed commands.");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption fleetOption("fleet", "The fleet file (JSON).", "FILE");
  const QCommandLineOption countOption("count", "Generate N cameras instead of reading a fleet file.", "N");
  const QCommandLineOption firstOption("first-address", "First address of a generated fleet.", "ADDRESS",
                                       "127.77.0.10");
  const QCommandLineOption interfaceOption("interface", "Network interface of the cameras.", "NAME", "lo");
  const QCommandLineOption portOption("discovery-port", "Discovery UDP port.", "PORT",
                                      QString::number(protocol::DefaultPort));
  const QCommandLineOption groupOption("group", "Discovery multicast group.", "ADDRESS",
                                       QString::fromLatin1(protocol::DefaultGroup));
  const QCommandLineOption stateOption("state-dir", "Folder of the cameras' settings files (none: in memory).", "DIR");
  const QCommandLineOption restartOption("restart-ms", "How long a restarting camera stays silent.", "MS", "3000");
  const QCommandLineOption spreadOption("answer-spread-ms", "Discovery answers spread over 0..MS.", "MS", "100");
  const QCommandLineOption dropOption("drop-share", "Share of datagrams every camera loses (0-1), in and out.", "SHARE",
                                      "0");
  const QCommandLineOption idleOption("idle-ms", "Setup connections without a complete request are closed after MS.",
                                      "MS", "5000");
  const QCommandLineOption onvifPortOption("onvif-discovery-port", "WS-Discovery UDP port.", "PORT",
                                           QString::number(protocol::OnvifPort));
  const QCommandLineOption protocolsOption("protocols", "Protocols of a generated fleet: sentrova, onvif or both.",
                                           "LIST", "sentrova");
  const QCommandLineOption logOption("log", "Log file (default: stderr).", "FILE");
  parser.addOptions({fleetOption, countOption, firstOption, interfaceOption, portOption, groupOption, stateOption,
                     restartOption, spreadOption, dropOption, idleOption, onvifPortOption, protocolsOption, logOption});
  if (!parser.parse(QCoreApplication::arguments())) {
    const QStringList unknown = parser.unknownOptionNames();
    return UsageFail(base::ParserProblem(parser.errorText().toStdString(),
                                         unknown.isEmpty() ? std::string() : unknown.first().toStdString()));
  }
  // Qt's own options as well; the parser prints them and exits 0.
  if (parser.isSet(QStringLiteral("help-all"))) parser.process(QCoreApplication::arguments());
  if (parser.isSet("help")) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }
  if (parser.isSet("version")) {
    std::printf("sentrova-camd %s\n", base::Version().c_str());
    return 0;
  }
  if (!parser.positionalArguments().isEmpty())
    return UsageFail("unexpected argument '" + parser.positionalArguments().first().toStdString() + "'");

  if (parser.isSet(fleetOption) == parser.isSet(countOption)) return Fail("give either --fleet FILE or --count N");

  camd::SimOptions options;
  options.interface = QNetworkInterface::interfaceFromName(parser.value(interfaceOption));
  if (!options.interface.isValid() || !(options.interface.flags() & QNetworkInterface::IsUp))
    return Fail(QStringLiteral("interface %1 is unknown or down").arg(parser.value(interfaceOption)));
  options.loopbackOnly = options.interface.flags() & QNetworkInterface::IsLoopBack;
  options.group = QHostAddress(parser.value(groupOption));
  if (!options.group.isMulticast() || options.group.protocol() != QAbstractSocket::IPv4Protocol)
    return Fail("--group must be an IPv4 multicast address");
  bool ok = false;
  const uint port = parser.value(portOption).toUInt(&ok);
  if (!ok || port == 0 || port > 65535) return Fail("--discovery-port must be 1-65535");
  options.discoveryPort = static_cast<quint16>(port);
  const uint onvifPort = parser.value(onvifPortOption).toUInt(&ok);
  if (!ok || onvifPort == 0 || onvifPort > 65535) return Fail("--onvif-discovery-port must be 1-65535");
  options.onvifDiscoveryPort = static_cast<quint16>(onvifPort);
  options.restartMs = parser.value(restartOption).toInt(&ok);
  if (!ok || options.restartMs < 0 || options.restartMs > 600000) return Fail("--restart-ms must be 0-600000");
  options.answerSpreadMs = parser.value(spreadOption).toInt(&ok);
  if (!ok || options.answerSpreadMs < 0 || options.answerSpreadMs > 10000)
    return Fail("--answer-spread-ms must be 0-10000");
  options.idleMs = parser.value(idleOption).toInt(&ok);
  if (!ok || options.idleMs < 100 || options.idleMs > 600000) return Fail("--idle-ms must be 100-600000");
  const double drop = parser.value(dropOption).toDouble(&ok);
  if (!ok || drop < 0 || drop > 1) return Fail("--drop-share must be 0-1");

  QString error;
  std::optional<std::vector<camd::CameraProfile>> fleet;
  if (parser.isSet(fleetOption)) {
    QFile file(parser.value(fleetOption));
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64{16} * 1024 * 1024)
      return Fail(file.fileName() + ": cannot be read or too large");
    fleet = camd::ParseFleet(file.readAll(), options.loopbackOnly, error);
  } else {
    const int count = parser.value(countOption).toInt(&ok);
    fleet = ok ? camd::GenerateFleet(count, parser.value(firstOption), options.loopbackOnly, error) : std::nullopt;
    if (!ok) error = "--count must be a number";
    const QStringList protocols = parser.value(protocolsOption).split(u',');
    const bool sentrova = protocols.contains("sentrova"), onvif = protocols.contains("onvif");
    if (protocols.size() != int{sentrova} + int{onvif} || protocols.isEmpty())
      return Fail("--protocols must be sentrova, onvif or sentrova,onvif");
    if (fleet) {
      for (camd::CameraProfile& profile : *fleet) {
        profile.sentrova = sentrova;
        profile.onvif = onvif;
      }
    }
  }
  if (!fleet) return Fail(error);

  camd::SimLog log;
  if (!log.Open(parser.value(logOption), error)) return Fail(error, ExitCannotRun);
  RaiseDescriptorLimit();

  const camd::SettingsStore store(parser.value(stateOption));
  std::mt19937 random(std::random_device{}());
  camd::AnswerScheduler answers(log);
  camd::DiscoveryReceiver receiver(options, log, answers);
  if (!receiver.Open(error)) return Fail(error, ExitCannotRun);

  // WS-Discovery listens only when the fleet has an ONVIF camera.
  camd::OnvifDiscovery onvifDiscovery(options, log, random, answers);
  if (std::any_of(fleet->begin(), fleet->end(), [](const camd::CameraProfile& p) { return p.onvif; }) &&
      !onvifDiscovery.Open(error))
    return Fail(error, ExitCannotRun);
  if (std::any_of(fleet->begin(), fleet->end(), [](const camd::CameraProfile& p) { return p.ipv6LinkLocal; }) &&
      !onvifDiscovery.OpenIPv6(error))
    return Fail(error, ExitCannotRun);

  std::vector<std::unique_ptr<camd::Camera>> cameras;
  for (camd::CameraProfile& profile : *fleet) {
    if (drop > 0) profile.faults.dropShare = drop;
    // A camera keeps what it saved across a restart of the simulator.
    QJsonObject settings = profile.settings;
    if (auto saved = store.Load(profile.mac, error)) {
      if (!camd::ValidateWholeSettings(*saved, camd::SettingsContext{profile.wireless, options.loopbackOnly}, error))
        return Fail(store.PathFor(profile.mac) + ": " + error, ExitCannotRun);
      settings = *saved;
    } else if (!error.isEmpty()) {
      return Fail(error, ExitCannotRun);
    }
    const QJsonArray onvifUsers = store.LoadOnvifUsers(profile.mac);
    if (!camd::ValidOnvifUsers(onvifUsers, error))
      return Fail(store.PathFor(profile.mac) + ": " + error, ExitCannotRun);
    cameras.push_back(
        std::make_unique<camd::Camera>(profile, settings, options, store, log, random, answers, onvifUsers));
    receiver.AddCamera(cameras.back().get());
    onvifDiscovery.AddCamera(cameras.back().get());
  }
  for (auto& camera : cameras) camera->Start();

  QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
    log.Line("sim stopping");
    onvifDiscovery.ByeAll();
    QCoreApplication::quit();
  });

  log.Line(QStringLiteral("sim ready cameras=%1 interface=%2 group=%3 port=%4")
               .arg(cameras.size())
               .arg(options.interface.name(), options.group.toString())
               .arg(options.discoveryPort));
  return app.exec();
}
