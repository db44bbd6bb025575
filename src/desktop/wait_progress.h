#pragma once
// The display of a long wait or a sequence of waits (settings applied, a
// camera restarting, coming back at its address): what is happening, the
// seconds left of the whole sequence and one bar over all of it. It sits in
// the window in front, above its buttons, or in a small window of its own
// when no window is shown. Screen readers hear the stage as its name and the
// seconds left as its description.
//
// While it runs, the camera it waits for is looked for with the device
// search (CameraWatch), so that the wait ends as soon as the camera is back.
#include <QFrame>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "device/net_options.h"
#include "forms/desktop.h"
#include "wizard/come_back.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace desktop {

class WaitProgress : public QFrame {
  Q_OBJECT

 public:
  explicit WaitProgress(int totalMilliseconds);
  ~WaitProgress() override;

  // What is happening now and how much of the whole has passed.
  void Update(const QString& stage, int doneMilliseconds);
  int SecondsLeft() const;
  int Total() const { return total_; }
  int Done() const { return done_; }
  QString Text() const;
  // Shows a Cancel button that takes the user's click (or Escape) while the
  // rest of the program holds input off; onCancel runs once.
  void OfferCancel(std::function<void()> onCancel);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Cancel();

  QLabel* label_;
  QProgressBar* bar_;
  QPointer<QPushButton> cancel_;
  std::function<void()> onCancel_;
  int total_;
  int done_ = 0;
};

// One search for the sought camera: every camera it heard.
using CameraLook = std::function<std::vector<CameraSighting>(const forms::CameraSought& sought)>;
// The device search on the network the camera control works on: our own
// protocol's probe, and WS-Discovery only for an ONVIF camera.
CameraLook NetworkCameraLook(const device::NetOptions& options);

// Looks for a camera on its way back, one search at a time, and remembers
// whether a search went by without it (it went silent to restart).
class CameraWatch {
 public:
  CameraWatch(CameraLook look, forms::CameraSought sought);
  // Runs one search; true once the camera is back.
  bool Look();
  bool Back() const { return back_; }
  const forms::CameraSought& Sought() const { return sought_; }

 private:
  CameraLook look_;
  forms::CameraSought sought_;
  bool wentSilent_ = false;
  bool back_ = false;
};

}  // namespace desktop
