#pragma once
// WS-Discovery for the fleet's ONVIF cameras: one socket on the group
// 239.255.255.250:3702 of the cameras' interface reads every Probe (and each
// camera hears the port on its own address, for a PC multicast does not
// reach); each
// ONVIF camera that matches answers with a ProbeMatches sent unicast to the
// probe's source from its own address, after a random delay of 0-500 ms.
// The answers wait in the simulator's one answer queue (AnswerScheduler);
// probes are taken freshest first and only while that queue has room for
// every camera's answer, and one that waited over 500 ms is dropped, so a
// flood of probes cannot make the simulator deaf.
//
// Cameras that offer IPv6 link-local (ipv6LinkLocal) also answer probes to
// [ff02::c]:3702 on the interface, from its link-local address, with an
// XAddr there besides the IPv4 one.
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "camd/camera.h"
#include "camd/discovery.h"
#include "camd/sim_log.h"

namespace camd {

// A Probe any NetworkVideoTransmitter or Device answers: its MessageID and
// the scopes it asks for.
struct Probe {
  QString messageId;
  QStringList scopes;
};
// The Probe in `datagram`, or nothing and `error` says why.
std::optional<Probe> ReadProbe(const QByteArray& datagram, QString& error);
// The ProbeMatches of one camera to the Probe `relatesTo`; with a
// linkLocal, its device service there is a second XAddr.
QByteArray ProbeMatches(const Camera& camera, const QString& relatesTo, const QHostAddress& linkLocal = {});
// A camera's own word on the group: Hello (with its XAddr) when it starts on
// an address, Bye when it leaves it.
enum class AnnouncementKind { Hello, Bye };
QByteArray Announcement(const Camera& camera, AnnouncementKind kind);

class OnvifDiscovery : public QObject {
  Q_OBJECT

 public:
  OnvifDiscovery(const SimOptions& options, SimLog& log, std::mt19937& random, AnswerScheduler& answers,
                 QObject* parent = nullptr);

  bool Open(QString& error);
  // The group [ff02::c] on the interface, for the cameras that offer IPv6
  // link-local; fails where the interface has no link-local address.
  bool OpenIPv6(QString& error);
  // Also hears the probes sent to the camera's own address. An ONVIF camera
  // says Hello whenever it starts on an address and Bye whenever it
  // stops (a restart, a new address).
  void AddCamera(Camera* camera);
  // Every ONVIF camera still serving says Bye: the simulator is ending.
  void ByeAll();

 private:
  void ReadPending();
  void ReadPendingIPv6();
  void Wait(Heard heard, qint64 now);
  void HandleWaiting();
  // To every ONVIF camera, or to `only` (a probe sent to its address).
  void Dispatch(const QByteArray& datagram, const QHostAddress& from, quint16 port, Camera* only = nullptr);
  void Answer(Camera& camera, const QHostAddress& to, quint16 port, const QString& relatesTo);
  QUdpSocket* SenderFor(const QString& address);
  void Announce(const Camera& camera, AnnouncementKind kind);

  const SimOptions& options_;
  SimLog& log_;
  CappedLines probes_;
  CappedLines drops_;
  CappedLines stale_;
  std::mt19937& random_;
  GroupSocket socket_;
  QUdpSocket socket6_;
  QHostAddress linkLocal_;  // the interface's, scoped; null without IPv6
  FreshRequests waiting_;
  std::vector<Camera*> cameras_;
  AnswerScheduler& answers_;
  QElapsedTimer clock_;
  // A probe heard lately (MessageID and source), when, and the cameras that
  // were restarting then: they did not hear it and answer a later copy.
  struct RecentProbe {
    QString key;
    qint64 at = 0;
    std::vector<Camera*> deaf;
  };
  std::deque<RecentProbe> recent_;                       // oldest first
  QHash<QString, std::shared_ptr<QUdpSocket>> senders_;  // camera address -> socket bound to it
  QHash<const Camera*, QStringList> scopes_;             // each camera's scopes, fixed for its life
};

}  // namespace camd
