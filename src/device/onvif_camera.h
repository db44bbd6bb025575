#pragma once
// An ONVIF camera's device service as the connection instance drives it:
// the login (UsernameToken PasswordDigest in the camera's time, HTTP Digest
// when the camera challenges), the reads after it, and the kept settings
// written in an order that never locks the user out or loses the camera.
#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

#include "device/http_client.h"
#include "device/onvif_soap.h"
#include "protocol/wire.h"

namespace device::onvif {

// Sends one request to the address it names (the caller adds the port, the
// local address and the timeouts, and refuses targets it may not contact).
using Sender = std::function<HttpResponse(const char* member, HttpRequest request)>;

struct Credentials {
  QString user;
  QString password;
};

enum class CallResult { Done, Refused, Failed };

struct Call {
  CallResult result = CallResult::Failed;
  std::optional<XmlElement> response;
  bool answered = false;  // something answered over HTTP, whatever it said
  QString why;  // for Refused and Failed: what the camera said or why nothing came
};

class Camera {
 public:
  explicit Camera(Sender send) : send_(std::move(send)) {}

  // A different camera (or the same one at a new address): forget what was read.
  void Target(const QString& address);
  // Where on the camera its device service is; ONVIF's usual path unless
  // the camera's service address names another.
  void ServicePath(const QString& path);

  // The clock offset (GetSystemDateAndTime, no login), then an authenticated
  // GetDeviceInformation and the network settings. 3: logged in, 2: the
  // credentials were refused, 0: no usable answer.
  int32_t LogIn(const Credentials& credentials);
  bool loggedIn() const { return loggedIn_; }

  // The settings the wizard reads, by the wizard's keys; empty or 0 when
  // unknown. SysAdminPassword is the password that authenticated: a camera
  // never tells its stored one.
  QString Text(const QString& key) const;
  int32_t Number(const QString& key) const;

  // Writes the kept settings (the wizard's keys). Throws CameraControlError
  // when a value is refused before anything is sent, or when a write fails or
  // does not read back; what was written before stays written, and the
  // credentials in use are always ones the camera accepts.
  void Apply(const QJsonObject& kept);
  // SystemReboot. False when the camera did not take it.
  bool Reboot();
  // The last Apply ended in the reboot the camera asked for.
  bool rebootedByApply() const { return rebootedByApply_; }
  // Whatever answers an unauthenticated call at that address.
  bool Answers(const QString& address);

  const Credentials& credentials() const { return credentials_; }

  // One call to the device service; authenticated unless no credentials are
  // given. Public for the tests of the write order.
  // A timeout of 0 is the sender's own.
  Call Send(const char* member, const QString& address, const QString& body, const Credentials* credentials,
            std::chrono::milliseconds timeout = {});

 private:
  bool ReadNetwork();
  void Throw(const QString& what) const;
  void ApplyCredentials(const QString& id, const QString& password);
  void ApplyGateway(const QString& gateway);
  void ApplyAddress(const QString& address, int prefixLength, bool wasDhcp);

  Sender send_;
  QString address_;
  QString path_ = QString::fromLatin1(protocol::OnvifDevicePath);
  qint64 clockOffsetMs_ = 0;
  bool loggedIn_ = false;
  bool rebootedByApply_ = false;
  Credentials credentials_;
  DeviceInformation information_;
  NetworkInterface interface_;
  QString gateway_;
};

}  // namespace device::onvif
