#include "device/net_camera_control.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "base/text.h"
#include "device/device_log.h"
#include "device/udp_channel.h"
#include "protocol/setting_rules.h"

namespace device {
namespace {

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }
std::u16string U(const QString& text) { return text.toStdU16String(); }

QJsonObject JsonBody(const HttpResponse& response) {
  return QJsonDocument::fromJson(response.body).object();
}

// A camera's reason as the user may read it: controls become blanks and a
// long text is cut, whatever the camera sent.
QString ShownReason(const QString& reason) {
  QString shown = reason.left(protocol::MaxErrorUnits);
  for (QChar& c : shown) {
    if (base::IsControlCharacter(c.unicode())) c = u' ';
  }
  return shown.trimmed();
}

// Why an HTTP write did not take: the camera's own reason when it gave one.
QString WriteFailure(const HttpResponse& response) {
  if (!response.answered()) return QStringLiteral("no answer (%1)").arg(response.error);
  const QString reason = ShownReason(JsonBody(response).value(u"error").toString());
  if (response.status == 401) return QStringLiteral("login refused");
  return reason.isEmpty() ? QStringLiteral("HTTP %1").arg(response.status) : reason;
}

// Why a value may not be sent, or empty: one the camera would refuse, which
// could otherwise lock it away (a text it cannot hand back, an address on
// which nothing reaches it after the restart).
QString AddressRefusal(const QString& address, const QString& mask) {
  const std::optional<uint32_t> host = protocol::ParseIPv4(address);
  const std::optional<uint32_t> bits = protocol::ParseIPv4(mask);
  if (host && bits && !protocol::IsHostOfNetwork(*host, *bits))
    return QStringLiteral("%1 is the network or broadcast address of its subnet").arg(address);
  return {};
}

QString Unsendable(const QJsonObject& settings) {
  for (auto it = settings.begin(); it != settings.end(); ++it) {
    const QString refusal = it->isString() ? protocol::TextRefusal(it->toString()) : QString();
    if (!refusal.isEmpty()) return it.key() + u": "_qs + refusal;
  }
  if (!settings.contains(u"SysIPAddress") || !settings.contains(u"SysSubnetMask")) return {};
  return AddressRefusal(settings.value(u"SysIPAddress").toString(), settings.value(u"SysSubnetMask").toString());
}

QString RefusalOf(const protocol::Message& reply) {
  const QString reason = ShownReason(reply.error);
  return reason.isEmpty() ? QStringLiteral("refused by the camera") : reason;
}

[[noreturn]] void Fail(const char* member, const QString& what) {
  throw CameraControlError(QStringLiteral("%1 failed: %2").arg(QLatin1String(member), what).toStdString());
}

}  // namespace

NetCameraControl::NetCameraControl(NetOptions options)
    : options_(std::move(options)),
      onvif_([this](const char* member, HttpRequest request) { return Http(member, std::move(request)); }) {}

// ---- Discovery -------------------------------------------------------------

void NetCameraControl::Search() {
  found_.clear();
  index_ = 0;
  leftOut_ = 0;
  SearchOutcome outcome = SearchCameras(options_, ChooseInterfaces(options_.interfaceName), onFound_);
  found_ = std::move(outcome.cameras);
  leftOut_ = outcome.leftOut;
}

int32_t NetCameraControl::FoundCount() { return static_cast<int32_t>(found_.size()); }

void NetCameraControl::DeviceIndex(int32_t index) { index_ = index; }

const FoundCamera* NetCameraControl::Described() const {
  if (index_ < 0 || static_cast<size_t>(index_) >= found_.size()) return nullptr;
  return &found_[static_cast<size_t>(index_)];
}

std::u16string NetCameraControl::DeviceAddress() { return Described() ? U(Described()->address) : u""; }
std::u16string NetCameraControl::DeviceMode() { return Described() ? U(Described()->mode) : u""; }
std::u16string NetCameraControl::DeviceCaption() { return Described() ? U(Described()->caption) : u""; }
std::u16string NetCameraControl::DeviceVersionText() { return Described() ? U(Described()->version) : u""; }
std::u16string NetCameraControl::DeviceSubnetMask() { return Described() ? U(Described()->mask) : u""; }
std::u16string NetCameraControl::DeviceGateway() { return Described() ? U(Described()->gateway) : u""; }
std::u16string NetCameraControl::DeviceMacText() { return Described() ? U(Described()->mac) : u""; }
std::u16string NetCameraControl::DeviceServicePath() { return Described() ? U(Described()->path) : u""; }

// ---- Addressing ------------------------------------------------------------

void NetCameraControl::TargetAddress(const std::u16string& address) {
  targetAddress_ = Q(address);
  onvif_.Target(targetAddress_);
}

void NetCameraControl::TargetServicePath(const std::u16string& path) { onvif_.ServicePath(Q(path)); }

void NetCameraControl::TargetMac(const std::u16string& mac) {
  const QString next = Q(mac);
  // What is kept for the next apply belongs to one camera.
  if (next != targetMac_) {
    kept_ = QJsonObject();
    addressKept_ = false;
  }
  targetMac_ = next;
}

// ---- HTTP ------------------------------------------------------------------

HttpResponse NetCameraControl::Http(const char* member, const QString& method, const QString& path,
                                    const QByteArray& body) {
  HttpRequest request;
  request.method = method;
  request.address = targetAddress_;
  request.path = path;
  request.body = body;
  request.user = loginId_;
  request.password = loginPassword_;
  request.expectedMac = targetMac_;
  request.timeout = std::chrono::milliseconds(0);  // the options' own
  return Http(member, std::move(request));
}

HttpResponse NetCameraControl::Http(const char* member, HttpRequest request) {
  const InterfaceChoice choice = ChooseInterfaces(options_.interfaceName);
  HttpResponse response;
  if (!MayContact(choice, request.address) || port_ < 1 || port_ > 65535) {
    response.error = choice.loopbackOnly && protocol::IsIPv4(request.address)
                         ? QStringLiteral("not contacted: outside the loopback network")
                         : QStringLiteral("not contacted: no valid address and port");
    qCWarning(lcHttp) << member << request.address << port_ << ":" << response.error;
    return response;
  }
  request.port = static_cast<quint16>(port_);
  if (choice.loopbackOnly && !choice.interfaces.empty()) request.bindAddress = choice.interfaces.front().address;
  request.connectTimeout = options_.httpConnectTimeout;
  // A request may ask for longer than usual (a reboot answer can be slow).
  request.timeout = std::max(request.timeout, options_.httpTimeout);
  response = SendHttp(request);
  if (response.status != 200) {
    qCWarning(lcHttp) << member << request.method << request.path << "at"
                      << QStringLiteral("%1:%2").arg(request.address).arg(port_) << ":"
                      << (response.answered() ? QStringLiteral("HTTP %1").arg(response.status) : response.error);
  }
  return response;
}

int32_t NetCameraControl::Connect() {
  if (onvifTarget_) return OnvifLogIn({loginId_, loginPassword_}) == LoginGranted ? 1 : 0;
  return Http("Connect", QStringLiteral("GET"), QString::fromLatin1(protocol::HelloPath)).status == 200 ? 1 : 0;
}

std::optional<QJsonValue> NetCameraControl::ReadSetting(const char* member, const QString& key) {
  const QString path = QString::fromLatin1(protocol::SettingsPath) + QString::fromLatin1(QUrl::toPercentEncoding(key));
  const HttpResponse response = Http(member, QStringLiteral("GET"), path);
  if (response.status != 200) return std::nullopt;
  const QJsonObject body = JsonBody(response);
  if (body.value(u"key").toString() != key || !body.contains(u"value")) {
    qCWarning(lcHttp) << member << key << "at" << targetAddress_ << ": malformed answer";
    return std::nullopt;
  }
  return body.value(u"value");
}

int32_t NetCameraControl::GetSettingNumber(const std::u16string& key) {
  if (onvifTarget_) return onvif_.Number(Q(key));
  const std::optional<QJsonValue> value = ReadSetting("GetSettingNumber", Q(key));
  if (!value) return 0;
  if (value->isDouble()) {
    const double number = value->toDouble();
    if (number >= -2147483648.0 && number <= 2147483647.0 && number == static_cast<double>(static_cast<int32_t>(number))) {
      return static_cast<int32_t>(number);
    }
  }
  bool ok = false;
  const int32_t parsed = value->toString().toInt(&ok);
  return ok ? parsed : 0;
}

std::u16string NetCameraControl::GetSettingText(const std::u16string& key) {
  if (onvifTarget_) return U(onvif_.Text(Q(key)));
  const std::optional<QJsonValue> value = ReadSetting("GetSettingText", Q(key));
  if (!value) return u"";
  if (value->isString()) return U(value->toString());
  if (value->isDouble()) return U(QString::number(value->toDouble(), 'g', 10));
  return u"";
}

void NetCameraControl::SetSetting(const std::u16string& key, const SettingValue& value) {
  if (const auto* text = std::get_if<std::u16string>(&value)) {
    kept_.insert(Q(key), Q(*text));
  } else {
    // Numeric settings are 16-bit words: a flag word with bit 15 set is
    // 0x8000 and up, not a negative number.
    kept_.insert(Q(key), static_cast<int>(static_cast<uint16_t>(std::get<int16_t>(value))));
  }
}

void NetCameraControl::ApplySettings(int32_t /*first*/, int32_t /*second*/) {
  // Whatever happens, nothing kept is applied twice or to another camera.
  if (onvifTarget_) return ApplyOnvif();
  const QJsonObject settings = std::exchange(kept_, QJsonObject());
  const bool address = std::exchange(addressKept_, false);
  if (!settings.isEmpty()) ApplyKeptSettings(settings);
  if (address) ApplyKeptAddress();
}

void NetCameraControl::ApplyKeptSettings(const QJsonObject& settings) {
  if (const QString refusal = Unsendable(settings); !refusal.isEmpty()) {
    qCWarning(lcHttp) << "ApplySettings at" << targetAddress_ << ": not sent:" << refusal;
    Fail("ApplySettings", refusal);
  }
  const QByteArray body = QJsonDocument(QJsonObject{{u"settings"_qs, settings}}).toJson(QJsonDocument::Compact);
  const HttpResponse response = Http("ApplySettings", QStringLiteral("POST"), QString::fromLatin1(protocol::ApplyPath), body);
  if (response.status == 200 && JsonBody(response).value(u"result").toInt() == 1) {
    qCInfo(lcHttp) << "ApplySettings at" << targetAddress_ << ": applied" << settings.keys();
    return;
  }
  const QString why = WriteFailure(response);
  qCWarning(lcHttp) << "ApplySettings at" << targetAddress_ << ": not applied:" << why;
  Fail("ApplySettings", why);
}

void NetCameraControl::ApplyOnvif() {
  const QJsonObject settings = std::exchange(kept_, QJsonObject());
  addressKept_ = false;
  // The credentials in use follow the camera's, also when a write fails.
  const auto follow = [this] {
    loginId_ = onvif_.credentials().user;
    loginPassword_ = onvif_.credentials().password;
  };
  try {
    onvif_.Apply(settings);
  } catch (const CameraControlError&) {
    follow();
    throw;
  }
  follow();
}

void NetCameraControl::Restart() {
  if (onvifTarget_) {
    // A camera whose new address took a reboot is rebooting already.
    if (onvif_.rebootedByApply()) {
      qCInfo(lcHttp) << "Restart at" << targetAddress_ << ": already rebooting for its new address";
      return;
    }
    if (!onvif_.Reboot()) Fail("Restart", QStringLiteral("the camera did not take the reboot"));
    return;
  }
  const HttpResponse response = Http("Restart", QStringLiteral("POST"), QString::fromLatin1(protocol::RestartPath));
  if (response.status != 200) Fail("Restart", WriteFailure(response));
  qCInfo(lcHttp) << "Restart at" << targetAddress_ << ": restarting";
}

// ---- MAC-addressed commands -------------------------------------------------

std::optional<protocol::Message> NetCameraControl::Ask(const char* member, protocol::Message request) {
  if (request.nonce.isEmpty()) request.nonce = protocol::RandomHex(protocol::NonceHexChars);
  const QByteArray datagram = protocol::BuildDatagram(request);
  const QString target = request.kind == protocol::Kind::WhoHasRequest ? request.address : request.mac;
  if (datagram.isEmpty()) {
    qCWarning(lcMac) << member << target << ": not sent, a field is invalid";
    return std::nullopt;
  }
  const InterfaceChoice choice = ChooseInterfaces(options_.interfaceName);
  UdpChannel channel(options_, choice);
  QString error;
  if (!channel.Open(&error)) {
    qCWarning(lcMac) << member << target << ":" << error;
    return std::nullopt;
  }
  channel.HearOnly(request.nonce);
  std::optional<protocol::Message> reply;
  QEventLoop loop;
  channel.onMessage = [&](const protocol::Message& message, const QHostAddress&) {
    if (!protocol::IsReply(message.kind) || protocol::OpName(message.kind) != protocol::OpName(request.kind) ||
        message.nonce != request.nonce) {
      return;
    }
    const bool fromTarget = request.kind == protocol::Kind::WhoHasRequest ? message.address == request.address
                                                                          : message.mac == request.mac;
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

std::optional<protocol::Message> NetCameraControl::Challenge(const char* member) {
  protocol::Message request;
  request.kind = protocol::Kind::ChallengeRequest;
  request.mac = targetMac_;
  return Ask(member, request);
}

std::optional<protocol::Message> NetCameraControl::AskWithProof(const char* member, protocol::Message request) {
  const std::optional<protocol::Message> challenge = Challenge(member);
  if (!challenge) return std::nullopt;
  request.mac = targetMac_;
  request.nonce = protocol::RandomHex(protocol::NonceHexChars);
  request.id = loginId_;
  request.challenge = challenge->challenge;
  request.proof = protocol::Proof(request, loginPassword_);
  return Ask(member, request);
}

int32_t NetCameraControl::LoginState() {
  if (onvifTarget_) return OnvifLogIn({loginId_, loginPassword_});
  const std::optional<protocol::Message> challenge = Challenge("LoginState");
  return challenge ? challenge->state : 0;
}

int32_t NetCameraControl::Login(std::u16string& id, std::u16string& password) {
  const QString loginId = Q(id);
  const QString loginPassword = Q(password);
  if (loginId.size() > protocol::MaxTextUnits) return LoginNeeded;  // no camera has such an ID
  if (onvifTarget_) {
    const int32_t state = OnvifLogIn({loginId, loginPassword});
    if (state == LoginGranted) {
      loginId_ = loginId;
      loginPassword_ = loginPassword;
    }
    return state;
  }
  const std::optional<protocol::Message> challenge = Challenge("Login");
  if (!challenge) return 0;
  int32_t state = challenge->state;
  if (state == protocol::StateLoginNeeded) {
    protocol::Message request;
    request.kind = protocol::Kind::LoginRequest;
    request.mac = targetMac_;
    request.nonce = protocol::RandomHex(protocol::NonceHexChars);
    request.id = loginId;
    request.challenge = challenge->challenge;
    request.proof = protocol::Proof(request, loginPassword);
    const std::optional<protocol::Message> reply = Ask("Login", request);
    if (!reply) return 0;
    state = reply->state;
  }
  // Accepted credentials are the ones in use from now on (the MAC commands
  // after a login prove themselves with them).
  if (state == LoginGranted) {
    loginId_ = loginId;
    loginPassword_ = loginPassword;
  }
  qCInfo(lcMac) << "Login" << targetMac_ << ":" << (state == LoginGranted ? "accepted" : "refused");
  return state;
}

int32_t NetCameraControl::ChangeAddress(std::u16string& address, std::u16string& mask, std::u16string& gateway) {
  protocol::Message request;
  request.kind = protocol::Kind::ChangeAddressRequest;
  request.address = Q(address);
  request.mask = Q(mask);
  request.gateway = Q(gateway);
  if (!protocol::IsIPv4(request.address) || !protocol::IsIPv4(request.mask) ||
      !(request.gateway.isEmpty() || protocol::IsIPv4(request.gateway))) {
    qCWarning(lcMac) << "ChangeAddress" << targetMac_ << ": not sent, not a valid address, mask or gateway";
    Fail("ChangeAddress", QStringLiteral("not a valid address, mask or gateway"));
  }
  if (const QString refusal = AddressRefusal(request.address, request.mask); !refusal.isEmpty()) {
    qCWarning(lcMac) << "ChangeAddress" << targetMac_ << ": not sent:" << refusal;
    Fail("ChangeAddress", refusal);
  }
  if (onvifTarget_) return KeepOnvifAddress(request.address, request.mask, request.gateway);
  const std::optional<protocol::Message> reply = AskWithProof("ChangeAddress", request);
  if (!reply) Fail("ChangeAddress", QStringLiteral("no answer from the camera"));
  if (reply->result != 1) {
    qCWarning(lcMac) << "ChangeAddress" << targetMac_ << ": refused:" << reply->error;
    Fail("ChangeAddress", RefusalOf(*reply));
  }
  addressKept_ = true;
  return reply->result;
}

int32_t NetCameraControl::OnvifLogIn(const onvif::Credentials& credentials) {
  const int32_t state = onvif_.LogIn(credentials);
  if (state == LoginGranted) onvifLoginAddress_ = targetAddress_;
  return state;
}

// ONVIF has no MAC-addressed commands, so the camera is asked where the
// login reached it, and its address is kept for the next apply only when
// the hardware address it reports is the chosen row's: a twin on the same
// address is never written to.
int32_t NetCameraControl::KeepOnvifAddress(const QString& address, const QString& mask, const QString& gateway) {
  const QString at = onvifLoginAddress_;
  const auto refuse = [&](const QString& why) {
    qCWarning(lcHttp).noquote() << "ChangeAddress at" << at << ":" << why;
    Fail("ChangeAddress", why);
  };
  if (at.isEmpty()) refuse(QStringLiteral("no login to the camera; nothing was sent"));
  if (targetMac_.isEmpty()) {
    refuse(QStringLiteral("the camera at %1 cannot prove it is the one chosen: its MAC is unknown; nothing was sent").arg(at));
  }
  onvif_.Target(at);
  if (onvif_.LogIn({loginId_, loginPassword_}) != LoginGranted) {
    refuse(QStringLiteral("the camera at %1 does not take the login; nothing was sent").arg(at));
  }
  const QString mac = onvif_.Text(QString::fromUtf16(protocol::MacAddressKey));
  if (mac != targetMac_) {
    refuse(QStringLiteral("the camera answering at %1 is another one (MAC %2); nothing was sent").arg(at, mac.left(40)));
  }
  kept_.insert(u"SysIPAddress"_qs, address);
  kept_.insert(u"SysSubnetMask"_qs, mask);
  kept_.insert(u"SysDefaultGateway"_qs, gateway);
  qCInfo(lcHttp) << "ChangeAddress at" << at << ": the camera proved to be" << targetMac_ << "; the address is kept";
  return 1;
}

void NetCameraControl::ApplyKeptAddress() {
  protocol::Message request;
  request.kind = protocol::Kind::ApplyRequest;
  const std::optional<protocol::Message> reply = AskWithProof("ApplySettings", request);
  if (!reply) Fail("ApplySettings", QStringLiteral("no answer from the camera"));
  if (reply->result != 1) {
    qCWarning(lcMac) << "ApplySettings" << targetMac_ << ": refused:" << reply->error;
    Fail("ApplySettings", RefusalOf(*reply));
  }
}

int32_t NetCameraControl::AddressInUse() {
  if (!protocol::IsIPv4(targetAddress_)) {
    qCWarning(lcMac) << "AddressInUse" << targetAddress_ << ": not an IPv4 address";
    return 0;
  }
  // An ONVIF camera's new address may be held by a camera of either protocol.
  if (onvifTarget_ && onvif_.Answers(targetAddress_)) return -1;
  return OwnCameraHasAddress() ? -1 : 0;
}

bool NetCameraControl::OwnCameraHasAddress() {
  protocol::Message request;
  request.kind = protocol::Kind::WhoHasRequest;
  request.address = targetAddress_;
  return Ask("AddressInUse", request).has_value();
}

}  // namespace device
