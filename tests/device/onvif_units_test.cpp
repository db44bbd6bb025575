// The subtle rules of the ONVIF side: the UsernameToken header, the camera's
// clock offset, mask and prefix length, and how answers are read.
#include <gtest/gtest.h>

#include <QDateTime>

#include "device/onvif_auth.h"
#include "device/onvif_discovery.h"
#include "device/onvif_soap.h"
#include "protocol/protocol.h"

namespace {

using namespace device::onvif;

QDateTime Utc(const char* text) { return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs); }

TEST(OnvifDigest, HeaderCarriesTheDigestInTheCamerasTimeAndNeverThePassword) {
  const QByteArray nonce = QByteArray::fromHex("00112233445566778899aabbccddeeff");
  const QDateTime ours = Utc("2026-12-08T10:00:00.000Z");
  struct Case {
    qint64 offsetMs;
    const char* created;
  };
  // A camera two hours ahead, one an hour behind, one in step.
  const Case cases[] = {{2 * 3600 * 1000, "2026-12-08T12:00:00.000Z"},
                        {-3600 * 1000, "2026-12-08T09:00:00.000Z"},
                        {0, "2026-12-08T10:00:00.000Z"}};
  for (const Case& c : cases) {
    const QString header = SecurityHeader(u"admin"_qs, u"s3cret<&>"_qs, c.offsetMs, ours, nonce);
    const QString created = QString::fromLatin1(c.created);
    EXPECT_TRUE(header.contains(u"<wsu:Created>"_qs + created + u"</wsu:Created>"_qs)) << header.toStdString();
    EXPECT_TRUE(header.contains(protocol::PasswordDigest(nonce, created, u"s3cret<&>"_qs)));
    EXPECT_TRUE(header.contains(u"#PasswordDigest"_qs));
    EXPECT_FALSE(header.contains(u"s3cret"_qs)) << "the password itself never travels";
    EXPECT_FALSE(header.contains(u"PasswordText"_qs));
  }
}

TEST(OnvifClock, OffsetIsTheCamerasTimeMinusTheExchangesMidpoint) {
  const QDateTime sent = Utc("2026-12-08T10:00:00.000Z");
  const QDateTime received = Utc("2026-12-08T10:00:00.400Z");
  EXPECT_EQ(ClockOffsetMs(Utc("2026-12-08T12:00:00.200Z"), sent, received), 2 * 3600 * 1000);  // two hours ahead
  EXPECT_EQ(ClockOffsetMs(Utc("2026-12-08T09:00:00.200Z"), sent, received), -3600 * 1000);     // an hour behind
  EXPECT_EQ(ClockOffsetMs(Utc("2026-12-08T10:00:00.200Z"), sent, received), 0);
}

TEST(OnvifMask, PrefixLengthOnlyForContiguousMasks) {
  struct Case {
    const char* mask;
    std::optional<int> prefix;
  };
  const Case cases[] = {
      {"255.255.255.0", 24}, {"255.255.255.255", 32}, {"255.255.254.0", 23}, {"128.0.0.0", 1},      {"0.0.0.0", 0},
      {"255.0.255.0", {}},   {"255.255.255.1", {}},   {"0.255.255.255", {}}, {"255.255.256.0", {}}, {"", {}},
      {"255.255.255", {}}};
  for (const Case& c : cases) {
    EXPECT_EQ(PrefixLength(QString::fromLatin1(c.mask)), c.prefix) << c.mask;
    if (c.prefix) {
      EXPECT_EQ(MaskText(*c.prefix), QString::fromLatin1(c.mask));
    }
  }
}

TEST(OnvifMac, HardwareAddressBecomesTheListsForm) {
  EXPECT_EQ(MacListText(u"28:57:be:65:7d:d5"_qs), u"40.87.190.101.125.213"_qs);
  EXPECT_EQ(MacListText(u"00-0C-22-FF-01-02"_qs), u"0.12.34.255.1.2"_qs);
  for (const char16_t* bad : {u"", u"28:57:be:65:7d", u"28:57:be:65:7d:zz", u"285:7b:e6:57:dd:5", u"1:2:3:4:5:6"}) {
    EXPECT_EQ(MacListText(QString::fromUtf16(bad)), QString()) << QString::fromUtf16(bad).toStdString();
  }
}

TEST(OnvifXml, MatchesByNamespaceNotPrefixInAnyOrder) {
  const QByteArray a = R"(<x:Envelope xmlns:x="http://www.w3.org/2003/05/soap-envelope"><x:Body>
      <d:GetHostnameResponse xmlns:d="http://www.onvif.org/ver10/device/wsdl"/></x:Body></x:Envelope>)";
  const QByteArray b = R"(<Envelope xmlns="http://www.w3.org/2003/05/soap-envelope"><Header/><Body>
      <GetHostnameResponse xmlns="http://www.onvif.org/ver10/device/wsdl"/></Body></Envelope>)";
  for (const QByteArray& xml : {a, b}) {
    const SoapAnswer answer = ReadAnswer(xml);
    ASSERT_TRUE(answer.ok()) << answer.error.toStdString();
    EXPECT_TRUE(answer.response->Is(Ns::Device, u"GetHostnameResponse"));
  }
  // The same names in a foreign namespace are not a SOAP envelope.
  const SoapAnswer foreign = ReadAnswer(R"(<s:Envelope xmlns:s="urn:not-soap"><s:Body><a/></s:Body></s:Envelope>)");
  EXPECT_FALSE(foreign.response);
  EXPECT_TRUE(foreign.error.contains(u"not a SOAP envelope"_qs));
}

TEST(OnvifSoap, ReadsTheNotAuthorizedFault) {
  const SoapAnswer answer = ReadAnswer(R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope"
      xmlns:ter="http://www.onvif.org/ver10/error"><env:Body><env:Fault>
      <env:Code><env:Value>env:Sender</env:Value><env:Subcode><env:Value>ter:NotAuthorized</env:Value></env:Subcode>
      </env:Code><env:Reason><env:Text xml:lang="en">Sender not Authorized</env:Text></env:Reason>
      </env:Fault></env:Body></env:Envelope>)");
  ASSERT_TRUE(answer.fault);
  EXPECT_FALSE(answer.ok());
  EXPECT_EQ(answer.fault->code, u"Sender"_qs);
  EXPECT_EQ(answer.fault->subcode, u"NotAuthorized"_qs);
  EXPECT_EQ(answer.fault->reason, u"Sender not Authorized"_qs);
}

TEST(OnvifSoap, RequestsEscapeWhatTheUserTyped) {
  const QByteArray envelope = Envelope(SetUserRequest(u"ad<min"_qs, u"p&w\"</tt:Password>"_qs));
  const SoapAnswer read = ReadAnswer(envelope);
  ASSERT_TRUE(read.response) << read.error.toStdString();
  const XmlElement* user = read.response->Child(u"User");
  ASSERT_TRUE(user);
  EXPECT_EQ(user->ChildText(u"Username"), u"ad<min"_qs);
  EXPECT_EQ(user->ChildText(u"Password"), u"p&w\"</tt:Password>"_qs);
}

QByteArray Matches(const QString& relatesTo, const QString& matchXml) {
  return (uR"(<?xml version="1.0"?><e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"
      xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">
      <e:Header><a:RelatesTo>)"_qs +
          relatesTo + uR"(</a:RelatesTo></e:Header><e:Body><d:ProbeMatches>)"_qs + matchXml +
          u"</d:ProbeMatches></e:Body></e:Envelope>"_qs)
      .toUtf8();
}

QString Match(const QString& endpoint, const QString& types, const QString& scopes, const QString& xaddrs) {
  return u"<d:ProbeMatch><a:EndpointReference><a:Address>"_qs + endpoint +
         u"</a:Address></a:EndpointReference><d:Types>"_qs + types + u"</d:Types><d:Scopes>"_qs + scopes +
         u"</d:Scopes><d:XAddrs>"_qs + xaddrs + u"</d:XAddrs></d:ProbeMatch>"_qs;
}

TEST(OnvifProbeMatches, RowFromScopesWithTheSourceAddressWinning) {
  const QString scopes =
      u"onvif://www.onvif.org/name/Front%20Door onvif://www.onvif.org/hardware/DC-1 onvif://www.onvif.org/MAC/00:0c:22:ff:01:02"_qs;
  const ProbeMatches read = ReadProbeMatches(
      Matches(u"urn:uuid:1"_qs, Match(u"urn:uuid:cam-1"_qs, u"dn:NetworkVideoTransmitter"_qs, scopes,
                                      u"http://0.0.0.0/onvif/device_service http://[fe80::1]/onvif"_qs)));
  ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
  EXPECT_EQ(read.relatesTo, u"urn:uuid:1"_qs);
  ASSERT_EQ(read.matches.size(), 1u);
  const std::optional<device::FoundCamera> camera = CameraFromMatch(read.matches[0], QHostAddress(u"127.3.0.7"_qs));
  ASSERT_TRUE(camera);
  EXPECT_EQ(camera->address, u"127.3.0.7"_qs);
  EXPECT_EQ(camera->caption, u"Front Door (DC-1)"_qs);
  EXPECT_EQ(camera->mac, u"0.12.34.255.1.2"_qs);
  EXPECT_EQ(camera->mode, u"ONVIF"_qs);
  EXPECT_EQ(camera->endpoint, u"urn:uuid:cam-1"_qs);
  EXPECT_EQ(camera->family, 2);
  EXPECT_TRUE(camera->mask.isEmpty() && camera->gateway.isEmpty() && camera->version.isEmpty())
      << "unknown before a login stays unknown";

  // Not a camera: no device or video transmitter type.
  const ProbeMatches printer = ReadProbeMatches(
      Matches(u"urn:uuid:1"_qs, Match(u"urn:uuid:p"_qs, u"wprt:PrintDeviceType"_qs, QString(), QString())));
  ASSERT_EQ(printer.matches.size(), 1u);
  EXPECT_FALSE(CameraFromMatch(printer.matches[0], QHostAddress(u"127.3.0.8"_qs)));
}

// The row's device service is where the first usable XAddr puts it (port
// and path), always on the answer's source host; ONVIF's usual place when
// no XAddr is usable.
TEST(OnvifProbeMatches, TheServicePortAndPathComeFromTheFirstUsableXAddr) {
  const struct {
    QStringList xaddrs;
    int port;
    const char16_t* path;
  } cases[] = {
      {{u"http://127.3.0.7:8080/onvif/device_service"_qs}, 8080, u"/onvif/device_service"},
      {{u"http://127.3.0.7/svc/dev"_qs}, 80, u"/svc/dev"},
      {{u"http://127.3.0.7:8080"_qs}, 8080, u"/"},
      {{u"http://0.0.0.0:8081/x"_qs}, 8081, u"/x"},
      {{u"https://127.3.0.7:443/a"_qs, u"http://127.3.0.7:81/b"_qs}, 81, u"/b"},
      {{u"http://[fe80::1]:82/c"_qs, u"http://camera.local:83/d"_qs, u"http://127.3.0.7:0/e"_qs},
       80,
       u"/onvif/device_service"},
      {{u"http://127.3.0.7:84/a b"_qs}, 80, u"/onvif/device_service"},
      {{}, 80, u"/onvif/device_service"},
  };
  for (const auto& one : cases) {
    const ProbeMatch match{u"urn:uuid:cam-1"_qs, {u"tds:Device"_qs}, {}, one.xaddrs};
    const std::optional<device::FoundCamera> camera = CameraFromMatch(match, QHostAddress(u"127.3.0.7"_qs));
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->port, one.port) << one.xaddrs.join(u' ').toStdString();
    EXPECT_EQ(camera->path, QString::fromUtf16(one.path)) << one.xaddrs.join(u' ').toStdString();
    EXPECT_EQ(camera->address, u"127.3.0.7"_qs);
  }
}

TEST(OnvifProbeMatches, RefusesAnswersThatAreNotProbeMatches) {
  const QByteArray noEndpoint = Matches(u"urn:uuid:1"_qs, Match(QString(), u"tds:Device"_qs, QString(), QString()));
  const QByteArray probe = ProbeMessage(u"urn:uuid:2"_qs, u"tds:Device"_qs);  // our own probe, heard back
  const QByteArray wrongNs = QByteArray(Matches(u"urn:uuid:1"_qs, Match(u"urn:uuid:c"_qs, u"tds:Device"_qs, {}, {})))
                                 .replace("ws/2005/04/discovery", "ws/2099/01/other");
  for (const QByteArray& datagram : {noEndpoint, probe, wrongNs, QByteArray("not xml")}) {
    const ProbeMatches read = ReadProbeMatches(datagram);
    EXPECT_TRUE(read.matches.empty());
    EXPECT_FALSE(read.error.isEmpty());
  }
}

// A device answers with its own match; an answer naming more devices than a
// discovery proxy would is refused whole, before it is parsed.
TEST(OnvifProbeMatches, AnAnswerOfMoreThanEightMatchesIsRefused) {
  const auto answer = [](int count) {
    QString matches;
    for (int i = 0; i < count; ++i) matches += Match(u"urn:uuid:c-%1"_qs.arg(i), u"tds:Device"_qs, {}, {});
    return ReadProbeMatches(Matches(u"urn:uuid:1"_qs, matches));
  };
  const ProbeMatches eight = answer(device::onvif::MaxMatchesPerAnswer);
  EXPECT_TRUE(eight.error.isEmpty()) << eight.error.toStdString();
  EXPECT_EQ(eight.matches.size(), 8u);
  const ProbeMatches nine = answer(device::onvif::MaxMatchesPerAnswer + 1);
  EXPECT_TRUE(nine.matches.empty());
  EXPECT_EQ(nine.error, u"more than 8 matches in one answer"_qs);
}

}  // namespace
