#include "camd/settings_store.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <cstdlib>

namespace camd {
namespace {

constexpr qint64 kMaxFileSize = qint64{64} * 1024;

QByteArray FileContent(const QString& mac, const QJsonObject& settings, const QJsonArray& onvifUsers = {}) {
  QJsonObject content{{"mac", mac}, {"settings", settings}};
  if (!onvifUsers.isEmpty()) content.insert("onvifUsers", onvifUsers);
  return QJsonDocument(content).toJson(QJsonDocument::Indented);
}

}  // namespace

SettingsStore::SettingsStore(QString folder) : folder_(std::move(folder)) {}

QString SettingsStore::PathFor(const QString& mac) const {
  return QDir(folder_).filePath(mac + QStringLiteral(".json"));
}

std::optional<QJsonObject> SettingsStore::Load(const QString& mac, QString& error) const {
  if (!Persistent()) return std::nullopt;
  QFile file(PathFor(mac));
  if (!file.exists()) return std::nullopt;
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) {
    error = file.fileName() + QStringLiteral(": cannot be read or too large");
    return std::nullopt;
  }
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
  const QJsonObject object = document.object();
  if (!document.isObject() || object.value("mac").toString() != mac || !object.value("settings").isObject()) {
    error = file.fileName() + QStringLiteral(": not a settings file of this camera");
    return std::nullopt;
  }
  return object.value("settings").toObject();
}

QJsonArray SettingsStore::LoadOnvifUsers(const QString& mac) const {
  QFile file(PathFor(mac));
  if (!Persistent() || file.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object().value("onvifUsers").toArray();
}

bool SettingsStore::Save(const QString& mac, const QJsonObject& settings, const QJsonArray& onvifUsers,
                         QString& error) const {
  if (!Persistent()) return true;
  if (!QDir().mkpath(folder_)) {
    error = folder_ + QStringLiteral(": cannot create the folder");
    return false;
  }
  QSaveFile file(PathFor(mac));
  if (!file.open(QIODevice::WriteOnly) || file.write(FileContent(mac, settings, onvifUsers)) < 0 || !file.commit()) {
    error = file.fileName() + QStringLiteral(": ") + file.errorString();
    return false;
  }
  return true;
}

void SettingsStore::SaveAndDieHalfway(const QString& mac, const QJsonObject& settings) const {
  if (Persistent() && QDir().mkpath(folder_)) {
    QSaveFile file(PathFor(mac));
    const QByteArray content = FileContent(mac, settings);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(content.left(content.size() / 2));
      file.flush();
    }
  }
  std::abort();
}

}  // namespace camd
