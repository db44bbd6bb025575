#include "desktop/window_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace desktop {

WindowView::WindowView(forms::FormModel& form)
    : QWidget(nullptr),
      form_(&form),
      heading_(new QLabel(this)),
      grid_(new QGridLayout),
      body_(new QVBoxLayout(this)),
      waitSlot_(new QVBoxLayout),
      buttons_(new QHBoxLayout) {
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QString::fromStdU16String(form.caption));
  heading_->setObjectName(QStringLiteral("Heading"));
  heading_->setVisible(false);
  QFont headingFont = heading_->font();
  headingFont.setBold(true);
  headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
  heading_->setFont(headingFont);

  body_->addWidget(heading_);
  body_->addLayout(grid_);
  body_->addStretch(1);
  body_->addLayout(waitSlot_);
  buttons_->addStretch(1);
  body_->addLayout(buttons_);
  grid_->setColumnStretch(1, 1);  // captions keep their width, fields take the rest
}

void WindowView::LetGridGrow() {
  body_->setStretchFactor(grid_, 1);
  body_->setStretch(2, 0);
}

void WindowView::Bind(QWidget& widget, const forms::Control* control, std::function<void()> render) {
  bindings_.push_back({&widget, control, std::move(render)});
}

void WindowView::SetHeading(const QString& heading) {
  heading_->setText(heading);
  heading_->setVisible(!heading.isEmpty());
}

void WindowView::SetDefaultButton(QPushButton* button) {
  if (defaultButton_) defaultButton_->setDefault(false);
  defaultButton_ = button;
  if (button != nullptr) button->setDefault(true);
}

void WindowView::ShowWait(QWidget& wait) {
  wait.setParent(this);
  waitSlot_->addWidget(&wait);
  wait.show();
  wait_ = &wait;
  for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
    if (!button->isEnabled() || wait.isAncestorOf(button)) continue;
    button->setEnabled(false);
    heldButtons_.emplace_back(button);
  }
}

void WindowView::EndWait() {
  for (const QPointer<QAbstractButton>& button : heldButtons_) {
    if (button) button->setEnabled(true);
  }
  heldButtons_.clear();
  delete wait_.data();
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

QString WindowView::Caption() const { return windowTitle(); }

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

void WindowView::CloseFromFrame() {
  if (!Attached() || !onClose) return;
  const std::function<void()> close = onClose;  // the handler may detach this view
  close();
}

// The window itself closes only when the logic hides or unloads it.
void WindowView::closeEvent(QCloseEvent* event) {
  event->ignore();
  CloseFromFrame();
}

// The buttons do not answer Enter themselves (they are not auto-default),
// so it reaches the window from the button or field that has the focus.
void WindowView::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !enterRefused_ && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
    QPushButton* pressed = focused != nullptr && isAncestorOf(focused) ? focused : defaultButton_.data();
    if (pressed != nullptr && pressed->isEnabled() && pressed->isVisible()) {
      pressed->click();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

}  // namespace desktop
