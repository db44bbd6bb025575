#include "camd/discovery.h"

#include <QJsonDocument>
#include <QNetworkDatagram>
#include <cerrno>

#include "camd/sim_log.h"
#include "protocol/multicast.h"
#include "protocol/protocol.h"

namespace camd {

AnswerScheduler::AnswerScheduler(SimLog& log, QObject* parent) : QObject(parent), log_(log) {
  clock_.start();
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &AnswerScheduler::sendDue);
}

void AnswerScheduler::post(std::function<void()> send, int delayMs) {
  if (queue_.size() >= MaxPending) {
    if (dropped_++ == 0)
      log_.line(QStringLiteral("sim answers queue full pending=%1: further answers are dropped").arg(queue_.size()));
    return;
  }
  const qint64 due = clock_.elapsed() + std::max(0, delayMs);
  const bool sooner = queue_.empty() || due < queue_.top().dueMs;
  queue_.push(Pending{due, posted_++, std::move(send)});
  if (sooner) arm();
}

void AnswerScheduler::sendDue() {
  const qint64 now = clock_.elapsed();
  while (!queue_.empty() && queue_.top().dueMs <= now) {
    const std::function<void()> send = queue_.top().send;
    queue_.pop();
    send();
  }
  if (dropped_ > 0 && queue_.size() < MaxPending) {
    log_.line(QStringLiteral("sim answers dropped=%1 while the queue was full").arg(dropped_));
    dropped_ = 0;
  }
  arm();
}

void AnswerScheduler::arm() {
  if (queue_.empty()) {
    timer_.stop();
    return;
  }
  timer_.start(static_cast<int>(std::max<qint64>(0, queue_.top().dueMs - clock_.elapsed())));
}

DiscoveryReceiver::DiscoveryReceiver(const SimOptions& options, SimLog& log, QObject* parent)
    : QObject(parent),
      options_(options),
      probes_(log, QStringLiteral("sim udp probe")),
      drops_(log, QStringLiteral("sim udp dropped")) {
  connect(&socket_, &QUdpSocket::readyRead, this, &DiscoveryReceiver::readPending);
}

bool DiscoveryReceiver::open(QString& error) {
  // Bound to the group, so unicast to the port is not ours; shared, so the
  // PC's component and other simulators on this host can listen too.
  if (!socket_.bind(options_.group, options_.discoveryPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) ||
      !socket_.joinMulticastGroup(options_.group, options_.interface)) {
    error = QStringLiteral("cannot listen on %1:%2 via %3: %4")
                .arg(options_.group.toString())
                .arg(options_.discoveryPort)
                .arg(options_.interface.name(), socket_.errorString());
    return false;
  }
  socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, protocol::ReceiveBufferBytes);
  // The cameras live on one interface: what another interface heard is not
  // for them.
  if (!protocol::HearJoinedInterfacesOnly(socket_.socketDescriptor())) {
    error = QStringLiteral("cannot confine the group to %1: %2").arg(options_.interface.name(), qt_error_string(errno));
    return false;
  }
  return true;
}

void DiscoveryReceiver::readPending() {
  // What is left waits for the next turn: the socket signals again.
  for (int read = 0; read < protocol::DatagramsPerTurn && socket_.hasPendingDatagrams(); ++read) {
    const QNetworkDatagram datagram = socket_.receiveDatagram(protocol::MaxDatagramBytes + 1);
    dispatch(datagram.data(), datagram.senderAddress());
  }
}

void DiscoveryReceiver::dispatch(const QByteArray& datagram, const QHostAddress& from) {
  // The cameras' own discovery answers come back through the group, one per
  // camera and probe copy: skip them before the costly parse. The marker
  // cannot appear inside a JSON text, where quotes are escaped.
  if (datagram.contains(R"("op":"here")")) return;
  const protocol::Parsed parsed = protocol::ParseDatagram(datagram);
  if (!parsed.message) {
    drops_.line(QStringLiteral("from=%1 reason=%2").arg(from.toString(), LogSafe(parsed.error, 80)));
    return;
  }
  const protocol::Message& message = *parsed.message;
  // Replies to MAC commands come back through the group too.
  if (protocol::IsReply(message.kind)) return;
  if (message.kind == protocol::Kind::Probe)
    probes_.line(QStringLiteral("nonce=%1 from=%2").arg(message.nonce, from.toString()));
  for (Camera* camera : cameras_) camera->handleDatagram(message);
}

}  // namespace camd
