#include "device/device_log.h"

#include <QHostAddress>

#include "protocol/wire.h"

Q_LOGGING_CATEGORY(lcDiscovery, "sentrova.device.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHttp, "sentrova.device.http", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMac, "sentrova.device.mac", QtInfoMsg)

namespace device {

void DropLog::Drop(const QString& why, const QHostAddress& from) {
  ++count_;
  if (count_ <= protocol::LoggedDrops) {
    qCInfo(lcDiscovery).noquote() << "dropped" << what_ << "from" << from.toString() << ":" << why;
  } else if (count_ == protocol::LoggedDrops + 1) {
    qCInfo(lcDiscovery).noquote() << "further drops of" << what_ << "are only counted";
  }
}

}  // namespace device
