#include "desktop/wait_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace desktop {

WaitProgress::WaitProgress(int totalMilliseconds)
    : label_(new QLabel(this)), bar_(new QProgressBar(this)), total_(std::max(1, totalMilliseconds)) {
  setObjectName(QStringLiteral("WaitProgress"));
  label_->setObjectName(QStringLiteral("SecondsLeft"));
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setWindowTitle(QStringLiteral("Sentrova"));
  auto* row = new QHBoxLayout(this);
  row->addWidget(label_);
  row->addWidget(bar_, 1);
  bar_->setRange(0, total_);
  bar_->setTextVisible(false);
  label_->setAccessibleName(QStringLiteral("Progress"));
}

int WaitProgress::SecondsLeft() const { return (std::max(0, total_ - done_) + 999) / 1000; }

void WaitProgress::Update(const QString& stage, int doneMilliseconds) {
  done_ = std::clamp(doneMilliseconds, done_, total_);  // never goes back
  const int seconds = SecondsLeft();
  label_->setText(seconds == 1 ? QStringLiteral("%1 — 1 second left").arg(stage)
                               : QStringLiteral("%1 — %2 seconds left").arg(stage).arg(seconds));
  bar_->setValue(done_);
}

QString WaitProgress::Text() const { return label_->text(); }

}  // namespace desktop
