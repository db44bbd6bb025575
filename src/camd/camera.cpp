#include "camd/camera.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QMessageAuthenticationCode>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "camd/discovery.h"
#include "camd/onvif_service.h"
#include "camd/settings.h"
#include "camd/settings_store.h"
#include "camd/sim_log.h"
#include "protocol/wire.h"

namespace camd {
namespace {

constexpr int kTimeHexChars = 10;
constexpr int kNumberHexChars = 6;
constexpr quint32 kNumberMask = 0xFFFFFF;
constexpr qint64 kReplyCacheMs = qint64{30} * 1000;
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

// Frames the requests of one connection as their bytes arrive, before the
// HTTP server buffers them: a head over the cap, a declared body over the
// cap, two different lengths or a body sent in chunks is refused at once, so
// no request ever holds more than the caps in memory.
class RequestGate {
 public:
  struct Refusal {
    int status = 0;  // 0: acceptable so far
    const char* why = "";
  };

  // Takes the next bytes; `completed` counts the requests they finish.
  Refusal Feed(QByteArrayView bytes, int& completed) {
    while (!bytes.isEmpty()) {
      if (bodyLeft_ > 0) {
        const qint64 taken = std::min<qint64>(bodyLeft_, bytes.size());
        bodyLeft_ -= taken;
        bytes = bytes.sliced(taken);
        if (bodyLeft_ == 0) ++completed;
        continue;
      }
      const qsizetype before = head_.size();
      head_.append(bytes.first(std::min<qsizetype>(bytes.size(), protocol::MaxHeaderBytes + 4 - before)));
      const qsizetype end = head_.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
      if (end < 0) {
        if (head_.size() > protocol::MaxHeaderBytes) return {431, "request head larger than 16 KiB"};
        return {};
      }
      bytes = bytes.sliced(end + 4 - before);
      const Refusal refusal = StartBody(head_.first(end));
      head_.clear();
      if (refusal.status != 0) return refusal;
      if (bodyLeft_ == 0) ++completed;
    }
    return {};
  }

 private:
  Refusal StartBody(const QByteArray& head) {
    std::optional<qint64> length;
    for (const QByteArray& line : head.split('\n')) {
      const qsizetype colon = line.indexOf(':');
      if (colon < 0) continue;
      const QByteArray name = line.first(colon).trimmed().toLower();
      const QByteArray value = line.sliced(colon + 1).trimmed();
      if (name == "transfer-encoding") return {501, "bodies in chunks are not taken"};
      if (name != "content-length") continue;
      bool ok = false;
      const qint64 declared = value.toLongLong(&ok);
      if (!ok || declared < 0 || value.startsWith('+')) return {400, "malformed Content-Length"};
      if (length && *length != declared) return {400, "two different Content-Length headers"};
      length = declared;
    }
    if (length.value_or(0) > protocol::MaxBodyBytes) return {413, "body larger than 64 KiB"};
    bodyLeft_ = length.value_or(0);
    return {};
  }

  QByteArray head_;
  qint64 bodyLeft_ = 0;
};

}  // namespace

// The setup port: hands connections to the HTTP server through a gate that
// keeps one client from exhausting the camera's memory or descriptors. Idle
// connections and requests that take too long are closed; after an accept
// error (no descriptor left) it accepts again a little later.
class SetupServer : public QTcpServer {
  Q_OBJECT

 public:
  SetupServer(QString mac, int idleMs, SimLog& log, QObject* parent)
      : QTcpServer(parent), mac_(std::move(mac)), idleMs_(idleMs), log_(log) {
    clock_.start();
    connect(this, &QTcpServer::acceptError, this,
            [this](QAbstractSocket::SocketError) { HoldAccepting(errorString()); });
    sweep_.setInterval(std::max(50, idleMs_ / 4));
    connect(&sweep_, &QTimer::timeout, this, [this] {
      CloseIdle();
      if (!holding_ && isListening() && !DescriptorLeft()) HoldAccepting(QStringLiteral("no descriptor left"));
    });
    sweep_.start();
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      return;
    }
    // Never more buffered than one request may hold.
    socket->setReadBufferSize(protocol::MaxHeaderBytes + protocol::MaxBodyBytes + 4096);
    connections_.insert(socket, Connection{clock_.elapsed(), {}, false});
    // Connected before the HTTP server's own handler, so the gate sees the
    // bytes first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Gate(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { connections_.remove(socket); });
    addPendingConnection(socket);
    if (!DescriptorLeft()) HoldAccepting(QStringLiteral("no descriptor left"));
  }

 private:
  struct Connection {
    qint64 progressMs;  // accepted, or the last request completed
    RequestGate gate;
    bool refused;
  };

  void Gate(QTcpSocket* socket) {
    auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    if (it->refused) {
      socket->readAll();  // what follows a refused request is read and thrown away
      return;
    }
    int completed = 0;
    const RequestGate::Refusal refusal = it->gate.Feed(socket->peek(socket->bytesAvailable()), completed);
    if (completed > 0) it->progressMs = clock_.elapsed();
    if (refusal.status == 0) return;
    it->refused = true;
    // The HTTP server never sees this request, and lets go of what it kept.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    if (socket->isTransactionStarted()) socket->commitTransaction();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Gate(socket); });
    log_.Line(QStringLiteral("camera %1 connection refused status=%2 reason=%3")
                  .arg(mac_)
                  .arg(refusal.status)
                  .arg(LogSafe(QString::fromLatin1(refusal.why), 80)));
    const QByteArray body = QJsonDocument(Error(QString::fromLatin1(refusal.why))).toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 " + QByteArray::number(refusal.status) + " Refused\r\nContent-Type: application/json\r\n" +
                  protocol::MacHeader + ": " + mac_.toUtf8() +
                  "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->readAll();
  }

  void CloseIdle() {
    const qint64 now = clock_.elapsed();
    QList<QTcpSocket*> idle;
    for (auto it = connections_.begin(); it != connections_.end(); ++it)
      if (now - it->progressMs > idleMs_) idle << it.key();
    for (QTcpSocket* socket : idle) {
      log_.Line(QStringLiteral("camera %1 connection closed idle ms=%2").arg(mac_).arg(idleMs_));
      connections_.remove(socket);
      socket->abort();
      socket->deleteLater();
    }
  }

  // Qt keeps the first error a listening socket ever had (the empty queue's
  // "try again"), so running out of descriptors later does not always reach
  // acceptError: the server would spin on a failing accept. So the server
  // also looks for a free descriptor itself, after each accept and at each
  // sweep, and holds accepting until one is free again. It probes with its
  // own listening socket, the one descriptor it surely holds.
  bool DescriptorLeft() const {
    const int probe = ::fcntl(static_cast<int>(socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (probe < 0) return errno != EMFILE && errno != ENFILE;
    ::close(probe);
    return true;
  }

  // Logged once per shortage; retried quietly until a descriptor is free.
  void HoldAccepting(const QString& why) {
    pauseAccepting();
    if (!holding_)
      log_.Line(
          QStringLiteral("camera %1 http accept error=%2 retry ms=%3").arg(mac_, LogSafe(why, 80)).arg(kAcceptRetryMs));
    holding_ = true;
    if (retryPending_) return;
    retryPending_ = true;
    QTimer::singleShot(kAcceptRetryMs, this, [this] {
      retryPending_ = false;
      if (!DescriptorLeft()) return HoldAccepting({});
      holding_ = false;
      resumeAccepting();
    });
  }

  static constexpr int kAcceptRetryMs = 250;
  bool holding_ = false;
  bool retryPending_ = false;
  const QString mac_;
  const int idleMs_;
  SimLog& log_;
  QElapsedTimer clock_;
  QTimer sweep_;
  QHash<QTcpSocket*, Connection> connections_;
};

ChallengeBook::ChallengeBook() : secret_(protocol::RandomHex(64).toLatin1()) { clock_.start(); }

QString ChallengeBook::Tagged(qint64 issuedMs, quint32 number) const {
  const QString head = QStringLiteral("%1%2")
                           .arg(issuedMs, kTimeHexChars, 16, QChar(u'0'))
                           .arg(number, kNumberHexChars, 16, QChar(u'0'));
  const QByteArray tag = QMessageAuthenticationCode::hash(head.toLatin1(), secret_, QCryptographicHash::Sha256).toHex();
  return head + QString::fromLatin1(tag.left(protocol::ChallengeHexChars - kTimeHexChars - kNumberHexChars));
}

QString ChallengeBook::Issue() {
  const quint32 number = next_;
  next_ = (next_ + 1) & kNumberMask;
  spent_[number % Window] = false;  // the number that held this slot is out of the window now
  return Tagged(clock_.elapsed(), number);
}

bool ChallengeBook::Spend(const QString& challenge) {
  if (challenge.size() != protocol::ChallengeHexChars) return false;
  bool timeOk = false;
  bool numberOk = false;
  const qint64 issuedMs = challenge.left(kTimeHexChars).toLongLong(&timeOk, 16);
  const quint32 number = challenge.mid(kTimeHexChars, kNumberHexChars).toUInt(&numberOk, 16);
  if (!timeOk || !numberOk || !protocol::SameText(Tagged(issuedMs, number), challenge)) return false;
  const quint32 age = (next_ - 1 - number) & kNumberMask;  // how many were issued after it
  if (age >= Window || clock_.elapsed() - issuedMs > LifetimeMs) return false;
  const bool spentBefore = spent_[number % Window];
  spent_[number % Window] = true;
  return !spentBefore;
}

Camera::Camera(CameraProfile profile, QJsonObject savedSettings, const SimOptions& options, const SettingsStore& store,
               SimLog& log, std::mt19937& random, AnswerScheduler& answers, QJsonArray onvifUsers, QObject* parent)
    : QObject(parent),
      profile_(std::move(profile)),
      saved_(std::move(savedSettings)),
      onvifUsers_(std::move(onvifUsers)),
      options_(options),
      store_(store),
      log_(log),
      random_(random),
      answers_(answers) {
  clock_.start();
  if (profile_.onvif) onvif_ = std::make_unique<OnvifService>(*this, log_);
}

Camera::~Camera() = default;

QString Camera::Address() const { return running_.value("SysIPAddress").toString(); }

void Camera::Start() {
  running_ = saved_;
  kept_.reset();
  silent_ = false;
  const QHostAddress host(Address());
  // The listeners first: the sender's port is then never one of theirs.
  if (profile_.sentrova) {
    probeListener_ =
        ListenUnicast(options_.discoveryPort, [this](const QByteArray& datagram, const QHostAddress& from,
                                                     quint16 port) { AnswerUnicastProbe(datagram, from, port); });
  }
  if (profile_.onvif && onOnvifUnicast) onvifListener_ = ListenUnicast(options_.onvifDiscoveryPort, onOnvifUnicast);
  sender_ = std::make_unique<QUdpSocket>();
  if (!sender_->bind(host, 0)) {
    log_.Line(QStringLiteral("camera %1 error cannot send from %2: %3").arg(Mac(), Address(), sender_->errorString()));
    Stop();
    return;
  }
  sender_->setMulticastInterface(options_.interface);
  sender_->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
  sender_->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);

  const quint16 port = HttpPort();
  QString http = QStringLiteral("refused");
  if (!profile_.faults.refuseConnections) {
    http_ = std::make_unique<QHttpServer>();
    http_->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
      HandleHttp(request, std::move(responder));
    });
    auto* server = new SetupServer(Mac(), options_.idleMs, log_, http_.get());
    if (server->listen(host, port)) {
      http_->bind(server);
      http = QString::number(port) + ListenLinkLocal(port);
    } else {
      // Usually another camera on this address holds the port, as on a real
      // network where only one of two cameras sharing an address is reached.
      http = QStringLiteral("unavailable error=") + LogSafe(server->errorString(), 80);
      http_.reset();
    }
  }
  log_.Line(QStringLiteral("camera %1 state up address=%2 http=%3").arg(Mac(), Address(), http));
  emit Started();
}

// The device service at the interface's link-local address as well, for a
// camera that offers it: " ipv6=<address>", or why not.
QString Camera::ListenLinkLocal(quint16 port) {
  if (!profile_.ipv6LinkLocal) return {};
  const QHostAddress linkLocal = LinkLocalOf(options_.interface);
  if (linkLocal.isNull()) return QStringLiteral(" ipv6=unavailable error=no link-local address");
  auto* server = new SetupServer(Mac(), options_.idleMs, log_, http_.get());
  if (!server->listen(linkLocal, port)) {
    // One address for the whole fleet: the first camera on a port holds it.
    const QString why = LogSafe(server->errorString(), 80);
    delete server;
    return QStringLiteral(" ipv6=unavailable error=") + why;
  }
  http_->bind(server);
  return QStringLiteral(" ipv6=") + linkLocal.toString();
}

void Camera::Stop() {
  if (!silent_) emit Stopping();
  silent_ = true;
  sender_.reset();
  probeListener_.reset();
  onvifListener_.reset();
  // The server may be in the middle of its own handler: delete it later.
  if (http_) http_.release()->deleteLater();
}

void Camera::Restart() { RestartFor(options_.restartMs); }

void Camera::RestartFor(int silentMs) {
  Stop();
  log_.Line(QStringLiteral("camera %1 state silent ms=%2").arg(Mac()).arg(silentMs));
  QTimer::singleShot(silentMs, this, [this] { Start(); });
}

bool Camera::Save(const QJsonObject& settings, QString& error) {
  if (profile_.faults.dieDuringApply) {
    log_.Line(QStringLiteral("camera %1 fault dies during apply").arg(Mac()));
    store_.SaveAndDieHalfway(Mac(), settings);
  }
  if (!store_.Save(Mac(), settings, onvifUsers_, error)) return false;
  saved_ = settings;
  return true;
}

bool Camera::SaveOnvif(const QJsonObject& settings, const QJsonArray& users, const QStringList& inForce,
                       QString& error) {
  if (!store_.Save(Mac(), settings, users, error)) return false;
  saved_ = settings;
  onvifUsers_ = users;
  for (const QString& key : inForce) running_.insert(key, saved_.value(key));
  return true;
}

bool Camera::Dropped() {
  return profile_.faults.dropShare > 0 &&
         std::uniform_real_distribution<double>(0, 1)(random_) < profile_.faults.dropShare;
}

// ---- HTTP ----

void Camera::HandleHttp(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
  if (onvif_ && (!profile_.sentrova || !request.url().path().startsWith(kApiPrefix))) {
    onvif_->Handle(request, std::move(responder));
    return;
  }
  QString detail;
  const Reply reply = AnswerHttp(request, detail);
  log_.Line(QStringLiteral("camera %1 http %2 %3%4 status=%5")
                .arg(Mac(),
                     request.method() == QHttpServerRequest::Method::Post  ? QStringLiteral("POST")
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
      shared->writeHeader(protocol::MacHeader, Mac().toUtf8());
      for (const QByteArray& challenge : reply.authenticate) shared->writeHeader("WWW-Authenticate", challenge);
      shared->writeHeader("Content-Length", QByteArray::number(body.size()));
      shared->writeBody(body);
      socket->flush();
    }
    if (reply.restartAfter) Restart();
  };
  const qint64 delay = profile_.faults.answerDelayMs;
  if (delay > 0)
    QTimer::singleShot(std::chrono::milliseconds(delay), Qt::PreciseTimer, this, send);
  else
    send();
}

Camera::Reply Camera::AnswerHttp(const QHttpServerRequest& request, QString& logDetail) {
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
  if ((isWrite || profile_.family == 2) && !Authorised(request, refusal, logDetail)) return refusal;

  if (resource == u"hello") return {200, QJsonObject{{"mac", Mac()}, {"family", profile_.family}}, {}};
  if (resource == u"apply") return Apply(request.body(), logDetail);
  if (resource == u"restart") return {200, QJsonObject{{"result", 1}}, {}, true};
  const QString key = resource.mid(QStringLiteral("settings/").size());
  logDetail = QStringLiteral(" key=") + LogSafe(key);
  const QJsonValue value = SettingValue(key);
  if (value.isUndefined()) return {404, Error(QStringLiteral("unknown setting")), {}};
  return {200, QJsonObject{{"key", key}, {"value", value}}, {}};
}

bool Camera::Authorised(const QHttpServerRequest& request, Reply& refusal, QString& logDetail) {
  const QString method =
      request.method() == QHttpServerRequest::Method::Post ? QStringLiteral("POST") : QStringLiteral("GET");
  const QString uri = QString::fromLatin1(request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
  const QByteArray authorization = request.value("Authorization");
  if (protocol::AfterDigestScheme(authorization) && !MayCheckLogin()) {
    logDetail = QStringLiteral(" login unchecked");
    refusal = {429, Error(QStringLiteral("too many wrong logins, try again in a second")), {}};
    return false;
  }
  const DigestResult result = digest_.Verify(authorization, method, uri, running_.value("SysAdminID").toString(),
                                             running_.value("SysAdminPassword").toString());
  if (result == DigestResult::Accepted) return true;
  if (result == DigestResult::Malformed) {
    refusal = {400, Error(QStringLiteral("malformed Authorization header")), {}};
    return false;
  }
  refusal = {401, Error(QStringLiteral("authentication required")), digest_.Challenge(result == DigestResult::Stale)};
  if (result == DigestResult::Refused) {
    // A guess at the account's password, not a wrong ID (which no password opens).
    const QString user =
        protocol::ParseAuthParams(protocol::AfterDigestScheme(authorization).value_or(QByteArray())).value("username");
    if (user == running_.value("SysAdminID").toString()) LoginWrong();
    logDetail = QStringLiteral(" login refused");
  }
  return false;
}

QJsonValue Camera::SettingValue(const QString& key) const {
  const SettingsContext context{profile_.wireless, options_.loopbackOnly};
  if (!IsKnownSetting(key, context)) return QJsonValue(QJsonValue::Undefined);
  if (key == u"DeviceType") return DeviceTypeFor(profile_.family, profile_.wireless);
  return saved_.value(key);
}

Camera::Reply Camera::Apply(const QByteArray& body, QString& logDetail) {
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
  if (!Save(*merged, error)) {
    logDetail += QStringLiteral(" result=0 error=") + LogSafe(error, 120);
    return {500, Error(QStringLiteral("the settings could not be saved")), {}};
  }
  logDetail += QStringLiteral(" result=1");
  // Cameras that restart on request keep the old address and credentials in
  // force until then; the others start over by themselves.
  return {200,
          QJsonObject{{"result", 1}},
          {},
          ChangesIdentity(running_, saved_) && !VersionRestartsOnRequest(profile_.version)};
}

// ---- Discovery and MAC channel ----

bool Camera::Concerns(const protocol::Message& request) const {
  switch (request.kind) {
    case protocol::Kind::Probe:
      return true;
    case protocol::Kind::WhoHasRequest:
      return request.address == Address();
    case protocol::Kind::ChallengeRequest:
    case protocol::Kind::LoginRequest:
    case protocol::Kind::ChangeAddressRequest:
    case protocol::Kind::ApplyRequest:
      return request.mac == Mac();
    default:
      return false;
  }
}

void Camera::HandleDatagram(const protocol::Message& request) {
  if (!profile_.sentrova || silent_ || !Concerns(request) || Dropped()) return;
  if (request.kind == protocol::Kind::Probe) {
    AnswerProbe(request, options_.group, options_.discoveryPort);
    return;
  }
  const QString op = protocol::OpName(request.kind);
  const QString cacheKey = op + u':' + request.nonce;
  const qint64 now = clock_.elapsed();
  // Commands that spend a challenge keep their answers apart from the
  // others, so a flood of challenge requests cannot push out the answer to
  // a login: its repeated copy would be checked again, against a spent
  // challenge, and a right password answered as wrong.
  const bool spendsChallenge = request.kind == protocol::Kind::LoginRequest ||
                               request.kind == protocol::Kind::ChangeAddressRequest ||
                               request.kind == protocol::Kind::ApplyRequest;
  QHash<QString, CachedReply>& replies = spendsChallenge ? provenReplies_ : replies_;
  Prune(replies, now, kReplyCacheMs, kMaxCachedReplies, [](const CachedReply& r) { return r.atMs; });
  if (auto cached = replies.find(cacheKey); cached != replies.end()) {
    // A repeated copy: the first answer again, the command is not repeated.
    log_.Line(QStringLiteral("camera %1 udp %2 nonce=%3 repeated").arg(Mac(), op, request.nonce));
    SendToGroup(cached->reply, profile_.faults.answerDelayMs);
    return;
  }
  QString detail;
  const protocol::Message reply = MacCommand(request, detail);
  log_.Line(QStringLiteral("camera %1 udp %2 nonce=%3%4").arg(Mac(), op, request.nonce, detail));
  replies.insert(cacheKey, CachedReply{now, reply});
  SendToGroup(reply, profile_.faults.answerDelayMs);
  if (reply.kind == protocol::Kind::ApplyReply && reply.result == 1) {
    // The new address takes effect by a restart, once the answer is out.
    QTimer::singleShot(profile_.faults.answerDelayMs + 1, this, [this] { Restart(); });
  }
}

std::unique_ptr<QUdpSocket> Camera::ListenUnicast(quint16 port, UnicastHandler take) {
  // Shared: of two cameras on one address only one hears it, as on a real
  // network.
  auto socket = std::make_unique<QUdpSocket>();
  if (!socket->bind(QHostAddress(Address()), port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
    log_.Line(QStringLiteral("camera %1 error cannot hear %2:%3: %4")
                  .arg(Mac(), Address())
                  .arg(port)
                  .arg(socket->errorString()));
    return nullptr;
  }
  QUdpSocket* raw = socket.get();
  connect(raw, &QUdpSocket::readyRead, this, [raw, take = std::move(take)] {
    for (int read = 0; read < protocol::DatagramsPerTurn && raw->hasPendingDatagrams(); ++read) {
      const QNetworkDatagram datagram = raw->receiveDatagram(protocol::LargestDatagramBytes);
      take(datagram.data(), datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()));
    }
  });
  return socket;
}

void Camera::AnswerUnicastProbe(const QByteArray& datagram, const QHostAddress& from, quint16 port) {
  if (silent_ || Dropped()) return;
  const bool loopbackSource = from.toIPv4Address() >> 24 == 127;
  const protocol::Parsed parsed = protocol::ParseDatagram(datagram);
  if (port == 0 || (options_.loopbackOnly && !loopbackSource) || !parsed.message ||
      parsed.message->kind != protocol::Kind::Probe)
    return;
  log_.Line(QStringLiteral("camera %1 udp probe unicast nonce=%2 from=%3:%4")
                .arg(Mac(), parsed.message->nonce, from.toString())
                .arg(port));
  AnswerProbe(*parsed.message, from, port);
}

void Camera::AnswerProbe(const protocol::Message& probe, const QHostAddress& to, quint16 port) {
  protocol::Message here;
  here.kind = protocol::Kind::Here;
  here.nonce = probe.nonce;
  here.mac = Mac();
  here.address = Address();
  here.mask = running_.value("SysSubnetMask").toString();
  here.gateway = running_.value("SysDefaultGateway").toString();
  here.mode = profile_.mode;
  here.caption = profile_.caption;
  here.version = profile_.version;
  here.family = profile_.family;
  here.port = protocol::HttpPortForFamily(profile_.family);
  const int spread =
      options_.answerSpreadMs > 0 ? std::uniform_int_distribution<int>(0, options_.answerSpreadMs)(random_) : 0;
  SendLater(here, spread + profile_.faults.answerDelayMs, to, port);
}

protocol::Message Camera::MacCommand(const protocol::Message& request, QString& logDetail) {
  protocol::Message reply;
  reply.nonce = request.nonce;
  reply.mac = Mac();
  const int state = profile_.family == 2 ? protocol::StateLoginNeeded : protocol::StateGranted;
  switch (request.kind) {
    case protocol::Kind::WhoHasRequest:
      reply.kind = protocol::Kind::WhoHasReply;
      reply.address = Address();
      logDetail = QStringLiteral(" address=") + Address();
      break;
    case protocol::Kind::ChallengeRequest:
      reply.kind = protocol::Kind::ChallengeReply;
      reply.challenge = challenges_.Issue();
      reply.state = state;
      logDetail = QStringLiteral(" state=%1").arg(state);
      break;
    case protocol::Kind::LoginRequest: {
      reply.kind = protocol::Kind::LoginReply;
      const Proof proof = CheckProof(request);
      reply.state = proof == Proof::Holds ? protocol::StateGranted : protocol::StateLoginNeeded;
      logDetail = QStringLiteral(" id=%1 state=%2%3")
                      .arg(LogSafe(request.id))
                      .arg(reply.state)
                      .arg(proof == Proof::Unchecked ? QStringLiteral(" unchecked") : QString());
      break;
    }
    case protocol::Kind::ChangeAddressRequest:
      ChangeAddress(request, reply);
      logDetail = QStringLiteral(" address=%1 mask=%2 gateway=%3 result=%4")
                      .arg(request.address, request.mask, request.gateway)
                      .arg(reply.result);
      break;
    case protocol::Kind::ApplyRequest:
      ApplyKeptAddress(request, reply);
      logDetail = QStringLiteral(" result=%1").arg(reply.result);
      break;
    default:
      break;
  }
  if (!reply.error.isEmpty()) logDetail += QStringLiteral(" error=") + LogSafe(reply.error, 80);
  return reply;
}

Camera::Proof Camera::CheckProof(const protocol::Message& request) {
  // A challenge answers one command only, right or wrong.
  const bool fresh = challenges_.Spend(request.challenge.toLower());
  // A camera that needs no login takes its commands from anyone, as it
  // serves its settings to anyone.
  if (profile_.family != 2) return Proof::Holds;
  if (!MayCheckLogin()) return Proof::Unchecked;
  if (request.id != running_.value("SysAdminID").toString()) return Proof::Wrong;  // no password opens it
  if (fresh && protocol::ProofMatches(request, running_.value("SysAdminPassword").toString())) return Proof::Holds;
  LoginWrong();
  return Proof::Wrong;
}

QString Camera::Refusal(Proof proof) {
  return proof == Proof::Unchecked ? QStringLiteral("login refused: too many wrong logins, try again in a second")
                                   : QStringLiteral("login refused");
}

void Camera::ChangeAddress(const protocol::Message& request, protocol::Message& reply) {
  reply.kind = protocol::Kind::ChangeAddressReply;
  if (const Proof proof = CheckProof(request); proof != Proof::Holds) {
    reply.error = Refusal(proof);
    return;
  }
  const QJsonObject change{
      {"SysIPAddress", request.address}, {"SysSubnetMask", request.mask}, {"SysDefaultGateway", request.gateway}};
  if (!MergeSettings(saved_, change, SettingsContext{profile_.wireless, options_.loopbackOnly}, reply.error)) return;
  kept_ = KeptAddress{request.address, request.mask, request.gateway};
  reply.result = 1;
}

void Camera::ApplyKeptAddress(const protocol::Message& request, protocol::Message& reply) {
  reply.kind = protocol::Kind::ApplyReply;
  if (const Proof proof = CheckProof(request); proof != Proof::Holds) {
    reply.error = Refusal(proof);
    return;
  }
  if (!kept_) {
    reply.error = QStringLiteral("no address change to apply");
    return;
  }
  const QJsonObject change{
      {"SysIPAddress", kept_->address}, {"SysSubnetMask", kept_->mask}, {"SysDefaultGateway", kept_->gateway}};
  const auto merged =
      MergeSettings(saved_, change, SettingsContext{profile_.wireless, options_.loopbackOnly}, reply.error);
  if (!merged || !Save(*merged, reply.error)) return;
  reply.result = 1;
}

void Camera::SendToGroup(const protocol::Message& message, int delayMs) {
  SendLater(message, delayMs, options_.group, options_.discoveryPort);
}

void Camera::SendLater(const protocol::Message& message, int delayMs, const QHostAddress& to, quint16 port) {
  if (delayMs > 0)
    answers_.Post([this, message, to, port] { SendNow(message, to, port); }, delayMs);
  else
    SendNow(message, to, port);
}

void Camera::SendNow(const protocol::Message& message, const QHostAddress& to, quint16 port) {
  // Built when it is sent: a probe reaches the whole fleet at once, and
  // building a thousand answers up front would delay them all.
  if (!sender_ || Dropped()) return;
  const QByteArray datagram = protocol::BuildDatagram(message);
  if (datagram.isEmpty()) {
    log_.Line(
        QStringLiteral("camera %1 error reply %2 does not fit a datagram").arg(Mac(), protocol::OpName(message.kind)));
    return;
  }
  sender_->writeDatagram(datagram, to, port);
}

}  // namespace camd

#include "camera.moc"
