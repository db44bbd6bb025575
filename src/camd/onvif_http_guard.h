#pragma once
// The TCP side of an ONVIF camera's HTTP port. Each connection's request
// head is read here before the HTTP server sees a byte: a body declared
// larger than the SOAP cap, a chunked body (no size known up front) or a
// head larger than the header cap is refused with 413, 411 or 431 and never
// buffered. The ONVIF answers close their connection, so every request
// starts a connection of its own and passes this check.
#include <QTcpServer>

namespace camd {

class SimLog;

class OnvifHttpGuard : public QTcpServer {
  Q_OBJECT

 public:
  OnvifHttpGuard(SimLog& log, QString mac, QObject* parent = nullptr);

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  SimLog& log_;
  QString mac_;
};

// What the head of a request (up to and without the blank line) allows:
// 0 to go on, or the HTTP status that refuses it.
int RefusalForHead(const QByteArray& head, qsizetype maxBody);

}  // namespace camd
