#pragma once
// Figures for the desktop benchmark (bench/desktop_list.py), logged on the
// category sentrova.desktop.frames, which is off unless QT_LOGGING_RULES
// turns it on: when the camera list was first painted, how many rows each
// paint showed, how long after its answer a camera's row was painted, and
// the longest time the user-interface thread did not get round to its
// events during a search. Times are milliseconds of the monotonic clock, as
// another process reads it.
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QAbstractItemView;

namespace desktop {

Q_DECLARE_LOGGING_CATEGORY(lcFrames)

class FrameProbe : public QObject {
  Q_OBJECT

 public:
  // Whether the category is on; a probe is made only then.
  static bool Wanted();
  FrameProbe();

  void Watch(QAbstractItemView& list);
  void SearchBegins();
  // A camera's answer reached the desktop; the rows heard so far went into
  // the list's model (the next paint shows them).
  void Heard();
  void RowsAdded();
  void SearchEnds();
  // The logic's list is drawn from the model: the next paint shows it.
  void SearchListed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Tick();
  void Painted();

  QPointer<QAbstractItemView> list_;
  QTimer tick_;
  qint64 lastTick_ = 0;
  qint64 longestStall_ = 0;
  qint64 slowestRow_ = 0;
  qint64 pendingSince_ = 0;   // the oldest answer not yet in the model
  qint64 awaitingSince_ = 0;  // the oldest answer in the model, not yet painted
  int heard_ = 0;
  int shownRows_ = -1;
  bool searching_ = false;
  bool listed_ = false;
  bool firstPaint_ = true;
};

}  // namespace desktop
