#include "camd/onvif_discovery.h"

#include <QNetworkDatagram>
#include <QUuid>
#include <cerrno>

#include "camd/onvif_service.h"
#include "camd/sim_log.h"
#include "protocol/multicast.h"
#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr qint64 kRecentProbeMs = qint64{10} * 1000;
constexpr size_t kMaxRecentProbes = 256;
constexpr qsizetype kMaxMessageIdUnits = 256;

QString NewMessageId() { return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces); }

// True when every type the probe asks for is one an ONVIF camera is: a
// probe without types asks for every device.
bool TypesMatch(const XmlElement& probe) {
  const XmlElement* types = probe.Child(u"Types", Ns::Any);
  if (!types) return true;
  for (const QString& qname : types->text.split(u' ', Qt::SkipEmptyParts)) {
    const qsizetype colon = qname.indexOf(u':');
    const QString prefix = colon < 0 ? QString() : qname.left(colon);
    const QString local = qname.mid(colon + 1);
    const QString ns = types->NamespaceFor(prefix);
    // A prefix the sender forgot to declare is read by its local name.
    const bool transmitter =
        local == u"NetworkVideoTransmitter" && (ns.isNull() || ns == QLatin1String(protocol::NsNetworkWsdl));
    const bool device = local == u"Device" && (ns.isNull() || ns == QLatin1String(protocol::NsDevice));
    if (!transmitter && !device) return false;
  }
  return true;
}

// Scopes the probe asks for, each a prefix of one of the camera's.
bool ScopesMatch(const QStringList& asked, const QStringList& scopes) {
  for (const QString& scope : asked) {
    if (!std::any_of(scopes.begin(), scopes.end(), [&](const QString& own) {
          return own == scope || own.startsWith(scope.endsWith(u'/') ? scope : scope + u'/');
        }))
      return false;
  }
  return true;
}

}  // namespace

std::optional<Probe> ReadProbe(const QByteArray& datagram, QString& error) {
  const std::optional<SoapRequest> message = ReadRequest(datagram, error);
  if (!message) return std::nullopt;
  if (message->body.name != u"Probe" || message->body.ns != QLatin1String(protocol::NsDiscovery)) {
    error = QStringLiteral("not a Probe");
    return std::nullopt;
  }
  const XmlElement* id = message->header.Child(u"MessageID", Ns::Any);
  if (!id || id->ns != QLatin1String(protocol::NsAddressing) || id->text.isEmpty() ||
      id->text.size() > kMaxMessageIdUnits || protocol::HasControlCharacter(id->text)) {
    error = QStringLiteral("no usable MessageID");
    return std::nullopt;
  }
  if (!TypesMatch(message->body)) {
    error = QStringLiteral("asks for other types");
    return std::nullopt;
  }
  const XmlElement* scopes = message->body.Child(u"Scopes", Ns::Any);
  return Probe{id->text, scopes ? scopes->text.split(u' ', Qt::SkipEmptyParts) : QStringList()};
}

namespace {

// A WS-Discovery message from a camera: `headers` after the MessageID,
// `body` inside the Body, `description` replaced by the camera's
// EndpointReference, Types, Scopes and XAddrs (with a linkLocal, its device
// service there is a second XAddr).
QString DiscoveryMessage(const Camera& camera, const QString& headers, const QString& body,
                         const QHostAddress& linkLocal = {}) {
  QString xaddr = DeviceXAddr(camera.Address(), camera.HttpPort());
  if (!linkLocal.isNull()) {
    QHostAddress unscoped = linkLocal;
    unscoped.setScopeId(QString());
    xaddr += u' ' + DeviceXAddr(u'[' + unscoped.toString() + u']', camera.HttpPort());
  }
  const QString description =
      QStringLiteral(
          "<wsa:EndpointReference><wsa:Address>%1</wsa:Address></wsa:EndpointReference>"
          "<d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types><d:Scopes>%2</d:Scopes>"
          "<d:XAddrs>%3</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion>")
          .arg(EndpointReference(camera.Mac()), protocol::XmlEscaped(Scopes(camera.Profile()).join(u' ')),
               protocol::XmlEscaped(xaddr));
  return QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
             "<env:Envelope xmlns:env=\"%1\" xmlns:wsa=\"%2\" xmlns:d=\"%3\" xmlns:dn=\"%4\" xmlns:tds=\"%5\">"
             "<env:Header><wsa:MessageID>%6</wsa:MessageID>%7</env:Header><env:Body>%8</env:Body></env:Envelope>")
      .arg(QLatin1String(protocol::NsSoapEnvelope), QLatin1String(protocol::NsAddressing),
           QLatin1String(protocol::NsDiscovery), QLatin1String(protocol::NsNetworkWsdl),
           QLatin1String(protocol::NsDevice), NewMessageId(), headers,
           QString(body).replace(u"%description"_qs, description));
}

}  // namespace

QByteArray ProbeMatches(const Camera& camera, const QString& relatesTo, const QHostAddress& linkLocal) {
  return DiscoveryMessage(
             camera,
             QStringLiteral("<wsa:RelatesTo>%1</wsa:RelatesTo><wsa:To>%2</wsa:To><wsa:Action>%3</wsa:Action>")
                 .arg(protocol::XmlEscaped(relatesTo), QLatin1String(protocol::DiscoveryAnonymous),
                      QLatin1String(protocol::ProbeMatchesAction)),
             u"<d:ProbeMatches><d:ProbeMatch>%description</d:ProbeMatch></d:ProbeMatches>"_qs, linkLocal)
      .toUtf8();
}

QByteArray Announcement(const Camera& camera, AnnouncementKind kind) {
  const QString name = kind == AnnouncementKind::Hello ? u"Hello"_qs : u"Bye"_qs;
  return DiscoveryMessage(camera,
                          QStringLiteral("<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
                                         "<wsa:Action>%1/%2</wsa:Action>")
                              .arg(QLatin1String(protocol::NsDiscovery), name),
                          QStringLiteral("<d:%1>%description</d:%1>").arg(name))
      .toUtf8();
}

OnvifDiscovery::OnvifDiscovery(const SimOptions& options, SimLog& log, std::mt19937& random, AnswerScheduler& answers,
                               QObject* parent)
    : QObject(parent),
      options_(options),
      log_(log),
      probes_(log, QStringLiteral("sim wsd probe")),
      drops_(log, QStringLiteral("sim wsd dropped")),
      stale_(log, QStringLiteral("sim wsd stale")),
      random_(random),
      answers_(answers) {
  clock_.start();
  connect(&socket_, &GroupSocket::Readable, this, &OnvifDiscovery::ReadPending);
  connect(&answers_, &AnswerScheduler::Sent, this, &OnvifDiscovery::HandleWaiting);
}

bool OnvifDiscovery::Open(QString& error) {
  return socket_.Open(QHostAddress(QLatin1String(protocol::OnvifGroup)), options_.onvifDiscoveryPort,
                      options_.interface, error);
}

bool OnvifDiscovery::OpenIPv6(QString& error) {
  linkLocal_ = LinkLocalOf(options_.interface);
  const QHostAddress group(QString::fromLatin1(protocol::OnvifGroup6));
  if (linkLocal_.isNull()) {
    error = QStringLiteral("no IPv6 link-local address on %1 for ipv6LinkLocal").arg(options_.interface.name());
    return false;
  }
  if (!socket6_.bind(QHostAddress::AnyIPv6, options_.onvifDiscoveryPort,
                     QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) ||
      !socket6_.joinMulticastGroup(group, options_.interface)) {
    error = QStringLiteral("cannot listen on [%1]:%2 via %3: %4")
                .arg(group.toString())
                .arg(options_.onvifDiscoveryPort)
                .arg(options_.interface.name(), socket6_.errorString());
    linkLocal_.clear();
    return false;
  }
  connect(&socket6_, &QUdpSocket::readyRead, this, &OnvifDiscovery::ReadPendingIPv6);
  return true;
}

void OnvifDiscovery::Wait(Heard heard, qint64 now) {
  // Answers of cameras and other devices come through the group too.
  if (heard.data.contains("ProbeMatches") || heard.data.contains("/discovery/Hello") ||
      heard.data.contains("/discovery/Bye"))
    return;
  waiting_.Push(std::move(heard), now);
}

void OnvifDiscovery::AddCamera(Camera* camera) {
  cameras_.push_back(camera);
  camera->onOnvifUnicast = [this, camera](const QByteArray& datagram, const QHostAddress& from, quint16 port) {
    if (answers_.HasRoomFor(1)) Dispatch(datagram, from, port, camera);
  };
  if (!camera->Profile().onvif) return;
  connect(camera, &Camera::Started, this, [this, camera] { Announce(*camera, AnnouncementKind::Hello); });
  connect(camera, &Camera::Stopping, this, [this, camera] { Announce(*camera, AnnouncementKind::Bye); });
}

void OnvifDiscovery::ByeAll() {
  for (const Camera* camera : cameras_) {
    if (camera->Profile().onvif && !camera->Silent()) Announce(*camera, AnnouncementKind::Bye);
  }
}

void OnvifDiscovery::Announce(const Camera& camera, AnnouncementKind kind) {
  QUdpSocket* sender = SenderFor(camera.Address());
  if (sender == nullptr) return;
  sender->writeDatagram(Announcement(camera, kind), QHostAddress(QLatin1String(protocol::OnvifGroup)),
                        options_.onvifDiscoveryPort);
  probes_.Line(QStringLiteral("%1 mac=%2 address=%3")
                   .arg(kind == AnnouncementKind::Hello ? u"hello"_qs : u"bye"_qs, camera.Mac(), camera.Address()));
}

void OnvifDiscovery::ReadPending() {
  const qint64 now = RealtimeMs();
  for (Heard& heard : socket_.Read(GroupSocket::ReadPerTurn)) Wait(std::move(heard), now);
  HandleWaiting();
}

void OnvifDiscovery::ReadPendingIPv6() {
  const qint64 now = RealtimeMs();
  for (int taken = 0; taken < GroupSocket::ReadPerTurn && socket6_.hasPendingDatagrams(); ++taken) {
    const QNetworkDatagram datagram = socket6_.receiveDatagram(protocol::LargestDatagramBytes);
    QHostAddress from = datagram.senderAddress();
    // Only the link: an answer to anything else would leave it.
    if (!from.isLinkLocal()) continue;
    from.setScopeId(options_.interface.name());
    Wait(Heard{datagram.data(), from, static_cast<quint16>(datagram.senderPort()), now}, now);
  }
  HandleWaiting();
}

void OnvifDiscovery::HandleWaiting() {
  const qint64 now = RealtimeMs();
  while (answers_.HasRoomFor(cameras_.size())) {
    std::optional<Heard> next = waiting_.TakeFreshest(now);
    if (!next) break;
    Dispatch(next->data, next->from, next->port);
  }
  if (const quint64 dropped = waiting_.TakeDropped(); dropped > 0)
    stale_.Line(QStringLiteral("dropped=%1 waited over ms=%2 or pushed out by newer")
                    .arg(dropped)
                    .arg(FreshRequests::MaxWaitMs));
}

void OnvifDiscovery::Dispatch(const QByteArray& datagram, const QHostAddress& from, quint16 port, Camera* only) {
  QString error;
  const std::optional<Probe> probe = ReadProbe(datagram, error);
  if (!probe) {
    drops_.Line(QStringLiteral("from=%1 reason=%2").arg(from.toString(), LogSafe(error, 80)));
    return;
  }
  const bool loopbackSource = from.isLoopback() || from.toIPv4Address() >> 24 == 127;
  if (port == 0 || (options_.loopbackOnly && !loopbackSource)) {
    drops_.Line(QStringLiteral("from=%1 reason=source outside the cameras' network").arg(from.toString()));
    return;
  }
  const QString& id = probe->messageId;
  const qint64 now = clock_.elapsed();
  while (!recent_.empty() && (now - recent_.front().at > kRecentProbeMs || recent_.size() >= kMaxRecentProbes))
    recent_.pop_front();
  // Copies of one probe come from one socket. Some clients derive the
  // MessageID from the clock, so two of their runs in one second share it:
  // those come from different sockets and are both answered.
  const QString copyKey = QStringLiteral("%1 %2:%3").arg(id, from.toString()).arg(port);
  auto seen = std::find_if(recent_.begin(), recent_.end(), [&](const RecentProbe& one) { return one.key == copyKey; });
  const bool repeated = seen != recent_.end();
  if (!repeated) seen = recent_.insert(recent_.end(), RecentProbe{copyKey, now, {}});
  // A copy is news only to a camera that was restarting when the first came.
  std::vector<Camera*> hearing;
  if (repeated) {
    std::vector<Camera*>& deaf = seen->deaf;
    for (auto it = deaf.begin(); it != deaf.end();) {
      if ((*it)->Silent()) {
        ++it;
        continue;
      }
      hearing.push_back(*it);
      it = deaf.erase(it);
    }
  } else {
    const bool ipv6 = from.protocol() == QAbstractSocket::IPv6Protocol;
    for (Camera* camera : only ? std::vector<Camera*>{only} : cameras_) {
      if (!camera->Profile().onvif || !camera->Profile().answersProbes || (ipv6 && !camera->Profile().ipv6LinkLocal))
        continue;
      (camera->Silent() ? seen->deaf : hearing).push_back(camera);
    }
  }
  int answers = 0;
  for (Camera* camera : hearing) {
    if (!probe->scopes.isEmpty()) {
      auto scopes = scopes_.find(camera);
      if (scopes == scopes_.end()) scopes = scopes_.insert(camera, Scopes(camera->Profile()));
      if (!ScopesMatch(probe->scopes, *scopes)) continue;
    }
    const int delay = std::uniform_int_distribution<int>(0, protocol::OnvifMaxAnswerDelayMs)(random_);
    answers_.Post([this, camera, from, port, id] { Answer(*camera, from, port, id); },
                  delay + camera->Profile().faults.answerDelayMs);
    ++answers;
  }
  if (repeated) {
    probes_.Line(QStringLiteral("repeated id=%1 answers=%2").arg(LogSafe(id, 80)).arg(answers));
    return;
  }
  probes_.Line(
      QStringLiteral("id=%1 from=%2:%3 answers=%4").arg(LogSafe(id, 80), from.toString()).arg(port).arg(answers));
}

void OnvifDiscovery::Answer(Camera& camera, const QHostAddress& to, quint16 port, const QString& relatesTo) {
  // A camera restarting meanwhile says nothing, as a real one would.
  if (camera.Silent()) return;
  if (camera.Profile().faults.dropShare > 0 &&
      std::uniform_real_distribution<double>(0, 1)(random_) < camera.Profile().faults.dropShare)
    return;
  if (to.protocol() == QAbstractSocket::IPv6Protocol) {
    if (QUdpSocket* sender = SenderFor(linkLocal_.toString()))
      sender->writeDatagram(ProbeMatches(camera, relatesTo, linkLocal_), to, port);
    return;
  }
  if (QUdpSocket* sender = SenderFor(camera.Address()))
    sender->writeDatagram(ProbeMatches(camera, relatesTo), to, port);
}

QUdpSocket* OnvifDiscovery::SenderFor(const QString& address) {
  if (auto found = senders_.find(address); found != senders_.end()) return found->get();
  auto socket = std::make_shared<QUdpSocket>();
  if (!socket->bind(QHostAddress(address), 0)) {
    log_.Line(QStringLiteral("sim wsd error cannot send from %1: %2").arg(address, socket->errorString()));
    return nullptr;
  }
  socket->setMulticastInterface(options_.interface);
  socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
  senders_.insert(address, socket);
  return socket.get();
}

}  // namespace camd
