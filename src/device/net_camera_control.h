#pragma once
// The camera control over the real network (docs/protocol.md): the search
// for cameras of both protocols, and the connection to the target camera
// through the backend of its protocol (own_backend, onvif_backend), chosen
// by ProtocolOption. Every call blocks in a local event loop (a
// QCoreApplication must exist) and ends within its timeout; a camera that
// does not answer a read gives the no-answer result. A write that does not
// take (ApplySettings, Restart, ChangeAddress refused by the camera, not
// answered, or not sent because a value is invalid) throws
// CameraControlError with the reason, so the caller never waits for a camera
// that will not come back.
//
// Credentials belong to one camera: when the target becomes another camera
// (another protocol, MAC, or address where the MAC is unknown), the
// credentials in use and the kept settings are forgotten, so nothing of one
// camera's login ever reaches the next.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "device/camera_backend.h"
#include "device/camera_control.h"
#include "device/discovery.h"
#include "device/net_options.h"
#include "device/temporary_address.h"

namespace device {

class AnnouncementListener;

class NetCameraControl : public CameraControl {
 public:
  explicit NetCameraControl(NetOptions options = {});
  ~NetCameraControl() override;

  // Hears each new camera of a running search as it arrives.
  void SetFoundCallback(std::function<void(const FoundCamera&)> onFound) { onFound_ = std::move(onFound); }

  // The interfaces searched and sent on from now on (NetOptions::interfaceNames).
  void SetInterfaces(const QStringList& names) { options_.interfaceNames = names; }
  void Search() override;
  int32_t FoundCount() override;
  // Between searches: a camera heard another way (its announcement, an
  // address the user gave) joins the found cameras at the end, unless it is
  // listed already (the same endpoint, or for our own protocol the same MAC
  // at the same address) or the list is full; true when it was added. A
  // listed camera heard again is no longer gone.
  bool ListCamera(const FoundCamera& camera);
  // An ONVIF camera that said Bye stays listed, marked gone.
  void MarkGone(const QString& endpoint);
  // Starts hearing the cameras' announcements on the chosen interfaces (the
  // first Search starts it too): a Hello lists its camera (origin
  // Announced), a Bye marks it gone. Announced cameras (up to the row cap)
  // are listed again after each search that did not find them, so a camera
  // whose answers to probes are routed away stays listed. False when it
  // cannot listen (logged), or onvifPort is 0; it is tried again at the
  // next Search.
  bool StartListening();
  // Hears that ListCamera or MarkGone changed the found cameras.
  void SetListChangedCallback(std::function<void()> onChanged) { onListChanged_ = std::move(onChanged); }
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
  void ProtocolOption(int32_t option) override;
  void TargetAddress(const std::u16string& address) override;
  void TargetPort(int32_t port) override { target_.port = port; }
  void TargetMac(const std::u16string& mac) override;

  int32_t Connect() override;
  std::u16string LoginID() override { return target_.loginId.toStdU16String(); }
  void LoginID(const std::u16string& id) override { target_.loginId = QString::fromStdU16String(id); }
  std::u16string LoginPassword() override { return target_.loginPassword.toStdU16String(); }
  void LoginPassword(const std::u16string& password) override {
    target_.loginPassword = QString::fromStdU16String(password);
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
  std::u16string UnconfirmedSettings() override;
  std::u16string DeviceNote() override;
  std::u16string DeviceNetworks() override;
  std::u16string DeviceLinkLocal() override;
  void TargetLinkLocal(const std::u16string& address) override;
  std::u16string AddCamera(const std::u16string& address) override;
  int16_t DeviceOutside() override;
  TemporaryAddressOffer OfferTemporaryAddress() override;
  bool AddTemporaryAddress(const TemporaryAddressOffer& offer) override;
  void RemoveTemporaryAddress() override { temporary_.Remove(); }

 private:
  const FoundCamera* Described() const;
  // Sends a prepared request to its address on the target port.
  HttpResponse Http(const char* member, HttpRequest request);
  QString Route(const QString& address) const;
  // After a change of the target: another camera forgets the earlier one's
  // credentials and kept settings.
  void TargetChanged();
  void HeardHello(const FoundCamera& camera);
  void HeardBye(const QString& endpoint);

  NetOptions options_;
  std::function<void(const FoundCamera&)> onFound_;
  std::function<void()> onListChanged_;
  std::vector<FoundCamera> found_;
  QStringList addedAddresses_;  // given to AddCamera, asked again by every Search
  int32_t leftOut_ = 0;
  std::unique_ptr<AnnouncementListener> listener_;
  std::vector<FoundCamera> announced_;  // the latest Hello of each camera that has not said Bye since
  bool searching_ = false;
  int32_t index_ = 0;

  Target target_;
  bool onvif_ = false;  // the target speaks ONVIF
  QString camera_;      // which camera the credentials belong to
  std::unique_ptr<CameraBackend> own_;
  std::unique_ptr<CameraBackend> onvifBackend_;
  CameraBackend* backend_ = nullptr;  // the one for the target's protocol
  QJsonObject kept_;                  // settings kept for the next apply
  TemporaryAddress temporary_;        // the address a camera outside the computer's networks is reached through
};

}  // namespace device
