#pragma once
// The simulator's one receiver on the discovery group: it reads every
// datagram, drops what is not a well-formed request, and hands the rest to
// the cameras it concerns. Shared with other listeners on the same port.
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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
  static constexpr size_t MaxPending = size_t{32} * 1024;  // a fleet of 4096 answering every copy of a search fits

  explicit AnswerScheduler(SimLog& log, QObject* parent = nullptr);

  // Runs `send` after `delayMs`; dropped (and counted) when the queue is full.
  void Post(std::function<void()> send, int delayMs);
  size_t PendingCount() const { return queue_.size(); }
  // Receivers take a new request only while fewer than this many answers
  // are due now or within NearMs (well under a tenth of a second of
  // sending), so the answers to a new search are never held up behind the
  // answers to a flood. Answers due later (a WS-Discovery answer waits up
  // to 500 ms) do not hold a new request up.
  // And only while fewer than FullAt answers wait in all: what one turn of
  // WS-Discovery's 500 ms can send, so the sender never falls behind.
  static constexpr size_t BusyAt = size_t{2} * 1024;
  static constexpr qint64 NearMs = 50;
  static constexpr size_t FullAt = size_t{8} * 1024;
  // Answers sent per turn of the event loop at most, so that the receivers
  // read in between.
  static constexpr int SentPerTurn = 1024;
  // Whether the answers to a request of `count` answers fit now (an empty
  // queue takes any number).
  bool HasRoomFor(size_t count) const;

 signals:
  // Some answers went out: there may be room again.
  void Sent();

 private:
  struct Pending {
    qint64 dueMs;
    quint64 order;  // equal times go out in the order they were posted
    std::function<void()> send;
    bool operator>(const Pending& other) const {
      return dueMs != other.dueMs ? dueMs > other.dueMs : order > other.order;
    }
  };
  void SendDue();
  void Arm();

  SimLog& log_;
  QElapsedTimer clock_;
  QTimer timer_;
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> queue_;
  std::map<qint64, size_t> perSlot_;  // how many are due in each SlotMs from the clock's start
  static constexpr qint64 SlotMs = 10;
  quint64 posted_ = 0;
  quint64 dropped_ = 0;  // since the queue last had room
};

// A datagram heard on a discovery group, and when the kernel received it.
struct Heard {
  QByteArray data;
  QHostAddress from;
  quint16 port = 0;
  qint64 receivedMs = 0;  // CLOCK_REALTIME, ms since the epoch
};

// The interface's IPv6 link-local address with the interface as its scope;
// null when it has none.
QHostAddress LinkLocalOf(const QNetworkInterface& interface);

// The wall clock the kernel stamps datagrams with, in ms.
qint64 RealtimeMs();

// The simulator's socket on a discovery group: joined on the cameras'
// interface only and hearing nothing another interface heard, shared with
// other listeners on the port, and telling when the kernel received each
// datagram, so a request that waited too long in the receive buffer is
// known as such before it is read any further.
class GroupSocket : public QObject {
  Q_OBJECT

 public:
  // Datagrams a receiver reads per turn of the event loop: enough to empty
  // a flooded receive buffer in one turn, so that a new request finds room
  // in it, few enough (a few ms of reading) that timers still run.
  static constexpr int ReadPerTurn = 8 * 1024;

  explicit GroupSocket(QObject* parent = nullptr) : QObject(parent) {}
  ~GroupSocket() override;
  bool Open(const QHostAddress& group, quint16 port, const QNetworkInterface& interface, QString& error);
  // Up to `max` of the datagrams waiting now, oldest first.
  std::vector<Heard> Read(int max);

 signals:
  void Readable();

 private:
  int descriptor_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

// Requests heard and not yet handled. A flood leaves the newest: the
// freshest is handled first, the oldest is dropped when more arrive than fit,
// and one that waited longer than its answer could matter is dropped
// unanswered (a search has ended by then, a MAC command was sent again).
class FreshRequests {
 public:
  static constexpr qint64 MaxWaitMs = 500;
  static constexpr size_t Capacity = 256;

  // Takes `heard` unless it waited too long already.
  void Push(Heard heard, qint64 nowMs);
  // The freshest request that has not waited too long.
  std::optional<Heard> TakeFreshest(qint64 nowMs);
  bool Empty() const { return waiting_.empty(); }
  // How many were dropped since the last call.
  quint64 TakeDropped() { return std::exchange(dropped_, 0); }

 private:
  std::deque<Heard> waiting_;  // oldest first
  quint64 dropped_ = 0;
};

class DiscoveryReceiver : public QObject {
  Q_OBJECT

 public:
  DiscoveryReceiver(const SimOptions& options, SimLog& log, AnswerScheduler& answers, QObject* parent = nullptr);

  bool Open(QString& error);
  void AddCamera(Camera* camera) { cameras_.push_back(camera); }

 private:
  void ReadPending();
  // Hands the freshest requests to the cameras while the answer queue has
  // room for every camera's answer.
  void HandleWaiting();
  void Dispatch(const QByteArray& datagram, const QHostAddress& from);

  const SimOptions& options_;
  AnswerScheduler& answers_;
  CappedLines probes_;
  CappedLines drops_;
  CappedLines stale_;
  GroupSocket socket_;
  FreshRequests waiting_;
  std::vector<Camera*> cameras_;
};

}  // namespace camd
