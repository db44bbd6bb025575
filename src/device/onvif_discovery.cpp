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

// One device's description, as a ProbeMatch, a Hello and a Bye carry it; no
// endpoint when it has none of a usable length.
ProbeMatch ReadMatch(const XmlElement& element) {
  ProbeMatch one;
  if (const XmlElement* reference = element.Child(u"EndpointReference", Ns::Addressing)) {
    one.endpoint = reference->ChildText(u"Address", Ns::Addressing);
  }
  if (one.endpoint.size() > protocol::MaxErrorUnits) one.endpoint.clear();
  if (one.endpoint.isEmpty()) return one;
  one.types = Words(element.ChildText(u"Types", Ns::Discovery));
  one.scopes = Words(element.ChildText(u"Scopes", Ns::Discovery));
  one.xaddrs = Words(element.ChildText(u"XAddrs", Ns::Discovery));
  return one;
}

std::optional<protocol::SoapMessage> ReadDiscoverySoap(const QByteArray& datagram, QString& error) {
  protocol::XmlLimits limits;
  limits.maxBytes = MaxMatchBytes;
  protocol::SoapRead soap = protocol::ReadSoap(datagram, limits);
  if (!soap.message) error = soap.error;
  return std::move(soap.message);
}

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
  const std::optional<protocol::SoapMessage> soap = ReadDiscoverySoap(datagram, read.error);
  if (!soap) return read;
  const XmlElement* matches = soap->body.Child(u"ProbeMatches", Ns::Discovery);
  if (!matches) {
    read.error = QStringLiteral("no ProbeMatches in the body");
    return read;
  }
  read.relatesTo = soap->header.ChildText(u"RelatesTo", Ns::Addressing);
  for (const XmlElement* match : matches->Children(u"ProbeMatch", Ns::Discovery)) {
    ProbeMatch one = ReadMatch(*match);
    if (!one.endpoint.isEmpty()) read.matches.push_back(std::move(one));
  }
  if (read.matches.empty()) read.error = QStringLiteral("no ProbeMatch with an endpoint");
  return read;
}

Announcement ReadAnnouncement(const QByteArray& datagram) {
  Announcement read;
  const std::optional<protocol::SoapMessage> soap = ReadDiscoverySoap(datagram, read.error);
  if (!soap) return read;
  const XmlElement* element = soap->body.Child(u"Hello", Ns::Discovery);
  if (!element) {
    element = soap->body.Child(u"Bye", Ns::Discovery);
    read.kind = Announcement::Kind::Bye;
  }
  if (!element) {
    read.error = QStringLiteral("neither Hello nor Bye in the body");
    return read;
  }
  read.match = ReadMatch(*element);
  if (read.match.endpoint.isEmpty()) read.error = QStringLiteral("an announcement without an endpoint");
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

namespace {

// An XAddr the device service can be reached at: plain HTTP, a port if any.
std::optional<QUrl> UsableXAddr(const QString& xaddr) {
  const QUrl url(xaddr, QUrl::StrictMode);
  if (!url.isValid() || url.scheme() != u"http" || url.port() == 0) return std::nullopt;
  return url;
}

void TakeService(FoundCamera& camera, const QUrl& url) {
  camera.port = url.port(protocol::HttpPortFamily2);
  camera.path = url.path(QUrl::FullyEncoded).isEmpty() ? u"/"_qs : url.path(QUrl::FullyEncoded);
}

// What a match tells of a camera wherever it was heard; the device service
// where ONVIF puts it by default until an XAddr says otherwise.
FoundCamera DescribedCamera(const ProbeMatch& match) {
  FoundCamera camera;
  camera.endpoint = match.endpoint;
  camera.family = 2;
  camera.mode = QString::fromUtf16(protocol::OnvifModeText);
  camera.port = protocol::HttpPortFamily2;
  camera.path = QString::fromLatin1(protocol::OnvifDevicePath);
  const QString name = ScopeValue(match.scopes, u"name"_qs);
  const QString model = ScopeValue(match.scopes, u"hardware"_qs);
  camera.caption = model.isEmpty() || model == name ? name : name.isEmpty() ? model : name + u" ("_qs + model + u')';
  camera.mac = MacListText(ScopeValue(match.scopes, u"MAC"_qs));
  return camera;
}

bool IsCamera(const ProbeMatch& match) { return std::any_of(match.types.begin(), match.types.end(), IsCameraType); }

}  // namespace

std::optional<FoundCamera> CameraFromMatch(const ProbeMatch& match, const QHostAddress& from) {
  if (!IsCamera(match)) return std::nullopt;
  const QString source = QHostAddress(from.toIPv4Address()).toString();
  FoundCamera camera = DescribedCamera(match);
  camera.address = source;
  // The device service is where the first usable IPv4 XAddr says, on the
  // source host.
  for (const QString& xaddr : match.xaddrs) {
    const std::optional<QUrl> url = UsableXAddr(xaddr);
    const std::optional<uint32_t> host = url ? protocol::ParseIPv4(url->host()) : std::nullopt;
    if (!host) continue;
    TakeService(camera, *url);
    if (url->host() != source) {
      const char* why = *host == 0 ? "names 0.0.0.0" : IsLinkLocal(*host) ? "is link-local" : "names another host";
      qCInfo(lcDiscovery).noquote() << "Search: ONVIF camera" << match.endpoint << "XAddr" << xaddr << why
                                    << "; its source address" << source << "is used";
    }
    break;
  }
  return camera;
}

std::optional<FoundCamera> CameraFromMatch6(const ProbeMatch& match, const QHostAddress& from,
                                            const QString& interfaceName) {
  if (!IsCamera(match)) return std::nullopt;
  FoundCamera camera = DescribedCamera(match);
  camera.interfaceName = interfaceName;
  QHostAddress linkLocal = from;
  bool linkLocalService = false;
  bool ipv4Service = false;
  for (const QString& xaddr : match.xaddrs) {
    const std::optional<QUrl> url = UsableXAddr(xaddr);
    if (!url) continue;
    const std::optional<uint32_t> ipv4 = protocol::ParseIPv4(url->host());
    if (ipv4 && *ipv4 != 0 && !ipv4Service) {
      ipv4Service = true;
      camera.address = url->host();
      if (!linkLocalService) TakeService(camera, *url);
      continue;
    }
    const QHostAddress host(url->host());
    if (!ipv4 && !linkLocalService && host.protocol() == QAbstractSocket::IPv6Protocol && host.isLinkLocal()) {
      linkLocalService = true;
      linkLocal = host;
      TakeService(camera, *url);
    }
  }
  linkLocal.setScopeId(interfaceName);
  camera.linkLocal = linkLocal.toString();
  if (camera.address.isEmpty()) camera.address = camera.linkLocal;
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
    // IPv6 multicast never goes out under loopback confinement.
    if (!choice_.loopbackOnly && !chosen.interface.flags().testFlag(QNetworkInterface::IsLoopBack)) OpenIPv6(chosen);
    for (const SourceAddress& source : chosen.sources) {
      auto socket = std::make_unique<QUdpSocket>();
      if (!socket->bind(source.address, 0)) {
        qCWarning(lcDiscovery) << "cannot probe for ONVIF cameras from" << source.address.toString() << ":"
                               << socket->errorString();
        continue;
      }
      socket->setMulticastInterface(chosen.interface);
      socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
      socket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
      Listen(std::move(socket), chosen.interface.name());
    }
  }
  if (sockets_.empty()) {
    error = choice_.error.isEmpty() ? QStringLiteral("no interface can send a WS-Discovery probe") : choice_.error;
    return false;
  }
  return true;
}

// Bound to the interface's link-local address, the socket hears only that
// link; false when the interface has none usable yet (IPv6 off, or its
// address still in duplicate address detection).
bool Prober::OpenIPv6(const ChosenInterface& chosen) {
  const QString name = chosen.interface.name();
  for (const QNetworkAddressEntry& entry : chosen.interface.addressEntries()) {
    QHostAddress local = entry.ip();
    if (local.protocol() != QAbstractSocket::IPv6Protocol || !local.isLinkLocal()) continue;
    local.setScopeId(name);
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(local, 0)) {
      qCInfo(lcDiscovery) << "no IPv6 probe for ONVIF cameras from" << local.toString() << ":" << socket->errorString();
      return false;
    }
    socket->setMulticastInterface(chosen.interface);
    socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, protocol::ReceiveBufferBytes);
    QUdpSocket* raw = socket.get();
    QObject::connect(raw, &QUdpSocket::readyRead, raw, [this, raw, name] { ReadPending(*raw, name, true); });
    QHostAddress group(QString::fromLatin1(protocol::OnvifGroup6));
    group.setScopeId(name);
    sockets6_.emplace_back(std::move(socket), group);
    return true;
  }
  return false;
}

bool Prober::OpenUnicast(QString& error) {
  if (choice_.interfaces.empty()) {
    error = choice_.error.isEmpty() ? QStringLiteral("no usable interface") : choice_.error;
    return false;
  }
  auto socket = std::make_unique<QUdpSocket>();
  const QHostAddress source = choice_.loopbackOnly ? choice_.interfaces.front().sources.front().address : QHostAddress::AnyIPv4;
  if (!socket->bind(source, 0)) {
    error = QStringLiteral("cannot probe from %1: %2").arg(source.toString(), socket->errorString());
    return false;
  }
  Listen(std::move(socket), QString());
  return true;
}

void Prober::Listen(std::unique_ptr<QUdpSocket> socket, const QString& interfaceName) {
  socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, protocol::ReceiveBufferBytes);
  QUdpSocket* raw = socket.get();
  QObject::connect(raw, &QUdpSocket::readyRead, raw,
                   [this, raw, interfaceName] { ReadPending(*raw, interfaceName, false); });
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
  for (const auto& [socket, group] : sockets6_) {
    for (const QByteArray& probe : probes) {
      if (socket->writeDatagram(probe, group, options_.onvifPort) < 0) {
        qCWarning(lcDiscovery) << "WS-Discovery IPv6 probe failed:" << group.toString() << socket->errorString();
      }
    }
  }
}

// ipv6: the socket is an IPv6 one, its answers come from link-local addresses.
void Prober::ReadPending(QUdpSocket& socket, const QString& interfaceName, bool ipv6) {
  // What is left waits for the next turn: the socket signals again.
  for (int taken = 0; taken < protocol::DatagramsPerTurn && socket.hasPendingDatagrams(); ++taken) {
    const QNetworkDatagram datagram = socket.receiveDatagram(MaxMatchBytes + 1);
    const QHostAddress from = datagram.senderAddress();
    if (ipv6 && (from.protocol() != QAbstractSocket::IPv6Protocol || !from.isLinkLocal())) {
      Drop(QStringLiteral("not from an IPv6 link-local address"), from);
      continue;
    }
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
      std::optional<FoundCamera> camera =
          ipv6 ? CameraFromMatch6(match, from, interfaceName) : CameraFromMatch(match, from);
      if (!camera) {
        Drop(QStringLiteral("%1 is not a camera (types %2)")
                 .arg(match.endpoint.left(80), match.types.join(u' ').left(80)),
             from);
        continue;
      }
      camera->interfaceName = interfaceName;
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
