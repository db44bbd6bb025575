#pragma once
// The search of one address, for a camera that multicast does not reach
// (another VLAN, behind a router): our own protocol's probe and a
// WS-Discovery probe sent unicast to the address, and GetSystemDateAndTime
// (no login needed) at its ONVIF device service, so that a camera whose
// discovery is filtered but whose HTTP service is reachable is found too.
// An answer of our own protocol makes the row at once; an ONVIF answer
// waits for the answer window of our own protocol, so that a camera that
// speaks both is listed as ours, as in the search (discovery.h).
#include <QString>
#include <optional>

#include "device/found_camera.h"
#include "device/net_options.h"

namespace device {

struct CameraAddress {
  QString host;      // dotted IPv4
  quint16 port = 0;  // the device service's port when the user named one ("A:8080"); 0: the usual
};

// Takes "A" or "A:port" (A a dotted IPv4 address, port 1-65535), nothing
// else; otherwise none, and `error` is the message to show.
std::optional<CameraAddress> ParseCameraAddress(const QString& text, QString& error);

// Why `text` is not searched under this choice: the message to show (not
// an address, or outside 127.0.0.0/8 when confined to loopback); empty when
// it may be.
QString RefusedAddress(const InterfaceChoice& choice, const QString& text);

struct AddressOutcome {
  std::optional<FoundCamera> camera;  // with origin ByAddress
  QString error;                      // the message to show when there is none
};

// Blocks in a local event loop for at most options.addressWait. Nothing is
// sent to an address the choice may not contact (outside 127.0.0.0/8 when
// confined to loopback): that is refused with a message.
AddressOutcome SearchAddress(const NetOptions& options, const InterfaceChoice& choice, const QString& address);

}  // namespace device
