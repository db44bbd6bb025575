#include "camd/sim_log.h"

#include <algorithm>
#include <cstdio>

namespace camd {

bool SimLog::Open(const QString& path, QString& error) {
  clock_.start();
  const bool opened = path.isEmpty() ? file_.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered)
                                     : (file_.setFileName(path),
                                        file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
  if (!opened) error = path + QStringLiteral(": ") + file_.errorString();
  return opened;
}

void SimLog::Line(const QString& text) {
  if (!file_.isOpen()) return;
  const QString stamped =
      QStringLiteral("%1 ").arg(static_cast<double>(clock_.elapsed()) / 1000.0, 0, 'f', 3) + text + u'\n';
  file_.write(stamped.toUtf8());
}

CappedLines::CappedLines(SimLog& log, QString kind) : log_(log), kind_(std::move(kind)) {
  windowEnd_.setSingleShot(true);
  QObject::connect(&windowEnd_, &QTimer::timeout, &windowEnd_, [this] { EndWindow(); });
}

void CappedLines::Line(const QString& text) {
  if (!window_.isValid() || (counted_ == 0 && window_.elapsed() >= WindowMs)) {
    window_.start();
    logged_ = 0;
  }
  if (logged_ < LinesPerWindow) {
    ++logged_;
    log_.Line(kind_ + u' ' + text);
    return;
  }
  if (counted_++ > 0) return;
  const qint64 left = std::max<qint64>(0, WindowMs - window_.elapsed());
  log_.Line(QStringLiteral("%1: further lines only counted for ms=%2").arg(kind_).arg(left));
  windowEnd_.start(static_cast<int>(left));
}

void CappedLines::EndWindow() {
  log_.Line(QStringLiteral("%1: counted=%2 not logged").arg(kind_).arg(counted_));
  counted_ = 0;
  window_.invalidate();
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
