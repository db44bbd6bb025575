#pragma once
// The camera control: every exchange with a camera passes through it. The
// main window hosts two instances, `cam` for the search and the descriptions
// of the found cameras, `CamTemp` for the selected camera. Members keep the
// names and dispatch numbers the wizard knows them by; a put property is the
// one-argument overload of its name.
//
// An implementation answers every call: a camera that does not answer gives
// the results the callers act on (Connect 0, LoginState neither 2 nor 3). It
// may still throw CameraControlError for a failure of its own; the callers
// that can meet one say what they do with it. The network component throws
// it when an ONVIF camera does not answer the login dialog's LoginState or
// Login, or answers too late ("the camera at 192.0.2.10 did not answer
// within 8 s"): the dialogs show it instead of an OK without any effect. A write that does not take
// (ApplySettings, Restart, ChangeAddress refused or not answered) is such a
// failure: the caller must not wait for a camera that is not coming back.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>

namespace device {

enum class Member : int32_t {
  TargetAddress = 11,
  TargetPort = 12,
  Restart = 34,
  Connect = 37,
  ApplySettings = 38,
  TargetMac = 39,
  Search = 100,
  FoundCount = 101,
  DeviceAddress = 106,
  DeviceMode = 108,
  DeviceCaption = 109,
  DeviceVersionText = 112,
  DeviceSubnetMask = 114,
  DeviceGateway = 115,
  DeviceIndex = 116,
  DeviceMacText = 117,
  GetSettingNumber = 118,
  SetSetting = 119,
  LoginID = 125,
  LoginPassword = 126,
  GetSettingText = 127,
  ChangeAddress = 130,
  AddressInUse = 139,
  Login = 154,
  LoginState = 155,
  ProtocolFamily = 156,
  ProtocolOption = 158,
};

// A setting value as SetSetting takes it: a text or a 16-bit number.
using SettingValue = std::variant<std::u16string, int16_t>;

// A free address of a camera's subnet that the computer could take on the
// interface the camera was heard on, for as long as it changes the camera.
struct TemporaryAddressOffer {
  std::u16string address;        // "10.9.0.254"; empty when none was found free
  int32_t prefixLength = 24;     // the camera's subnet's
  std::u16string interfaceName;  // "eth0"
  bool mayAdd = false;           // this program may change the interface (root or CAP_NET_ADMIN)
};

struct CameraControlError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Login states returned by LoginState and Login.
inline constexpr int32_t LoginNeeded = 2;  // from Login: ID or password refused
inline constexpr int32_t LoginGranted = 3;

class CameraControl {
 public:
  virtual ~CameraControl() = default;

  // Discovery and the found cameras' descriptions.
  virtual void Search() = 0;                       // 100
  virtual int32_t FoundCount() = 0;                // 101
  virtual void DeviceIndex(int32_t index) = 0;     // 116, put
  virtual std::u16string DeviceAddress() = 0;      // 106
  virtual std::u16string DeviceMode() = 0;         // 108
  virtual std::u16string DeviceCaption() = 0;      // 109
  virtual std::u16string DeviceVersionText() = 0;  // 112
  virtual std::u16string DeviceSubnetMask() = 0;   // 114
  virtual std::u16string DeviceGateway() = 0;      // 115
  virtual std::u16string DeviceMacText() = 0;      // 117

  // Addressing.
  virtual void ProtocolFamily(int32_t family) = 0;                // 156, put
  virtual void ProtocolOption(int32_t option) = 0;                // 158, put
  virtual void TargetAddress(const std::u16string& address) = 0;  // 11, put
  virtual void TargetPort(int32_t port) = 0;                      // 12, put
  virtual void TargetMac(const std::u16string& mac) = 0;          // 39, put

  // Connection and login.
  virtual int32_t Connect() = 0;                                            // 37
  virtual std::u16string LoginID() = 0;                                     // 125, get
  virtual void LoginID(const std::u16string& id) = 0;                       // 125, put
  virtual std::u16string LoginPassword() = 0;                               // 126, get
  virtual void LoginPassword(const std::u16string& password) = 0;           // 126, put
  virtual int32_t LoginState() = 0;                                         // 155
  virtual int32_t Login(std::u16string& id, std::u16string& password) = 0;  // 154

  // Settings.
  virtual int32_t GetSettingNumber(const std::u16string& key) = 0;                    // 118
  virtual std::u16string GetSettingText(const std::u16string& key) = 0;               // 127
  virtual void SetSetting(const std::u16string& key, const SettingValue& value) = 0;  // 119
  virtual void ApplySettings(int32_t first, int32_t second) = 0;                      // 38
  virtual void Restart() = 0;                                                         // 34

  // A camera whose address is doubtful, addressed by TargetMac.
  virtual int32_t ChangeAddress(std::u16string& address, std::u16string& mask, std::u16string& gateway) = 0;  // 130
  virtual int32_t AddressInUse() = 0;  // 139, -1: TargetAddress is taken

  // Ours, beside the table: an ONVIF camera's device service is reached at
  // the port and path of its own service address (its XAddr), as the search
  // found it (DevicePort, DeviceServicePath of the found camera) and as the
  // connection instance is told (TargetPort, TargetServicePath). For a
  // camera of our own protocol the path is empty and not used.
  virtual int32_t DevicePort() = 0;
  virtual std::u16string DeviceServicePath() = 0;
  virtual void TargetServicePath(const std::u16string& path) = 0;

  // Ours too: what the last ApplySettings wrote but could not see take,
  // because the camera does not report it back (an ONVIF camera that tells
  // no gateway, or answers without a login); empty when every write was
  // read back. No exchange with the camera.
  virtual std::u16string UnconfirmedSettings() = 0;

  // Ours as well, for the found camera DeviceIndex chose: how it is reached
  // (the list's "Network" column: "other network", "announced", "added by
  // address", "gone (said Bye)", or empty), and the computer's own networks
  // on the interface it was heard on ("192.0.2.1/24 on eth0"), which such a
  // note is about.
  virtual std::u16string DeviceNote() = 0;
  virtual std::u16string DeviceNetworks() = 0;

  // Ours too, for an ONVIF camera: the IPv6 link-local address with its
  // interface ("fe80::1%eth0") at which the found camera offered its device
  // service (empty when it offered none), and the connection instance told
  // it. Then a camera whose IPv4 address lies in none of the computer's
  // networks on that interface is spoken to there, so that its IPv4
  // settings can be changed from any network.
  virtual std::u16string DeviceLinkLocal() = 0;
  virtual void TargetLinkLocal(const std::u16string& address) = 0;

  // Ours: a camera that multicast does not reach, searched for at the
  // address the user gave ("192.0.2.10" or "192.0.2.10:8080"). Empty when it
  // is listed (it joined the found cameras at the end, or was listed
  // already); otherwise the message to show. Every later Search asks that
  // address again.
  virtual std::u16string AddCamera(const std::u16string& address) = 0;

  // Ours, for a camera outside the computer's networks. DeviceOutside: True
  // (-1) when the found camera DeviceIndex chose lies in none of the
  // networks of the interface it was heard on and offers no IPv6 link-local
  // way in, so that it cannot be spoken to as it is. No exchange with it.
  virtual int16_t DeviceOutside() = 0;
  // For that camera: a free address of its subnet (the row's mask, else
  // /24), checked free by an ARP probe (about 1 s) where this program may
  // add it; nothing is changed.
  virtual TemporaryAddressOffer OfferTemporaryAddress() = 0;
  // Adds the offered address to its interface (the one address this control
  // holds; an earlier one goes first). False when it was not added; the
  // reason is logged. It stays until RemoveTemporaryAddress or the end of
  // the program, and is removed at the next start if the program is killed.
  virtual bool AddTemporaryAddress(const TemporaryAddressOffer& offer) = 0;
  // Removes the address AddTemporaryAddress added, if any.
  virtual void RemoveTemporaryAddress() = 0;
};

}  // namespace device
