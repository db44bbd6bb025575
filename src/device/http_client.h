#pragma once
// A small HTTP/1.1 client for the cameras' setup API: one request per
// connection, Digest authentication, hard timeouts and size caps, and a check
// of the camera's MAC header before any credentials are computed for it.
//
// Hand-written on QTcpSocket rather than QNetworkAccessManager because the
// access manager keeps connections and credentials per host:port, so after a
// camera's address moves to another camera (two cameras on one address, a
// camera coming back on a new address) it would reuse them for the wrong
// camera; it also follows no MAC check before answering a Digest challenge.
#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <chrono>
#include <optional>

namespace device {

struct HttpRequest {
  QString method;    // "GET" or "POST"
  QString address;   // dotted IPv4, or IPv6 link-local with its interface ("fe80::1%eth0")
  quint16 port = 0;  // the caller always names it
  QString path;
  QByteArray body;  // for POST
  QByteArray contentType = "application/json";
  QString user;  // Digest credentials; used only when the camera asks
  QString password;
  bool answerChallenge = true;  // false: a 401 is the answer, no credentials go out
  QString expectedMac;          // when set, the camera must carry this X-Sentrova-MAC
  QHostAddress bindAddress;     // when set, the local address to connect from
  std::chrono::milliseconds connectTimeout{1000};
  std::chrono::milliseconds timeout{1500};  // for each exchange, connect included
};

struct HttpResponse {
  int status = 0;  // 0: no usable answer (see error)
  QByteArray body;
  QString mac;            // X-Sentrova-MAC of the answer
  QString error;          // why there is no usable answer; empty on success
  bool timedOut = false;  // no answer because the time was up
  QString date;           // the Date header, when the camera sent one
  bool answered() const { return status != 0; }
};

// One response as read from the wire.
struct RawResponse {
  int status = 0;                                // 0: broken or not yet read
  QList<QPair<QByteArray, QByteArray>> headers;  // names lower case, values trimmed
  QByteArray body;                               // without the chunk framing
  QString error;                                 // why the response is broken

  QList<QByteArray> Header(const QByteArray& name) const;
};

// Reads one response from its connection's bytes as they arrive: the status
// line, the header (at most protocol::MaxHeaderBytes), then a body of
// Content-Length bytes, a chunked body or a body up to the close (at most
// protocol::MaxBodyBytes). Whether the response is complete is decided only by
// parsing it, so the answer never depends on how the bytes were split into
// reads: Incomplete while more bytes could still make a valid response,
// Broken once none could. Bytes after a complete response are ignored.
class ResponseReader {
 public:
  enum class State { Incomplete, Complete, Broken };

  // bytes: what arrived since the last call; closed: the peer has closed the
  // connection, so nothing more will come. Once Complete or Broken, the state
  // stays and further bytes are ignored.
  State Feed(QByteArrayView bytes, bool closed);
  const RawResponse& response() const { return response_; }

 private:
  enum class Part { Header, Body, ChunkSize, ChunkData, Trailer };
  enum class Step { Next, NeedMore, Done };

  Step ReadHeader();
  Step ReadBody(bool closed);
  Step ReadChunkSize();
  Step ReadChunkData();
  Step ReadTrailer();
  Step FramingLine(QByteArrayView* line);
  bool ParseHeader(QByteArrayView header);
  Step Fail(const QString& error);
  Step Finish(const QByteArray& body);

  QByteArray buffer_;   // everything received
  qsizetype at_ = 0;    // where the unread part of buffer_ begins
  qsizetype scan_ = 0;  // where the search for the end of the header or line goes on
  Part part_ = Part::Header;
  State state_ = State::Incomplete;
  std::optional<qsizetype> contentLength_;
  bool chunked_ = false;
  qsizetype chunkLeft_ = 0;  // data bytes of the current chunk
  qsizetype framing_ = 0;    // chunk-size lines, CRLFs and trailers read so far
  QByteArray chunkedBody_;
  RawResponse response_;
};

// The Host header's value for a request to address:port. An IPv6 address
// goes in brackets without its zone ("[fe80::1]:80"): the zone means
// something on this computer only (RFC 6874, section 4), and servers take
// the bracketed address as it is.
QByteArray HostHeader(const QString& address, quint16 port);

// Sends the request; answers a Digest challenge once with the credentials.
// Never throws; every failure is a response with status 0 and an error text,
// except a refused login, which is the camera's 401.
HttpResponse SendHttp(const HttpRequest& request);

}  // namespace device
