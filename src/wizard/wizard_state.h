#pragma once
// The one record that carries the selected camera, the settings read from it
// and every value entered on the pages, from the launch to the summary page
// that writes them. One instance lives for the whole run; nothing resets it.
#include <cstdint>
#include <string>

// Truth values as the wizard stores them: -1 true, 0 false, nothing else.
using Flag = int16_t;
inline constexpr Flag True = -1;
inline constexpr Flag False = 0;

struct WizardState {
  std::u16string DeviceMac;  // six decimal numbers joined by "."
  std::u16string CurrentIPAddress;
  std::u16string DeviceVersion;
  std::u16string CurrentSubnetMask;
  std::u16string CurrentGateway;
  int32_t DeviceType = 0;               // bit 29: the camera has a wireless interface
  std::u16string CurrentAdminPassword;  // at most 8 characters
  std::u16string CurrentAdminID;        // at most 12 characters
  std::u16string NewAdminPassword;
  std::u16string NewAdminID;
  Flag ChangeAdminPassword = False;
  Flag ChangeAdminID = False;
  std::u16string NewIPAddress;
  std::u16string NewSubnetMask;
  std::u16string NewGateway;
  int16_t CurrentWlanMode = 0;
  std::u16string CurrentWlanESSID;
  int16_t CurrentWlanChannel = 0;
  Flag ChangeWEPKey = False;
  std::u16string CurrentWlanWEPKey;
  int16_t CurrentWlanWEPFlag = 0;  // bit 8: the key is held in hexadecimal form
  std::u16string NewWlanESSID;
  std::u16string NewWlanWEPKey;
  int16_t NewWlanMode = 0;
  int16_t NewWlanChannel = 0;
  Flag NewWEPKeyIsHex = False;
  std::u16string MessageTitle;  // nothing assigns it: the pages' message titles are empty
  int16_t DeviceCount = 0;
  int16_t DeviceFamily = 0;  // 2 when the Mode text contains "350", else 0
};

inline constexpr uint8_t WirelessBit = 29;  // of DeviceType
inline constexpr uint8_t HexKeyBit = 8;     // of WlanWEPFlag

// Firmware whose version text has "0" at position 4 and "001" at positions 6
// to 8 (from 1) restarts only when told to and needs the longer waits.
bool NeedsExplicitRestart(const std::u16string& deviceVersion);

// How long the wizard waits (ms) for a camera to take new settings or a new
// address and come back, and how much longer for that firmware.
inline constexpr int32_t ComeBackMs = 15000;
inline constexpr int32_t ComeBackLongerMs = 10000;
