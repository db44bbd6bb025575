#pragma once
// The simulator's reader of SOAP messages (WS-Discovery datagrams and the
// ONVIF services' request bodies): a small element tree read with
// QXmlStreamReader. Namespace-aware but lenient about prefixes and element
// order, as cameras must be with the clients they meet. Hostile input is
// refused whole: too large, too deep, too many elements, a DTD (and with it
// any entity) or anything not well-formed.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace camd {

inline constexpr qsizetype kMaxSoapBytes = 64 * 1024;
inline constexpr int kMaxSoapDepth = 32;
inline constexpr int kMaxSoapElements = 2048;

struct XmlElement {
  QString ns;    // namespace URI
  QString name;  // local name
  QString text;  // character data directly inside, trimmed
  std::vector<std::pair<QString, QString>> attributes;  // local name, value
  std::vector<XmlElement> children;
  // The namespace prefixes in scope here (prefix -> URI; "" the default),
  // to resolve QNames inside text such as a Probe's Types.
  std::vector<std::pair<QString, QString>> prefixes;

  // The first child with this local name (any namespace), or null.
  const XmlElement* child(QStringView localName) const;
  // The first element down a path of local names, or null.
  const XmlElement* find(std::initializer_list<QStringView> path) const;
  // The text of find(path), empty when absent.
  QString textAt(std::initializer_list<QStringView> path) const;
  QString attribute(QStringView localName) const;
  std::vector<const XmlElement*> all(QStringView localName) const;
  // The URI a prefix stands for here; null when it is not declared.
  QString namespaceFor(QStringView prefix) const;
};

// A whole document's root element, or nothing with `error` saying why.
std::optional<XmlElement> ReadXml(const QByteArray& data, QString& error);

// A SOAP 1.2 envelope: its Header (may be empty) and the Body's first element.
struct SoapMessage {
  XmlElement header;
  XmlElement body;  // the operation: e.g. {NsDevice, "GetUsers"}
};
std::optional<SoapMessage> ReadSoap(const QByteArray& data, QString& error);

// Text made safe for XML character data and attribute values.
QString XmlEscaped(const QString& text);

}  // namespace camd
