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
#include <QHostAddress>
#include <QString>
#include <chrono>

namespace device {

struct HttpRequest {
  QString method;  // "GET" or "POST"
  QString address;  // dotted IPv4
  quint16 port = 80;
  QString path;
  QByteArray body;      // for POST
  QByteArray contentType = "application/json";
  QString user;         // Digest credentials; used only when the camera asks
  QString password;
  QString expectedMac;  // when set, the camera must carry this X-Sentrova-MAC
  QHostAddress bindAddress;  // when set, the local address to connect from
  std::chrono::milliseconds connectTimeout{1000};
  std::chrono::milliseconds timeout{1500};  // for each exchange, connect included
};

struct HttpResponse {
  int status = 0;      // 0: no usable answer (see error)
  QByteArray body;
  QString mac;         // X-Sentrova-MAC of the answer
  QString error;       // why there is no usable answer; empty on success
  bool answered() const { return status != 0; }
};

// Sends the request; answers a Digest challenge once with the credentials.
// Never throws; every failure is a response with status 0 and an error text,
// except a refused login, which is the camera's 401.
HttpResponse SendHttp(const HttpRequest& request);

}  // namespace device
