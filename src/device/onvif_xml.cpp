#include "device/onvif_xml.h"

#include <QXmlStreamReader>

namespace device::onvif {
namespace {

bool Matches(const XmlElement& element, QStringView local, std::optional<Ns> family) {
  if (element.name != local) return false;
  return family ? InNs(element.ns, *family) : InOnvifNs(element.ns);
}

}  // namespace

bool InNs(const QString& uri, Ns ns) {
  switch (ns) {
    case Ns::Soap:
      return uri == u"http://www.w3.org/2003/05/soap-envelope" || uri == u"http://schemas.xmlsoap.org/soap/envelope/";
    case Ns::Addressing:
      return uri == u"http://schemas.xmlsoap.org/ws/2004/08/addressing" || uri == u"http://www.w3.org/2005/08/addressing";
    case Ns::Discovery:
      return uri == u"http://schemas.xmlsoap.org/ws/2005/04/discovery";
    case Ns::Device:
      return uri == u"http://www.onvif.org/ver10/device/wsdl";
    case Ns::Schema:
      return uri == u"http://www.onvif.org/ver10/schema";
    case Ns::Security:
      return uri == u"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
    case Ns::Utility:
      return uri == u"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
  }
  return false;
}

bool InOnvifNs(const QString& uri) { return uri.startsWith(u"http://www.onvif.org/ver"); }

const XmlElement* XmlElement::Child(QStringView local, std::optional<Ns> family) const {
  for (const XmlElement& child : children) {
    if (Matches(child, local, family)) return &child;
  }
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(QStringView local, std::optional<Ns> family) const {
  std::vector<const XmlElement*> found;
  for (const XmlElement& child : children) {
    if (Matches(child, local, family)) found.push_back(&child);
  }
  return found;
}

QString XmlElement::ChildText(QStringView local, std::optional<Ns> family) const {
  const XmlElement* child = Child(local, family);
  return child ? child->text : QString();
}

QString XmlElement::Attribute(QStringView local) const {
  for (const XmlAttribute& attribute : attributes) {
    if (attribute.name == local) return attribute.value;
  }
  return {};
}

XmlRead ReadXml(const QByteArray& bytes, const XmlLimits& limits) {
  XmlRead read;
  if (bytes.size() > limits.maxBytes) {
    read.error = QStringLiteral("answer too large (%1 bytes)").arg(bytes.size());
    return read;
  }
  QXmlStreamReader reader(bytes);
  reader.setNamespaceProcessing(true);
  std::vector<XmlElement> open;  // the path from the root to the current element
  int elements = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD:
        read.error = QStringLiteral("document type declarations are not accepted");
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

QString Escaped(const QString& text) {
  QString escaped;
  escaped.reserve(text.size());
  for (const QChar c : text) {
    switch (c.unicode()) {
      case '&': escaped += u"&amp;"; break;
      case '<': escaped += u"&lt;"; break;
      case '>': escaped += u"&gt;"; break;
      case '"': escaped += u"&quot;"; break;
      case '\'': escaped += u"&apos;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

}  // namespace device::onvif
