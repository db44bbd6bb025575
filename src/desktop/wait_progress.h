#pragma once
// The display of a long wait or a sequence of waits (settings applied, a
// camera restarting, coming back at its address): what is happening, the
// seconds left of the whole sequence and one bar over all of it. It sits in
// the window in front, above its buttons, or in a small window of its own
// when no window is shown.
#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;

namespace desktop {

class WaitProgress : public QFrame {
  Q_OBJECT

 public:
  explicit WaitProgress(int totalMilliseconds);

  // What is happening now and how much of the whole has passed.
  void Update(const QString& stage, int doneMilliseconds);
  int SecondsLeft() const;
  int Total() const { return total_; }
  int Done() const { return done_; }
  QString Text() const;

 private:
  QLabel* label_;
  QProgressBar* bar_;
  int total_;
  int done_ = 0;
};

}  // namespace desktop
