// In a network namespace of its own: lo with a second address 127.0.0.2/8,
// and a veth pair va0/va1 with 192.0.2.1/24 then 10.9.0.2/24 on va0. A search
// on each interface must send our protocol's probe and the WS-Discovery probe
// from every address of it, and the search confined to lo nothing out of va0.
// Captures on lo and on va1 and prints, per search,
//   "<interface> own=<sources> onvif=<sources> va1=<frames>"
// (sources sorted, joined by ","), then why lo and va0 cannot be chosen
// together; exits 77 where no namespace can be made.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QSet>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "device/discovery.h"
#include "protocol/protocol.h"
#include "support/netns_tools.h"

namespace {

constexpr quint16 Port = 21063;

bool MakeNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  return netns::Shell("ip link set lo up") && netns::Shell("ip addr add 127.0.0.2/8 dev lo") &&
         netns::Shell("sysctl -qw net.ipv6.conf.all.disable_ipv6=1") &&
         netns::Shell("ip link add va0 type veth peer name va1") && netns::Shell("ip addr add 192.0.2.1/24 dev va0") &&
         netns::Shell("ip addr add 10.9.0.2/24 dev va0") && netns::Shell("ip link set va0 up") &&
         netns::Shell("ip link set va1 up");
}

struct Seen {
  QSet<QString> own;    // sources of UDP to our port
  QSet<QString> onvif;  // sources of UDP to the WS-Discovery port
  int frames = 0;       // IPv4 and ARP frames
};

Seen Drain(int fd) {
  Seen seen;
  unsigned char frame[4096];
  while (true) {
    const ssize_t size = recv(fd, frame, sizeof frame, MSG_DONTWAIT);
    if (size < 14) break;
    const int type = (frame[12] << 8) | frame[13];
    if (type != ETH_P_IP && type != ETH_P_ARP) continue;
    ++seen.frames;
    if (type != ETH_P_IP || size < 14 + 20 + 4 || frame[14 + 9] != IPPROTO_UDP) continue;
    const int headerBytes = (frame[14] & 0x0f) * 4;
    if (size < 14 + headerBytes + 4) continue;
    const unsigned char* udp = frame + 14 + headerBytes;
    const int port = (udp[2] << 8) | udp[3];
    const QString source =
        QHostAddress((quint32{frame[26]} << 24) | (quint32{frame[27]} << 16) | (quint32{frame[28]} << 8) | frame[29])
            .toString();
    if (port == Port) seen.own << source;
    if (port == protocol::OnvifPort) seen.onvif << source;
  }
  return seen;
}

QString Sorted(const QSet<QString>& set) {
  QStringList list(set.begin(), set.end());
  list.sort();
  return list.join(u',');
}

QString Search(const QString& interfaceName, int onLoopback, int onVeth) {
  Drain(onLoopback);
  Drain(onVeth);
  device::NetOptions options;
  options.interfaceNames = QStringList{interfaceName};
  options.port = Port;
  options.searchCap = std::chrono::milliseconds(300);
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames), {});
  if (!outcome.error.isEmpty()) return interfaceName + u" error="_qs + outcome.error;
  const Seen loopback = Drain(onLoopback);
  const Seen veth = Drain(onVeth);
  const Seen& sent = interfaceName == u"lo" ? loopback : veth;
  return QStringLiteral("%1 own=%2 onvif=%3 va1=%4")
      .arg(interfaceName, Sorted(sent.own), Sorted(sent.onvif))
      .arg(veth.frames);
}

}  // namespace

int main(int argc, char** argv) {
  if (!MakeNamespace()) {
    std::printf("cannot make a network namespace\n");
    return netns::SkipStatus;
  }
  QCoreApplication app(argc, argv);
  const int onLoopback = netns::OpenCapture("lo");
  const int onVeth = netns::OpenCapture("va1");
  if (onLoopback < 0 || onVeth < 0) {
    std::printf("cannot capture\n");
    return netns::SkipStatus;
  }
  std::printf("%s\n", qPrintable(Search(u"lo"_qs, onLoopback, onVeth)));
  std::printf("%s\n", qPrintable(Search(u"va0"_qs, onLoopback, onVeth)));
  std::printf("%s\n", qPrintable(device::ChooseInterfaces({u"lo"_qs, u"va0"_qs}).error));
  return 0;
}
