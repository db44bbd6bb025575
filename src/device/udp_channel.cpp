#include "device/udp_channel.h"

#include <QNetworkDatagram>
#include <cerrno>

#include "device/device_log.h"
#include "protocol/multicast.h"
#include "protocol/wire.h"

namespace device {
UdpChannel::UdpChannel(const NetOptions& options, const InterfaceChoice& choice)
    : options_(options), choice_(choice), group_(options.group) {}

bool UdpChannel::Open(QString& error) {
  if (group_.protocol() != QAbstractSocket::IPv4Protocol || !group_.isMulticast()) {
    error = QStringLiteral("group %1 is not an IPv4 multicast address").arg(options_.group);
    return false;
  }
  if (choice_.interfaces.empty()) {
    error = choice_.error.isEmpty() ? QStringLiteral("no usable interface") : choice_.error;
    return false;
  }
  // Bound to the group itself, the socket hears nothing but the group.
  if (!receiver_.bind(group_, options_.port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
    error = QStringLiteral("cannot listen on port %1: %2").arg(options_.port).arg(receiver_.errorString());
    return false;
  }
  receiver_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, protocol::ReceiveBufferBytes);
  if (!protocol::HearJoinedInterfacesOnly(receiver_.socketDescriptor())) {
    error = QStringLiteral("cannot confine the group to the chosen interfaces: %1").arg(qt_error_string(errno));
    return false;
  }
  bool joined = false;
  for (const ChosenInterface& chosen : choice_.interfaces) {
    if (receiver_.joinMulticastGroup(group_, chosen.interface)) {
      joined = true;
    } else {
      qCWarning(lcDiscovery) << "cannot join" << options_.group << "on" << chosen.interface.name() << ":"
                             << receiver_.errorString();
    }
    for (const SourceAddress& source : chosen.sources) {
      auto sender = std::make_unique<QUdpSocket>();
      if (!sender->bind(source.address, 0)) {
        qCWarning(lcDiscovery) << "cannot send from" << source.address.toString() << ":" << sender->errorString();
        continue;
      }
      sender->setMulticastInterface(chosen.interface);
      sender->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
      sender->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
      senders_.push_back({std::move(sender), choice_.loopbackOnly ? QHostAddress() : source.broadcast});
    }
  }
  if (!joined || senders_.empty()) {
    error = QStringLiteral("cannot use the group %1 on the chosen interfaces").arg(options_.group);
    return false;
  }
  QObject::connect(&receiver_, &QUdpSocket::readyRead, &receiver_, [this] { ReadPending(); });
  return true;
}

void UdpChannel::Send(const QByteArray& datagram) {
  for (const Sender& sender : senders_) {
    if (sender.socket->writeDatagram(datagram, group_, options_.port) < 0) {
      qCWarning(lcDiscovery) << "send to the group failed:" << sender.socket->errorString();
    }
    if (!sender.broadcast.isNull()) sender.socket->writeDatagram(datagram, sender.broadcast, options_.port);
  }
}

void UdpChannel::ReadPending() {
  if (onHeard) onHeard();
  // What is left waits for the next turn: the socket signals again.
  for (int read = 0; read < protocol::DatagramsPerTurn && receiver_.hasPendingDatagrams(); ++read) {
    // One byte more than allowed tells an oversized datagram from a full one.
    const QNetworkDatagram datagram = receiver_.receiveDatagram(protocol::MaxDatagramBytes + 1);
    const QHostAddress from = datagram.senderAddress();
    ++heard_;
    // Before the costly parse: a datagram without the exchange's nonce is
    // not ours (a nonce is hex, which JSON never escapes).
    if (!nonce_.isEmpty() && !datagram.data().contains(nonce_)) {
      Drop(QStringLiteral("not for this exchange"), from);
      continue;
    }
    if (skipParse && skipParse(datagram.data(), from)) continue;
    const protocol::Parsed parsed = protocol::ParseDatagram(datagram.data());
    if (!parsed.message) {
      Drop(parsed.error, from);
      continue;
    }
    if (onMessage) {
      onMessage(*parsed.message, from, QNetworkInterface::interfaceNameFromIndex(datagram.interfaceIndex()));
    }
  }
}

}  // namespace device
