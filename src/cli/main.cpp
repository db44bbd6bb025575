// sentrova-cli: the device search from a terminal.
//   sentrova-cli search [--interface NAME] [--json] [--timeout MS] [--port N]
// prints the cameras found, one row each (or one JSON array), and exits 0; a
// wrong option or an interface that cannot be used gives a message on stderr
// and a non-zero status.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTextStream>
#include <cstdio>
#include <vector>

#include "device/camera_text.h"
#include "cli/plain_text.h"
#include "device/discovery.h"
#include "device/net_options.h"

namespace {

constexpr int ExitUsage = 2;
constexpr int ExitNetwork = 3;

int Fail(int status, const QString& message) {
  QTextStream(stderr) << "sentrova-cli: " << message << '\n';
  return status;
}

// The columns as the main window shows them, plus what only the search knows.
struct Row {
  QString mac, address, mask, gateway, assigned, mode, caption, version;
};

Row RowOf(const device::FoundCamera& camera) {
  const std::u16string address = camera.address.toStdU16String();
  return Row{QString::fromStdU16String(device::FormatMacText(camera.mac.toStdU16String())),
             camera.address,
             camera.mask,
             camera.gateway,
             device::IsAssignedAddress(address) ? u"ok"_qs : QString(),
             camera.mode,
             camera.caption,
             camera.version};
}

void PrintJson(const std::vector<Row>& rows) {
  QJsonArray array;
  for (const Row& row : rows) {
    array.append(QJsonObject{{u"mac"_qs, row.mac},
                             {u"address"_qs, row.address},
                             {u"mask"_qs, row.mask},
                             {u"gateway"_qs, row.gateway},
                             {u"assigned"_qs, row.assigned},
                             {u"mode"_qs, row.mode},
                             {u"caption"_qs, row.caption},
                             {u"version"_qs, row.version}});
  }
  QTextStream(stdout) << QJsonDocument(array).toJson(QJsonDocument::Indented);
}

void PrintTable(const std::vector<Row>& rows) {
  std::vector<QStringList> lines{{u"MAC"_qs, u"ADDRESS"_qs, u"MASK"_qs, u"GATEWAY"_qs, u"ASSIGNED"_qs, u"MODE"_qs,
                                  u"CAPTION"_qs, u"VERSION"_qs}};
  for (const Row& row : rows) {
    lines.push_back({row.mac, row.address, row.mask, row.gateway, row.assigned, PlainText(row.mode),
                     PlainText(row.caption), PlainText(row.version)});
  }
  std::vector<qsizetype> widths(lines.front().size(), 0);
  for (const QStringList& line : lines) {
    for (qsizetype i = 0; i < line.size(); ++i) widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], line[i].size());
  }
  QTextStream out(stdout);
  for (const QStringList& line : lines) {
    QString text;
    for (qsizetype i = 0; i < line.size(); ++i) {
      text += i + 1 < line.size() ? line[i].leftJustified(widths[static_cast<size_t>(i)] + 2) : line[i];
    }
    out << text.trimmed() << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(u"sentrova-cli"_qs);
  QCommandLineParser parser;
  parser.setApplicationDescription(u"Finds the Sentrova cameras on the network.\n\nCommand: search"_qs);
  parser.addHelpOption();
  parser.addPositionalArgument(u"command"_qs, u"search"_qs);
  const QCommandLineOption interfaceOption(u"interface"_qs, u"Search on this interface only (e.g. lo)."_qs,
                                           u"NAME"_qs);
  const QCommandLineOption jsonOption(u"json"_qs, u"Print one JSON array."_qs);
  const QCommandLineOption timeoutOption(u"timeout"_qs, u"End the search after MS at the latest."_qs, u"MS"_qs);
  const QCommandLineOption portOption(u"port"_qs, u"Discovery UDP port."_qs, u"N"_qs);
  const QCommandLineOption verboseOption(u"verbose"_qs, u"Log what the search drops."_qs);
  parser.addOptions({interfaceOption, jsonOption, timeoutOption, portOption, verboseOption});
  if (!parser.parse(QCoreApplication::arguments())) return Fail(ExitUsage, parser.errorText());
  if (parser.isSet(u"help"_qs)) {
    QTextStream(stdout) << parser.helpText();
    return 0;
  }
  if (parser.positionalArguments() != QStringList{u"search"_qs}) {
    return Fail(ExitUsage, u"usage: sentrova-cli search [--interface NAME] [--json] [--timeout MS] [--port N]"_qs);
  }
  if (!parser.isSet(verboseOption)) QLoggingCategory::setFilterRules(u"sentrova.device.*.info=false"_qs);

  device::NetOptions options;
  options.interfaceName = parser.value(interfaceOption);
  if (parser.isSet(timeoutOption)) {
    bool ok = false;
    const int timeout = parser.value(timeoutOption).toInt(&ok);
    if (!ok || timeout < 1 || timeout > 600000) return Fail(ExitUsage, u"--timeout wants 1 to 600000 ms"_qs);
    options.searchCap = std::chrono::milliseconds(timeout);
  }
  if (parser.isSet(portOption)) {
    bool ok = false;
    const int port = parser.value(portOption).toInt(&ok);
    if (!ok || port < 1 || port > 65535) return Fail(ExitUsage, u"--port wants 1 to 65535"_qs);
    options.port = static_cast<quint16>(port);
  }

  const device::InterfaceChoice choice = device::ChooseInterfaces(options.interfaceName);
  if (!choice.error.isEmpty()) return Fail(ExitNetwork, choice.error);
  if (choice.interfaces.empty()) return Fail(ExitNetwork, u"no up, multicast-capable IPv4 interface"_qs);

  const device::SearchOutcome outcome = device::SearchCameras(options, choice, {});
  if (!outcome.error.isEmpty()) return Fail(ExitNetwork, outcome.error);
  std::vector<Row> rows;
  for (const device::FoundCamera& camera : outcome.cameras) rows.push_back(RowOf(camera));
  if (parser.isSet(jsonOption)) {
    PrintJson(rows);
  } else {
    PrintTable(rows);
  }
  return 0;
}
