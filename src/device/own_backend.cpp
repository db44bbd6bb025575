#include "device/own_backend.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "device/camera_control.h"
#include "device/device_log.h"
#include "device/udp_channel.h"
#include "protocol/setting_rules.h"

namespace device {
namespace {

QJsonObject JsonBody(const HttpResponse& response) { return QJsonDocument::fromJson(response.body).object(); }

// Why an HTTP write did not take: the camera's own reason when it gave one.
QString WriteFailure(const HttpResponse& response) {
  if (!response.answered()) return QStringLiteral("no answer (%1)").arg(response.error);
  const QString reason = protocol::ShownDeviceText(JsonBody(response).value(u"error").toString());
  if (response.status == 401) return QStringLiteral("login refused");
  return reason.isEmpty() ? QStringLiteral("HTTP %1").arg(response.status) : reason;
}

// Why the kept settings may not be sent, or empty: a value the camera would
// refuse, which could otherwise lock it away (a text it cannot hand back,
// an address on which nothing reaches it after the restart).
QString Unsendable(const QJsonObject& settings) {
  for (auto it = settings.begin(); it != settings.end(); ++it) {
    const QString refusal = it->isString() ? protocol::TextRefusal(it->toString()) : QString();
    if (!refusal.isEmpty()) return it.key() + u": "_qs + refusal;
  }
  if (!settings.contains(u"SysIPAddress") || !settings.contains(u"SysSubnetMask")) return {};
  return protocol::AddressSettingsRefusal(settings.value(u"SysIPAddress").toString(),
                                          settings.value(u"SysSubnetMask").toString(),
                                          settings.value(u"SysDefaultGateway").toString());
}

QString RefusalOf(const protocol::Message& reply) {
  const QString reason = protocol::ShownDeviceText(reply.error);
  return reason.isEmpty() ? QStringLiteral("refused by the camera") : reason;
}

[[noreturn]] void Fail(const char* member, const QString& what) {
  throw CameraControlError(QStringLiteral("%1 failed: %2").arg(QLatin1String(member), what).toStdString());
}

}  // namespace

// ---- HTTP ------------------------------------------------------------------

HttpResponse OwnBackend::Http(const char* member, const QString& method, const QString& path, const QByteArray& body) {
  HttpRequest request;
  request.method = method;
  request.address = target_.address;
  request.path = path;
  request.body = body;
  request.user = target_.loginId;
  request.password = target_.loginPassword;
  request.expectedMac = target_.mac;
  request.timeout = std::chrono::milliseconds(0);  // the options' own
  return send_(member, std::move(request));
}

int32_t OwnBackend::Connect() {
  return Http("Connect", QStringLiteral("GET"), QString::fromLatin1(protocol::HelloPath)).status == 200 ? 1 : 0;
}

std::optional<QJsonValue> OwnBackend::ReadSetting(const char* member, const QString& key) {
  const QString path = QString::fromLatin1(protocol::SettingsPath) + QString::fromLatin1(QUrl::toPercentEncoding(key));
  const HttpResponse response = Http(member, QStringLiteral("GET"), path);
  if (response.status != 200) return std::nullopt;
  const QJsonObject body = JsonBody(response);
  if (body.value(u"key").toString() != key || !body.contains(u"value")) {
    qCWarning(lcHttp) << member << key << "at" << target_.address << ": malformed answer";
    return std::nullopt;
  }
  return body.value(u"value");
}

int32_t OwnBackend::Number(const QString& key) {
  const std::optional<QJsonValue> value = ReadSetting("GetSettingNumber", key);
  if (!value) return 0;
  if (value->isDouble()) {
    const double number = value->toDouble();
    if (number >= -2147483648.0 && number <= 2147483647.0 &&
        number == static_cast<double>(static_cast<int32_t>(number))) {
      return static_cast<int32_t>(number);
    }
  }
  bool ok = false;
  const int32_t parsed = value->toString().toInt(&ok);
  return ok ? parsed : 0;
}

QString OwnBackend::Text(const QString& key) {
  const std::optional<QJsonValue> value = ReadSetting("GetSettingText", key);
  if (!value) return {};
  if (value->isString()) return value->toString();
  if (value->isDouble()) return QString::number(value->toDouble(), 'g', 10);
  return {};
}

void OwnBackend::Apply(const QJsonObject& kept) {
  const bool address = std::exchange(addressKept_, false);
  if (!kept.isEmpty()) ApplyKeptSettings(kept);
  if (address) ApplyKeptAddress();
}

void OwnBackend::ApplyKeptSettings(const QJsonObject& settings) {
  if (const QString refusal = Unsendable(settings); !refusal.isEmpty()) {
    qCWarning(lcHttp) << "ApplySettings at" << target_.address << ": not sent:" << refusal;
    Fail("ApplySettings", refusal);
  }
  const QByteArray body = QJsonDocument(QJsonObject{{u"settings"_qs, settings}}).toJson(QJsonDocument::Compact);
  const HttpResponse response =
      Http("ApplySettings", QStringLiteral("POST"), QString::fromLatin1(protocol::ApplyPath), body);
  if (response.status == 200 && JsonBody(response).value(u"result").toInt() == 1) {
    qCInfo(lcHttp) << "ApplySettings at" << target_.address << ": applied" << settings.keys();
    return;
  }
  const QString why = WriteFailure(response);
  qCWarning(lcHttp) << "ApplySettings at" << target_.address << ": not applied:" << why;
  Fail("ApplySettings", why);
}

void OwnBackend::Restart() {
  const HttpResponse response = Http("Restart", QStringLiteral("POST"), QString::fromLatin1(protocol::RestartPath));
  if (response.status != 200) Fail("Restart", WriteFailure(response));
  qCInfo(lcHttp) << "Restart at" << target_.address << ": restarting";
}

// ---- MAC-addressed commands -------------------------------------------------

std::optional<protocol::Message> OwnBackend::Ask(const char* member, protocol::Message request) {
  if (request.nonce.isEmpty()) request.nonce = protocol::RandomHex(protocol::NonceHexChars);
  const QByteArray datagram = protocol::BuildDatagram(request);
  const QString target = request.kind == protocol::Kind::WhoHasRequest ? request.address : request.mac;
  if (datagram.isEmpty()) {
    qCWarning(lcMac) << member << target << ": not sent, a field is invalid";
    return std::nullopt;
  }
  const InterfaceChoice choice = ChooseInterfaces(options_.interfaceNames);
  UdpChannel channel(options_, choice);
  QString error;
  if (!channel.Open(error)) {
    qCWarning(lcMac) << member << target << ":" << error;
    return std::nullopt;
  }
  channel.HearOnly(request.nonce);
  std::optional<protocol::Message> reply;
  QEventLoop loop;
  channel.onMessage = [&](const protocol::Message& message, const QHostAddress&, const QString&) {
    if (!protocol::IsReply(message.kind) || protocol::OpName(message.kind) != protocol::OpName(request.kind) ||
        message.nonce != request.nonce) {
      return;
    }
    const bool fromTarget =
        request.kind == protocol::Kind::WhoHasRequest ? message.address == request.address : message.mac == request.mac;
    if (!fromTarget || reply) return;
    reply = message;
    loop.quit();
  };
  int sent = 0;
  QTimer copies;
  QObject::connect(&copies, &QTimer::timeout, &loop, [&] {
    channel.Send(datagram);
    if (++sent >= std::max(1, options_.macCopies)) copies.stop();
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  channel.Send(datagram);
  ++sent;
  if (sent < options_.macCopies) copies.start(options_.macInterval);
  deadline.start(options_.macWait);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!reply) qCInfo(lcMac) << member << target << ": no answer";
  return reply;
}

std::optional<protocol::Message> OwnBackend::Challenge(const char* member) {
  protocol::Message request;
  request.kind = protocol::Kind::ChallengeRequest;
  request.mac = target_.mac;
  return Ask(member, request);
}

std::optional<protocol::Message> OwnBackend::AskWithProof(const char* member, protocol::Message request) {
  const std::optional<protocol::Message> challenge = Challenge(member);
  if (!challenge) return std::nullopt;
  request.mac = target_.mac;
  request.nonce = protocol::RandomHex(protocol::NonceHexChars);
  request.id = target_.loginId;
  request.challenge = challenge->challenge;
  request.proof = protocol::Proof(request, target_.loginPassword);
  return Ask(member, request);
}

int32_t OwnBackend::LoginState() {
  const std::optional<protocol::Message> challenge = Challenge("LoginState");
  return challenge ? challenge->state : 0;
}

int32_t OwnBackend::Login(const QString& id, const QString& password) {
  const std::optional<protocol::Message> challenge = Challenge("Login");
  if (!challenge) return 0;
  int32_t state = challenge->state;
  if (state == protocol::StateLoginNeeded) {
    protocol::Message request;
    request.kind = protocol::Kind::LoginRequest;
    request.mac = target_.mac;
    request.nonce = protocol::RandomHex(protocol::NonceHexChars);
    request.id = id;
    request.challenge = challenge->challenge;
    request.proof = protocol::Proof(request, password);
    const std::optional<protocol::Message> reply = Ask("Login", request);
    if (!reply) return 0;
    state = reply->state;
  }
  // Accepted credentials are the ones in use from now on (the MAC commands
  // after a login prove themselves with them).
  if (state == LoginGranted) {
    target_.loginId = id;
    target_.loginPassword = password;
  }
  qCInfo(lcMac) << "Login" << target_.mac << ":" << (state == LoginGranted ? "accepted" : "refused");
  return state;
}

int32_t OwnBackend::ChangeAddress(const QString& address, const QString& mask, const QString& gateway,
                                  QJsonObject& /*kept*/) {
  protocol::Message request;
  request.kind = protocol::Kind::ChangeAddressRequest;
  request.address = address;
  request.mask = mask;
  request.gateway = gateway;
  const std::optional<protocol::Message> reply = AskWithProof("ChangeAddress", request);
  if (!reply) Fail("ChangeAddress", QStringLiteral("no answer from the camera"));
  if (reply->result != 1) {
    qCWarning(lcMac) << "ChangeAddress" << target_.mac << ": refused:" << reply->error;
    Fail("ChangeAddress", RefusalOf(*reply));
  }
  addressKept_ = true;
  return reply->result;
}

void OwnBackend::ApplyKeptAddress() {
  protocol::Message request;
  request.kind = protocol::Kind::ApplyRequest;
  const std::optional<protocol::Message> reply = AskWithProof("ApplySettings", request);
  if (!reply) Fail("ApplySettings", QStringLiteral("no answer from the camera"));
  if (reply->result != 1) {
    qCWarning(lcMac) << "ApplySettings" << target_.mac << ": refused:" << reply->error;
    Fail("ApplySettings", RefusalOf(*reply));
  }
}

bool OwnBackend::AddressInUse() {
  protocol::Message request;
  request.kind = protocol::Kind::WhoHasRequest;
  request.address = target_.address;
  return Ask("AddressInUse", request).has_value();
}

}  // namespace device
