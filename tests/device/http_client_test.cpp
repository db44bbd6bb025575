// The setup API client against a scripted server on loopback: what it sends,
// and what it makes of odd, hostile or missing answers.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <vector>

#include "device/http_client.h"
#include "device/net_camera_control.h"
#include "protocol/protocol.h"
#include "simulator.h"

namespace {

using device::HttpRequest;
using device::HttpResponse;

const QString CameraMac = QStringLiteral("0.12.34.255.1.2");

// Answers the n-th request with the n-th script entry (nothing more when the
// script has run out) and records every request it received. With pieceEnds
// set, each answer leaves in pieces ending at those offsets (then the rest),
// a moment apart, so that the client reads them one by one.
class ScriptedServer {
 public:
  using Answer = std::function<QByteArray(const QByteArray& request)>;
  explicit ScriptedServer(std::vector<Answer> script) : script_(std::move(script)) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          buffers_[socket] += socket->readAll();
          const QByteArray& buffer = buffers_[socket];
          if (!buffer.contains("\r\n\r\n")) return;
          requests.push_back(buffer);
          const size_t index = requests.size() - 1;
          if (index < script_.size()) {
            const QByteArray answer = script_[index](buffer);
            if (!answer.isNull()) Write(socket, answer, 0);
          }
        });
      }
    });
  }
  quint16 port() const { return server_.serverPort(); }
  std::vector<QByteArray> requests;
  std::vector<qsizetype> pieceEnds;

 private:
  void Write(QTcpSocket* socket, const QByteArray& answer, size_t piece) {
    const qsizetype from = piece == 0 ? 0 : pieceEnds[piece - 1];
    if (piece == pieceEnds.size()) {
      socket->write(answer.mid(from));
      socket->disconnectFromHost();
      return;
    }
    socket->write(answer.mid(from, pieceEnds[piece] - from));
    socket->flush();
    QTimer::singleShot(2, socket, [this, socket, answer, piece] { Write(socket, answer, piece + 1); });
  }

  QTcpServer server_;
  std::vector<Answer> script_;
  std::map<QTcpSocket*, QByteArray> buffers_;
};

QByteArray Response(const QByteArray& status, const QByteArray& body, const QByteArray& extraHeaders = {},
                    const QString& mac = CameraMac) {
  return "HTTP/1.1 " + status + "\r\nX-Sentrova-MAC: " + mac.toUtf8() +
         "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

const QByteArray Challenge =
    "WWW-Authenticate: Digest realm=\"sentrova-camera\", qop=\"auth\", nonce=\"n0nce\", opaque=\"op\", "
    "algorithm=MD5\r\n";

HttpRequest Get(quint16 port, const QString& path = QString::fromLatin1(protocol::HelloPath)) {
  HttpRequest request;
  request.method = QStringLiteral("GET");
  request.address = QStringLiteral("127.0.0.1");
  request.port = port;
  request.path = path;
  request.user = QStringLiteral("admin");
  request.password = QStringLiteral("secret");
  request.expectedMac = CameraMac;
  request.connectTimeout = std::chrono::milliseconds(500);
  request.timeout = std::chrono::milliseconds(500);
  return request;
}

HttpResponse Send(const HttpRequest& request) {
  // The server lives in this thread: the client's local event loop serves it.
  return device::SendHttp(request);
}

// Checks an Authorization header the way a camera would.
bool DigestValid(const QByteArray& request, const QString& password) {
  const qsizetype at = request.indexOf("Authorization: Digest ");
  if (at < 0) return false;
  const QByteArray line = request.mid(at + 22, request.indexOf("\r\n", at) - at - 22);
  const QMap<QString, QString> p = protocol::ParseAuthParams(line);
  return p.value(u"response"_qs) == protocol::DigestResponse(p.value(u"algorithm"_qs), p.value(u"username"_qs),
                                                             password, p.value(u"realm"_qs), p.value(u"nonce"_qs),
                                                             u"GET"_qs, p.value(u"uri"_qs), p.value(u"nc"_qs),
                                                             p.value(u"cnonce"_qs), p.value(u"qop"_qs));
}

TEST(HttpClient, AnswersADigestChallengeOnceWithValidCredentials) {
  ScriptedServer server({[](const QByteArray&) { return Response("401 Unauthorized", "{}", Challenge); },
                         [](const QByteArray& request) {
                           return DigestValid(request, u"secret"_qs) ? Response("200 OK", R"({"mac":"x"})")
                                                                     : Response("401 Unauthorized", "{}", Challenge);
                         }});
  const HttpResponse response = Send(Get(server.port()));
  EXPECT_EQ(response.status, 200) << response.error.toStdString();
  EXPECT_EQ(response.body, R"({"mac":"x"})");
  ASSERT_EQ(server.requests.size(), 2u);
  EXPECT_FALSE(server.requests[0].contains("Authorization")) << "no credentials before the camera asks";
  EXPECT_TRUE(server.requests[1].startsWith("GET /setup/v1/hello HTTP/1.1\r\n"));
  EXPECT_FALSE(server.requests[1].contains("secret")) << "the password itself is never sent";
}

TEST(HttpClient, WrongPasswordGivesTheCamerasRefusalWithoutRetrying) {
  ScriptedServer server({[](const QByteArray&) { return Response("401 Unauthorized", "{}", Challenge); },
                         [](const QByteArray&) { return Response("401 Unauthorized", "{}", Challenge); },
                         [](const QByteArray&) { return Response("200 OK", "{}"); }});
  HttpRequest request = Get(server.port());
  request.password = QStringLiteral("wrong");
  EXPECT_EQ(Send(request).status, 401);
  EXPECT_EQ(server.requests.size(), 2u);
}

TEST(HttpClient, AnotherCameraAtTheAddressGetsNoCredentials) {
  ScriptedServer server({[](const QByteArray&) {
    return Response("401 Unauthorized", "{}", Challenge, QStringLiteral("0.12.34.255.1.3"));
  }});
  const HttpResponse response = Send(Get(server.port()));
  EXPECT_EQ(response.status, 0);
  EXPECT_TRUE(response.error.contains(u"another camera"_qs)) << response.error.toStdString();
  EXPECT_EQ(server.requests.size(), 1u);
}

TEST(HttpClient, OddOrHostileAnswersAreFailures) {
  struct Case {
    const char* name;
    ScriptedServer::Answer answer;
    int status;
  };
  const Case cases[] = {
      {"body over 64 KiB", [](const QByteArray&) { return Response("200 OK", QByteArray(70000, 'x')); }, 0},
      {"endless header",
       [](const QByteArray&) { return "HTTP/1.1 200 OK\r\nX-Junk: " + QByteArray(20000, 'j') + "\r\n\r\n"; }, 0},
      {"no answer at all", [](const QByteArray&) { return QByteArray(); }, 0},
      {"closed at once", [](const QByteArray&) { return QByteArray(""); }, 0},
      {"not HTTP", [](const QByteArray&) { return QByteArray("SSH-2.0-OpenSSH\r\n\r\n"); }, 0},
      {"no MAC header", [](const QByteArray&) { return QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); },
       0},
      {"short body",
       [](const QByteArray&) {
         return QByteArray("HTTP/1.1 200 OK\r\nX-Sentrova-MAC: 0.12.34.255.1.2\r\nContent-Length: 10\r\n\r\nabc");
       },
       0},
      {"redirect is not followed",
       [](const QByteArray&) { return Response("302 Found", "", "Location: http://192.0.2.77/\r\n"); }, 302},
  };
  for (const Case& c : cases) {
    ScriptedServer server({c.answer});
    const HttpResponse response = Send(Get(server.port()));
    EXPECT_EQ(response.status, c.status) << c.name << ": " << response.error.toStdString();
    EXPECT_EQ(server.requests.size(), 1u) << c.name;
    if (c.status == 0) {
      EXPECT_FALSE(response.error.isEmpty()) << c.name;
    }
  }
}

TEST(HttpClient, ChunkedBodyIsJoined) {
  ScriptedServer server({[](const QByteArray&) {
    return QByteArray(
        "HTTP/1.1 200 OK\r\nX-Sentrova-MAC: 0.12.34.255.1.2\r\nTransfer-Encoding: chunked\r\n\r\n"
        "3\r\n{\"a\r\n4\r\n\":1}\r\n0\r\n\r\n");
  }});
  EXPECT_EQ(Send(Get(server.port())).body, R"({"a":1})");
}

const QByteArray ChunkedHeader =
    "HTTP/1.1 200 OK\r\nX-Sentrova-MAC: 0.12.34.255.1.2\r\nTransfer-Encoding: chunked\r\n\r\n";

// The chunk sizes end in 0 and the data starts with CRLF, so a read can end in
// "0\r\n\r\n" long before the last chunk.
TEST(HttpClient, ChunkedAnswerReadsTheSameWhereverTheReadsSplitIt) {
  const QByteArray answer = ChunkedHeader + "10\r\n\r\n{\"a\":\"bcdefg\"}\r\n20;x=1\r\n\r\n" + QByteArray(30, 'z') +
                            "\r\n0\r\nX-Trailer: 1\r\n\r\n";
  const QByteArray body = "\r\n{\"a\":\"bcdefg\"}\r\n" + QByteArray(30, 'z');
  for (qsizetype split = 0; split < answer.size(); ++split) {
    ScriptedServer server({[&](const QByteArray&) { return answer; }});
    if (split > 0) server.pieceEnds = {split};
    const HttpResponse response = Send(Get(server.port()));
    EXPECT_EQ(response.status, 200) << "split at " << split << ": " << response.error.toStdString();
    EXPECT_EQ(response.body, body) << "split at " << split;
  }
  ScriptedServer server({[&](const QByteArray&) { return answer; }});
  for (qsizetype end = 1; end < answer.size(); ++end) server.pieceEnds.push_back(end);
  HttpRequest slow = Get(server.port());
  slow.timeout = std::chrono::seconds(10);  // a pause between bytes
  EXPECT_EQ(Send(slow).body, body) << "a byte at a time";
}

TEST(HttpClient, BrokenChunkFramingFailsCleanlyWhereverTheReadsSplitIt) {
  const struct {
    const char* name;
    QByteArray chunks;
  } cases[] = {
      {"size not hex", "zz\r\nabc\r\n0\r\n\r\n"},
      {"size with 0x", "0x3\r\nabc\r\n0\r\n\r\n"},
      {"negative size", "-3\r\nabc\r\n0\r\n\r\n"},
      {"empty size line", "\r\nabc\r\n0\r\n\r\n"},
      {"data longer than its size", "2\r\nabc\r\n0\r\n\r\n"},
      {"data shorter than its size", "10\r\n\r\nabc\r\n0\r\n\r\n"},
      {"no last chunk", "3\r\nabc\r\n"},
      {"no blank line after the last chunk", "3\r\nabc\r\n0\r\n"},
      {"trailer without a colon", "3\r\nabc\r\n0\r\nnot a field\r\n\r\n"},
      {"chunk over the body cap", "10001\r\n" + QByteArray(65537, 'x') + "\r\n0\r\n\r\n"},
      {"framing over its cap", QByteArray(20000, '0') + "1\r\nx\r\n0\r\n\r\n"},
  };
  for (const auto& c : cases) {
    const QByteArray answer = ChunkedHeader + c.chunks;
    for (const qsizetype split :
         {qsizetype{0}, ChunkedHeader.size() + 1, ChunkedHeader.size() + 3, answer.size() - 1}) {
      ScriptedServer server({[&](const QByteArray&) { return answer; }});
      if (split > 0) server.pieceEnds = {split};
      const HttpResponse response = Send(Get(server.port()));
      EXPECT_EQ(response.status, 0) << c.name << ", split at " << split;
      EXPECT_FALSE(response.error.isEmpty()) << c.name << ", split at " << split;
      EXPECT_TRUE(response.body.isEmpty()) << c.name << ", split at " << split;
      EXPECT_EQ(server.requests.size(), 1u) << c.name;
    }
  }
}

// Bytes that can never become a valid response fail at once; bytes that still
// could wait for more, and fail only when the connection closes.
TEST(HttpClient, ReaderFailsAsSoonAsNoMoreBytesCouldHelp) {
  using State = device::ResponseReader::State;
  const struct {
    const char* name;
    QByteArray bytes;
    State state;
  } cases[] = {
      {"header in progress", "HTTP/1.1 200 OK\r\nX-Sentrova", State::Incomplete},
      {"header end in progress", "HTTP/1.1 200 OK\r\n\r", State::Incomplete},
      {"header over the cap", "HTTP/1.1 200 OK\r\nX: " + QByteArray(protocol::MaxHeaderBytes, 'h'), State::Broken},
      {"header at the cap, its end to come",
       "HTTP/1.1 200 OK\r\nX: " + QByteArray(protocol::MaxHeaderBytes - 20, 'h') + "\r\n\r", State::Incomplete},
      {"body short of its length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabc", State::Incomplete},
      {"body and more", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}" + QByteArray(100000, 'm'), State::Complete},
      {"body to the close over the cap", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(protocol::MaxBodyBytes + 1, 'b'),
       State::Broken},
      {"lengths that differ", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n{}", State::Broken},
      {"chunk size line in progress", ChunkedHeader + "1", State::Incomplete},
      {"chunk size not hex", ChunkedHeader + "1g\r\n", State::Broken},
      {"chunk data in progress", ChunkedHeader + "10\r\n\r\n", State::Incomplete},
      {"chunk data ends without CR", ChunkedHeader + "1\r\nxy", State::Broken},
      {"chunk data ends with CR only", ChunkedHeader + "1\r\nx\rz", State::Broken},
      {"last chunk, blank line to come", ChunkedHeader + "0\r\n", State::Incomplete},
      {"trailer in progress", ChunkedHeader + "0\r\nX-T: 1\r\n", State::Incomplete},
      {"last chunk and blank line", ChunkedHeader + "0\r\n\r\n", State::Complete},
      {"chunked wins over a length", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\nx",
       State::Incomplete},
  };
  for (const auto& c : cases) {
    device::ResponseReader reader;
    EXPECT_EQ(reader.Feed(c.bytes, false), c.state) << c.name;
    if (c.state == State::Incomplete) {
      EXPECT_EQ(reader.Feed({}, true), State::Broken) << c.name;
      EXPECT_FALSE(reader.response().error.isEmpty()) << c.name;
    }
  }
}

TEST(HttpClient, NothingIsSentForABadTargetOrAnUnsafeUserName) {
  HttpRequest request = Get(1);
  for (const char16_t* address : {u"localhost", u"127.0.0.1:80", u"", u"127.0.0.1\r\nHost: evil"}) {
    request.address = QString::fromStdU16String(address);
    EXPECT_EQ(Send(request).status, 0);
  }
  ScriptedServer server({[](const QByteArray&) { return Response("401 Unauthorized", "{}", Challenge); },
                         [](const QByteArray&) { return Response("200 OK", "{}"); }});
  request = Get(server.port());
  request.user = QStringLiteral("admin\r\nX-Evil: 1");
  EXPECT_EQ(Send(request).status, 401);
  EXPECT_EQ(server.requests.size(), 1u) << "a user name that would break the header is never sent";
}

TEST(HttpClient, PostCarriesTheBody) {
  const QByteArray body = R"({"settings":{"WlanChannel":3}})";
  ScriptedServer server({[&](const QByteArray& request) {
    // Headers and body leave in one write, so the body is here already.
    return request.endsWith("\r\n\r\n" + body) ? Response("200 OK", R"({"result":1})") : Response("400 Bad", "{}");
  }});
  HttpRequest request = Get(server.port(), QString::fromLatin1(protocol::ApplyPath));
  request.method = QStringLiteral("POST");
  request.body = body;
  EXPECT_EQ(Send(request).status, 200);
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_TRUE(server.requests[0].startsWith("POST /setup/v1/apply HTTP/1.1\r\n"));
  EXPECT_TRUE(server.requests[0].contains("Content-Length: " + QByteArray::number(body.size()) + "\r\n"));
  EXPECT_TRUE(server.requests[0].contains("Content-Type: application/json\r\n"));
}

// What the camera control's apply puts on the wire: every kept setting with
// its type, numbers as unsigned 16-bit words.
TEST(HttpClient, ApplySendsTheKeptSettingsAsTyped) {
  QByteArray body;
  ScriptedServer server({[&](const QByteArray& request) {
    body = request.mid(request.indexOf("\r\n\r\n") + 4);
    return Response("200 OK", R"({"result":1})");
  }});
  device::NetOptions options;
  options.interfaceNames = QStringList{u"lo"_qs};
  device::NetCameraControl camTemp(options);
  camTemp.TargetAddress(u"127.0.0.1");
  camTemp.TargetPort(server.port());
  camTemp.TargetMac(CameraMac.toStdU16String());
  camTemp.SetSetting(u"WlanWEPFlag", static_cast<int16_t>(-32512));  // bits 15 and 8
  camTemp.SetSetting(u"WlanESSID", std::u16string(u"caf\u00e9 \"x\""));
  camTemp.SetSetting(u"WlanChannel", int16_t{3});
  camTemp.SetSetting(u"WlanChannel", int16_t{4});  // the last value kept wins
  camTemp.ApplySettings(1, 0);
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_EQ(QJsonDocument::fromJson(body).object(),
            (QJsonObject{{u"settings"_qs, QJsonObject{{u"WlanWEPFlag"_qs, 0x8100},
                                                      {u"WlanESSID"_qs, u"caf\u00e9 \"x\""_qs},
                                                      {u"WlanChannel"_qs, 4}}}}));
}

}  // namespace
