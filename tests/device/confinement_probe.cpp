// Runs the camera control inside a fresh network namespace whose only way out
// is a veth pair (10.1.2.1/24 and an IPv6 link-local address on v0, a default
// route through it), and counts the IPv4 and ARP frames that come out at the
// far end (v1) while every member is called on targets outside 127.0.0.0/8,
// in our own protocol and in ONVIF (an ONVIF target with a link-local
// address on v0 too), and the IPv6 frames we cause
// (AddCamera among them: a search of one address).
//   confinement_probe lo   -> the component confined to loopback: expect 0
//   confinement_probe v0   -> not confined: the same calls must show frames
// Prints "frames=N wsdiscovery=M wsdiscovery6=K linklocal=L" (M: the IPv4
// frames that carry UDP to the WS-Discovery port, K: the IPv6 ones, L: IPv6
// frames toward the link-local target: TCP, or neighbour solicitations);
// exits 77 when the namespace cannot be made.
#include <QCoreApplication>
#include <QNetworkInterface>
#include <QThread>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include "device/net_camera_control.h"
#include "protocol/wire.h"
#include "support/netns_tools.h"

namespace {

bool MakeNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  // No duplicate address detection: the link-local address is usable at once.
  return netns::Shell("ip link set lo up") && netns::Shell("sysctl -qw net.ipv6.conf.default.accept_dad=0") &&
         netns::Shell("ip link add v0 type veth peer name v1") && netns::Shell("ip addr add 10.1.2.1/24 dev v0") &&
         netns::Shell("ip link set v0 up") && netns::Shell("ip link set v1 up") &&
         netns::Shell("ip route add default via 10.1.2.254 dev v0");
}

// The kernel gives v0 its link-local address a moment after the link comes
// up (later on a busy machine): the IPv6 probe needs it.
bool WaitForLinkLocal() {
  for (int tries = 0; tries < 100; ++tries) {
    for (const QNetworkAddressEntry& entry :
         QNetworkInterface::interfaceFromName(QStringLiteral("v0")).addressEntries()) {
      if (entry.ip().isLinkLocal() && entry.ip().protocol() == QAbstractSocket::IPv6Protocol) return true;
    }
    QThread::msleep(20);
  }
  return false;
}

struct Counted {
  int frames = 0;
  int wsDiscovery = 0;
  int wsDiscovery6 = 0;
  int linkLocal = 0;
};

bool IsWsDiscovery(const unsigned char* frame, ssize_t size) {
  if (size < 14 + 20 + 8 || frame[14 + 9] != IPPROTO_UDP) return false;
  const int headerBytes = (frame[14] & 0x0f) * 4;
  if (size < 14 + headerBytes + 4) return false;
  const unsigned char* udp = frame + 14 + headerBytes;
  return ((udp[2] << 8) | udp[3]) == protocol::OnvifPort;
}

// An IPv6 frame: UDP to the WS-Discovery port, or something toward the
// link-local target (TCP, a neighbour solicitation). The kernel's own router
// solicitations and listener reports are neither.
void CountIPv6(const unsigned char* frame, ssize_t size, Counted& counted) {
  constexpr int Header = 14 + 40;
  if (size < Header + 4) return;
  const int next = frame[14 + 6];
  if (next == IPPROTO_UDP && ((frame[Header + 2] << 8) | frame[Header + 3]) == protocol::OnvifPort) {
    ++counted.wsDiscovery6;
  } else if (next == IPPROTO_TCP || (next == IPPROTO_ICMPV6 && frame[Header] == 135)) {
    ++counted.linkLocal;
  }
}

// IPv4 and ARP frames that arrived at v1 from the namespace's side.
Counted CountFrames(int fd) {
  Counted counted;
  unsigned char buffer[2048];
  sockaddr_ll from{};
  socklen_t length = sizeof from;
  while (true) {
    const ssize_t size = recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
    if (size < 14) break;
    const int type = (buffer[12] << 8) | buffer[13];
    if (from.sll_pkttype != PACKET_OUTGOING && (type == ETH_P_IP || type == ETH_P_ARP)) {
      ++counted.frames;
      if (type == ETH_P_IP && IsWsDiscovery(buffer, size)) ++counted.wsDiscovery;
    }
    if (from.sll_pkttype != PACKET_OUTGOING && type == ETH_P_IPV6) CountIPv6(buffer, size, counted);
    length = sizeof from;
  }
  return counted;
}

void CallEveryMember(device::NetCameraControl& control, const std::u16string& address, int32_t option) {
  control.ProtocolFamily(2);
  control.ProtocolOption(option);
  control.TargetAddress(address);
  control.TargetPort(80);
  control.TargetMac(u"0.12.34.255.1.2");
  control.TargetLinkLocal(u"fe80::2%v0");
  control.LoginID(u"admin");
  control.LoginPassword(u"secret");
  // The writes report that they did not take, and an ONVIF login that no
  // camera answers says so; only the frames matter here.
  const auto written = [](const std::function<void()>& write) {
    try {
      write();
    } catch (const device::CameraControlError&) {
    }
  };
  written([&] { control.Connect(); });
  control.GetSettingText(u"SysAdminID");
  control.GetSettingNumber(u"DeviceType");
  control.SetSetting(u"SysIPAssignment", int16_t{1});
  written([&] { control.ApplySettings(1, 0); });
  written([&] { control.Restart(); });
  written([&] { control.LoginState(); });
  std::u16string id = u"admin", password = u"secret";
  written([&] { control.Login(id, password); });
  control.AddressInUse();
  std::u16string newAddress = address;
  std::u16string mask = u"255.255.255.0";
  std::u16string gateway = u"";
  written([&] { control.ChangeAddress(newAddress, mask, gateway); });
  control.AddCamera(address);
  control.Search();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (!MakeNamespace()) {
    std::printf("cannot make a network namespace\n");
    return netns::SkipStatus;
  }
  QCoreApplication app(argc, argv);
  const int capture = netns::OpenCapture("v1");
  if (capture < 0) {
    std::printf("cannot capture on v1\n");
    return netns::SkipStatus;
  }
  if (!WaitForLinkLocal()) {
    std::printf("no IPv6 link-local address on v0\n");
    return 1;
  }
  CountFrames(capture);  // whatever the links said when they came up

  device::NetOptions options;
  options.interfaceNames = QStringList{QString::fromLocal8Bit(argv[1])};
  options.port = 21061;
  options.searchCap = std::chrono::milliseconds(300);
  options.macWait = std::chrono::milliseconds(150);
  options.httpConnectTimeout = std::chrono::milliseconds(300);
  options.httpTimeout = std::chrono::milliseconds(300);
  options.addressWait = std::chrono::milliseconds(300);
  device::NetCameraControl control(options);
  for (const int32_t option : {0, protocol::OnvifProtocolOption}) {
    for (const char16_t* target : {u"10.1.2.3", u"192.0.2.77"}) CallEveryMember(control, target, option);
  }
  QThread::msleep(200);
  const Counted counted = CountFrames(capture);
  std::printf("frames=%d wsdiscovery=%d wsdiscovery6=%d linklocal=%d\n", counted.frames, counted.wsDiscovery,
              counted.wsDiscovery6, counted.linkLocal);
  return 0;
}
