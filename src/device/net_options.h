#pragma once
// What the network camera control is told about the network it works on, and
// the choice of interfaces it searches and sends on.
#include <QHostAddress>
#include <QNetworkInterface>
#include <QString>
#include <QStringList>
#include <chrono>
#include <vector>

#include "protocol/protocol.h"

namespace device {

struct NetOptions {
  // Empty: every up, multicast-capable IPv4 interface except loopback. Names
  // ("eth0", "eth1") choose those interfaces only; choosing the loopback
  // interface ("lo", alone) confines every packet to 127.0.0.0/8.
  QStringList interfaceNames;
  QString group = QString::fromLatin1(protocol::DefaultGroup);
  quint16 port = protocol::DefaultPort;

  // Five copies: with 5 % of datagrams lost each way, a camera is then missed
  // in fewer than 1 of 10000 searches.
  int probeCopies = 5;
  // The second copy probeInterval after the first; each later one waits as
  // long as all before it (0, 25, 50, 100, 200 ms), so that a large fleet's
  // first answers are heard before most copies go out.
  std::chrono::milliseconds probeInterval{25};
  // Once this many cameras (or datagrams) have been heard, no copy beyond
  // the third is sent.
  int largeFleet = 256;
  // Our own protocol listens until the later of answerWindow after the last
  // probe copy (the cameras spread their answers over 0-100 ms) and
  // quietPeriod after the last datagram heard on the group; the search never
  // runs past searchCap. Past maxCameras rows, answers are only counted.
  std::chrono::milliseconds answerWindow{110};
  std::chrono::milliseconds quietPeriod{60};
  std::chrono::milliseconds searchCap{2000};
  int maxCameras = protocol::MaxCameras;

  // WS-Discovery for ONVIF cameras: onvifCopies rounds of probes, each with
  // MessageIDs of its own, onvifInterval apart; answers awaited until
  // onvifWindow after the last round (cameras delay their answer by up to
  // 500 ms; 545 ms after the first), and quietPeriod after each new camera. With 5 % of datagrams lost each
  // way, a camera is then missed in fewer than 1 of 10^6 searches.
  // onvifPort 0: no ONVIF search.
  QString onvifGroup = QString::fromLatin1(protocol::OnvifGroup);
  quint16 onvifPort = protocol::OnvifPort;
  int onvifCopies = 3;
  std::chrono::milliseconds onvifInterval{10};
  std::chrono::milliseconds onvifWindow{525};

  // A search of one address (address_search.h) waits at most addressWait
  // for its answers: a camera across a router answers in milliseconds, an
  // ONVIF camera delays its WS-Discovery answer by up to 500 ms, and the
  // user waits for the row.
  std::chrono::milliseconds addressWait{1000};

  int macCopies = 3;
  std::chrono::milliseconds macInterval{100};
  std::chrono::milliseconds macWait{400};

  // Limits that real cameras meet: an answer within httpTimeout (connect
  // included), a reboot answer within rebootTimeout. A change of credentials,
  // address or gateway may take effect a while after the camera's answer:
  // it is looked for every settleInterval until settleWindow has passed.
  std::chrono::milliseconds httpConnectTimeout{1000};
  std::chrono::milliseconds httpTimeout{8000};
  std::chrono::milliseconds rebootTimeout{20000};
  std::chrono::milliseconds settleWindow{10000};
  std::chrono::milliseconds settleInterval{1000};
};

// One IPv4 address of a chosen interface: what we send goes out from each,
// so that a camera in the subnet of any of them hears and answers.
struct SourceAddress {
  QHostAddress address;
  QHostAddress broadcast;  // null on loopback
};

struct ChosenInterface {
  QNetworkInterface interface;
  std::vector<SourceAddress> sources;  // every IPv4 address, the first first; never empty
};

struct InterfaceChoice {
  std::vector<ChosenInterface> interfaces;
  bool loopbackOnly = false;  // only 127.0.0.0/8 may be contacted
  QString error;              // a named interface that cannot be used, and why
};

// The interfaces named (all when none is), each with its IPv4 addresses.
// Under loopback confinement only addresses in 127.0.0.0/8 are sources, and
// the loopback interface cannot be chosen with another one.
InterfaceChoice ChooseInterfaces(const QStringList& interfaceNames);
// The interfaces a search may be asked to use: up, multicast-capable, with
// an IPv4 address, not loopback (what an empty choice takes).
std::vector<ChosenInterface> SearchableInterfaces();

// The IPv4 networks the computer has on an interface, as the list's tooltip
// names them: "192.0.2.1/24 on eth0" (several joined by ", "); empty for an
// unknown interface.
QString InterfaceNetworks(const QString& interfaceName);
// Whether a camera at `address`, heard on `interfaceName`, lies in none of
// the IPv4 networks the computer has on that interface: it cannot be spoken
// to there as it is. False when that cannot be told (no interface, one
// without IPv4 networks, not an IPv4 address) and for 127.0.0.0/8, which is
// never outside.
bool IsOutsideNetworks(const QString& address, const QString& interfaceName);
// The same rule over networks already read (a search marks thousands of rows).
bool IsOutsideNetworks(const QString& address, const QList<QNetworkAddressEntry>& networks);
// Whether a unicast target may be contacted under this choice: a dotted
// IPv4 address (only 127.0.0.0/8 under loopback confinement), or an IPv6
// link-local address scoped to a chosen interface ("fe80::1%eth0"), never
// under loopback confinement.
bool MayContact(const InterfaceChoice& choice, const QString& address);

// An IPv6 link-local address (fe80::/10) with the interface it is reached
// on, in the form "fe80::1%eth0".
bool IsScopedLinkLocal(const QString& address);

}  // namespace device
