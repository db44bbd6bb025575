#include "device/net_camera_control.h"

#include <QScopeGuard>
#include <QSet>
#include <algorithm>
#include <utility>

#include "device/announcements.h"
#include "device/address_search.h"
#include "device/device_log.h"
#include "device/onvif_backend.h"
#include "device/own_backend.h"
#include "protocol/setting_rules.h"

namespace device {
namespace {

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }
std::u16string U(const QString& text) { return text.toStdU16String(); }

constexpr qsizetype MaxServicePath = 256;

[[noreturn]] void Fail(const char* member, const QString& what) {
  throw CameraControlError(QStringLiteral("%1 failed: %2").arg(QLatin1String(member), what).toStdString());
}

}  // namespace

NetCameraControl::NetCameraControl(NetOptions options) : options_(std::move(options)) {
  const HttpSend send = [this](const char* member, HttpRequest request) { return Http(member, std::move(request)); };
  own_ = std::make_unique<OwnBackend>(target_, options_, send);
  onvifBackend_ = std::make_unique<OnvifBackend>(target_, options_, send);
  backend_ = own_.get();
}

NetCameraControl::~NetCameraControl() = default;

// ---- Discovery -------------------------------------------------------------

namespace {

bool SameCamera(const FoundCamera& listed, const FoundCamera& heard) {
  if (!heard.endpoint.isEmpty()) return listed.endpoint == heard.endpoint;
  return listed.endpoint.isEmpty() && listed.mac == heard.mac && listed.address == heard.address;
}

}  // namespace

void NetCameraControl::Search() {
  StartListening();
  found_.clear();
  index_ = 0;
  leftOut_ = 0;
  const InterfaceChoice choice = ChooseInterfaces(options_.interfaceNames);
  std::vector<FoundCamera> more;  // heard otherwise than by the search's probes
  const auto listed = [&](const auto& same) {
    return std::any_of(found_.begin(), found_.end(), same) || std::any_of(more.begin(), more.end(), same);
  };
  {
    // Announcements heard meanwhile wait in announced_ for the search's end.
    searching_ = true;
    const auto searched = qScopeGuard([this] { searching_ = false; });
    SearchOutcome outcome = SearchCameras(options_, choice, onFound_);
    found_ = std::move(outcome.cameras);
    leftOut_ = outcome.leftOut;
    // Cameras added by address are asked again, unless the search heard them.
    for (const QString& address : addedAddresses_) {
      QString error;
      const std::optional<CameraAddress> target = ParseCameraAddress(address, error);
      if (target && listed([&](const FoundCamera& row) { return row.address == target->host; })) continue;
      const AddressOutcome added = SearchAddress(options_, choice, address);
      if (added.camera) {
        more.push_back(*added.camera);
        if (onFound_) onFound_(more.back());
      }
    }
  }
  // The announced cameras the search did not hear follow its rows (looked
  // up by endpoint: thousands of them must not cost a pass over the rows each).
  QSet<QString> endpoints;
  for (const std::vector<FoundCamera>* rows : {&found_, &more}) {
    for (const FoundCamera& row : *rows) endpoints.insert(row.endpoint);
  }
  for (const FoundCamera& camera : announced_) {
    if (!endpoints.contains(camera.endpoint)) more.push_back(camera);
  }
  NoteNetworks(choice, more);
  for (FoundCamera& camera : more) {
    if (static_cast<int>(found_.size()) >= options_.maxCameras) break;
    found_.push_back(std::move(camera));
  }
}

bool NetCameraControl::StartListening() {
  if (listener_) return true;
  if (options_.onvifPort == 0) return false;  // no ONVIF wanted
  auto listener = std::make_unique<AnnouncementListener>(options_);
  QString error;
  if (!listener->Open(error)) {
    qCWarning(lcDiscovery) << "Cameras' announcements are not heard:" << error;
    return false;
  }
  listener->onHello = [this](const FoundCamera& camera) { HeardHello(camera); };
  listener->onBye = [this](const QString& endpoint) { HeardBye(endpoint); };
  listener_ = std::move(listener);
  return true;
}

void NetCameraControl::HeardHello(const FoundCamera& camera) {
  const auto known = std::find_if(announced_.begin(), announced_.end(),
                                  [&](const FoundCamera& row) { return row.endpoint == camera.endpoint; });
  if (known != announced_.end()) {
    *known = camera;
  } else if (static_cast<int>(announced_.size()) < options_.maxCameras) {
    announced_.push_back(camera);
  }
  if (!searching_) ListCamera(camera);
}

void NetCameraControl::HeardBye(const QString& endpoint) {
  std::erase_if(announced_, [&](const FoundCamera& row) { return row.endpoint == endpoint; });
  if (!searching_) MarkGone(endpoint);
}

bool NetCameraControl::ListCamera(const FoundCamera& camera) {
  const auto listed =
      std::find_if(found_.begin(), found_.end(), [&](const FoundCamera& row) { return SameCamera(row, camera); });
  if (listed != found_.end()) {
    // Heard again at another address (a camera that took a new one says
    // Bye, then Hello with its new XAddr): the row follows it.
    const bool moved = !camera.endpoint.isEmpty() && listed->address != camera.address;
    if (moved) {
      listed->address = camera.address;
      listed->port = camera.port;
      listed->path = camera.path;
      listed->interfaceName = camera.interfaceName;
    }
    if (listed->gone || moved) {
      listed->gone = false;
      if (onListChanged_) onListChanged_();
    }
    return false;
  }
  if (static_cast<int>(found_.size()) >= options_.maxCameras) {
    qCWarning(lcDiscovery) << "A camera at" << camera.address << "is not listed: the list is full";
    return false;
  }
  std::vector<FoundCamera> heard{camera};
  NoteNetworks(ChooseInterfaces(options_.interfaceNames), heard);
  found_.push_back(std::move(heard.front()));
  if (onListChanged_) onListChanged_();
  return true;
}

std::u16string NetCameraControl::AddCamera(const std::u16string& address) {
  const QString text = Q(address).trimmed();
  const AddressOutcome outcome = SearchAddress(options_, ChooseInterfaces(options_.interfaceNames), text);
  if (!outcome.camera) return U(outcome.error);
  if (!addedAddresses_.contains(text)) addedAddresses_ << text;
  const bool listed = std::any_of(found_.begin(), found_.end(),
                                  [&](const FoundCamera& row) { return SameCamera(row, *outcome.camera); });
  if (!ListCamera(*outcome.camera) && !listed) {
    return U(QStringLiteral("The list is full (%1 cameras): the camera at %2 is not listed")
                 .arg(options_.maxCameras)
                 .arg(outcome.camera->address));
  }
  return {};
}

void NetCameraControl::MarkGone(const QString& endpoint) {
  for (FoundCamera& row : found_) {
    if (endpoint.isEmpty() || row.endpoint != endpoint || row.gone) continue;
    row.gone = true;
    if (onListChanged_) onListChanged_();
  }
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
std::u16string NetCameraControl::DeviceNote() { return Described() ? U(RowNote(*Described())) : u""; }
std::u16string NetCameraControl::DeviceLinkLocal() { return Described() ? U(Described()->linkLocal) : u""; }
std::u16string NetCameraControl::DeviceNetworks() {
  return Described() ? U(InterfaceNetworks(Described()->interfaceName)) : u"";
}

int16_t NetCameraControl::DeviceOutside() {
  const FoundCamera* camera = Described();
  return camera != nullptr && camera->outside && camera->linkLocal.isEmpty() ? -1 : 0;
}

TemporaryAddressOffer NetCameraControl::OfferTemporaryAddress() {
  TemporaryAddressOffer offer;
  const FoundCamera* camera = Described();
  if (camera == nullptr || camera->interfaceName.isEmpty()) return offer;
  offer.interfaceName = U(camera->interfaceName);
  offer.prefixLength = PrefixOfMask(camera->mask);
  offer.mayAdd = MayChangeInterfaces();
  QStringList own;  // the computer's addresses there are no candidates
  for (const QNetworkAddressEntry& entry :
       QNetworkInterface::interfaceFromName(camera->interfaceName).addressEntries()) {
    own << entry.ip().toString();
  }
  for (const QString& candidate : TemporaryCandidates(camera->address, offer.prefixLength, own)) {
    // Without the right to add it, the user adds it: the top candidate is
    // named, and the probe (which needs that right too) is left out.
    if (!offer.mayAdd) {
      offer.address = U(candidate);
      break;
    }
    QString error;
    const std::optional<bool> taken = AddressTaken(camera->interfaceName, candidate, error);
    if (!taken) {
      qCWarning(lcDiscovery).noquote() << "Temporary address:" << error;
      break;
    }
    if (!*taken) {
      offer.address = U(candidate);
      break;
    }
  }
  return offer;
}

bool NetCameraControl::AddTemporaryAddress(const TemporaryAddressOffer& offer) {
  QString error;
  if (!protocol::IsIPv4(Q(offer.address)) ||
      !temporary_.Add(Q(offer.interfaceName), Q(offer.address), offer.prefixLength, error)) {
    qCWarning(lcDiscovery).noquote() << "Temporary address:" << (error.isEmpty() ? u"not an address"_qs : error);
    return false;
  }
  return true;
}

// ---- Addressing ------------------------------------------------------------

void NetCameraControl::TargetChanged() {
  // A camera is known by its protocol and its MAC; an ONVIF camera whose
  // MAC the search could not tell, by its address.
  const QString camera = (onvif_ ? u"onvif "_qs : u"own "_qs) + (target_.mac.isEmpty() ? target_.address : target_.mac);
  if (camera == camera_) return;
  camera_ = camera;
  target_.linkLocal.clear();
  target_.loginId.clear();
  target_.loginPassword.clear();
  kept_ = QJsonObject();
  own_->Retarget();
  onvifBackend_->Retarget();
}

void NetCameraControl::ProtocolOption(int32_t option) {
  onvif_ = option == protocol::OnvifProtocolOption;
  backend_ = onvif_ ? onvifBackend_.get() : own_.get();
  TargetChanged();
}

void NetCameraControl::TargetAddress(const std::u16string& address) {
  target_.address = Q(address);
  TargetChanged();
}

void NetCameraControl::TargetMac(const std::u16string& mac) {
  target_.mac = Q(mac);
  TargetChanged();
}

std::u16string NetCameraControl::UnconfirmedSettings() { return U(backend_->Unconfirmed().join(u"; ")); }

void NetCameraControl::TargetServicePath(const std::u16string& path) {
  // The path goes into the request line: only a plain absolute one is used.
  const QString text = Q(path);
  const bool usable =
      text.startsWith(u'/') && text.size() <= MaxServicePath &&
      std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
  if (!usable && !text.isEmpty()) qCWarning(lcHttp) << "TargetServicePath: not a usable path; the usual one is used";
  target_.servicePath = usable ? text : QString();
}

void NetCameraControl::TargetLinkLocal(const std::u16string& address) {
  const QString text = Q(address);
  if (!IsScopedLinkLocal(text) && !text.isEmpty()) qCWarning(lcHttp) << "TargetLinkLocal: not a scoped link-local address";
  target_.linkLocal = IsScopedLinkLocal(text) ? text : QString();
}

// ---- HTTP ------------------------------------------------------------------

// Where a request for `address` goes: an ONVIF camera whose IPv4 address the
// interface it offered its link-local address on cannot reach is spoken to
// at that link-local address instead.
QString NetCameraControl::Route(const QString& address) const {
  if (!onvif_ || target_.linkLocal.isEmpty() || address != target_.address) return address;
  return IsOutsideNetworks(address, QHostAddress(target_.linkLocal).scopeId()) ? target_.linkLocal : address;
}

HttpResponse NetCameraControl::Http(const char* member, HttpRequest request) {
  const InterfaceChoice choice = ChooseInterfaces(options_.interfaceNames);
  request.address = Route(request.address);
  HttpResponse response;
  if (!MayContact(choice, request.address) || target_.port < 1 || target_.port > 65535) {
    response.error = choice.loopbackOnly && protocol::IsIPv4(request.address)
                         ? QStringLiteral("not contacted: outside the loopback network")
                         : QStringLiteral("not contacted: no valid address and port");
    qCWarning(lcHttp) << member << request.address << target_.port << ":" << response.error;
    return response;
  }
  request.port = static_cast<quint16>(target_.port);
  if (choice.loopbackOnly && !choice.interfaces.empty())
    request.bindAddress = choice.interfaces.front().sources.front().address;
  request.connectTimeout = options_.httpConnectTimeout;
  // A request may ask for longer than usual (a reboot answer can be slow).
  request.timeout = std::max(request.timeout, options_.httpTimeout);
  response = SendHttp(request);
  if (response.status != 200) {
    qCWarning(lcHttp) << member << request.method << request.path << "at"
                      << QStringLiteral("%1:%2").arg(request.address).arg(target_.port) << ":"
                      << (response.answered() ? QStringLiteral("HTTP %1").arg(response.status) : response.error);
  }
  return response;
}

// ---- Connection, login, settings --------------------------------------------

int32_t NetCameraControl::Connect() { return backend_->Connect(); }

int32_t NetCameraControl::LoginState() { return backend_->LoginState(); }

int32_t NetCameraControl::Login(std::u16string& id, std::u16string& password) {
  if (id.size() > static_cast<size_t>(protocol::MaxTextUnits)) return LoginNeeded;  // no camera has such an ID
  return backend_->Login(Q(id), Q(password));
}

int32_t NetCameraControl::GetSettingNumber(const std::u16string& key) { return backend_->Number(Q(key)); }

std::u16string NetCameraControl::GetSettingText(const std::u16string& key) { return U(backend_->Text(Q(key))); }

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
  backend_->Apply(std::exchange(kept_, QJsonObject()));
}

void NetCameraControl::Restart() { backend_->Restart(); }

int32_t NetCameraControl::ChangeAddress(std::u16string& address, std::u16string& mask, std::u16string& gateway) {
  const QString newAddress = Q(address);
  const QString newMask = Q(mask);
  const QString newGateway = Q(gateway);
  if (!protocol::IsIPv4(newAddress) || !protocol::IsIPv4(newMask) ||
      !(newGateway.isEmpty() || protocol::IsIPv4(newGateway))) {
    qCWarning(lcMac) << "ChangeAddress" << target_.mac << ": not sent, not a valid address, mask or gateway";
    Fail("ChangeAddress", QStringLiteral("not a valid address, mask or gateway"));
  }
  if (const QString refusal = protocol::AddressSettingsRefusal(newAddress, newMask, newGateway); !refusal.isEmpty()) {
    qCWarning(lcMac) << "ChangeAddress" << target_.mac << ": not sent:" << refusal;
    Fail("ChangeAddress", refusal);
  }
  return backend_->ChangeAddress(newAddress, newMask, newGateway, kept_);
}

int32_t NetCameraControl::AddressInUse() {
  if (!protocol::IsIPv4(target_.address)) {
    qCWarning(lcMac) << "AddressInUse" << target_.address << ": not an IPv4 address";
    return 0;
  }
  // An ONVIF camera's new address may be held by a camera of either protocol.
  if (onvif_ && onvifBackend_->AddressInUse()) return -1;
  return own_->AddressInUse() ? -1 : 0;
}

}  // namespace device
