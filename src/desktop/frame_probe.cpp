#include "desktop/frame_probe.h"

#include <QAbstractItemView>
#include <QEvent>
#include <algorithm>

namespace desktop {

Q_LOGGING_CATEGORY(lcFrames, "sentrova.desktop.frames", QtWarningMsg)

namespace {
constexpr int TickMs = 2;        // the probe's own beat: a later beat is a stall
constexpr int LoggedStall = 20;  // ms: a stall this long is logged on its own
qint64 Now() {
  QElapsedTimer clock;
  clock.start();
  return clock.msecsSinceReference();
}
}  // namespace

bool FrameProbe::Wanted() { return lcFrames().isDebugEnabled(); }

FrameProbe::FrameProbe() {
  tick_.setTimerType(Qt::PreciseTimer);
  connect(&tick_, &QTimer::timeout, this, &FrameProbe::Tick);
  tick_.start(TickMs);
  lastTick_ = Now();
}

void FrameProbe::Watch(QAbstractItemView& list) {
  if (list_ == &list) return;
  list_ = &list;
  list.viewport()->installEventFilter(this);
}

void FrameProbe::Tick() {
  const qint64 now = Now();
  const qint64 stall = now - lastTick_ - TickMs;
  if (searching_) longestStall_ = std::max(longestStall_, stall);
  if (searching_ && stall >= LoggedStall) qCDebug(lcFrames, "stall %lld ms until %lld", stall, now);
  lastTick_ = now;
}

void FrameProbe::SearchBegins() {
  searching_ = true;
  listed_ = false;
  longestStall_ = 0;
  slowestRow_ = 0;
  heard_ = 0;
  pendingSince_ = 0;
  awaitingSince_ = 0;
  lastTick_ = Now();
  qCDebug(lcFrames, "search begins at %lld", Now());
}

void FrameProbe::Heard() {
  ++heard_;
  if (pendingSince_ == 0) pendingSince_ = Now();
}

void FrameProbe::RowsAdded() {
  if (pendingSince_ == 0) return;
  if (awaitingSince_ == 0) awaitingSince_ = pendingSince_;
  pendingSince_ = 0;
}

void FrameProbe::SearchEnds() { qCDebug(lcFrames, "search ends at %lld", Now()); }

void FrameProbe::SearchListed() {
  listed_ = true;
  if (list_) list_->viewport()->update();  // a list the same as the heard rows is painted once more
}

bool FrameProbe::eventFilter(QObject* watched, QEvent* event) {
  const bool result = QObject::eventFilter(watched, event);
  if (event->type() == QEvent::Paint && list_ && watched == list_->viewport()) Painted();
  return result;
}

// A paint of the list's viewport puts the model's rows on screen.
void FrameProbe::Painted() {
  const qint64 now = Now();
  if (firstPaint_) {
    firstPaint_ = false;
    qCDebug(lcFrames, "list on screen at %lld", now);
  }
  const int rows = list_->model() == nullptr ? 0 : list_->model()->rowCount();
  if (awaitingSince_ != 0) slowestRow_ = std::max(slowestRow_, now - awaitingSince_);
  awaitingSince_ = 0;
  if (rows != shownRows_) {
    shownRows_ = rows;
    qCDebug(lcFrames, "rows shown %d at %lld", rows, now);
  }
  if (searching_ && listed_) {
    // The time since the last beat: the list filled and drawn at the end.
    longestStall_ = std::max(longestStall_, now - lastTick_ - TickMs);
    searching_ = false;
    listed_ = false;
    qCDebug(lcFrames, "search listed %d rows at %lld; heard %d; longest stall %lld ms; slowest row %lld ms", rows, now,
            heard_, longestStall_, slowestRow_);
  }
}

}  // namespace desktop
