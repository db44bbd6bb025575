#pragma once
// The simulator's one receiver on the discovery group: it reads every
// datagram, drops what is not a well-formed request, and hands the rest to
// the cameras it concerns. Shared with other listeners on the same port.
#include <QObject>
#include <QUdpSocket>
#include <vector>

#include "camd/camera.h"

namespace camd {

class DiscoveryReceiver : public QObject {
  Q_OBJECT

 public:
  DiscoveryReceiver(const SimOptions& options, SimLog& log, QObject* parent = nullptr);

  bool open(QString& error);
  void addCamera(Camera* camera) { cameras_.push_back(camera); }

 private:
  void readPending();
  void dispatch(const QByteArray& datagram, const QHostAddress& from);

  const SimOptions& options_;
  SimLog& log_;
  QUdpSocket socket_;
  std::vector<Camera*> cameras_;
};

}  // namespace camd
