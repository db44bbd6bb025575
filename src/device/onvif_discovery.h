#pragma once
// WS-Discovery, the way ONVIF cameras are found: a Probe for
// dn:NetworkVideoTransmitter and tds:Device sent to 239.255.255.250:3702 out
// of every chosen interface; the cameras answer ProbeMatches unicast to the
// probe's source port, each relating to the probe's MessageID. A camera's
// identity is its EndpointReference address.
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

// The value of an onvif://www.onvif.org/<kind>/<value> scope, percent-decoded;
// empty when there is none.
QString ScopeValue(const QStringList& scopes, const QString& kind);

// A camera row from one match heard from `from`: address is the source's
// (an XAddr naming another host is logged and overruled), name and model from
// the scopes, MAC from the MAC scope (else unknown: the search asks the
// neighbour table at its end, where the address is not shared). Empty when
// the match is not a camera's (no device or video transmitter type).
std::optional<FoundCamera> CameraFromMatch(const ProbeMatch& match, const QHostAddress& from);

// The MACs the kernel's neighbour table holds, by IPv4 address, in the
// camera list's form (complete entries only).
QHash<QString, QString> NeighbourMacs(const QString& arpTablePath = QStringLiteral("/proc/net/arp"));

// The ONVIF half of a search: one socket per chosen interface, bound to its
// address, sending probes and hearing the answers to them.
class Prober {
 public:
  Prober(const NetOptions& options, const InterfaceChoice& choice);
  // False (with the reason) when no interface can send a probe.
  bool Open(QString& error);
  // One probe per type out of every interface, each with a MessageID of its
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
  void Listen(std::unique_ptr<QUdpSocket> socket);
  // A fresh round of probes, one per type, each with a MessageID of its own.
  std::vector<QByteArray> NextProbes();
  void ReadPending(QUdpSocket& socket);
  bool RelatesToOurs(const QByteArray& datagram) const;
  void Drop(const QString& why, const QHostAddress& from) { drops_.Drop(why, from); }

  const NetOptions& options_;
  const InterfaceChoice& choice_;
  QStringList messageIds_;  // of every probe sent in this search
  QHostAddress group_;
  std::vector<std::unique_ptr<QUdpSocket>> sockets_;
  DropLog drops_{QStringLiteral("a WS-Discovery answer")};
};

}  // namespace device::onvif
