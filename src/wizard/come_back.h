#pragma once
// A camera on its way back after new settings or a new address: how it is
// known again, the waits until it is back, and what the search afterwards
// found out about it.
#include <cstdint>
#include <string>
#include <vector>

#include "forms/desktop.h"
#include "forms/list_view.h"

struct Program;

// A camera as one search heard it, in the camera control's forms.
struct CameraSighting {
  std::u16string mac;
  std::u16string address;
  std::u16string mask;  // empty for an ONVIF camera, whose answer holds none
  std::u16string gateway;
  int32_t servicePort = 0;  // an ONVIF camera's device service
  std::u16string servicePath;
};

// Whether the sighting is the sought camera, at whatever address: its MAC
// where both sides know it, else its ONVIF device service.
bool IsSoughtCamera(const forms::CameraSought& sought, const CameraSighting& seen);
// Whether the sighting shows the camera back: at its new address with the new
// mask and gateway, and, where it restarts without moving, only once a whole
// search went by without it (wentSilent).
bool IsCameraBack(const forms::CameraSought& sought, const CameraSighting& seen, bool wentSilent);
// Whether a whole search went by without the camera at its old or new address.
bool MissesCamera(const forms::CameraSought& sought, const std::vector<CameraSighting>& heard);

// How long the camera is looked for once the waits are over.
inline constexpr int32_t LookOnMs = 120000;

// The waits after the camera took its settings, in order: each ends as soon
// as the camera is back and the rest are skipped; when it has not been seen
// by the end of the last, it is looked for up to LookOnMs more.
void WaitForCameraBack(forms::Desktop& desktop, const std::vector<int32_t>& waits);

// The chosen camera as it should come back: at `address` with `mask` and
// `gateway`, from previousAddress.
struct NewAddress {
  std::u16string address;
  std::u16string mask;
  std::u16string gateway;
};
forms::CameraSought SoughtCamera(const Program& program, const NewAddress& next, const std::u16string& previousAddress,
                                 bool restarts);
// Whether the summary's writes make our own protocol's camera restart by
// itself: a new administrator ID or password, address, mask or gateway.
bool ChangesIdentity(const Program& program);

// Where the search after the waits lists the camera.
enum class ComeBackFinding { AtNewAddress, AtOldAddress, NotFound };
ComeBackFinding FindComeBack(const forms::ListView& list, const forms::CameraSought& sought);
// The status line about it; name is the camera's name in the list, and
// unconfirmed what the camera took without being able to report it back.
std::u16string ComeBackNews(const std::u16string& name, ComeBackFinding finding, const forms::CameraSought& sought,
                            const std::u16string& unconfirmed = {});
