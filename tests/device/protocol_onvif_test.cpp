// The ONVIF XML reader both ends read with, and the UsernameToken digest both
// compute: what is refused and why (both ends show or log the reason), the
// caps at their edges, matching by namespace family rather than prefix, the
// prefixes in scope, and the SOAP envelope's parts.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QStringList>

#include "protocol/onvif_xml.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"

namespace {

using protocol::Ns;
using protocol::ReadSoap;
using protocol::ReadXml;
using protocol::SoapRead;
using protocol::XmlElement;
using protocol::XmlLimits;
using protocol::XmlRead;

QByteArray Nested(int depth) { return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth); }

QByteArray Siblings(int elements) { return "<a>" + QByteArray("<b/>").repeated(elements - 1) + "</a>"; }

// A document of exactly `bytes` bytes.
QByteArray OfSize(int bytes) { return "<a>" + QByteArray(bytes - 7, 'x') + "</a>"; }

TEST(OnvifXml, RefusesWhatCouldHurtAndSaysWhy) {
  struct Case {
    const char* name;
    QByteArray xml;
    QStringList because;  // every wording the callers look for
  };
  const Case cases[] = {
      {"entity expansion",
       "<!DOCTYPE a [<!ENTITY x \"xxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;\">]><a>&y;</a>",
       {"a DTD", "document type"}},
      {"external entity",
       "<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>",
       {"a DTD", "document type"}},
      {"a DTD after the declaration", "<?xml version=\"1.0\"?><!DOCTYPE a><a/>", {"a DTD"}},
      {"undeclared entity", "<a>&e;</a>", {"not well-formed"}},
      {"deep nesting", Nested(33), {"nested deeper than 32"}},
      {"too many elements", Siblings(4097), {"more than 4096 elements"}},
      {"oversized", OfSize(64 * 1024 + 1), {"too large", "65537 bytes", "larger than 65536 bytes"}},
      {"unbound prefix", "<p:a/>", {"not well-formed"}},
      {"unclosed", "<a><b></a>", {"not well-formed", "line 1"}},
      {"two roots", "<a/><b/>", {"not well-formed"}},
      {"empty", "", {"not well-formed"}},
  };
  for (const Case& c : cases) {
    const XmlRead read = ReadXml(c.xml);
    EXPECT_FALSE(read.root) << c.name;
    for (const QString& wording : c.because)
      EXPECT_TRUE(read.error.contains(wording)) << c.name << ": " << read.error.toStdString();
  }
}

TEST(OnvifXml, CapsHoldAtTheirEdgesAndCanBeSet) {
  struct Case {
    const char* name;
    QByteArray xml;
    XmlLimits limits;
    bool read;
  };
  const Case cases[] = {
      {"as deep as allowed", Nested(32), {}, true},
      {"as many elements as allowed", Siblings(4096), {}, true},
      {"as large as allowed", OfSize(64 * 1024), {}, true},
      {"a smaller size", OfSize(101), {100, 32, 4096}, false},
      {"at the smaller size", OfSize(100), {100, 32, 4096}, true},
      {"a smaller depth", Nested(3), {64 * 1024, 2, 4096}, false},
      {"at the smaller depth", Nested(2), {64 * 1024, 2, 4096}, true},
      {"fewer elements", Siblings(4), {64 * 1024, 32, 3}, false},
      {"at the fewer elements", Siblings(3), {64 * 1024, 32, 3}, true},
  };
  for (const Case& c : cases) {
    const XmlRead read = ReadXml(c.xml, c.limits);
    EXPECT_EQ(read.root.has_value(), c.read) << c.name << ": " << read.error.toStdString();
    EXPECT_EQ(read.error.isEmpty(), c.read) << c.name;
  }
  EXPECT_TRUE(ReadXml(OfSize(101), {100, 32, 4096}).error.contains(u"larger than 100 bytes"));
}

TEST(OnvifXml, MatchesByNamespaceFamilyNotPrefix) {
  const QByteArray xml = QStringLiteral(
                             "<r xmlns:s12=\"%1\" xmlns:s11=\"%2\" xmlns:a04=\"%3\" xmlns:a05=\"%4\" xmlns:tt=\"%5\" "
                             "xmlns:x=\"urn:other\">"
                             "<s11:Body/><s12:Body/><a05:To>five</a05:To><a04:To>four</a04:To>"
                             "<Name xmlns=\"http://www.onvif.org/ver20/ptz/wsdl\"> twenty "
                             "</Name><x:Name>other</x:Name><tt:Name>ten</tt:Name>"
                             "<Name>plain</Name><tt:Item x:token=\"t1\">A<![CDATA[&B]]>C</tt:Item></r>")
                             .arg(protocol::NsSoapEnvelope, protocol::NsSoap11Envelope, protocol::NsAddressing,
                                  protocol::NsAddressing2005, protocol::NsSchema)
                             .toUtf8();
  const XmlRead read = ReadXml(xml);
  ASSERT_TRUE(read.root) << read.error.toStdString();
  const XmlElement& r = *read.root;
  EXPECT_EQ(r.Children(u"Body", Ns::Soap).size(), 2u) << "SOAP 1.1 and 1.2";
  EXPECT_EQ(r.ChildText(u"To", Ns::Addressing), u"five") << "either WS-Addressing, the first in the document";
  EXPECT_EQ(r.ChildText(u"Name"), u"twenty") << "any ONVIF namespace by default, text trimmed";
  EXPECT_EQ(r.ChildText(u"Name", Ns::Schema), u"ten");
  EXPECT_EQ(r.ChildText(u"Name", Ns::Device), QString()) << "none in the device service's namespace";
  std::vector<QString> any;
  for (const XmlElement* name : r.Children(u"Name", Ns::Any)) any.push_back(name->text);
  EXPECT_EQ(any, (std::vector<QString>{u"twenty"_qs, u"other"_qs, u"ten"_qs, u"plain"_qs})) << "in document order";
  const XmlElement* item = r.Child(u"Item");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->text, u"A&BC") << "character data and CDATA together";
  EXPECT_EQ(item->Attribute(u"token"), u"t1") << "an attribute by local name, whatever its prefix";
  EXPECT_EQ(item->Attribute(u"missing"), QString());
  EXPECT_TRUE(r.Child(u"Body", Ns::Soap)->Is(Ns::Soap, u"Body"));
  EXPECT_FALSE(r.Child(u"Body", Ns::Soap)->Is(Ns::Soap, u"Header"));
}

TEST(OnvifXml, FindFollowsAPathOfLocalNames) {
  const XmlRead read = ReadXml(
      "<r xmlns:tt=\"http://www.onvif.org/ver10/schema\"><tt:A><tt:B>first</tt:B></tt:A><tt:A><tt:C><D>deep</D></tt:C>"
      "</tt:A></r>");
  ASSERT_TRUE(read.root) << read.error.toStdString();
  ASSERT_TRUE(read.root->Find({u"A", u"B"}));
  EXPECT_EQ(read.root->Find({u"A", u"B"})->text, u"first");
  EXPECT_FALSE(read.root->Find({u"A", u"C"})) << "only the first A is followed";
  EXPECT_FALSE(read.root->Find({u"A", u"B", u"D"}));
  EXPECT_EQ(read.root->Find({}), &*read.root);
  EXPECT_FALSE(read.root->Find({u"A", u"C", u"D"}, Ns::Any));
}

TEST(OnvifXml, NamespaceForResolvesThePrefixesInScope) {
  const XmlRead read = ReadXml(
      "<r xmlns:p=\"urn:outer\" xmlns=\"urn:default\"><a xmlns:p=\"urn:inner\"><b xmlns:q=\"urn:q\"><c/></b></a><d/>"
      "<e xmlns=\"\"/></r>");
  ASSERT_TRUE(read.root) << read.error.toStdString();
  const XmlElement& r = *read.root;
  const XmlElement* a = r.Child(u"a", Ns::Any);
  ASSERT_TRUE(a && !a->children.empty() && !a->children.front().children.empty());
  const XmlElement& b = a->children.front();
  const XmlElement& innermost = b.children.front();
  const XmlElement* d = r.Child(u"d", Ns::Any);
  const XmlElement* e = r.Child(u"e", Ns::Any);
  ASSERT_TRUE(d && e);
  struct Case {
    const char* where;
    const XmlElement* element;
    const char16_t* prefix;
    const char* uri;  // null: not declared there
  };
  const Case cases[] = {
      {"root", &r, u"p", "urn:outer"},
      {"root", &r, u"", "urn:default"},
      {"root", &r, u"q", nullptr},
      {"redeclared", a, u"p", "urn:inner"},
      {"inherited", &b, u"p", "urn:inner"},
      {"own", &b, u"q", "urn:q"},
      {"grandchild", &innermost, u"q", "urn:q"},
      {"grandchild", &innermost, u"", "urn:default"},
      {"sibling", d, u"p", "urn:outer"},
      {"sibling", d, u"q", nullptr},
      {"undeclared default", e, u"", ""},
      {"never", &innermost, u"xs", nullptr},
  };
  for (const Case& c : cases) {
    const QString uri = c.element->NamespaceFor(c.prefix);
    if (c.uri) {
      EXPECT_FALSE(uri.isNull()) << c.where;
      EXPECT_EQ(uri, QLatin1String(c.uri)) << c.where;
    } else {
      EXPECT_TRUE(uri.isNull()) << c.where << ": " << uri.toStdString();
    }
  }
}

TEST(OnvifSoap, EnvelopeGivesItsHeaderAndBody) {
  struct Case {
    const char* name;
    QString xml;
    const char* envelopeNs;  // null: refused
    const char* because;
    int headerChildren;
    int bodyChildren;
  };
  const QString v12 = QLatin1String(protocol::NsSoapEnvelope);
  const QString v11 = QLatin1String(protocol::NsSoap11Envelope);
  const Case cases[] = {
      {"SOAP 1.2",
       "<s:Envelope xmlns:s=\"" + v12 + "\"><s:Header><h/><h/></s:Header><s:Body><op/></s:Body></s:Envelope>",
       protocol::NsSoapEnvelope, "", 2, 1},
      {"SOAP 1.1", "<Envelope xmlns=\"" + v11 + "\"><Body><op/><more/></Body></Envelope>", protocol::NsSoap11Envelope,
       "", 0, 2},
      {"Body before Header", "<s:Envelope xmlns:s=\"" + v12 + "\"><s:Body/><s:Header><h/></s:Header></s:Envelope>",
       protocol::NsSoapEnvelope, "", 1, 0},
      {"the first Body", "<s:Envelope xmlns:s=\"" + v12 + "\"><s:Body><op/></s:Body><s:Body/></s:Envelope>",
       protocol::NsSoapEnvelope, "", 0, 1},
      {"a Body of the other SOAP",
       "<s:Envelope xmlns:s=\"" + v12 + "\"><o:Body xmlns:o=\"" + v11 +
           "\"><op/></o:Body>"
           "</s:Envelope>",
       nullptr, "SOAP envelope without a Body", 0, 0},
      {"no Body", "<s:Envelope xmlns:s=\"" + v12 + "\"><s:Header/></s:Envelope>", nullptr,
       "SOAP envelope without a Body", 0, 0},
      {"a foreign envelope", "<s:Envelope xmlns:s=\"urn:not-soap\"><s:Body><op/></s:Body></s:Envelope>", nullptr,
       "not a SOAP envelope: {urn:not-soap}Envelope", 0, 0},
      {"not XML", "GET / HTTP/1.1", nullptr, "not well-formed", 0, 0},
  };
  for (const Case& c : cases) {
    const SoapRead read = ReadSoap(c.xml.toUtf8());
    ASSERT_EQ(read.message.has_value(), c.envelopeNs != nullptr) << c.name << ": " << read.error.toStdString();
    if (!read.message) {
      EXPECT_TRUE(read.error.contains(QLatin1String(c.because))) << c.name << ": " << read.error.toStdString();
      continue;
    }
    EXPECT_TRUE(read.error.isEmpty()) << c.name;
    EXPECT_EQ(read.message->envelopeNs, QLatin1String(c.envelopeNs)) << c.name;
    EXPECT_EQ(read.message->header.children.size(), static_cast<size_t>(c.headerChildren)) << c.name;
    EXPECT_EQ(read.message->body.children.size(), static_cast<size_t>(c.bodyChildren)) << c.name;
    EXPECT_EQ(read.message->body.name, u"Body") << c.name;
  }
  const QByteArray large = "<s:Envelope xmlns:s=\"" + v12.toUtf8() + "\"><s:Body><op/></s:Body></s:Envelope>";
  EXPECT_TRUE(ReadSoap(large, {40, 32, 4096}).error.contains(u"larger than 40 bytes")) << "the caps given are kept";
}

TEST(OnvifXml, EscapedTextReadsBackAsWritten) {
  const QString typed = u"a<b>&\"c'd </x>"_qs;
  EXPECT_EQ(protocol::XmlEscaped(typed), u"a&lt;b&gt;&amp;&quot;c&apos;d &lt;/x&gt;"_qs);
  const XmlRead read = ReadXml(("<r v=\"" + protocol::XmlEscaped(typed) + "\" w='" + protocol::XmlEscaped(typed) +
                                "'>" + protocol::XmlEscaped(typed) + "</r>")
                                   .toUtf8());
  ASSERT_TRUE(read.root) << read.error.toStdString();
  EXPECT_EQ(read.root->text, typed.trimmed());
  EXPECT_EQ(read.root->Attribute(u"v"), typed);
  EXPECT_EQ(read.root->Attribute(u"w"), typed);
}

TEST(OnvifDigest, MatchesTheWsSecurityExampleAndEveryInputCounts) {
  // The UsernameToken example of the ONVIF programmer's guide.
  const QByteArray nonce = QByteArray::fromBase64("LKqI6G/AikKCQrN0zqZFlg==");
  const QString digest = protocol::PasswordDigest(nonce, u"2010-09-16T07:50:45Z"_qs, u"userpassword"_qs);
  EXPECT_EQ(digest, u"tuOSpGlFlIXsozq4HFNeeGeFLEI="_qs);
  const QString others[] = {
      protocol::PasswordDigest(nonce + '!', u"2010-09-16T07:50:45Z"_qs, u"userpassword"_qs),
      protocol::PasswordDigest(nonce, u"2010-09-16T07:50:46Z"_qs, u"userpassword"_qs),
      protocol::PasswordDigest(nonce, u"2010-09-16T07:50:45Z"_qs, u"userpassworD"_qs),
  };
  for (const QString& other : others) EXPECT_NE(other, digest);
  // Non-ASCII passwords are hashed as UTF-8.
  EXPECT_EQ(protocol::PasswordDigest({}, {}, u"\u00e9"_qs),
            QString::fromLatin1(QCryptographicHash::hash("\xc3\xa9", QCryptographicHash::Sha1).toBase64()));
}

}  // namespace
