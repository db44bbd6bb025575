#include "device/http_client.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "device/net_options.h"
#include "protocol/protocol.h"

namespace device {
namespace {

// The chunk-size lines, their CRLFs and the trailers of a chunked body may
// together take as much as a response header: enough for thousands of
// chunks, and a bound on what a camera can make us buffer.
constexpr qsizetype MaxChunkFramingBytes = protocol::MaxHeaderBytes;

// The size of a chunk-size line ("1a", "1a ; name=value"): hex digits, then
// optional blanks and extensions, which are ignored. Saturates above the body
// cap, so a huge size cannot overflow.
std::optional<qsizetype> ChunkSize(QByteArrayView line) {
  const qsizetype extension = line.indexOf(';');
  const QByteArrayView digits = (extension < 0 ? line : line.first(extension)).trimmed();
  if (digits.isEmpty()) return std::nullopt;
  qsizetype size = 0;
  for (const char c : digits) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    size = std::min<qsizetype>(size * 16 + digit, qsizetype{protocol::MaxBodyBytes} + 1);
  }
  return size;
}

}  // namespace

QList<QByteArray> RawResponse::Header(const QByteArray& name) const {
  QList<QByteArray> values;
  for (const auto& [key, value] : headers) {
    if (key == name) values << value;
  }
  return values;
}

ResponseReader::State ResponseReader::Feed(QByteArrayView bytes, bool closed) {
  if (state_ != State::Incomplete) return state_;
  buffer_ += bytes;
  Step step = Step::Next;
  while (step == Step::Next) {
    switch (part_) {
      case Part::Header:
        step = ReadHeader();
        break;
      case Part::Body:
        step = ReadBody(closed);
        break;
      case Part::ChunkSize:
        step = ReadChunkSize();
        break;
      case Part::ChunkData:
        step = ReadChunkData();
        break;
      case Part::Trailer:
        step = ReadTrailer();
        break;
    }
  }
  if (step == Step::NeedMore && closed) {
    Fail(part_ == Part::Header ? QStringLiteral("connection closed before the response header")
                               : QStringLiteral("connection closed inside the body"));
  }
  return state_;
}

ResponseReader::Step ResponseReader::ReadHeader() {
  const qsizetype end = buffer_.indexOf("\r\n\r\n", scan_);
  if (end < 0) {
    // The blank line could still begin in the last three bytes.
    scan_ = std::max<qsizetype>(0, buffer_.size() - 3);
    if (scan_ > protocol::MaxHeaderBytes) return Fail(QStringLiteral("response header too large"));
    return Step::NeedMore;
  }
  if (end > protocol::MaxHeaderBytes) return Fail(QStringLiteral("response header too large"));
  if (!ParseHeader(QByteArrayView(buffer_).first(end))) return Fail(QStringLiteral("malformed response header"));
  at_ = end + 4;
  part_ = chunked_ ? Part::ChunkSize : Part::Body;
  return Step::Next;
}

ResponseReader::Step ResponseReader::ReadBody(bool closed) {
  const qsizetype available = buffer_.size() - at_;
  if (contentLength_) {
    return available >= *contentLength_ ? Finish(buffer_.mid(at_, *contentLength_)) : Step::NeedMore;
  }
  if (available > protocol::MaxBodyBytes) return Fail(QStringLiteral("response body too large"));
  return closed ? Finish(buffer_.mid(at_)) : Step::NeedMore;
}

ResponseReader::Step ResponseReader::ReadChunkSize() {
  QByteArrayView line;
  const Step step = FramingLine(&line);
  if (step != Step::Next) return step;
  const std::optional<qsizetype> size = ChunkSize(line);
  if (!size) return Fail(QStringLiteral("malformed chunk"));
  if (chunkedBody_.size() + *size > protocol::MaxBodyBytes) return Fail(QStringLiteral("response body too large"));
  chunkLeft_ = *size;
  part_ = *size == 0 ? Part::Trailer : Part::ChunkData;
  return Step::Next;
}

ResponseReader::Step ResponseReader::ReadChunkData() {
  const QByteArrayView rest = QByteArrayView(buffer_).sliced(at_);
  if (rest.size() > chunkLeft_) {
    // The data ends in CRLF; a wrong byte there stays wrong whatever follows.
    const QByteArrayView end = rest.sliced(chunkLeft_).first(std::min<qsizetype>(2, rest.size() - chunkLeft_));
    if (!QByteArrayView("\r\n").startsWith(end)) return Fail(QStringLiteral("malformed chunk"));
  }
  if (rest.size() < chunkLeft_ + 2) return Step::NeedMore;
  if (framing_ + 2 > MaxChunkFramingBytes) return Fail(QStringLiteral("chunk framing too large"));
  chunkedBody_ += rest.first(chunkLeft_);
  framing_ += 2;
  at_ += chunkLeft_ + 2;
  part_ = Part::ChunkSize;
  return Step::Next;
}

ResponseReader::Step ResponseReader::ReadTrailer() {
  QByteArrayView line;
  const Step step = FramingLine(&line);
  if (step != Step::Next) return step;
  if (line.isEmpty()) return Finish(chunkedBody_);
  // Trailer fields are read past, not used; they must still look like fields.
  if (line.indexOf(':') <= 0) return Fail(QStringLiteral("malformed chunk trailer"));
  return Step::Next;
}

// Reads the next CRLF-terminated line of the chunk framing into line, counted
// against the framing cap.
ResponseReader::Step ResponseReader::FramingLine(QByteArrayView* line) {
  const qsizetype end = buffer_.indexOf("\r\n", std::max(at_, scan_));
  // An unterminated line takes at least one more byte to end.
  const qsizetype length = end < 0 ? buffer_.size() - at_ + 1 : end - at_ + 2;
  if (framing_ + length > MaxChunkFramingBytes) return Fail(QStringLiteral("chunk framing too large"));
  if (end < 0) {
    scan_ = std::max<qsizetype>(at_, buffer_.size() - 1);
    return Step::NeedMore;
  }
  *line = QByteArrayView(buffer_).sliced(at_, end - at_);
  framing_ += length;
  at_ = end + 2;
  return Step::Next;
}

bool ResponseReader::ParseHeader(QByteArrayView header) {
  const QList<QByteArray> lines = header.toByteArray().split('\n');
  const QList<QByteArray> status = lines.front().trimmed().split(' ');
  if (status.size() < 2 || !status[0].startsWith("HTTP/1.")) return false;
  bool ok = false;
  response_.status = status[1].toInt(&ok);
  if (!ok || response_.status < 100 || response_.status > 599) return false;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray line = lines[i].trimmed();
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return false;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    response_.headers.append({name, value});
    if (name == "content-length") {
      const qlonglong length = value.toLongLong(&ok);
      if (!ok || length < 0) return false;
      if (length > protocol::MaxBodyBytes) return false;
      // Two different lengths leave the body's end unknown.
      if (contentLength_ && *contentLength_ != length) return false;
      contentLength_ = static_cast<qsizetype>(length);
    } else if (name == "transfer-encoding" && value.toLower().contains("chunked")) {
      chunked_ = true;
    }
  }
  // A chunked body's framing says where it ends, whatever a Content-Length claims.
  if (chunked_) contentLength_.reset();
  return true;
}

ResponseReader::Step ResponseReader::Fail(const QString& error) {
  state_ = State::Broken;
  response_.status = 0;
  response_.error = error;
  return Step::Done;
}

ResponseReader::Step ResponseReader::Finish(const QByteArray& body) {
  state_ = State::Complete;
  response_.body = body;
  return Step::Done;
}

namespace {

// Why an exchange ended without an answer: no connection in its time, or no
// whole answer in the request's time.
constexpr char ConnectTimedOut[] = "connect timed out";
constexpr char TimedOut[] = "timed out";

QByteArray RequestBytes(const HttpRequest& request, const QByteArray& authorization) {
  QByteArray bytes = request.method.toLatin1() + ' ' + request.path.toUtf8() + " HTTP/1.1\r\n";
  bytes += "Host: " + HostHeader(request.address, request.port) + "\r\n";
  bytes += "Connection: close\r\n";
  bytes += "Accept: application/json\r\n";
  if (!authorization.isEmpty()) bytes += "Authorization: " + authorization + "\r\n";
  if (request.method == u"POST") {
    bytes += "Content-Type: " + request.contentType + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(request.body.size()) + "\r\n";
  }
  bytes += "\r\n";
  if (request.method == u"POST") bytes += request.body;
  return bytes;
}

// One request on one connection, waiting in a local event loop.
RawResponse Exchange(const HttpRequest& request, const QByteArray& authorization) {
  QTcpSocket socket;
  QEventLoop loop;
  ResponseReader reader;
  QString error;
  bool done = false;
  const auto finish = [&](const QString& why) {
    if (done) return;
    done = true;
    error = why;
    loop.quit();
  };
  const auto feed = [&](bool closed) {
    switch (reader.Feed(socket.isOpen() ? socket.readAll() : QByteArray(), closed)) {
      case ResponseReader::State::Complete:
        finish(QString());
        break;
      case ResponseReader::State::Broken:
        finish(reader.response().error);
        break;
      case ResponseReader::State::Incomplete:
        break;
    }
  };
  QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { socket.write(RequestBytes(request, authorization)); });
  QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] { feed(false); });
  QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [&] { feed(true); });
  QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError code) {
    if (code == QAbstractSocket::RemoteHostClosedError) {
      feed(true);
    } else {
      finish(socket.errorString());
    }
  });
  QTimer connectTimer;
  connectTimer.setSingleShot(true);
  QObject::connect(&connectTimer, &QTimer::timeout, &loop, [&] {
    if (socket.state() != QAbstractSocket::ConnectedState) finish(QString::fromLatin1(ConnectTimedOut));
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { finish(QString::fromLatin1(TimedOut)); });

  if (!request.bindAddress.isNull() && !socket.bind(request.bindAddress)) {
    finish(QStringLiteral("cannot bind to ") + request.bindAddress.toString());
  } else {
    connectTimer.start(request.connectTimeout);
    deadline.start(request.timeout);
    socket.connectToHost(QHostAddress(request.address), request.port);
    if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  socket.abort();

  RawResponse response = reader.response();
  if (!error.isEmpty() || response.status == 0) {
    response.status = 0;
    response.error = error.isEmpty() ? QStringLiteral("no answer") : error;
  }
  return response;
}

HttpResponse Conclude(const RawResponse& raw, const HttpRequest& request) {
  HttpResponse response;
  const QList<QByteArray> macs = raw.Header("x-sentrova-mac");
  response.mac = macs.isEmpty() ? QString() : QString::fromUtf8(macs.front());
  const QList<QByteArray> dates = raw.Header("date");
  response.date = dates.isEmpty() ? QString() : QString::fromLatin1(dates.front());
  if (raw.status == 0) {
    response.error = raw.error;
    response.timedOut = raw.error == QLatin1String(TimedOut);
    return response;
  }
  if (!request.expectedMac.isEmpty() && response.mac != request.expectedMac) {
    response.error = QStringLiteral("answered by another camera (MAC \"%1\")").arg(response.mac);
    return response;
  }
  response.status = raw.status;
  response.body = raw.body;
  return response;
}

}  // namespace

QByteArray HostHeader(const QString& address, quint16 port) {
  const QByteArray portText = ':' + QByteArray::number(port);
  if (!address.contains(u':')) return address.toLatin1() + portText;
  return '[' + address.left(address.indexOf(u'%')).toLatin1() + ']' + portText;
}

HttpResponse SendHttp(const HttpRequest& request) {
  if (!protocol::IsIPv4(request.address) && !IsScopedLinkLocal(request.address)) {
    HttpResponse response;
    response.error = QStringLiteral("not a dotted IPv4 address or a scoped IPv6 link-local one");
    return response;
  }
  const RawResponse first = Exchange(request, QByteArray());
  HttpResponse plain = Conclude(first, request);
  if (plain.status != 401 || !request.answerChallenge) return plain;

  // The camera wants a login: answer its Digest challenge once, preferring
  // SHA-256, and only after the MAC check above passed.
  std::optional<protocol::DigestChallenge> chosen;
  for (const QByteArray& value : first.Header("www-authenticate")) {
    const auto challenge = protocol::ParseDigestChallenge(value);
    if (challenge && (!chosen || challenge->algorithm == u"SHA-256")) chosen = challenge;
  }
  if (!chosen) return plain;
  const QByteArray authorization =
      protocol::DigestAuthorization(*chosen, request.user, request.password, request.method, request.path);
  if (authorization.isEmpty()) return plain;
  return Conclude(Exchange(request, authorization), request);
}

}  // namespace device
