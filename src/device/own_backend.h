#pragma once
// Our own protocol toward the target (docs/protocol.md): the settings over
// HTTP with Digest, the login state, the login and the address change as
// MAC-addressed commands on the multicast group.
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

#include "device/camera_backend.h"
#include "device/net_options.h"
#include "protocol/protocol.h"

namespace device {

class OwnBackend : public CameraBackend {
 public:
  OwnBackend(Target& target, const NetOptions& options, HttpSend send)
      : target_(target), options_(options), send_(std::move(send)) {}

  void Retarget() override { addressKept_ = false; }
  int32_t Connect() override;
  int32_t LoginState() override;
  int32_t Login(const QString& id, const QString& password) override;
  int32_t Number(const QString& key) override;
  QString Text(const QString& key) override;
  void Apply(const QJsonObject& kept) override;
  void Restart() override;
  int32_t ChangeAddress(const QString& address, const QString& mask, const QString& gateway,
                        QJsonObject& kept) override;
  bool AddressInUse() override;
  // Our own cameras answer an apply only once it took.
  QStringList Unconfirmed() const override { return {}; }

 private:
  HttpResponse Http(const char* member, const QString& method, const QString& path, const QByteArray& body = {});
  std::optional<QJsonValue> ReadSetting(const char* member, const QString& key);
  // A MAC command: the request, sent in copies, and its reply (none when no
  // camera answered in time).
  std::optional<protocol::Message> Ask(const char* member, protocol::Message request);
  // A fresh challenge from the target camera, with its login state.
  std::optional<protocol::Message> Challenge(const char* member);
  // Sends a command that needs a proof, with the credentials in use.
  std::optional<protocol::Message> AskWithProof(const char* member, protocol::Message request);
  void ApplyKeptSettings(const QJsonObject& settings);
  void ApplyKeptAddress();

  Target& target_;
  const NetOptions& options_;
  HttpSend send_;
  bool addressKept_ = false;  // the camera holds an address change for the next apply
};

}  // namespace device
