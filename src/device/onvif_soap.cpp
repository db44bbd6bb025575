#include "device/onvif_soap.h"

#include "protocol/protocol.h"

namespace device::onvif {
namespace {

std::optional<bool> Boolean(const QString& text) {
  if (text == u"true" || text == u"1") return true;
  if (text == u"false" || text == u"0") return false;
  return std::nullopt;
}

std::optional<int> Number(const QString& text, int low, int high) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < low || value > high) return std::nullopt;
  return value;
}

// The local part of a QName such as "ter:NotAuthorized".
QString LocalPart(const QString& qname) {
  const qsizetype colon = qname.lastIndexOf(u':');
  return colon < 0 ? qname : qname.mid(colon + 1);
}

Fault ReadFault(const XmlElement& fault) {
  Fault read;
  // SOAP 1.2: Code/Value, Code/Subcode(/Subcode...)/Value, Reason/Text.
  if (const XmlElement* code = fault.Child(u"Code", Ns::Soap)) {
    read.code = LocalPart(code->ChildText(u"Value", Ns::Soap));
    for (const XmlElement* sub = code->Child(u"Subcode", Ns::Soap); sub; sub = sub->Child(u"Subcode", Ns::Soap)) {
      read.subcode = LocalPart(sub->ChildText(u"Value", Ns::Soap));
    }
  }
  if (const XmlElement* reason = fault.Child(u"Reason", Ns::Soap)) read.reason = reason->ChildText(u"Text", Ns::Soap);
  // SOAP 1.1: unqualified faultcode and faultstring.
  for (const XmlElement& child : fault.children) {
    if (child.ns.isEmpty() && child.name == u"faultcode") read.code = LocalPart(child.text);
    if (child.ns.isEmpty() && child.name == u"faultstring") read.reason = child.text;
  }
  return read;
}

bool IsDeviceResponse(const XmlElement& response, QStringView name) { return response.Is(Ns::Device, name); }

}  // namespace

QByteArray Envelope(const QString& bodyXml, const QString& headerXml) {
  QString envelope = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
      "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
      "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\">");
  if (!headerXml.isEmpty()) envelope += u"<s:Header>"_qs + headerXml + u"</s:Header>"_qs;
  envelope += u"<s:Body>"_qs + bodyXml + u"</s:Body></s:Envelope>"_qs;
  return envelope.toUtf8();
}

SoapAnswer ReadAnswer(const QByteArray& bytes) {
  SoapAnswer answer;
  const protocol::SoapRead read = protocol::ReadSoap(bytes);
  if (!read.message) {
    answer.error = read.error;
    return answer;
  }
  if (read.message->body.children.empty()) {
    answer.error = QStringLiteral("empty SOAP Body");
    return answer;
  }
  const XmlElement& first = read.message->body.children.front();
  if (first.Is(Ns::Soap, u"Fault")) answer.fault = ReadFault(first);
  answer.response = first;
  return answer;
}

QString SimpleRequest(const QString& operation) { return QStringLiteral("<tds:%1/>").arg(operation); }

QString SetUserRequest(const QString& user, const QString& password) {
  return QStringLiteral(
             "<tds:SetUser><tds:User><tt:Username>%1</tt:Username><tt:Password>%2</tt:Password>"
             "<tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:SetUser>")
      .arg(protocol::XmlEscaped(user), protocol::XmlEscaped(password));
}

QString CreateAdministratorRequest(const QString& user, const QString& password) {
  return QStringLiteral(
             "<tds:CreateUsers><tds:User><tt:Username>%1</tt:Username><tt:Password>%2</tt:Password>"
             "<tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:CreateUsers>")
      .arg(protocol::XmlEscaped(user), protocol::XmlEscaped(password));
}

QString DeleteUserRequest(const QString& user) {
  return QStringLiteral("<tds:DeleteUsers><tds:Username>%1</tds:Username></tds:DeleteUsers>")
      .arg(protocol::XmlEscaped(user));
}

QString SetGatewayRequest(const QString& gateway) {
  return QStringLiteral(
             "<tds:SetNetworkDefaultGateway><tds:IPv4Address>%1</tds:IPv4Address>"
             "</tds:SetNetworkDefaultGateway>")
      .arg(protocol::XmlEscaped(gateway));
}

QString SetAddressRequest(const QString& token, const QString& address, int prefixLength) {
  return QStringLiteral(
             "<tds:SetNetworkInterfaces><tds:InterfaceToken>%1</tds:InterfaceToken><tds:NetworkInterface>"
             "<tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Manual>"
             "<tt:Address>%2</tt:Address><tt:PrefixLength>%3</tt:PrefixLength></tt:Manual>"
             "<tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>")
      .arg(protocol::XmlEscaped(token), protocol::XmlEscaped(address))
      .arg(prefixLength);
}

std::optional<QDateTime> ReadSystemDateAndTime(const XmlElement& response) {
  if (!IsDeviceResponse(response, u"GetSystemDateAndTimeResponse")) return std::nullopt;
  const XmlElement* all = response.Child(u"SystemDateAndTime");
  const XmlElement* utc = all ? all->Child(u"UTCDateTime") : nullptr;
  const XmlElement* time = utc ? utc->Child(u"Time") : nullptr;
  const XmlElement* date = utc ? utc->Child(u"Date") : nullptr;
  if (!time || !date) return std::nullopt;
  const auto year = Number(date->ChildText(u"Year"), 1970, 9999);
  const auto month = Number(date->ChildText(u"Month"), 1, 12);
  const auto day = Number(date->ChildText(u"Day"), 1, 31);
  const auto hour = Number(time->ChildText(u"Hour"), 0, 23);
  const auto minute = Number(time->ChildText(u"Minute"), 0, 59);
  const auto second = Number(time->ChildText(u"Second"), 0, 60);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  const QDate qdate(*year, *month, *day);
  if (!qdate.isValid()) return std::nullopt;
  // A leap second is taken as the last second of its minute.
  return QDateTime(qdate, QTime(*hour, *minute, std::min(*second, 59)), Qt::UTC);
}

std::optional<DeviceInformation> ReadDeviceInformation(const XmlElement& response) {
  if (!IsDeviceResponse(response, u"GetDeviceInformationResponse")) return std::nullopt;
  return DeviceInformation{response.ChildText(u"Manufacturer"), response.ChildText(u"Model"),
                           response.ChildText(u"FirmwareVersion"), response.ChildText(u"SerialNumber"),
                           response.ChildText(u"HardwareId")};
}

std::vector<NetworkInterface> ReadNetworkInterfaces(const XmlElement& response) {
  std::vector<NetworkInterface> interfaces;
  if (!IsDeviceResponse(response, u"GetNetworkInterfacesResponse")) return interfaces;
  for (const XmlElement* element : response.Children(u"NetworkInterfaces")) {
    NetworkInterface interface;
    interface.token = element->Attribute(u"token");
    interface.enabled = Boolean(element->ChildText(u"Enabled")).value_or(false);
    if (const XmlElement* info = element->Child(u"Info")) interface.hwAddress = info->ChildText(u"HwAddress");
    if (const XmlElement* link = element->Child(u"Link")) {
      interface.wireless = Number(link->ChildText(u"InterfaceType"), 0, 65535) == 71;
    }
    const XmlElement* ipv4 = element->Child(u"IPv4");
    const XmlElement* config = ipv4 ? ipv4->Child(u"Config") : nullptr;
    if (config && Boolean(ipv4->ChildText(u"Enabled")).value_or(false)) {
      interface.dhcp = Boolean(config->ChildText(u"DHCP")).value_or(false);
      const XmlElement* manual = config->Child(u"Manual");
      const XmlElement* fromDhcp = config->Child(u"FromDHCP");
      const XmlElement* used = interface.dhcp && fromDhcp ? fromDhcp : (manual ? manual : fromDhcp);
      if (used) {
        const QString address = used->ChildText(u"Address");
        const std::optional<int> prefix = Number(used->ChildText(u"PrefixLength"), 0, 32);
        if (protocol::IsIPv4(address) && prefix) {
          interface.address = address;
          interface.prefixLength = *prefix;
        }
      }
    }
    if (interface.token.isEmpty()) continue;  // it could never be written to
    interfaces.push_back(interface);
  }
  return interfaces;
}

std::optional<QString> ReadDefaultGateway(const XmlElement& response) {
  if (!IsDeviceResponse(response, u"GetNetworkDefaultGatewayResponse")) return std::nullopt;
  const XmlElement* gateway = response.Child(u"NetworkGateway");
  if (!gateway) return std::nullopt;
  for (const XmlElement* address : gateway->Children(u"IPv4Address")) {
    if (protocol::IsIPv4(address->text)) return address->text;
  }
  return QString();
}

std::vector<User> ReadUsers(const XmlElement& response) {
  std::vector<User> users;
  if (!IsDeviceResponse(response, u"GetUsersResponse")) return users;
  for (const XmlElement* user : response.Children(u"User")) {
    const QString name = user->ChildText(u"Username");
    if (!name.isEmpty()) users.push_back({name, user->ChildText(u"UserLevel")});
  }
  return users;
}

std::optional<bool> ReadRebootNeeded(const XmlElement& response) {
  if (!IsDeviceResponse(response, u"SetNetworkInterfacesResponse")) return std::nullopt;
  return Boolean(response.ChildText(u"RebootNeeded"));
}

std::optional<int> PrefixLength(const QString& mask) {
  const std::optional<uint32_t> bits = protocol::ParseIPv4(mask);
  if (!bits) return std::nullopt;
  const uint32_t inverted = ~*bits;
  // Contiguous ones from the top: the inverted mask is a run of low ones.
  if ((inverted & (inverted + 1)) != 0) return std::nullopt;
  int length = 0;
  for (uint32_t rest = *bits; rest != 0; rest <<= 1) ++length;
  return length;
}

QString MaskText(int prefixLength) {
  const int length = std::clamp(prefixLength, 0, 32);
  const uint32_t bits = length == 0 ? 0 : ~uint32_t{0} << (32 - length);
  return QStringLiteral("%1.%2.%3.%4")
      .arg(bits >> 24)
      .arg((bits >> 16) & 0xff)
      .arg((bits >> 8) & 0xff)
      .arg(bits & 0xff);
}

QString MacListText(const QString& hwAddress) {
  const QStringList parts = hwAddress.split(hwAddress.contains(u'-') ? u'-' : u':');
  if (parts.size() != 6) return {};
  QStringList numbers;
  for (const QString& part : parts) {
    bool ok = false;
    const int value = part.toInt(&ok, 16);
    if (!ok || part.size() != 2 || value < 0 || value > 255) return {};
    numbers << QString::number(value);
  }
  return numbers.join(u'.');
}

}  // namespace device::onvif
