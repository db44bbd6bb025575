#pragma once
// The device search: probes the group, gathers the cameras' answers, and
// gives the cameras found, one per MAC, in address order. ONVIF cameras are
// probed for in the same search (onvif_discovery.h), one row per endpoint; a
// camera that answers both protocols is listed once, as ours when its answer
// of our protocol comes within the first answer window (found_camera.h).
#include <QHostAddress>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "device/found_camera.h"
#include "device/net_options.h"
#include "protocol/protocol.h"

namespace device {

struct SearchOutcome {
  std::vector<FoundCamera> cameras;  // sorted by IPv4 address, then MAC
  int dropped = 0;                   // datagrams not taken
  int leftOut = 0;                   // cameras that answered past the row cap (at least; see FoundList)
  QString error;                     // the search could not run at all
};

// The row an answer of our own protocol makes: none for a datagram that is
// not an answer ("here"), and none with the reason in `why` for an answer to
// another probe (`nonce`) or one whose source is not the address it reports.
std::optional<FoundCamera> OwnAnswerCamera(const protocol::Message& answer, const QHostAddress& from,
                                           const QString& nonce, QString& why);

// Blocks in a local event loop until the search ends; onFound (may be empty)
// hears each new camera as it arrives.
SearchOutcome SearchCameras(const NetOptions& options, const InterfaceChoice& choice,
                            const std::function<void(const FoundCamera&)>& onFound);

// Notes on each camera the interface it was heard on, where the search could
// not tell (the chosen interface whose networks hold its address, else the
// only one chosen), and whether it lies outside that interface's networks
// (never a camera added by its address: it answered there).
void NoteNetworks(const InterfaceChoice& choice, std::vector<FoundCamera>& cameras);

}  // namespace device
