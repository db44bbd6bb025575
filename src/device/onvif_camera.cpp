#include "device/onvif_camera.h"

#include <QDateTime>
#include <algorithm>
#include <QEventLoop>
#include <QTimer>

#include "device/camera_control.h"
#include "device/device_log.h"
#include "device/onvif_auth.h"
#include "protocol/protocol.h"
#include "protocol/setting_rules.h"
#include "protocol/wire.h"

namespace device::onvif {
namespace {

constexpr int LoginGrantedState = 3;
constexpr int LoginRefusedState = 2;
// A reboot answer may take several seconds.
constexpr std::chrono::milliseconds RebootTimeout{8000};
// A camera that moved without a reboot is asked at its new address this often,
// a second apart, before it counts as lost.
constexpr int NewAddressAttempts = 5;
constexpr qsizetype MaxServicePath = 256;

// Fault subcodes by which cameras refuse a login (as HTTP 400 or 500 rather
// than 401).
bool IsLoginRefusal(const Fault& fault) {
  static const QStringList refusals = {u"NotAuthorized"_qs, u"FailedAuthentication"_qs, u"InvalidSecurity"_qs,
                                       u"InvalidSecurityToken"_qs, u"FailedCheck"_qs, u"SecurityTokenUnavailable"_qs};
  return refusals.contains(fault.subcode) || refusals.contains(fault.code);
}

// An ID or password the camera may keep: one it can hand back and the user
// can type again (no controls, no lone surrogates).
bool KeepableText(const QString& text) {
  return text.size() <= protocol::MaxTextUnits && protocol::TextRefusal(text).isEmpty();
}

bool ValidHostAddress(const QString& text) {
  const std::optional<uint32_t> ip = protocol::ParseIPv4(text);
  if (!ip) return false;
  const uint32_t first = *ip >> 24;
  return first != 0 && first < 224;  // not "this network", multicast or reserved
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

}  // namespace

void Camera::Target(const QString& address) {
  if (address == address_) return;
  address_ = address;
  loggedIn_ = false;
  rebootedByApply_ = false;
  clockOffsetMs_ = 0;
  information_ = {};
  interface_ = {};
  gateway_.clear();
}

void Camera::ServicePath(const QString& path) {
  // The path goes into the request line: only a plain absolute one is used.
  const bool usable = path.startsWith(u'/') && path.size() <= MaxServicePath &&
                      std::all_of(path.begin(), path.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
  if (!usable && !path.isEmpty()) qCWarning(lcHttp) << "TargetServicePath: not a usable path; the usual one is used";
  path_ = usable ? path : QString::fromLatin1(protocol::OnvifDevicePath);
}

Call Camera::Send(const char* member, const QString& address, const QString& body, const Credentials* credentials,
                  std::chrono::milliseconds timeout) {
  HttpRequest request;
  request.method = QStringLiteral("POST");
  request.address = address;
  request.path = path_;
  request.contentType = "application/soap+xml; charset=utf-8";
  request.timeout = timeout;
  QString header;
  if (credentials) {
    header = SecurityHeader(credentials->user, credentials->password, clockOffsetMs_, QDateTime::currentDateTimeUtc());
    request.user = credentials->user;  // for a camera that challenges with Digest instead
    request.password = credentials->password;
  }
  request.body = Envelope(body, header);
  const HttpResponse response = send_(member, request);

  Call call;
  if (!response.answered()) {
    call.why = response.error;
    return call;
  }
  call.answered = true;
  if (response.status == 401) {
    call.result = CallResult::Refused;
    call.why = QStringLiteral("HTTP 401");
    return call;
  }
  SoapAnswer answer = ReadAnswer(response.body);
  if (answer.fault) {
    call.result = IsLoginRefusal(*answer.fault) ? CallResult::Refused : CallResult::Failed;
    call.why = QStringLiteral("fault %1 %2: %3").arg(answer.fault->code, answer.fault->subcode, answer.fault->reason);
  } else if (response.status != 200) {
    call.why = QStringLiteral("HTTP %1").arg(response.status);
  } else if (!answer.ok()) {
    call.why = answer.error;  // an operation sent to the wrong service may get an empty answer
  } else {
    call.result = CallResult::Done;
    call.response = std::move(answer.response);
    return call;
  }
  qCWarning(lcHttp).noquote() << member << "at" << address << ":" << call.why;
  return call;
}

int32_t Camera::LogIn(const Credentials& credentials) {
  loggedIn_ = false;
  const QDateTime sentAt = QDateTime::currentDateTimeUtc();
  const Call date = Send("Connect", address_, SimpleRequest(u"GetSystemDateAndTime"_qs), nullptr);
  const QDateTime receivedAt = QDateTime::currentDateTimeUtc();
  if (!date.answered) return 0;  // nothing there: no login to try
  // A camera that does not tell its time (or wants a login for it) gets
  // tokens in our own time.
  const std::optional<QDateTime> cameraTime = date.response ? ReadSystemDateAndTime(*date.response) : std::nullopt;
  clockOffsetMs_ = cameraTime ? ClockOffsetMs(*cameraTime, sentAt, receivedAt) : 0;
  if (std::abs(clockOffsetMs_) > 5000) {
    qCInfo(lcHttp) << "Connect at" << address_ << ": the camera's clock is" << clockOffsetMs_ / 1000 << "s off ours";
  }
  const Call info = Send("Connect", address_, SimpleRequest(u"GetDeviceInformation"_qs), &credentials);
  if (info.result == CallResult::Refused) {
    qCInfo(lcHttp) << "Connect at" << address_ << ": login refused for" << credentials.user;
    return LoginRefusedState;
  }
  const std::optional<DeviceInformation> information = info.response ? ReadDeviceInformation(*info.response)
                                                                     : std::nullopt;
  if (!information) return 0;
  information_ = *information;
  credentials_ = credentials;
  loggedIn_ = true;
  if (!ReadNetwork()) qCWarning(lcHttp) << "Connect at" << address_ << ": network settings not readable";
  qCInfo(lcHttp) << "Connect at" << address_ << ": logged in as" << credentials.user;
  return LoginGrantedState;
}

bool Camera::ReadNetwork() {
  const Call interfaces = Send("Connect", address_, SimpleRequest(u"GetNetworkInterfaces"_qs), &credentials_);
  const Call gateway = Send("Connect", address_, SimpleRequest(u"GetNetworkDefaultGateway"_qs), &credentials_);
  if (!interfaces.response) return false;
  const std::vector<NetworkInterface> all = ReadNetworkInterfaces(*interfaces.response);
  // The interface we talk to, else the first wired one that is on.
  const NetworkInterface* chosen = nullptr;
  for (const NetworkInterface& one : all) {
    if (one.address == address_) chosen = &one;
  }
  for (const NetworkInterface& one : all) {
    if (!chosen && one.enabled && !one.wireless) chosen = &one;
  }
  if (!chosen) return false;
  interface_ = *chosen;
  const std::optional<QString> read = gateway.response ? ReadDefaultGateway(*gateway.response) : std::nullopt;
  gateway_ = read.value_or(QString());
  return true;
}

QString Camera::Text(const QString& key) const {
  if (!loggedIn_) return {};
  if (key == u"SysAdminID") return credentials_.user;
  if (key == u"SysAdminPassword") return credentials_.password;
  if (key == u"SysIPAddress") return interface_.address;
  if (key == u"SysSubnetMask") return interface_.address.isEmpty() ? QString() : MaskText(interface_.prefixLength);
  if (key == u"SysDefaultGateway") return gateway_;
  if (key == protocol::FirmwareVersionKey) return information_.firmwareVersion;
  if (key == protocol::MacAddressKey) return MacListText(interface_.hwAddress);
  return {};
}

// No 802.11 interface is configured through ONVIF here, so DeviceType never
// has the wireless bit and the wired path runs.
int32_t Camera::Number(const QString& /*key*/) const { return 0; }

void Camera::Throw(const QString& what) const {
  qCWarning(lcHttp).noquote() << "ApplySettings at" << address_ << ":" << what;
  throw CameraControlError(what.toStdString());
}

void Camera::Apply(const QJsonObject& kept) {
  rebootedByApply_ = false;
  if (!loggedIn_) Throw(QStringLiteral("not logged in to the camera; nothing was written"));
  if (!ReadNetwork()) Throw(QStringLiteral("the camera's network settings cannot be read; nothing was written"));
  for (const QString& key : kept.keys()) {
    if (key.startsWith(u"Wlan")) qCInfo(lcHttp) << "ApplySettings at" << address_ << ": no wireless setting is written:" << key;
  }
  const QString id = Uncut(kept.value(u"SysAdminID").toString(credentials_.user), credentials_.user);
  const QString password = Uncut(kept.value(u"SysAdminPassword").toString(credentials_.password), credentials_.password);
  const QString address = kept.value(u"SysIPAddress").toString(interface_.address);
  const QString mask = kept.value(u"SysSubnetMask").toString(MaskText(interface_.prefixLength));
  const QString gateway = kept.value(u"SysDefaultGateway").toString(gateway_);

  // Everything is checked before the first write.
  if (id.isEmpty() || !KeepableText(id)) {
    Throw(QStringLiteral("the administrator ID \"%1\" is not accepted; nothing was written").arg(id));
  }
  if (!KeepableText(password)) Throw(QStringLiteral("the administrator password is not accepted; nothing was written"));
  if (!ValidHostAddress(address)) Throw(QStringLiteral("the IP address %1 is not accepted; nothing was written").arg(address));
  const std::optional<int> prefix = PrefixLength(mask);
  if (!prefix || *prefix == 0) {
    Throw(QStringLiteral("the subnet mask %1 is not a contiguous prefix; nothing was written").arg(mask));
  }
  if (!protocol::IsHostOfNetwork(*protocol::ParseIPv4(address), *protocol::ParseIPv4(mask))) {
    Throw(QStringLiteral("%1 is the network or broadcast address of its subnet; nothing was written").arg(address));
  }
  if (!gateway.isEmpty() && !ValidHostAddress(gateway)) {
    Throw(QStringLiteral("the default gateway %1 is not accepted; nothing was written").arg(gateway));
  }

  ApplyCredentials(id, password);
  if (gateway != gateway_) ApplyGateway(gateway);
  if (address != interface_.address || *prefix != interface_.prefixLength || interface_.dhcp) {
    ApplyAddress(address, *prefix, interface_.dhcp);
  }
}

void Camera::ApplyCredentials(const QString& id, const QString& password) {
  const Credentials old = credentials_;
  const Credentials next{id, password};
  if (id == old.user && password == old.password) return;
  if (id == old.user) {
    const Call set = Send("ApplySettings", address_, SetUserRequest(id, password), &old);
    if (set.result != CallResult::Done) Throw(QStringLiteral("the camera did not take the new password: ") + set.why);
    if (Send("ApplySettings", address_, SimpleRequest(u"GetUsers"_qs), &next).result == CallResult::Done) {
      credentials_ = next;
      return;
    }
    if (Send("ApplySettings", address_, SimpleRequest(u"GetUsers"_qs), &old).result == CallResult::Done) {
      Throw(QStringLiteral("the camera answered the password change but kept the old password"));
    }
    Throw(QStringLiteral("the new password does not log in; the camera holds the old or the new one"));
  }

  // A new ID: created and proven before the old one goes.
  const Call create = Send("ApplySettings", address_, CreateAdministratorRequest(id, password), &old);
  if (create.result != CallResult::Done) Throw(QStringLiteral("the camera did not create the new ID: ") + create.why);
  const Call proof = Send("ApplySettings", address_, SimpleRequest(u"GetUsers"_qs), &next);
  const std::vector<User> users = proof.response ? ReadUsers(*proof.response) : std::vector<User>{};
  const bool proven = std::any_of(users.begin(), users.end(), [&](const User& user) {
    return user.name == id && user.level == u"Administrator";
  });
  if (!proven) {
    Send("ApplySettings", address_, DeleteUserRequest(id), &old);
    Throw(QStringLiteral("the new ID %1 does not log in as an administrator; the old ID %2 is kept").arg(id, old.user));
  }
  credentials_ = next;
  const Call removed = Send("ApplySettings", address_, DeleteUserRequest(old.user), &next);
  const Call check = Send("ApplySettings", address_, SimpleRequest(u"GetUsers"_qs), &next);
  const std::vector<User> after = check.response ? ReadUsers(*check.response) : std::vector<User>{};
  if (removed.result != CallResult::Done ||
      std::any_of(after.begin(), after.end(), [&](const User& user) { return user.name == old.user; })) {
    Throw(QStringLiteral("the new ID %1 works, but the old ID %2 could not be deleted").arg(id, old.user));
  }
}

void Camera::ApplyGateway(const QString& gateway) {
  const QString body = gateway.isEmpty() ? u"<tds:SetNetworkDefaultGateway/>"_qs : SetGatewayRequest(gateway);
  const Call set = Send("ApplySettings", address_, body, &credentials_);
  if (set.result != CallResult::Done) Throw(QStringLiteral("the camera did not take the gateway: ") + set.why);
  const Call read = Send("ApplySettings", address_, SimpleRequest(u"GetNetworkDefaultGateway"_qs), &credentials_);
  const std::optional<QString> now = read.response ? ReadDefaultGateway(*read.response) : std::nullopt;
  if (now != gateway) {
    Throw(QStringLiteral("the camera answered the gateway change but holds %1").arg(now.value_or(u"nothing readable"_qs)));
  }
  gateway_ = gateway;
}

void Camera::ApplyAddress(const QString& address, int prefixLength, bool wasDhcp) {
  const QString body = SetAddressRequest(interface_.token, address, prefixLength);
  const Call set = Send("ApplySettings", address_, body, &credentials_);
  if (set.result != CallResult::Done) Throw(QStringLiteral("the camera did not take the address: ") + set.why);
  const std::optional<bool> rebootNeeded = ReadRebootNeeded(*set.response);
  qCInfo(lcHttp) << "ApplySettings at" << address_ << ": address" << address << "/" << prefixLength
                 << (wasDhcp ? "(DHCP off)" : "") << "reboot needed:" << rebootNeeded.value_or(true);
  if (rebootNeeded.value_or(true)) {
    // The address takes effect on the reboot; the search after it finds
    // the camera again.
    if (!Reboot()) Throw(QStringLiteral("the camera took the address %1 but did not take the reboot").arg(address));
    rebootedByApply_ = true;
    return;
  }
  for (int attempt = 0; attempt < NewAddressAttempts; ++attempt) {
    if (attempt > 0) Pause(std::chrono::milliseconds(1000));
    const Call read = Send("ApplySettings", address, SimpleRequest(u"GetNetworkInterfaces"_qs), &credentials_);
    if (!read.response) continue;
    for (const NetworkInterface& one : ReadNetworkInterfaces(*read.response)) {
      if (one.token == interface_.token && one.address == address && one.prefixLength == prefixLength) {
        address_ = address;
        interface_ = one;
        return;
      }
    }
    Throw(QStringLiteral("the camera answered the address change but holds another address"));
  }
  Throw(QStringLiteral("the camera does not answer at its new address %1").arg(address));
}

bool Camera::Reboot() {
  const Call reboot = Send("Restart", address_, SimpleRequest(u"SystemReboot"_qs), &credentials_, RebootTimeout);
  if (reboot.result == CallResult::Done) qCInfo(lcHttp) << "Restart at" << address_ << ": rebooting";
  return reboot.result == CallResult::Done;
}

bool Camera::Answers(const QString& address) {
  return Send("AddressInUse", address, SimpleRequest(u"GetSystemDateAndTime"_qs), nullptr).answered;
}

}  // namespace device::onvif
