#pragma once
// WS-Discovery for the fleet's ONVIF cameras: one socket on the group
// 239.255.255.250:3702 of the cameras' interface reads every Probe; each
// ONVIF camera that matches answers with a ProbeMatches sent unicast to the
// probe's source from its own address, after a random delay of 0-500 ms.
// All pending answers wait in one queue served by one timer, and the queue
// is capped, so a flood of probes cannot make the simulator deaf.
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
#include "camd/onvif_xml.h"

namespace camd {

class SimLog;

// A Probe any NetworkVideoTransmitter or Device answers: its MessageID and
// the scopes it asks for.
struct Probe {
  QString messageId;
  QStringList scopes;
};
// The Probe in `datagram`, or nothing and `error` says why.
std::optional<Probe> ReadProbe(const QByteArray& datagram, QString& error);
// The ProbeMatches of one camera to the Probe `relatesTo`.
QByteArray ProbeMatches(const Camera& camera, const QString& relatesTo);

class OnvifDiscovery : public QObject {
  Q_OBJECT

 public:
  OnvifDiscovery(const SimOptions& options, SimLog& log, std::mt19937& random, QObject* parent = nullptr);

  bool open(QString& error);
  void addCamera(Camera* camera) { cameras_.push_back(camera); }

 private:
  struct Pending {
    Camera* camera;
    QHostAddress to;
    quint16 port;
    QString relatesTo;
  };
  void readPending();
  void dispatch(const QByteArray& datagram, const QHostAddress& from, quint16 port);
  void schedule();
  void sendDue();
  QUdpSocket* senderFor(const QString& address);

  const SimOptions& options_;
  SimLog& log_;
  std::mt19937& random_;
  QUdpSocket socket_;
  std::vector<Camera*> cameras_;
  std::multimap<qint64, Pending> queue_;  // due time -> answer
  QTimer timer_;
  QElapsedTimer clock_;
  std::deque<std::pair<QString, qint64>> recent_;  // probes answered lately (MessageID and source) and when, oldest first
  QHash<QString, std::shared_ptr<QUdpSocket>> senders_;  // camera address -> socket bound to it
  QHash<const Camera*, QStringList> scopes_;             // each camera's scopes, fixed for its life
};

}  // namespace camd
