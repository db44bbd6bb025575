#include "camd/onvif_http_guard.h"

#include <QTcpSocket>

#include "camd/onvif_xml.h"
#include "camd/sim_log.h"
#include "protocol/protocol.h"

namespace camd {
namespace {

QByteArray StatusText(int status) {
  switch (status) {
    case 411: return "411 Length Required";
    case 413: return "413 Payload Too Large";
    default: return "431 Request Header Fields Too Large";
  }
}

}  // namespace

int RefusalForHead(const QByteArray& head, qsizetype maxBody) {
  if (head.size() > protocol::MaxHeaderBytes) return 431;
  for (const QByteArray& line : head.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) continue;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "transfer-encoding") return 411;
    if (name == "content-length") {
      bool ok = false;
      const qlonglong length = value.toLongLong(&ok);
      if (!ok || length < 0 || length > maxBody) return 413;
    }
  }
  return 0;
}

OnvifHttpGuard::OnvifHttpGuard(SimLog& log, QString mac, QObject* parent)
    : QTcpServer(parent), log_(log), mac_(std::move(mac)) {}

void OnvifHttpGuard::incomingConnection(qintptr descriptor) {
  auto* socket = new QTcpSocket(this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    return;
  }
  // Connected before the HTTP server takes the socket, so this runs first on
  // every read.
  enum class State { Head, Passed, Refused };
  auto state = std::make_shared<State>(State::Head);
  connect(socket, &QTcpSocket::readyRead, socket, [this, socket, state] {
    if (*state == State::Passed) return;
    if (*state == State::Refused) {
      socket->readAll();  // what a refused client still sends is dropped unread
      return;
    }
    const QByteArray seen = socket->peek(protocol::MaxHeaderBytes + 4);
    const qsizetype end = seen.indexOf("\r\n\r\n");
    if (end < 0 && seen.size() <= protocol::MaxHeaderBytes) return;  // the head is not complete yet
    const int status = end < 0 ? 431 : RefusalForHead(seen.left(end), kMaxSoapBytes);
    if (status == 0) {
      *state = State::Passed;
      return;
    }
    *state = State::Refused;
    socket->readAll();
    log_.line(QStringLiteral("camera %1 onvif refused=%2 before reading the body").arg(mac_).arg(status));
    socket->write("HTTP/1.1 " + StatusText(status) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
  });
  addPendingConnection(socket);
}

}  // namespace camd
