#pragma once
// Keeps each camera's settings in its own JSON file under the state folder,
// written atomically: a crash at any moment leaves the old file or the new
// one, whole.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace camd {

class SettingsStore {
 public:
  // An empty folder keeps settings in memory only.
  explicit SettingsStore(QString folder);

  bool Persistent() const { return !folder_.isEmpty(); }
  QString PathFor(const QString& mac) const;

  // The saved settings of `mac`, or nothing when there is no file. A file
  // that cannot be read or parsed sets `error`.
  std::optional<QJsonObject> Load(const QString& mac, QString& error) const;

  // The further ONVIF users saved beside the settings (none without a file).
  QJsonArray LoadOnvifUsers(const QString& mac) const;

  // Writes the whole set; on failure the old file stays and `error` says why.
  bool Save(const QString& mac, const QJsonObject& settings, QString& error) const {
    return Save(mac, settings, {}, error);
  }
  // The same with the ONVIF users besides the administrator account.
  bool Save(const QString& mac, const QJsonObject& settings, const QJsonArray& onvifUsers, QString& error) const;

  // Writes half of the new file and aborts the process before it is
  // committed: the fault "dies during apply".
  [[noreturn]] void SaveAndDieHalfway(const QString& mac, const QJsonObject& settings) const;

 private:
  QString folder_;
};

}  // namespace camd
