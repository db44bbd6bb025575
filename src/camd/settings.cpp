#include "camd/settings.h"

#include "device/protocol.h"

namespace camd {
namespace {

bool HasControlCharacter(const QString& text) {
  for (QChar c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
  return false;
}

// What this camera refuses beyond the protocol's rules for the key: control
// characters (an ID with one could never be sent in a Digest header again),
// an address no host can have or that leaves the loopback network, a mask
// that is not ones then zeros. Empty when the value is acceptable.
QString CameraRefusal(const QString& key, const QJsonValue& value, const SettingsContext& context) {
  const QString text = value.toString();
  if (value.isString() && HasControlCharacter(text)) return key + QStringLiteral(": holds a control character");
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
      {"SysAdminID", "admin"},
      {"SysAdminPassword", "1234"},
      {"SysIPAssignment", 1},
      {"SysIPAddress", "127.77.0.10"},
      {"SysSubnetMask", "255.255.255.0"},
      {"SysDefaultGateway", ""},
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
  if (protocol::TypeOfSetting(key) == protocol::SettingType::Unknown) return false;
  return context.wireless || !key.startsWith(u"Wlan");
}

std::optional<QJsonObject> MergeSettings(const QJsonObject& current, const QJsonObject& changes,
                                         const SettingsContext& context, QString& error) {
  QJsonObject merged = current;
  for (auto it = changes.begin(); it != changes.end(); ++it) {
    const QJsonValue value = AsStored(it.key(), it.value());
    error = protocol::SettingError(it.key(), value, context.wireless);
    if (error.isEmpty()) error = CameraRefusal(it.key(), value, context);
    if (!error.isEmpty()) return std::nullopt;
    merged.insert(it.key(), value);
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
