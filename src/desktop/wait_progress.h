#pragma once
// The display of a long wait (a camera restarting, an address change): a
// bar across the bottom of the window in front, with the seconds left.
#include <QElapsedTimer>
#include <QFrame>

class QLabel;
class QProgressBar;

namespace desktop {

class WaitProgress : public QFrame {
  Q_OBJECT

 public:
  // Over the bottom of host, or a small window of its own when there is none.
  WaitProgress(QWidget* host, int milliseconds);

  // Brings bar and label up to the time that has passed.
  void Update();
  int SecondsLeft() const;

 private:
  QLabel* label_;
  QProgressBar* bar_;
  QElapsedTimer clock_;
  int total_;
};

}  // namespace desktop
