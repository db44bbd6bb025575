#pragma once
// The camera control's log categories. Lines name the member and the target;
// passwords and proofs never appear.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
Q_DECLARE_LOGGING_CATEGORY(lcMac)
