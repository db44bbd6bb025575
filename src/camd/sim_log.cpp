#include "camd/sim_log.h"

#include <cstdio>

namespace camd {

bool SimLog::open(const QString& path, QString& error) {
  clock_.start();
  const bool opened = path.isEmpty() ? file_.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered)
                                     : (file_.setFileName(path),
                                        file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
  if (!opened) error = path + QStringLiteral(": ") + file_.errorString();
  return opened;
}

void SimLog::line(const QString& text) {
  if (!file_.isOpen()) return;
  const QString stamped = QStringLiteral("%1 ").arg(static_cast<double>(clock_.elapsed()) / 1000.0, 0, 'f', 3) + text + u'\n';
  file_.write(stamped.toUtf8());
}

QString LogSafe(const QString& text, qsizetype limit) {
  QString safe;
  for (QChar c : text.left(limit)) {
    if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == u'\\')
      safe += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
    else
      safe += c;
  }
  if (text.size() > limit) safe += QStringLiteral("...");
  return safe;
}

}  // namespace camd
