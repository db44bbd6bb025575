#include "sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <csignal>

#include "camd/sim_log.h"

namespace camd_test {
namespace {

const QHostAddress kGroup(QString::fromLatin1(protocol::DefaultGroup));

protocol::Kind ReplyKindOf(protocol::Kind request) {
  switch (request) {
    case protocol::Kind::LoginRequest:
      return protocol::Kind::LoginReply;
    case protocol::Kind::ChangeAddressRequest:
      return protocol::Kind::ChangeAddressReply;
    default:
      return protocol::Kind::ApplyReply;
  }
}

}  // namespace

QString RandomRange() {
  auto* random = QRandomGenerator::global();
  return QStringLiteral("127.%1.%2").arg(random->bounded(100, 220)).arg(random->bounded(1, 255));
}

quint16 FreeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::AnyIPv4, 0);
  return probe.localPort();
}

SimProcess::SimProcess() : port_(FreeUdpPort()) {}

SimProcess::~SimProcess() {
  if (process_.state() != QProcess::NotRunning) stop(SIGKILL);
}

bool SimProcess::start(const QStringList& arguments) {
  ++runs_;
  const qsizetype readyBefore = countInLog("sim ready");
  process_.start(QStringLiteral(SENTROVA_CAMD_PATH),
                 arguments + QStringList{"--discovery-port", QString::number(port_), "--log", dir() + "/camd.log"});
  if (!process_.waitForStarted(20000)) return false;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 20000) {
    if (countInLog("sim ready") > readyBefore) return true;
    if (process_.waitForFinished(20)) return false;
  }
  return false;
}

bool SimProcess::waitForLog(const QString& text, int count, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (countInLog(text) < count) {
    if (clock.elapsed() > timeoutMs) return false;
    QThread::msleep(10);
  }
  return true;
}

QString SimProcess::log() const {
  QFile file(dir() + "/camd.log");
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

qsizetype SimProcess::countInLog(const QString& text) const { return log().count(text); }

CappedLog SimProcess::cappedLog(const QString& kind, int timeoutMs) {
  const QString capReached = kind + QStringLiteral(": further lines only counted");
  const QRegularExpression counted(QRegularExpression::escape(kind) + QStringLiteral(": counted=(\\d+) "));
  QElapsedTimer clock;
  clock.start();
  CappedLog read;
  do {
    const QString text = log();
    read = {text.count(kind + u' '), text.count(capReached), 0};
    qsizetype ended = 0;
    for (const QRegularExpressionMatch& match : counted.globalMatch(text)) {
      read.counted += match.captured(1).toLongLong();
      ++ended;
    }
    if (ended == read.windows) break;
    QThread::msleep(50);
  } while (clock.elapsed() < timeoutMs);
  return read;
}

testing::AssertionResult LoggedWithinCap(const CappedLog& log, int sent) {
  if (log.windows == 0) return testing::AssertionFailure() << "no window reached the cap; logged=" << log.logged;
  if (log.logged > log.windows * camd::CappedLines::LinesPerWindow)
    return testing::AssertionFailure() << "logged=" << log.logged << " in windows=" << log.windows;
  if (log.counted == 0 || log.logged + log.counted > sent)
    return testing::AssertionFailure() << "logged=" << log.logged << " counted=" << log.counted << " of sent=" << sent;
  return testing::AssertionSuccess();
}

int SimProcess::stop(int signal) {
  if (process_.state() == QProcess::NotRunning) return waitForEnd(0);
  ::kill(static_cast<pid_t>(process_.processId()), signal);
  return waitForEnd(20000);
}

int SimProcess::waitForEnd(int timeoutMs) {
  if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(timeoutMs)) return -2;
  return process_.exitStatus() == QProcess::CrashExit ? -1 : process_.exitCode();
}

int SimProcess::run(const QStringList& arguments) {
  process_.start(QStringLiteral(SENTROVA_CAMD_PATH), arguments);
  return waitForEnd(20000);
}

QString SimProcess::errorOutput() { return QString::fromUtf8(process_.readAllStandardError()); }

QString SimProcess::writeFleet(const QByteArray& json) const {
  const QString path = dir() + "/fleet.json";
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(json);
  return path;
}

Group::Group(quint16 port) : port_(port) {
  const QNetworkInterface lo = QNetworkInterface::interfaceFromName("lo");
  socket_.bind(kGroup, port_, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
  socket_.joinMulticastGroup(kGroup, lo);
  socket_.setMulticastInterface(lo);
}

void Group::send(const protocol::Message& message) { sendRaw(protocol::BuildDatagram(message)); }

void Group::sendRaw(const QByteArray& datagram) { socket_.writeDatagram(datagram, kGroup, port_); }

std::vector<protocol::Message> Group::collect(const std::function<bool(const protocol::Message&)>& keep, int timeoutMs,
                                              const std::function<bool(const std::vector<protocol::Message>&)>& done) {
  std::vector<protocol::Message> kept;
  sources_.clear();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < timeoutMs && !(done && done(kept))) {
    if (!socket_.hasPendingDatagrams() &&
        !socket_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, timeoutMs - clock.elapsed()))))
      continue;
    while (socket_.hasPendingDatagrams()) {
      const QNetworkDatagram datagram = socket_.receiveDatagram();
      const protocol::Parsed parsed = protocol::ParseDatagram(datagram.data());
      if (parsed.message && keep(*parsed.message)) {
        kept.push_back(*parsed.message);
        sources_ << datagram.senderAddress().toString();
      }
    }
  }
  return kept;
}

std::optional<protocol::Message> Group::ask(const protocol::Message& request, protocol::Kind replyKind, int timeoutMs) {
  send(request);
  const auto replies =
      collect([&](const protocol::Message& m) { return m.kind == replyKind && m.nonce == request.nonce; }, timeoutMs,
              [](const std::vector<protocol::Message>& got) { return !got.empty(); });
  if (replies.empty()) return std::nullopt;
  return replies.front();
}

QJsonObject HttpAnswer::json() const { return QJsonDocument::fromJson(body).object(); }

HttpAnswer Http(const QString& address, quint16 port, const QByteArray& method, const QByteArray& path,
                const QByteArray& body, const QByteArray& authorization, const QString& source) {
  QByteArray request =
      method + ' ' + path + " HTTP/1.1\r\nHost: " + address.toLatin1() +
      "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
      "\r\n";
  if (!authorization.isEmpty()) request += "Authorization: " + authorization + "\r\n";
  return Exchange(address, port, request + "\r\n" + body, source);
}

HttpAnswer Exchange(const QString& address, quint16 port, const QByteArray& request, const QString& source) {
  HttpAnswer answer;
  QTcpSocket socket;
  if (!source.isEmpty() && !socket.bind(QHostAddress(source), 0)) return answer;
  socket.connectToHost(QHostAddress(address), port);
  if (!socket.waitForConnected(3000)) return answer;
  socket.write(request);
  QByteArray received;
  QElapsedTimer clock;
  clock.start();
  while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 10000) {
    socket.waitForReadyRead(100);
    received += socket.readAll();
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) continue;
    const QList<QByteArray> lines = received.left(end).split('\n');
    QMap<QByteArray, QByteArray> headers;
    QByteArrayList authenticate;
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      const QByteArray name = lines[i].left(colon).trimmed().toLower();
      const QByteArray value = lines[i].mid(colon + 1).trimmed();
      headers.insert(name, value);
      if (name == "www-authenticate") authenticate << value;
    }
    const qsizetype length = headers.value("content-length", "0").toLongLong();
    if (received.size() < end + 4 + length) continue;
    answer.status = lines[0].split(' ').value(1).toInt();
    answer.headers = headers;
    answer.authenticate = authenticate;
    answer.body = received.mid(end + 4, length);
    break;
  }
  return answer;
}

HttpAnswer HttpLogin(const QString& address, quint16 port, const QByteArray& method, const QByteArray& path,
                     const QString& user, const QString& password, const QByteArray& body, int offer) {
  const HttpAnswer first = Http(address, port, method, path, body);
  if (first.status != 401 || first.authenticate.size() <= offer) return first;
  const auto challenge = protocol::ParseDigestChallenge(first.authenticate[offer]);
  if (!challenge) return first;
  return Http(address, port, method, path, body,
              protocol::DigestAuthorization(*challenge, user, password, QString::fromLatin1(method),
                                            QString::fromLatin1(path)));
}

protocol::Message Request(protocol::Kind kind, const QString& mac) {
  protocol::Message message;
  message.kind = kind;
  message.nonce = protocol::RandomHex(protocol::NonceHexChars);
  message.mac = mac;
  return message;
}

std::optional<protocol::Message> ProvenCommand(Group& group, protocol::Message command, const QString& password) {
  const auto challenge =
      group.ask(Request(protocol::Kind::ChallengeRequest, command.mac), protocol::Kind::ChallengeReply);
  if (!challenge) return std::nullopt;
  command.challenge = challenge->challenge;
  command.nonce = protocol::RandomHex(protocol::NonceHexChars);
  command.proof = protocol::Proof(command, password);
  return group.ask(command, ReplyKindOf(command.kind));
}

}  // namespace camd_test
