#pragma once
// The device search: probes the group, gathers the cameras' answers, and
// gives the cameras found, one per MAC, in address order. ONVIF cameras are
// probed for in the same search (onvif_discovery.h), one row per endpoint; a
// camera that answers both protocols is listed once, as ours.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/net_options.h"

namespace device {

struct FoundCamera {
  QString mac;
  QString address;
  QString mask;
  QString gateway;
  QString mode;
  QString caption;
  QString version;
  int family = 0;
  int port = 0;      // its setup API's, or an ONVIF camera's device service's
  QString endpoint;  // an ONVIF camera's EndpointReference address; empty for our own protocol
  QString path;      // an ONVIF camera's device service path; empty for our own protocol
};

struct SearchOutcome {
  std::vector<FoundCamera> cameras;  // sorted by IPv4 address, then MAC
  int dropped = 0;                   // datagrams not taken
  QString error;                     // the search could not run at all
};

// Blocks in a local event loop until the search ends; onFound (may be empty)
// hears each new camera as it arrives.
SearchOutcome SearchCameras(const NetOptions& options, const InterfaceChoice& choice,
                            const std::function<void(const FoundCamera&)>& onFound);

}  // namespace device
