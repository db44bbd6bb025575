#pragma once
// How a receiver on the discovery group hears only what its own interfaces
// heard. Linux hands a socket bound to a group every datagram for that group
// that reaches the host on any interface where any socket joined it
// (IP_MULTICAST_ALL); a search confined to one interface would then list
// cameras that answered on another.
#include <cstdint>

namespace protocol {

// Turns that off for the socket: it hears the group only on the interfaces it
// joined itself. False when the option cannot be set (errno tells why).
bool HearJoinedInterfacesOnly(intptr_t descriptor);

}  // namespace protocol
