#pragma once
// A simulated camera's settings: the keys it knows, their types and limits,
// and the all-or-nothing merge an apply makes. The fleet file and the HTTP
// apply go through the same checks, so a camera never holds a value it would
// refuse over the network.
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

namespace camd {

// What a camera's checks depend on besides the values themselves.
struct SettingsContext {
  bool wireless = false;      // the Wlan* keys exist only on wireless cameras
  bool loopbackOnly = false;  // the address must stay inside 127.0.0.0/8
};

// The setting keys a camera knows and the protocol's rules for each.
enum class SettingType { Unknown, Number, Text };
SettingType TypeOfSetting(const QString& key);
// Empty when value is acceptable for key on apply (wireless: the camera has a
// wireless interface); otherwise the reason, naming the key.
QString SettingError(const QString& key, const QJsonValue& value, bool wireless);

// The settings a camera starts with when nothing else is given.
QJsonObject DefaultSettings(bool wireless);

// The "DeviceType" word: bit 29 marks a wireless interface.
qint64 DeviceTypeFor(int family, bool wireless);

// True when `key` is a setting the camera knows (readable).
bool IsKnownSetting(const QString& key, const SettingsContext& context);

// Merges `changes` into `current` when every key is known, writable and its
// value valid and of the right type (the protocol's rules, plus what a camera
// on this network can take); otherwise returns nothing and sets `error` to
// "<key>: <why>". `current` is never touched.
std::optional<QJsonObject> MergeSettings(const QJsonObject& current, const QJsonObject& changes,
                                         const SettingsContext& context, QString& error);

// Checks that a complete set (as loaded from a file) is whole and valid.
bool ValidateWholeSettings(const QJsonObject& settings, const SettingsContext& context, QString& error);

// A dotted IPv4 subnet mask: ones then zeros.
bool IsSubnetMask(const QString& text);

// The keys whose change makes the camera start over on its new address or
// credentials.
bool ChangesIdentity(const QJsonObject& before, const QJsonObject& after);

}  // namespace camd
