#include "camd/fleet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QStringList>

#include "camd/settings.h"
#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr int kMaxCameras = 10000;
constexpr int kMaxFaultMs = 60000;  // the longest delay a fault may add
constexpr qsizetype kMaxIdentityText = protocol::MaxTextUnits;

QString ModeFor(int family) { return family == 2 ? QStringLiteral("X-350") : QStringLiteral("C-100"); }

bool OnlyKnownFields(const QJsonObject& object, const QStringList& known, QString& unknown) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (!known.contains(it.key())) {
      unknown = it.key();
      return false;
    }
  }
  return true;
}

bool IsPlainText(const QString& text) {
  if (text.size() > kMaxIdentityText) return false;
  return !protocol::HasControlCharacter(text);
}

bool ParseProtocols(const QJsonValue& value, CameraProfile& camera, QString& error) {
  if (value.isUndefined()) return true;
  const QJsonArray list = value.toArray();
  camera.sentrova = list.contains(QJsonValue("sentrova"));
  camera.onvif = list.contains(QJsonValue("onvif"));
  if (!value.isArray() || list.isEmpty() || list.size() != int{camera.sentrova} + int{camera.onvif}) {
    error = QStringLiteral("protocols must list \"sentrova\", \"onvif\" or both, once each");
    return false;
  }
  return true;
}

bool ParseFaults(const QJsonValue& value, Faults& faults, QString& error) {
  if (value.isUndefined()) return true;
  const QJsonObject object = value.toObject();
  QString unknown;
  if (!value.isObject() ||
      !OnlyKnownFields(object,
                       {"refuseConnections", "answerDelayMs", "dropShare", "dieDuringApply", "clockSkewSeconds",
                        "rebootNeeded", "digestOnly", "usernameTokenOnly", "refuseOperations", "writesIgnored",
                        "openReads", "refusalAs400", "emptyGateway", "settleMs", "rebootAnswerMs"},
                       unknown)) {
    error = unknown.isEmpty() ? QStringLiteral("faults must be an object") : QStringLiteral("unknown fault ") + unknown;
    return false;
  }
  const double delay = object.value("answerDelayMs").toDouble(0);
  const double drop = object.value("dropShare").toDouble(0);
  if (delay < 0 || delay > kMaxFaultMs || drop < 0 || drop > 1) {
    error = QStringLiteral("answerDelayMs must be 0-60000 and dropShare 0-1");
    return false;
  }
  const std::optional<int> skew = protocol::IntegralNumber(object.value("clockSkewSeconds"));
  if (object.contains("clockSkewSeconds") && (!skew || qAbs(*skew) > 10 * 365 * 86400)) {
    error = QStringLiteral("clockSkewSeconds must be a whole number of seconds within ten years");
    return false;
  }
  faults.clockSkewSeconds = skew.value_or(0);
  for (const auto& [name, field] :
       {std::pair{"settleMs", &Faults::settleMs}, std::pair{"rebootAnswerMs", &Faults::rebootAnswerMs}}) {
    const std::optional<int> ms = protocol::IntegralNumber(object.value(QLatin1String(name)));
    if (object.contains(QLatin1String(name)) && (!ms || *ms < 0 || *ms > kMaxFaultMs)) {
      error = QLatin1String(name) + QStringLiteral(" must be a whole number of milliseconds 0-60000");
      return false;
    }
    faults.*field = ms.value_or(0);
  }
  faults.writesIgnored = object.value("writesIgnored").toBool(false);
  faults.openReads = object.value("openReads").toBool(false);
  faults.refusalAs400 = object.value("refusalAs400").toBool(false);
  faults.emptyGateway = object.value("emptyGateway").toBool(false);
  faults.rebootNeeded = object.value("rebootNeeded").toBool(false);
  faults.digestOnly = object.value("digestOnly").toBool(false);
  faults.usernameTokenOnly = object.value("usernameTokenOnly").toBool(false);
  if (faults.digestOnly && faults.usernameTokenOnly) {
    error = QStringLiteral("digestOnly and usernameTokenOnly exclude each other");
    return false;
  }
  const QJsonValue refused = object.value("refuseOperations");
  for (const QJsonValue name : refused.toArray()) {
    if (!name.isString() || name.toString().isEmpty() || !IsPlainText(name.toString())) break;
    faults.refuseOperations << name.toString();
  }
  if (!refused.isUndefined() && (!refused.isArray() || faults.refuseOperations.size() != refused.toArray().size())) {
    error = QStringLiteral("refuseOperations must list ONVIF operation names");
    return false;
  }
  faults.refuseConnections = object.value("refuseConnections").toBool(false);
  faults.answerDelayMs = static_cast<int>(delay);
  faults.dropShare = drop;
  faults.dieDuringApply = object.value("dieDuringApply").toBool(false);
  return true;
}

std::optional<CameraProfile> ParseCamera(const QJsonObject& object, bool loopbackOnly, QString& error) {
  QString unknown;
  if (!OnlyKnownFields(object,
                       {"mac", "family", "mode", "caption", "version", "wireless", "protocols", "macScope", "httpPort",
                        "ipv6LinkLocal", "answersProbes", "settings", "faults"},
                       unknown)) {
    error = QStringLiteral("unknown field ") + unknown;
    return std::nullopt;
  }
  CameraProfile camera;
  camera.mac = object.value("mac").toString();
  if (!protocol::IsMacText(camera.mac)) {
    error = QStringLiteral("mac must be six numbers 0-255 joined by \".\"");
    return std::nullopt;
  }
  if (!ParseProtocols(object.value("protocols"), camera, error)) return std::nullopt;
  camera.macScope = object.value("macScope").toBool(true);
  camera.answersProbes = object.value("answersProbes").toBool(true);
  if (object.contains("httpPort")) {
    const std::optional<int> port = protocol::IntegralNumber(object.value("httpPort"));
    if (camera.sentrova || !port || *port < 1 || *port > 65535) {
      error = QStringLiteral("httpPort must be 1-65535, and only for a camera that speaks ONVIF alone");
      return std::nullopt;
    }
    camera.httpPort = static_cast<quint16>(*port);
  }
  const QJsonValue linkLocal = object.value("ipv6LinkLocal");
  if (!linkLocal.isUndefined() && (!linkLocal.isBool() || (linkLocal.toBool() && (!camera.onvif || loopbackOnly)))) {
    error = QStringLiteral("ipv6LinkLocal must be true or false, and true only for an ONVIF camera off loopback");
    return std::nullopt;
  }
  camera.ipv6LinkLocal = linkLocal.toBool(false);
  // An ONVIF-only camera logs in first, as family 2 does.
  const QJsonValue family = camera.sentrova || object.contains("family") ? object.value("family") : QJsonValue(2);
  if (family != QJsonValue(0) && family != QJsonValue(2)) {
    error = QStringLiteral("family must be 0 or 2");
    return std::nullopt;
  }
  camera.family = family.toInt();
  camera.mode = object.value("mode").toString(ModeFor(camera.family));
  camera.caption = object.value("caption").toString(QStringLiteral("Camera"));
  camera.version = object.value("version").toString(QStringLiteral("2.10.001"));
  for (const char* field : {"mode", "caption", "version"}) {
    const QJsonValue value = object.value(QLatin1String(field));
    if (!value.isUndefined() && (!value.isString() || !IsPlainText(value.toString()))) {
      error = QLatin1String(field) + QStringLiteral(" must be a text of at most 64 plain characters");
      return std::nullopt;
    }
  }
  camera.wireless = object.value("wireless").toBool(false);
  if (!object.value("settings").toObject().contains("SysIPAddress")) {
    error = QStringLiteral("settings.SysIPAddress is required");
    return std::nullopt;
  }
  const SettingsContext context{camera.wireless, loopbackOnly};
  QString why;
  const auto settings =
      MergeSettings(DefaultSettings(camera.wireless), object.value("settings").toObject(), context, why);
  if (!settings) {
    error = QStringLiteral("settings.") + why;
    return std::nullopt;
  }
  camera.settings = *settings;
  if (!ParseFaults(object.value("faults"), camera.faults, error)) return std::nullopt;
  return camera;
}

// Dotted IPv4 text to and from its 32-bit value.
QString ToText(quint32 value) {
  return QStringLiteral("%1.%2.%3.%4")
      .arg(value >> 24)
      .arg((value >> 16) & 0xFF)
      .arg((value >> 8) & 0xFF)
      .arg(value & 0xFF);
}

bool UniqueMacs(const std::vector<CameraProfile>& cameras, QString& error) {
  QSet<QString> seen;
  for (const CameraProfile& camera : cameras) {
    if (seen.contains(camera.mac)) {
      error = QStringLiteral("two cameras have the MAC ") + camera.mac;
      return false;
    }
    seen.insert(camera.mac);
  }
  return true;
}

}  // namespace

std::optional<std::vector<CameraProfile>> ParseFleet(const QByteArray& json, bool loopbackOnly, QString& error) {
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
  if (document.isNull()) {
    error = QStringLiteral("not JSON: ") + parseError.errorString();
    return std::nullopt;
  }
  const QJsonArray list = document.object().value("cameras").toArray();
  if (!document.isObject() || list.isEmpty() || list.size() > kMaxCameras) {
    error = QStringLiteral("expected {\"cameras\": [...]} with 1 to %1 cameras").arg(kMaxCameras);
    return std::nullopt;
  }
  std::vector<CameraProfile> cameras;
  for (qsizetype i = 0; i < list.size(); ++i) {
    QString why;
    auto camera = ParseCamera(list[i].toObject(), loopbackOnly, why);
    if (!list[i].isObject() || !camera) {
      error = QStringLiteral("camera %1: %2").arg(i).arg(list[i].isObject() ? why : QStringLiteral("not an object"));
      return std::nullopt;
    }
    cameras.push_back(std::move(*camera));
  }
  if (!UniqueMacs(cameras, error)) return std::nullopt;
  return cameras;
}

std::optional<std::vector<CameraProfile>> GenerateFleet(int count, const QString& firstAddress, bool loopbackOnly,
                                                        QString& error) {
  if (count < 1 || count > kMaxCameras) {
    error = QStringLiteral("--count must be 1 to %1").arg(kMaxCameras);
    return std::nullopt;
  }
  if (!protocol::IsIPv4(firstAddress) || (loopbackOnly && !protocol::IsLoopback(firstAddress))) {
    error = QStringLiteral("the first address must be dotted IPv4") +
            (loopbackOnly ? QStringLiteral(" inside 127.0.0.0/8") : QString());
    return std::nullopt;
  }
  std::vector<CameraProfile> cameras;
  quint32 address = protocol::ParseIPv4(firstAddress).value_or(0);
  for (int i = 0; i < count; ++i, ++address) {
    // Host parts 0 and 255 are network and broadcast addresses on a /24.
    while ((address & 0xFF) == 0 || (address & 0xFF) == 255) ++address;
    const QString text = ToText(address);
    if (loopbackOnly && !protocol::IsLoopback(text)) {
      error = QStringLiteral("%1 cameras do not fit inside 127.0.0.0/8 from %2").arg(count).arg(firstAddress);
      return std::nullopt;
    }
    CameraProfile camera;
    // The MAC follows the address, so fleets on different ranges never share one.
    camera.mac =
        QStringLiteral("0.12.34.%1.%2.%3").arg((address >> 16) & 0xFF).arg((address >> 8) & 0xFF).arg(address & 0xFF);
    camera.family = i % 2 == 0 ? 2 : 0;
    camera.wireless = i % 4 < 2;
    camera.mode = ModeFor(camera.family);
    camera.caption = QStringLiteral("Camera %1").arg(i + 1);
    camera.version = i % 3 == 0 ? QStringLiteral("2.10.001") : QStringLiteral("2.11.003");
    camera.settings = DefaultSettings(camera.wireless);
    camera.settings.insert("SysIPAddress", text);
    camera.settings.insert("SysDefaultGateway", ToText((address & 0xFFFFFF00) | 1));
    cameras.push_back(std::move(camera));
  }
  return cameras;
}

bool VersionRestartsOnRequest(const QString& version) {
  return version.size() >= 8 && version[3] == u'0' && version.mid(5, 3) == u"001";
}

}  // namespace camd
