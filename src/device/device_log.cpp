#include "device/device_log.h"

Q_LOGGING_CATEGORY(lcDiscovery, "sentrova.device.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHttp, "sentrova.device.http", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMac, "sentrova.device.mac", QtInfoMsg)
