#include "protocol/protocol.h"
#include "protocol/setting_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using protocol::Kind;
using protocol::Message;

QByteArray Json(const char* text) { return QByteArray(text); }

Message SampleHere() {
  Message m;
  m.kind = Kind::Here;
  m.nonce = QStringLiteral("0123456789abcdef");
  m.mac = QStringLiteral("0.12.34.255.1.2");
  m.address = QStringLiteral("127.0.1.5");
  m.mask = QStringLiteral("255.255.255.0");
  m.gateway = QStringLiteral("127.0.1.1");
  m.mode = QStringLiteral("X-350");
  m.caption = QStringLiteral("Front door");
  m.version = QStringLiteral("2.10.001");
  m.family = 2;
  m.port = 80;
  return m;
}

TEST(ProtocolDatagram, HereRoundTripsWithEveryField) {
  const QByteArray datagram = protocol::BuildDatagram(SampleHere());
  ASSERT_FALSE(datagram.isEmpty());
  const protocol::Parsed parsed = protocol::ParseDatagram(datagram);
  ASSERT_TRUE(parsed.message) << parsed.error.toStdString();
  const Message& m = *parsed.message;
  EXPECT_EQ(m.kind, Kind::Here);
  EXPECT_EQ(m.nonce, u"0123456789abcdef");
  EXPECT_EQ(m.mac, u"0.12.34.255.1.2");
  EXPECT_EQ(m.address, u"127.0.1.5");
  EXPECT_EQ(m.mask, u"255.255.255.0");
  EXPECT_EQ(m.gateway, u"127.0.1.1");
  EXPECT_EQ(m.mode, u"X-350");
  EXPECT_EQ(m.caption, u"Front door");
  EXPECT_EQ(m.version, u"2.10.001");
  EXPECT_EQ(m.family, 2);
  EXPECT_EQ(m.port, 80);
}

// Requests and replies share an op; the reply's own field tells them apart,
// so neither side mistakes its own echo for the other's message.
TEST(ProtocolDatagram, RequestsAndRepliesAreToldApart) {
  struct Case {
    const char* json;
    Kind kind;
  };
  const Case cases[] = {
      {R"({"v":1,"op":"probe","nonce":"0123456789abcdef"})", Kind::Probe},
      {R"({"v":1,"op":"challenge","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6"})", Kind::ChallengeRequest},
      {R"({"v":1,"op":"challenge","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","challenge":"0123456789abcdef0123456789abcdef","state":2})",
       Kind::ChallengeReply},
      {R"({"v":1,"op":"login","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","state":3})", Kind::LoginReply},
      {R"({"v":1,"op":"who-has","nonce":"0123456789abcdef","address":"127.0.0.9"})", Kind::WhoHasRequest},
      {R"({"v":1,"op":"who-has","nonce":"0123456789abcdef","address":"127.0.0.9","mac":"1.2.3.4.5.6"})",
       Kind::WhoHasReply},
      {R"({"v":1,"op":"change-address","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","result":0,"error":"bad mask"})",
       Kind::ChangeAddressReply},
      {R"({"v":1,"op":"apply","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","result":1})", Kind::ApplyReply},
  };
  for (const Case& c : cases) {
    const protocol::Parsed parsed = protocol::ParseDatagram(Json(c.json));
    ASSERT_TRUE(parsed.message) << c.json << " " << parsed.error.toStdString();
    EXPECT_EQ(parsed.message->kind, c.kind) << c.json;
    EXPECT_EQ(protocol::IsReply(c.kind),
              c.kind != Kind::Probe && c.kind != Kind::ChallengeRequest && c.kind != Kind::WhoHasRequest)
        << c.json;
  }
}

TEST(ProtocolDatagram, BadDatagramsAreDroppedWithAReason) {
  const char* bad[] = {
      "",
      "not json",
      "[1,2,3]",
      R"({"op":"probe","nonce":"0123456789abcdef"})",
      R"({"v":2,"op":"probe","nonce":"0123456789abcdef"})",
      R"({"v":"1","op":"probe","nonce":"0123456789abcdef"})",
      R"({"v":1,"op":"reboot","nonce":"0123456789abcdef"})",
      R"({"v":1,"op":"probe"})",
      R"({"v":1,"op":"probe","nonce":"0123456789abcde"})",
      R"({"v":1,"op":"probe","nonce":"0123456789abcdeg"})",
      R"({"v":1,"op":"probe","nonce":12})",
      R"({"v":1,"op":"who-has","nonce":"0123456789abcdef","address":"127.0.0.256"})",
      R"({"v":1,"op":"who-has","nonce":"0123456789abcdef","address":"127.0.0.09"})",
      R"({"v":1,"op":"who-has","nonce":"0123456789abcdef","address":"127.0.0.9","mac":"1.2.3.4.5"})",
      R"({"v":1,"op":"login","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","state":1})",
      R"({"v":1,"op":"login","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","state":2.5})",
      R"({"v":1,"op":"apply","nonce":"0123456789abcdef","mac":"1.2.3.4.5.6","result":"1"})",
  };
  for (const char* json : bad) {
    const protocol::Parsed parsed = protocol::ParseDatagram(Json(json));
    EXPECT_FALSE(parsed.message) << json;
    EXPECT_FALSE(parsed.error.isEmpty()) << json;
  }
}

TEST(ProtocolDatagram, HereFieldsAreCheckedOneByOne) {
  struct Case {
    const char* field;
    QJsonValue value;
  };
  const Case cases[] = {
      {"mac", QStringLiteral("0.12.34.255.1.256")},
      {"mac", QStringLiteral("0:12:34:255:1:2")},
      {"address", QStringLiteral("localhost")},
      {"mask", QStringLiteral("")},
      {"gateway", QStringLiteral("1.2.3")},
      {"mode", QString(65, u'x')},
      {"caption", QString(65, u'x')},
      {"version", 2.1},
      {"family", 1},
      {"family", QStringLiteral("2")},
      {"port", 0},
      {"port", 65536},
  };
  for (const Case& c : cases) {
    QJsonObject object = QJsonDocument::fromJson(protocol::BuildDatagram(SampleHere())).object();
    object.insert(QString::fromLatin1(c.field), c.value);
    const protocol::Parsed parsed = protocol::ParseDatagram(QJsonDocument(object).toJson(QJsonDocument::Compact));
    EXPECT_FALSE(parsed.message) << c.field;
    EXPECT_TRUE(parsed.error.contains(QString::fromLatin1(c.field))) << parsed.error.toStdString();
  }
}

TEST(ProtocolDatagram, LimitsOfSizeAndTextLength) {
  Message here = SampleHere();
  here.caption = QString(64, QChar(0x00e9));  // 64 units, 128 bytes of UTF-8: allowed
  EXPECT_TRUE(protocol::ParseDatagram(protocol::BuildDatagram(here)).message);
  here.caption = QString(65, u'a');
  EXPECT_TRUE(protocol::BuildDatagram(here).isEmpty()) << "an invalid message is never built";

  QJsonObject object = QJsonDocument::fromJson(protocol::BuildDatagram(SampleHere())).object();
  object.insert(u"padding"_qs, QString(1400, u'p'));  // unknown field, but too large
  const QByteArray large = QJsonDocument(object).toJson(QJsonDocument::Compact);
  EXPECT_GT(large.size(), protocol::MaxDatagramBytes);
  EXPECT_FALSE(protocol::ParseDatagram(large).message);

  object.insert(u"padding"_qs, u"small unknown field"_qs);
  EXPECT_TRUE(protocol::ParseDatagram(QJsonDocument(object).toJson(QJsonDocument::Compact)).message)
      << "unknown fields are ignored";
}

TEST(ProtocolDatagram, EmptyGatewayAndOptionalErrorAreAccepted) {
  Message here = SampleHere();
  here.gateway.clear();
  EXPECT_TRUE(protocol::ParseDatagram(protocol::BuildDatagram(here)).message);
  Message reply;
  reply.kind = Kind::ApplyReply;
  reply.nonce = QStringLiteral("0123456789abcdef");
  reply.mac = QStringLiteral("1.2.3.4.5.6");
  reply.result = 1;
  const QByteArray datagram = protocol::BuildDatagram(reply);
  EXPECT_FALSE(datagram.contains("error"));
  EXPECT_EQ(protocol::ParseDatagram(datagram).message->result, 1);
}

TEST(ProtocolText, DottedTextsAreStrict) {
  struct Case {
    const char* text;
    bool ipv4;
    bool mac;
  };
  const Case cases[] = {
      {"127.0.0.1", true, false},
      {"255.255.255.255", true, false},
      {"0.0.0.0", true, false},
      {"1.2.3.4.5.6", false, true},
      {"0.12.34.255.1.2", false, true},
      {"01.2.3.4", false, false},
      {"1.2.3.4 ", false, false},
      {"1..3.4", false, false},
      {"1.2.3.-4", false, false},
      {"1.2.3.4.5.6.7", false, false},
      {"", false, false},
      {"1.2.3.1000", false, false},
      {"\xef\xbc\x91.2.3.4", false, false},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(protocol::IsIPv4(text), c.ipv4) << c.text;
    EXPECT_EQ(protocol::IsMacText(text), c.mac) << c.text;
  }
  EXPECT_EQ(protocol::ParseIPv4(u"10.1.2.3"_qs), 0x0a010203u);
  EXPECT_TRUE(protocol::IsLoopback(u"127.200.3.4"_qs));
  EXPECT_FALSE(protocol::IsLoopback(u"128.0.0.1"_qs));
  EXPECT_FALSE(protocol::IsLoopback(u"192.0.2.77"_qs));
  EXPECT_FALSE(protocol::IsLoopback(u"127.0.0"_qs));
}

TEST(ProtocolProof, BindsEveryFieldAndThePassword) {
  Message login;
  login.kind = Kind::LoginRequest;
  login.nonce = QStringLiteral("0123456789abcdef");
  login.mac = QStringLiteral("1.2.3.4.5.6");
  login.id = QStringLiteral("admin");
  login.challenge = QStringLiteral("00112233445566778899aabbccddeeff");
  // HMAC-SHA256(key "secret", "00112233445566778899aabbccddeeff:0123456789abcdef:1.2.3.4.5.6:admin"),
  // computed independently with Python's hmac module.
  EXPECT_EQ(protocol::Proof(login, u"secret"_qs),
            u"1f8db1b75265bfa70d471f914c873a7257a2bb3c7a4610e266f4b971a8ebf055"_qs);
  login.proof = protocol::Proof(login, u"secret"_qs);
  EXPECT_TRUE(protocol::ProofMatches(login, u"secret"_qs));
  EXPECT_FALSE(protocol::ProofMatches(login, u"Secret"_qs));

  Message other = login;
  other.id = QStringLiteral("admim");
  EXPECT_FALSE(protocol::ProofMatches(other, u"secret"_qs)) << "the proof covers the id";
  other = login;
  other.mac = QStringLiteral("1.2.3.4.5.7");
  EXPECT_FALSE(protocol::ProofMatches(other, u"secret"_qs)) << "the proof covers the mac";

  Message change = login;
  change.kind = Kind::ChangeAddressRequest;
  change.address = QStringLiteral("127.0.9.9");
  change.mask = QStringLiteral("255.255.255.0");
  change.gateway = QString();
  change.proof = protocol::Proof(change, u"secret"_qs);
  EXPECT_NE(change.proof, login.proof);
  EXPECT_TRUE(protocol::ProofMatches(change, u"secret"_qs));
  change.address = QStringLiteral("127.0.9.8");
  EXPECT_FALSE(protocol::ProofMatches(change, u"secret"_qs)) << "the proof covers the new address";

  Message probe;
  EXPECT_TRUE(protocol::Proof(probe, u"secret"_qs).isEmpty());
}

TEST(ProtocolDigest, ResponseMatchesTheRfcExample) {
  // RFC 7616 section 3.9.1, MD5 and SHA-256.
  const QString md5 =
      protocol::DigestResponse(u"MD5"_qs, u"Mufasa"_qs, u"Circle of Life"_qs, u"http-auth@example.org"_qs,
                               u"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v"_qs, u"GET"_qs, u"/dir/index.html"_qs,
                               u"00000001"_qs, u"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ"_qs, u"auth"_qs);
  EXPECT_EQ(md5, u"8ca523f5e9506fed4657c9700eebdbec"_qs);
  const QString sha =
      protocol::DigestResponse(u"SHA-256"_qs, u"Mufasa"_qs, u"Circle of Life"_qs, u"http-auth@example.org"_qs,
                               u"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v"_qs, u"GET"_qs, u"/dir/index.html"_qs,
                               u"00000001"_qs, u"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ"_qs, u"auth"_qs);
  EXPECT_EQ(sha, u"753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"_qs);
}

TEST(ProtocolDigest, ChallengeParsingAndAuthorization) {
  const auto challenge = protocol::ParseDigestChallenge(
      R"(Digest realm="sentrova-camera", qop="auth,auth-int", nonce="abc\"def", opaque="xyz", algorithm=MD5)");
  ASSERT_TRUE(challenge);
  EXPECT_EQ(challenge->realm, u"sentrova-camera");
  EXPECT_EQ(challenge->nonce, u"abc\"def");
  EXPECT_EQ(challenge->opaque, u"xyz");
  EXPECT_EQ(challenge->algorithm, u"MD5");
  EXPECT_EQ(challenge->qop, u"auth");
  EXPECT_FALSE(protocol::ParseDigestChallenge(R"(Basic realm="x")"));
  EXPECT_FALSE(protocol::ParseDigestChallenge(R"(Digest realm="x", nonce="n", algorithm=SHA-512-256)"));
  EXPECT_FALSE(protocol::ParseDigestChallenge(R"(Digest realm="x")"));

  const QByteArray header =
      protocol::DigestAuthorization(*challenge, u"ad\"min"_qs, u"pw"_qs, u"GET"_qs, u"/setup/v1/hello"_qs);
  const QMap<QString, QString> params = protocol::ParseAuthParams(header.mid(7));
  EXPECT_EQ(params.value(u"username"_qs), u"ad\"min") << "quotes in the user name are escaped";
  EXPECT_EQ(params.value(u"nonce"_qs), challenge->nonce);
  EXPECT_EQ(params.value(u"opaque"_qs), u"xyz");
  EXPECT_EQ(params.value(u"qop"_qs), u"auth");
  EXPECT_EQ(
      params.value(u"response"_qs),
      protocol::DigestResponse(u"MD5"_qs, u"ad\"min"_qs, u"pw"_qs, u"sentrova-camera"_qs, challenge->nonce, u"GET"_qs,
                               u"/setup/v1/hello"_qs, params.value(u"nc"_qs), params.value(u"cnonce"_qs), u"auth"_qs));
  EXPECT_FALSE(header.contains("pw\"")) << "the password never appears";
  EXPECT_TRUE(
      protocol::DigestAuthorization(*challenge, u"admin\r\nX-Evil: 1"_qs, u"pw"_qs, u"GET"_qs, u"/"_qs).isEmpty());
}

TEST(ProtocolDigest, SchemeInAnyCaseAndNoParameterTwice) {
  for (const char* scheme : {"Digest", "digest", "DIGEST", "dIgEsT"}) {
    const auto challenge =
        protocol::ParseDigestChallenge(QByteArray(scheme) + R"( realm="r", nonce="n", algorithm=SHA-256)");
    ASSERT_TRUE(challenge) << scheme;
    EXPECT_EQ(challenge->algorithm, u"SHA-256");
  }
  EXPECT_TRUE(protocol::ParseDigestChallenge("Digest\trealm=\"r\", nonce=\"n\""));
  EXPECT_FALSE(protocol::ParseDigestChallenge(R"(Digestive realm="r", nonce="n")"));
  EXPECT_FALSE(protocol::ParseDigestChallenge(R"(Digest realm="r", nonce="n", nonce="m")"))
      << "which nonce would the camera check?";
  EXPECT_FALSE(protocol::ParseDigestChallenge(R"(Digest realm="r", nonce="n", algorithm=MD5, ALGORITHM=SHA-256)"));
  bool duplicated = false;
  protocol::ParseAuthParams(R"(a=1, b="2")", &duplicated);
  EXPECT_FALSE(duplicated);
  protocol::ParseAuthParams(R"(a=1, A="2")", &duplicated);
  EXPECT_TRUE(duplicated);
}

TEST(ProtocolSettingRules, TextsACameraCanKeep) {
  const struct {
    QString text;
    const char* refusal;
  } cases[] = {
      {u"admin"_qs, ""},
      {u"caf\u00e9 \U0001F600"_qs, ""},
      {u""_qs, ""},
      {u"ad\nmin"_qs, "holds a control character"},
      {u"pw\u007f"_qs, "holds a control character"},
      {u"\u0085"_qs, "holds a control character"},
      {u"\u009b2J"_qs, "holds a control character"},
      {u"\u00a0ok"_qs, ""},
      {QString(QChar(0xD800)), "holds a lone surrogate"},
      {u"a"_qs + QChar(0xDC00) + QChar(0xD800), "holds a lone surrogate"},
      {u"end"_qs + QChar(0xD83D), "holds a lone surrogate"},
  };
  for (const auto& c : cases) EXPECT_EQ(protocol::TextRefusal(c.text), QLatin1String(c.refusal)) << c.text.size();
}

TEST(ProtocolSettingRules, NetworkAndBroadcastAddressesAreNoHosts) {
  const auto host = [](const char* address, const char* mask) {
    return protocol::IsHostOfNetwork(*protocol::ParseIPv4(QLatin1String(address)),
                                     *protocol::ParseIPv4(QLatin1String(mask)));
  };
  EXPECT_TRUE(host("127.255.255.254", "255.255.255.0"));
  EXPECT_FALSE(host("127.255.255.255", "255.255.255.0"));
  EXPECT_FALSE(host("127.255.255.255", "255.0.0.0"));
  EXPECT_FALSE(host("10.1.2.0", "255.255.255.0"));
  EXPECT_TRUE(host("10.1.2.255", "255.255.0.0"));
  EXPECT_FALSE(host("10.1.255.255", "255.255.0.0"));
  EXPECT_FALSE(host("10.1.2.3", "255.255.255.252"));
  EXPECT_TRUE(host("10.1.2.3", "255.255.255.254")) << "/31 has no network or broadcast address";
  EXPECT_TRUE(host("10.1.2.3", "255.255.255.255"));
}

TEST(ProtocolRandom, NoncesAreHexAndDiffer) {
  const QString a = protocol::RandomHex(16);
  const QString b = protocol::RandomHex(16);
  EXPECT_TRUE(protocol::IsHex(a, 16));
  EXPECT_TRUE(protocol::IsHex(protocol::RandomHex(32), 32));
  EXPECT_NE(a, b);
}

}  // namespace
