#include "desktop/wait_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace desktop {

namespace {
constexpr int BarHeight = 44;
}

WaitProgress::WaitProgress(QWidget* host, int milliseconds)
    : QFrame(host), label_(new QLabel(this)), bar_(new QProgressBar(this)), total_(milliseconds) {
  setObjectName(QStringLiteral("WaitProgress"));
  label_->setObjectName(QStringLiteral("SecondsLeft"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setAutoFillBackground(true);
  auto* row = new QHBoxLayout(this);
  row->addWidget(label_);
  row->addWidget(bar_, 1);
  bar_->setRange(0, milliseconds);
  bar_->setTextVisible(false);
  if (host != nullptr) {
    setGeometry(0, host->height() - BarHeight, host->width(), BarHeight);
  } else {
    setWindowTitle(QStringLiteral("Setup Wizard"));
    resize(360, BarHeight);
  }
  clock_.start();
  Update();
  show();
  raise();
}

int WaitProgress::SecondsLeft() const {
  const qint64 left = std::max<qint64>(0, total_ - clock_.elapsed());
  return static_cast<int>((left + 999) / 1000);
}

void WaitProgress::Update() {
  const int seconds = SecondsLeft();
  label_->setText(seconds == 1 ? QStringLiteral("Please wait, 1 second left")
                               : QStringLiteral("Please wait, %1 seconds left").arg(seconds));
  bar_->setValue(static_cast<int>(std::min<qint64>(total_, clock_.elapsed())));
}

}  // namespace desktop
