#pragma once
// Test helpers around the real sentrova-camd: start it on a random loopback
// range and discovery port, read its log, talk to it as the PC would over
// the discovery group and raw HTTP.
#include <QByteArrayList>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include "protocol/protocol.h"

namespace camd_test {

// What the log holds of one kind of line that a flood repeats (the kinds
// camd::CappedLines caps): lines logged whole, windows that reached the cap,
// and how many lines those windows only counted.
struct CappedLog {
  qsizetype logged = 0;
  qsizetype windows = 0;
  qint64 counted = 0;
};
// Success when at most the cap of lines was logged in each window and no
// more lines were logged and counted than `sent` datagrams could make.
testing::AssertionResult LoggedWithinCap(const CappedLog& log, int sent);

// A random 127.A.B prefix, so that parallel tests never share addresses.
QString RandomRange();
// A UDP port nobody on this host uses right now.
quint16 FreeUdpPort();

class SimProcess {
 public:
  SimProcess();
  ~SimProcess();

  // Starts the simulator with `arguments` plus its discovery port and log
  // file, and waits until it says it is ready. False when it did not start.
  bool start(const QStringList& arguments);
  // Waits until the log holds `count` lines containing `text`.
  bool waitForLog(const QString& text, int count = 1, int timeoutMs = 10000);
  QString log() const;
  qsizetype countInLog(const QString& text) const;
  // The lines of `kind` once every window that reached the cap has ended
  // (waiting up to `timeoutMs` for that).
  CappedLog cappedLog(const QString& kind, int timeoutMs = 5000);
  // Sends `signal` and waits for the end; the exit code, or -1 after a crash.
  int stop(int signal);
  // Waits for the process to end by itself; -1 after a crash, -2 still running.
  int waitForEnd(int timeoutMs);
  QString errorOutput();
  qint64 pid() const { return process_.processId(); }
  // Runs the simulator with exactly `arguments` until it ends; its exit code.
  int run(const QStringList& arguments);

  quint16 port() const { return port_; }
  QString dir() const { return dir_.path(); }
  // Writes a fleet file in the work folder and gives its path.
  QString writeFleet(const QByteArray& json) const;

 private:
  QTemporaryDir dir_;
  quint16 port_;
  QProcess process_;
  int runs_ = 0;
};

// The PC's side of the discovery group, joined on lo.
class Group {
 public:
  explicit Group(quint16 port);
  void send(const protocol::Message& message);
  void sendRaw(const QByteArray& datagram);
  // The valid datagrams heard until `timeoutMs` passes or `done` holds for
  // what was collected; `keep` chooses which are collected.
  std::vector<protocol::Message> collect(const std::function<bool(const protocol::Message&)>& keep, int timeoutMs,
                                         const std::function<bool(const std::vector<protocol::Message>&)>& done = {});
  // One request and the first reply of `kind` with its nonce.
  std::optional<protocol::Message> ask(const protocol::Message& request, protocol::Kind replyKind,
                                       int timeoutMs = 3000);
  // Source addresses of the answers collected last, in order.
  const QStringList& sources() const { return sources_; }

 private:
  quint16 port_;
  QUdpSocket socket_;
  QStringList sources_;
};

struct HttpAnswer {
  int status = 0;                        // 0: no connection or no complete answer
  QMap<QByteArray, QByteArray> headers;  // names lower case
  QByteArrayList authenticate;
  QByteArray body;
  QJsonObject json() const;
};

// Raw bytes on a fresh connection (from `source` when given), and the one
// answer they get.
HttpAnswer Exchange(const QString& address, quint16 port, const QByteArray& request, const QString& source = {});
// One request on a fresh connection.
HttpAnswer Http(const QString& address, quint16 port, const QByteArray& method, const QByteArray& path,
                const QByteArray& body = {}, const QByteArray& authorization = {}, const QString& source = {});
// A request answered with Digest credentials after the camera's 401, as the
// component does; `offer` picks the WWW-Authenticate value to answer.
HttpAnswer HttpLogin(const QString& address, quint16 port, const QByteArray& method, const QByteArray& path,
                     const QString& user, const QString& password, const QByteArray& body = {}, int offer = 0);

// A MAC-channel request with a fresh nonce.
protocol::Message Request(protocol::Kind kind, const QString& mac);
// A command with its proof, on a challenge the camera issued first.
std::optional<protocol::Message> ProvenCommand(Group& group, protocol::Message command, const QString& password);

}  // namespace camd_test
