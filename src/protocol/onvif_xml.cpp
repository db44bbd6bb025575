#include "protocol/onvif_xml.h"

#include <QXmlStreamReader>

#include "protocol/wire.h"

namespace protocol {
namespace {

bool Matches(const XmlElement& element, QStringView local, Ns family) {
  return element.name == local && InNs(element.ns, family);
}

}  // namespace

bool InNs(const QString& uri, Ns family) {
  switch (family) {
    case Ns::Soap:
      return uri == QLatin1String(NsSoapEnvelope) || uri == QLatin1String(NsSoap11Envelope);
    case Ns::Addressing:
      return uri == QLatin1String(NsAddressing) || uri == QLatin1String(NsAddressing2005);
    case Ns::Discovery:
      return uri == QLatin1String(NsDiscovery);
    case Ns::Device:
      return uri == QLatin1String(NsDevice);
    case Ns::Schema:
      return uri == QLatin1String(NsSchema);
    case Ns::Security:
      return uri == QLatin1String(NsSecurity);
    case Ns::Utility:
      return uri == QLatin1String(NsSecurityUtility);
    case Ns::Onvif:
      return uri.startsWith(QLatin1String(NsOnvifStem));
    case Ns::Any:
      return true;
  }
  return false;
}

const XmlElement* XmlElement::Child(QStringView local, Ns family) const {
  for (const XmlElement& child : children) {
    if (Matches(child, local, family)) return &child;
  }
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(QStringView local, Ns family) const {
  std::vector<const XmlElement*> found;
  for (const XmlElement& child : children) {
    if (Matches(child, local, family)) found.push_back(&child);
  }
  return found;
}

QString XmlElement::ChildText(QStringView local, Ns family) const {
  const XmlElement* child = Child(local, family);
  return child ? child->text : QString();
}

const XmlElement* XmlElement::Find(std::initializer_list<QStringView> path, Ns family) const {
  const XmlElement* at = this;
  for (QStringView local : path) {
    at = at->Child(local, family);
    if (!at) return nullptr;
  }
  return at;
}

QString XmlElement::Attribute(QStringView local) const {
  for (const XmlAttribute& attribute : attributes) {
    if (attribute.name == local) return attribute.value;
  }
  return {};
}

QString XmlElement::NamespaceFor(QStringView prefix) const {
  for (const XmlScope* at = scope.get(); at; at = at->outer.get()) {
    for (auto it = at->declared.rbegin(); it != at->declared.rend(); ++it) {
      if (it->first == prefix) return it->second;
    }
  }
  return {};
}

XmlRead ReadXml(const QByteArray& bytes, const XmlLimits& limits) {
  XmlRead read;
  if (bytes.size() > limits.maxBytes) {
    read.error = QStringLiteral("too large: %1 bytes, larger than %2 bytes").arg(bytes.size()).arg(limits.maxBytes);
    return read;
  }
  QXmlStreamReader reader(bytes);
  reader.setNamespaceProcessing(true);
  std::vector<XmlElement> open;  // the path from the root to the current element
  int elements = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD:
        read.error = QStringLiteral("a DTD (document type declaration) is not accepted");
        return read;
      case QXmlStreamReader::EntityReference:
        read.error = QStringLiteral("entity reference &%1; not accepted").arg(reader.name());
        return read;
      case QXmlStreamReader::StartElement: {
        if (static_cast<int>(open.size()) >= limits.maxDepth) {
          read.error = QStringLiteral("nested deeper than %1 elements").arg(limits.maxDepth);
          return read;
        }
        if (++elements > limits.maxElements) {
          read.error = QStringLiteral("more than %1 elements").arg(limits.maxElements);
          return read;
        }
        XmlElement element;
        element.ns = reader.namespaceUri().toString();
        element.name = reader.name().toString();
        if (!open.empty()) element.scope = open.back().scope;
        const QXmlStreamNamespaceDeclarations declarations = reader.namespaceDeclarations();
        if (!declarations.isEmpty()) {
          auto scope = std::make_shared<XmlScope>();
          for (const QXmlStreamNamespaceDeclaration& declaration : declarations)
            scope->declared.emplace_back(declaration.prefix().toString(), declaration.namespaceUri().toString());
          scope->outer = std::move(element.scope);
          element.scope = std::move(scope);
        }
        for (const QXmlStreamAttribute& attribute : reader.attributes()) {
          element.attributes.push_back(
              {attribute.namespaceUri().toString(), attribute.name().toString(), attribute.value().toString()});
        }
        open.push_back(std::move(element));
        break;
      }
      case QXmlStreamReader::Characters:
        if (!open.empty()) open.back().text += reader.text();
        break;
      case QXmlStreamReader::EndElement: {
        XmlElement done = std::move(open.back());
        open.pop_back();
        done.text = done.text.trimmed();
        if (open.empty()) {
          read.root = std::move(done);
        } else {
          open.back().children.push_back(std::move(done));
        }
        break;
      }
      default:
        break;
    }
  }
  if (reader.hasError()) {
    read.root.reset();
    read.error = QStringLiteral("not well-formed XML: %1 (line %2)").arg(reader.errorString()).arg(reader.lineNumber());
    return read;
  }
  if (!read.root) read.error = QStringLiteral("no document element");
  return read;
}

SoapRead ReadSoap(const QByteArray& bytes, const XmlLimits& limits) {
  SoapRead soap;
  XmlRead read = ReadXml(bytes, limits);
  if (!read.root) {
    soap.error = read.error;
    return soap;
  }
  XmlElement& envelope = *read.root;
  if (!envelope.Is(Ns::Soap, u"Envelope")) {
    soap.error = QStringLiteral("not a SOAP envelope: {%1}%2").arg(envelope.ns, envelope.name);
    return soap;
  }
  SoapMessage message;
  message.envelopeNs = envelope.ns;
  bool headerSeen = false;
  bool bodySeen = false;
  for (XmlElement& part : envelope.children) {
    if (part.ns != envelope.ns) continue;
    if (part.name == u"Header" && !headerSeen) {
      message.header = std::move(part);
      headerSeen = true;
    } else if (part.name == u"Body" && !bodySeen) {
      message.body = std::move(part);
      bodySeen = true;
    }
  }
  if (!bodySeen) {
    soap.error = QStringLiteral("SOAP envelope without a Body");
    return soap;
  }
  soap.message = std::move(message);
  return soap;
}

QString XmlEscaped(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (const QChar c : text) {
    switch (c.unicode()) {
      case '&':
        escaped += u"&amp;";
        break;
      case '<':
        escaped += u"&lt;";
        break;
      case '>':
        escaped += u"&gt;";
        break;
      case '"':
        escaped += u"&quot;";
        break;
      case '\'':
        escaped += u"&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace protocol
