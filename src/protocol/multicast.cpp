#include "protocol/multicast.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace protocol {

bool HearJoinedInterfacesOnly(intptr_t descriptor) {
#ifdef IP_MULTICAST_ALL
  const int off = 0;
  return setsockopt(static_cast<int>(descriptor), IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) == 0;
#else
  (void)descriptor;
  return true;  // elsewhere a socket hears only the groups it joined
#endif
}

}  // namespace protocol
