#pragma once
// Keeps the user's input away from the windows while the logic is busy: a
// handler runs, or a blocking call or sleep waits. Waits already run their
// local loops without input; the gate also drops what the platform held back
// meanwhile and whatever reaches the windows by other ways, so that a click
// made during a 30-second wait is not played afterwards.
//
// The layers nest: a message box or a modal window opened by a busy handler
// takes input again until it closes, and a search lets the camera list
// alone take it (scrolling, sorting, choosing a row) while it runs.
#include <QObject>
#include <QPointer>
#include <vector>

class QWidget;

namespace desktop {

class InputGate : public QObject {
  Q_OBJECT

 public:
  InputGate();
  ~InputGate() override;

  // RAII layers: Busy closes the gate, Open lets input through again for a
  // message box or a modal window.
  class Layer {
   public:
    Layer(InputGate& gate, bool open);
    // Input reaches only this widget and its children (not its context
    // menu); the logic stays busy.
    Layer(InputGate& gate, QWidget& only);
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

   private:
    InputGate& gate_;
  };

  // No handler may start: input is held off, or reaches only one widget.
  bool Closed() const { return !layers_.empty() && !layers_.back().open; }
  // Delivers (and so drops) the input held back while the gate is closed.
  void DropHeldInput();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Kind {
    bool open;
    QPointer<QWidget> only;  // when closed: the one widget that still takes input
  };
  std::vector<Kind> layers_;
};

}  // namespace desktop
