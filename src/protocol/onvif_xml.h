#pragma once
// The XML of ONVIF and WS-Discovery messages as both ends read it: a small
// element tree read with QXmlStreamReader before anything looks at it.
// Namespace-aware (elements are matched by namespace and local name, never by
// prefix) and indifferent to element order, as cameras and clients vary.
// Whatever arrives is hostile until read: the size, the nesting depth and the
// element count are capped, and a document type declaration (the door to
// entity expansion and external entities) refuses the whole document.
#include <QByteArray>
#include <QString>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace protocol {

// The namespaces a message is read in. A family may have several URIs (SOAP
// 1.1 and 1.2, the two WS-Addressing versions); Onvif is any of the ONVIF
// namespaces (device service, schema, error, network: cameras disagree on
// which of them an answer's inner elements use), Any matches every namespace.
enum class Ns { Soap, Addressing, Discovery, Device, Schema, Security, Utility, Onvif, Any };
bool InNs(const QString& uri, Ns family);

struct XmlAttribute {
  QString ns;
  QString name;  // local name
  QString value;
};

// The namespace declarations of one start tag (prefix -> URI, "" the
// default), with those of the tags around it.
struct XmlScope {
  std::vector<std::pair<QString, QString>> declared;
  std::shared_ptr<const XmlScope> outer;
};

struct XmlElement {
  QString ns;
  QString name;  // local name
  QString text;  // the element's own character data, trimmed
  std::vector<XmlAttribute> attributes;
  std::vector<XmlElement> children;
  // The prefixes in scope here, shared with the elements inside that declare
  // none of their own; to resolve QNames in text such as a Probe's Types.
  std::shared_ptr<const XmlScope> scope;

  bool Is(Ns family, QStringView local) const { return name == local && InNs(ns, family); }
  // The first child of that local name in the namespace family, or null.
  const XmlElement* Child(QStringView local, Ns family = Ns::Onvif) const;
  std::vector<const XmlElement*> Children(QStringView local, Ns family = Ns::Onvif) const;
  // The text of the first child by that local name; empty when there is none.
  QString ChildText(QStringView local, Ns family = Ns::Onvif) const;
  // The first element down a path of local names, or null.
  const XmlElement* Find(std::initializer_list<QStringView> path, Ns family = Ns::Onvif) const;
  // An attribute by local name, whatever its namespace.
  QString Attribute(QStringView local) const;
  // The URI a prefix stands for here; null when it is not declared.
  QString NamespaceFor(QStringView prefix) const;
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

// A SOAP envelope (1.2, or 1.1 as some cameras still answer), with the
// Header and Body in the envelope's own namespace.
struct SoapMessage {
  QString envelopeNs;  // which SOAP the envelope is
  XmlElement header;   // empty when the envelope has none
  XmlElement body;     // the Body itself: the operation, answer or fault is inside
};

struct SoapRead {
  std::optional<SoapMessage> message;
  QString error;  // why the document was refused, when message is empty
};

SoapRead ReadSoap(const QByteArray& bytes, const XmlLimits& limits = {});

// A text made safe for XML character data and attribute values.
QString XmlEscaped(const QString& text);

}  // namespace protocol
