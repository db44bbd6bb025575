#pragma once
// Keeps the user's input away from the windows while the logic is busy: a
// handler runs, or a blocking call or sleep waits. Waits already run their
// local loops without input; the gate also drops what the platform held back
// meanwhile and whatever reaches the windows by other ways, so that a click
// made during a 30-second wait is not played afterwards.
//
// The layers nest: a message box or a modal window opened by a busy handler
// takes input again until it closes.
#include <QObject>
#include <vector>

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
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

   private:
    InputGate& gate_;
  };

  bool Closed() const { return !layers_.empty() && !layers_.back(); }
  // Delivers (and so drops) the input held back while the gate is closed.
  void DropHeldInput();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<bool> layers_;  // true: open
};

}  // namespace desktop
