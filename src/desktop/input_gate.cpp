#include "desktop/input_gate.h"

#include <QCoreApplication>
#include <QEvent>

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

InputGate::Layer::Layer(InputGate& gate, bool open) : gate_(gate) { gate_.layers_.push_back(open); }

InputGate::Layer::~Layer() { gate_.layers_.pop_back(); }

void InputGate::DropHeldInput() {
  if (Closed()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
  if (Closed() && IsUserInput(event->type())) return true;
  return QObject::eventFilter(watched, event);
}

}  // namespace desktop
