#pragma once
// WS-Discovery, the way ONVIF cameras are found: a Probe for
// dn:NetworkVideoTransmitter and tds:Device sent to 239.255.255.250:3702 out
// of every chosen interface; the cameras answer ProbeMatches unicast to the
// probe's source port, each relating to the probe's MessageID. A camera's
// identity is its EndpointReference address.
#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <QUdpSocket>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "device/device_log.h"
#include "device/discovery.h"
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

// Reads one ProbeMatches datagram. Refuses (with the reason) what is not a
// SOAP envelope holding ProbeMatches, and matches without an endpoint.
ProbeMatches ReadProbeMatches(const QByteArray& datagram);

// The value of an onvif://www.onvif.org/<kind>/<value> scope, percent-decoded;
// empty when there is none.
QString ScopeValue(const QStringList& scopes, const QString& kind);

// A camera row from one match heard from `from`: address is the source's
// (an XAddr naming another host is logged and overruled), name and model from
// the scopes, MAC from the MAC scope or the neighbour table. Empty when the
// match is not a camera's (no device or video transmitter type).
std::optional<FoundCamera> CameraFromMatch(const ProbeMatch& match, const QHostAddress& from);

// The MAC the kernel's neighbour table holds for an IPv4 address, in the
// camera list's form; empty when unknown.
QString NeighbourMac(const QString& address, const QString& arpTablePath = QStringLiteral("/proc/net/arp"));

// The ONVIF half of a search: one socket per chosen interface, bound to its
// address, sending Probe copies and hearing the answers to them.
class Prober {
 public:
  Prober(const NetOptions& options, const InterfaceChoice& choice);
  // False (with the reason) when no interface can send a probe.
  bool Open(QString* error);
  // One copy of the probe out of every interface (the same MessageID).
  void Send();
  // Each camera not heard before in this search.
  std::function<void(const FoundCamera&)> onCamera;
  int droppedCount() const { return drops_.count(); }

 private:
  void ReadPending(QUdpSocket& socket);
  bool RelatesToOurs(const QByteArray& datagram) const;
  void Drop(const QString& why, const QHostAddress& from) { drops_.Drop(why, from); }

  const NetOptions& options_;
  const InterfaceChoice& choice_;
  QStringList messageIds_;  // one probe per type, made on the first Send
  std::vector<QByteArray> probes_;
  QHostAddress group_;
  std::vector<std::unique_ptr<QUdpSocket>> sockets_;
  QStringList heard_;  // endpoint@source of every camera heard in this search
  DropLog drops_{QStringLiteral("a WS-Discovery answer")};
};

}  // namespace device::onvif
