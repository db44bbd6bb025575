#pragma once
// The XML of ONVIF answers, read into a small tree before anything looks at
// it. Namespace-aware (elements are matched by namespace and local name, never
// by prefix) and indifferent to element order; whatever a camera sends is
// hostile until read: the size, the nesting depth and the element count are
// capped, and a document type declaration (the door to entity expansion and
// external entities) refuses the whole document.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace device::onvif {

// The namespaces an ONVIF answer is read in. A family may have several URIs
// (SOAP 1.1 and 1.2, the two WS-Addressing versions).
enum class Ns { Soap, Addressing, Discovery, Device, Schema, Security, Utility };
bool InNs(const QString& uri, Ns ns);
// Any of the ONVIF namespaces (device service, schema, error, network):
// cameras disagree on which of them an answer's inner elements use.
bool InOnvifNs(const QString& uri);

struct XmlAttribute {
  QString ns;
  QString name;
  QString value;
};

struct XmlElement {
  QString ns;
  QString name;  // local name
  QString text;  // the element's own character data, trimmed
  std::vector<XmlAttribute> attributes;
  std::vector<XmlElement> children;

  bool Is(Ns family, QStringView local) const { return name == local && InNs(ns, family); }
  // The first child of that local name in the namespace family (or in any
  // ONVIF namespace when none is given), or null.
  const XmlElement* Child(QStringView local, std::optional<Ns> family = std::nullopt) const;
  std::vector<const XmlElement*> Children(QStringView local, std::optional<Ns> family = std::nullopt) const;
  // The text of the first child by that local name; empty when there is none.
  QString ChildText(QStringView local, std::optional<Ns> family = std::nullopt) const;
  // An attribute by local name, whatever its namespace.
  QString Attribute(QStringView local) const;
};

struct XmlLimits {
  int maxBytes = 64 * 1024;
  int maxDepth = 32;
  int maxElements = 4096;
};

struct XmlRead {
  std::optional<XmlElement> root;
  QString error;  // why the document was refused, when root is empty
};

XmlRead ReadXml(const QByteArray& bytes, const XmlLimits& limits = {});

// Escapes a text for an element's content or a double-quoted attribute.
QString Escaped(const QString& text);

}  // namespace device::onvif
