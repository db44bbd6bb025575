#pragma once
// The SOAP side of an ONVIF camera's device service: the requests we send and
// what we read from the answers. Readers take the operation's response
// element (the Body's child) and are lenient about prefixes, order and which
// ONVIF namespace an inner element is in; a value that is not what it must
// be (an address that is not IPv4, a prefix out of range) is not taken.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "protocol/onvif_xml.h"

namespace device::onvif {

// Answers are read into the XML tree both ends share.
using protocol::Ns;
using protocol::XmlElement;

// A SOAP 1.2 envelope around the body's XML (and the header's, when given).
// The body may use the prefixes s (envelope), tds (device service) and tt
// (schema), which the envelope declares.
QByteArray Envelope(const QString& bodyXml, const QString& headerXml = {});

struct Fault {
  QString code;     // e.g. "Sender"
  QString subcode;  // the innermost subcode's local part, e.g. "NotAuthorized"
  QString reason;
};

struct SoapAnswer {
  std::optional<XmlElement> response;  // the Body's first element
  std::optional<Fault> fault;          // when the Body holds a Fault
  QString error;                       // the answer could not be read at all
  bool ok() const { return response.has_value() && !fault; }
};

// Refuses what is not a SOAP envelope with a Body (wrong namespace, no Body,
// not well-formed) with the reason in error.
SoapAnswer ReadAnswer(const QByteArray& bytes);

// The operation names and bodies.
QString SimpleRequest(const QString& operation);  // an empty tds:<operation/>
QString SetUserRequest(const QString& user, const QString& password);
QString CreateAdministratorRequest(const QString& user, const QString& password);
QString DeleteUserRequest(const QString& user);
QString SetGatewayRequest(const QString& gateway);
QString SetAddressRequest(const QString& token, const QString& address, int prefixLength);

std::optional<QDateTime> ReadSystemDateAndTime(const XmlElement& response);  // UTC

struct DeviceInformation {
  QString manufacturer;
  QString model;
  QString firmwareVersion;
  QString serialNumber;
  QString hardwareId;
};
std::optional<DeviceInformation> ReadDeviceInformation(const XmlElement& response);

struct NetworkInterface {
  QString token;
  bool enabled = false;
  QString hwAddress;      // as the camera wrote it, e.g. "28:57:be:65:7d:d5"
  bool wireless = false;  // IANA interface type 71, IEEE 802.11
  bool dhcp = false;
  QString address;  // the manual (or else DHCP-given) IPv4 address
  int prefixLength = 0;
};
std::vector<NetworkInterface> ReadNetworkInterfaces(const XmlElement& response);

std::optional<QString> ReadDefaultGateway(const XmlElement& response);  // "" when none

struct User {
  QString name;
  QString level;  // "Administrator", "Operator", "User", ...
};
std::vector<User> ReadUsers(const XmlElement& response);

std::optional<bool> ReadRebootNeeded(const XmlElement& response);

// The prefix length of a dotted IPv4 mask; none when the mask is not a
// contiguous run of ones (255.0.255.0) or not a mask at all.
std::optional<int> PrefixLength(const QString& mask);
QString MaskText(int prefixLength);

// "28:57:be:65:7d:d5" (or with '-') as six decimal numbers joined by '.',
// the way the camera list shows a MAC; empty when it is not a MAC.
QString MacListText(const QString& hwAddress);

}  // namespace device::onvif
