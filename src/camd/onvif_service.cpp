#include "camd/onvif_service.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTimer>
#include <QTcpSocket>
#include <QUrl>
#include <QUuid>
#include <QJsonDocument>

#include "camd/camera.h"
#include "camd/settings.h"
#include "camd/sim_log.h"
#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr char kInterfaceToken[] = "eth0";
constexpr char kProfileToken[] = "profile_1";
constexpr char kSourceToken[] = "video_src_1";
constexpr char kAdministrator[] = "Administrator";
constexpr qsizetype kMaxUsers = 8;
constexpr int kMaxIdUnits = 12;       // the SysAdminID limit: any user may become the account
constexpr int kMaxPasswordUnits = 8;  // the SysAdminPassword limit
// The namespace every camera's EndpointReference is derived in.
const QUuid kEndpointNamespace(QStringLiteral("{6b0c3f4e-5a1d-4f8e-9d52-1c7e0a9b3d21}"));

// Operations anyone may call (the device's default access policy).
bool PreAuth(const QString& op) {
  return op == u"GetSystemDateAndTime" || op == u"GetServices" || op == u"GetServiceCapabilities" ||
         op == u"GetCapabilities" || op == u"GetWsdlUrl" || op == u"GetEndpointReference";
}

bool Writes(const QString& op) {
  return op == u"SetNetworkInterfaces" || op == u"SetNetworkDefaultGateway" || op == u"SetUser" ||
         op == u"CreateUsers" || op == u"DeleteUsers" || op == u"SystemReboot";
}

QByteArray Envelope(const QString& body) {
  return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                         "<env:Envelope xmlns:env=\"%1\" xmlns:tds=\"%2\" xmlns:trt=\"%3\" xmlns:tt=\"%4\" "
                         "xmlns:ter=\"%5\"><env:Body>")
              .arg(QLatin1String(protocol::NsSoapEnvelope), QLatin1String(protocol::NsDevice),
                   QLatin1String(protocol::NsMedia), QLatin1String(protocol::NsSchema),
                   QLatin1String(protocol::NsError)) +
          body + QStringLiteral("</env:Body></env:Envelope>"))
      .toUtf8();
}

// <tag>escaped text</tag>
QString E(const QString& tag, const QString& text) {
  return u'<' + tag + u'>' + protocol::XmlEscaped(text) + QStringLiteral("</") + tag + u'>';
}
// <tag>inner XML</tag>
QString W(const QString& tag, const QString& inner) {
  return u'<' + tag + u'>' + inner + QStringLiteral("</") + tag + u'>';
}

QString Bool(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

// A SOAP fault: env:Sender (HTTP 400) or env:Receiver (HTTP 500) with
// ONVIF's subcodes, outermost first.
OnvifService::Answer Fault(const QString& code, const QStringList& subcodes, const QString& reason) {
  QString sub;
  for (auto it = subcodes.rbegin(); it != subcodes.rend(); ++it)
    sub = W(QStringLiteral("env:Subcode"), E(QStringLiteral("env:Value"), *it) + sub);
  const QString fault =
      W(QStringLiteral("env:Fault"),
        W(QStringLiteral("env:Code"), E(QStringLiteral("env:Value"), code) + sub) +
            W(QStringLiteral("env:Reason"), QStringLiteral("<env:Text xml:lang=\"en\">") +
                                                protocol::XmlEscaped(reason) + QStringLiteral("</env:Text>")));
  return {code == u"env:Sender" ? 400 : 500, Envelope(fault), {}, OnvifService::After::Nothing};
}

OnvifService::Answer InvalidArg(const QString& detail, const QString& reason) {
  return Fault(QStringLiteral("env:Sender"), {QStringLiteral("ter:InvalidArgVal"), detail}, reason);
}
OnvifService::Answer Prohibited(const QString& detail, const QString& reason) {
  return Fault(QStringLiteral("env:Sender"), {QStringLiteral("ter:OperationProhibited"), detail}, reason);
}
OnvifService::Answer NotAuthorized() {
  return Fault(QStringLiteral("env:Sender"), {QStringLiteral("ter:NotAuthorized")},
               QStringLiteral("Sender not Authorized"));
}

OnvifService::Answer Ok(const QString& body, OnvifService::After after = OnvifService::After::Nothing) {
  return {200, Envelope(body), {}, after};
}

OnvifService::Answer RebootAnswer(OnvifService::After after) {
  return Ok(
      W(QStringLiteral("tds:SystemRebootResponse"), E(QStringLiteral("tds:Message"), QStringLiteral("Rebooting"))),
      after);
}

QString DateTime(const QDateTime& at) {
  const QDate d = at.date();
  const QTime t = at.time();
  return W(QStringLiteral("tt:Time"), E(QStringLiteral("tt:Hour"), QString::number(t.hour())) +
                                          E(QStringLiteral("tt:Minute"), QString::number(t.minute())) +
                                          E(QStringLiteral("tt:Second"), QString::number(t.second()))) +
         W(QStringLiteral("tt:Date"), E(QStringLiteral("tt:Year"), QString::number(d.year())) +
                                          E(QStringLiteral("tt:Month"), QString::number(d.month())) +
                                          E(QStringLiteral("tt:Day"), QString::number(d.day())));
}

QString ProfileXml() {
  return QStringLiteral(
             "<trt:Profiles token=\"%1\" fixed=\"true\"><tt:Name>MainStream</tt:Name>"
             "<tt:VideoSourceConfiguration token=\"video_src_config_1\"><tt:Name>VideoSource</tt:Name>"
             "<tt:UseCount>1</tt:UseCount><tt:SourceToken>%2</tt:SourceToken>"
             "<tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/></tt:VideoSourceConfiguration>"
             "<tt:VideoEncoderConfiguration token=\"video_enc_config_1\"><tt:Name>VideoEncoder</tt:Name>"
             "<tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding>"
             "<tt:Resolution><tt:Width>1920</tt:Width><tt:Height>1080</tt:Height></tt:Resolution>"
             "<tt:Quality>5</tt:Quality><tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit>"
             "<tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl>"
             "<tt:H264><tt:GovLength>50</tt:GovLength><tt:H264Profile>Main</tt:H264Profile></tt:H264>"
             "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>0.0.0.0</tt:IPv4Address></tt:Address>"
             "<tt:Port>0</tt:Port><tt:TTL>1</tt:TTL><tt:AutoStart>false</tt:AutoStart></tt:Multicast>"
             "<tt:SessionTimeout>PT60S</tt:SessionTimeout></tt:VideoEncoderConfiguration></trt:Profiles>")
      .arg(QLatin1String(kProfileToken), QLatin1String(kSourceToken));
}

}  // namespace

QString EndpointReference(const QString& mac) {
  return QStringLiteral("urn:uuid:") + QUuid::createUuidV5(kEndpointNamespace, mac).toString(QUuid::WithoutBraces);
}

QString HexMac(const QString& mac) {
  QStringList pairs;
  for (uint8_t byte : protocol::ParseMac(mac).value_or(std::array<uint8_t, 6>{}))
    pairs << QStringLiteral("%1").arg(byte, 2, 16, QChar(u'0'));
  return pairs.join(u':');
}

QStringList Scopes(const CameraProfile& profile) {
  const auto encoded = [](const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
  QStringList scopes{QStringLiteral("onvif://www.onvif.org/type/video_encoder"),
                     QStringLiteral("onvif://www.onvif.org/type/Network_Video_Transmitter"),
                     QStringLiteral("onvif://www.onvif.org/Profile/Streaming"),
                     QStringLiteral("onvif://www.onvif.org/name/") + encoded(profile.caption),
                     QStringLiteral("onvif://www.onvif.org/hardware/") + encoded(profile.mode)};
  if (profile.macScope) scopes << QStringLiteral("onvif://www.onvif.org/MAC/") + HexMac(profile.mac);
  return scopes;
}

QString DeviceXAddr(const QString& address, quint16 port) {
  return QStringLiteral("http://%1:%2%3").arg(address).arg(port).arg(QLatin1String(protocol::OnvifDevicePath));
}

QString MaskFromPrefix(int prefix) {
  const quint32 mask = prefix <= 0 ? 0 : prefix >= 32 ? 0xFFFFFFFFu : ~((quint32{1} << (32 - prefix)) - 1);
  return QStringLiteral("%1.%2.%3.%4")
      .arg(mask >> 24)
      .arg((mask >> 16) & 0xFF)
      .arg((mask >> 8) & 0xFF)
      .arg(mask & 0xFF);
}

std::optional<int> PrefixFromMask(const QString& mask) {
  if (!IsSubnetMask(mask)) return std::nullopt;
  const quint32 bits = protocol::ParseIPv4(mask).value_or(0);
  int prefix = 0;
  for (quint32 bit = 0x80000000u; bit && (bits & bit); bit >>= 1) ++prefix;
  return prefix;
}

QString StaticAddressError(const QString& address, int prefix) {
  const std::optional<uint32_t> value = protocol::ParseIPv4(address);
  if (!value) return QStringLiteral("not an IPv4 address");
  if (prefix < 1 || prefix > 30) return QStringLiteral("prefix length must be 1-30");
  const quint32 hostBits = (quint32{1} << (32 - prefix)) - 1;
  if ((*value & hostBits) == 0) return QStringLiteral("the network address of its subnet");
  if ((*value & hostBits) == hostBits) return QStringLiteral("the broadcast address of its subnet");
  return {};
}

bool ValidOnvifUsers(const QJsonArray& users, QString& error) {
  for (const QJsonValue value : users) {
    const QJsonObject user = value.toObject();
    const QString name = user.value("name").toString();
    const QString level = user.value("level").toString();
    if (name.isEmpty() || name.size() > kMaxIdUnits || protocol::HasControlCharacter(name) ||
        user.value("password").toString().size() > kMaxPasswordUnits ||
        (level != u"Administrator" && level != u"Operator" && level != u"User")) {
      error = QStringLiteral("onvifUsers: not a valid user");
      return false;
    }
  }
  return users.size() < kMaxUsers;
}

std::optional<SoapRequest> ReadRequest(const QByteArray& data, QString& error) {
  protocol::SoapRead read = protocol::ReadSoap(data, kSoapLimits);
  if (!read.message) {
    error = read.error;
    return std::nullopt;
  }
  if (read.message->envelopeNs != QLatin1String(protocol::NsSoapEnvelope)) {
    error = QStringLiteral("not a SOAP 1.2 envelope");
    return std::nullopt;
  }
  std::vector<XmlElement>& operations = read.message->body.children;
  if (operations.empty()) {
    error = QStringLiteral("no operation in the SOAP body");
    return std::nullopt;
  }
  return SoapRequest{std::move(read.message->header), std::move(operations.front())};
}

OnvifService::OnvifService(Camera& camera, SimLog& log) : camera_(camera), log_(log) {}

QDateTime OnvifService::Now() const {
  return QDateTime::currentDateTimeUtc().addSecs(camera_.Profile().faults.clockSkewSeconds);
}

QString OnvifService::Address() const { return camera_.Address(); }

namespace {

template <typename User>
std::vector<User> UsersOf(const QJsonObject& settings, const QJsonArray& further) {
  std::vector<User> list{{settings.value("SysAdminID").toString(), settings.value("SysAdminPassword").toString(),
                          QLatin1String(kAdministrator)}};
  for (const QJsonValue value : further) {
    const QJsonObject user = value.toObject();
    list.push_back({user.value("name").toString(), user.value("password").toString(), user.value("level").toString()});
  }
  return list;
}

}  // namespace

std::vector<OnvifService::User> OnvifService::Users() const {
  return UsersOf<User>(camera_.RunningSettings(), camera_.OnvifUsers());
}

std::vector<OnvifService::User> OnvifService::StoredUsers() const {
  return UsersOf<User>(camera_.SavedSettings(), camera_.OnvifUsers());
}

void OnvifService::Handle(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
  QString detail;
  Answer reply;
  if (request.method() != QHttpServerRequest::Method::Post) {
    reply =
        Fault(QStringLiteral("env:Sender"), {QStringLiteral("ter:InvalidArgs")}, QStringLiteral("POST a SOAP request"));
    reply.status = 405;
    detail = QStringLiteral(" refused=not-post");
  } else {
    const QString uri = QString::fromLatin1(request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
    reply = Respond(request.body(), request.value("Authorization"), uri, request.remoteAddress(), detail);
  }
  log_.Line(QStringLiteral("camera %1 onvif %2%3 status=%4")
                .arg(camera_.Mac(), LogSafe(request.url().path(), 80), detail)
                .arg(reply.status));
  auto shared = std::make_shared<QHttpServerResponder>(std::move(responder));
  QPointer<QTcpSocket> socket = shared->socket();
  auto send = [this, shared, socket, reply] {
    if (socket) {
      shared->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
      shared->writeHeader("Content-Type", "application/soap+xml; charset=utf-8");
      for (const QByteArray& challenge : reply.authenticate) shared->writeHeader("WWW-Authenticate", challenge);
      shared->writeHeader("Content-Length", QByteArray::number(reply.body.size()));
      // One request per connection, so each one's head is checked before its body is read.
      shared->writeHeader("Connection", "close");
      shared->writeBody(reply.body);
      socket->flush();
      socket->disconnectFromHost();
    }
    // The answer is out before the camera leaves its address.
    if (reply.after == After::Move) camera_.RestartFor(0);
    if (reply.after == After::Reboot) camera_.RestartFor(camera_.RestartMs());
  };
  const int delayMs = camera_.Profile().faults.answerDelayMs + reply.holdMs;
  if (delayMs > 0)
    QTimer::singleShot(std::chrono::milliseconds(delayMs), Qt::PreciseTimer, &camera_, send);
  else
    send();
}

OnvifService::Answer OnvifService::Respond(const QByteArray& body, const QByteArray& authorization, const QString& uri,
                                           const QHostAddress& from, QString& logDetail) {
  QString error;
  const std::optional<SoapRequest> message = ReadRequest(body, error);
  if (!message) {
    logDetail = QStringLiteral(" refused=") + LogSafe(error, 80);
    return Fault(QStringLiteral("env:Sender"), {QStringLiteral("ter:WellFormed")}, error);
  }
  const XmlElement& request = message->body;
  const Faults& faults = camera_.Profile().faults;
  logDetail = QStringLiteral(" op=") + LogSafe(request.name, 48);
  if (!PreAuth(request.name) && !(faults.openReads && request.name == u"GetUsers")) {
    Answer refusal;
    const std::optional<User> user = Authenticate(*message, authorization, uri, from, refusal, logDetail);
    if (!user) {
      if (faults.refusalAs400 && refusal.status == 401) refusal.status = 400;
      return refusal;
    }
    if (Writes(request.name) && user->level != QLatin1String(kAdministrator)) {
      logDetail += QStringLiteral(" refused=not-administrator");
      return NotAuthorized();
    }
  }
  if (faults.refuseOperations.contains(request.name)) {
    logDetail += QStringLiteral(" refused=fault");
    return Fault(QStringLiteral("env:Receiver"), {QStringLiteral("ter:Action")},
                 QStringLiteral("this camera refuses ") + request.name);
  }
  const bool reboot = request.ns == QLatin1String(protocol::NsDevice) && request.name == u"SystemReboot";
  Answer reply;
  if (faults.writesIgnored && Writes(request.name)) {
    // Success, as some firmware answers what it does not do.
    logDetail += QStringLiteral(" ignored=fault");
    reply = reboot ? RebootAnswer(After::Nothing) : Ok(QStringLiteral("<tds:%1Response/>").arg(request.name));
  } else {
    reply = Operation(request, logDetail);
  }
  if (reboot && reply.status == 200) reply.holdMs = faults.rebootAnswerMs;
  return reply;
}

std::optional<OnvifService::User> OnvifService::Authenticate(const SoapRequest& message,
                                                             const QByteArray& authorization, const QString& uri,
                                                             const QHostAddress& from, Answer& refusal,
                                                             QString& logDetail) {
  const Faults& faults = camera_.Profile().faults;
  const std::vector<User> all = Users();
  const auto named = [&](const QString& name) -> std::optional<User> {
    for (const User& user : all)
      if (user.name == name) return user;
    return std::nullopt;
  };
  const std::optional<UsernameToken> token = faults.digestOnly ? std::nullopt : ReadUsernameToken(message.header);
  if (token) {
    logDetail += QStringLiteral(" user=") + LogSafe(token->user);
    const QDateTime at = Now();
    const TokenResult admitted = tokens_.Admit(*token, at, from);
    if (admitted == TokenResult::Admitted && !camera_.MayCheckLogin()) return Unchecked(refusal, logDetail);
    std::optional<User> user = named(token->user);
    if (admitted == TokenResult::Admitted && user && TokenMatches(*token, user->name, user->password)) {
      tokens_.Spend(*token, at, from);
      logDetail += QStringLiteral(" auth=token");
      return user;
    }
    if (admitted == TokenResult::Admitted && user) camera_.LoginWrong();  // a wrong ID is no guess at a password
    // A refused WS-Security token is answered 400 with ter:NotAuthorized.
    logDetail += admitted == TokenResult::OutsideWindow ? QStringLiteral(" refused=token-outside-clock-window")
                 : admitted == TokenResult::Replayed    ? QStringLiteral(" refused=token-replayed")
                                                        : QStringLiteral(" refused=token-wrong");
    refusal = NotAuthorized();
    return std::nullopt;
  }
  if (!faults.usernameTokenOnly && protocol::AfterDigestScheme(authorization)) {
    if (!camera_.MayCheckLogin()) return Unchecked(refusal, logDetail);
    const QString name = protocol::ParseAuthParams(*protocol::AfterDigestScheme(authorization)).value("username");
    std::optional<User> user = named(name);
    const DigestResult result = digest_.Verify(authorization, QStringLiteral("POST"), uri,
                                               user ? user->name : QString(), user ? user->password : QString());
    if (user && result == DigestResult::Accepted) {
      logDetail += QStringLiteral(" user=") + LogSafe(user->name) + QStringLiteral(" auth=digest");
      return user;
    }
    if (result == DigestResult::Refused && user) camera_.LoginWrong();
    logDetail += QStringLiteral(" user=") + LogSafe(name) +
                 (result == DigestResult::Stale ? QStringLiteral(" refused=digest-stale")
                                                : QStringLiteral(" refused=digest-wrong"));
    refusal = NotAuthorized();
    refusal.status = 401;
    refusal.authenticate = digest_.Challenge(result == DigestResult::Stale);
    return std::nullopt;
  }
  logDetail += QStringLiteral(" refused=no-credentials");
  refusal = NotAuthorized();
  if (!faults.usernameTokenOnly) {
    refusal.status = 401;
    refusal.authenticate = digest_.Challenge(false);
  }
  return std::nullopt;
}

std::optional<OnvifService::User> OnvifService::Unchecked(Answer& refusal, QString& logDetail) {
  logDetail += QStringLiteral(" refused=unchecked");
  refusal = Fault(QStringLiteral("env:Sender"), {QStringLiteral("ter:NotAuthorized")},
                  QStringLiteral("too many wrong logins, try again in a second"));
  refusal.status = 429;
  return std::nullopt;
}

OnvifService::Answer OnvifService::Operation(const XmlElement& request, QString& logDetail) {
  const QString& op = request.name;
  const bool device = request.ns == QLatin1String(protocol::NsDevice);
  const bool media = request.ns == QLatin1String(protocol::NsMedia);
  const QJsonObject& saved = camera_.SavedSettings();
  if (device && op == u"GetSystemDateAndTime") {
    const QDateTime at = Now();
    return Ok(W(QStringLiteral("tds:GetSystemDateAndTimeResponse"),
                W(QStringLiteral("tds:SystemDateAndTime"),
                  E(QStringLiteral("tt:DateTimeType"), QStringLiteral("Manual")) +
                      E(QStringLiteral("tt:DaylightSavings"), QStringLiteral("false")) +
                      W(QStringLiteral("tt:TimeZone"), E(QStringLiteral("tt:TZ"), QStringLiteral("UTC0"))) +
                      W(QStringLiteral("tt:UTCDateTime"), DateTime(at)) +
                      W(QStringLiteral("tt:LocalDateTime"), DateTime(at)))));
  }
  if (device && op == u"GetCapabilities") return Ok(Capabilities());
  if (device && op == u"GetServices") return Ok(Services());
  if (device && op == u"GetDeviceInformation") return Ok(DeviceInformation());
  if (device && op == u"GetScopes") {
    QString items;
    for (const QString& scope : Scopes(camera_.Profile()))
      items += W(QStringLiteral("tds:Scopes"),
                 E(QStringLiteral("tt:ScopeDef"), QStringLiteral("Fixed")) + E(QStringLiteral("tt:ScopeItem"), scope));
    return Ok(W(QStringLiteral("tds:GetScopesResponse"), items));
  }
  if (device && op == u"GetHostname") {
    return Ok(W(QStringLiteral("tds:GetHostnameResponse"),
                W(QStringLiteral("tds:HostnameInformation"),
                  E(QStringLiteral("tt:FromDHCP"), QStringLiteral("false")) +
                      E(QStringLiteral("tt:Name"), QStringLiteral("camera-") + HexMac(camera_.Mac()).remove(u':')))));
  }
  if (device && op == u"GetNetworkInterfaces") return Ok(NetworkInterfaces());
  if (device && op == u"GetNetworkDefaultGateway") {
    const QString gateway =
        camera_.Profile().faults.emptyGateway ? QString() : saved.value("SysDefaultGateway").toString();
    return Ok(W(QStringLiteral("tds:GetNetworkDefaultGatewayResponse"),
                W(QStringLiteral("tds:NetworkGateway"),
                  gateway.isEmpty() ? QString() : E(QStringLiteral("tt:IPv4Address"), gateway))));
  }
  if (device && op == u"GetDNS") {
    return Ok(W(QStringLiteral("tds:GetDNSResponse"),
                W(QStringLiteral("tds:DNSInformation"), E(QStringLiteral("tt:FromDHCP"), QStringLiteral("false")))));
  }
  if (device && op == u"GetNTP") {
    return Ok(W(QStringLiteral("tds:GetNTPResponse"),
                W(QStringLiteral("tds:NTPInformation"), E(QStringLiteral("tt:FromDHCP"), QStringLiteral("false")))));
  }
  if (device && op == u"GetUsers") {
    QString list;
    for (const User& each : Users())
      list += W(QStringLiteral("tds:User"),
                E(QStringLiteral("tt:Username"), each.name) + E(QStringLiteral("tt:UserLevel"), each.level));
    return Ok(W(QStringLiteral("tds:GetUsersResponse"), list));
  }
  if (device && op == u"SetUser") return SetUsers(request, logDetail);
  if (device && op == u"CreateUsers") return CreateUsers(request, logDetail);
  if (device && op == u"DeleteUsers") return DeleteUsers(request, logDetail);
  if (device && op == u"SetNetworkInterfaces") return SetNetworkInterfaces(request, logDetail);
  if (device && op == u"SetNetworkDefaultGateway") return SetGateway(request, logDetail);
  if (device && op == u"SystemReboot") return RebootAnswer(After::Reboot);
  if (media && (op == u"GetProfiles" || op == u"GetProfile")) {
    const QString token = request.ChildText(u"ProfileToken", Ns::Any);
    if (op == u"GetProfile" && token != QLatin1String(kProfileToken))
      return InvalidArg(QStringLiteral("ter:NoProfile"), QStringLiteral("no such profile"));
    QString profile = ProfileXml();
    if (op == u"GetProfile") profile.replace(QStringLiteral("trt:Profiles"), QStringLiteral("trt:Profile"));
    return Ok(W(QStringLiteral("trt:") + op + QStringLiteral("Response"), profile));
  }
  if (media && op == u"GetVideoSources") {
    return Ok(
        W(QStringLiteral("trt:GetVideoSourcesResponse"),
          QStringLiteral("<trt:VideoSources token=\"%1\"><tt:Framerate>25</tt:Framerate><tt:Resolution>"
                         "<tt:Width>1920</tt:Width><tt:Height>1080</tt:Height></tt:Resolution></trt:VideoSources>")
              .arg(QLatin1String(kSourceToken))));
  }
  if (media && (op == u"GetStreamUri" || op == u"GetSnapshotUri")) {
    if (request.ChildText(u"ProfileToken", Ns::Any) != QLatin1String(kProfileToken))
      return InvalidArg(QStringLiteral("ter:NoProfile"), QStringLiteral("no such profile"));
    const QString uri = op == u"GetStreamUri"
                            ? QStringLiteral("rtsp://%1:554/stream1").arg(Address())
                            : QStringLiteral("http://%1:%2/snapshot.jpg").arg(Address()).arg(camera_.HttpPort());
    return Ok(
        W(QStringLiteral("trt:") + op + QStringLiteral("Response"),
          W(QStringLiteral("trt:MediaUri"), E(QStringLiteral("tt:Uri"), uri) +
                                                E(QStringLiteral("tt:InvalidAfterConnect"), QStringLiteral("false")) +
                                                E(QStringLiteral("tt:InvalidAfterReboot"), QStringLiteral("false")) +
                                                E(QStringLiteral("tt:Timeout"), QStringLiteral("PT0S")))));
  }
  logDetail += QStringLiteral(" refused=not-supported");
  return Fault(QStringLiteral("env:Receiver"), {QStringLiteral("ter:ActionNotSupported")},
               QStringLiteral("Optional Action Not Implemented"));
}

QString OnvifService::DeviceInformation() const {
  const CameraProfile& profile = camera_.Profile();
  return (W(QStringLiteral("tds:GetDeviceInformationResponse"),
            E(QStringLiteral("tds:Manufacturer"), QStringLiteral("Sentrova")) +
                E(QStringLiteral("tds:Model"), profile.mode) +
                E(QStringLiteral("tds:FirmwareVersion"), profile.version) +
                E(QStringLiteral("tds:SerialNumber"), HexMac(profile.mac).remove(u':')) +
                E(QStringLiteral("tds:HardwareId"), profile.mode)));
}

QString OnvifService::Capabilities() const {
  const QString device = DeviceXAddr(Address(), camera_.HttpPort());
  const QString media = QStringLiteral("http://%1:%2%3")
                            .arg(Address())
                            .arg(camera_.HttpPort())
                            .arg(QLatin1String(protocol::OnvifMediaPath));
  const QString network =
      W(QStringLiteral("tt:Network"),
        E(QStringLiteral("tt:IPFilter"), Bool(false)) + E(QStringLiteral("tt:ZeroConfiguration"), Bool(false)) +
            E(QStringLiteral("tt:IPVersion6"), Bool(false)) + E(QStringLiteral("tt:DynDNS"), Bool(false)));
  const QString system =
      W(QStringLiteral("tt:System"),
        E(QStringLiteral("tt:DiscoveryResolve"), Bool(false)) + E(QStringLiteral("tt:DiscoveryBye"), Bool(false)) +
            E(QStringLiteral("tt:RemoteDiscovery"), Bool(false)) + E(QStringLiteral("tt:SystemBackup"), Bool(false)) +
            E(QStringLiteral("tt:SystemLogging"), Bool(false)) + E(QStringLiteral("tt:FirmwareUpgrade"), Bool(false)) +
            W(QStringLiteral("tt:SupportedVersions"), E(QStringLiteral("tt:Major"), QStringLiteral("2")) +
                                                          E(QStringLiteral("tt:Minor"), QStringLiteral("60"))));
  const QString security =
      W(QStringLiteral("tt:Security"),
        E(QStringLiteral("tt:TLS1.1"), Bool(false)) + E(QStringLiteral("tt:TLS1.2"), Bool(false)) +
            E(QStringLiteral("tt:OnboardKeyGeneration"), Bool(false)) +
            E(QStringLiteral("tt:AccessPolicyConfig"), Bool(false)) + E(QStringLiteral("tt:X.509Token"), Bool(false)) +
            E(QStringLiteral("tt:SAMLToken"), Bool(false)) + E(QStringLiteral("tt:KerberosToken"), Bool(false)) +
            E(QStringLiteral("tt:RELToken"), Bool(false)));
  return (W(QStringLiteral("tds:GetCapabilitiesResponse"),
            W(QStringLiteral("tds:Capabilities"),
              W(QStringLiteral("tt:Device"), E(QStringLiteral("tt:XAddr"), device) + network + system + security) +
                  W(QStringLiteral("tt:Media"),
                    E(QStringLiteral("tt:XAddr"), media) + W(QStringLiteral("tt:StreamingCapabilities"),
                                                             E(QStringLiteral("tt:RTPMulticast"), Bool(false)) +
                                                                 E(QStringLiteral("tt:RTP_TCP"), Bool(true)) +
                                                                 E(QStringLiteral("tt:RTP_RTSP_TCP"), Bool(true)))))));
}

QString OnvifService::Services() const {
  const auto service = [](const char* ns, const QString& xaddr) {
    return W(QStringLiteral("tds:Service"),
             E(QStringLiteral("tds:Namespace"), QLatin1String(ns)) + E(QStringLiteral("tds:XAddr"), xaddr) +
                 W(QStringLiteral("tds:Version"), E(QStringLiteral("tt:Major"), QStringLiteral("2")) +
                                                      E(QStringLiteral("tt:Minor"), QStringLiteral("60"))));
  };
  const QString base = QStringLiteral("http://%1:%2").arg(Address()).arg(camera_.HttpPort());
  return (W(QStringLiteral("tds:GetServicesResponse"),
            service(protocol::NsDevice, base + QLatin1String(protocol::OnvifDevicePath)) +
                service(protocol::NsMedia, base + QLatin1String(protocol::OnvifMediaPath))));
}

QString OnvifService::NetworkInterfaces() const {
  const QJsonObject& saved = camera_.SavedSettings();
  const int prefix = PrefixFromMask(saved.value("SysSubnetMask").toString()).value_or(24);
  return (W(
      QStringLiteral("tds:GetNetworkInterfacesResponse"),
      QStringLiteral("<tds:NetworkInterfaces token=\"%1\">").arg(QLatin1String(kInterfaceToken)) +
          E(QStringLiteral("tt:Enabled"), Bool(true)) +
          W(QStringLiteral("tt:Info"), E(QStringLiteral("tt:Name"), QLatin1String(kInterfaceToken)) +
                                           E(QStringLiteral("tt:HwAddress"), HexMac(camera_.Mac())) +
                                           E(QStringLiteral("tt:MTU"), QStringLiteral("1500"))) +
          W(QStringLiteral("tt:IPv4"), E(QStringLiteral("tt:Enabled"), Bool(true)) +
                                           W(QStringLiteral("tt:Config"),
                                             W(QStringLiteral("tt:Manual"),
                                               E(QStringLiteral("tt:Address"), saved.value("SysIPAddress").toString()) +
                                                   E(QStringLiteral("tt:PrefixLength"), QString::number(prefix))) +
                                                 E(QStringLiteral("tt:DHCP"), Bool(false)))) +
          QStringLiteral("</tds:NetworkInterfaces>")));
}

std::optional<QJsonObject> OnvifService::Merged(const std::vector<User>& all, const QJsonObject& changes, bool account,
                                                QJsonArray& extra, QString& error) const {
  QJsonObject updates = changes;
  extra = camera_.OnvifUsers();
  if (account) {
    // The first administrator is the camera's account; the rest are kept beside it.
    extra = {};
    bool accountTaken = false;
    for (const User& user : all) {
      if (!accountTaken && user.level == QLatin1String(kAdministrator)) {
        updates.insert("SysAdminID", user.name);
        updates.insert("SysAdminPassword", user.password);
        accountTaken = true;
      } else {
        extra.append(QJsonObject{{"name", user.name}, {"password", user.password}, {"level", user.level}});
      }
    }
  }
  return MergeSettings(camera_.SavedSettings(), updates, camera_.ContextForSettings(), error);
}

std::optional<OnvifService::Answer> OnvifService::Save(const std::vector<User>& all, const QJsonObject& changes,
                                                       bool account, QStringList inForce, QString& logDetail) {
  QJsonArray extra;
  QString error;
  const std::optional<QJsonObject> settings = Merged(all, changes, account, extra, error);
  if (!settings) {
    logDetail += QStringLiteral(" result=0 error=") + LogSafe(error, 80);
    return InvalidArg(QStringLiteral("ter:InvalidValue"), error);
  }
  if (account) inForce << QStringLiteral("SysAdminID") << QStringLiteral("SysAdminPassword");
  if (!camera_.SaveOnvif(*settings, extra, inForce, error)) {
    logDetail += QStringLiteral(" result=0 error=") + LogSafe(error, 120);
    return Fault(QStringLiteral("env:Receiver"), {QStringLiteral("ter:Action")},
                 QStringLiteral("the settings could not be saved"));
  }
  logDetail += QStringLiteral(" result=1");
  return std::nullopt;
}

bool OnvifService::Moved() const {
  return camera_.SavedSettings().value("SysIPAddress") != camera_.RunningSettings().value("SysIPAddress");
}

OnvifService::Answer OnvifService::Commit(const Edit& edit, bool account, const QStringList& inForce, After onMove,
                                          Answer ok, QString& logDetail) {
  std::vector<User> all = StoredUsers();
  QJsonObject changes;
  if (std::optional<Answer> refused = edit(all, changes)) return *refused;
  const int settleMs = camera_.Profile().faults.settleMs;
  if (settleMs == 0) {
    if (auto failed = Save(all, changes, account, inForce, logDetail)) return *failed;
    if (onMove == After::Move && Moved()) ok.after = After::Move;
    return ok;
  }
  // A value the camera cannot keep is refused now; the change itself is
  // made later, on what is stored by then.
  QJsonArray extra;
  QString error;
  if (!Merged(all, changes, account, extra, error)) {
    logDetail += QStringLiteral(" result=0 error=") + LogSafe(error, 80);
    return InvalidArg(QStringLiteral("ter:InvalidValue"), error);
  }
  logDetail += QStringLiteral(" result=1 settles ms=%1").arg(settleMs);
  QTimer::singleShot(settleMs, &camera_, [this, edit, account, inForce, onMove] {
    std::vector<User> now = StoredUsers();
    QJsonObject latest;
    QString detail;
    const bool refused = edit(now, latest).has_value() || Save(now, latest, account, inForce, detail).has_value();
    log_.Line(QStringLiteral("camera %1 onvif settled%2")
                  .arg(camera_.Mac(), refused ? QStringLiteral(" refused") + detail : detail));
    if (!refused && onMove == After::Move && Moved()) camera_.RestartFor(0);
  });
  return ok;
}

namespace {

// A user as a request names it: the reason it cannot be kept, or nothing.
std::optional<OnvifService::Answer> UserRefusal(const QString& name, const QString& password, const QString& level) {
  if (name.isEmpty() || protocol::HasControlCharacter(name))
    return InvalidArg(QStringLiteral("ter:InvalidValue"), QStringLiteral("not a user name"));
  if (name.size() > kMaxIdUnits)
    return Prohibited(QStringLiteral("ter:UsernameTooLong"), QStringLiteral("user name too long"));
  if (password.size() > kMaxPasswordUnits)
    return Prohibited(QStringLiteral("ter:PasswordTooLong"), QStringLiteral("password too long"));
  if (protocol::HasControlCharacter(password))
    return Prohibited(QStringLiteral("ter:PasswordTooWeak"), QStringLiteral("password holds a control character"));
  if (level != u"Administrator" && level != u"Operator" && level != u"User")
    return Prohibited(QStringLiteral("ter:AnonymousNotAllowed"), QStringLiteral("no such user level"));
  return std::nullopt;
}

template <typename User>
std::optional<OnvifService::Answer> KeepsAnAdministrator(const std::vector<User>& users) {
  for (const User& user : users)
    if (user.level == QLatin1String(kAdministrator)) return std::nullopt;
  return Prohibited(QStringLiteral("ter:FixedUser"), QStringLiteral("the last administrator stays"));
}

}  // namespace

OnvifService::Answer OnvifService::SetUsers(const XmlElement& request, QString& logDetail) {
  for (const XmlElement* item : request.Children(u"User", Ns::Any))
    logDetail += QStringLiteral(" user=") + LogSafe(item->ChildText(u"Username", Ns::Any));
  const Edit edit = [request](std::vector<User>& all, QJsonObject&) -> std::optional<Answer> {
    for (const XmlElement* item : request.Children(u"User", Ns::Any)) {
      const QString name = item->ChildText(u"Username", Ns::Any);
      auto it = std::find_if(all.begin(), all.end(), [&](const User& user) { return user.name == name; });
      if (it == all.end()) return InvalidArg(QStringLiteral("ter:UsernameMissing"), QStringLiteral("no such user"));
      const XmlElement* password = item->Child(u"Password", Ns::Any);
      const QString level = item->Child(u"UserLevel", Ns::Any) ? item->ChildText(u"UserLevel", Ns::Any) : it->level;
      if (auto refused = UserRefusal(name, password ? password->text : it->password, level)) return refused;
      if (password) it->password = password->text;
      it->level = level;
    }
    return KeepsAnAdministrator(all);
  };
  return Commit(edit, true, {}, After::Nothing, Ok(QStringLiteral("<tds:SetUserResponse/>")), logDetail);
}

OnvifService::Answer OnvifService::CreateUsers(const XmlElement& request, QString& logDetail) {
  for (const XmlElement* item : request.Children(u"User", Ns::Any))
    logDetail += QStringLiteral(" user=") + LogSafe(item->ChildText(u"Username", Ns::Any));
  const Edit edit = [request](std::vector<User>& all, QJsonObject&) -> std::optional<Answer> {
    for (const XmlElement* item : request.Children(u"User", Ns::Any)) {
      const User user{item->ChildText(u"Username", Ns::Any), item->ChildText(u"Password", Ns::Any),
                      item->ChildText(u"UserLevel", Ns::Any)};
      if (auto refused = UserRefusal(user.name, user.password, user.level)) return refused;
      if (std::any_of(all.begin(), all.end(), [&](const User& each) { return each.name == user.name; }))
        return Prohibited(QStringLiteral("ter:UsernameClash"), QStringLiteral("the user exists"));
      if (static_cast<qsizetype>(all.size()) >= kMaxUsers)
        return Fault(QStringLiteral("env:Receiver"), {QStringLiteral("ter:Action"), QStringLiteral("ter:TooManyUsers")},
                     QStringLiteral("too many users"));
      all.push_back(user);
    }
    return std::nullopt;
  };
  return Commit(edit, true, {}, After::Nothing, Ok(QStringLiteral("<tds:CreateUsersResponse/>")), logDetail);
}

OnvifService::Answer OnvifService::DeleteUsers(const XmlElement& request, QString& logDetail) {
  for (const XmlElement* item : request.Children(u"Username", Ns::Any))
    logDetail += QStringLiteral(" user=") + LogSafe(item->text);
  const Edit edit = [request](std::vector<User>& all, QJsonObject&) -> std::optional<Answer> {
    for (const XmlElement* item : request.Children(u"Username", Ns::Any)) {
      auto it = std::find_if(all.begin(), all.end(), [&](const User& user) { return user.name == item->text; });
      if (it == all.end()) return InvalidArg(QStringLiteral("ter:UsernameMissing"), QStringLiteral("no such user"));
      all.erase(it);
    }
    // Deleting every administrator would lock everyone out for good.
    return KeepsAnAdministrator(all);
  };
  return Commit(edit, true, {}, After::Nothing, Ok(QStringLiteral("<tds:DeleteUsersResponse/>")), logDetail);
}

OnvifService::Answer OnvifService::SetNetworkInterfaces(const XmlElement& request, QString& logDetail) {
  if (request.ChildText(u"InterfaceToken", Ns::Any) != QLatin1String(kInterfaceToken)) {
    logDetail += QStringLiteral(" result=0 error=unknown-interface");
    return InvalidArg(QStringLiteral("ter:InvalidNetworkInterface"), QStringLiteral("no such network interface"));
  }
  const XmlElement* ipv4 = request.Find({u"NetworkInterface", u"IPv4"}, Ns::Any);
  QJsonObject address;
  if (ipv4) {
    if (ipv4->ChildText(u"DHCP", Ns::Any) == u"true" || ipv4->ChildText(u"Enabled", Ns::Any) == u"false") {
      logDetail += QStringLiteral(" result=0 error=dhcp-or-disabled");
      return InvalidArg(QStringLiteral("ter:InvalidIPv4Address"),
                        QStringLiteral("only a static IPv4 address is offered"));
    }
    if (const XmlElement* manual = ipv4->Child(u"Manual", Ns::Any)) {
      const QString text = manual->ChildText(u"Address", Ns::Any);
      bool ok = false;
      const int prefix = manual->ChildText(u"PrefixLength", Ns::Any).toInt(&ok);
      const QString why = ok ? StaticAddressError(text, prefix) : QStringLiteral("prefix length is not a number");
      logDetail += QStringLiteral(" address=%1 prefix=%2")
                       .arg(LogSafe(text, 20), LogSafe(manual->ChildText(u"PrefixLength", Ns::Any), 8));
      if (!why.isEmpty()) {
        logDetail += QStringLiteral(" result=0 error=") + LogSafe(why, 60);
        return InvalidArg(QStringLiteral("ter:InvalidIPv4Address"), why);
      }
      address.insert("SysIPAddress", text);
      address.insert("SysSubnetMask", MaskFromPrefix(prefix));
    }
  }
  const bool rebootNeeded = camera_.Profile().faults.rebootNeeded;
  const Edit edit = [address](std::vector<User>&, QJsonObject& changes) -> std::optional<Answer> {
    changes = address;
    return std::nullopt;
  };
  return Commit(edit, false, {}, rebootNeeded ? After::Nothing : After::Move,
                Ok(W(QStringLiteral("tds:SetNetworkInterfacesResponse"),
                     E(QStringLiteral("tds:RebootNeeded"), Bool(rebootNeeded)))),
                logDetail);
}

OnvifService::Answer OnvifService::SetGateway(const XmlElement& request, QString& logDetail) {
  const std::vector<const XmlElement*> addresses = request.Children(u"IPv4Address", Ns::Any);
  if (addresses.size() > 1)
    return InvalidArg(QStringLiteral("ter:InvalidGatewayAddress"), QStringLiteral("one gateway only"));
  const QString gateway = addresses.empty() ? QString() : addresses.front()->text;
  logDetail += QStringLiteral(" gateway=") + LogSafe(gateway, 20);
  const quint32 value = protocol::ParseIPv4(gateway).value_or(0);
  if (!gateway.isEmpty() && (!protocol::IsIPv4(gateway) || value == 0 || value == 0xFFFFFFFF || (value >> 28) == 0xE)) {
    logDetail += QStringLiteral(" result=0 error=not-a-gateway");
    return InvalidArg(QStringLiteral("ter:InvalidGatewayAddress"), QStringLiteral("not a gateway address"));
  }
  const Edit edit = [gateway](std::vector<User>&, QJsonObject& changes) -> std::optional<Answer> {
    changes.insert("SysDefaultGateway", gateway);
    return std::nullopt;
  };
  return Commit(edit, false, {QStringLiteral("SysDefaultGateway")}, After::Nothing,
                Ok(QStringLiteral("<tds:SetNetworkDefaultGatewayResponse/>")), logDetail);
}

}  // namespace camd
