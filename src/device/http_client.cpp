#include "device/http_client.h"

#include <QEventLoop>
#include <QList>
#include <QTcpSocket>
#include <QTimer>
#include <optional>

#include "protocol/protocol.h"

namespace device {
namespace {

struct RawResponse {
  int status = 0;
  QList<QPair<QByteArray, QByteArray>> headers;  // names lower case
  QByteArray body;
  QString error;

  QList<QByteArray> Header(const QByteArray& name) const {
    QList<QByteArray> values;
    for (const auto& [key, value] : headers) {
      if (key == name) values << value;
    }
    return values;
  }
};

// Reads one response from the bytes received so far: complete, incomplete,
// or broken (an error).
class ResponseReader {
 public:
  enum class State { Incomplete, Complete, Broken };

  State Feed(const QByteArray& bytes, bool closed) {
    buffer_ += bytes;
    if (headerEnd_ < 0) {
      headerEnd_ = buffer_.indexOf("\r\n\r\n");
      if (headerEnd_ < 0) {
        if (buffer_.size() > protocol::MaxHeaderBytes) return Fail(QStringLiteral("response header too large"));
        return closed ? Fail(QStringLiteral("connection closed before the response header")) : State::Incomplete;
      }
      if (headerEnd_ > protocol::MaxHeaderBytes) return Fail(QStringLiteral("response header too large"));
      if (!ParseHeader(buffer_.left(headerEnd_))) return Fail(QStringLiteral("malformed response header"));
    }
    const QByteArray body = buffer_.mid(headerEnd_ + 4);
    if (body.size() > protocol::MaxBodyBytes + 64) return Fail(QStringLiteral("response body too large"));
    if (contentLength_) {
      if (body.size() >= *contentLength_) return Finish(body.left(*contentLength_));
      return closed ? Fail(QStringLiteral("connection closed inside the body")) : State::Incomplete;
    }
    if (chunked_) {
      if (!body.endsWith("0\r\n\r\n")) {
        return closed ? Fail(QStringLiteral("connection closed inside the body")) : State::Incomplete;
      }
      return Dechunk(body);
    }
    return closed ? Finish(body) : State::Incomplete;
  }

  RawResponse response;

 private:
  State Fail(const QString& error) {
    response.status = 0;
    response.error = error;
    return State::Broken;
  }

  State Finish(const QByteArray& body) {
    if (body.size() > protocol::MaxBodyBytes) return Fail(QStringLiteral("response body too large"));
    response.body = body;
    return State::Complete;
  }

  State Dechunk(const QByteArray& chunked) {
    QByteArray body;
    qsizetype at = 0;
    while (true) {
      const qsizetype lineEnd = chunked.indexOf("\r\n", at);
      if (lineEnd < 0) return Fail(QStringLiteral("malformed chunk"));
      bool ok = false;
      const qsizetype size = chunked.mid(at, lineEnd - at).split(';').front().trimmed().toLongLong(&ok, 16);
      if (!ok || size < 0 || size > protocol::MaxBodyBytes) return Fail(QStringLiteral("malformed chunk"));
      if (size == 0) return Finish(body);
      at = lineEnd + 2;
      if (at + size + 2 > chunked.size()) return Fail(QStringLiteral("malformed chunk"));
      body += chunked.mid(at, size);
      at += size + 2;
      if (body.size() > protocol::MaxBodyBytes) return Fail(QStringLiteral("response body too large"));
    }
  }

  bool ParseHeader(const QByteArray& header) {
    const QList<QByteArray> lines = header.split('\n');
    const QList<QByteArray> status = lines.front().trimmed().split(' ');
    if (status.size() < 2 || !status[0].startsWith("HTTP/1.")) return false;
    bool ok = false;
    response.status = status[1].toInt(&ok);
    if (!ok || response.status < 100 || response.status > 599) return false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const QByteArray line = lines[i].trimmed();
      const qsizetype colon = line.indexOf(':');
      if (colon <= 0) return false;
      const QByteArray name = line.left(colon).trimmed().toLower();
      const QByteArray value = line.mid(colon + 1).trimmed();
      response.headers.append({name, value});
      if (name == "content-length") {
        const qlonglong length = value.toLongLong(&ok);
        if (!ok || length < 0) return false;
        if (length > protocol::MaxBodyBytes) return false;
        contentLength_ = static_cast<qsizetype>(length);
      } else if (name == "transfer-encoding" && value.toLower().contains("chunked")) {
        chunked_ = true;
      }
    }
    return true;
  }

  QByteArray buffer_;
  qsizetype headerEnd_ = -1;
  std::optional<qsizetype> contentLength_;
  bool chunked_ = false;
};

QByteArray RequestBytes(const HttpRequest& request, const QByteArray& authorization) {
  QByteArray bytes = request.method.toLatin1() + ' ' + request.path.toUtf8() + " HTTP/1.1\r\n";
  bytes += "Host: " + request.address.toLatin1() + ':' + QByteArray::number(request.port) + "\r\n";
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
      case ResponseReader::State::Complete: finish(QString()); break;
      case ResponseReader::State::Broken: finish(reader.response.error); break;
      case ResponseReader::State::Incomplete: break;
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
    if (socket.state() != QAbstractSocket::ConnectedState) finish(QStringLiteral("connect timed out"));
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { finish(QStringLiteral("timed out")); });

  if (!request.bindAddress.isNull() && !socket.bind(request.bindAddress)) {
    finish(QStringLiteral("cannot bind to ") + request.bindAddress.toString());
  } else {
    connectTimer.start(request.connectTimeout);
    deadline.start(request.timeout);
    socket.connectToHost(QHostAddress(request.address), request.port);
    if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  socket.abort();

  RawResponse response = reader.response;
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
  if (raw.status == 0) {
    response.error = raw.error;
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

HttpResponse SendHttp(const HttpRequest& request) {
  if (!protocol::IsIPv4(request.address)) {
    HttpResponse response;
    response.error = QStringLiteral("not a dotted IPv4 address");
    return response;
  }
  const RawResponse first = Exchange(request, QByteArray());
  const HttpResponse plain = Conclude(first, request);
  if (plain.status != 401) return plain;

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
