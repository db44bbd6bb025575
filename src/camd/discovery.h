#pragma once
// The simulator's one receiver on the discovery group: it reads every
// datagram, drops what is not a well-formed request, and hands the rest to
// the cameras it concerns. Shared with other listeners on the same port.
#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <QTimer>
#include <QUdpSocket>
#include <queue>
#include <vector>

#include "camd/camera.h"
#include "camd/sim_log.h"
#include "protocol/wire.h"

namespace camd {

// Every camera's delayed datagrams (discovery answers spread over time,
// replies of a camera that answers slowly) wait here under one timer, so a
// flood of probes costs a queue entry per answer rather than a timer. The
// queue is bounded: what a flood adds beyond it is dropped and counted.
class AnswerScheduler : public QObject {
  Q_OBJECT

 public:
  static constexpr size_t MaxPending = 32 * 1024;  // a fleet of 4096 answering every copy of a search fits

  explicit AnswerScheduler(SimLog& log, QObject* parent = nullptr);

  // Runs `send` after `delayMs`; dropped (and counted) when the queue is full.
  void post(std::function<void()> send, int delayMs);
  size_t pending() const { return queue_.size(); }

 private:
  struct Pending {
    qint64 dueMs;
    quint64 order;  // equal times go out in the order they were posted
    std::function<void()> send;
    bool operator>(const Pending& other) const {
      return dueMs != other.dueMs ? dueMs > other.dueMs : order > other.order;
    }
  };
  void sendDue();
  void arm();

  SimLog& log_;
  QElapsedTimer clock_;
  QTimer timer_;
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> queue_;
  quint64 posted_ = 0;
  quint64 dropped_ = 0;  // since the queue last had room
};

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
  CappedLines probes_;
  CappedLines drops_;
  QUdpSocket socket_;
  std::vector<Camera*> cameras_;
};

}  // namespace camd
