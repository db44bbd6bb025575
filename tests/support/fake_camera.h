#pragma once
// A scripted camera control: it plays the cameras a test describes, answers
// each member from what the test set, and records every call with its
// arguments in the event log, prefixed with its instance name ("cam" or
// "CamTemp"). A member named in `failing` throws CameraControlError instead.
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/camera_control.h"
#include "support/event_log.h"

// One camera as the search finds it.
struct FakeCameraDevice {
  std::u16string mac;  // six decimal numbers joined by "."
  std::u16string address;
  std::u16string mode;
  std::u16string caption;
  std::u16string version;
  std::u16string mask;
  std::u16string gateway;
};

class FakeCamera : public device::CameraControl {
 public:
  FakeCamera(std::string name, EventLog& log) : name_(std::move(name)), log_(log) {}

  // What Search finds.
  std::vector<FakeCameraDevice> devices;
  // Answers of the connection members.
  int32_t connectResult = 1;
  std::deque<int32_t> loginStates;  // one per LoginState call; then loginStateAfter
  int32_t loginStateAfter = device::LoginGranted;
  std::deque<int32_t> loginResults;  // one per Login call; then loginResultAfter
  int32_t loginResultAfter = device::LoginGranted;
  std::deque<int32_t> addressInUse;  // one per AddressInUse call; then 0 (free)
  int32_t changeAddressResult = 1;
  // Settings the camera reports.
  std::map<std::u16string, int32_t> numbers;
  std::map<std::u16string, std::u16string> texts;
  // Where every found camera's ONVIF device service is (DevicePort,
  // DeviceServicePath).
  int32_t servicePort = 80;
  std::u16string servicePath = u"/onvif/device_service";
  // What the last apply could not see take (UnconfirmedSettings).
  std::u16string unconfirmed;
  // What DeviceNote and DeviceNetworks say of a found camera, by its index.
  std::map<int32_t, std::u16string> notes;
  std::map<int32_t, std::u16string> networks;
  // The link-local address each found camera offered (DeviceLinkLocal), by its index.
  std::map<int32_t, std::u16string> linkLocals;
  // Cameras AddCamera finds, by the address it is given; any other address
  // gives addRefusal, or else the no-answer message.
  std::map<std::u16string, FakeCameraDevice> atAddress;
  std::u16string addRefusal;
  // Found cameras outside the computer's networks (DeviceOutside), by
  // index; the address OfferTemporaryAddress offers, and whether
  // AddTemporaryAddress takes. temporaryAddress: the one added and not yet
  // removed.
  std::set<int32_t> outside;
  device::TemporaryAddressOffer offer;
  bool addTakes = true;
  std::u16string temporaryAddress;
  // Members that throw instead of answering.
  std::set<std::string> failing;

  // What the program put.
  int32_t deviceIndex = -1;
  std::u16string loginId;
  std::u16string loginPassword;

  // A camera heard between searches (announced, added by address): found
  // at once, after the ones the last search found.
  void HearBetweenSearches(FakeCameraDevice device) {
    devices.push_back(std::move(device));
    found_ = devices.size();
  }

  void Search() override;
  int32_t FoundCount() override;
  void DeviceIndex(int32_t index) override;
  std::u16string DeviceAddress() override;
  std::u16string DeviceMode() override;
  std::u16string DeviceCaption() override;
  std::u16string DeviceVersionText() override;
  std::u16string DeviceSubnetMask() override;
  std::u16string DeviceGateway() override;
  std::u16string DeviceMacText() override;
  void ProtocolFamily(int32_t family) override;
  void ProtocolOption(int32_t option) override;
  void TargetAddress(const std::u16string& address) override;
  void TargetPort(int32_t port) override;
  void TargetMac(const std::u16string& mac) override;
  int32_t Connect() override;
  std::u16string LoginID() override;
  void LoginID(const std::u16string& id) override;
  std::u16string LoginPassword() override;
  void LoginPassword(const std::u16string& password) override;
  int32_t LoginState() override;
  int32_t Login(std::u16string& id, std::u16string& password) override;
  int32_t GetSettingNumber(const std::u16string& key) override;
  std::u16string GetSettingText(const std::u16string& key) override;
  void SetSetting(const std::u16string& key, const device::SettingValue& value) override;
  void ApplySettings(int32_t first, int32_t second) override;
  void Restart() override;
  int32_t ChangeAddress(std::u16string& address, std::u16string& mask, std::u16string& gateway) override;
  int32_t AddressInUse() override;
  int32_t DevicePort() override;
  std::u16string DeviceServicePath() override;
  void TargetServicePath(const std::u16string& path) override;
  // No exchange with the camera, so nothing is logged.
  std::u16string UnconfirmedSettings() override { return unconfirmed; }
  std::u16string DeviceNote() override;
  std::u16string DeviceNetworks() override;
  std::u16string DeviceLinkLocal() override;
  void TargetLinkLocal(const std::u16string& address) override;
  std::u16string AddCamera(const std::u16string& address) override;
  // No exchange with the camera, so nothing is logged.
  int16_t DeviceOutside() override { return Current() != nullptr && outside.count(deviceIndex) != 0 ? -1 : 0; }
  device::TemporaryAddressOffer OfferTemporaryAddress() override;
  bool AddTemporaryAddress(const device::TemporaryAddressOffer& offer) override;
  // Logged only when it removes an address.
  void RemoveTemporaryAddress() override;

 private:
  void Record(const std::string& member, const std::string& detail = "");
  const FakeCameraDevice* Current() const;

  std::string name_;
  EventLog& log_;
  size_t found_ = 0;
};

// Quotes a text for the log: "abc".
std::string Quoted(const std::u16string& text);
