#include "device/onvif_discovery.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QUrl>
#include <QUuid>
#include <algorithm>

#include "device/device_log.h"
#include "device/onvif_soap.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"

namespace device::onvif {
namespace {

// WS-Discovery answers are SOAP over UDP: one datagram, at most 64 KiB.
constexpr int MaxMatchBytes = 65507;

// Probe types are ANDed by the cameras, so each type has a probe of its own:
// a camera that only calls itself one of them is found all the same.
constexpr const char16_t* ProbeTypes[] = {u"dn:NetworkVideoTransmitter", u"tds:Device"};

bool IsCameraType(const QString& qname) {
  const QString local = qname.mid(qname.lastIndexOf(u':') + 1);
  return local == u"NetworkVideoTransmitter" || local == u"Device";
}

bool IsLinkLocal(uint32_t ip) { return (ip >> 16) == 0xa9fe; }  // 169.254.0.0/16

QStringList Words(const QString& text) { return text.split(QRegularExpression(u"\\s+"_qs), Qt::SkipEmptyParts); }

}  // namespace

QByteArray ProbeMessage(const QString& messageId, const QString& type) {
  return QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
             "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
             "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
             "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
             "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
             "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"><s:Header>"
             "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
             "<a:MessageID>%1</a:MessageID>"
             "<a:ReplyTo><a:Address>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:Address>"
             "</a:ReplyTo><a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
             "</s:Header><s:Body><d:Probe><d:Types>%2</d:Types></d:Probe></s:Body></s:Envelope>")
      .arg(protocol::XmlEscaped(messageId), type)
      .toUtf8();
}

ProbeMatches ReadProbeMatches(const QByteArray& datagram) {
  ProbeMatches read;
  // Before the costly XML read: each match names "ProbeMatch" in its start
  // and end tags, the ProbeMatches around them twice more.
  if (datagram.count("ProbeMatch") > 2 * MaxMatchesPerAnswer + 2) {
    read.error = QStringLiteral("more than %1 matches in one answer").arg(MaxMatchesPerAnswer);
    return read;
  }
  protocol::XmlLimits limits;
  limits.maxBytes = MaxMatchBytes;
  const protocol::SoapRead soap = protocol::ReadSoap(datagram, limits);
  if (!soap.message) {
    read.error = soap.error;
    return read;
  }
  const XmlElement* matches = soap.message->body.Child(u"ProbeMatches", Ns::Discovery);
  if (!matches) {
    read.error = QStringLiteral("no ProbeMatches in the body");
    return read;
  }
  read.relatesTo = soap.message->header.ChildText(u"RelatesTo", Ns::Addressing);
  for (const XmlElement* match : matches->Children(u"ProbeMatch", Ns::Discovery)) {
    ProbeMatch one;
    if (const XmlElement* reference = match->Child(u"EndpointReference", Ns::Addressing)) {
      one.endpoint = reference->ChildText(u"Address", Ns::Addressing);
    }
    if (one.endpoint.isEmpty() || one.endpoint.size() > protocol::MaxErrorUnits) continue;
    one.types = Words(match->ChildText(u"Types", Ns::Discovery));
    one.scopes = Words(match->ChildText(u"Scopes", Ns::Discovery));
    one.xaddrs = Words(match->ChildText(u"XAddrs", Ns::Discovery));
    read.matches.push_back(one);
  }
  if (read.matches.empty()) read.error = QStringLiteral("no ProbeMatch with an endpoint");
  return read;
}

QString ScopeValue(const QStringList& scopes, const QString& kind) {
  const QString prefix = u"onvif://www.onvif.org/"_qs + kind + u'/';
  for (const QString& scope : scopes) {
    if (scope.startsWith(prefix, Qt::CaseInsensitive)) {
      const QString value = QUrl::fromPercentEncoding(scope.mid(prefix.size()).toUtf8());
      return value.left(protocol::MaxTextUnits);
    }
  }
  return {};
}

QHash<QString, QString> NeighbourMacs(const QString& arpTablePath) {
  QHash<QString, QString> macs;
  QFile table(arpTablePath);
  if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) return macs;
  // "IP address  HW type  Flags  HW address  Mask  Device", flags 0x2: complete.
  table.readLine();
  while (!table.atEnd()) {
    const QStringList fields = Words(QString::fromLatin1(table.readLine(512)));
    if (fields.size() < 4 || fields[2] == u"0x0") continue;
    const QString mac = MacListText(fields[3]);
    if (!mac.isEmpty() && mac != u"0.0.0.0.0.0") macs.insert(fields[0], mac);
  }
  return macs;
}

std::optional<FoundCamera> CameraFromMatch(const ProbeMatch& match, const QHostAddress& from) {
  if (std::none_of(match.types.begin(), match.types.end(), IsCameraType)) return std::nullopt;
  const QString source = QHostAddress(from.toIPv4Address()).toString();
  FoundCamera camera;
  camera.endpoint = match.endpoint;
  camera.address = source;
  camera.family = 2;
  camera.mode = QString::fromUtf16(protocol::OnvifModeText);
  // The device service is where the first usable XAddr says, on the source
  // host; without one, where ONVIF puts it by default.
  camera.port = protocol::HttpPortFamily2;
  camera.path = QString::fromLatin1(protocol::OnvifDevicePath);
  for (const QString& xaddr : match.xaddrs) {
    const QUrl url(xaddr, QUrl::StrictMode);
    const std::optional<uint32_t> host = protocol::ParseIPv4(url.host());
    if (!url.isValid() || url.scheme() != u"http" || !host || url.port() == 0) continue;
    camera.port = url.port(protocol::HttpPortFamily2);
    camera.path = url.path(QUrl::FullyEncoded).isEmpty() ? u"/"_qs : url.path(QUrl::FullyEncoded);
    if (url.host() != source) {
      const char* why = *host == 0 ? "names 0.0.0.0" : IsLinkLocal(*host) ? "is link-local" : "names another host";
      qCInfo(lcDiscovery).noquote() << "Search: ONVIF camera" << match.endpoint << "XAddr" << xaddr << why
                                    << "; its source address" << source << "is used";
    }
    break;
  }
  const QString name = ScopeValue(match.scopes, u"name"_qs);
  const QString model = ScopeValue(match.scopes, u"hardware"_qs);
  camera.caption = model.isEmpty() || model == name ? name : name.isEmpty() ? model : name + u" ("_qs + model + u')';
  camera.mac = MacListText(ScopeValue(match.scopes, u"MAC"_qs));
  return camera;
}

Prober::Prober(const NetOptions& options, const InterfaceChoice& choice)
    : options_(options), choice_(choice), group_(options.onvifGroup) {}

bool Prober::Open(QString& error) {
  if (group_.protocol() != QAbstractSocket::IPv4Protocol || !group_.isMulticast()) {
    error = QStringLiteral("WS-Discovery group %1 is not an IPv4 multicast address").arg(options_.onvifGroup);
    return false;
  }
  for (const ChosenInterface& chosen : choice_.interfaces) {
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(chosen.address, 0)) {
      qCWarning(lcDiscovery) << "cannot probe for ONVIF cameras from" << chosen.address.toString() << ":"
                             << socket->errorString();
      continue;
    }
    socket->setMulticastInterface(chosen.interface);
    socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    socket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
    Listen(std::move(socket));
  }
  if (sockets_.empty()) {
    error = choice_.error.isEmpty() ? QStringLiteral("no interface can send a WS-Discovery probe") : choice_.error;
    return false;
  }
  return true;
}

bool Prober::OpenUnicast(QString& error) {
  if (choice_.interfaces.empty()) {
    error = choice_.error.isEmpty() ? QStringLiteral("no usable interface") : choice_.error;
    return false;
  }
  auto socket = std::make_unique<QUdpSocket>();
  const QHostAddress source = choice_.loopbackOnly ? choice_.interfaces.front().address : QHostAddress::AnyIPv4;
  if (!socket->bind(source, 0)) {
    error = QStringLiteral("cannot probe from %1: %2").arg(source.toString(), socket->errorString());
    return false;
  }
  Listen(std::move(socket));
  return true;
}

void Prober::Listen(std::unique_ptr<QUdpSocket> socket) {
  socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, protocol::ReceiveBufferBytes);
  QUdpSocket* raw = socket.get();
  QObject::connect(raw, &QUdpSocket::readyRead, raw, [this, raw] { ReadPending(*raw); });
  sockets_.push_back(std::move(socket));
}

std::vector<QByteArray> Prober::NextProbes() {
  std::vector<QByteArray> probes;
  for (const char16_t* type : ProbeTypes) {
    messageIds_ << u"urn:uuid:"_qs + QUuid::createUuid().toString(QUuid::WithoutBraces);
    probes.push_back(ProbeMessage(messageIds_.back(), QString::fromUtf16(type)));
  }
  return probes;
}

void Prober::SendTo(const QHostAddress& host) {
  for (const QByteArray& probe : NextProbes()) {
    for (const auto& socket : sockets_) {
      if (socket->writeDatagram(probe, host, options_.onvifPort) < 0) {
        qCWarning(lcDiscovery) << "WS-Discovery probe to" << host.toString() << "failed:" << socket->errorString();
      }
    }
  }
}

void Prober::Send() {
  const std::vector<QByteArray> probes = NextProbes();
  for (const auto& socket : sockets_) {
    for (const QByteArray& probe : probes) {
      if (socket->writeDatagram(probe, group_, options_.onvifPort) < 0) {
        qCWarning(lcDiscovery) << "WS-Discovery probe failed:" << socket->errorString();
      }
    }
  }
}

void Prober::ReadPending(QUdpSocket& socket) {
  // What is left waits for the next turn: the socket signals again.
  for (int taken = 0; taken < protocol::DatagramsPerTurn && socket.hasPendingDatagrams(); ++taken) {
    const QNetworkDatagram datagram = socket.receiveDatagram(MaxMatchBytes + 1);
    const QHostAddress from = datagram.senderAddress();
    if (choice_.loopbackOnly && !protocol::IsLoopback(QHostAddress(from.toIPv4Address()).toString())) {
      Drop(QStringLiteral("from outside the loopback network"), from);
      continue;
    }
    // Before the costly XML read: an answer to our probes names one of
    // their MessageIDs, whose UUIDs are plain hex that XML never escapes.
    if (!RelatesToOurs(datagram.data())) {
      Drop(QStringLiteral("names none of this search's probes"), from);
      continue;
    }
    if (skipParse && skipParse(from)) continue;
    const ProbeMatches read = ReadProbeMatches(datagram.data());
    if (!read.error.isEmpty()) {
      Drop(read.error, from);
      continue;
    }
    if (!messageIds_.contains(read.relatesTo)) {
      Drop(QStringLiteral("ProbeMatches relating to another message (%1)").arg(read.relatesTo.left(80)), from);
      continue;
    }
    for (const ProbeMatch& match : read.matches) {
      const std::optional<FoundCamera> camera = CameraFromMatch(match, from);
      if (!camera) {
        Drop(QStringLiteral("%1 is not a camera (types %2)")
                 .arg(match.endpoint.left(80), match.types.join(u' ').left(80)),
             from);
        continue;
      }
      if (onCamera) onCamera(*camera);
    }
  }
}

bool Prober::RelatesToOurs(const QByteArray& datagram) const {
  return std::any_of(messageIds_.begin(), messageIds_.end(), [&](const QString& id) {
    return datagram.contains(QStringView(id).mid(id.lastIndexOf(u':') + 1).toLatin1());
  });
}

}  // namespace device::onvif
