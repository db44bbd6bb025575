#include "support/fake_camera.h"

#include <algorithm>

#include "base/text.h"

std::string Quoted(const std::u16string& text) { return "\"" + base::ToUtf8(text) + "\""; }

void FakeCamera::Record(const std::string& member, const std::string& detail) {
  log_.Add(name_ + "." + member + detail);
  if (failing.count(member) != 0) throw device::CameraControlError(member + " failed");
}

const FakeCameraDevice* FakeCamera::Current() const {
  if (deviceIndex < 0 || static_cast<size_t>(deviceIndex) >= found_) return nullptr;
  return &devices[static_cast<size_t>(deviceIndex)];
}

void FakeCamera::Search() {
  Record("Search");
  found_ = devices.size();
}

int32_t FakeCamera::FoundCount() {
  Record("FoundCount");
  return static_cast<int32_t>(found_);
}

void FakeCamera::DeviceIndex(int32_t index) {
  Record("DeviceIndex", " = " + std::to_string(index));
  deviceIndex = index;
}

#define FAKE_DESCRIPTION(Member, field)             \
  std::u16string FakeCamera::Member() {             \
    Record(#Member);                                \
    const FakeCameraDevice* device = Current();     \
    return device != nullptr ? device->field : u""; \
  }
FAKE_DESCRIPTION(DeviceAddress, address)
FAKE_DESCRIPTION(DeviceMode, mode)
FAKE_DESCRIPTION(DeviceCaption, caption)
FAKE_DESCRIPTION(DeviceVersionText, version)
FAKE_DESCRIPTION(DeviceSubnetMask, mask)
FAKE_DESCRIPTION(DeviceGateway, gateway)
FAKE_DESCRIPTION(DeviceMacText, mac)
#undef FAKE_DESCRIPTION

std::u16string FakeCamera::DeviceNote() {
  Record("DeviceNote");
  const auto note = notes.find(deviceIndex);
  return Current() != nullptr && note != notes.end() ? note->second : u"";
}

std::u16string FakeCamera::DeviceNetworks() {
  Record("DeviceNetworks");
  const auto found = networks.find(deviceIndex);
  return Current() != nullptr && found != networks.end() ? found->second : u"";
}

std::u16string FakeCamera::DeviceLinkLocal() {
  Record("DeviceLinkLocal");
  const auto found = linkLocals.find(deviceIndex);
  return Current() != nullptr && found != linkLocals.end() ? found->second : u"";
}
void FakeCamera::TargetLinkLocal(const std::u16string& address) { Record("TargetLinkLocal", " = " + Quoted(address)); }
std::u16string FakeCamera::AddCamera(const std::u16string& address) {
  Record("AddCamera", " = " + Quoted(address));
  const auto camera = atAddress.find(address);
  if (camera == atAddress.end()) {
    return !addRefusal.empty() ? addRefusal : u"No camera answered at " + address + u" within 1 s";
  }
  const auto listed = std::find_if(
      devices.begin(), devices.begin() + static_cast<std::ptrdiff_t>(found_), [&](const FakeCameraDevice& device) {
        return device.mac == camera->second.mac && device.address == camera->second.address;
      });
  if (listed == devices.begin() + static_cast<std::ptrdiff_t>(found_)) HearBetweenSearches(camera->second);
  return u"";
}

device::TemporaryAddressOffer FakeCamera::OfferTemporaryAddress() {
  Record("OfferTemporaryAddress");
  return offer;
}

bool FakeCamera::AddTemporaryAddress(const device::TemporaryAddressOffer& offered) {
  Record("AddTemporaryAddress", " = " + Quoted(offered.address));
  if (addTakes) temporaryAddress = offered.address;
  return addTakes;
}

void FakeCamera::RemoveTemporaryAddress() {
  if (temporaryAddress.empty()) return;
  Record("RemoveTemporaryAddress", " = " + Quoted(temporaryAddress));
  temporaryAddress.clear();
}

void FakeCamera::ProtocolFamily(int32_t family) { Record("ProtocolFamily", " = " + std::to_string(family)); }
void FakeCamera::ProtocolOption(int32_t option) { Record("ProtocolOption", " = " + std::to_string(option)); }
void FakeCamera::TargetAddress(const std::u16string& address) { Record("TargetAddress", " = " + Quoted(address)); }
void FakeCamera::TargetPort(int32_t port) { Record("TargetPort", " = " + std::to_string(port)); }
void FakeCamera::TargetServicePath(const std::u16string& path) { Record("TargetServicePath", " = " + Quoted(path)); }
int32_t FakeCamera::DevicePort() {
  Record("DevicePort");
  return Current() != nullptr ? servicePort : 0;
}
std::u16string FakeCamera::DeviceServicePath() {
  Record("DeviceServicePath");
  return Current() != nullptr ? servicePath : u"";
}
void FakeCamera::TargetMac(const std::u16string& mac) { Record("TargetMac", " = " + Quoted(mac)); }

int32_t FakeCamera::Connect() {
  Record("Connect");
  return connectResult;
}

std::u16string FakeCamera::LoginID() {
  Record("LoginID");
  return loginId;
}
void FakeCamera::LoginID(const std::u16string& id) {
  Record("LoginID", " = " + Quoted(id));
  loginId = id;
}
std::u16string FakeCamera::LoginPassword() {
  Record("LoginPassword");
  return loginPassword;
}
void FakeCamera::LoginPassword(const std::u16string& password) {
  Record("LoginPassword", " = " + Quoted(password));
  loginPassword = password;
}

int32_t FakeCamera::LoginState() {
  Record("LoginState");
  if (loginStates.empty()) return loginStateAfter;
  int32_t state = loginStates.front();
  loginStates.pop_front();
  return state;
}

int32_t FakeCamera::Login(std::u16string& id, std::u16string& password) {
  Record("Login", "(" + Quoted(id) + ", " + Quoted(password) + ")");
  if (loginResults.empty()) return loginResultAfter;
  int32_t result = loginResults.front();
  loginResults.pop_front();
  return result;
}

int32_t FakeCamera::GetSettingNumber(const std::u16string& key) {
  Record("GetSettingNumber", "(" + Quoted(key) + ")");
  auto found = numbers.find(key);
  return found != numbers.end() ? found->second : 0;
}

std::u16string FakeCamera::GetSettingText(const std::u16string& key) {
  Record("GetSettingText", "(" + Quoted(key) + ")");
  auto found = texts.find(key);
  return found != texts.end() ? found->second : u"";
}

void FakeCamera::SetSetting(const std::u16string& key, const device::SettingValue& value) {
  std::string shown = std::holds_alternative<int16_t>(value) ? std::to_string(std::get<int16_t>(value))
                                                             : Quoted(std::get<std::u16string>(value));
  Record("SetSetting", "(" + Quoted(key) + ", " + shown + ")");
}

void FakeCamera::ApplySettings(int32_t first, int32_t second) {
  Record("ApplySettings", "(" + std::to_string(first) + ", " + std::to_string(second) + ")");
}

void FakeCamera::Restart() { Record("Restart"); }

int32_t FakeCamera::ChangeAddress(std::u16string& address, std::u16string& mask, std::u16string& gateway) {
  Record("ChangeAddress", "(" + Quoted(address) + ", " + Quoted(mask) + ", " + Quoted(gateway) + ")");
  return changeAddressResult;
}

int32_t FakeCamera::AddressInUse() {
  Record("AddressInUse");
  if (addressInUse.empty()) return 0;
  int32_t result = addressInUse.front();
  addressInUse.pop_front();
  return result;
}
