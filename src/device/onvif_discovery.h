#pragma once
// WS-Discovery, the way ONVIF cameras are found: a Probe for
// dn:NetworkVideoTransmitter and tds:Device sent to 239.255.255.250:3702 out
// of every chosen interface, and to [ff02::c]:3702 from the interface's IPv6
// link-local address (never on loopback); the cameras answer ProbeMatches
// unicast to the probe's source port, each relating to the probe's
// MessageID. A camera's identity is its EndpointReference address.
//
// Over IPv6 only link-local answers are taken: they reach a camera on the
// link whatever its IPv4 settings, so one on a foreign IPv4 network can still
// be set up.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QUdpSocket>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "device/device_log.h"
#include "device/found_camera.h"
#include "device/net_options.h"

namespace device::onvif {

// A Probe for one type (a QName with the dn or tds prefix).
QByteArray ProbeMessage(const QString& messageId, const QString& type);

struct ProbeMatch {
  QString endpoint;  // EndpointReference/Address, e.g. "urn:uuid:..."
  QStringList types;
  QStringList scopes;
  QStringList xaddrs;
};

struct ProbeMatches {
  QString relatesTo;
  std::vector<ProbeMatch> matches;
  QString error;  // why the datagram was not taken; matches is then empty
};

// A device answers with its own match; a discovery proxy may name a few
// devices in one answer. An answer with more is refused before it is
// parsed, so one forged datagram can neither fill the list nor cost time.
inline constexpr int MaxMatchesPerAnswer = 8;

// Reads one ProbeMatches datagram. Refuses (with the reason) what is not a
// SOAP envelope holding ProbeMatches, an answer of more than
// MaxMatchesPerAnswer matches, and matches without an endpoint.
ProbeMatches ReadProbeMatches(const QByteArray& datagram);

// A camera's own word on the group: Hello when it starts or takes a new
// address (with endpoint, types, scopes and XAddrs, like a ProbeMatch), Bye
// when it stops or leaves its address (the endpoint alone counts).
struct Announcement {
  enum class Kind { Hello, Bye };
  Kind kind = Kind::Hello;
  ProbeMatch match;
  QString error;  // why the datagram was not taken
};

// Reads one Hello or Bye datagram with the limits of ReadProbeMatches;
// refuses (with the reason) anything else and an announcement without an
// endpoint.
Announcement ReadAnnouncement(const QByteArray& datagram);

// The value of an onvif://www.onvif.org/<kind>/<value> scope, percent-decoded;
// empty when there is none.
QString ScopeValue(const QStringList& scopes, const QString& kind);

// A camera row from one match heard from `from`: address is the source's
// (an XAddr naming another host is logged and overruled), name and model from
// the scopes, MAC from the MAC scope (else unknown: the search asks the
// neighbour table at its end, where the address is not shared). Empty when
// the match is not a camera's (no device or video transmitter type).
std::optional<FoundCamera> CameraFromMatch(const ProbeMatch& match, const QHostAddress& from);
// The same from an answer heard over IPv6 from the link-local address `from`
// on `interfaceName`. linkLocal: the link-local address the first link-local
// XAddr names (else the source's), with the interface as its scope; port and
// path from that XAddr. address: the IPv4 address an XAddr names (the
// camera's own, perhaps on a network the computer is not on), else the
// linkLocal itself, so that a camera without IPv4 is still reached.
std::optional<FoundCamera> CameraFromMatch6(const ProbeMatch& match, const QHostAddress& from,
                                            const QString& interfaceName);

// The MACs the kernel's neighbour table holds, by IPv4 address, in the
// camera list's form (complete entries only).
QHash<QString, QString> NeighbourMacs(const QString& arpTablePath = QStringLiteral("/proc/net/arp"));

// The ONVIF half of a search: one socket per IPv4 address of each chosen
// interface, bound to it, sending probes and hearing the answers to them; a
// camera heard is marked with the interface of the socket that heard it.
class Prober {
 public:
  Prober(const NetOptions& options, const InterfaceChoice& choice);
  // False (with the reason) when no interface can send a probe.
  bool Open(QString& error);
  // One probe per type from every address, each with a MessageID of its
  // own: a device answers a MessageID once, so every round is a fresh chance
  // for an answer lost on the way.
  void Send();
  // For probes to one host instead (a camera added by its address): one
  // socket, bound to the loopback address when confined to it, else to any
  // address so that the route to the host chooses the source.
  bool OpenUnicast(QString& error);
  // One probe per type, unicast to host's WS-Discovery port; the answers
  // come back unicast too and are heard as the group's are.
  void SendTo(const QHostAddress& host);
  // Each camera match of an answer to our probes (the same camera again
  // when it answers again).
  std::function<void(const FoundCamera&)> onCamera;
  // Asked before an answer to our probes is parsed: true leaves it unparsed
  // (the search's list is full and only counts who answered).
  std::function<bool(const QHostAddress&)> skipParse;
  int droppedCount() const { return drops_.count(); }

 private:
  bool OpenIPv6(const ChosenInterface& chosen);
  // Hears the answers that come to `socket`, sent from interfaceName (empty
  // when the kernel chooses it: probes to one address).
  void Listen(std::unique_ptr<QUdpSocket> socket, const QString& interfaceName);
  // A fresh round of probes, one per type, each with a MessageID of its own.
  std::vector<QByteArray> NextProbes();
  void ReadPending(QUdpSocket& socket, const QString& interfaceName, bool ipv6);
  bool RelatesToOurs(const QByteArray& datagram) const;
  void Drop(const QString& why, const QHostAddress& from) { drops_.Drop(why, from); }

  const NetOptions& options_;
  const InterfaceChoice& choice_;
  QStringList messageIds_;  // of every probe sent in this search
  QHostAddress group_;
  std::vector<std::unique_ptr<QUdpSocket>> sockets_;
  // IPv6, one per interface with a link-local address: the socket and the
  // group scoped to its interface.
  std::vector<std::pair<std::unique_ptr<QUdpSocket>, QHostAddress>> sockets6_;
  DropLog drops_{QStringLiteral("a WS-Discovery answer")};
};

}  // namespace device::onvif
