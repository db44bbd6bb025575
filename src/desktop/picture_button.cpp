#include "desktop/picture_button.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace desktop {

PictureButton::PictureButton(const QString& wording, QWidget* parent) : QPushButton(wording, parent) {
  setCursor(Qt::PointingHandCursor);
}

// Room for the bold wording and a margin around it, at any font size.
QSize PictureButton::sizeHint() const {
  QFont wordingFont = font();
  wordingFont.setBold(true);
  const QFontMetrics metrics(wordingFont);
  const QSize wording = metrics.size(Qt::TextShowMnemonic, text());
  return {wording.width() + 4 * metrics.averageCharWidth(), wording.height() * 2};
}

// A rounded plate in the palette's highlight colour, lighter under the
// mouse, darker while pressed, the palette's button colour when switched
// off; the wording on top, its mnemonic underlined.
void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plate = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);

  const QPalette& colours = palette();
  QColor bottom = colours.color(QPalette::Active, QPalette::Highlight);
  QColor top = bottom.lighter(135);
  QColor wording = colours.color(QPalette::Active, QPalette::HighlightedText);
  if (!isEnabled()) {
    bottom = colours.color(QPalette::Disabled, QPalette::Button);
    top = bottom.lighter(110);
    wording = colours.color(QPalette::Disabled, QPalette::ButtonText);
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
  painter.setPen(QPen(hasFocus() ? colours.color(QPalette::Active, QPalette::WindowText) : bottom.darker(130),
                      hasFocus() ? 2.0 : 1.0));
  painter.drawPath(path);

  QFont wordingFont = font();
  wordingFont.setBold(true);
  painter.setFont(wordingFont);
  painter.setPen(wording);
  painter.drawText(plate, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

}  // namespace desktop
