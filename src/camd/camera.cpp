#include "camd/camera.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "camd/onvif_http_guard.h"
#include "camd/onvif_service.h"
#include "camd/settings.h"
#include "camd/settings_store.h"
#include "camd/sim_log.h"

namespace camd {
namespace {

constexpr qint64 kChallengeLifetimeMs = 30 * 1000;
constexpr qsizetype kMaxChallenges = 64;
constexpr qint64 kReplyCacheMs = 30 * 1000;
constexpr qsizetype kMaxCachedReplies = 256;
const QString kApiPrefix = QStringLiteral("/setup/v1/");


QJsonObject Error(const QString& text) { return QJsonObject{{"error", text}}; }

// Removes entries older than `lifetimeMs`, then the oldest beyond `limit`.
template <typename Map, typename Age>
void Prune(Map& map, qint64 now, qint64 lifetimeMs, qsizetype limit, Age ageOf) {
  for (auto it = map.begin(); it != map.end();) it = now - ageOf(*it) > lifetimeMs ? map.erase(it) : std::next(it);
  while (map.size() > limit) {
    auto oldest = map.begin();
    for (auto it = map.begin(); it != map.end(); ++it)
      if (ageOf(*it) < ageOf(*oldest)) oldest = it;
    map.erase(oldest);
  }
}

}  // namespace

Camera::Camera(CameraProfile profile, QJsonObject savedSettings, const SimOptions& options, const SettingsStore& store,
               SimLog& log, std::mt19937& random, QJsonArray onvifUsers, QObject* parent)
    : QObject(parent),
      profile_(std::move(profile)),
      saved_(std::move(savedSettings)),
      onvifUsers_(std::move(onvifUsers)),
      options_(options),
      store_(store),
      log_(log),
      random_(random) {
  clock_.start();
  if (profile_.onvif) onvif_ = std::make_unique<OnvifService>(*this, log_);
}

Camera::~Camera() = default;

QString Camera::address() const { return running_.value("SysIPAddress").toString(); }

void Camera::start() {
  running_ = saved_;
  kept_.reset();
  silent_ = false;
  const QHostAddress host(address());
  sender_ = std::make_unique<QUdpSocket>();
  if (!sender_->bind(host, 0)) {
    log_.line(QStringLiteral("camera %1 error cannot send from %2: %3").arg(mac(), address(), sender_->errorString()));
    stop();
    return;
  }
  sender_->setMulticastInterface(options_.interface);
  sender_->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
  sender_->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);

  const quint16 port = httpPort();
  QString http = QStringLiteral("refused");
  if (!profile_.faults.refuseConnections) {
    http_ = std::make_unique<QHttpServer>();
    http_->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
      handleHttp(request, std::move(responder));
    });
    QTcpServer* server = profile_.onvif ? new OnvifHttpGuard(log_, mac(), http_.get()) : new QTcpServer(http_.get());
    if (server->listen(host, port)) {
      http_->bind(server);
      http = QString::number(port);
    } else {
      // Usually another camera on this address holds the port, as on a real
      // network where only one of two cameras sharing an address is reached.
      http = QStringLiteral("unavailable error=") + LogSafe(server->errorString(), 80);
      http_.reset();
    }
  }
  log_.line(QStringLiteral("camera %1 state up address=%2 http=%3").arg(mac(), address(), http));
}

void Camera::stop() {
  silent_ = true;
  sender_.reset();
  // The server may be in the middle of its own handler: delete it later.
  if (http_) http_.release()->deleteLater();
}

void Camera::restart() { restartFor(options_.restartMs); }

void Camera::restartFor(int silentMs) {
  stop();
  log_.line(QStringLiteral("camera %1 state silent ms=%2").arg(mac()).arg(silentMs));
  QTimer::singleShot(silentMs, this, [this] { start(); });
}

bool Camera::save(const QJsonObject& settings, QString& error) {
  if (profile_.faults.dieDuringApply) {
    log_.line(QStringLiteral("camera %1 fault dies during apply").arg(mac()));
    store_.saveAndDieHalfway(mac(), settings);
  }
  if (!store_.save(mac(), settings, onvifUsers_, error)) return false;
  saved_ = settings;
  return true;
}

bool Camera::saveOnvif(const QJsonObject& settings, const QJsonArray& users, const QStringList& inForce,
                       QString& error) {
  if (!store_.save(mac(), settings, users, error)) return false;
  saved_ = settings;
  onvifUsers_ = users;
  for (const QString& key : inForce) running_.insert(key, saved_.value(key));
  return true;
}

bool Camera::dropped() {
  return profile_.faults.dropShare > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < profile_.faults.dropShare;
}

// ---- HTTP ----

void Camera::handleHttp(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
  if (onvif_ && (!profile_.sentrova || !request.url().path().startsWith(kApiPrefix))) {
    onvif_->handle(request, std::move(responder));
    return;
  }
  QString detail;
  const Reply reply = answerHttp(request, detail);
  log_.line(QStringLiteral("camera %1 http %2 %3%4 status=%5")
                .arg(mac(), request.method() == QHttpServerRequest::Method::Post ? QStringLiteral("POST")
                            : request.method() == QHttpServerRequest::Method::Get ? QStringLiteral("GET")
                                                                                  : QStringLiteral("OTHER"),
                     LogSafe(request.url().path(), 80), detail)
                .arg(reply.status));

  auto shared = std::make_shared<QHttpServerResponder>(std::move(responder));
  QPointer<QTcpSocket> socket = shared->socket();
  auto send = [this, shared, socket, reply] {
    if (socket) {
      const QByteArray body = QJsonDocument(reply.body).toJson(QJsonDocument::Compact);
      shared->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
      shared->writeHeader("Content-Type", "application/json");
      shared->writeHeader(protocol::MacHeader, mac().toUtf8());
      for (const QByteArray& challenge : reply.authenticate) shared->writeHeader("WWW-Authenticate", challenge);
      shared->writeHeader("Content-Length", QByteArray::number(body.size()));
      shared->writeBody(body);
      socket->flush();
    }
    if (reply.restartAfter) restart();
  };
  if (profile_.faults.answerDelayMs > 0)
    QTimer::singleShot(profile_.faults.answerDelayMs, this, send);
  else
    send();
}

Camera::Reply Camera::answerHttp(const QHttpServerRequest& request, QString& logDetail) {
  if (request.body().size() > protocol::MaxBodyBytes) return {413, Error(QStringLiteral("body larger than 64 KiB")), {}};
  const QString path = request.url().path();
  if (!path.startsWith(kApiPrefix)) return {404, Error(QStringLiteral("no such resource")), {}};
  const QString resource = path.mid(kApiPrefix.size());
  const bool isGet = request.method() == QHttpServerRequest::Method::Get;
  const bool isPost = request.method() == QHttpServerRequest::Method::Post;
  const bool isRead = resource == u"hello" || resource.startsWith(u"settings/");
  const bool isWrite = resource == u"apply" || resource == u"restart";
  if (!isRead && !isWrite) return {404, Error(QStringLiteral("no such resource")), {}};
  if ((isRead && !isGet) || (isWrite && !isPost)) return {405, Error(QStringLiteral("method not allowed")), {}};

  // Family-0 cameras answer reads without a login; writes always need one.
  Reply refusal;
  if ((isWrite || profile_.family == 2) && !authorised(request, refusal)) return refusal;

  if (resource == u"hello") return {200, QJsonObject{{"mac", mac()}, {"family", profile_.family}}, {}};
  if (resource == u"apply") return apply(request.body(), logDetail);
  if (resource == u"restart") return {200, QJsonObject{{"result", 1}}, {}, true};
  const QString key = resource.mid(QStringLiteral("settings/").size());
  logDetail = QStringLiteral(" key=") + LogSafe(key);
  const QJsonValue value = settingValue(key);
  if (value.isUndefined()) return {404, Error(QStringLiteral("unknown setting")), {}};
  return {200, QJsonObject{{"key", key}, {"value", value}}, {}};
}

bool Camera::authorised(const QHttpServerRequest& request, Reply& refusal) {
  const QString method = request.method() == QHttpServerRequest::Method::Post ? QStringLiteral("POST") : QStringLiteral("GET");
  const QString uri = QString::fromLatin1(request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
  const DigestResult result = digest_.verify(request.value("Authorization"), method, uri,
                                             running_.value("SysAdminID").toString(),
                                             running_.value("SysAdminPassword").toString());
  if (result == DigestResult::Accepted) return true;
  refusal = {401, Error(QStringLiteral("authentication required")), digest_.challenge(result == DigestResult::Stale)};
  return false;
}

QJsonValue Camera::settingValue(const QString& key) const {
  const SettingsContext context{profile_.wireless, options_.loopbackOnly};
  if (!IsKnownSetting(key, context)) return QJsonValue(QJsonValue::Undefined);
  if (key == u"DeviceType") return DeviceTypeFor(profile_.family, profile_.wireless);
  return saved_.value(key);
}

Camera::Reply Camera::apply(const QByteArray& body, QString& logDetail) {
  const QJsonDocument document = QJsonDocument::fromJson(body);
  const QJsonValue changes = document.object().value("settings");
  if (!document.isObject() || !changes.isObject()) {
    logDetail = QStringLiteral(" result=0");
    return {400, Error(QStringLiteral("expected {\"settings\": {...}}")), {}};
  }
  QStringList keys;
  for (const QString& key : changes.toObject().keys()) keys << LogSafe(key, 32);
  logDetail = QStringLiteral(" keys=") + keys.join(u',');
  QString error;
  const auto merged =
      MergeSettings(saved_, changes.toObject(), SettingsContext{profile_.wireless, options_.loopbackOnly}, error);
  if (!merged) {
    logDetail += QStringLiteral(" result=0 error=") + LogSafe(error, 80);
    return {422, Error(error), {}};
  }
  if (!save(*merged, error)) {
    logDetail += QStringLiteral(" result=0 error=") + LogSafe(error, 120);
    return {500, Error(QStringLiteral("the settings could not be saved")), {}};
  }
  logDetail += QStringLiteral(" result=1");
  // Cameras that restart on request keep the old address and credentials in
  // force until then; the others start over by themselves.
  return {200, QJsonObject{{"result", 1}}, {},
          ChangesIdentity(running_, saved_) && !VersionRestartsOnRequest(profile_.version)};
}

// ---- Discovery and MAC channel ----

bool Camera::concerns(const protocol::Message& request) const {
  switch (request.kind) {
    case protocol::Kind::Probe: return true;
    case protocol::Kind::WhoHasRequest: return request.address == address();
    case protocol::Kind::ChallengeRequest:
    case protocol::Kind::LoginRequest:
    case protocol::Kind::ChangeAddressRequest:
    case protocol::Kind::ApplyRequest: return request.mac == mac();
    default: return false;
  }
}

void Camera::handleDatagram(const protocol::Message& request) {
  if (!profile_.sentrova || silent_ || !concerns(request) || dropped()) return;
  if (request.kind == protocol::Kind::Probe) {
    answerProbe(request);
    return;
  }
  const QString op = protocol::OpName(request.kind);
  const QString cacheKey = op + u':' + request.nonce;
  const qint64 now = clock_.elapsed();
  Prune(replies_, now, kReplyCacheMs, kMaxCachedReplies, [](const CachedReply& r) { return r.atMs; });
  if (auto cached = replies_.find(cacheKey); cached != replies_.end()) {
    // A repeated copy: the first answer again, the command is not repeated.
    log_.line(QStringLiteral("camera %1 udp %2 nonce=%3 repeated").arg(mac(), op, request.nonce));
    sendToGroup(cached->reply, profile_.faults.answerDelayMs);
    return;
  }
  QString detail;
  const protocol::Message reply = macCommand(request, detail);
  log_.line(QStringLiteral("camera %1 udp %2 nonce=%3%4").arg(mac(), op, request.nonce, detail));
  replies_.insert(cacheKey, CachedReply{now, reply});
  sendToGroup(reply, profile_.faults.answerDelayMs);
  if (reply.kind == protocol::Kind::ApplyReply && reply.result == 1) {
    // The new address takes effect by a restart, once the answer is out.
    QTimer::singleShot(profile_.faults.answerDelayMs + 1, this, [this] { restart(); });
  }
}

void Camera::answerProbe(const protocol::Message& probe) {
  protocol::Message here;
  here.kind = protocol::Kind::Here;
  here.nonce = probe.nonce;
  here.mac = mac();
  here.address = address();
  here.mask = running_.value("SysSubnetMask").toString();
  here.gateway = running_.value("SysDefaultGateway").toString();
  here.mode = profile_.mode;
  here.caption = profile_.caption;
  here.version = profile_.version;
  here.family = profile_.family;
  here.port = protocol::HttpPortForFamily(profile_.family);
  const int spread =
      options_.answerSpreadMs > 0 ? std::uniform_int_distribution<int>(0, options_.answerSpreadMs)(random_) : 0;
  sendToGroup(here, spread + profile_.faults.answerDelayMs);
}

protocol::Message Camera::macCommand(const protocol::Message& request, QString& logDetail) {
  protocol::Message reply;
  reply.nonce = request.nonce;
  reply.mac = mac();
  const int state = profile_.family == 2 ? protocol::StateLoginNeeded : protocol::StateGranted;
  switch (request.kind) {
    case protocol::Kind::WhoHasRequest:
      reply.kind = protocol::Kind::WhoHasReply;
      reply.address = address();
      logDetail = QStringLiteral(" address=") + address();
      break;
    case protocol::Kind::ChallengeRequest:
      reply.kind = protocol::Kind::ChallengeReply;
      Prune(challenges_, clock_.elapsed(), kChallengeLifetimeMs, kMaxChallenges - 1, [](qint64 at) { return at; });
      reply.challenge = protocol::RandomHex(protocol::ChallengeHexChars);
      challenges_.insert(reply.challenge, clock_.elapsed());
      reply.state = state;
      logDetail = QStringLiteral(" state=%1").arg(state);
      break;
    case protocol::Kind::LoginRequest:
      reply.kind = protocol::Kind::LoginReply;
      reply.state = proofHolds(request) ? protocol::StateGranted : protocol::StateLoginNeeded;
      logDetail = QStringLiteral(" id=%1 state=%2").arg(LogSafe(request.id)).arg(reply.state);
      break;
    case protocol::Kind::ChangeAddressRequest:
      changeAddress(request, reply);
      logDetail = QStringLiteral(" address=%1 mask=%2 gateway=%3 result=%4")
                      .arg(request.address, request.mask, request.gateway)
                      .arg(reply.result);
      break;
    case protocol::Kind::ApplyRequest:
      applyKeptAddress(request, reply);
      logDetail = QStringLiteral(" result=%1").arg(reply.result);
      break;
    default: break;
  }
  if (!reply.error.isEmpty()) logDetail += QStringLiteral(" error=") + LogSafe(reply.error, 80);
  return reply;
}

bool Camera::proofHolds(const protocol::Message& request) {
  // A challenge answers one command only, right or wrong.
  const auto issued = challenges_.find(request.challenge.toLower());
  const bool known = issued != challenges_.end();
  const bool fresh = known && clock_.elapsed() - *issued <= kChallengeLifetimeMs;
  if (known) challenges_.erase(issued);
  // A camera that needs no login takes its commands from anyone, as it
  // serves its settings to anyone.
  if (profile_.family != 2) return true;
  return fresh && request.id == running_.value("SysAdminID").toString() &&
         protocol::ProofMatches(request, running_.value("SysAdminPassword").toString());
}

void Camera::changeAddress(const protocol::Message& request, protocol::Message& reply) {
  reply.kind = protocol::Kind::ChangeAddressReply;
  if (!proofHolds(request)) {
    reply.error = QStringLiteral("login refused");
    return;
  }
  const QJsonObject change{
      {"SysIPAddress", request.address}, {"SysSubnetMask", request.mask}, {"SysDefaultGateway", request.gateway}};
  if (!MergeSettings(saved_, change, SettingsContext{profile_.wireless, options_.loopbackOnly}, reply.error)) return;
  kept_ = KeptAddress{request.address, request.mask, request.gateway};
  reply.result = 1;
}

void Camera::applyKeptAddress(const protocol::Message& request, protocol::Message& reply) {
  reply.kind = protocol::Kind::ApplyReply;
  if (!proofHolds(request)) {
    reply.error = QStringLiteral("login refused");
    return;
  }
  if (!kept_) {
    reply.error = QStringLiteral("no address change to apply");
    return;
  }
  const QJsonObject change{
      {"SysIPAddress", kept_->address}, {"SysSubnetMask", kept_->mask}, {"SysDefaultGateway", kept_->gateway}};
  const auto merged = MergeSettings(saved_, change, SettingsContext{profile_.wireless, options_.loopbackOnly}, reply.error);
  if (!merged || !save(*merged, reply.error)) return;
  reply.result = 1;
}

void Camera::sendToGroup(const protocol::Message& message, int delayMs) {
  // Built when it is sent: a probe reaches the whole fleet at once, and
  // building a thousand answers up front would delay them all.
  auto send = [this, message] {
    if (!sender_ || dropped()) return;
    const QByteArray datagram = protocol::BuildDatagram(message);
    if (datagram.isEmpty()) {
      log_.line(QStringLiteral("camera %1 error reply %2 does not fit a datagram").arg(mac(), protocol::OpName(message.kind)));
      return;
    }
    sender_->writeDatagram(datagram, options_.group, options_.discoveryPort);
  };
  if (delayMs > 0)
    QTimer::singleShot(delayMs, this, send);
  else
    send();
}

}  // namespace camd
