#pragma once
// A simulated camera's ONVIF services over its HTTP server: the device
// service (time, capabilities, identity, network settings, users, reboot)
// and the media answers clients ask for before anything else. Requests are
// routed by the SOAP body's operation, not by the URL path. The account is
// the camera's own (SysAdminID / SysAdminPassword) plus further ONVIF
// users; every change is saved whole in the camera's settings file.
#include <QByteArrayList>
#include <QDateTime>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "camd/digest.h"
#include "camd/fleet.h"
#include "camd/onvif_auth.h"

class QHttpServerRequest;
class QHttpServerResponder;

namespace camd {

class Camera;
class SimLog;

// The camera's WS-Discovery identity: urn:uuid derived from its MAC, the
// same on every start.
QString EndpointReference(const QString& mac);
// The MAC as ONVIF writes it: six lower-case hex pairs joined by ":".
QString HexMac(const QString& mac);
// The camera's scopes: type, profile, name, hardware and (when it tells) MAC.
QStringList Scopes(const CameraProfile& profile);
// The device service's address at `address`.
QString DeviceXAddr(const QString& address, quint16 port);

// A prefix length to a dotted mask and back; a mask that is not ones then
// zeros has no prefix.
QString MaskFromPrefix(int prefix);
std::optional<int> PrefixFromMask(const QString& mask);
// Empty when `address`/`prefix` can be a static host address; otherwise why
// not (prefix out of 1-30, the network or broadcast address, not IPv4).
QString StaticAddressError(const QString& address, int prefix);

// One further ONVIF user as saved: {"name", "password", "level"}.
bool ValidOnvifUsers(const QJsonArray& users, QString& error);

// The caps a request or a probe is read within: fewer elements than a
// camera's answer may have.
inline constexpr protocol::XmlLimits kSoapLimits = [] {
  protocol::XmlLimits limits;
  limits.maxElements = 2048;
  return limits;
}();

// A request as the cameras take it: a SOAP 1.2 envelope's Header and the
// operation, the first element of its Body.
struct SoapRequest {
  XmlElement header;
  XmlElement body;  // the operation: e.g. {NsDevice, "GetUsers"}
};
// The request in `data`, or nothing with `error` saying why.
std::optional<SoapRequest> ReadRequest(const QByteArray& data, QString& error);

class OnvifService {
 public:
  OnvifService(Camera& camera, SimLog& log);

  void Handle(const QHttpServerRequest& request, QHttpServerResponder&& responder);

  // What one request gives, before it is sent.
  enum class After { Nothing, Move, Reboot };
  struct Answer {
    int status = 200;
    QByteArray body;
    QByteArrayList authenticate;  // WWW-Authenticate values
    After after = After::Nothing;
    int holdMs = 0;  // sent this much later than the camera's usual delay
  };

 private:
  // The answer to a POST of `body` with the given Authorization header on
  // `uri` from `from`; `logDetail` says what happened.
  Answer Respond(const QByteArray& body, const QByteArray& authorization, const QString& uri, const QHostAddress& from,
                 QString& logDetail);
  // The camera's clock, skew included.
  QDateTime Now() const;

  struct User {
    QString name, password, level;
  };
  // The account and further users in force (they log in), and as stored
  // (what the next change builds on): a change of our own protocol may wait
  // for a restart to take effect.
  std::vector<User> Users() const;
  std::vector<User> StoredUsers() const;
  std::optional<User> Authenticate(const SoapRequest& message, const QByteArray& authorization, const QString& uri,
                                   const QHostAddress& from, Answer& refusal, QString& logDetail);
  // A login refused without a look at it: the account's brake is on.
  std::optional<User> Unchecked(Answer& refusal, QString& logDetail);
  Answer Operation(const XmlElement& request, QString& logDetail);
  Answer SetUsers(const XmlElement& request, QString& logDetail);
  Answer CreateUsers(const XmlElement& request, QString& logDetail);
  Answer DeleteUsers(const XmlElement& request, QString& logDetail);
  Answer SetNetworkInterfaces(const XmlElement& request, QString& logDetail);
  Answer SetGateway(const XmlElement& request, QString& logDetail);

  // One change of the users or the settings, made on what is stored when it
  // takes effect: it edits the stored `users` and names the settings it sets
  // in `changes`, or refuses.
  using Edit = std::function<std::optional<Answer>(std::vector<User>& users, QJsonObject& changes)>;
  // Answers `ok` once `edit` holds on what is stored now; saves it at once,
  // or after the camera's settle time on what is stored then. `account`:
  // the edit changes the users; `inForce`: settings in force once saved;
  // `onMove`: After::Move when a new address is taken without a reboot.
  Answer Commit(const Edit& edit, bool account, const QStringList& inForce, After onMove, Answer ok,
                QString& logDetail);
  // The stored settings with `changes` (and, for `account`, the users) on
  // them; `extra` gets the users kept beside the account.
  std::optional<QJsonObject> Merged(const std::vector<User>& users, const QJsonObject& changes, bool account,
                                    QJsonArray& extra, QString& error) const;
  // Saves whole or not at all; the refusal to answer when not.
  std::optional<Answer> Save(const std::vector<User>& users, const QJsonObject& changes, bool account,
                             QStringList inForce, QString& logDetail);
  // The stored address is not the one in force.
  bool Moved() const;

  QString DeviceInformation() const;
  QString Capabilities() const;
  QString Services() const;
  QString NetworkInterfaces() const;
  QString Address() const;

  Camera& camera_;
  SimLog& log_;
  DigestServer digest_;
  TokenBook tokens_;
};

}  // namespace camd
