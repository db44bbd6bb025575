#pragma once
// ONVIF toward the target camera's device service: the login (UsernameToken
// PasswordDigest in the camera's time, HTTP Digest when the camera
// challenges), the reads after it, and the kept settings written in an order
// that never locks the user out or loses the camera.
//
// Real devices answer a Set* with success and change nothing, or change it a
// second later, and answer some reads without any login. So a write counts
// as done only when an authenticated read that this camera refuses without
// credentials shows it, looked for during a settle window with the new and
// the old credentials, at the new and the old address; the backend always
// knows which credentials and which address reach the camera.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "device/camera_backend.h"
#include "device/net_options.h"
#include "device/onvif_soap.h"
#include "protocol/wire.h"

namespace device {

namespace onvif {

struct Credentials {
  QString user;
  QString password;
  bool operator==(const Credentials&) const = default;
};

enum class CallResult { Done, Refused, Failed };

struct Call {
  CallResult result = CallResult::Failed;
  std::optional<XmlElement> response;
  bool answered = false;  // something answered over HTTP, whatever it said
  bool timedOut = false;  // nothing answered in the time allowed
  QString date;           // the answer's Date header
  QString why;            // for Refused and Failed: what the camera said or why nothing came
};

}  // namespace onvif

class OnvifBackend : public CameraBackend {
 public:
  OnvifBackend(Target& target, const NetOptions& options, HttpSend send)
      : target_(target), options_(options), send_(std::move(send)) {}

  void Retarget() override;
  // 3 when the camera needs no login at all (it answers the reads that
  // prove a login without one), else 2; one request, never with credentials.
  int32_t LoginState() override;
  // An authenticated GetDeviceInformation, then the network settings.
  int32_t Login(const QString& id, const QString& password) override;
  // The login with the credentials in use, unless they are logged in already.
  int32_t Connect() override;
  // The settings the wizard reads, by the wizard's keys; empty or 0 when
  // unknown. SysAdminPassword is the password that authenticated: a camera
  // never tells its stored one.
  QString Text(const QString& key) override;
  int32_t Number(const QString& key) override;
  void Apply(const QJsonObject& kept) override;
  void Restart() override;
  // ONVIF has no MAC-addressed commands: the camera where the login reached
  // it must report the row's MAC before its new address is kept.
  int32_t ChangeAddress(const QString& address, const QString& mask, const QString& gateway,
                        QJsonObject& kept) override;
  bool AddressInUse() override;
  QStringList Unconfirmed() const override { return unconfirmed_; }

 private:
  onvif::Call Send(const char* member, const QString& address, const QString& body,
                   const onvif::Credentials* credentials, std::chrono::milliseconds timeout = {});
  [[noreturn]] void Throw(const char* member, const QString& what) const;
  // "the camera at ... did not answer within 8 s", or why nothing answered.
  QString NoAnswer(const onvif::Call& call, const QString& address) const;
  // Whether this camera refuses GetDeviceInformation without credentials;
  // takes the clock offset from the answer. False when nothing answered.
  bool Probe(const char* member);
  int32_t LogIn(const char* member, const onvif::Credentials& credentials);
  bool ReadNetwork(const char* member);
  // The authenticated read that proves credentials: true when it returns data.
  bool Proves(const onvif::Credentials& credentials);
  // Looks for a change every settleInterval until check() is true or the
  // settle window has passed.
  bool Settle(const std::function<bool()>& check);

  void ApplyCredentials(const QString& id, const QString& password);
  void ApplyGateway(const QString& gateway);
  void ApplyAddress(const QString& address, int prefixLength);
  void Reboot(const char* member);

  Target& target_;
  const NetOptions& options_;
  HttpSend send_;

  QString at_;  // where the camera answers now
  qint64 clockOffsetMs_ = 0;
  QString probedAt_;        // where Probe last ran
  bool needsLogin_ = true;  // GetDeviceInformation is refused without credentials
  bool loggedIn_ = false;
  onvif::Credentials reaching_;  // the credentials the camera takes now
  onvif::Credentials former_;    // the ones it took before our last credential write
  onvif::DeviceInformation information_;
  onvif::NetworkInterface interface_;
  QString gateway_;
  bool rebootedByApply_ = false;

  // What the current Apply found: settings in effect, and what did not take.
  QStringList inEffect_;
  QStringList notTaken_;
  QStringList unconfirmed_;  // written, but the camera cannot report it back
};

}  // namespace device
