#pragma once
// The camera control over the real network (docs/protocol.md): discovery and
// the MAC-addressed commands on the multicast group, settings over HTTP with
// Digest authentication. Every call blocks in a local event loop (a
// QCoreApplication must exist) and ends within its timeout; a camera that
// does not answer a read gives the no-answer result. A write that does not
// take (ApplySettings, Restart, ChangeAddress refused by the camera, not
// answered, or not sent because a value is invalid) throws
// CameraControlError with the reason, so the caller never waits for a camera
// that will not come back.
#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "device/camera_control.h"
#include "device/discovery.h"
#include "device/http_client.h"
#include "device/net_options.h"
#include "device/onvif_camera.h"

namespace device {

class NetCameraControl : public CameraControl {
 public:
  explicit NetCameraControl(NetOptions options = {});

  // Hears each new camera of a running search as it arrives.
  void SetFoundCallback(std::function<void(const FoundCamera&)> onFound) { onFound_ = std::move(onFound); }

  void Search() override;
  int32_t FoundCount() override;
  // How many cameras the last search heard beyond its row cap (at least;
  // the first cameras heard are the ones listed).
  int32_t LeftOutCount() const { return leftOut_; }
  void DeviceIndex(int32_t index) override;
  std::u16string DeviceAddress() override;
  std::u16string DeviceMode() override;
  std::u16string DeviceCaption() override;
  std::u16string DeviceVersionText() override;
  std::u16string DeviceSubnetMask() override;
  std::u16string DeviceGateway() override;
  std::u16string DeviceMacText() override;

  // The port tells which setup API a camera speaks, and the MAC commands ask
  // the camera itself whether it needs a login, so the family changes nothing
  // here. The option chooses ONVIF (protocol::OnvifProtocolOption) or our own
  // protocol for the target.
  void ProtocolFamily(int32_t /*family*/) override {}
  void ProtocolOption(int32_t option) override { onvifTarget_ = option == protocol::OnvifProtocolOption; }
  void TargetAddress(const std::u16string& address) override;
  void TargetPort(int32_t port) override { port_ = port; }
  void TargetMac(const std::u16string& mac) override;

  int32_t Connect() override;
  std::u16string LoginID() override { return loginId_.toStdU16String(); }
  void LoginID(const std::u16string& id) override { loginId_ = QString::fromStdU16String(id); }
  std::u16string LoginPassword() override { return loginPassword_.toStdU16String(); }
  void LoginPassword(const std::u16string& password) override {
    loginPassword_ = QString::fromStdU16String(password);
  }
  int32_t LoginState() override;
  int32_t Login(std::u16string& id, std::u16string& password) override;

  int32_t GetSettingNumber(const std::u16string& key) override;
  std::u16string GetSettingText(const std::u16string& key) override;
  void SetSetting(const std::u16string& key, const SettingValue& value) override;
  void ApplySettings(int32_t first, int32_t second) override;
  void Restart() override;

  int32_t ChangeAddress(std::u16string& address, std::u16string& mask, std::u16string& gateway) override;
  int32_t AddressInUse() override;

  int32_t DevicePort() override { return Described() ? Described()->port : 0; }
  std::u16string DeviceServicePath() override;
  void TargetServicePath(const std::u16string& path) override;

 private:
  const FoundCamera* Described() const;
  HttpResponse Http(const char* member, const QString& method, const QString& path, const QByteArray& body = {});
  // Sends a prepared request to its address on the target port.
  HttpResponse Http(const char* member, HttpRequest request);
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
  void ApplyOnvif();
  // An ONVIF login at the target address; where it was granted is kept.
  int32_t OnvifLogIn(const onvif::Credentials& credentials);
  int32_t KeepOnvifAddress(const QString& address, const QString& mask, const QString& gateway);
  // Whether a camera of our own protocol answers for the target address.
  bool OwnCameraHasAddress();

  NetOptions options_;
  std::function<void(const FoundCamera&)> onFound_;
  std::vector<FoundCamera> found_;
  int32_t leftOut_ = 0;
  int32_t index_ = 0;

  QString targetAddress_;
  int32_t port_ = 0;
  QString targetMac_;
  QString loginId_;
  QString loginPassword_;

  bool onvifTarget_ = false;  // the target speaks ONVIF
  onvif::Camera onvif_;
  QString onvifLoginAddress_;  // where the last ONVIF login was granted
  QJsonObject kept_;         // settings kept for the next apply
  bool addressKept_ = false;  // the camera holds an address change for the next apply
};

}  // namespace device
