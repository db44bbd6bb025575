// sentrova-cli: the device search from a terminal.
//   sentrova-cli search [--interface NAME] [--json] [--timeout MS] [--port N] [--address A[:PORT]]...
// prints the cameras found, one row each (or one JSON array), and exits 0.
//   sentrova-cli listen [--interface NAME] [--json] [--seconds N]
// prints each camera's announcement (Hello, Bye) as it arrives, one line each
// (or one JSON object a line) led by the ms since the start, until N seconds
// have passed (or it is ended).
//
// Each --address is searched for besides the network (a camera multicast
// does not reach); its row says it was added by address.
// A command line it cannot take exits 2 with a message on stderr: an unknown
// command or option, a malformed number, an interface named that cannot be
// used, an --address that is not an IPv4 address or that confinement to
// loopback forbids. A search that cannot run exits 3. More cameras than the list holds
// (4096): the first heard are printed, stderr says how many were left out,
// and it exits 4.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "base/command_line.h"
#include "cli/plain_text.h"
#include "device/announcements.h"
#include "device/address_search.h"
#include "device/camera_text.h"
#include "device/discovery.h"
#include "device/net_options.h"

namespace {

constexpr int ExitNetwork = 3;
constexpr int ExitLeftOut = 4;

// Log lines carry what devices sent (names, endpoints, reasons): on stderr
// they are escaped as the table is.
void LogEscaped(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  QTextStream(stderr) << PlainText(qFormatLogMessage(type, context, message)) << '\n';
}

int Fail(int status, const QString& message) {
  QTextStream(stderr) << "sentrova-cli: " << message << '\n';
  return status;
}

int UsageFail(const QString& problem) {
  // The command line may hold anything, escape sequences among them.
  QTextStream(stderr) << PlainText(QString::fromStdString(base::UsageError("sentrova-cli", problem.toStdString())))
                      << '\n';
  return base::ExitUsage;
}

QString OriginName(device::FoundCamera::Origin origin) {
  switch (origin) {
    case device::FoundCamera::Origin::Announced:
      return u"announced"_qs;
    case device::FoundCamera::Origin::ByAddress:
      return u"address"_qs;
    case device::FoundCamera::Origin::Search:
      break;
  }
  return u"search"_qs;
}

bool IsAssigned(const device::FoundCamera& camera) {
  return device::IsAssignedAddress(camera.address.toStdU16String());
}

// Typed values: the MAC in its colon form, "assigned" a truth value.
void PrintJson(const std::vector<device::FoundCamera>& cameras) {
  QJsonArray array;
  for (const device::FoundCamera& camera : cameras) {
    array.append(
        QJsonObject{{u"mac"_qs, QString::fromStdU16String(device::FormatMacColonText(camera.mac.toStdU16String()))},
                    {u"address"_qs, camera.address},
                    {u"mask"_qs, camera.mask},
                    {u"gateway"_qs, camera.gateway},
                    {u"assigned"_qs, IsAssigned(camera)},
                    {u"mode"_qs, camera.mode},
                    {u"name"_qs, camera.caption},
                    {u"version"_qs, camera.version},
                    {u"interface"_qs, camera.interfaceName},
                    {u"origin"_qs, OriginName(camera.origin)}});
  }
  QTextStream(stdout) << JsonSafeText(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
}

// The columns as the main window shows them, plus what only the search knows.
void PrintTable(const std::vector<device::FoundCamera>& cameras) {
  std::vector<QStringList> lines{{u"MAC"_qs, u"ADDRESS"_qs, u"MASK"_qs, u"GATEWAY"_qs, u"ASSIGNED"_qs, u"MODE"_qs,
                                  u"CAPTION"_qs, u"VERSION"_qs, u"NETWORK"_qs}};
  for (const device::FoundCamera& camera : cameras) {
    lines.push_back({QString::fromStdU16String(device::FormatMacText(camera.mac.toStdU16String())), camera.address,
                     camera.mask, camera.gateway, IsAssigned(camera) ? u"ok"_qs : QString(), PlainText(camera.mode),
                     PlainText(camera.caption), PlainText(camera.version), device::RowNote(camera)});
  }
  std::vector<qsizetype> widths(lines.front().size(), 0);
  for (const QStringList& line : lines) {
    for (qsizetype i = 0; i < line.size(); ++i) {
      widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], DisplayWidth(line[i]));
    }
  }
  QTextStream out(stdout);
  for (const QStringList& line : lines) {
    QString text;
    for (qsizetype i = 0; i < line.size(); ++i) {
      text += line[i];
      if (i + 1 < line.size()) text += QString(widths[static_cast<size_t>(i)] - DisplayWidth(line[i]) + 2, u' ');
    }
    out << text.trimmed() << '\n';
  }
}

// One line per announcement, written at once so that a reader can time it.
int Listen(const device::NetOptions& options, bool json, int seconds) {
  device::AnnouncementListener listener(options);
  QString error;
  if (!listener.Open(error)) return Fail(ExitNetwork, error);
  QElapsedTimer clock;
  clock.start();
  QTextStream out(stdout);
  const auto print = [&](const QString& kind, const device::FoundCamera& camera) {
    if (json) {
      const QJsonObject line{{u"ms"_qs, clock.elapsed()},
                             {u"kind"_qs, kind},
                             {u"endpoint"_qs, camera.endpoint},
                             {u"address"_qs, camera.address},
                             {u"interface"_qs, camera.interfaceName},
                             {u"name"_qs, camera.caption},
                             {u"note"_qs, device::RowNote(camera)}};
      out << JsonSafeText(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact))) << '\n';
    } else {
      QStringList fields{QString::number(clock.elapsed()), kind, PlainText(camera.endpoint),
                         camera.address.isEmpty() ? u"-"_qs : camera.address,
                         camera.interfaceName.isEmpty() ? u"-"_qs : camera.interfaceName};
      if (!camera.caption.isEmpty()) fields << PlainText(camera.caption);
      out << fields.join(u' ') << '\n';
    }
    out.flush();
  };
  listener.onHello = [&](const device::FoundCamera& camera) { print(u"hello"_qs, camera); };
  listener.onBye = [&](const QString& endpoint) {
    device::FoundCamera camera;
    camera.endpoint = endpoint;
    camera.gone = true;
    print(u"bye"_qs, camera);
  };
  if (seconds > 0)
    QTimer::singleShot(std::chrono::seconds(seconds), QCoreApplication::instance(), &QCoreApplication::quit);
  return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qInstallMessageHandler(LogEscaped);
  QCoreApplication::setApplicationName(u"sentrova-cli"_qs);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      u"Finds the cameras on the network: Sentrova's own and ONVIF cameras.\n\n"
      "Commands: search, listen (print the ONVIF cameras' announcements as they arrive)"_qs);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(u"command"_qs, u"search or listen"_qs);
  const QCommandLineOption interfaceOption(
      u"interface"_qs, u"Search on this interface (repeat for more; lo alone confines to loopback)."_qs, u"NAME"_qs);
  const QCommandLineOption jsonOption(u"json"_qs, u"Print one JSON array."_qs);
  const QCommandLineOption timeoutOption(u"timeout"_qs, u"End the search after MS at the latest."_qs, u"MS"_qs);
  const QCommandLineOption portOption(u"port"_qs, u"Discovery UDP port."_qs, u"N"_qs);
  const QCommandLineOption onvifPortOption(u"onvif-port"_qs, u"WS-Discovery UDP port of the ONVIF search (0: none)."_qs,
                                           u"N"_qs);
  const QCommandLineOption verboseOption(u"verbose"_qs, u"Log what the search drops."_qs);
  const QCommandLineOption addressOption(
      u"address"_qs, u"Also search this IPv4 address (PORT: its ONVIF device service's); repeatable."_qs,
      u"A[:PORT]"_qs);
  const QCommandLineOption secondsOption(u"seconds"_qs, u"listen: end after N seconds (default: when ended)."_qs,
                                         u"N"_qs);
  parser.addOptions(
      {interfaceOption, jsonOption, timeoutOption, portOption, onvifPortOption, verboseOption, addressOption, secondsOption});
  if (!parser.parse(QCoreApplication::arguments())) {
    const QStringList unknown = parser.unknownOptionNames();
    return UsageFail(QString::fromStdString(base::ParserProblem(
        parser.errorText().toStdString(), unknown.isEmpty() ? std::string() : unknown.first().toStdString())));
  }
  // Qt's own options as well; the parser prints them and exits 0.
  if (parser.isSet(QStringLiteral("help-all"))) parser.process(QCoreApplication::arguments());
  if (parser.isSet(u"help"_qs)) {
    QTextStream(stdout) << parser.helpText();
    return 0;
  }
  if (parser.isSet(u"version"_qs)) {
    QTextStream(stdout) << "sentrova-cli " << QString::fromStdString(base::Version()) << '\n';
    return 0;
  }
  const QStringList commands = parser.positionalArguments();
  if (commands.isEmpty()) return UsageFail(u"no command given"_qs);
  const bool listen = commands.first() == u"listen";
  if (commands.first() != u"search" && !listen) return UsageFail(u"unknown command '%1'"_qs.arg(commands.first()));
  if (commands.size() > 1) return UsageFail(u"unexpected argument '%1'"_qs.arg(commands[1]));
  if (!parser.isSet(verboseOption)) QLoggingCategory::setFilterRules(u"sentrova.device.*.info=false"_qs);

  device::NetOptions options;
  options.interfaceNames = parser.values(interfaceOption);
  if (parser.isSet(timeoutOption)) {
    bool ok = false;
    const int timeout = parser.value(timeoutOption).toInt(&ok);
    if (!ok || timeout < 1 || timeout > 600000) return Fail(base::ExitUsage, u"--timeout wants 1 to 600000 ms"_qs);
    options.searchCap = std::chrono::milliseconds(timeout);
  }
  if (parser.isSet(portOption)) {
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok);
    if (!ok || port < 1 || port > 65535) return Fail(base::ExitUsage, u"--port wants 1 to 65535"_qs);
    options.port = static_cast<quint16>(port);
  }
  if (parser.isSet(onvifPortOption)) {
    bool ok = false;
    const int port = parser.value(onvifPortOption).toInt(&ok);
    if (!ok || port < 0 || port > 65535) return Fail(base::ExitUsage, u"--onvif-port wants 0 to 65535"_qs);
    options.onvifPort = static_cast<quint16>(port);
  }

  const device::InterfaceChoice choice = device::ChooseInterfaces(options.interfaceNames);
  if (!choice.error.isEmpty()) return Fail(base::ExitUsage, choice.error);
  if (choice.interfaces.empty()) return Fail(ExitNetwork, u"no up, multicast-capable IPv4 interface"_qs);
  if (listen) {
    int seconds = 0;
    if (parser.isSet(secondsOption)) {
      bool ok = false;
      seconds = parser.value(secondsOption).toInt(&ok);
      if (!ok || seconds < 1 || seconds > 86400) return Fail(base::ExitUsage, u"--seconds wants 1 to 86400"_qs);
    }
    return Listen(options, parser.isSet(jsonOption), seconds);
  }
  // Every address is checked before anything is sent.
  const QStringList addresses = parser.values(addressOption);
  for (const QString& address : addresses) {
    const QString refusal = device::RefusedAddress(choice, address);
    if (!refusal.isEmpty()) return Fail(base::ExitUsage, PlainText(refusal));
  }

  device::SearchOutcome outcome = device::SearchCameras(options, choice, {});
  if (!outcome.error.isEmpty()) return Fail(ExitNetwork, outcome.error);
  for (const QString& address : addresses) {
    device::AddressOutcome added = device::SearchAddress(options, choice, address);
    const bool listed =
        added.camera &&
        std::any_of(outcome.cameras.begin(), outcome.cameras.end(), [&](const device::FoundCamera& row) {
          return row.address == added.camera->address && row.family == added.camera->family;
        });
    if (added.camera && !listed) outcome.cameras.push_back(std::move(*added.camera));
    if (!added.error.isEmpty()) QTextStream(stderr) << "sentrova-cli: " << PlainText(added.error) << '\n';
  }
  if (parser.isSet(jsonOption)) {
    PrintJson(outcome.cameras);
  } else {
    PrintTable(outcome.cameras);
  }
  if (outcome.leftOut > 0) {
    return Fail(ExitLeftOut, u"at least %1 more cameras answered than the list holds; the first %2 heard are listed"_qs
                                 .arg(outcome.leftOut)
                                 .arg(options.maxCameras));
  }
  return 0;
}
