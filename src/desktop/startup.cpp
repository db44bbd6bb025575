#include "desktop/startup.h"

#include <QGuiApplication>

#include "desktop/qt_desktop.h"

namespace desktop {

bool PlatformShowsWindows() {
  const QString platform = QGuiApplication::platformName();
  return platform != u"offscreen" && platform != u"minimal";
}

void ShowStartupError(const QString& message) {
  ShowQtMessageBox({message.toStdU16String(), u"Sentrova", forms::MsgIcon::Critical, forms::MsgButtons::OK});
}

}  // namespace desktop
