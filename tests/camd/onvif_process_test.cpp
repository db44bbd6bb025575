// The real sentrova-camd's ONVIF cameras on loopback, seen from outside:
// WS-Discovery answers, logins by UsernameToken and Digest against skewed
// clocks and the auth faults, the SOAP faults for refused values and bad
// bodies, and users shared with our own protocol's account.
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "camd/digest.h"
#include "camd/onvif_auth.h"
#include "camd/onvif_service.h"
#include "protocol/onvif_xml.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"
#include "sim_process.h"
#include "support/skips.h"

namespace camd_test {
namespace {

constexpr char kOnvifOnly[] = "0.12.34.2.0.1";
constexpr char kBoth[] = "0.12.34.2.0.2";
constexpr char kAhead[] = "0.12.34.2.0.3";   // clock 2 h ahead, UsernameToken only
constexpr char kBehind[] = "0.12.34.2.0.4";  // clock 1 h behind, Digest only
constexpr char kDevice[] = "/onvif/device_service";

QString Soap(const QString& operation, const QString& header = {}) {
  return QStringLiteral(
             "<s:Envelope xmlns:s=\"%1\" xmlns:tds=\"%2\" xmlns:tt=\"%3\" xmlns:trt=\"%4\"><s:Header>%5</s:Header>"
             "<s:Body>%6</s:Body></s:Envelope>")
      .arg(protocol::NsSoapEnvelope, protocol::NsDevice, protocol::NsSchema, protocol::NsMedia, header, operation);
}

// A UsernameToken header created at `created` (the client's idea of the camera's time).
QString Token(const QString& user, const QString& password, const QDateTime& created) {
  const QByteArray nonce = QUuid::createUuid().toRfc4122();
  const QString at = created.toString(Qt::ISODateWithMs);
  return QStringLiteral(
             "<Security xmlns=\"%1\"><UsernameToken><Username>%2</Username><Password Type=\"%3\">%4</Password>"
             "<Nonce>%5</Nonce><Created xmlns=\"%6\">%7</Created></UsernameToken></Security>")
      .arg(protocol::NsSecurity, user, protocol::PasswordDigestType, protocol::PasswordDigest(nonce, at, password),
           QString::fromLatin1(nonce.toBase64()), protocol::NsSecurityUtility, at);
}

class OnvifSim : public testing::Test {
 protected:
  void SetUp() override {
    range_ = RandomRange();
    const QString fleet = QStringLiteral(R"({"cameras": [
      {"mac": "%1", "protocols": ["onvif"], "mode": "X-350", "caption": "Porch", "settings": {"SysIPAddress": "%5.10"}},
      {"mac": "%2", "protocols": ["sentrova", "onvif"], "family": 2, "caption": "Yard", "macScope": false,
       "settings": {"SysIPAddress": "%5.11"}},
      {"mac": "%3", "protocols": ["onvif"], "settings": {"SysIPAddress": "%5.12"},
       "faults": {"clockSkewSeconds": 7200, "usernameTokenOnly": true}},
      {"mac": "%4", "protocols": ["onvif"], "settings": {"SysIPAddress": "%5.13"},
       "faults": {"clockSkewSeconds": -3600, "digestOnly": true}}]})")
                              .arg(kOnvifOnly, kBoth, kAhead, kBehind, range_);
    startWith(fleet);
  }
  void startWith(const QString& fleet) {
    // A WS-Discovery port of its own keeps parallel tests' probes apart.
    wsdPort_ = FreeUdpPort();
    ASSERT_TRUE(sim_.start({"--fleet", sim_.writeFleet(fleet.toUtf8()), "--state-dir", sim_.dir() + "/state",
                            "--restart-ms", "300", "--onvif-discovery-port", QString::number(wsdPort_)}))
        << qPrintable(sim_.errorOutput());
  }
  QString at(int host) const { return range_ + u'.' + QString::number(host); }
  HttpAnswer post(int host, const QString& soap, const QByteArray& authorization = {}) {
    return Http(at(host), 80, "POST", kDevice, soap.toUtf8(), authorization);
  }
  QJsonObject savedSettings(const QString& mac) {
    QFile file(sim_.dir() + "/state/" + mac + ".json");
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object().value("settings").toObject();
  }

  SimProcess sim_;
  QString range_;
  quint16 wsdPort_ = 0;
};

// The text down a path of local names in any namespace; empty when absent.
QString TextAt(const protocol::XmlElement& element, std::initializer_list<QStringView> path) {
  const protocol::XmlElement* at = element.Find(path, protocol::Ns::Any);
  return at ? at->text : QString();
}

QDateTime CameraTime(const HttpAnswer& answer) {
  const protocol::SoapRead read = protocol::ReadSoap(answer.body);
  if (!read.message) return {};
  const protocol::XmlElement* utc = read.message->body.Find(
      {u"GetSystemDateAndTimeResponse", u"SystemDateAndTime", u"UTCDateTime"}, protocol::Ns::Any);
  if (!utc) return {};
  return QDateTime(QDate(TextAt(*utc, {u"Date", u"Year"}).toInt(), TextAt(*utc, {u"Date", u"Month"}).toInt(),
                         TextAt(*utc, {u"Date", u"Day"}).toInt()),
                   QTime(TextAt(*utc, {u"Time", u"Hour"}).toInt(), TextAt(*utc, {u"Time", u"Minute"}).toInt(),
                         TextAt(*utc, {u"Time", u"Second"}).toInt()),
                   Qt::UTC);
}

TEST_F(OnvifSim, ClockIncludesTheSkewAndTokensFollowIt) {
  struct Case {
    int host;
    qint64 skew;
  } cases[] = {{10, 0}, {12, 7200}};
  for (const Case& c : cases) {
    const HttpAnswer time = post(c.host, Soap("<tds:GetSystemDateAndTime/>"));
    ASSERT_EQ(time.status, 200) << time.body.constData();
    const QDateTime camera = CameraTime(time);
    const qint64 offset = QDateTime::currentDateTimeUtc().secsTo(camera);
    EXPECT_LE(qAbs(offset - c.skew), 5) << c.host;
    // A client that uses the camera's clock logs in; one that uses its own is refused.
    const HttpAnswer right = post(c.host, Soap("<tds:GetDeviceInformation/>", Token("admin", "1234", camera)));
    EXPECT_EQ(right.status, 200) << c.host << right.body.constData();
    EXPECT_TRUE(right.body.contains("<tds:Model>")) << right.body.constData();
    const HttpAnswer own =
        post(c.host, Soap("<tds:GetDeviceInformation/>", Token("admin", "1234", QDateTime::currentDateTimeUtc())));
    EXPECT_EQ(own.status, c.skew == 0 ? 200 : 400) << c.host;
  }
  EXPECT_TRUE(sim_.waitForLog(
      QStringLiteral("camera %1 onvif %2 op=GetDeviceInformation user=admin refused=token-outside-clock-window")
          .arg(kAhead, kDevice)));
}

TEST_F(OnvifSim, RefusalsAsOnvifDefinesThem) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  // No credentials: a Digest challenge (MD5 then SHA-256) where Digest is offered.
  const HttpAnswer none = post(10, Soap("<tds:GetUsers/>"));
  EXPECT_EQ(none.status, 401);
  ASSERT_EQ(none.authenticate.size(), 2);
  EXPECT_TRUE(none.authenticate[0].contains("algorithm=MD5"));
  EXPECT_TRUE(none.authenticate[1].contains("algorithm=SHA-256"));
  EXPECT_TRUE(none.body.contains("ter:NotAuthorized"));
  // A wrong token: 400 with ter:NotAuthorized and no challenge.
  const HttpAnswer wrong = post(10, Soap("<tds:GetUsers/>", Token("admin", "4321", now)));
  EXPECT_EQ(wrong.status, 400);
  EXPECT_TRUE(wrong.body.contains("<env:Value>env:Sender</env:Value>"));
  EXPECT_TRUE(wrong.body.contains("<env:Value>ter:NotAuthorized</env:Value>"));
  EXPECT_TRUE(wrong.authenticate.isEmpty());
  // UsernameToken only: no challenge, ever.
  const HttpAnswer tokenOnly = post(12, Soap("<tds:GetUsers/>"));
  EXPECT_EQ(tokenOnly.status, 400);
  EXPECT_TRUE(tokenOnly.authenticate.isEmpty());
  // Digest only: a right token is not enough, the Digest login is.
  const QDateTime behind = now.addSecs(-3600);
  const HttpAnswer ignored = post(13, Soap("<tds:GetUsers/>", Token("admin", "1234", behind)));
  EXPECT_EQ(ignored.status, 401);
  for (int offer : {0, 1}) {
    const HttpAnswer digest =
        HttpLogin(at(13), 80, "POST", kDevice, "admin", "1234", Soap("<tds:GetUsers/>").toUtf8(), offer);
    EXPECT_EQ(digest.status, 200) << offer << digest.body.constData();
    EXPECT_TRUE(digest.body.contains("<tt:Username>admin</tt:Username>"));
    const HttpAnswer bad =
        HttpLogin(at(13), 80, "POST", kDevice, "admin", "nope", Soap("<tds:GetUsers/>").toUtf8(), offer);
    EXPECT_EQ(bad.status, 401);
  }
  // Anyone may ask for the time and the capabilities, nothing else.
  EXPECT_EQ(post(13, Soap("<tds:GetCapabilities/>")).status, 200);
  EXPECT_EQ(post(13, Soap("<trt:GetProfiles/>")).status, 401);
}

TEST_F(OnvifSim, RefusedValuesChangeNothing) {
  const QString token = Token("admin", "1234", QDateTime::currentDateTimeUtc());
  const auto setAddress = [&](const QString& address, const QString& prefix) {
    return post(10, Soap(QStringLiteral(
                             "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
                             "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled>"
                             "<tt:Manual><tt:Address>%1</tt:Address><tt:PrefixLength>%2</tt:PrefixLength></tt:Manual>"
                             "<tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>")
                             .arg(address, prefix),
                         token));
  };
  struct Case {
    const char* what;
    QString address, prefix;
  } cases[] = {
      {"prefix 0", at(50), "0"},
      {"prefix 31", at(50), "31"},
      {"prefix 33", at(50), "33"},
      {"prefix not a number", at(50), "x"},
      {"network address", range_ + ".0", "24"},
      {"broadcast address", range_ + ".255", "24"},
      {"not IPv4", "camera.local", "24"},
      {"outside the loopback network", "10.1.2.3", "8"},
  };
  for (const Case& c : cases) {
    const HttpAnswer answer = setAddress(c.address, c.prefix);
    EXPECT_EQ(answer.status, 400) << c.what;
    EXPECT_TRUE(answer.body.contains("<env:Value>env:Sender</env:Value>")) << c.what;
    EXPECT_TRUE(answer.body.contains("<env:Value>ter:InvalidArgVal</env:Value>")) << c.what << answer.body.constData();
  }
  const HttpAnswer gateway =
      post(10, Soap("<tds:SetNetworkDefaultGateway><tds:IPv4Address>255.255.255.255</tds:IPv4Address>"
                    "</tds:SetNetworkDefaultGateway>",
                    token));
  EXPECT_EQ(gateway.status, 400);
  EXPECT_TRUE(gateway.body.contains("ter:InvalidGatewayAddress"));
  EXPECT_TRUE(savedSettings(kOnvifOnly).isEmpty()) << "nothing was saved";
  const HttpAnswer read = post(10, Soap("<tds:GetNetworkInterfaces/>", token));
  EXPECT_TRUE(read.body.contains("<tt:Address>" + at(10).toUtf8() + "</tt:Address>"));
  EXPECT_TRUE(read.body.contains("<tt:PrefixLength>24</tt:PrefixLength>"));
  EXPECT_TRUE(read.body.contains("<tt:HwAddress>00:0c:22:02:00:01</tt:HwAddress>"));
}

TEST_F(OnvifSim, BadBodiesAreRefusedAndLogged) {
  QString deep;
  for (int i = 0; i < 100; ++i) deep += "<x>";
  for (int i = 0; i < 100; ++i) deep += "</x>";
  struct Case {
    const char* what;
    QByteArray body;
    int status;
    const char* logged;
  } cases[] = {
      {"a DTD", "<!DOCTYPE s [<!ENTITY a \"b\">]>" + Soap("<tds:GetUsers/>").toUtf8(), 400, "refused=a\\x20DTD"},
      {"deep nesting", Soap(deep).toUtf8(), 400, "refused=nested\\x20deeper"},
      {"oversized", Soap("<tds:GetUsers>" + QString(70000, u'x') + "</tds:GetUsers>").toUtf8(), 413,
       "connection refused status=413"},
      {"not XML", "GET me", 400, "refused=not\\x20well-formed"},
  };
  for (const Case& c : cases) {
    const HttpAnswer answer = Http(at(10), 80, "POST", kDevice, c.body);
    EXPECT_EQ(answer.status, c.status) << c.what;
    EXPECT_TRUE(sim_.waitForLog(QLatin1String(c.logged))) << c.what << qPrintable(sim_.log());
  }
  // An operation the camera does not know is env:Receiver ter:ActionNotSupported.
  const HttpAnswer unknown =
      post(10, Soap("<tds:StartFirmwareUpgrade/>", Token("admin", "1234", QDateTime::currentDateTimeUtc())));
  EXPECT_EQ(unknown.status, 500);
  EXPECT_TRUE(unknown.body.contains("ter:ActionNotSupported"));
}

// The head alone, on a raw connection: the answer comes before any body.
QByteArray AnswerToHead(const QString& address, const QByteArray& head) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress(address), 80);
  if (!socket.waitForConnected(3000)) return {};
  socket.write(head);
  QByteArray received;
  QElapsedTimer clock;
  clock.start();
  while (!received.contains("\r\n\r\n") && clock.elapsed() < 5000) {
    socket.waitForReadyRead(100);
    received += socket.readAll();
  }
  return received;
}

TEST_F(OnvifSim, BodiesAreRefusedBeforeTheyAreRead) {
  struct Case {
    const char* what;
    QByteArray head;
    const char* status;
  } cases[] = {
      {"a declared body over the cap",
       "POST /onvif/device_service HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n", "HTTP/1.1 413"},
      {"a length that is not a number", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: lots\r\n\r\n", "HTTP/1.1 400"},
      {"a chunked body", "POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 501"},
      {"a head without end", "POST / HTTP/1.1\r\nX-Pad: " + QByteArray(protocol::MaxHeaderBytes + 10, 'a'),
       "HTTP/1.1 431"},
  };
  for (const Case& c : cases) EXPECT_TRUE(AnswerToHead(at(10), c.head).startsWith(c.status)) << c.what;
  EXPECT_EQ(sim_.countInLog("connection refused"), 4);
  // A request within the caps still gets its answer.
  EXPECT_EQ(post(10, Soap("<tds:GetSystemDateAndTime/>")).status, 200);
}

TEST_F(OnvifSim, UsersAreTheCamerasOwnAccount) {
  const auto token = [](const QString& user, const QString& password) {
    return Token(user, password, QDateTime::currentDateTimeUtc());
  };
  const auto ok = [](const HttpAnswer& answer) { return answer.status == 200; };
  // A second administrator, proven, then the first one deleted.
  EXPECT_TRUE(
      ok(post(11, Soap("<tds:CreateUsers><tds:User><tt:Username>chief</tt:Username><tt:Password>pw2</tt:Password>"
                       "<tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:CreateUsers>",
                       token("admin", "1234")))));
  EXPECT_TRUE(ok(post(11, Soap("<tds:GetUsers/>", token("chief", "pw2")))));
  const HttpAnswer clash =
      post(11, Soap("<tds:CreateUsers><tds:User><tt:Username>chief</tt:Username><tt:Password>x</tt:Password>"
                    "<tt:UserLevel>User</tt:UserLevel></tds:User></tds:CreateUsers>",
                    token("admin", "1234")));
  EXPECT_TRUE(clash.body.contains("ter:UsernameClash"));
  const HttpAnswer tooLong =
      post(11, Soap("<tds:SetUser><tds:User><tt:Username>chief</tt:Username><tt:Password>123456789</tt:Password>"
                    "<tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:SetUser>",
                    token("chief", "pw2")));
  EXPECT_TRUE(tooLong.body.contains("ter:PasswordTooLong"));
  EXPECT_EQ(savedSettings(kBoth).value("SysAdminID"), "admin");
  EXPECT_TRUE(ok(
      post(11, Soap("<tds:DeleteUsers><tds:Username>admin</tds:Username></tds:DeleteUsers>", token("chief", "pw2")))));
  EXPECT_EQ(savedSettings(kBoth).value("SysAdminID"), "chief");
  EXPECT_EQ(savedSettings(kBoth).value("SysAdminPassword"), "pw2");
  EXPECT_EQ(post(11, Soap("<tds:GetUsers/>", token("admin", "1234"))).status, 400) << "the old account is gone";
  // Our own protocol's setup API takes the same account.
  EXPECT_EQ(HttpLogin(at(11), 80, "GET", protocol::HelloPath, "chief", "pw2").status, 200);
  EXPECT_EQ(HttpLogin(at(11), 80, "GET", protocol::HelloPath, "admin", "1234").status, 401);
  // The last administrator cannot be deleted or demoted.
  const HttpAnswer last =
      post(11, Soap("<tds:DeleteUsers><tds:Username>chief</tds:Username></tds:DeleteUsers>", token("chief", "pw2")));
  EXPECT_TRUE(last.body.contains("ter:FixedUser"));
  const HttpAnswer demote =
      post(11, Soap("<tds:SetUser><tds:User><tt:Username>chief</tt:Username><tt:Password>pw2</tt:Password>"
                    "<tt:UserLevel>User</tt:UserLevel></tds:User></tds:SetUser>",
                    token("chief", "pw2")));
  EXPECT_TRUE(demote.body.contains("ter:FixedUser"));
  EXPECT_EQ(savedSettings(kBoth).value("SysAdminID"), "chief");
  // An ONVIF-only camera has no setup API of our own.
  EXPECT_NE(HttpLogin(at(10), 80, "GET", protocol::HelloPath, "admin", "1234").status, 200);
}

// One brake on guessing the account, over every way in and from any
// source: the burst of wrong logins spent over HTTP Digest, the ONVIF
// logins and the MAC login are refused unchecked, the owner's right one too,
// until a second has passed.
TEST_F(OnvifSim, OneBrakePerAccountOverEveryWayIn) {
  using protocol::Kind;
  const auto wrongToken = [&](const QString& source) {
    return Http(at(11), 80, "POST", kDevice,
                Soap("<tds:GetUsers/>", Token("admin", "guess", QDateTime::currentDateTimeUtc())).toUtf8(), {}, source)
        .status;
  };
  const auto wrongOnvifDigest = [&] {
    return HttpLogin(at(11), 80, "POST", kDevice, "admin", "guess", Soap("<tds:GetUsers/>").toUtf8()).status;
  };
  Group group(sim_.port());
  protocol::Message login = Request(Kind::LoginRequest, kBoth);
  login.id = "admin";
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < camd::GuessBudget::Burst; ++i)
    EXPECT_EQ(HttpLogin(at(11), 80, "GET", protocol::HelloPath, "admin", "guess").status, 401) << i;
  const int httpDigest = HttpLogin(at(11), 80, "GET", protocol::HelloPath, "admin", "guess").status;
  const int tokenHere = wrongToken({});
  const int tokenElsewhere = wrongToken(range_ + ".200");
  const int onvifDigest = wrongOnvifDigest();
  const std::optional<protocol::Message> mac = ProvenCommand(group, login, "guess");
  const int owner = post(11, Soap("<tds:GetUsers/>", Token("admin", "1234", QDateTime::currentDateTimeUtc()))).status;
  if (clock.elapsed() < camd::GuessBudget::RefillMs) {  // else this machine was too slow to tell
    EXPECT_EQ(httpDigest, 429);
    EXPECT_EQ(tokenHere, 429);
    EXPECT_EQ(tokenElsewhere, 429) << "another source address is braked too";
    EXPECT_EQ(onvifDigest, 429);
    ASSERT_TRUE(mac);
    EXPECT_EQ(mac->state, 2);
    EXPECT_TRUE(sim_.waitForLog("id=admin state=2 unchecked"));
    EXPECT_EQ(owner, 429) << "refused unchecked while the brake is on";
  }
  QThread::msleep(camd::GuessBudget::RefillMs + 100);
  EXPECT_EQ(post(11, Soap("<tds:GetUsers/>", Token("admin", "1234", QDateTime::currentDateTimeUtc()))).status, 200)
      << "the owner gets in a second after the guessing";
}

// A UsernameToken is taken once: a copy from another address, or from its
// own a little later, is refused, for reads and writes alike; the window
// for its creation time holds in both directions; a Digest answer is taken
// once too.
TEST_F(OnvifSim, ACapturedLoginIsNeverTakenAgain) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const QString captured = Token("admin", "1234", now);
  EXPECT_EQ(post(10, Soap("<tds:GetUsers/>", captured)).status, 200);
  const QString gateway = Soap(
      "<tds:SetNetworkDefaultGateway><tds:IPv4Address>" + at(254) + "</tds:IPv4Address></tds:SetNetworkDefaultGateway>",
      captured);
  EXPECT_EQ(Http(at(10), 80, "POST", kDevice, gateway.toUtf8(), {}, range_ + ".200").status, 400);
  EXPECT_EQ(Http(at(10), 80, "POST", kDevice, Soap("<tds:GetUsers/>", captured).toUtf8(), {}, range_ + ".200").status,
            400);
  QThread::msleep(camd::TokenBook::RepeatMs + 100);
  EXPECT_EQ(post(10, gateway).status, 400) << "its own sender, later";
  EXPECT_TRUE(sim_.waitForLog("refused=token-replayed", 3));
  EXPECT_TRUE(savedSettings(kOnvifOnly).isEmpty()) << "the gateway was not written";

  struct Case {
    qint64 offsetMs;  // the token's creation time minus the camera's clock
    int status;
  } window[] = {{-camd::TokenBook::PastMs + 3000, 200},
                {-camd::TokenBook::PastMs - 3000, 400},
                {camd::TokenBook::FutureMs - 2000, 200},
                {camd::TokenBook::FutureMs + 3000, 400},
                {299000, 400}};
  for (const Case& c : window) {
    const HttpAnswer answer =
        post(10, Soap("<tds:GetUsers/>", Token("admin", "1234", QDateTime::currentDateTimeUtc().addMSecs(c.offsetMs))));
    EXPECT_EQ(answer.status, c.status) << c.offsetMs;
  }

  const QByteArray body = Soap("<tds:GetUsers/>").toUtf8();
  const HttpAnswer first = Http(at(10), 80, "POST", kDevice, body);
  ASSERT_EQ(first.status, 401);
  const QByteArray authorization = protocol::DigestAuthorization(*protocol::ParseDigestChallenge(first.authenticate[0]),
                                                                 "admin", "1234", "POST", kDevice);
  EXPECT_EQ(Http(at(10), 80, "POST", kDevice, body, authorization).status, 200);
  EXPECT_EQ(Http(at(10), 80, "POST", kDevice, body, authorization, range_ + ".200").status, 401)
      << "the same nc and cnonce";
}

// One camera, two protocols, one settings file: an ONVIF write made with
// the credentials still in force builds on what an HTTP apply stored for
// the restart, and never puts the old password back.
TEST_F(OnvifSim, AWriteOverOneProtocolKeepsTheOthersChange) {
  const QByteArray apply = R"({"settings":{"SysAdminPassword":"5678"}})";
  EXPECT_EQ(HttpLogin(at(11), 80, "POST", "/setup/v1/apply", "admin", "1234", apply).status, 200);
  const QString gateway = Soap(
      "<tds:SetNetworkDefaultGateway><tds:IPv4Address>" + at(254) + "</tds:IPv4Address></tds:SetNetworkDefaultGateway>",
      Token("admin", "1234", QDateTime::currentDateTimeUtc()));
  EXPECT_EQ(post(11, gateway).status, 200) << "the old password is in force until the restart";
  EXPECT_EQ(savedSettings(kBoth).value("SysAdminPassword"), "5678");
  EXPECT_EQ(savedSettings(kBoth).value("SysDefaultGateway"), at(254));
  EXPECT_EQ(HttpLogin(at(11), 80, "POST", "/setup/v1/restart", "admin", "1234").status, 200);
  ASSERT_TRUE(sim_.waitForLog(QStringLiteral("camera %1 state up").arg(kBoth), 2));
  EXPECT_EQ(HttpLogin(at(11), 80, "GET", protocol::HelloPath, "admin", "5678").status, 200);
  EXPECT_EQ(HttpLogin(at(11), 80, "GET", protocol::HelloPath, "admin", "1234").status, 401);
  EXPECT_EQ(post(11, Soap("<tds:GetNetworkDefaultGateway/>", Token("admin", "5678", QDateTime::currentDateTimeUtc())))
                .body.contains(at(254).toUtf8()),
            true);
}

// The ways of a real device the ONVIF client must cope with, one camera each.
class OnvifFaults : public OnvifSim {
 protected:
  static QString Mac(int host) { return QStringLiteral("0.12.34.3.0.%1").arg(host); }
  void SetUp() override {
    range_ = RandomRange();
    const QStringList faults = {R"("writesIgnored": true)", R"("openReads": true)", R"("refusalAs400": true)",
                                R"("emptyGateway": true)",  R"("settleMs": 1000)",  R"("rebootAnswerMs": 1500)",
                                R"("answerDelayMs": 600)"};
    QStringList cameras;
    for (int i = 0; i < faults.size(); ++i)
      cameras
          << QStringLiteral(
                 R"({"mac": "%1", "protocols": ["onvif"], "settings": {"SysIPAddress": "%2", "SysDefaultGateway": "%4"},
                                    "faults": {%3}})")
                 .arg(Mac(20 + i), at(20 + i), faults[i], at(1));
    startWith(QStringLiteral(R"({"cameras": [%1]})").arg(cameras.join(u',')));
  }
  static QString Now() { return Token("admin", "1234", QDateTime::currentDateTimeUtc()); }
  static QString As(const QString& password) { return Token("admin", password, QDateTime::currentDateTimeUtc()); }
  static QString SetPassword(const QString& password) {
    return QStringLiteral(
               "<tds:SetUser><tds:User><tt:Username>admin</tt:Username><tt:Password>%1</tt:Password>"
               "<tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:SetUser>")
        .arg(password);
  }
  static QString SetGateway(const QString& gateway) {
    return QStringLiteral(
               "<tds:SetNetworkDefaultGateway><tds:IPv4Address>%1</tds:IPv4Address>"
               "</tds:SetNetworkDefaultGateway>")
        .arg(gateway);
  }
  static QString SetAddress(const QString& address) {
    return QStringLiteral(
               "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
               "<tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Manual>"
               "<tt:Address>%1</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual>"
               "<tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>")
        .arg(address);
  }
  // The gateway a camera reports, read with the given credentials.
  QString gatewayOf(int host, const QString& token) {
    const HttpAnswer read = post(host, Soap("<tds:GetNetworkDefaultGateway/>", token));
    const protocol::SoapRead soap = protocol::ReadSoap(read.body);
    return read.status == 200 && soap.message
               ? TextAt(soap.message->body, {u"GetNetworkDefaultGatewayResponse", u"NetworkGateway", u"IPv4Address"})
               : QStringLiteral("status %1").arg(read.status);
  }
};

TEST_F(OnvifFaults, WritesAnsweredWithSuccessChangeNothing) {
  struct Case {
    QString request;
    const char* response;
  } cases[] = {
      {SetPassword("9999"), "<tds:SetUserResponse/>"},
      {SetGateway(range_ + ".99"), "<tds:SetNetworkDefaultGatewayResponse/>"},
      {SetAddress(at(99)), "<tds:SetNetworkInterfacesResponse/>"},
      {"<tds:CreateUsers><tds:User><tt:Username>chief</tt:Username><tt:Password>pw</tt:Password>"
       "<tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:CreateUsers>",
       "<tds:CreateUsersResponse/>"},
      {"<tds:DeleteUsers><tds:Username>admin</tds:Username></tds:DeleteUsers>", "<tds:DeleteUsersResponse/>"},
      {"<tds:SystemReboot/>", "<tds:Message>Rebooting</tds:Message>"},
  };
  for (const Case& c : cases) {
    const HttpAnswer answer = post(20, Soap(c.request, Now()));
    EXPECT_EQ(answer.status, 200) << c.response;
    EXPECT_TRUE(answer.body.contains(c.response)) << answer.body.constData();
  }
  // Still the old password, address, gateway and user list, and no reboot.
  const HttpAnswer users = post(20, Soap("<tds:GetUsers/>", Now()));
  EXPECT_EQ(users.status, 200);
  EXPECT_FALSE(users.body.contains("chief"));
  EXPECT_EQ(post(20, Soap("<tds:GetUsers/>", As("9999"))).status, 400);
  EXPECT_EQ(gatewayOf(20, Now()), range_ + ".1");
  EXPECT_TRUE(savedSettings(Mac(20)).isEmpty()) << "nothing was saved";
  EXPECT_EQ(sim_.countInLog(QStringLiteral("camera %1 state silent").arg(Mac(20))), 0);
  // A write still needs a login.
  EXPECT_EQ(post(20, Soap(SetPassword("9999"))).status, 401);
}

TEST_F(OnvifFaults, OpenReadsAnswerGetUsersWithoutALogin) {
  const HttpAnswer open = post(21, Soap("<tds:GetUsers/>"));
  EXPECT_EQ(open.status, 200);
  EXPECT_TRUE(open.body.contains("<tt:Username>admin</tt:Username>"));
  // The same read on a camera without the fault, and other reads on this one, need the login.
  EXPECT_EQ(post(20, Soap("<tds:GetUsers/>")).status, 401);
  EXPECT_EQ(post(21, Soap("<tds:GetDeviceInformation/>")).status, 401);
  EXPECT_EQ(post(21, Soap("<tds:GetDeviceInformation/>", As("wrong"))).status, 400);
  EXPECT_EQ(post(21, Soap("<tds:GetDeviceInformation/>", Now())).status, 200);
}

TEST_F(OnvifFaults, RefusedLoginsAre400NotAuthorized) {
  const HttpAnswer none = post(22, Soap("<tds:GetDeviceInformation/>"));
  EXPECT_EQ(none.status, 400);
  EXPECT_TRUE(none.body.contains("<env:Value>ter:NotAuthorized</env:Value>"));
  ASSERT_EQ(none.authenticate.size(), 2) << "Digest is still offered";
  const QByteArray body = Soap("<tds:GetDeviceInformation/>").toUtf8();
  const auto digest = [&](const QString& password) {
    const auto challenge = protocol::ParseDigestChallenge(none.authenticate[1]);
    return Http(at(22), 80, "POST", kDevice, body,
                protocol::DigestAuthorization(*challenge, "admin", password, "POST", kDevice));
  };
  const HttpAnswer wrong = digest("4321");
  EXPECT_EQ(wrong.status, 400);
  EXPECT_TRUE(wrong.body.contains("ter:NotAuthorized"));
  EXPECT_EQ(digest("1234").status, 200);
  EXPECT_EQ(post(22, Soap("<tds:GetDeviceInformation/>", As("4321"))).status, 400);
  EXPECT_EQ(post(22, Soap("<tds:GetDeviceInformation/>", Now())).status, 200);
}

TEST_F(OnvifFaults, EmptyGatewayIsReportedWhateverIsSet) {
  EXPECT_EQ(gatewayOf(23, Now()), QString());
  EXPECT_EQ(post(23, Soap(SetGateway(range_ + ".254"), Now())).status, 200);
  EXPECT_EQ(savedSettings(Mac(23)).value("SysDefaultGateway"), range_ + ".254") << "the gateway is set";
  EXPECT_EQ(gatewayOf(23, Now()), QString()) << "but never reported";
}

TEST_F(OnvifFaults, ChangesTakeEffectAfterTheSettleTime) {
  const QString settled = QStringLiteral("camera %1 onvif settled").arg(Mac(24));
  // Password: the old one still logs in right after the answer, the new one once settled.
  EXPECT_EQ(post(24, Soap(SetPassword("5678"), Now())).status, 200);
  EXPECT_EQ(post(24, Soap("<tds:GetUsers/>", As("5678"))).status, 400);
  EXPECT_EQ(post(24, Soap("<tds:GetUsers/>", Now())).status, 200);
  ASSERT_TRUE(sim_.waitForLog(settled, 1, 5000));
  EXPECT_EQ(post(24, Soap("<tds:GetUsers/>", As("5678"))).status, 200);
  EXPECT_EQ(post(24, Soap("<tds:GetUsers/>", Now())).status, 400);
  // Gateway.
  EXPECT_EQ(post(24, Soap(SetGateway(range_ + ".254"), As("5678"))).status, 200);
  EXPECT_EQ(gatewayOf(24, As("5678")), range_ + ".1");
  ASSERT_TRUE(sim_.waitForLog(settled, 2, 5000));
  EXPECT_EQ(gatewayOf(24, As("5678")), range_ + ".254");
  // Address: still at the old one right after the answer, then moved.
  EXPECT_EQ(post(24, Soap(SetAddress(at(124)), As("5678"))).status, 200);
  EXPECT_EQ(post(24, Soap("<tds:GetSystemDateAndTime/>")).status, 200);
  ASSERT_TRUE(sim_.waitForLog(QStringLiteral("camera %1 state up address=%2").arg(Mac(24), at(124)), 1, 5000));
  EXPECT_EQ(post(124, Soap("<tds:GetUsers/>", As("5678"))).status, 200);
  // A value the camera cannot keep is refused at once, as without the fault.
  EXPECT_EQ(post(124, Soap(SetPassword("123456789"), As("5678"))).status, 400);
}

TEST_F(OnvifFaults, SlowAnswersAndASlowRebootAnswer) {
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(post(26, Soap("<tds:GetSystemDateAndTime/>")).status, 200);
  EXPECT_GE(clock.elapsed(), 600) << "every ONVIF answer is slow";
  clock.restart();
  EXPECT_EQ(post(25, Soap("<tds:GetSystemDateAndTime/>")).status, 200);
  EXPECT_LT(clock.elapsed(), 1500) << "only the reboot's answer is slow";
  clock.restart();
  const HttpAnswer reboot = post(25, Soap("<tds:SystemReboot/>", Now()));
  EXPECT_EQ(reboot.status, 200);
  EXPECT_GE(clock.elapsed(), 1500);
  EXPECT_TRUE(sim_.waitForLog(QStringLiteral("camera %1 state silent ms=300").arg(Mac(25))));
  EXPECT_TRUE(sim_.waitForLog(QStringLiteral("camera %1 state up").arg(Mac(25)), 2));
}

// A Probe as a client sends it, and the answers heard on the probing socket.
struct Heard {
  QByteArray datagram;
  QString from;
};
QByteArray ProbeDatagram(const QString& messageId) {
  return QStringLiteral(
             "<e:Envelope xmlns:e=\"%1\" xmlns:w=\"%2\" xmlns:d=\"%3\" xmlns:dn=\"%4\"><e:Header>"
             "<w:MessageID>%5</w:MessageID><w:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</w:To>"
             "<w:Action>%6</w:Action></e:Header><e:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types>"
             "</d:Probe></e:Body></e:Envelope>")
      .arg(protocol::NsSoapEnvelope, protocol::NsAddressing, protocol::NsDiscovery, protocol::NsNetworkWsdl, messageId,
           protocol::ProbeAction)
      .toUtf8();
}

// Sends `flood` probes of other MessageIDs from another socket (which never
// reads its answers) first, then `copies` of `messageId` to `port`; listens
// for `listenMs` or until `enough` answers relate to `messageId`.
std::vector<Heard> ProbeOnLoopback(quint16 port, const QString& messageId, int copies, int listenMs, int flood = 0,
                                   int enough = 1000) {
  QUdpSocket flooder;
  EXPECT_TRUE(flooder.bind(QHostAddress("127.0.0.1"), 0));
  flooder.setMulticastInterface(QNetworkInterface::interfaceFromName("lo"));
  for (int i = 0; i < flood; ++i)
    flooder.writeDatagram(ProbeDatagram(QStringLiteral("urn:uuid:flood-%1").arg(i)), QHostAddress(protocol::OnvifGroup),
                          port);
  QUdpSocket socket;
  EXPECT_TRUE(socket.bind(QHostAddress("127.0.0.1"), 0));
  socket.setMulticastInterface(QNetworkInterface::interfaceFromName("lo"));
  const QByteArray probe = ProbeDatagram(messageId);
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < copies; ++i) socket.writeDatagram(probe, QHostAddress(protocol::OnvifGroup), port);
  std::vector<Heard> heard;
  int related = 0;
  while (clock.elapsed() < listenMs && related < enough) {
    socket.waitForReadyRead(50);
    while (socket.hasPendingDatagrams()) {
      const QNetworkDatagram datagram = socket.receiveDatagram();
      heard.push_back({datagram.data(), datagram.senderAddress().toString()});
      related += datagram.data().contains(messageId.toUtf8()) ? 1 : 0;
    }
  }
  return heard;
}

TEST_F(OnvifSim, ProbeMatchesCameBackUnicastOncePerCamera) {
  const QString id = "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces);
  const std::vector<Heard> heard = ProbeOnLoopback(wsdPort_, id, 3, 1500);
  QStringList ours;
  for (const Heard& answer : heard) {
    const protocol::SoapRead read = protocol::ReadSoap(answer.datagram);
    ASSERT_TRUE(read.message) << qPrintable(read.error);
    if (TextAt(read.message->header, {u"RelatesTo"}) != id) continue;  // another test's camera
    const protocol::XmlElement* match = read.message->body.Find({u"ProbeMatches", u"ProbeMatch"}, protocol::Ns::Any);
    ASSERT_TRUE(match);
    const QString xaddr = TextAt(*match, {u"XAddrs"});
    if (!xaddr.contains(range_ + u'.')) continue;
    ours << answer.from;
    EXPECT_EQ(xaddr, camd::DeviceXAddr(answer.from, 80)) << "XAddrs name the address the answer came from";
    const QString mac = answer.from == at(10)   ? kOnvifOnly
                        : answer.from == at(11) ? kBoth
                        : answer.from == at(12) ? kAhead
                                                : kBehind;
    EXPECT_EQ(TextAt(*match, {u"EndpointReference", u"Address"}), camd::EndpointReference(mac));
    EXPECT_EQ(TextAt(*match, {u"Scopes"}).contains("/MAC/"), mac != QLatin1String(kBoth)) << qPrintable(mac);
  }
  ours.sort();
  EXPECT_EQ(ours, (QStringList{at(10), at(11), at(12), at(13)})) << "one answer per camera for three copies";
  EXPECT_EQ(sim_.countInLog("sim wsd probe repeated id=" + id), 2);
}

TEST_F(OnvifSim, AProbeAfterAFloodIsStillAnswered) {
  const QString id = "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces);
  const std::vector<Heard> heard = ProbeOnLoopback(wsdPort_, id, 1, 20000, 1000, 4);
  int answers = 0;
  for (const Heard& answer : heard) answers += answer.datagram.contains(id.toUtf8()) ? 1 : 0;
  EXPECT_EQ(answers, 4) << "every camera answers the probe after 1000 others";
}

// A hundred cameras after a flood of 20 000 probes: a new search is
// answered by all of them within seconds; what waited is dropped unanswered.
TEST(OnvifFlood, ANewProbeAfterAFloodIsAnsweredWhole) {
  SimProcess sim;
  const quint16 port = FreeUdpPort();
  ASSERT_TRUE(sim.start({"--count", "100", "--first-address", RandomRange() + ".10", "--protocols", "onvif",
                         "--onvif-discovery-port", QString::number(port)}))
      << qPrintable(sim.errorOutput());
  ProbeOnLoopback(port, QStringLiteral("urn:uuid:flood-end"), 1, 0, 20000);
  // A search after the flood, again with a new probe until answered whole, as a user would search again.
  QElapsedTimer clock;
  clock.start();
  int answers = 0;
  while (answers < 100 && clock.elapsed() < 5000) {
    const QString id = "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    answers = 0;
    for (const Heard& answer : ProbeOnLoopback(port, id, 1, 700, 0, 100))
      answers += answer.datagram.contains(id.toUtf8()) ? 1 : 0;
  }
  EXPECT_EQ(answers, 100) << "every camera answered within 5 s of the flood";
  EXPECT_TRUE(sim.waitForLog("sim wsd stale dropped=")) << "flooded probes were dropped unanswered";
}

// A flood of probes and of datagrams that are no probe writes at most the
// cap of lines of each kind per window and counts the rest.
TEST_F(OnvifSim, FloodsAreLoggedUpToTheCap) {
  constexpr int kFlood = 300;
  QUdpSocket flooder;
  ASSERT_TRUE(flooder.bind(QHostAddress("127.0.0.1"), 0));
  flooder.setMulticastInterface(QNetworkInterface::interfaceFromName("lo"));
  for (int i = 0; i < kFlood; ++i) {
    flooder.writeDatagram(ProbeDatagram(QStringLiteral("urn:uuid:flood-%1").arg(i)), QHostAddress(protocol::OnvifGroup),
                          wsdPort_);
    flooder.writeDatagram("<not-a-probe/>", QHostAddress(protocol::OnvifGroup), wsdPort_);
  }
  // The log is read once the simulator has had the flood.
  ASSERT_TRUE(sim_.waitForLog("sim wsd probe: further lines only counted"));
  ASSERT_TRUE(sim_.waitForLog("sim wsd dropped: further lines only counted"));
  EXPECT_TRUE(LoggedWithinCap(sim_.cappedLog("sim wsd probe"), kFlood));
  EXPECT_TRUE(LoggedWithinCap(sim_.cappedLog("sim wsd dropped"), kFlood));
}

TEST_F(OnvifSim, OnvifOnlyCamerasIgnoreOurOwnProbe) {
  Group group(sim_.port());
  protocol::Message probe;
  probe.kind = protocol::Kind::Probe;
  probe.nonce = protocol::RandomHex(protocol::NonceHexChars);
  group.send(probe);
  const auto answers = group.collect(
      [&](const protocol::Message& m) { return m.kind == protocol::Kind::Here && m.nonce == probe.nonce; }, 800);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].mac, kBoth);
}

// In a network namespace of its own (lo, and a veth pair vc0/vc1), where
// another local socket joined the WS-Discovery group on vc0: the simulator's
// cameras on lo answer a probe sent on lo, and never hear one sent on vc0.
TEST(OnvifConfinement, CamerasHearOnlyTheirOwnInterface) {
  const int home = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(home, 0) << std::strerror(errno);
  if (::unshare(CLONE_NEWNET) != 0) {
    ::close(home);
    SENTROVA_SKIP("no network namespace here: " << std::strerror(errno));
  }
  struct BackHome {  // the rest of the program runs in the host's namespace again
    int descriptor;
    ~BackHome() {
      ::setns(descriptor, CLONE_NEWNET);
      ::close(descriptor);
    }
  } backHome{home};
  for (const char* command : {"ip link set lo up", "ip link add vc0 type veth peer name vc1",
                              "ip addr add 10.77.0.1/24 dev vc0", "ip link set vc0 up", "ip link set vc1 up"})
    if (std::system(command) != 0) SENTROVA_SKIP("cannot make the namespace's links: " << command);

  SimProcess sim;
  const quint16 port = FreeUdpPort();
  ASSERT_TRUE(sim.start({"--fleet", sim.writeFleet(R"({"cameras": [{"mac": "0.12.34.2.0.9", "protocols": ["onvif"],
                                                       "settings": {"SysIPAddress": "127.0.0.10"}}]})"),
                         "--onvif-discovery-port", QString::number(port)}))
      << qPrintable(sim.errorOutput());
  const QHostAddress group(QString::fromLatin1(protocol::OnvifGroup));
  const QNetworkInterface veth = QNetworkInterface::interfaceFromName("vc0");
  QUdpSocket other;
  ASSERT_TRUE(other.bind(group, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) &&
              other.joinMulticastGroup(group, veth))
      << qPrintable(other.errorString());
  QUdpSocket onVeth;
  ASSERT_TRUE(onVeth.bind(QHostAddress("10.77.0.1"), 0));
  onVeth.setMulticastInterface(veth);
  onVeth.writeDatagram(ProbeDatagram(QStringLiteral("urn:uuid:on-vc0")), group, port);
  ASSERT_TRUE(other.waitForReadyRead(3000)) << "the probe was heard on vc0";

  // Read after the probe on vc0: had the simulator heard that one, it would
  // have logged it first.
  const QString id = "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces);
  const std::vector<Heard> heard = ProbeOnLoopback(port, id, 1, 3000, 0, 1);
  EXPECT_EQ(heard.size(), 1u) << "the camera on lo answers a probe on lo";
  EXPECT_TRUE(sim.waitForLog("sim wsd probe id=" + id));
  EXPECT_EQ(sim.countInLog("10.77.0.1"), 0) << qPrintable(sim.log());
}

}  // namespace
}  // namespace camd_test
