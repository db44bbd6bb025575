#pragma once
// The simulator's log: one line per request received, in a form tests can
// read ("camera <mac> http POST /setup/v1/apply keys=SysAdminID result=1").
// Values are never logged, so neither are passwords.
#include <QElapsedTimer>
#include <QFile>
#include <QString>

namespace camd {

class SimLog {
 public:
  // An empty path logs to stderr.
  bool open(const QString& path, QString& error);
  void line(const QString& text);

 private:
  QFile file_;
  QElapsedTimer clock_;
};

// Text that came from outside, made safe for one log line: control
// characters and blanks escaped, cut to `limit` characters.
QString LogSafe(const QString& text, qsizetype limit = 64);

}  // namespace camd
