#include "desktop/input_gate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace desktop {

namespace {
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
      return true;
    default:
      return false;
  }
}
}  // namespace

InputGate::InputGate() { QCoreApplication::instance()->installEventFilter(this); }

InputGate::~InputGate() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

InputGate::Layer::Layer(InputGate& gate, bool open) : gate_(gate) { gate_.layers_.push_back({open, nullptr}); }

InputGate::Layer::Layer(InputGate& gate, QWidget& only) : gate_(gate) { gate_.layers_.push_back({false, &only}); }

InputGate::Layer::~Layer() { gate_.layers_.pop_back(); }

void InputGate::DropHeldInput() {
  if (Closed()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A window passes its input on to the widget it is meant for, which the
// filter sees next: there it is let through or not.
bool InputGate::eventFilter(QObject* watched, QEvent* event) {
  if (!Closed() || !IsUserInput(event->type())) return QObject::eventFilter(watched, event);
  const QWidget* only = layers_.back().only;
  if (only == nullptr || event->type() == QEvent::ContextMenu) return true;
  if (qobject_cast<QWindow*>(watched) != nullptr) return QObject::eventFilter(watched, event);
  const auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || (widget != only && !only->isAncestorOf(widget))) return true;
  return QObject::eventFilter(watched, event);
}

}  // namespace desktop
