#include "desktop/wait_progress.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "device/discovery.h"

namespace desktop {

namespace {

// A look is a short search: fewer probe copies than the main window's, which
// must not miss any camera of a fleet; the looks repeat anyway.
constexpr int LookProbeCopies = 2;
constexpr int LookOnvifCopies = 1;

QString SecondsLeftText(int seconds) {
  return seconds == 1 ? QStringLiteral("1 second left") : QStringLiteral("%1 seconds left").arg(seconds);
}

}  // namespace

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
}

WaitProgress::~WaitProgress() {
  if (cancel_ && QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

int WaitProgress::SecondsLeft() const { return (std::max(0, total_ - done_) + 999) / 1000; }

void WaitProgress::Update(const QString& stage, int doneMilliseconds) {
  done_ = std::clamp(doneMilliseconds, done_, total_);  // never goes back
  const QString left = SecondsLeftText(SecondsLeft());
  label_->setText(QStringLiteral("%1 — %2").arg(stage, left));
  bar_->setValue(done_);
  // Set only on change: each change is announced.
  for (QWidget* widget : {static_cast<QWidget*>(this), static_cast<QWidget*>(bar_)}) {
    if (widget->accessibleName() != stage) widget->setAccessibleName(stage);
    if (widget->accessibleDescription() != left) widget->setAccessibleDescription(left);
  }
}

QString WaitProgress::Text() const { return label_->text(); }

// The program holds the user's input off while it waits (an application
// event filter); this filter, installed later, is asked first and lets only
// the Cancel through.
void WaitProgress::OfferCancel(std::function<void()> onCancel) {
  onCancel_ = std::move(onCancel);
  if (cancel_) return;
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("CmdCancelWait"));
  cancel_->setToolTip(QStringLiteral("Stop looking for the camera and search the network now"));
  layout()->addWidget(cancel_);
  connect(cancel_, &QPushButton::clicked, this, &WaitProgress::Cancel);
  cancel_->setFocus();
  QCoreApplication::instance()->installEventFilter(this);
}

void WaitProgress::Cancel() {
  if (!onCancel_) return;
  const std::function<void()> onCancel = std::exchange(onCancel_, nullptr);
  onCancel();
}

bool WaitProgress::eventFilter(QObject* watched, QEvent* event) {
  if (!cancel_ || !cancel_->isVisible()) return QFrame::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
      const QPoint at = cancel_->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
      if (!cancel_->rect().contains(at)) break;
      if (event->type() == QEvent::MouseButtonRelease) Cancel();
      return true;
    }
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      const bool onButton =
          cancel_->hasFocus() && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter);
      if (key != Qt::Key_Escape && !onButton) break;
      Cancel();
      return true;
    }
    default:
      break;
  }
  return QFrame::eventFilter(watched, event);
}

CameraLook NetworkCameraLook(const device::NetOptions& options) {
  return [options](const forms::CameraSought& sought) {
    device::NetOptions look = options;
    look.probeCopies = LookProbeCopies;
    look.onvifCopies = LookOnvifCopies;
    if (sought.servicePort == 0) look.onvifPort = 0;  // our own protocol's camera answers our probe
    const device::SearchOutcome outcome =
        device::SearchCameras(look, device::ChooseInterfaces(look.interfaceNames), {});
    std::vector<CameraSighting> heard;
    heard.reserve(outcome.cameras.size());
    for (const device::FoundCamera& camera : outcome.cameras) {
      const bool onvif = !camera.endpoint.isEmpty();
      heard.push_back({camera.mac.toStdU16String(), camera.address.toStdU16String(),
                       onvif ? std::u16string() : camera.mask.toStdU16String(),
                       onvif ? std::u16string() : camera.gateway.toStdU16String(), onvif ? camera.port : 0,
                       onvif ? camera.path.toStdU16String() : std::u16string()});
    }
    return heard;
  };
}

CameraWatch::CameraWatch(CameraLook look, forms::CameraSought sought)
    : look_(std::move(look)), sought_(std::move(sought)) {}

bool CameraWatch::Look() {
  if (back_ || !look_) return back_;
  const std::vector<CameraSighting> heard = look_(sought_);
  back_ = std::any_of(heard.begin(), heard.end(),
                      [this](const CameraSighting& seen) { return IsCameraBack(sought_, seen, wentSilent_); });
  wentSilent_ = wentSilent_ || MissesCamera(sought_, heard);
  return back_;
}

}  // namespace desktop
