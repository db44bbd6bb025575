// The rules of the simulator's ONVIF side that are easy to get subtly wrong:
// the UsernameToken and its clock window, prefix lengths and the addresses a
// camera refuses, which requests it reads and which probes it answers.
#include <gtest/gtest.h>

#include "camd/fleet.h"
#include "camd/onvif_auth.h"
#include "camd/onvif_discovery.h"
#include "camd/onvif_service.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"

namespace camd {
namespace {

UsernameToken TokenAt(const QDateTime& created, const QString& password, const QString& type = protocol::PasswordDigestType) {
  UsernameToken token;
  token.user = "admin";
  token.nonce = QByteArray::fromHex("00112233445566778899aabbccddeeff");
  token.created = created.toString(Qt::ISODateWithMs);
  token.password = protocol::PasswordDigest(token.nonce, token.created, password);
  token.passwordType = type;
  return token;
}

TEST(OnvifToken, CheckedAgainstTheCamerasClock) {
  const QDateTime pc = QDateTime::currentDateTimeUtc();
  struct Case {
    const char* what;
    qint64 cameraAheadSeconds;  // the camera's clock minus the PC's
    qint64 tokenFromPcSeconds;  // the token's creation time minus the PC's
    const char* password;
    const char* type;
    TokenResult expected;
  } cases[] = {
      {"same clocks", 0, 0, "1234", protocol::PasswordDigestType, TokenResult::Accepted},
      {"camera 2 h ahead, client uses its clock", 7200, 7200, "1234", protocol::PasswordDigestType, TokenResult::Accepted},
      {"camera 1 h behind, client uses its clock", -3600, -3600, "1234", protocol::PasswordDigestType, TokenResult::Accepted},
      {"camera 2 h ahead, client ignores it", 7200, 0, "1234", protocol::PasswordDigestType, TokenResult::Expired},
      {"camera 1 h behind, client ignores it", -3600, 0, "1234", protocol::PasswordDigestType, TokenResult::Expired},
      {"inside the window", 0, kTokenWindowSeconds - 5, "1234", protocol::PasswordDigestType, TokenResult::Accepted},
      {"just outside the window", 0, -kTokenWindowSeconds - 5, "1234", protocol::PasswordDigestType, TokenResult::Expired},
      {"wrong password", 0, 0, "12345", protocol::PasswordDigestType, TokenResult::Refused},
      {"plain text is never accepted", 0, 0, "1234",
       "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText",
       TokenResult::Refused},
  };
  for (const Case& c : cases) {
    const UsernameToken token = TokenAt(pc.addSecs(c.tokenFromPcSeconds), c.password, QLatin1String(c.type));
    EXPECT_EQ(VerifyToken(token, "admin", "1234", pc.addSecs(c.cameraAheadSeconds)), c.expected) << c.what;
  }
  UsernameToken plain = TokenAt(pc, "1234");
  plain.password = "1234";
  EXPECT_EQ(VerifyToken(plain, "admin", "1234", pc), TokenResult::Refused) << "the password itself as the digest";
  UsernameToken otherUser = TokenAt(pc, "1234");
  otherUser.user = "root";
  EXPECT_EQ(VerifyToken(otherUser, "admin", "1234", pc), TokenResult::Refused);
  UsernameToken badTime = TokenAt(pc, "1234");
  badTime.created = "yesterday";
  badTime.password = protocol::PasswordDigest(badTime.nonce, badTime.created, "1234");
  EXPECT_EQ(VerifyToken(badTime, "admin", "1234", pc), TokenResult::Refused);
}

TEST(OnvifToken, ReadFromTheSecurityHeaderOnly) {
  const QByteArray soap = QStringLiteral(
      "<s:Envelope xmlns:s=\"%1\"><s:Header><Security xmlns=\"%2\"><UsernameToken><Username>admin</Username>"
      "<Password Type=\"%3\">abc=</Password><Nonce>AAEC</Nonce>"
      "<Created xmlns=\"%4\">2026-01-02T03:04:05Z</Created></UsernameToken></Security></s:Header>"
      "<s:Body><GetUsers xmlns=\"%5\"/></s:Body></s:Envelope>")
      .arg(protocol::NsSoapEnvelope, protocol::NsSecurity, protocol::PasswordDigestType, protocol::NsSecurityUtility,
           protocol::NsDevice).toUtf8();
  QString error;
  const auto message = ReadRequest(soap, error);
  ASSERT_TRUE(message) << qPrintable(error);
  const auto token = ReadUsernameToken(message->header);
  ASSERT_TRUE(token);
  EXPECT_EQ(token->user, "admin");
  EXPECT_EQ(token->nonce, QByteArray::fromHex("000102"));
  EXPECT_EQ(token->created, "2026-01-02T03:04:05Z");
  EXPECT_EQ(token->passwordType, QLatin1String(protocol::PasswordDigestType));
  // The same token in a namespace of its own is not WS-Security.
  QByteArray foreign = soap;
  foreign.replace(protocol::NsSecurity, "urn:example:security");
  EXPECT_FALSE(ReadUsernameToken(ReadRequest(foreign, error)->header));
}

TEST(OnvifNetwork, PrefixLengthsAndMasks) {
  EXPECT_EQ(MaskFromPrefix(24), "255.255.255.0");
  EXPECT_EQ(MaskFromPrefix(1), "128.0.0.0");
  EXPECT_EQ(MaskFromPrefix(30), "255.255.255.252");
  EXPECT_EQ(MaskFromPrefix(19), "255.255.224.0");
  EXPECT_EQ(PrefixFromMask("255.255.255.0"), 24);
  EXPECT_EQ(PrefixFromMask("255.255.224.0"), 19);
  EXPECT_EQ(PrefixFromMask("255.255.255.255"), 32);
  EXPECT_EQ(PrefixFromMask("255.0.255.0"), std::nullopt) << "not ones then zeros";
  EXPECT_EQ(PrefixFromMask("0.0.0.0"), std::nullopt);
  EXPECT_EQ(PrefixFromMask("mask"), std::nullopt);
}

TEST(OnvifNetwork, RefusedStaticAddresses) {
  struct Case {
    const char* address;
    int prefix;
    bool refused;
  } cases[] = {
      {"192.168.0.20", 24, false}, {"192.168.0.0", 24, true},  {"192.168.0.255", 24, true},
      {"192.168.0.255", 23, false}, {"192.168.1.255", 23, true}, {"10.0.0.1", 30, false},
      {"10.0.0.3", 30, true},        {"10.0.0.1", 31, true},       {"10.0.0.1", 32, true},
      {"10.0.0.1", 0, true},         {"10.0.0.1", -1, true},       {"10.0.0", 24, true},
      {"10.0.0.256", 24, true},      {"", 24, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(!StaticAddressError(c.address, c.prefix).isEmpty(), c.refused) << c.address << "/" << c.prefix;
}

TEST(OnvifIdentity, EndpointReferenceIsStableAndPerCamera) {
  const QString first = EndpointReference("0.12.34.1.0.1");
  EXPECT_TRUE(first.startsWith("urn:uuid:")) << qPrintable(first);
  EXPECT_EQ(first.size(), 9 + 36);
  EXPECT_EQ(first, EndpointReference("0.12.34.1.0.1"));
  EXPECT_NE(first, EndpointReference("0.12.34.1.0.2"));
  EXPECT_EQ(HexMac("0.12.34.88.0.255"), "00:0c:22:58:00:ff");
  CameraProfile profile;
  profile.mac = "0.12.34.88.0.10";
  profile.caption = "Front door";
  profile.mode = "X-350";
  EXPECT_TRUE(Scopes(profile).contains("onvif://www.onvif.org/name/Front%20door"));
  EXPECT_TRUE(Scopes(profile).contains("onvif://www.onvif.org/hardware/X-350"));
  EXPECT_TRUE(Scopes(profile).contains("onvif://www.onvif.org/MAC/00:0c:22:58:00:0a"));
  profile.macScope = false;
  for (const QString& scope : Scopes(profile)) EXPECT_FALSE(scope.contains("/MAC/")) << qPrintable(scope);
}

QByteArray Envelope(const QString& inner) {
  return (QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Body>").arg(protocol::NsSoapEnvelope) + inner +
          "</s:Body></s:Envelope>").toUtf8();
}

TEST(SoapRequest, RefusesWhatIsNotOneSoap12Operation) {
  QString many;
  for (int i = 0; i < kSoapLimits.maxElements + 1; ++i) many += "<b/>";
  struct Case {
    const char* what;
    QByteArray document;
    const char* reason;
  } cases[] = {
      {"more elements than a request has", Envelope("<Op>" + many + "</Op>"), "more than 2048 elements"},
      {"SOAP 1.1", "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><Op/></s:Body></s:Envelope>",
       "not a SOAP 1.2 envelope"},
      {"an empty body", Envelope(""), "no operation"},
      {"no body", QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Header/></s:Envelope>").arg(protocol::NsSoapEnvelope).toUtf8(),
       "without a Body"},
  };
  for (const Case& c : cases) {
    QString error;
    EXPECT_FALSE(ReadRequest(c.document, error)) << c.what;
    EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.what << ": " << qPrintable(error);
  }
}

TEST(SoapRequest, LenientAboutPrefixesAndOrder) {
  QString error;
  const QByteArray soap = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope xmlns:env=\"%1\"><env:Body>"
      "<x:SetNetworkInterfaces xmlns:x=\"%2\"><x:NetworkInterface><IPv4 xmlns=\"%3\"><DHCP>false</DHCP>"
      "<Manual><PrefixLength>24</PrefixLength><Address> 10.0.0.5 </Address></Manual><Enabled>true</Enabled></IPv4>"
      "</x:NetworkInterface><x:InterfaceToken>eth0</x:InterfaceToken></x:SetNetworkInterfaces></env:Body>"
      "<env:Header/></env:Envelope>")
      .arg(protocol::NsSoapEnvelope, protocol::NsDevice, protocol::NsSchema).toUtf8();
  const auto message = ReadRequest(soap, error);
  ASSERT_TRUE(message) << qPrintable(error);
  EXPECT_EQ(message->body.name, "SetNetworkInterfaces");
  EXPECT_EQ(message->body.ns, QLatin1String(protocol::NsDevice));
  EXPECT_EQ(message->body.ChildText(u"InterfaceToken", Ns::Any), "eth0");
  const XmlElement* address = message->body.Find({u"NetworkInterface", u"IPv4", u"Manual", u"Address"}, Ns::Any);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->text, "10.0.0.5");
}

QByteArray ProbeText(const QString& types, const QString& id = "urn:uuid:1", const QString& extraNs = "") {
  return QStringLiteral(
      "<e:Envelope xmlns:e=\"%1\" xmlns:w=\"%2\" xmlns:d=\"%3\" xmlns:dn=\"%4\" xmlns:tds=\"%5\"%6><e:Header>"
      "<w:MessageID>%7</w:MessageID><w:Action>%8</w:Action></e:Header><e:Body><d:Probe>%9</d:Probe></e:Body></e:Envelope>")
      .arg(protocol::NsSoapEnvelope, protocol::NsAddressing, protocol::NsDiscovery, protocol::NsNetworkWsdl,
           protocol::NsDevice, extraNs, id, protocol::ProbeAction, types)
      .toUtf8();
}

TEST(WsDiscovery, WhichProbesAreAnswered) {
  struct Case {
    const char* what;
    QByteArray probe;
    bool answered;
  } cases[] = {
      {"no types", ProbeText(""), true},
      {"NetworkVideoTransmitter", ProbeText("<d:Types>dn:NetworkVideoTransmitter</d:Types>"), true},
      {"Device", ProbeText("<d:Types>tds:Device</d:Types>"), true},
      {"both", ProbeText("<d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>"), true},
      {"another prefix", ProbeText("<d:Types>q:NetworkVideoTransmitter</d:Types>", "urn:uuid:1",
                               QStringLiteral(" xmlns:q=\"%1\"").arg(protocol::NsNetworkWsdl)), true},
      {"an undeclared prefix", ProbeText("<d:Types>zz:NetworkVideoTransmitter</d:Types>"), true},
      {"the right name in a wrong namespace", ProbeText("<d:Types>q:NetworkVideoTransmitter</d:Types>", "urn:uuid:1",
                                                    " xmlns:q=\"urn:example:printers\""), false},
      {"a printer", ProbeText("<d:Types>dn:Printer</d:Types>"), false},
      {"no MessageID", ProbeText("", ""), false},
      {"a MessageID with a control character", ProbeText("", "urn:\x01"), false},
  };
  for (const Case& c : cases) {
    QString error;
    EXPECT_EQ(ReadProbe(c.probe, error).has_value(), c.answered) << c.what << ": " << qPrintable(error);
  }
  QString error;
  const auto probe = ReadProbe(ProbeText("<d:Scopes>onvif://www.onvif.org/name onvif://x</d:Scopes>", "urn:uuid:abc"), error);
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->messageId, "urn:uuid:abc");
  EXPECT_EQ(probe->scopes, (QStringList{"onvif://www.onvif.org/name", "onvif://x"}));
}

TEST(OnvifFleet, ProtocolsAndFaultsPerCamera) {
  const auto parse = [](const QString& fields, QString& error) {
    return ParseFleet(QStringLiteral(R"({"cameras": [{"mac": "0.12.34.9.0.1", "settings": {"SysIPAddress": "127.9.0.1"}%1}]})")
                          .arg(fields)
                          .toUtf8(),
                      true, error);
  };
  struct Case {
    const char* fields;
    bool accepted, sentrova, onvif;
  } cases[] = {
      {R"(, "family": 2)", true, true, false},
      {R"(, "protocols": ["onvif"])", true, false, true},
      {R"(, "family": 0, "protocols": ["sentrova", "onvif"])", true, true, true},
      {R"(, "protocols": ["sentrova"])", false, false, false},  // our own protocol needs its family
      {R"(, "protocols": [])", false, false, false},
      {R"(, "protocols": ["onvif", "onvif"])", false, false, false},
      {R"(, "protocols": ["http"])", false, false, false},
      {R"(, "protocols": "onvif")", false, false, false},
      {R"(, "protocols": ["onvif"], "faults": {"digestOnly": true, "usernameTokenOnly": true})", false, false, false},
      {R"(, "protocols": ["onvif"], "faults": {"clockSkewSeconds": 1.5})", false, false, false},
      {R"(, "protocols": ["onvif"], "faults": {"clockSkew": 5})", false, false, false},
      {R"(, "protocols": ["onvif"], "faults": {"settleMs": -1})", false, false, false},
      {R"(, "protocols": ["onvif"], "faults": {"settleMs": 60001})", false, false, false},
      {R"(, "protocols": ["onvif"], "faults": {"rebootAnswerMs": 0.5})", false, false, false},
  };
  for (const Case& c : cases) {
    QString error;
    const auto fleet = parse(QLatin1String(c.fields), error);
    ASSERT_EQ(fleet.has_value(), c.accepted) << c.fields << ": " << qPrintable(error);
    if (!fleet) continue;
    EXPECT_EQ(fleet->front().sentrova, c.sentrova) << c.fields;
    EXPECT_EQ(fleet->front().onvif, c.onvif) << c.fields;
  }
  QString error;
  const auto skewed = parse(R"(, "protocols": ["onvif"], "macScope": false,
      "faults": {"clockSkewSeconds": -3600, "rebootNeeded": true, "usernameTokenOnly": true})", error);
  ASSERT_TRUE(skewed) << qPrintable(error);
  const CameraProfile& camera = skewed->front();
  EXPECT_EQ(camera.faults.clockSkewSeconds, -3600);
  EXPECT_TRUE(camera.faults.rebootNeeded);
  EXPECT_TRUE(camera.faults.usernameTokenOnly);
  EXPECT_FALSE(camera.faults.digestOnly);
  EXPECT_FALSE(camera.macScope);
  EXPECT_EQ(camera.family, 2) << "an ONVIF-only camera logs in first";

  const auto device = parse(R"(, "protocols": ["onvif"], "faults": {"writesIgnored": true, "openReads": true,
      "refusalAs400": true, "emptyGateway": true, "settleMs": 1000, "rebootAnswerMs": 4000})", error);
  ASSERT_TRUE(device) << qPrintable(error);
  const Faults& faults = device->front().faults;
  EXPECT_TRUE(faults.writesIgnored && faults.openReads && faults.refusalAs400 && faults.emptyGateway);
  EXPECT_EQ(faults.settleMs, 1000);
  EXPECT_EQ(faults.rebootAnswerMs, 4000);
}

}  // namespace
}  // namespace camd
