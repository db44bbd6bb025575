#include "desktop/window_view.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <iterator>

namespace desktop {

namespace {
constexpr int BandHeight = 64;
const QColor BandColour(30, 70, 140);
const QColor PageColour(238, 242, 248);
const QColor RuleColour(150, 165, 190);
}  // namespace

WindowView::WindowView(forms::FormModel& form, Background background, QSize size)
    : QWidget(nullptr), form_(&form), background_(std::move(background)) {
  setFixedSize(size);
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QString::fromStdU16String(form.caption));
}

void WindowView::Bind(QWidget& widget, const forms::Control* control, std::function<void()> render) {
  bindings_.push_back({&widget, control, std::move(render)});
}

void WindowView::ApplyTabOrder() {
  std::vector<Binding> ordered;
  std::copy_if(bindings_.begin(), bindings_.end(), std::back_inserter(ordered),
               [](const Binding& binding) { return binding.control != nullptr; });
  std::stable_sort(ordered.begin(), ordered.end(), [](const Binding& left, const Binding& right) {
    return left.control->tabIndex < right.control->tabIndex;
  });
  for (size_t next = 1; next < ordered.size(); ++next) setTabOrder(ordered[next - 1].widget, ordered[next].widget);
}

void WindowView::Render() {
  if (!Attached()) return;
  rendering_ = true;
  setWindowTitle(QString::fromStdU16String(form_->caption));
  for (const Binding& binding : bindings_) binding.render();
  // Focus last: a control enabled by this render can take it. A hidden
  // window takes it up when it is shown and rendered again.
  QWidget* focused = isVisible() ? WidgetOf(form_->focus) : nullptr;
  if (focused != nullptr && focused->isEnabled() && !focused->isAncestorOf(focusWidget()) && focusWidget() != focused) {
    focused->setFocus(Qt::OtherFocusReason);
  }
  rendering_ = false;
}

void WindowView::Detach() {
  form_ = nullptr;
  bindings_.clear();
  onClose = nullptr;
}

void WindowView::FocusMovedTo(QWidget* widget) {
  if (!Attached() || rendering_) return;
  for (const Binding& binding : bindings_) {
    if (binding.control != nullptr && (binding.widget == widget || binding.widget->isAncestorOf(widget))) {
      form_->focus = binding.control;
      return;
    }
  }
}

QWidget* WindowView::WidgetOf(const forms::Control* control) const {
  if (control == nullptr) return nullptr;
  for (const Binding& binding : bindings_) {
    if (binding.control == control) return binding.widget;
  }
  return nullptr;
}

void WindowView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), PageColour);

  int top = 0;
  if (!background_.heading.isEmpty()) {
    top = BandHeight;
    painter.fillRect(QRect(0, 0, width(), BandHeight), BandColour);
    // As large as the band allows, never smaller than the body text.
    QFont headingFont = font();
    headingFont.setPointSizeF(font().pointSizeF() * 1.8);
    headingFont.setBold(true);
    const int room = width() - 48;
    while (QFontMetrics(headingFont).horizontalAdvance(background_.heading) > room &&
           headingFont.pointSizeF() > font().pointSizeF()) {
      headingFont.setPointSizeF(headingFont.pointSizeF() - 0.5);
    }
    painter.setFont(headingFont);
    painter.setPen(Qt::white);
    painter.drawText(QRect(24, 0, width() - 48, BandHeight), Qt::AlignVCenter | Qt::AlignLeft, background_.heading);
  }
  if (background_.buttonColumnWidth > 0) {
    painter.fillRect(QRect(0, top, background_.buttonColumnWidth, height() - top), PageColour.darker(106));
    painter.setPen(QPen(RuleColour, 2));
    painter.drawLine(background_.buttonColumnWidth, top, background_.buttonColumnWidth, height());
  }

  painter.setPen(QPen(RuleColour, 1));
  painter.setBrush(Qt::NoBrush);
  for (const QRect& group : background_.groups) painter.drawRoundedRect(group, 6, 6);

  for (const PaintedText& painted : background_.texts) {
    QFont textFont = font();
    int flags = Qt::AlignLeft | Qt::AlignVCenter;
    switch (painted.style) {
      case PaintedText::Style::Caption: break;
      case PaintedText::Style::Heading:
        textFont.setBold(true);
        textFont.setPointSizeF(textFont.pointSizeF() * 1.15);
        break;
      case PaintedText::Style::Paragraph: flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap; break;
    }
    painter.setFont(textFont);
    painter.setPen(QColor(20, 30, 50));
    painter.drawText(painted.place, flags, painted.text);
  }
}

// Closing from the frame is the window's own way out (its Exit or Cancel);
// the window itself closes only when the logic hides or unloads it.
void WindowView::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (!Attached() || !onClose) return;
  const std::function<void()> close = onClose;  // the handler may detach this view
  close();
}

}  // namespace desktop
