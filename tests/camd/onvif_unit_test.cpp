// The rules of the simulator's ONVIF side that are easy to get subtly wrong:
// the UsernameToken and its clock window, prefix lengths and the addresses a
// camera refuses, which requests it reads and which probes it answers.
#include <QUuid>
#include <gtest/gtest.h>

#include "camd/fleet.h"
#include "camd/onvif_auth.h"
#include "camd/onvif_discovery.h"
#include "camd/onvif_service.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"

namespace camd {
namespace {

UsernameToken TokenAt(const QDateTime& created, const QString& password,
                      const QString& type = protocol::PasswordDigestType) {
  UsernameToken token;
  token.user = "admin";
  token.nonce = QUuid::createUuid().toRfc4122();  // fresh, as a client makes it
  token.created = created.toString(Qt::ISODateWithMs);
  token.password = protocol::PasswordDigest(token.nonce, token.created, password);
  token.passwordType = type;
  return token;
}

const QHostAddress kClient(QStringLiteral("127.0.0.2"));
const QHostAddress kOther(QStringLiteral("127.0.0.3"));

// What a camera makes of a token: admitted to the password check only
// inside the window around its own clock, once per nonce.
TEST(OnvifToken, CheckedAgainstTheCamerasClockOncePerNonce) {
  const QDateTime pc = QDateTime::currentDateTimeUtc();
  constexpr qint64 past = TokenBook::PastMs / 1000;
  constexpr qint64 future = TokenBook::FutureMs / 1000;
  struct Case {
    const char* what;
    qint64 cameraAheadSeconds;  // the camera's clock minus the PC's
    qint64 tokenFromPcSeconds;  // the token's creation time minus the PC's
    const char* type;
    TokenResult expected;
  } cases[] = {
      {"same clocks", 0, 0, protocol::PasswordDigestType, TokenResult::Admitted},
      {"camera 2 h ahead, client uses its clock", 7200, 7200, protocol::PasswordDigestType, TokenResult::Admitted},
      {"camera 1 h behind, client uses its clock", -3600, -3600, protocol::PasswordDigestType, TokenResult::Admitted},
      {"camera 2 h ahead, client ignores it", 7200, 0, protocol::PasswordDigestType, TokenResult::OutsideWindow},
      {"camera 1 h behind, client ignores it", -3600, 0, protocol::PasswordDigestType, TokenResult::OutsideWindow},
      {"old, inside the window", 0, -past + 2, protocol::PasswordDigestType, TokenResult::Admitted},
      {"older than the window", 0, -past - 2, protocol::PasswordDigestType, TokenResult::OutsideWindow},
      {"ahead, inside the window", 0, future - 2, protocol::PasswordDigestType, TokenResult::Admitted},
      {"further ahead than the window", 0, future + 2, protocol::PasswordDigestType, TokenResult::OutsideWindow},
      {"299 s ahead", 0, 299, protocol::PasswordDigestType, TokenResult::OutsideWindow},
      {"plain text is never accepted", 0, 0,
       "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText",
       TokenResult::Malformed},
  };
  for (const Case& c : cases) {
    TokenBook book;
    const UsernameToken token = TokenAt(pc.addSecs(c.tokenFromPcSeconds), "1234", QLatin1String(c.type));
    EXPECT_EQ(book.Admit(token, pc.addSecs(c.cameraAheadSeconds), kClient), c.expected) << c.what;
  }
  TokenBook book;
  const UsernameToken token = TokenAt(pc, "1234");
  EXPECT_TRUE(TokenMatches(token, "admin", "1234"));
  EXPECT_FALSE(TokenMatches(token, "admin", "12345"));
  EXPECT_FALSE(TokenMatches(token, "root", "1234"));
  UsernameToken plain = token;
  plain.password = "1234";
  EXPECT_FALSE(TokenMatches(plain, "admin", "1234")) << "the password itself as the digest";
  UsernameToken badTime = token;
  badTime.created = "yesterday";
  EXPECT_EQ(book.Admit(badTime, pc, kClient), TokenResult::Malformed);
  // Spent once: its sender may repeat it for a moment; anyone else, and its
  // sender later, is refused until it leaves the window, then it is too old.
  book.Spend(token, pc, kClient);
  EXPECT_EQ(book.Admit(token, pc.addMSecs(TokenBook::RepeatMs), kClient), TokenResult::Admitted);
  EXPECT_EQ(book.Admit(token, pc, kOther), TokenResult::Replayed);
  EXPECT_EQ(book.Admit(token, pc.addMSecs(TokenBook::RepeatMs + 1), kClient), TokenResult::Replayed);
  EXPECT_EQ(book.Admit(token, pc.addSecs(past - 1), kOther), TokenResult::Replayed);
  EXPECT_EQ(book.Admit(token, pc.addSecs(past + 1), kClient), TokenResult::OutsideWindow);
  UsernameToken sameNonce = TokenAt(pc.addSecs(1), "1234");
  sameNonce.nonce = token.nonce;
  sameNonce.password = protocol::PasswordDigest(sameNonce.nonce, sameNonce.created, "1234");
  EXPECT_EQ(book.Admit(sameNonce, pc, kOther), TokenResult::Admitted)
      << "the nonce with another time needs the password";
  EXPECT_EQ(book.Admit(TokenAt(pc, "1234"), pc, kOther), TokenResult::Admitted) << "another nonce";
}

// A full book forgets its oldest token, and then refuses every token as old
// as that one rather than take it a second time.
TEST(OnvifToken, AFullBookNeverTakesAForgottenTokenAgain) {
  const QDateTime pc = QDateTime::currentDateTimeUtc();
  TokenBook book;
  const UsernameToken first = TokenAt(pc.addSecs(-30), "1234");
  book.Spend(first, pc, kClient);
  for (qsizetype i = 1; i < TokenBook::MaxKept; ++i) book.Spend(TokenAt(pc.addMSecs(-20000 + i), "1234"), pc, kClient);
  EXPECT_EQ(book.Admit(first, pc, kOther), TokenResult::Replayed);
  book.Spend(TokenAt(pc, "1234"), pc, kClient);
  EXPECT_EQ(book.Admit(first, pc, kOther), TokenResult::OutsideWindow) << "forgotten, so refused as too old";
  EXPECT_EQ(book.Admit(TokenAt(pc.addSecs(-31), "1234"), pc, kClient), TokenResult::OutsideWindow);
  EXPECT_EQ(book.Admit(TokenAt(pc, "1234"), pc, kClient), TokenResult::Admitted);
}

TEST(OnvifToken, ReadFromTheSecurityHeaderOnly) {
  const QByteArray soap =
      QStringLiteral(
          "<s:Envelope xmlns:s=\"%1\"><s:Header><Security xmlns=\"%2\"><UsernameToken><Username>admin</Username>"
          "<Password Type=\"%3\">abc=</Password><Nonce>AAEC</Nonce>"
          "<Created xmlns=\"%4\">2026-01-02T03:04:05Z</Created></UsernameToken></Security></s:Header>"
          "<s:Body><GetUsers xmlns=\"%5\"/></s:Body></s:Envelope>")
          .arg(protocol::NsSoapEnvelope, protocol::NsSecurity, protocol::PasswordDigestType,
               protocol::NsSecurityUtility, protocol::NsDevice)
          .toUtf8();
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
      {"192.168.0.20", 24, false}, {"192.168.0.0", 24, true},
      {"192.168.0.255", 24, true}, {"192.168.0.255", 23, false},
      {"192.168.1.255", 23, true}, {"10.0.0.1", 30, false},
      {"10.0.0.3", 30, true},      {"10.0.0.1", 31, true},
      {"10.0.0.1", 32, true},      {"10.0.0.1", 0, true},
      {"10.0.0.1", -1, true},      {"10.0.0", 24, true},
      {"10.0.0.256", 24, true},    {"", 24, true},
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
          "</s:Body></s:Envelope>")
      .toUtf8();
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
      {"SOAP 1.1",
       "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><Op/></s:Body></s:Envelope>",
       "not a SOAP 1.2 envelope"},
      {"an empty body", Envelope(""), "no operation"},
      {"no body",
       QStringLiteral("<s:Envelope xmlns:s=\"%1\"><s:Header/></s:Envelope>").arg(protocol::NsSoapEnvelope).toUtf8(),
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
  const QByteArray soap =
      QStringLiteral(
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope xmlns:env=\"%1\"><env:Body>"
          "<x:SetNetworkInterfaces xmlns:x=\"%2\"><x:NetworkInterface><IPv4 xmlns=\"%3\"><DHCP>false</DHCP>"
          "<Manual><PrefixLength>24</PrefixLength><Address> 10.0.0.5 </Address></Manual><Enabled>true</Enabled></IPv4>"
          "</x:NetworkInterface><x:InterfaceToken>eth0</x:InterfaceToken></x:SetNetworkInterfaces></env:Body>"
          "<env:Header/></env:Envelope>")
          .arg(protocol::NsSoapEnvelope, protocol::NsDevice, protocol::NsSchema)
          .toUtf8();
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
             "<w:MessageID>%7</w:MessageID><w:Action>%8</w:Action></e:Header><e:Body><d:Probe>%9</d:Probe></e:Body></"
             "e:Envelope>")
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
      {"another prefix",
       ProbeText("<d:Types>q:NetworkVideoTransmitter</d:Types>", "urn:uuid:1",
                 QStringLiteral(" xmlns:q=\"%1\"").arg(protocol::NsNetworkWsdl)),
       true},
      {"an undeclared prefix", ProbeText("<d:Types>zz:NetworkVideoTransmitter</d:Types>"), true},
      {"the right name in a wrong namespace",
       ProbeText("<d:Types>q:NetworkVideoTransmitter</d:Types>", "urn:uuid:1", " xmlns:q=\"urn:example:printers\""),
       false},
      {"a printer", ProbeText("<d:Types>dn:Printer</d:Types>"), false},
      {"no MessageID", ProbeText("", ""), false},
      {"a MessageID with a control character", ProbeText("", "urn:\x01"), false},
  };
  for (const Case& c : cases) {
    QString error;
    EXPECT_EQ(ReadProbe(c.probe, error).has_value(), c.answered) << c.what << ": " << qPrintable(error);
  }
  QString error;
  const auto probe =
      ReadProbe(ProbeText("<d:Scopes>onvif://www.onvif.org/name onvif://x</d:Scopes>", "urn:uuid:abc"), error);
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->messageId, "urn:uuid:abc");
  EXPECT_EQ(probe->scopes, (QStringList{"onvif://www.onvif.org/name", "onvif://x"}));
}

TEST(OnvifFleet, ProtocolsAndFaultsPerCamera) {
  const auto parse = [](const QString& fields, QString& error) {
    return ParseFleet(
        QStringLiteral(R"({"cameras": [{"mac": "0.12.34.9.0.1", "settings": {"SysIPAddress": "127.9.0.1"}%1}]})")
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
      "faults": {"clockSkewSeconds": -3600, "rebootNeeded": true, "usernameTokenOnly": true})",
                            error);
  ASSERT_TRUE(skewed) << qPrintable(error);
  const CameraProfile& camera = skewed->front();
  EXPECT_EQ(camera.faults.clockSkewSeconds, -3600);
  EXPECT_TRUE(camera.faults.rebootNeeded);
  EXPECT_TRUE(camera.faults.usernameTokenOnly);
  EXPECT_FALSE(camera.faults.digestOnly);
  EXPECT_FALSE(camera.macScope);
  EXPECT_EQ(camera.family, 2) << "an ONVIF-only camera logs in first";

  const auto device = parse(R"(, "protocols": ["onvif"], "faults": {"writesIgnored": true, "openReads": true,
      "refusalAs400": true, "emptyGateway": true, "settleMs": 1000, "rebootAnswerMs": 4000})",
                            error);
  ASSERT_TRUE(device) << qPrintable(error);
  const Faults& faults = device->front().faults;
  EXPECT_TRUE(faults.writesIgnored && faults.openReads && faults.refusalAs400 && faults.emptyGateway);
  EXPECT_EQ(faults.settleMs, 1000);
  EXPECT_EQ(faults.rebootAnswerMs, 4000);
}

}  // namespace
}  // namespace camd
