#include "camd/discovery.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "camd/sim_log.h"
#include "protocol/multicast.h"
#include "protocol/protocol.h"

namespace camd {

AnswerScheduler::AnswerScheduler(SimLog& log, QObject* parent) : QObject(parent), log_(log) {
  clock_.start();
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &AnswerScheduler::SendDue);
}

void AnswerScheduler::Post(std::function<void()> send, int delayMs) {
  if (queue_.size() >= MaxPending) {
    if (dropped_++ == 0)
      log_.Line(QStringLiteral("sim answers queue full pending=%1: further answers are dropped").arg(queue_.size()));
    return;
  }
  const qint64 due = clock_.elapsed() + std::max(0, delayMs);
  const bool sooner = queue_.empty() || due < queue_.top().dueMs;
  queue_.push(Pending{due, posted_++, std::move(send)});
  ++perSlot_[due / SlotMs];
  if (sooner) Arm();
}

bool AnswerScheduler::HasRoomFor(size_t count) const {
  if (queue_.empty()) return true;
  if (queue_.size() + count > FullAt) return false;
  size_t dueSoon = count;
  const qint64 limit = (clock_.elapsed() + NearMs) / SlotMs;
  for (auto slot = perSlot_.begin(); slot != perSlot_.end() && slot->first <= limit && dueSoon <= BusyAt; ++slot)
    dueSoon += slot->second;
  return dueSoon <= BusyAt;
}

void AnswerScheduler::SendDue() {
  const qint64 now = clock_.elapsed();
  for (int sentNow = 0; sentNow < SentPerTurn && !queue_.empty() && queue_.top().dueMs <= now; ++sentNow) {
    const std::function<void()> send = queue_.top().send;
    if (auto slot = perSlot_.find(queue_.top().dueMs / SlotMs); slot != perSlot_.end() && --slot->second == 0)
      perSlot_.erase(slot);
    queue_.pop();
    send();
  }
  emit Sent();
  if (dropped_ > 0 && queue_.size() < MaxPending) {
    log_.Line(QStringLiteral("sim answers dropped=%1 while the queue was full").arg(dropped_));
    dropped_ = 0;
  }
  Arm();
}

void AnswerScheduler::Arm() {
  if (queue_.empty()) {
    timer_.stop();
    return;
  }
  timer_.start(static_cast<int>(std::max<qint64>(0, queue_.top().dueMs - clock_.elapsed())));
}

QHostAddress LinkLocalOf(const QNetworkInterface& interface) {
  for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
    QHostAddress address = entry.ip();
    if (address.protocol() != QAbstractSocket::IPv6Protocol || !address.isLinkLocal()) continue;
    address.setScopeId(interface.name());
    return address;
  }
  return {};
}

qint64 RealtimeMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return qint64{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

GroupSocket::~GroupSocket() {
  notifier_.reset();
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool GroupSocket::Open(const QHostAddress& group, quint16 port, const QNetworkInterface& interface, QString& error) {
  const auto fail = [&](const char* step) {
    error = QStringLiteral("cannot listen on %1:%2 via %3: %4 %5")
                .arg(group.toString())
                .arg(port)
                .arg(interface.name(), QLatin1String(step), qt_error_string(errno));
    return false;
  };
  descriptor_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor_ < 0) return fail("socket");
  const int on = 1;
  // Shared, so the PC's component and other simulators on this host can listen too.
  if (::setsockopt(descriptor_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("SO_REUSEADDR");
  if (::setsockopt(descriptor_, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on) != 0) return fail("SO_TIMESTAMP");
  const int buffer = protocol::ReceiveBufferBytes;
  ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);  // the kernel may give less
  // Bound to the group, so unicast to the port is not ours.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(group.toIPv4Address());
  if (::bind(descriptor_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return fail("bind");
  ip_mreqn membership{};
  membership.imr_multiaddr = address.sin_addr;
  membership.imr_ifindex = interface.index();
  if (::setsockopt(descriptor_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
    return fail("join");
  // The cameras live on one interface: what another interface heard is not for them.
  if (!protocol::HearJoinedInterfacesOnly(descriptor_)) return fail("IP_MULTICAST_ALL");
  notifier_ = std::make_unique<QSocketNotifier>(descriptor_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &GroupSocket::Readable);
  return true;
}

std::vector<Heard> GroupSocket::Read(int max) {
  std::vector<Heard> heard;
  // Any UDP payload fits: what is too large is told by its size.
  QByteArray buffer(qsizetype{64} * 1024, Qt::Uninitialized);
  for (int i = 0; i < max; ++i) {
    sockaddr_in from{};
    iovec part{buffer.data(), static_cast<size_t>(buffer.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timeval))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t size = ::recvmsg(descriptor_, &message, MSG_DONTWAIT | MSG_TRUNC);
    if (size < 0) break;  // nothing more waits (or an error the next turn meets again)
    qint64 receivedMs = RealtimeMs();
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_TIMESTAMP) continue;
      timeval stamp{};
      std::memcpy(&stamp, CMSG_DATA(header), sizeof stamp);
      receivedMs = qint64{stamp.tv_sec} * 1000 + stamp.tv_usec / 1000;
    }
    const qsizetype kept = std::min<qsizetype>(size, buffer.size());
    heard.push_back(
        Heard{buffer.first(kept), QHostAddress(ntohl(from.sin_addr.s_addr)), ntohs(from.sin_port), receivedMs});
  }
  return heard;
}

void FreshRequests::Push(Heard heard, qint64 nowMs) {
  if (nowMs - heard.receivedMs > MaxWaitMs) {
    ++dropped_;
    return;
  }
  if (waiting_.size() >= Capacity) {
    waiting_.pop_front();
    ++dropped_;
  }
  waiting_.push_back(std::move(heard));
}

std::optional<Heard> FreshRequests::TakeFreshest(qint64 nowMs) {
  while (!waiting_.empty() && nowMs - waiting_.front().receivedMs > MaxWaitMs) {
    waiting_.pop_front();
    ++dropped_;
  }
  if (waiting_.empty()) return std::nullopt;
  Heard freshest = std::move(waiting_.back());
  waiting_.pop_back();
  return freshest;
}

DiscoveryReceiver::DiscoveryReceiver(const SimOptions& options, SimLog& log, AnswerScheduler& answers, QObject* parent)
    : QObject(parent),
      options_(options),
      answers_(answers),
      probes_(log, QStringLiteral("sim udp probe")),
      drops_(log, QStringLiteral("sim udp dropped")),
      stale_(log, QStringLiteral("sim udp stale")) {
  connect(&socket_, &GroupSocket::Readable, this, &DiscoveryReceiver::ReadPending);
  connect(&answers_, &AnswerScheduler::Sent, this, &DiscoveryReceiver::HandleWaiting);
}

bool DiscoveryReceiver::Open(QString& error) {
  return socket_.Open(options_.group, options_.discoveryPort, options_.interface, error);
}

void DiscoveryReceiver::ReadPending() {
  const qint64 now = RealtimeMs();
  for (Heard& heard : socket_.Read(GroupSocket::ReadPerTurn)) {
    // The cameras' own discovery answers come back through the group, one
    // per camera and probe copy: skip them before anything else. The marker
    // cannot appear inside a JSON text, where quotes are escaped.
    if (heard.data.contains(R"("op":"here")")) continue;
    waiting_.Push(std::move(heard), now);
  }
  HandleWaiting();
}

void DiscoveryReceiver::HandleWaiting() {
  const qint64 now = RealtimeMs();
  while (answers_.HasRoomFor(cameras_.size())) {
    std::optional<Heard> next = waiting_.TakeFreshest(now);
    if (!next) break;
    Dispatch(next->data, next->from);
  }
  if (const quint64 dropped = waiting_.TakeDropped(); dropped > 0)
    stale_.Line(QStringLiteral("dropped=%1 waited over ms=%2 or pushed out by newer")
                    .arg(dropped)
                    .arg(FreshRequests::MaxWaitMs));
}

void DiscoveryReceiver::Dispatch(const QByteArray& datagram, const QHostAddress& from) {
  const protocol::Parsed parsed = protocol::ParseDatagram(datagram);
  if (!parsed.message) {
    drops_.Line(QStringLiteral("from=%1 reason=%2").arg(from.toString(), LogSafe(parsed.error, 80)));
    return;
  }
  const protocol::Message& message = *parsed.message;
  // Replies to MAC commands come back through the group too.
  if (protocol::IsReply(message.kind)) return;
  if (message.kind == protocol::Kind::Probe)
    probes_.Line(QStringLiteral("nonce=%1 from=%2").arg(message.nonce, from.toString()));
  for (Camera* camera : cameras_) camera->HandleDatagram(message);
}

}  // namespace camd
