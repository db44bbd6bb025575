#include "desktop/qt_desktop.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <utility>

#include "wizard/frm_main.h"
#include "bits/modBitOps.h"
#include "desktop/layouts.h"
#include "desktop/wait_progress.h"
#include "device/camera_control.h"
#include "base/text.h"
#include "regex/modRegEx.h"

namespace desktop {

namespace {

constexpr int ProgressTick = 250;  // ms between updates of the seconds left

QMessageBox::Icon QtIcon(forms::MsgIcon icon) {
  switch (icon) {
    case forms::MsgIcon::Critical: return QMessageBox::Critical;
    case forms::MsgIcon::Question: return QMessageBox::Question;
    case forms::MsgIcon::Exclamation: return QMessageBox::Warning;
    case forms::MsgIcon::Information: return QMessageBox::Information;
    case forms::MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

// What a message box answers when it cannot be asked: the program is ending.
forms::MsgAnswer RefusingAnswer(forms::MsgButtons buttons) {
  switch (buttons) {
    case forms::MsgButtons::OK: return forms::MsgAnswer::OK;
    case forms::MsgButtons::OKCancel: return forms::MsgAnswer::Cancel;
    case forms::MsgButtons::YesNo: return forms::MsgAnswer::No;
  }
  return forms::MsgAnswer::OK;
}

void CentreOnScreen(QWidget& window) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place(QPoint(), window.size());
    place.moveCenter(screen->availableGeometry().center());
    window.move(place.topLeft());
  }
}

}  // namespace

forms::MsgAnswer ShowQtMessageBox(const MessageRequest& request, QWidget* over) {
  QMessageBox box(QtIcon(request.icon), QString::fromStdU16String(request.title),
                  QString::fromStdU16String(request.text), QMessageBox::NoButton, over);
  box.setObjectName(QStringLiteral("MessageBox"));
  switch (request.buttons) {
    case forms::MsgButtons::OK: box.setStandardButtons(QMessageBox::Ok); break;
    case forms::MsgButtons::OKCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case forms::MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setEscapeButton(QMessageBox::No);
      break;
  }
  // QMessageBox fills an empty title with the program's name; the wizard's
  // empty titles stay empty.
  box.setWindowTitle(QString::fromStdU16String(request.title));
  switch (box.exec()) {
    case QMessageBox::Ok: return forms::MsgAnswer::OK;
    case QMessageBox::Yes: return forms::MsgAnswer::Yes;
    case QMessageBox::No: return forms::MsgAnswer::No;
    case QMessageBox::Cancel: return forms::MsgAnswer::Cancel;
    default: return RefusingAnswer(request.buttons);
  }
}

QtDesktop::QtDesktop()
    : messageBox_([this](const MessageRequest& request) { return ShowQtMessageBox(request, FrontView()); }),
      quit_([] { QCoreApplication::exit(0); }) {
  QObject::connect(qApp, &QApplication::focusChanged, &gate_, [this](QWidget*, QWidget* now) {
    if (now == nullptr) return;
    for (const auto& [id, view] : views_) {
      if (view && view->isAncestorOf(now)) view->FocusMovedTo(now);
    }
  });
  modBitOps::SetErrorReporter([this](const std::u16string& text, const std::u16string& title) {
    MessageBox(text, title, forms::MsgIcon::None, forms::MsgButtons::OK);
  });
}

QtDesktop::~QtDesktop() {
  modBitOps::SetErrorReporter(nullptr);
  SetMousePointer(forms::DefaultPointer);
  for (auto& [id, view] : views_) Retire(view);
  for (QPointer<WindowView>& view : retired_) delete view.data();
}

void QtDesktop::Attach(Program& program) { program_ = &program; }

void QtDesktop::Dispatch(const std::function<void()>& handler) {
  // While a handler is busy only the message boxes and modal windows it
  // opened take the user's actions (a frame's close button included).
  if (ending_ || program_ == nullptr || gate_.Closed()) return;
  InputGate::Layer busy(gate_, false);
  ++handlersRunning_;
  try {
    handler();
  } catch (const modRegEx::RegExprError& error) {
    ShowFailure(u"Error: " + base::FromUtf8(std::to_string(error.Number)) + u". " + error.Description);
  } catch (const device::CameraControlError& error) {
    ShowCameraError(*program_, error);
  } catch (const std::exception& error) {
    ShowFailure(u"Error: " + base::FromUtf8(error.what()));
  } catch (...) {
    ShowFailure(u"Error: the last action failed.");
  }
  --handlersRunning_;
  if (ending_) return;
  RenderAll();
  if (handlersRunning_ == 0) program_->DisposeUnloaded();
  gate_.DropHeldInput();
}

WindowView* QtDesktop::View(forms::WindowId id) const {
  const auto found = views_.find(id);
  return found == views_.end() ? nullptr : found->second.data();
}

forms::MsgAnswer QtDesktop::MessageBox(const std::u16string& text, const std::u16string& title, forms::MsgIcon icon,
                                       forms::MsgButtons buttons) {
  if (ending_) return RefusingAnswer(buttons);
  InputGate::Layer open(gate_, true);
  return messageBox_({text, title, icon, buttons});
}

void QtDesktop::SetMousePointer(int16_t pointer) {
  const bool wanted = pointer == forms::Hourglass;
  if (wanted == hourglass_) return;
  hourglass_ = wanted;
  if (wanted) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

// The windows keep painting and the timers keep running; the user's input
// waits outside and is dropped when the handler ends.
void QtDesktop::Sleep(int32_t milliseconds) {
  if (ending_ || milliseconds <= 0) return;
  InputGate::Layer busy(gate_, false);
  QPointer<WaitProgress> progress;
  if (milliseconds >= LongWait) progress = new WaitProgress(FrontView(), milliseconds);

  const QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
  QEventLoop loop;
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
  while (!ending_ && !deadline.hasExpired()) {
    const auto left = static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
    wake.start(progress ? std::min(left, ProgressTick) : left);
    // A loop that will not run (the application is quitting) ends the wait.
    if (loop.exec(QEventLoop::ExcludeUserInputEvents) != 0) break;
    if (progress) progress->Update();
  }
  delete progress.data();
}

WindowView* QtDesktop::ShowView(forms::WindowId id, bool modal) {
  QPointer<WindowView>& view = views_[id];
  if (!view) {
    view = BuildView(id, *program_, [this](const std::function<void()>& handler) { Dispatch(handler); });
    if (!view) {
      views_.erase(id);
      return nullptr;
    }
    CentreOnScreen(*view);
  }
  const Qt::WindowModality modality = modal ? Qt::ApplicationModal : Qt::NonModal;
  if (view->windowModality() != modality) {
    view->hide();  // modality takes effect on the next show
    view->setWindowModality(modality);
  }
  view->show();
  view->raise();
  view->activateWindow();
  view->Render();
  front_ = view;
  return view;
}

void QtDesktop::WindowShown(forms::WindowId id, bool modal) {
  if (ending_ || program_ == nullptr) return;
  WindowView* view = ShowView(id, modal);
  if (modal && view != nullptr) RunModal(id, *view);
}

// A modal window runs its own loop, with input, until the logic hides or
// unloads it (or the program ends).
void QtDesktop::RunModal(forms::WindowId id, WindowView& view) {
  if (!view.isVisible()) return;
  InputGate::Layer open(gate_, true);
  QEventLoop loop;
  QEventLoop* outer = std::exchange(modalLoops_[id], &loop);
  loop.exec();
  modalLoops_[id] = outer;
  if (outer == nullptr) modalLoops_.erase(id);
}

void QtDesktop::QuitModal(forms::WindowId id) {
  const auto found = modalLoops_.find(id);
  if (found != modalLoops_.end() && found->second != nullptr) found->second->quit();
}

void QtDesktop::WindowHidden(forms::WindowId id) {
  if (WindowView* view = View(id)) view->hide();
  QuitModal(id);
}

void QtDesktop::WindowUnloaded(forms::WindowId id) {
  const auto found = views_.find(id);
  if (found != views_.end()) {
    Retire(found->second);
    views_.erase(found);
  }
  QuitModal(id);
}

// The window's model is gone; the widgets may be in the middle of sending a
// signal, so they go once control is back in the event loop.
void QtDesktop::Retire(QPointer<WindowView>& view) {
  if (!view) return;
  view->Detach();
  view->hide();
  view->deleteLater();
  retired_.push_back(view);
  std::erase_if(retired_, [](const QPointer<WindowView>& gone) { return gone.isNull(); });
}

// The logic opens the page and goes on; a page that no browser could open
// gets a message rather than nothing at all.
void QtDesktop::OpenWebPage(const std::string& url) {
  if (QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode))) return;
  SetMousePointer(forms::DefaultPointer);
  MessageBox(u"The web page " + base::FromUtf8(url) + u" could not be opened: no web browser is available.",
             u"Sentrova", forms::MsgIcon::Exclamation, forms::MsgButtons::OK);
}

// Every window goes at once and every loop ends, nested ones included; the
// rest of the running handler meets a desktop that shows nothing more.
void QtDesktop::EndProgram() {
  if (ending_) return;
  ending_ = true;
  SetMousePointer(forms::DefaultPointer);
  for (auto& [id, view] : views_) Retire(view);
  views_.clear();
  for (const auto& [id, loop] : modalLoops_) {
    if (loop != nullptr) loop->quit();
  }
  quit_();
}

forms::Version QtDesktop::ProgramVersion() {
  return {SENTROVA_VERSION_MAJOR, SENTROVA_VERSION_MINOR, SENTROVA_VERSION_PATCH};
}

void QtDesktop::RenderAll() {
  for (const auto& [id, view] : views_) {
    if (view) view->Render();
  }
}

void QtDesktop::ShowFailure(const std::u16string& text) {
  SetMousePointer(forms::DefaultPointer);
  MessageBox(text, u"Sentrova", forms::MsgIcon::Critical, forms::MsgButtons::OK);
}

WindowView* QtDesktop::FrontView() const { return front_ && front_->isVisible() ? front_.data() : nullptr; }

}  // namespace desktop
