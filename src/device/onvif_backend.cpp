#include "device/onvif_backend.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "device/camera_control.h"
#include "device/device_log.h"
#include "device/onvif_auth.h"
#include "protocol/protocol.h"
#include "protocol/setting_rules.h"

namespace device {
namespace {

using onvif::Call;
using onvif::CallResult;
using onvif::Credentials;

// A camera that reports no gateway before the change and still none after
// this many looks cannot report it: the change is written, not confirmed.
constexpr int UnreportedLooks = 3;

// Fault subcodes by which cameras refuse a login (as HTTP 400 or 500 rather
// than 401).
bool IsLoginRefusal(const onvif::Fault& fault) {
  static const QStringList refusals = {u"NotAuthorized"_qs,   u"FailedAuthentication"_qs,
                                       u"InvalidSecurity"_qs, u"InvalidSecurityToken"_qs,
                                       u"FailedCheck"_qs,     u"SecurityTokenUnavailable"_qs};
  return refusals.contains(fault.subcode) || refusals.contains(fault.code);
}

// An ID or password the camera may keep: one it can hand back and the user
// can type again (no controls, no lone surrogates).
bool KeepableText(const QString& text) {
  return text.size() <= protocol::MaxTextUnits && protocol::TextRefusal(text).isEmpty();
}

// Waits with the window still painting, as every blocking call does.
void Pause(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The pages hold IDs and passwords only up to their own length, so an ID or
// password longer than that comes back cut short. Such a kept value is the
// current one, not a change: renaming the user or setting a shortened
// password would leave credentials the user never chose.
QString Uncut(const QString& kept, const QString& current) {
  if (kept.size() < current.size() && current.startsWith(kept) && !kept.isEmpty()) {
    qCInfo(lcHttp) << "ApplySettings: a value cut short by the pages is kept as it is on the camera";
    return current;
  }
  return kept;
}

// An HTTP Date header ("Wed, 09 Dec 2026 16:43:38 GMT"); invalid when it
// is none. Qt reads RFC 2822 dates with a numeric zone only.
QDateTime HttpDate(QString text) {
  if (text.endsWith(u" GMT")) text = text.chopped(3) + u"+0000"_qs;
  return QDateTime::fromString(text, Qt::RFC2822Date);
}

QString Seconds(std::chrono::milliseconds limit) {
  return QString::number(static_cast<double>(limit.count()) / 1000.0);
}

}  // namespace

void OnvifBackend::Retarget() {
  at_ = target_.address;
  probedAt_.clear();
  needsLogin_ = true;
  loggedIn_ = false;
  reaching_ = former_ = {};
  clockOffsetMs_ = 0;
  information_ = {};
  interface_ = {};
  gateway_.clear();
  unconfirmed_.clear();
  rebootedByApply_ = false;
}

Call OnvifBackend::Send(const char* member, const QString& address, const QString& body, const Credentials* credentials,
                        std::chrono::milliseconds timeout) {
  HttpRequest request;
  request.method = QStringLiteral("POST");
  request.address = address;
  request.path = target_.servicePath.isEmpty() ? QString::fromLatin1(protocol::OnvifDevicePath) : target_.servicePath;
  request.contentType = "application/soap+xml; charset=utf-8";
  request.timeout = timeout;
  // Without credentials nothing that could log in goes out, not even an
  // empty ID in answer to a Digest challenge.
  request.answerChallenge = credentials != nullptr;
  QString header;
  if (credentials) {
    header = onvif::SecurityHeader(credentials->user, credentials->password, clockOffsetMs_,
                                   QDateTime::currentDateTimeUtc());
    request.user = credentials->user;  // for a camera that challenges with Digest instead
    request.password = credentials->password;
  }
  request.body = onvif::Envelope(body, header);
  const HttpResponse response = send_(member, request);

  Call call;
  call.date = response.date;
  if (!response.answered()) {
    call.timedOut = response.timedOut;
    call.why = response.error;
    return call;
  }
  call.answered = true;
  if (response.status == 401) {
    call.result = CallResult::Refused;
    call.why = QStringLiteral("HTTP 401");
    return call;
  }
  onvif::SoapAnswer answer = onvif::ReadAnswer(response.body);
  if (answer.fault) {
    call.result = IsLoginRefusal(*answer.fault) ? CallResult::Refused : CallResult::Failed;
    call.why = protocol::ShownDeviceText(
        QStringLiteral("fault %1 %2: %3").arg(answer.fault->code, answer.fault->subcode, answer.fault->reason));
  } else if (response.status != 200) {
    call.why = QStringLiteral("HTTP %1").arg(response.status);
  } else if (!answer.ok()) {
    call.why =
        protocol::ShownDeviceText(answer.error);  // an operation sent to the wrong service may get an empty answer
  } else {
    call.result = CallResult::Done;
    call.response = std::move(answer.response);
    return call;
  }
  qCWarning(lcHttp) << member << "at" << address << ":" << call.why;
  return call;
}

void OnvifBackend::Throw(const char* member, const QString& what) const {
  qCWarning(lcHttp) << member << "at" << at_ << ":" << what;
  throw CameraControlError(what.toStdString());
}

QString OnvifBackend::NoAnswer(const Call& call, const QString& address) const {
  if (call.timedOut) {
    return QStringLiteral("the camera at %1 did not answer within %2 s").arg(address, Seconds(options_.httpTimeout));
  }
  return QStringLiteral("the camera at %1 does not answer (%2)").arg(address, call.why);
}

// ---- Login -----------------------------------------------------------------

bool OnvifBackend::Probe(const char* member) {
  const QDateTime sentAt = QDateTime::currentDateTimeUtc();
  const Call information = Send(member, at_, onvif::SimpleRequest(u"GetDeviceInformation"_qs), nullptr);
  const QDateTime receivedAt = QDateTime::currentDateTimeUtc();
  if (!information.answered) {
    if (information.timedOut) Throw(member, NoAnswer(information, at_));
    return false;
  }
  // The clock for the UsernameToken: the answer's Date header, else the
  // camera's own GetSystemDateAndTime (needs no login).
  std::optional<QDateTime> cameraTime;
  const QDateTime headerTime = HttpDate(information.date);
  if (headerTime.isValid()) {
    cameraTime = headerTime.toUTC();
    clockOffsetMs_ = onvif::ClockOffsetMs(*cameraTime, sentAt, receivedAt);
  } else {
    const QDateTime askedAt = QDateTime::currentDateTimeUtc();
    const Call date = Send(member, at_, onvif::SimpleRequest(u"GetSystemDateAndTime"_qs), nullptr);
    cameraTime = date.response ? onvif::ReadSystemDateAndTime(*date.response) : std::nullopt;
    clockOffsetMs_ = cameraTime ? onvif::ClockOffsetMs(*cameraTime, askedAt, QDateTime::currentDateTimeUtc()) : 0;
  }
  if (std::abs(clockOffsetMs_) > 5000) {
    qCInfo(lcHttp) << member << "at" << at_ << ": the camera's clock is" << clockOffsetMs_ / 1000 << "s off ours";
  }
  needsLogin_ = information.result != CallResult::Done;
  if (!needsLogin_) {
    qCWarning(lcHttp) << member << "at" << at_ << ": the camera answers without a login (open)";
  }
  probedAt_ = at_;
  return true;
}

int32_t OnvifBackend::LoginState() {
  // A dialog's login starts afresh: Connect logs in again unless Login did.
  loggedIn_ = false;
  at_ = target_.address;
  if (!Probe("LoginState")) Throw("LoginState", QStringLiteral("the camera at %1 does not answer").arg(at_));
  return needsLogin_ ? LoginNeeded : LoginGranted;
}

int32_t OnvifBackend::LogIn(const char* member, const Credentials& credentials) {
  loggedIn_ = false;
  if (probedAt_ != at_ && !Probe(member)) return 0;
  const Call information = Send(member, at_, onvif::SimpleRequest(u"GetDeviceInformation"_qs), &credentials);
  if (information.result == CallResult::Refused) {
    qCInfo(lcHttp) << member << "at" << at_ << ": login refused for" << credentials.user;
    return LoginNeeded;
  }
  if (information.timedOut) Throw(member, NoAnswer(information, at_));
  const std::optional<onvif::DeviceInformation> read =
      information.response ? onvif::ReadDeviceInformation(*information.response) : std::nullopt;
  if (!read) return 0;
  information_ = *read;
  reaching_ = former_ = credentials;
  target_.loginId = credentials.user;
  target_.loginPassword = credentials.password;
  loggedIn_ = true;
  if (!ReadNetwork(member)) qCWarning(lcHttp) << member << "at" << at_ << ": network settings not readable";
  qCInfo(lcHttp) << member << "at" << at_ << ": logged in as" << credentials.user;
  return LoginGranted;
}

int32_t OnvifBackend::Login(const QString& id, const QString& password) {
  at_ = target_.address;
  const int32_t state = LogIn("Login", {id, password});
  if (state == 0) Throw("Login", QStringLiteral("the camera at %1 does not answer the login").arg(at_));
  return state;
}

int32_t OnvifBackend::Connect() {
  const Credentials credentials{target_.loginId, target_.loginPassword};
  // The login the dialog just made is not made again.
  if (loggedIn_ && at_ == target_.address && reaching_ == credentials) return 1;
  at_ = target_.address;
  return LogIn("Connect", credentials) == LoginGranted ? 1 : 0;
}

bool OnvifBackend::ReadNetwork(const char* member) {
  const Call interfaces = Send(member, at_, onvif::SimpleRequest(u"GetNetworkInterfaces"_qs), &reaching_);
  if (interfaces.timedOut) Throw(member, NoAnswer(interfaces, at_));
  const Call gateway = Send(member, at_, onvif::SimpleRequest(u"GetNetworkDefaultGateway"_qs), &reaching_);
  if (!interfaces.response) return false;
  const std::vector<onvif::NetworkInterface> all = onvif::ReadNetworkInterfaces(*interfaces.response);
  // The interface we talk to, else the first wired one that is on.
  const onvif::NetworkInterface* chosen = nullptr;
  for (const onvif::NetworkInterface& one : all) {
    if (one.address == at_) chosen = &one;
  }
  for (const onvif::NetworkInterface& one : all) {
    if (!chosen && one.enabled && !one.wireless) chosen = &one;
  }
  if (!chosen) return false;
  interface_ = *chosen;
  const std::optional<QString> read = gateway.response ? onvif::ReadDefaultGateway(*gateway.response) : std::nullopt;
  gateway_ = read.value_or(QString());
  return true;
}

QString OnvifBackend::Text(const QString& key) {
  if (!loggedIn_) return {};
  if (key == u"SysAdminID") return reaching_.user;
  if (key == u"SysAdminPassword") return reaching_.password;
  if (key == u"SysIPAddress") return interface_.address;
  if (key == u"SysSubnetMask")
    return interface_.address.isEmpty() ? QString() : onvif::MaskText(interface_.prefixLength);
  if (key == u"SysDefaultGateway") return gateway_;
  if (key == protocol::FirmwareVersionKey) return information_.firmwareVersion;
  // The camera's own hardware address, not one guessed for its IP address.
  if (key == protocol::MacAddressKey) return onvif::MacListText(interface_.hwAddress);
  return {};
}

// No 802.11 interface is configured through ONVIF here, so DeviceType never
// has the wireless bit and the wired path runs. NoLoginKey tells whether
// the camera takes commands without a login.
int32_t OnvifBackend::Number(const QString& key) {
  if (key == protocol::NoLoginKey) return needsLogin_ ? 0 : -1;
  return 0;
}

// ---- Writing ---------------------------------------------------------------

bool OnvifBackend::Proves(const Credentials& credentials) {
  const Call read = Send("ApplySettings", at_, onvif::SimpleRequest(u"GetDeviceInformation"_qs), &credentials);
  return read.response && onvif::ReadDeviceInformation(*read.response).has_value();
}

bool OnvifBackend::Settle(const std::function<bool()>& check) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (check()) return true;
    if (clock.elapsed() >= options_.settleWindow.count()) return false;
    Pause(options_.settleInterval);
  }
}

namespace {

// What the user reads when Apply stops: what is in effect now, then what
// did not take, then what was not written at all.
QString Outcome(const QStringList& inEffect, const QStringList& notTaken, const QStringList& notWritten) {
  QStringList parts = inEffect;
  parts += notTaken;
  if (!notWritten.isEmpty()) parts << u"not written: "_qs + notWritten.join(u", ");
  return parts.join(u"; ");
}

}  // namespace

void OnvifBackend::Apply(const QJsonObject& kept) {
  rebootedByApply_ = false;
  inEffect_.clear();
  notTaken_.clear();
  unconfirmed_.clear();
  if (!loggedIn_) Throw("ApplySettings", QStringLiteral("not logged in to the camera; nothing was written"));
  if (!ReadNetwork("ApplySettings")) {
    Throw("ApplySettings",
          QStringLiteral("the camera's network settings cannot be read at %1; nothing was written").arg(at_));
  }
  for (const QString& key : kept.keys()) {
    if (key.startsWith(u"Wlan"))
      qCInfo(lcHttp) << "ApplySettings at" << at_ << ": no wireless setting is written:" << key;
  }
  const QString id = Uncut(kept.value(u"SysAdminID").toString(reaching_.user), reaching_.user);
  const QString password = Uncut(kept.value(u"SysAdminPassword").toString(reaching_.password), reaching_.password);
  const QString address = kept.value(u"SysIPAddress").toString(interface_.address);
  const QString mask = kept.value(u"SysSubnetMask").toString(onvif::MaskText(interface_.prefixLength));
  const QString gateway = kept.value(u"SysDefaultGateway").toString(gateway_);

  // Everything is checked before the first write, by the rules our own
  // cameras apply.
  if (id.isEmpty() || !KeepableText(id)) {
    Throw("ApplySettings", QStringLiteral("the administrator ID \"%1\" is not accepted; nothing was written")
                               .arg(protocol::ShownDeviceText(id)));
  }
  if (!KeepableText(password)) {
    Throw("ApplySettings", QStringLiteral("the administrator password is not accepted; nothing was written"));
  }
  if (const QString refusal = protocol::AddressSettingsRefusal(address, mask, gateway); !refusal.isEmpty()) {
    Throw("ApplySettings", refusal + u"; nothing was written"_qs);
  }
  const int prefix = *onvif::PrefixLength(mask);
  // Which read proves credentials is known from the login; at another
  // address (a camera found again) it is found out first.
  if (probedAt_ != at_) Probe("ApplySettings");

  const bool credentials = id != reaching_.user || password != reaching_.password;
  const bool gatewayChanges = gateway != gateway_;
  const bool addressChanges = address != interface_.address || prefix != interface_.prefixLength || interface_.dhcp;
  QStringList notWritten;
  if (gatewayChanges) notWritten << u"the gateway"_qs;
  if (addressChanges) notWritten << u"the address"_qs;
  const auto stop = [&](const QString& failure) {
    target_.loginId = reaching_.user;
    target_.loginPassword = reaching_.password;
    notTaken_ << failure;
    Throw("ApplySettings", Outcome(inEffect_, notTaken_, notWritten));
  };
  try {
    if (credentials) ApplyCredentials(id, password);
    if (gatewayChanges) {
      notWritten.removeOne(u"the gateway"_qs);
      ApplyGateway(gateway);
    }
    if (addressChanges) {
      notWritten.removeOne(u"the address"_qs);
      ApplyAddress(address, prefix);
    }
  } catch (const std::runtime_error& failure) {
    stop(QString::fromUtf8(failure.what()));
  }
  // The credentials in use are the ones the camera takes now, whatever the
  // pages put before the writes.
  target_.loginId = reaching_.user;
  target_.loginPassword = reaching_.password;
  if (!notTaken_.isEmpty()) Throw("ApplySettings", Outcome(inEffect_, notTaken_, {}));
  qCInfo(lcHttp) << "ApplySettings at" << at_ << ":" << inEffect_.join(u"; ");
}

// A step that cannot go on: the caller names what is in effect with it.
[[noreturn]] static void StepFails(const QString& what) { throw std::runtime_error(what.toStdString()); }

void OnvifBackend::ApplyCredentials(const QString& id, const QString& password) {
  const Credentials old = reaching_;
  const Credentials next{id, password};
  const auto take = [&] {
    former_ = old;
    reaching_ = next;
    target_.loginId = next.user;
    target_.loginPassword = next.password;
  };
  if (id == old.user) {
    const Call set = Send("ApplySettings", at_, onvif::SetUserRequest(id, password), &old);
    if (set.result != CallResult::Done) {
      StepFails(u"the password was not changed: "_qs + (set.answered ? set.why : NoAnswer(set, at_)));
    }
    if (!needsLogin_) {
      take();
      inEffect_ << u"the password was written, not confirmed (this camera answers without a login)"_qs;
      unconfirmed_ << inEffect_.back();
      return;
    }
    if (Settle([&] { return Proves(next); })) {
      take();
      inEffect_ << u"the password is now the new one"_qs;
      return;
    }
    if (Proves(old)) {
      notTaken_ << u"the password did not take: the camera answered the change but still takes the old one"_qs;
      return;
    }
    StepFails(u"the camera takes neither the old nor the new password"_qs);
  }

  // A new ID: created and proven before the old one goes.
  const auto listedAdministrator = [&](const Credentials& as, const QString& name) -> std::optional<bool> {
    const Call read = Send("ApplySettings", at_, onvif::SimpleRequest(u"GetUsers"_qs), &as);
    if (!read.response) return std::nullopt;
    const std::vector<onvif::User> users = onvif::ReadUsers(*read.response);
    return std::any_of(users.begin(), users.end(),
                       [&](const onvif::User& user) { return user.name == name && user.level == u"Administrator"; });
  };
  const Call create = Send("ApplySettings", at_, onvif::CreateAdministratorRequest(id, password), &old);
  if (create.result != CallResult::Done) {
    StepFails(u"the ID was not changed: the camera did not create the new ID: "_qs +
              (create.answered ? create.why : NoAnswer(create, at_)));
  }
  const bool proven =
      Settle([&] { return listedAdministrator(next, id).value_or(false) && (!needsLogin_ || Proves(next)); });
  if (!proven) {
    Send("ApplySettings", at_, onvif::DeleteUserRequest(id), &old);
    notTaken_ << QStringLiteral(
                     "the new ID %1 did not take: the camera answered it but does not log it in as an "
                     "administrator; the ID is still %2 with its password")
                     .arg(protocol::ShownDeviceText(id), protocol::ShownDeviceText(old.user));
    return;
  }
  take();
  inEffect_ << QStringLiteral("the ID is now %1%2")
                   .arg(protocol::ShownDeviceText(id),
                        password == old.password ? QString() : u" with the new password"_qs);
  const Call removed = Send("ApplySettings", at_, onvif::DeleteUserRequest(old.user), &next);
  const bool gone = removed.result == CallResult::Done &&
                    Settle([&] { return listedAdministrator(next, old.user) == std::optional<bool>(false); });
  if (!gone) notTaken_ << QStringLiteral("the old ID %1 could not be deleted").arg(protocol::ShownDeviceText(old.user));
}

void OnvifBackend::ApplyGateway(const QString& gateway) {
  const QString body = gateway.isEmpty() ? u"<tds:SetNetworkDefaultGateway/>"_qs : onvif::SetGatewayRequest(gateway);
  const Call set = Send("ApplySettings", at_, body, &reaching_);
  if (set.result != CallResult::Done) {
    StepFails(u"the gateway was not changed: "_qs + (set.answered ? set.why : NoAnswer(set, at_)));
  }
  const QString before = gateway_;
  std::optional<QString> now;
  int unreported = 0;
  const bool settled = Settle([&] {
    const Call read = Send("ApplySettings", at_, onvif::SimpleRequest(u"GetNetworkDefaultGateway"_qs), &reaching_);
    now = read.response ? onvif::ReadDefaultGateway(*read.response) : std::nullopt;
    if (now == gateway) return true;
    // A camera that told no gateway before and tells none now may be one
    // that never reports it.
    if (before.isEmpty() && now.value_or(QString()).isEmpty()) return ++unreported >= UnreportedLooks;
    return false;
  });
  if (settled && now == gateway) {
    gateway_ = gateway;
    inEffect_ << (gateway.isEmpty() ? u"the gateway is now none"_qs : u"the gateway is now "_qs + gateway);
  } else if (settled) {
    inEffect_
        << QStringLiteral("the gateway %1 was written, not confirmed (the camera reports no gateway)").arg(gateway);
    unconfirmed_ << inEffect_.back();
  } else {
    notTaken_ << QStringLiteral("the gateway did not take: the camera answered the change but holds %1")
                     .arg(now ? (now->isEmpty() ? u"none"_qs : protocol::ShownDeviceText(*now))
                              : u"nothing readable"_qs);
  }
}

void OnvifBackend::ApplyAddress(const QString& address, int prefixLength) {
  const Call set =
      Send("ApplySettings", at_, onvif::SetAddressRequest(interface_.token, address, prefixLength), &reaching_);
  if (set.result != CallResult::Done) {
    StepFails(u"the address was not changed: "_qs + (set.answered ? set.why : NoAnswer(set, at_)));
  }
  const std::optional<bool> rebootNeeded = onvif::ReadRebootNeeded(*set.response);
  qCInfo(lcHttp) << "ApplySettings at" << at_ << ": address" << address << "/" << prefixLength
                 << "reboot needed:" << (rebootNeeded ? (*rebootNeeded ? "yes" : "no") : "not said");
  if (rebootNeeded == true) {
    // The address takes effect on the reboot; the search after it finds
    // the camera again, and nothing more is sent to the old address.
    Reboot("ApplySettings");
    rebootedByApply_ = true;
    inEffect_ << QStringLiteral("the address %1 takes effect as the camera restarts").arg(address);
    at_ = address;
    return;
  }
  // A camera that says nothing may still take the address a while later.
  const QString old = at_;
  std::optional<QString> oldHolds;
  const bool moved = Settle([&] {
    std::vector<Credentials> candidates{reaching_};
    if (!(former_ == reaching_)) candidates.push_back(former_);
    for (const Credentials& credentials : candidates) {
      const Call read = Send("ApplySettings", address, onvif::SimpleRequest(u"GetNetworkInterfaces"_qs), &credentials);
      if (!read.response) continue;
      for (const onvif::NetworkInterface& one : onvif::ReadNetworkInterfaces(*read.response)) {
        if (one.token == interface_.token && one.address == address && one.prefixLength == prefixLength) {
          reaching_ = credentials;
          interface_ = one;
          return true;
        }
      }
    }
    const Call before = Send("ApplySettings", old, onvif::SimpleRequest(u"GetNetworkInterfaces"_qs), &reaching_);
    oldHolds.reset();
    if (before.response) {
      for (const onvif::NetworkInterface& one : onvif::ReadNetworkInterfaces(*before.response)) {
        if (one.token == interface_.token) oldHolds = one.address;
      }
    }
    return false;
  });
  if (moved) {
    at_ = address;
    inEffect_ << u"the address is now "_qs + address;
    return;
  }
  if (oldHolds) {
    notTaken_ << QStringLiteral(
                     "the address did not take: the camera answered the change but still answers at %1 with "
                     "the address %2")
                     .arg(old, protocol::ShownDeviceText(*oldHolds));
    return;
  }
  StepFails(QStringLiteral("the camera answers neither at %1 nor at its new address %2").arg(old, address));
}

void OnvifBackend::Reboot(const char* member) {
  const Call reboot = Send(member, at_, onvif::SimpleRequest(u"SystemReboot"_qs), &reaching_, options_.rebootTimeout);
  if (reboot.result == CallResult::Done) {
    qCInfo(lcHttp) << member << "at" << at_ << ": rebooting";
    return;
  }
  if (reboot.timedOut) {
    StepFails(QStringLiteral("the camera at %1 did not answer the reboot within %2 s")
                  .arg(at_, Seconds(options_.rebootTimeout)));
  }
  StepFails(QStringLiteral("the camera at %1 did not take the reboot: %2").arg(at_, reboot.why));
}

void OnvifBackend::Restart() {
  // A camera whose new address took a reboot is rebooting already.
  if (rebootedByApply_) {
    qCInfo(lcHttp) << "Restart at" << at_ << ": already rebooting for its new address";
    return;
  }
  try {
    Reboot("Restart");
  } catch (const std::runtime_error& failure) {
    Throw("Restart", QString::fromUtf8(failure.what()));
  }
}

// ---- A doubtful address ------------------------------------------------------

int32_t OnvifBackend::ChangeAddress(const QString& address, const QString& mask, const QString& gateway,
                                    QJsonObject& kept) {
  const auto refuse = [&](const QString& why) { Throw("ChangeAddress", why); };
  if (target_.mac.isEmpty()) {
    refuse(QStringLiteral("the camera at %1 cannot prove it is the one chosen: its MAC is unknown; nothing was sent")
               .arg(at_));
  }
  if (!loggedIn_) refuse(QStringLiteral("no login to the camera; nothing was sent"));
  if (!ReadNetwork("ChangeAddress")) {
    refuse(QStringLiteral("the camera at %1 does not take the login; nothing was sent").arg(at_));
  }
  const QString mac = onvif::MacListText(interface_.hwAddress);
  if (mac != target_.mac) {
    refuse(QStringLiteral("the camera answering at %1 is another one (MAC %2); nothing was sent")
               .arg(at_, protocol::ShownDeviceText(mac.left(40))));
  }
  kept.insert(u"SysIPAddress"_qs, address);
  kept.insert(u"SysSubnetMask"_qs, mask);
  kept.insert(u"SysDefaultGateway"_qs, gateway);
  qCInfo(lcHttp) << "ChangeAddress at" << at_ << ": the camera proved to be" << target_.mac << "; the address is kept";
  return 1;
}

bool OnvifBackend::AddressInUse() {
  return Send("AddressInUse", target_.address, onvif::SimpleRequest(u"GetSystemDateAndTime"_qs), nullptr).answered;
}

}  // namespace device
