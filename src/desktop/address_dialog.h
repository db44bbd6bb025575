#pragma once
// The small dialog that asks for a camera's address (for a camera that
// multicast does not reach): "A" or "A:port", the last one given offered
// again.
#include <QString>
#include <optional>

class QWidget;

namespace desktop {

// Modal over `parent`; none when the user cancels.
std::optional<QString> AskCameraAddress(QWidget& parent);

}  // namespace desktop
