#include "camd/onvif_xml.h"

#include <QXmlStreamReader>

#include "protocol/wire.h"

namespace camd {

const XmlElement* XmlElement::child(QStringView localName) const {
  for (const XmlElement& element : children)
    if (element.name == localName) return &element;
  return nullptr;
}

const XmlElement* XmlElement::find(std::initializer_list<QStringView> path) const {
  const XmlElement* at = this;
  for (QStringView name : path) {
    at = at->child(name);
    if (!at) return nullptr;
  }
  return at;
}

QString XmlElement::textAt(std::initializer_list<QStringView> path) const {
  const XmlElement* at = find(path);
  return at ? at->text : QString();
}

QString XmlElement::attribute(QStringView localName) const {
  for (const auto& [name, value] : attributes)
    if (name == localName) return value;
  return {};
}

std::vector<const XmlElement*> XmlElement::all(QStringView localName) const {
  std::vector<const XmlElement*> found;
  for (const XmlElement& element : children)
    if (element.name == localName) found.push_back(&element);
  return found;
}

QString XmlElement::namespaceFor(QStringView prefix) const {
  for (auto it = prefixes.rbegin(); it != prefixes.rend(); ++it)
    if (it->first == prefix) return it->second;
  return {};
}

std::optional<XmlElement> ReadXml(const QByteArray& data, QString& error) {
  if (data.size() > kMaxSoapBytes) {
    error = QStringLiteral("larger than %1 bytes").arg(kMaxSoapBytes);
    return std::nullopt;
  }
  QXmlStreamReader reader(data);
  // A document with a DTD is refused outright, so no entity is ever declared.
  std::vector<XmlElement> open;
  std::optional<XmlElement> root;
  int elements = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD:
        error = QStringLiteral("a DTD is not accepted");
        return std::nullopt;
      case QXmlStreamReader::EntityReference:
        error = QStringLiteral("entity references are not accepted");
        return std::nullopt;
      case QXmlStreamReader::StartElement: {
        if (root) {
          error = QStringLiteral("content after the root element");
          return std::nullopt;
        }
        if (static_cast<int>(open.size()) >= kMaxSoapDepth || ++elements > kMaxSoapElements) {
          error = open.size() >= kMaxSoapDepth ? QStringLiteral("nested deeper than %1").arg(kMaxSoapDepth)
                                               : QStringLiteral("more than %1 elements").arg(kMaxSoapElements);
          return std::nullopt;
        }
        XmlElement element;
        element.ns = reader.namespaceUri().toString();
        element.name = reader.name().toString();
        if (!open.empty()) element.prefixes = open.back().prefixes;
        for (const QXmlStreamNamespaceDeclaration& declaration : reader.namespaceDeclarations())
          element.prefixes.emplace_back(declaration.prefix().toString(), declaration.namespaceUri().toString());
        for (const QXmlStreamAttribute& attribute : reader.attributes())
          element.attributes.emplace_back(attribute.name().toString(), attribute.value().toString());
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
        if (open.empty())
          root = std::move(done);
        else
          open.back().children.push_back(std::move(done));
        break;
      }
      default: break;
    }
  }
  if (reader.hasError() || !root) {
    error = reader.hasError() ? QStringLiteral("not well-formed: ") + reader.errorString()
                              : QStringLiteral("no root element");
    return std::nullopt;
  }
  return root;
}

std::optional<SoapMessage> ReadSoap(const QByteArray& data, QString& error) {
  auto root = ReadXml(data, error);
  if (!root) return std::nullopt;
  const QLatin1String envelopeNs(protocol::NsSoapEnvelope);
  if (root->name != u"Envelope" || root->ns != envelopeNs) {
    error = QStringLiteral("not a SOAP 1.2 envelope");
    return std::nullopt;
  }
  SoapMessage message;
  const XmlElement* body = nullptr;
  for (const XmlElement& part : root->children) {
    if (part.ns != envelopeNs) continue;
    if (part.name == u"Header") message.header = part;
    if (part.name == u"Body") body = &part;
  }
  if (!body || body->children.empty()) {
    error = QStringLiteral("no operation in the SOAP body");
    return std::nullopt;
  }
  message.body = body->children.front();
  return message;
}

QString XmlEscaped(const QString& text) {
  QString escaped = text.toHtmlEscaped();
  return escaped.replace(u'\'', QStringLiteral("&apos;"));
}

}  // namespace camd
