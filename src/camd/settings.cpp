#include "camd/settings.h"

#include <QStringList>

#include "protocol/protocol.h"
#include "protocol/setting_rules.h"

namespace camd {

SettingType TypeOfSetting(const QString& key) {
  static const QStringList numbers{u"DeviceType"_qs, u"WlanMode"_qs, u"WlanChannel"_qs, u"WlanWEPFlag"_qs,
                                   u"SysIPAssignment"_qs};
  static const QStringList texts{u"SysAdminID"_qs,    u"SysAdminPassword"_qs, u"WlanESSID"_qs,
                                 u"WlanWEPKey"_qs,    u"WlanWEPKeyHEX"_qs,    u"SysIPAddress"_qs,
                                 u"SysSubnetMask"_qs, u"SysDefaultGateway"_qs};
  if (numbers.contains(key)) return SettingType::Number;
  if (texts.contains(key)) return SettingType::Text;
  return SettingType::Unknown;
}

QString SettingError(const QString& key, const QJsonValue& value, bool wireless) {
  const SettingType type = TypeOfSetting(key);
  if (type == SettingType::Unknown) return key + u": unknown setting"_qs;
  if (key == u"DeviceType") return key + u": read only"_qs;
  if (key.startsWith(u"Wlan") && !wireless) return key + u": no wireless interface"_qs;
  if (type == SettingType::Number) {
    const std::optional<int> number = protocol::IntegralNumber(value);
    if (!number) return key + u": not an integer"_qs;
    const auto outside = [&](int low, int high) { return *number < low || *number > high; };
    if ((key == u"WlanMode" && outside(0, 2)) || (key == u"WlanChannel" && outside(1, 14)) ||
        (key == u"WlanWEPFlag" && outside(0, 65535)) || (key == u"SysIPAssignment" && outside(0, 1))) {
      return key + u": out of range"_qs;
    }
    return {};
  }
  if (!value.isString()) return key + u": not a text"_qs;
  const QString text = value.toString();
  const auto tooLong = [&](int max) { return text.size() > max; };
  if ((key == u"SysAdminID" && tooLong(12)) || (key == u"SysAdminPassword" && tooLong(8)) ||
      (key == u"WlanESSID" && tooLong(32))) {
    return key + u": too long"_qs;
  }
  if (key == u"WlanWEPKey" && !(text.isEmpty() || text.size() == 5 || text.size() == 13)) {
    return key + u": must be empty, 5 or 13 characters"_qs;
  }
  if (key == u"WlanWEPKeyHEX" && !(text.isEmpty() || protocol::IsHex(text, 10) || protocol::IsHex(text, 26))) {
    return key + u": must be empty, 10 or 26 hex digits"_qs;
  }
  if ((key == u"SysIPAddress" || key == u"SysSubnetMask") && !protocol::IsIPv4(text))
    return key + u": not an IPv4 address"_qs;
  if (key == u"SysDefaultGateway" && !text.isEmpty() && !protocol::IsIPv4(text))
    return key + u": not an IPv4 address"_qs;
  return {};
}

namespace {

// What this camera refuses beyond the protocol's rules for the key: a text
// it could not hand back (an ID with a control or a lone surrogate could
// never log in again), an address no host can have or that leaves the
// loopback network, a mask that is not ones then zeros. Empty when the value
// is acceptable.
QString CameraRefusal(const QString& key, const QJsonValue& value, const SettingsContext& context) {
  const QString text = value.toString();
  if (value.isString()) {
    const QString refusal = protocol::TextRefusal(text);
    if (!refusal.isEmpty()) return key + u": "_qs + refusal;
  }
  if (key == u"SysIPAddress") {
    const quint32 address = protocol::ParseIPv4(text).value_or(0);
    if (address == 0 || address == 0xFFFFFFFF || (address >> 28) == 0xE)
      return key + QStringLiteral(": not a host address");
    if (context.loopbackOnly && !protocol::IsLoopback(text))
      return key + QStringLiteral(": outside the loopback network 127.0.0.0/8");
  }
  if (key == u"SysSubnetMask" && !IsSubnetMask(text)) return key + QStringLiteral(": not a subnet mask");
  return {};
}

// After the restart nothing reaches a camera on its network's own or
// broadcast address.
QString NetworkRefusal(const QJsonObject& merged) {
  const std::optional<uint32_t> address = protocol::ParseIPv4(merged.value(u"SysIPAddress").toString());
  const std::optional<uint32_t> mask = protocol::ParseIPv4(merged.value(u"SysSubnetMask").toString());
  if (address && mask && IsSubnetMask(merged.value(u"SysSubnetMask").toString()) &&
      !protocol::IsHostOfNetwork(*address, *mask)) {
    return QStringLiteral("SysIPAddress: the network or broadcast address of its subnet");
  }
  return {};
}

// "WlanWEPFlag" is a 16-bit word; a client holding it in a signed 16-bit
// integer sends a word with bit 15 set as a negative number. Both forms are
// the same word, kept unsigned.
QJsonValue AsStored(const QString& key, const QJsonValue& value) {
  const double number = value.toDouble();
  if (key == u"WlanWEPFlag" && value.isDouble() && number >= -32768 && number < 0) return number + 65536;
  return value;
}

}  // namespace

QJsonObject DefaultSettings(bool wireless) {
  QJsonObject settings{
      {"SysAdminID", "admin"},         {"SysAdminPassword", "1234"},       {"SysIPAssignment", 1},
      {"SysIPAddress", "127.77.0.10"}, {"SysSubnetMask", "255.255.255.0"}, {"SysDefaultGateway", ""},
  };
  if (wireless) {
    settings.insert("WlanMode", 1);
    settings.insert("WlanESSID", "");
    settings.insert("WlanChannel", 6);
    settings.insert("WlanWEPFlag", 0);
    settings.insert("WlanWEPKey", "");
    settings.insert("WlanWEPKeyHEX", "");
  }
  return settings;
}

qint64 DeviceTypeFor(int family, bool wireless) {
  const qint64 model = family == 2 ? 0x0350 : 0x0100;
  return wireless ? (model | (qint64{1} << 29)) : model;
}

bool IsKnownSetting(const QString& key, const SettingsContext& context) {
  if (TypeOfSetting(key) == SettingType::Unknown) return false;
  return context.wireless || !key.startsWith(u"Wlan");
}

std::optional<QJsonObject> MergeSettings(const QJsonObject& current, const QJsonObject& changes,
                                         const SettingsContext& context, QString& error) {
  QJsonObject merged = current;
  for (auto it = changes.begin(); it != changes.end(); ++it) {
    const QJsonValue value = AsStored(it.key(), it.value());
    error = SettingError(it.key(), value, context.wireless);
    if (error.isEmpty()) error = CameraRefusal(it.key(), value, context);
    if (!error.isEmpty()) return std::nullopt;
    merged.insert(it.key(), value);
  }
  if (changes.contains(u"SysIPAddress") || changes.contains(u"SysSubnetMask")) {
    error = NetworkRefusal(merged);
    if (!error.isEmpty()) return std::nullopt;
  }
  return merged;
}

bool ValidateWholeSettings(const QJsonObject& settings, const SettingsContext& context, QString& error) {
  for (const QString& key : DefaultSettings(context.wireless).keys()) {
    if (!settings.contains(key)) {
      error = key + QStringLiteral(": missing");
      return false;
    }
  }
  return MergeSettings({}, settings, context, error).has_value();
}

bool IsSubnetMask(const QString& text) {
  const std::optional<uint32_t> mask = protocol::ParseIPv4(text);
  // Ones then zeros: the host part plus one is a power of two.
  const quint32 hostBits = ~mask.value_or(0);
  return mask && *mask != 0 && (hostBits & (hostBits + 1)) == 0;
}

bool ChangesIdentity(const QJsonObject& before, const QJsonObject& after) {
  for (const char* key : {"SysAdminID", "SysAdminPassword", "SysIPAddress", "SysSubnetMask", "SysDefaultGateway"})
    if (before.value(QLatin1String(key)) != after.value(QLatin1String(key))) return true;
  return false;
}

}  // namespace camd
