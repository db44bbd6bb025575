#pragma once
// The camera control's log categories. Lines name the member and the target;
// passwords and proofs never appear.
#include <QLoggingCategory>
#include <QString>
#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
Q_DECLARE_LOGGING_CATEGORY(lcMac)

class QHostAddress;

namespace device {

// What a receiver drops: each drop counted, the first few logged with their
// reason, then one line saying the rest are only counted.
class DropLog {
 public:
  explicit DropLog(QString what) : what_(std::move(what)) {}
  void Drop(const QString& why, const QHostAddress& from);
  int count() const { return count_; }

 private:
  QString what_;  // "a datagram", "a WS-Discovery answer"
  int count_ = 0;
};

}  // namespace device
