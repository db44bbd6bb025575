#pragma once
// The simulator's log: one line per request received, in a form tests can
// read ("camera <mac> http POST /setup/v1/apply keys=SysAdminID result=1").
// Values are never logged, so neither are passwords.
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTimer>

namespace camd {

class SimLog {
 public:
  // An empty path logs to stderr.
  bool Open(const QString& path, QString& error);
  void Line(const QString& text);

 private:
  QFile file_;
  QElapsedTimer clock_;
};

// Lines of one kind that a flood would repeat once per datagram (a probe, a
// dropped datagram). In each window the first LinesPerWindow are logged; the
// next one says that the rest are only counted, and when the window ends one
// line gives how many were. Outside floods every line is logged.
class CappedLines {
 public:
  static constexpr int LinesPerWindow = 20;
  static constexpr int WindowMs = 1000;

  // `kind` starts every line of this kind, e.g. "sim udp dropped".
  CappedLines(SimLog& log, QString kind);
  // `text` follows the kind on its line.
  void Line(const QString& text);

 private:
  void EndWindow();

  SimLog& log_;
  const QString kind_;
  QElapsedTimer window_;
  QTimer windowEnd_;
  int logged_ = 0;
  qint64 counted_ = 0;
};

// Text that came from outside, made safe for one log line: control
// characters and blanks escaped, cut to `limit` characters.
QString LogSafe(const QString& text, qsizetype limit = 64);

}  // namespace camd
