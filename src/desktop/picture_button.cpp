#include "desktop/picture_button.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace desktop {

PictureButton::PictureButton(const QString& wording, QWidget* parent) : QPushButton(wording, parent) {
  setCursor(Qt::PointingHandCursor);
}

// A rounded plate in the wizard's blue, lighter under the mouse, darker while
// pressed, grey when switched off; the wording in white on top.
void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plate = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);

  QColor top(70, 120, 190);
  QColor bottom(30, 70, 140);
  if (!isEnabled()) {
    top = QColor(190, 190, 190);
    bottom = QColor(150, 150, 150);
  } else if (isDown()) {
    std::swap(top, bottom);
  } else if (underMouse()) {
    top = top.lighter(115);
    bottom = bottom.lighter(115);
  }
  QLinearGradient fill(plate.topLeft(), plate.bottomLeft());
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  QPainterPath path;
  path.addRoundedRect(plate, 6, 6);
  painter.fillPath(path, fill);
  painter.setPen(QPen(hasFocus() ? QColor(255, 200, 60) : bottom.darker(130), hasFocus() ? 2.0 : 1.0));
  painter.drawPath(path);

  QFont wordingFont = font();
  wordingFont.setBold(true);
  painter.setFont(wordingFont);
  painter.setPen(Qt::white);
  painter.drawText(plate, Qt::AlignCenter, text());
}

}  // namespace desktop
