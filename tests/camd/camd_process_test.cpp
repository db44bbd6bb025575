// The real sentrova-camd process on loopback, seen from outside as the PC
// sees it: discovery, the setup HTTP API with Digest, apply and restart,
// the MAC-addressed commands, faults, persistence and signals.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QAuthenticator>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QNetworkInterface>
#include <QDir>
#include <QElapsedTimer>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <thread>

#include "camd/digest.h"
#include "camd/settings.h"
#include "sim_process.h"

namespace camd_test {
namespace {

using protocol::Kind;

constexpr char kMac1[] = "0.12.34.1.0.1";  // family 2, wireless, restarts on request
constexpr char kMac2[] = "0.12.34.1.0.2";  // family 0, wired
constexpr char kMac3[] = "0.12.34.1.0.3";  // family 2, wired, restarts by itself
constexpr char kMac4[] = "0.12.34.1.0.4";  // refuses connections
constexpr char kMac5[] = "0.12.34.1.0.5";  // shares an address with 6
constexpr char kMac6[] = "0.12.34.1.0.6";

QByteArray Camera(const char* mac, int family, bool wireless, const char* version, const QString& address,
                  const char* extra = "") {
  return QStringLiteral(R"({"mac": "%1", "family": %2, "wireless": %3, "version": "%4", "caption": "Cam %1",
     "settings": {"SysIPAddress": "%5", "SysAdminID": "%6", "SysAdminPassword": "%7"}%8})")
      .arg(QLatin1String(mac))
      .arg(family)
      .arg(wireless ? "true" : "false", QLatin1String(version), address)
      .arg(family == 2 ? "admin" : "op", family == 2 ? "1234" : "pw", QLatin1String(extra))
      .toUtf8();
}

QByteArray StandardFleet(const QString& range, const char* extraForFirst = "") {
  return "{\"cameras\": [" + Camera(kMac1, 2, true, "2.10.001", range + ".10", extraForFirst) + "," +
         Camera(kMac2, 0, false, "2.11.003", range + ".11") + "," + Camera(kMac3, 2, false, "2.11.003", range + ".12") +
         "," + Camera(kMac4, 0, true, "2.11.003", range + ".13", R"(, "faults": {"refuseConnections": true})") + "," +
         Camera(kMac5, 2, false, "2.10.001", range + ".20") + "," + Camera(kMac6, 2, false, "2.10.001", range + ".20") +
         "]}";
}

class Sim : public testing::Test {
 protected:
  void SetUp() override {
    range_ = RandomRange();
    fleetArgs_ = {"--fleet", sim_.writeFleet(StandardFleet(range_)), "--restart-ms", "300", "--answer-spread-ms", "20"};
  }
  void Start(const QStringList& more = {}) {
    ASSERT_TRUE(sim_.start(fleetArgs_ + more)) << qPrintable(sim_.errorOutput());
  }
  QString At(int host) const { return range_ + "." + QString::number(host); }

  std::vector<protocol::Message> Probe(Group& group, qsizetype expected, int timeoutMs = 3000) {
    const protocol::Message probe = Request(Kind::Probe, {});
    group.send(probe);
    return group.collect([&](const protocol::Message& m) { return m.kind == Kind::Here && m.nonce == probe.nonce; },
                         timeoutMs, [&](const auto& got) { return qsizetype(got.size()) >= expected; });
  }
  bool Answers(Group& group, const QString& mac, int timeoutMs = 600) {
    for (const auto& here : Probe(group, 6, timeoutMs))
      if (here.mac == mac) return true;
    return false;
  }

  SimProcess sim_;
  QString range_;
  QStringList fleetArgs_;
};

// ---- discovery ----

TEST_F(Sim, EveryCameraAnswersAProbeFromItsOwnAddress) {
  Start();
  Group group(sim_.port());
  const auto answers = Probe(group, 6);
  ASSERT_EQ(answers.size(), 6u);
  QSet<QString> macs;
  for (size_t i = 0; i < answers.size(); ++i) {
    macs.insert(answers[i].mac);
    EXPECT_EQ(group.sources()[qsizetype(i)], answers[i].address) << "source address is the camera's own";
  }
  EXPECT_EQ(macs, (QSet<QString>{kMac1, kMac2, kMac3, kMac4, kMac5, kMac6}));
  const auto first = std::find_if(answers.begin(), answers.end(), [](const auto& m) { return m.mac == kMac1; });
  EXPECT_EQ(first->address, At(10));
  EXPECT_EQ(first->mask, "255.255.255.0");
  EXPECT_EQ(first->mode, "X-350");
  EXPECT_EQ(first->caption, QStringLiteral("Cam ") + kMac1);
  EXPECT_EQ(first->version, "2.10.001");
  EXPECT_EQ(first->family, 2);
  EXPECT_EQ(first->port, 80);
  const auto second = std::find_if(answers.begin(), answers.end(), [](const auto& m) { return m.mac == kMac2; });
  EXPECT_EQ(second->family, 0);
  EXPECT_EQ(second->port, 8481);
  EXPECT_EQ(second->mode, "C-100");
  EXPECT_TRUE(sim_.waitForLog("sim udp probe nonce="));
}

TEST_F(Sim, MalformedDatagramsAreDroppedAndLogged) {
  Start();
  Group group(sim_.port());
  group.sendRaw("not json");
  group.sendRaw(R"({"v":2,"op":"probe","nonce":"0123456789abcdef"})");
  group.sendRaw(R"({"v":1,"op":"probe","nonce":"short"})");
  group.sendRaw("{\"v\":1,\"op\":\"probe\",\"nonce\":\"0123456789abcdef\",\"pad\":\"" + QByteArray(1500, 'x') + "\"}");
  ASSERT_TRUE(sim_.waitForLog("sim udp dropped", 4));
  EXPECT_EQ(sim_.countInLog("sim udp probe"), 0) << "none of them counted as a probe";
  // A reply heard on the group is not taken for a request.
  protocol::Message login = Request(Kind::LoginReply, kMac1);
  login.state = 3;
  group.send(login);
  EXPECT_EQ(Probe(group, 6).size(), 6u) << "still answering";
  EXPECT_EQ(sim_.countInLog("udp login"), 0);
}

// A flood of probes fills the answer queue; the excess is dropped and
// counted, and a probe after the flood is answered at once instead of after
// every flooded answer's timer.
TEST_F(Sim, AProbeFloodLeavesTheCamerasAnswering) {
  Start();
  Group group(sim_.port());
  for (int i = 0; i < 50000; ++i) group.sendRaw(protocol::BuildDatagram(Request(Kind::Probe, {})));
  // A probe every half second, as a search sends copies: the flood's echoes
  // may still cost one its place in the socket's buffer.
  QElapsedTimer clock;
  clock.start();
  bool answered = false;
  while (!answered && clock.elapsed() < 15000) answered = Answers(group, kMac1, 500);
  EXPECT_TRUE(answered) << "answering again within seconds of the flood, not minutes";
}

// After a flood of probes a new search is answered whole, within seconds:
// the probes that waited in the receive buffer are dropped unanswered,
// the freshest is handled first, and the answer queue holds only answers
// to fresh ones.
TEST_F(Sim, AfterAProbeFloodANewSearchIsAnsweredWhole) {
  constexpr int kCameras = 100;
  fleetArgs_ = {"--count", QString::number(kCameras), "--first-address", At(10)};
  Start();
  Group group(sim_.port());
  QUdpSocket flooder;
  ASSERT_TRUE(flooder.bind(QHostAddress("127.0.0.1"), 0));
  flooder.setMulticastInterface(QNetworkInterface::interfaceFromName("lo"));
  const QByteArray flood = protocol::BuildDatagram(Request(Kind::Probe, {}));
  for (int i = 0; i < 30000; ++i) flooder.writeDatagram(flood, QHostAddress(protocol::DefaultGroup), sim_.port());
  QElapsedTimer clock;
  clock.start();
  QSet<QString> macs;
  while (macs.size() < kCameras && clock.elapsed() < 5000) {
    const protocol::Message probe = Request(Kind::Probe, {});
    for (int copy = 0; copy < 5; ++copy) group.send(probe);
    for (const auto& here :
         group.collect([&](const protocol::Message& m) { return m.kind == Kind::Here && m.nonce == probe.nonce; }, 300,
                       [&](const auto& got) { return qsizetype(got.size()) >= kCameras; }))
      macs.insert(here.mac);
  }
  EXPECT_EQ(macs.size(), kCameras) << "the whole fleet answered within 5 s of the flood (took minutes before)";
  EXPECT_TRUE(sim_.waitForLog("sim udp stale dropped=")) << "flooded probes were dropped unanswered";
}

// A flood of probes and of malformed datagrams writes at most the cap of
// lines of each kind per window and counts the rest; afterwards a probe is
// logged again.
TEST_F(Sim, FloodsAreLoggedUpToTheCap) {
  fleetArgs_ = {"--fleet", sim_.writeFleet("{\"cameras\": [" + Camera(kMac1, 2, true, "2.10.001", At(10)) + "]}")};
  Start();
  Group group(sim_.port());
  constexpr int kFlood = 500;
  for (int i = 0; i < kFlood; ++i) {
    group.send(Request(Kind::Probe, {}));
    group.sendRaw("not json");
  }
  // The log is read once the simulator has had the flood.
  ASSERT_TRUE(sim_.waitForLog("sim udp probe: further lines only counted"));
  ASSERT_TRUE(sim_.waitForLog("sim udp dropped: further lines only counted"));
  EXPECT_TRUE(LoggedWithinCap(sim_.cappedLog("sim udp probe"), kFlood));
  EXPECT_TRUE(LoggedWithinCap(sim_.cappedLog("sim udp dropped"), kFlood));
  const protocol::Message probe = Request(Kind::Probe, {});
  group.send(probe);
  EXPECT_TRUE(sim_.waitForLog("sim udp probe nonce=" + probe.nonce)) << "logged again after the flood";
}

TEST_F(Sim, DroppingCameraNeverAnswers) {
  fleetArgs_ = {"--fleet",
                sim_.writeFleet("{\"cameras\": [" + Camera(kMac1, 2, true, "2.10.001", At(10)) + "," +
                                Camera(kMac2, 0, false, "2.10.001", At(11), R"(, "faults": {"dropShare": 1})") + "]}")};
  Start();
  Group group(sim_.port());
  const auto answers = Probe(group, 2, 800);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].mac, kMac1);
}

TEST_F(Sim, GeneratedFleetAnswersWithDistinctCameras) {
  fleetArgs_ = {"--count", "12", "--first-address", At(250), "--answer-spread-ms", "20"};
  Start();
  Group group(sim_.port());
  const auto answers = Probe(group, 12);
  ASSERT_EQ(answers.size(), 12u);
  QSet<QString> macs, addresses;
  QSet<int> ports;
  for (const auto& here : answers) {
    macs.insert(here.mac);
    addresses.insert(here.address);
    ports.insert(here.port);
  }
  EXPECT_EQ(macs.size(), 12);
  EXPECT_EQ(addresses.size(), 12);
  EXPECT_EQ(ports, (QSet<int>{80, 8481}));
  EXPECT_TRUE(addresses.contains(At(254)));
  EXPECT_FALSE(addresses.contains(At(255)));
  // The first generated camera (family 2) takes the default login.
  EXPECT_EQ(HttpLogin(At(250), 80, "GET", "/setup/v1/hello", "admin", "1234").status, 200);
}

// ---- setup HTTP API ----

TEST_F(Sim, Family2NeedsDigestFamily0ReadsWithout) {
  Start();
  const HttpAnswer refused = Http(At(10), 80, "GET", "/setup/v1/hello");
  EXPECT_EQ(refused.status, 401);
  EXPECT_EQ(refused.headers.value("x-sentrova-mac"), kMac1) << "even a refusal says which camera answered";
  ASSERT_EQ(refused.authenticate.size(), 2);
  for (int offer : {0, 1}) {
    const HttpAnswer hello = HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234", {}, offer);
    EXPECT_EQ(hello.status, 200) << "offer " << offer;
    EXPECT_EQ(hello.json(), (QJsonObject{{"mac", kMac1}, {"family", 2}}));
  }
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "12345").status, 401);
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "Admin", "1234").status, 401);
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/hello", {}, "Digest username=\"admin\", nonce=\"x\"").status, 401);
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/hello", {}, "Digest " + QByteArray(8000, ',')).status, 401);

  const HttpAnswer open = Http(At(11), 8481, "GET", "/setup/v1/settings/SysAdminPassword");
  EXPECT_EQ(open.status, 200);
  EXPECT_EQ(open.json(), (QJsonObject{{"key", "SysAdminPassword"}, {"value", "pw"}}));
  EXPECT_EQ(open.headers.value("x-sentrova-mac"), kMac2);
  EXPECT_EQ(Http(At(11), 8481, "POST", "/setup/v1/apply", R"({"settings":{}})").status, 401) << "writes need a login";
  EXPECT_EQ(Http(At(11), 8481, "POST", "/setup/v1/restart").status, 401);
  EXPECT_FALSE(sim_.log().contains("1234")) << "passwords never reach the log";
}

TEST_F(Sim, QtClientLogsInWithDigest) {
  Start();
  QNetworkAccessManager manager;
  int asked = 0;
  QObject::connect(&manager, &QNetworkAccessManager::authenticationRequired, [&](QNetworkReply*, QAuthenticator* auth) {
    ++asked;
    auth->setUser("admin");
    auth->setPassword(asked == 1 ? "wrong" : "1234");
  });
  auto get = [&](const QString& key) {
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl("http://" + At(10) + "/setup/v1/settings/" + key)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonObject body = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return body;
  };
  const QJsonObject type = get("DeviceType");
  EXPECT_EQ(asked, 2) << "a wrong password is asked again";
  EXPECT_EQ(type.value("value").toInteger() & (1 << 29), 1 << 29) << "wireless camera";
  EXPECT_EQ(get("WlanChannel").value("value"), 6);
}

TEST_F(Sim, SettingsAreReadByKey) {
  Start();
  auto read = [&](int host, const QByteArray& key) {
    return HttpLogin(At(host), 80, "GET", "/setup/v1/settings/" + key, "admin", "1234");
  };
  EXPECT_EQ(read(10, "SysIPAddress").json().value("value"), At(10));
  EXPECT_EQ(read(10, "WlanESSID").json().value("value"), "");
  EXPECT_EQ(read(12, "DeviceType").json().value("value").toInteger() & (1 << 29), 0) << "wired camera";
  EXPECT_EQ(read(12, "WlanMode").status, 404) << "no wireless keys on a wired camera";
  EXPECT_EQ(read(10, "NoSuchKey").status, 404);
  EXPECT_EQ(read(10, "NoSuchKey").json().value("error"), "unknown setting");
}

TEST_F(Sim, HostileRequestsGetErrorAnswers) {
  Start();
  auto post = [&](const QByteArray& body) {
    return HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234", body).status;
  };
  EXPECT_EQ(post(QByteArray(100 * 1024, '{')), 413);
  EXPECT_EQ(post("{\"settings\": "), 400);
  EXPECT_EQ(post(R"({"settings": 5})"), 400);
  EXPECT_EQ(post(R"([1,2])"), 400);
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/apply").status, 405);
  EXPECT_EQ(Http(At(10), 80, "DELETE", "/setup/v1/hello").status, 405);
  EXPECT_EQ(Http(At(10), 80, "GET", "/etc/passwd").status, 404);
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234").status, 200) << "still serving";
}

// The setup port bounds what one request may make the camera hold, before
// the request is buffered: each refusal comes at once, with its reason.
TEST_F(Sim, OversizedOrAmbiguousRequestsAreRefusedBeforeTheyAreBuffered) {
  Start();
  const QByteArray apply = "POST /setup/v1/apply HTTP/1.1\r\nHost: x\r\n";
  const struct {
    const char* name;
    QByteArray request;
    int status;
  } cases[] = {
      {"head over 16 KiB", "GET /setup/v1/hello HTTP/1.1\r\nX-Pad: " + QByteArray(20 * 1024, 'a'), 431},
      {"declared body of 1 GiB", apply + "Content-Length: 1073741824\r\n\r\n", 413},
      {"declared body just over 64 KiB", apply + "Content-Length: 65537\r\n\r\n", 413},
      {"two different lengths", apply + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}", 400},
      {"a length that is no number", apply + "Content-Length: 1x\r\n\r\n", 400},
      {"a body in chunks", apply + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 501},
      {"one length given twice", apply + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n{}", 401},
  };
  for (const auto& c : cases) {
    const HttpAnswer answer = Exchange(At(10), 80, c.request);
    EXPECT_EQ(answer.status, c.status) << c.name;
    EXPECT_EQ(answer.headers.value("x-sentrova-mac"), kMac1) << c.name;
  }
  EXPECT_EQ(sim_.countInLog("connection refused status="), 6);
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234").status, 200) << "still serving";
}

TEST_F(Sim, IdleAndEndlessConnectionsAreClosed) {
  Start({"--idle-ms", "300"});
  QTcpSocket idle;
  QTcpSocket dripping;
  idle.connectToHost(QHostAddress(At(10)), 80);
  dripping.connectToHost(QHostAddress(At(10)), 80);
  ASSERT_TRUE(idle.waitForConnected(3000) && dripping.waitForConnected(3000));
  // One byte of a request head every 100 ms: busy, but never a request.
  QElapsedTimer clock;
  clock.start();
  while (dripping.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 5000) {
    dripping.write("a");
    dripping.waitForBytesWritten(100);
    dripping.waitForReadyRead(100);
  }
  EXPECT_NE(dripping.state(), QAbstractSocket::ConnectedState) << "a request that never ends is closed";
  if (idle.state() == QAbstractSocket::ConnectedState) idle.waitForDisconnected(3000);
  EXPECT_NE(idle.state(), QAbstractSocket::ConnectedState);
  EXPECT_TRUE(sim_.waitForLog("connection closed idle ms=300", 2));
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234").status, 200) << "still serving";
}

// Out of descriptors, the setup port pauses; once descriptors are free
// again it accepts again by itself.
TEST_F(Sim, SetupPortAcceptsAgainAfterRunningOutOfDescriptors) {
  Start();
  const pid_t pid = static_cast<pid_t>(sim_.pid());
  const qsizetype open =
      QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
  rlimit before{};
  ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, nullptr, &before), 0);
  rlimit tight{static_cast<rlim_t>(open + 8),
               before.rlim_max};  // the soft limit only: raising it again needs no privilege
  ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, &tight, nullptr), 0) << std::strerror(errno);
  std::vector<std::unique_ptr<QTcpSocket>> held;
  for (int i = 0; i < 64; ++i) {
    held.push_back(std::make_unique<QTcpSocket>());
    held.back()->connectToHost(QHostAddress(At(10)), 80);
    held.back()->waitForConnected(1000);
  }
  ASSERT_TRUE(sim_.waitForLog("http accept error=", 1, 10000));
  held.clear();
  ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, &before, nullptr), 0) << std::strerror(errno);
  // The connections refused meanwhile still fill the accept queue for a
  // moment, and a busy machine may drop a new SYN until they are gone: the
  // camera has up to 10 s to answer.
  QElapsedTimer clock;
  clock.start();
  int status = HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234").status;
  while (status != 200 && clock.elapsed() < 10000) {
    QThread::msleep(100);
    status = HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234").status;
  }
  EXPECT_EQ(status, 200) << "accepting again";
}

// Wrong answers are braked per account, whatever source they come from:
// after the burst, further logins from any address are refused unchecked
// (the owner's too) until a second has passed. Wrong IDs cost nothing.
TEST_F(Sim, GuessingIsBrakedPerAccountWhateverTheSource) {
  Start();
  const auto login = [&](const QString& password, const QString& source,
                         const QString& user = QStringLiteral("admin")) {
    const HttpAnswer first = Http(At(10), 80, "GET", "/setup/v1/hello", {}, {}, source);
    const auto challenge = protocol::ParseDigestChallenge(first.authenticate.value(0));
    if (!challenge) return first.status;
    return Http(At(10), 80, "GET", "/setup/v1/hello", {},
                protocol::DigestAuthorization(*challenge, user, password, "GET", "/setup/v1/hello"), source)
        .status;
  };
  // A wrong ID opens nothing whatever the password: it is no guess at the account's.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(login("1234", At(100), "nobody"), 401);
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < camd::GuessBudget::Burst; ++i) EXPECT_EQ(login("guess", At(100 + i)), 401);
  std::vector<int> braked;
  for (int i = 0; i < 5; ++i) braked.push_back(login("guess", At(110 + i)));
  const int owner = login("1234", At(120));
  if (clock.elapsed() < camd::GuessBudget::RefillMs) {  // else this machine was too slow to tell
    EXPECT_EQ(braked, std::vector<int>(5, 429)) << "a new source address does not escape the brake";
    EXPECT_EQ(owner, 429);
    EXPECT_TRUE(sim_.waitForLog("login unchecked", 6));
  }
  QThread::msleep(camd::GuessBudget::RefillMs + 100);
  EXPECT_EQ(login("1234", At(120)), 200) << "the owner gets in once the guessing stops";
}

// Any spelling of the scheme; a parameter given twice is refused.
TEST_F(Sim, DigestSchemeInAnyCaseAndNoParameterTwice) {
  Start();
  const HttpAnswer first = Http(At(10), 80, "GET", "/setup/v1/hello");
  ASSERT_EQ(first.status, 401);
  const auto challenge = protocol::ParseDigestChallenge(first.authenticate.value(0));
  ASSERT_TRUE(challenge.has_value());
  QByteArray authorization = protocol::DigestAuthorization(*challenge, "admin", "1234", "GET", "/setup/v1/hello");
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/hello", {}, authorization + ", username=\"admin\"").status, 400);
  authorization.replace(0, 6, "DIGEST");
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/hello", {}, authorization).status, 200);
}

// ---- apply and restart ----

TEST_F(Sim, ApplyWithOneBadKeyChangesNothing) {
  Start({"--state-dir", sim_.dir() + "/state"});
  const HttpAnswer refused = HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234",
                                       R"({"settings":{"SysAdminID":"newid","WlanESSID":"net","WlanChannel":99}})");
  EXPECT_EQ(refused.status, 422);
  EXPECT_EQ(refused.json().value("error"), "WlanChannel: out of range");
  EXPECT_FALSE(QFile::exists(sim_.dir() + "/state/" + kMac1 + ".json")) << "nothing written";
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/settings/WlanESSID", "admin", "1234").json().value("value"), "");
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/hello", "admin", "1234").status, 200) << "ID unchanged";
  EXPECT_TRUE(sim_.waitForLog("keys=SysAdminID,WlanChannel,WlanESSID result=0"));

  const HttpAnswer applied = HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234",
                                       R"({"settings":{"WlanESSID":"net","WlanChannel":11}})");
  EXPECT_EQ(applied.status, 200);
  EXPECT_EQ(applied.json(), (QJsonObject{{"result", 1}}));
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/settings/WlanChannel", "admin", "1234").json().value("value"), 11);
  EXPECT_TRUE(sim_.waitForLog("keys=WlanChannel,WlanESSID result=1"));
}

// Values that would lock the camera away after its restart are refused
// whole, over the wire as the PC or anyone else sends them.
TEST_F(Sim, LockingValuesAreRefusedWhole) {
  Start({"--state-dir", sim_.dir() + "/state"});
  const struct {
    QByteArray setting;
    const char* error;
  } cases[] = {
      {"\"SysIPAddress\":\"" + At(255).toUtf8() + "\"", "SysIPAddress: the network or broadcast address of its subnet"},
      {"\"SysIPAddress\":\"" + At(0).toUtf8() + "\"", "SysIPAddress: the network or broadcast address of its subnet"},
      {R"("SysAdminID":"ad\ud800")", "SysAdminID: holds a lone surrogate"},
      {R"("SysAdminID":"\udc00ad")", "SysAdminID: holds a lone surrogate"},
      {R"("SysAdminID":"a\u0085b")", "SysAdminID: holds a control character"},
      {R"("SysAdminPassword":"\u009bpw")", "SysAdminPassword: holds a control character"},
  };
  for (const auto& c : cases) {
    const HttpAnswer refused = HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234",
                                         "{\"settings\":{\"WlanChannel\":3," + c.setting + "}}");
    EXPECT_EQ(refused.status, 422) << c.setting.constData();
    EXPECT_EQ(refused.json().value("error").toString(), QLatin1String(c.error)) << c.setting.constData();
  }
  EXPECT_FALSE(QFile::exists(sim_.dir() + "/state/" + kMac1 + ".json")) << "nothing written";
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/settings/WlanChannel", "admin", "1234").json().value("value"), 6);
}

TEST_F(Sim, SettingsSurviveARestartOfTheSimulator) {
  const QStringList state{"--state-dir", sim_.dir() + "/state"};
  Start(state);
  ASSERT_EQ(
      HttpLogin(At(11), 8481, "POST", "/setup/v1/apply", "op", "pw", R"({"settings":{"SysAdminID":"kept"}})").status,
      200);
  EXPECT_EQ(sim_.stop(SIGTERM), 0);
  Start(state);
  EXPECT_EQ(Http(At(11), 8481, "GET", "/setup/v1/settings/SysAdminID").json().value("value"), "kept");
  EXPECT_EQ(HttpLogin(At(11), 8481, "GET", "/setup/v1/settings/SysAdminID", "kept", "pw").status, 200);
}

TEST_F(Sim, CameraThatRestartsOnRequestKeepsOldAddressAndLoginUntilRestart) {
  Start();
  Group group(sim_.port());
  ASSERT_EQ(HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234",
                      ("{\"settings\":{\"SysIPAddress\":\"" + At(50) + "\",\"SysAdminPassword\":\"new\"}}").toUtf8())
                .status,
            200);
  // The wizard restarts it with the credentials it had before the apply.
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/settings/SysIPAddress", "admin", "1234").json().value("value"),
            At(50));
  EXPECT_EQ(HttpLogin(At(10), 80, "POST", "/setup/v1/restart", "admin", "1234").status, 200);
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/hello").status, 0) << "silent while restarting";
  EXPECT_FALSE(Answers(group, kMac1, 150)) << "no discovery answers while restarting";
  ASSERT_TRUE(sim_.waitForLog("camera 0.12.34.1.0.1 state up address=" + At(50)));
  EXPECT_EQ(HttpLogin(At(50), 80, "GET", "/setup/v1/hello", "admin", "new").status, 200);
  EXPECT_EQ(HttpLogin(At(50), 80, "GET", "/setup/v1/hello", "admin", "1234").status, 401);
  EXPECT_EQ(Http(At(10), 80, "GET", "/setup/v1/hello").status, 0) << "the old address is free";
  EXPECT_TRUE(Answers(group, kMac1, 2000));
}

TEST_F(Sim, OtherCamerasRestartByThemselvesAfterAnIdentityChange) {
  Start();
  ASSERT_EQ(HttpLogin(At(12), 80, "POST", "/setup/v1/apply", "admin", "1234",
                      ("{\"settings\":{\"SysIPAddress\":\"" + At(51) + "\"}}").toUtf8())
                .status,
            200);
  ASSERT_TRUE(sim_.waitForLog("camera 0.12.34.1.0.3 state silent"));
  ASSERT_TRUE(sim_.waitForLog("camera 0.12.34.1.0.3 state up address=" + At(51)));
  EXPECT_EQ(HttpLogin(At(51), 80, "GET", "/setup/v1/hello", "admin", "1234").headers.value("x-sentrova-mac"), kMac3);
  // A change of wireless settings alone needs no restart.
  ASSERT_EQ(HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234", R"({"settings":{"WlanMode":2}})").status,
            200);
  EXPECT_EQ(sim_.countInLog("camera 0.12.34.1.0.1 state silent"), 0);
}

TEST_F(Sim, AddressOutsideLoopbackIsRefused) {
  Start();
  const HttpAnswer refused = HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234",
                                       R"({"settings":{"SysIPAddress":"192.168.0.50"}})");
  EXPECT_EQ(refused.status, 422);
  EXPECT_TRUE(refused.json().value("error").toString().contains("loopback"));
}

// ---- shared address and faults ----

TEST_F(Sim, SharedAddressIsServedByOneCameraAndRefusingCameraStillAnswersDiscovery) {
  Start();
  EXPECT_EQ(Http(At(20), 80, "GET", "/setup/v1/hello").headers.value("x-sentrova-mac"), kMac5);
  EXPECT_TRUE(sim_.waitForLog("camera 0.12.34.1.0.6 state up address=" + At(20) + " http=unavailable"));
  EXPECT_EQ(Http(At(13), 8481, "GET", "/setup/v1/hello").status, 0) << "connection refused";
  Group group(sim_.port());
  EXPECT_TRUE(Answers(group, kMac4, 3000));
}

TEST_F(Sim, LateCameraAnswersAndSurvivesAClientThatLeaves) {
  fleetArgs_ = {
      "--fleet",
      sim_.writeFleet("{\"cameras\": [" +
                      Camera(kMac2, 0, false, "2.10.001", At(11), R"(, "faults": {"answerDelayMs": 300})") + "]}")};
  Start();
  {
    QTcpSocket leaving;
    leaving.connectToHost(QHostAddress(At(11)), 8481);
    ASSERT_TRUE(leaving.waitForConnected(3000));
    leaving.write("GET /setup/v1/hello HTTP/1.1\r\nHost: x\r\n\r\n");
    leaving.waitForBytesWritten(1000);
  }
  ASSERT_TRUE(sim_.waitForLog("http GET /setup/v1/hello"));
  QThread::msleep(500);  // past the delayed answer to the client that left
  EXPECT_EQ(Http(At(11), 8481, "GET", "/setup/v1/hello").status, 200);
  Group group(sim_.port());
  EXPECT_EQ(Probe(group, 1).size(), 1u);
}

TEST_F(Sim, DyingDuringApplyLeavesTheOldSettingsWhole) {
  const QStringList state{"--state-dir", sim_.dir() + "/state"};
  Start(state);
  ASSERT_EQ(
      HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234", R"({"settings":{"WlanESSID":"old"}})").status,
      200);
  ASSERT_EQ(sim_.stop(SIGTERM), 0);

  const QString dying = sim_.writeFleet(StandardFleet(range_, R"(, "faults": {"dieDuringApply": true})"));
  ASSERT_TRUE(sim_.start(QStringList{"--fleet", dying} + state));
  const HttpAnswer cut =
      HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234", R"({"settings":{"WlanESSID":"new"}})");
  EXPECT_EQ(cut.status, 0) << "no answer: the process died";
  EXPECT_EQ(sim_.waitForEnd(10000), -1) << "aborted";
  EXPECT_TRUE(sim_.log().contains("fault dies during apply"));

  Start(state);
  EXPECT_EQ(HttpLogin(At(10), 80, "GET", "/setup/v1/settings/WlanESSID", "admin", "1234").json().value("value"), "old");
}

TEST_F(Sim, KilledAtAnyMomentLeavesAWholeSettingsFile) {
  const QStringList state{"--state-dir", sim_.dir() + "/state"};
  const QString file = sim_.dir() + "/state/" + kMac1 + ".json";
  for (int round = 0; round < 4; ++round) {
    Start(state);
    const auto pid = static_cast<pid_t>(sim_.pid());
    std::thread killer([pid, round] {
      std::this_thread::sleep_for(std::chrono::milliseconds(40 + 60 * round));
      ::kill(pid, SIGKILL);
    });
    for (int i = 0; i < 1000; ++i) {
      const QByteArray body =
          QStringLiteral(R"({"settings":{"WlanESSID":"net%1","WlanChannel":%2}})").arg(i).arg(1 + i % 14).toUtf8();
      if (HttpLogin(At(10), 80, "POST", "/setup/v1/apply", "admin", "1234", body).status == 0) break;
    }
    killer.join();
    EXPECT_EQ(sim_.waitForEnd(10000), -1);
    QFile saved(file);
    if (!saved.exists()) continue;  // killed before the first apply
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QJsonObject settings = QJsonDocument::fromJson(saved.readAll()).object().value("settings").toObject();
    QString error;
    EXPECT_TRUE(camd::ValidateWholeSettings(settings, camd::SettingsContext{true, true}, error))
        << "round " << round << ": " << qPrintable(error);
    EXPECT_TRUE(settings.value("WlanESSID").toString().startsWith("net"));
  }
}

// ---- MAC-addressed commands ----

TEST_F(Sim, ChallengeStateFollowsTheFamily) {
  Start();
  Group group(sim_.port());
  const auto family2 = group.ask(Request(Kind::ChallengeRequest, kMac1), Kind::ChallengeReply);
  ASSERT_TRUE(family2);
  EXPECT_EQ(family2->state, 2);
  EXPECT_EQ(family2->mac, kMac1);
  EXPECT_EQ(family2->challenge.size(), 32);
  const auto family0 = group.ask(Request(Kind::ChallengeRequest, kMac2), Kind::ChallengeReply);
  ASSERT_TRUE(family0);
  EXPECT_EQ(family0->state, 3);
  EXPECT_NE(family0->challenge, family2->challenge);
  EXPECT_FALSE(group.ask(Request(Kind::ChallengeRequest, "9.9.9.9.9.9"), Kind::ChallengeReply, 400)) << "unknown MAC";
}

TEST_F(Sim, LoginByMacChecksTheProof) {
  Start();
  Group group(sim_.port());
  protocol::Message login = Request(Kind::LoginRequest, kMac1);
  login.id = "admin";
  EXPECT_EQ(ProvenCommand(group, login, "1234")->state, 3);
  EXPECT_EQ(ProvenCommand(group, login, "wrong")->state, 2);
  login.id = "root";
  EXPECT_EQ(ProvenCommand(group, login, "1234")->state, 2);

  // A challenge answers one command only.
  login.id = "admin";
  const auto challenge = group.ask(Request(Kind::ChallengeRequest, kMac1), Kind::ChallengeReply);
  ASSERT_TRUE(challenge);
  login.challenge = challenge->challenge;
  for (int expected : {3, 2}) {
    login.nonce = protocol::RandomHex(16);
    login.proof = protocol::Proof(login, "1234");
    EXPECT_EQ(group.ask(login, Kind::LoginReply)->state, expected);
  }
  // A repeated copy gets the first answer again without using a challenge.
  const auto first = group.ask(login, Kind::LoginReply);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->state, 2);
  EXPECT_TRUE(sim_.waitForLog("udp login nonce=" + login.nonce + " repeated"));
  EXPECT_FALSE(sim_.log().contains("1234"));
}

// Many challenge requests between a login and its repeated copy do not
// make the camera check the copy again, against its spent challenge.
TEST_F(Sim, ARepeatedLoginKeepsItsAnswerThroughAFloodOfChallenges) {
  Start();
  Group group(sim_.port());
  protocol::Message login = Request(Kind::LoginRequest, kMac1);
  login.id = "admin";
  const auto challenge = group.ask(Request(Kind::ChallengeRequest, kMac1), Kind::ChallengeReply);
  ASSERT_TRUE(challenge);
  login.challenge = challenge->challenge;
  login.proof = protocol::Proof(login, "1234");
  ASSERT_EQ(group.ask(login, Kind::LoginReply)->state, 3);
  // Sent in batches, each answer read before the next batch, so that this
  // test's own receive buffer never overflows and drops the answer it wants.
  constexpr int kBatches = 12, kBatch = 50;
  for (int b = 0; b < kBatches; ++b) {
    for (int i = 0; i < kBatch; ++i) group.send(Request(Kind::ChallengeRequest, kMac1));
    group.collect([](const protocol::Message& m) { return m.kind == Kind::ChallengeReply; }, 2000,
                  [](const auto& got) { return got.size() >= kBatch; });
  }
  ASSERT_TRUE(sim_.waitForLog("udp challenge", kBatches * kBatch + 1));
  const auto copy = group.ask(login, Kind::LoginReply);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->state, 3) << "the first answer again";
  EXPECT_TRUE(sim_.waitForLog("udp login nonce=" + login.nonce + " repeated"));
}

// Answers go to the group, so a guesser hears them whatever source it
// claims: the camera checks only a few wrong proofs at once, then one a
// second, and lets the owner in once the guessing stops.
TEST_F(Sim, GuessingByMacIsSlowedDownPerCamera) {
  Start();
  Group group(sim_.port());
  protocol::Message login = Request(Kind::LoginRequest, kMac1);
  login.id = "admin";
  QElapsedTimer clock;
  clock.start();
  constexpr int kGuesses = 12;
  for (int i = 0; i < kGuesses; ++i) EXPECT_EQ(ProvenCommand(group, login, "guess")->state, 2);
  const qint64 refills = clock.elapsed() / 1000 + 1;
  ASSERT_TRUE(sim_.waitForLog("id=admin state=2", kGuesses));
  EXPECT_LE(sim_.countInLog("id=admin state=2") - sim_.countInLog("id=admin state=2 unchecked"),
            camd::GuessBudget::Burst + refills)
      << "wrong proofs checked";
  QThread::msleep(1100);
  EXPECT_EQ(ProvenCommand(group, login, "1234")->state, 3) << "the owner gets in after the guessing";
}

TEST_F(Sim, WhoHasFindsEveryCameraOnTheAddress) {
  Start();
  Group group(sim_.port());
  protocol::Message whoHas = Request(Kind::WhoHasRequest, {});
  whoHas.address = At(20);
  group.send(whoHas);
  const auto replies =
      group.collect([&](const protocol::Message& m) { return m.kind == Kind::WhoHasReply && m.nonce == whoHas.nonce; },
                    3000, [](const auto& got) { return got.size() >= 2; });
  QSet<QString> macs;
  for (const auto& reply : replies) {
    macs.insert(reply.mac);
    EXPECT_EQ(reply.address, At(20));
  }
  EXPECT_EQ(macs, (QSet<QString>{kMac5, kMac6}));
  whoHas.nonce = protocol::RandomHex(16);
  whoHas.address = At(99);
  EXPECT_FALSE(group.ask(whoHas, Kind::WhoHasReply, 500)) << "nobody has a free address";
}

TEST_F(Sim, ChangeAddressByMacIsKeptUntilApply) {
  Start();
  Group group(sim_.port());
  protocol::Message change = Request(Kind::ChangeAddressRequest, kMac6);
  change.id = "admin";
  change.address = At(30);
  change.mask = "255.255.0.0";
  change.gateway = At(1);
  protocol::Message apply = Request(Kind::ApplyRequest, kMac6);
  apply.id = "admin";

  EXPECT_EQ(ProvenCommand(group, change, "wrong")->result, 0);
  const auto nothingKept = ProvenCommand(group, apply, "1234");
  EXPECT_EQ(nothingKept->result, 0);
  EXPECT_EQ(nothingKept->error, "no address change to apply");

  protocol::Message foreign = change;
  foreign.address = "192.168.0.20";
  EXPECT_EQ(ProvenCommand(group, foreign, "1234")->result, 0);
  protocol::Message holeyMask = change;
  holeyMask.mask = "255.0.255.0";
  EXPECT_EQ(ProvenCommand(group, holeyMask, "1234")->result, 0);

  EXPECT_EQ(ProvenCommand(group, change, "1234")->result, 1);
  const auto here = Probe(group, 6);
  const auto six = std::find_if(here.begin(), here.end(), [](const auto& m) { return m.mac == kMac6; });
  ASSERT_NE(six, here.end());
  EXPECT_EQ(six->address, At(20)) << "kept, not yet in force";

  EXPECT_EQ(ProvenCommand(group, apply, "wrong")->result, 0);
  EXPECT_EQ(ProvenCommand(group, apply, "1234")->result, 1);
  ASSERT_TRUE(sim_.waitForLog("camera 0.12.34.1.0.6 state up address=" + At(30)));
  const HttpAnswer hello = HttpLogin(At(30), 80, "GET", "/setup/v1/hello", "admin", "1234");
  EXPECT_EQ(hello.headers.value("x-sentrova-mac"), kMac6) << "the second camera is reachable on its own address now";
  const auto after = Probe(group, 6);
  const auto moved = std::find_if(after.begin(), after.end(), [](const auto& m) { return m.mac == kMac6; });
  ASSERT_NE(moved, after.end());
  EXPECT_EQ(moved->address, At(30));
  EXPECT_EQ(moved->mask, "255.255.0.0");
  EXPECT_EQ(moved->gateway, At(1));
}

TEST_F(Sim, CameraWithoutLoginTakesAddressCommandsWithoutProof) {
  Start();
  Group group(sim_.port());
  protocol::Message change = Request(Kind::ChangeAddressRequest, kMac2);
  change.id = "anyone";
  change.address = At(31);
  change.mask = "255.255.255.0";
  EXPECT_EQ(ProvenCommand(group, change, "not the password")->result, 1);
}

// ---- process ----

TEST_F(Sim, StopsCleanlyOnSigtermAndSigint) {
  for (int signal : {SIGTERM, SIGINT}) {
    Start();
    EXPECT_EQ(sim_.stop(signal), 0) << "signal " << signal;
  }
  EXPECT_EQ(sim_.countInLog("sim stopping"), 2);
}

struct BadStart {
  const char* name;
  QStringList arguments;
  const char* message;
};

TEST(SimStart, RefusesWhatItCannotPlay) {
  SimProcess sim;
  const QString foreign = sim.writeFleet(
      R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "settings": {"SysIPAddress": "192.168.0.20"}}]})");
  for (const BadStart& c :
       {BadStart{"ForeignAddressOnLoopback", {"--fleet", foreign}, "127.0.0.0/8"},
        BadStart{"NoFleet", {}, "either --fleet"},
        BadStart{"BothFleets", {"--fleet", foreign, "--count", "2"}, "either --fleet"},
        BadStart{"CountZero", {"--count", "0"}, "--count"},
        BadStart{"GeneratedOutsideLoopback", {"--count", "2", "--first-address", "10.1.2.3"}, "127.0.0.0/8"},
        BadStart{"UnknownInterface", {"--count", "2", "--interface", "nosuch0"}, "nosuch0"},
        BadStart{"MissingFile", {"--fleet", sim.dir() + "/none.json"}, "cannot be read"},
        BadStart{"BadGroup", {"--count", "2", "--group", "10.0.0.1"}, "--group"},
        BadStart{"BadDrop", {"--count", "2", "--drop-share", "2"}, "--drop-share"}}) {
    EXPECT_EQ(sim.run(c.arguments), 2) << c.name;
    EXPECT_TRUE(sim.errorOutput().contains(QLatin1String(c.message))) << c.name;
  }
}

}  // namespace
}  // namespace camd_test
