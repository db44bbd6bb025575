#include "device/announcements.h"

#include <QNetworkDatagram>
#include <cerrno>
#include <optional>

#include "device/onvif_discovery.h"
#include "protocol/multicast.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"

namespace device {
namespace {

// WS-Discovery is SOAP over UDP: one datagram, at most 64 KiB.
constexpr int MaxAnnouncementBytes = 65507;

}  // namespace

AnnouncementListener::AnnouncementListener(const NetOptions& options)
    : options_(options), choice_(ChooseInterfaces(options.interfaceNames)) {}

bool AnnouncementListener::Open(QString& error) {
  const QHostAddress group(options_.onvifGroup);
  if (options_.onvifPort == 0) {
    error = QStringLiteral("no WS-Discovery port");
    return false;
  }
  if (group.protocol() != QAbstractSocket::IPv4Protocol || !group.isMulticast()) {
    error = QStringLiteral("WS-Discovery group %1 is not an IPv4 multicast address").arg(options_.onvifGroup);
    return false;
  }
  if (choice_.interfaces.empty()) {
    error = choice_.error.isEmpty() ? QStringLiteral("no usable interface") : choice_.error;
    return false;
  }
  // Bound to the group itself, the socket hears nothing but the group; the
  // port is shared with the cameras of a simulator and other programs.
  if (!socket_.bind(group, options_.onvifPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
    error = QStringLiteral("cannot listen on port %1: %2").arg(options_.onvifPort).arg(socket_.errorString());
    return false;
  }
  socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, protocol::ReceiveBufferBytes);
  if (!protocol::HearJoinedInterfacesOnly(socket_.socketDescriptor())) {
    error = QStringLiteral("cannot confine the group to the chosen interfaces: %1").arg(qt_error_string(errno));
    return false;
  }
  for (const ChosenInterface& chosen : choice_.interfaces) {
    if (socket_.joinMulticastGroup(group, chosen.interface)) {
      chosen_.insert(chosen.interface.index(), chosen.interface.name());
    } else {
      qCWarning(lcDiscovery) << "cannot hear announcements on" << chosen.interface.name() << ":"
                             << socket_.errorString();
    }
  }
  if (chosen_.isEmpty()) {
    error = QStringLiteral("cannot join %1 on the chosen interfaces").arg(options_.onvifGroup);
    socket_.close();
    return false;
  }
  second_.start();
  QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] { ReadPending(); });
  return true;
}

void AnnouncementListener::ReadPending() {
  // What is left waits for the next turn: the socket signals again.
  for (int taken = 0; taken < protocol::DatagramsPerTurn && socket_.hasPendingDatagrams(); ++taken) {
    const QNetworkDatagram datagram = socket_.receiveDatagram(MaxAnnouncementBytes + 1);
    const QHostAddress from = datagram.senderAddress();
    const auto chosen = chosen_.constFind(static_cast<int>(datagram.interfaceIndex()));
    if (chosen == chosen_.constEnd() && !(chosen_.size() == 1 && datagram.interfaceIndex() == 0)) {
      drops_.Drop(QStringLiteral("heard on an interface not chosen"), from);
      continue;
    }
    if (choice_.loopbackOnly && !protocol::IsLoopback(QHostAddress(from.toIPv4Address()).toString())) {
      drops_.Drop(QStringLiteral("from outside the loopback network"), from);
      continue;
    }
    // Before the costly XML read: probes, answers and other traffic of the
    // group name neither.
    if (!datagram.data().contains("Hello") && !datagram.data().contains("Bye")) continue;
    if (!WithinRate()) {
      drops_.Drop(QStringLiteral("over %1 announcements in a second").arg(MaxAnnouncementsPerSecond), from);
      continue;
    }
    Take(datagram.data(), from, chosen == chosen_.constEnd() ? chosen_.begin().value() : chosen.value());
  }
}

bool AnnouncementListener::WithinRate() {
  if (second_.elapsed() >= 1000) {
    second_.restart();
    parsedThisSecond_ = 0;
  }
  return ++parsedThisSecond_ <= MaxAnnouncementsPerSecond;
}

void AnnouncementListener::Take(const QByteArray& datagram, const QHostAddress& from, const QString& interfaceName) {
  if (datagram.size() > MaxAnnouncementBytes) {
    drops_.Drop(QStringLiteral("larger than a datagram may be"), from);
    return;
  }
  const onvif::Announcement read = onvif::ReadAnnouncement(datagram);
  if (!read.error.isEmpty()) {
    drops_.Drop(read.error, from);
    return;
  }
  if (read.kind == onvif::Announcement::Kind::Bye) {
    qCDebug(lcDiscovery).noquote() << "Bye from" << read.match.endpoint.left(80) << "at" << from.toString();
    if (onBye) onBye(read.match.endpoint);
    return;
  }
  std::optional<FoundCamera> camera = onvif::CameraFromMatch(read.match, from);
  if (!camera) {
    drops_.Drop(QStringLiteral("%1 is not a camera (types %2)")
                    .arg(read.match.endpoint.left(80), read.match.types.join(u' ').left(80)),
                from);
    return;
  }
  camera->origin = FoundCamera::Origin::Announced;
  camera->interfaceName = interfaceName;
  qCDebug(lcDiscovery).noquote() << "Hello from" << camera->endpoint.left(80) << "at" << camera->address << "on"
                                 << interfaceName;
  if (onHello) onHello(*camera);
}

}  // namespace device
