#pragma once
// One simulated camera: its setup HTTP server on its own address, its
// discovery answers and MAC-addressed commands, its saved settings and the
// settings in force, restarts and faults.
#include <QHash>
#include <QJsonArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QObject>
#include <QPointer>
#include <QUdpSocket>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "camd/digest.h"
#include "camd/fleet.h"
#include "camd/settings.h"
#include "protocol/protocol.h"

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;

namespace camd {

class AnswerScheduler;
class OnvifService;
class SettingsStore;
class SimLog;

// What every camera of one simulator shares.
struct SimOptions {
  QNetworkInterface interface;
  bool loopbackOnly = true;
  QHostAddress group;
  quint16 discoveryPort = 0;
  quint16 onvifDiscoveryPort = protocol::OnvifPort;  // another port only to keep tests apart
  int restartMs = 3000;
  int answerSpreadMs = 100;
  int idleMs = 5000;  // a setup connection without a complete request for this long is closed
};

// The challenges of the MAC-addressed commands. A challenge carries its
// issue time, a running number and the camera's own MAC of both, so nothing
// is stored when it is issued and no flood of challenge requests can push
// out the one of a login in progress; spending one marks its number in a
// window of the latest numbers, so each is used once.
class ChallengeBook {
 public:
  static constexpr qint64 LifetimeMs = qint64{30} * 1000;
  static constexpr quint32 Window = 1u << 16;  // numbers issued after a challenge before it counts as lost

  ChallengeBook();
  QString Issue();
  // True when `challenge` is one of ours, fresh and not spent before; it is
  // spent by this call either way.
  bool Spend(const QString& challenge);

 private:
  QString Tagged(qint64 issuedMs, quint32 number) const;

  QByteArray secret_;
  QElapsedTimer clock_;
  quint32 next_ = 0;  // 24-bit running number
  std::vector<bool> spent_ = std::vector<bool>(Window);
};

class Camera : public QObject {
  Q_OBJECT

 public:
  Camera(CameraProfile profile, QJsonObject savedSettings, const SimOptions& options, const SettingsStore& store,
         SimLog& log, std::mt19937& random, AnswerScheduler& answers, QJsonArray onvifUsers = {},
         QObject* parent = nullptr);
  ~Camera() override;

  // Starts serving on the address of the saved settings.
  void Start();

  const QString& Mac() const { return profile_.mac; }
  // The address in force (the one it answers on).
  QString Address() const;
  bool Silent() const { return silent_; }

  // A request heard on the discovery channel, already checked field by field.
  void HandleDatagram(const protocol::Message& request);
  // Sends now, unless silent or the datagram is lost.
  void SendNow(const protocol::Message& message, const QHostAddress& to, quint16 port);

  // A datagram sent to the camera's own address on the WS-Discovery port:
  // the probe of a PC that multicast does not reach. Set before Start.
  using UnicastHandler = std::function<void(const QByteArray&, const QHostAddress&, quint16)>;
  UnicastHandler onOnvifUnicast;

  // ONVIF's side of the same camera: one account, one settings file.
  const CameraProfile& Profile() const { return profile_; }
  quint16 HttpPort() const {
    return profile_.httpPort != 0 ? profile_.httpPort : protocol::HttpPortForFamily(profile_.family);
  }
  const QJsonObject& SavedSettings() const { return saved_; }
  const QJsonObject& RunningSettings() const { return running_; }
  const QJsonArray& OnvifUsers() const { return onvifUsers_; }
  // Saves the settings and the further ONVIF users whole; the `inForce` keys
  // take effect at once, the others on the next start.
  bool SaveOnvif(const QJsonObject& settings, const QJsonArray& users, const QStringList& inForce, QString& error);
  // Silent for `silentMs`, then back on the saved settings.
  void RestartFor(int silentMs);
  int RestartMs() const { return options_.restartMs; }
  SettingsContext ContextForSettings() const { return {profile_.wireless, options_.loopbackOnly}; }
  // The account's one brake on guessing, for every way in: whether a login
  // arriving now is checked at all, and a checked login that was wrong.
  bool MayCheckLogin() { return guesses_.MayCheck(clock_.elapsed()); }
  void LoginWrong() { guesses_.Failed(clock_.elapsed()); }

 signals:
  // On its address: serving (WS-Discovery Hello), about to stop (Bye).
  void Started();
  void Stopping();

 private:
  struct Reply {
    int status = 200;
    QJsonObject body;
    QByteArrayList authenticate;  // WWW-Authenticate values of a 401
    bool restartAfter = false;    // restart once this answer is out
  };

  void HandleHttp(const QHttpServerRequest& request, QHttpServerResponder&& responder);
  QString ListenLinkLocal(quint16 port);
  Reply AnswerHttp(const QHttpServerRequest& request, QString& logDetail);
  Reply Apply(const QByteArray& body, QString& logDetail);
  bool Authorised(const QHttpServerRequest& request, Reply& refusal, QString& logDetail);
  QJsonValue SettingValue(const QString& key) const;

  // Discovery and MAC channel.
  bool Concerns(const protocol::Message& request) const;
  void AnswerProbe(const protocol::Message& probe, const QHostAddress& to, quint16 port);
  // A probe sent to the camera's own address is answered to its source.
  void AnswerUnicastProbe(const QByteArray& datagram, const QHostAddress& from, quint16 port);
  std::unique_ptr<QUdpSocket> ListenUnicast(quint16 port, UnicastHandler take);
  protocol::Message MacCommand(const protocol::Message& request, QString& logDetail);
  enum class Proof { Holds, Wrong, Unchecked };
  Proof CheckProof(const protocol::Message& request);
  static QString Refusal(Proof proof);
  void ChangeAddress(const protocol::Message& request, protocol::Message& reply);
  void ApplyKeptAddress(const protocol::Message& request, protocol::Message& reply);
  void SendToGroup(const protocol::Message& message, int delayMs);
  void SendLater(const protocol::Message& message, int delayMs, const QHostAddress& to, quint16 port);
  bool Dropped();

  // Saves `settings`; on failure leaves everything as it was.
  bool Save(const QJsonObject& settings, QString& error);
  // Silent for the restart time, then back on the saved address.
  void Restart();
  void Stop();

  CameraProfile profile_;
  QJsonObject saved_;      // what the settings file holds
  QJsonArray onvifUsers_;  // ONVIF users besides the administrator account
  QJsonObject running_;    // what was in force when the camera last started
  struct KeptAddress {
    QString address, mask, gateway;
  };
  std::optional<KeptAddress> kept_;  // from change-address, until apply
  const SimOptions& options_;
  const SettingsStore& store_;
  SimLog& log_;
  std::mt19937& random_;
  AnswerScheduler& answers_;
  DigestServer digest_;
  GuessBudget guesses_;
  std::unique_ptr<QHttpServer> http_;
  std::unique_ptr<OnvifService> onvif_;
  std::unique_ptr<QUdpSocket> sender_;
  std::unique_ptr<QUdpSocket> probeListener_;  // our own protocol's port on the camera's address
  std::unique_ptr<QUdpSocket> onvifListener_;  // WS-Discovery's port on the camera's address
  bool silent_ = true;
  ChallengeBook challenges_;
  struct CachedReply {
    qint64 atMs;
    protocol::Message reply;
  };
  QHash<QString, CachedReply> replies_;        // op + nonce -> reply, for repeated copies
  QHash<QString, CachedReply> provenReplies_;  // the same, of commands that spend a challenge
  QElapsedTimer clock_;
};

}  // namespace camd
