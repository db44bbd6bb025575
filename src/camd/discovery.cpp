#include "camd/discovery.h"

#include <QJsonDocument>
#include <QNetworkDatagram>

#include "camd/sim_log.h"
#include "protocol/protocol.h"

namespace camd {
DiscoveryReceiver::DiscoveryReceiver(const SimOptions& options, SimLog& log, QObject* parent)
    : QObject(parent), options_(options), log_(log) {
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
  return true;
}

void DiscoveryReceiver::readPending() {
  while (socket_.hasPendingDatagrams()) {
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
    log_.line(QStringLiteral("sim udp dropped from=%1 reason=%2").arg(from.toString(), LogSafe(parsed.error, 80)));
    return;
  }
  const protocol::Message& message = *parsed.message;
  // Replies to MAC commands come back through the group too.
  if (protocol::IsReply(message.kind)) return;
  if (message.kind == protocol::Kind::Probe)
    log_.line(QStringLiteral("sim udp probe nonce=%1 from=%2").arg(message.nonce, from.toString()));
  for (Camera* camera : cameras_) camera->handleDatagram(message);
}

}  // namespace camd
