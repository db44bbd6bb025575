#include "desktop/qt_desktop.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QEventLoop>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <utility>

#include "wizard/frm_main.h"
#include "bits/modBitOps.h"
#include "desktop/bindings.h"
#include "desktop/layouts.h"
#include "desktop/wait_progress.h"
#include "device/camera_control.h"
#include "device/camera_text.h"
#include "base/text.h"
#include "regex/modRegEx.h"

namespace desktop {

namespace {

constexpr int ProgressTick = 250;    // ms between updates of the seconds left
constexpr int FrameMs = 16;          // the heard rows go on screen at most this often
constexpr int FirstFrameWait = 200;  // ms the main window may take to be put on screen
constexpr int LookInterval = 250;    // ms from the end of one look for the camera to the next
constexpr int DialogWidth = 400;     // the narrowest a dialog gets
const QSize WizardSize(560, 420);    // the wizard frame's first size when its pages need no more

QMessageBox::Icon QtIcon(forms::MsgIcon icon) {
  switch (icon) {
    case forms::MsgIcon::Critical:
      return QMessageBox::Critical;
    case forms::MsgIcon::Question:
      return QMessageBox::Question;
    case forms::MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case forms::MsgIcon::Information:
      return QMessageBox::Information;
    case forms::MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// What a message box answers when it cannot be asked: the program is ending.
forms::MsgAnswer RefusingAnswer(forms::MsgButtons buttons) {
  switch (buttons) {
    case forms::MsgButtons::OK:
      return forms::MsgAnswer::OK;
    case forms::MsgButtons::OKCancel:
      return forms::MsgAnswer::Cancel;
    case forms::MsgButtons::YesNo:
      return forms::MsgAnswer::No;
  }
  return forms::MsgAnswer::OK;
}

// The window manager draws the title beside an icon and three buttons; a
// box only as wide as its text squeezes a short title to "Se... va". Room
// for the title in bold and this many line heights keeps it whole.
constexpr int TitleBarControlLines = 8;

void MakeRoomForTitle(QMessageBox& box) {
  QFont bold = box.font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  const int width = metrics.horizontalAdvance(box.windowTitle()) + TitleBarControlLines * metrics.height();
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
}

void CentreOnScreen(QWidget& window) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place(QPoint(), window.size());
    place.moveCenter(screen->availableGeometry().center());
    window.move(place.topLeft());
  }
}

}  // namespace

forms::MsgAnswer ShowQtMessageBox(const MessageRequest& request) {
  QMessageBox box(QtIcon(request.icon), QString::fromStdU16String(request.title),
                  QString::fromStdU16String(request.text), QMessageBox::NoButton, request.over);
  box.setObjectName(QStringLiteral("MessageBox"));
  box.setWindowModality(request.over != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  switch (request.buttons) {
    case forms::MsgButtons::OK:
      box.setStandardButtons(QMessageBox::Ok);
      break;
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
  MakeRoomForTitle(box);
  switch (box.exec()) {
    case QMessageBox::Ok:
      return forms::MsgAnswer::OK;
    case QMessageBox::Yes:
      return forms::MsgAnswer::Yes;
    case QMessageBox::No:
      return forms::MsgAnswer::No;
    case QMessageBox::Cancel:
      return forms::MsgAnswer::Cancel;
    default:
      return RefusingAnswer(request.buttons);
  }
}

QString WaitStageText(forms::WaitStage stage) {
  switch (stage) {
    case forms::WaitStage::ApplyingSettings:
      return QStringLiteral("Applying settings");
    case forms::WaitStage::Restarting:
      return QStringLiteral("Camera restarting");
    case forms::WaitStage::ComingBack:
      return QStringLiteral("Waiting for the camera");
  }
  return QStringLiteral("Please wait");
}

QtDesktop::QtDesktop()
    : messageBox_([](const MessageRequest& request) { return ShowQtMessageBox(request); }),
      quit_([] { QCoreApplication::exit(0); }) {
  // Every window carries the program's icon; the launcher entry is
  // sentrova.desktop.
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/sentrova/sentrova.png")));
  QGuiApplication::setDesktopFileName(QStringLiteral("sentrova"));
  QObject::connect(qApp, &QApplication::focusChanged, &gate_, [this](QWidget*, QWidget* now) {
    if (now == nullptr) return;
    for (const auto& [id, view] : views_) {
      if (view && view->isAncestorOf(now)) view->FocusMovedTo(now);
    }
  });
  modBitOps::SetErrorReporter([this](const std::u16string& text, const std::u16string& title) {
    MessageBox(text, title, forms::MsgIcon::None, forms::MsgButtons::OK);
  });
  frame_.setInterval(FrameMs);
  QObject::connect(&frame_, &QTimer::timeout, &gate_, [this] { NextFrame(); });
  news_.setInterval(FrameMs);
  news_.setSingleShot(true);
  QObject::connect(&news_, &QTimer::timeout, &gate_, [this] { ShowListNews(); });
  if (FrameProbe::Wanted()) probe_ = std::make_unique<FrameProbe>();
}

QtDesktop::~QtDesktop() {
  modBitOps::SetErrorReporter(nullptr);
  SetMousePointer(forms::DefaultPointer);
  for (auto& [id, view] : views_) Retire(view);
  for (QPointer<WindowView>& view : retired_) delete view.data();
  delete progress_.data();
  delete wizardFrame_.data();
  delete mainFrame_.data();
}

void QtDesktop::Attach(Program& program) { program_ = &program; }

void QtDesktop::Dispatch(const std::function<void()>& handler) {
  // While a handler is busy only the message boxes and modal windows it
  // opened take the user's actions (a frame's close button included).
  if (ending_ || program_ == nullptr || gate_.Closed()) return;
  bool choseAgain = false;
  {
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
    const bool searched = searched_ && handlersRunning_ == 0;
    if (searched) choseAgain = ChooseAgain();
    RenderAll();
    if (searched) {
      searched_ = false;
      ReportComeBack();
      if (probe_) probe_->SearchListed();
    }
    if (handlersRunning_ == 0) program_->DisposeUnloaded();
    gate_.DropHeldInput();
  }
  // The logic hears of the camera chosen during the search once it can.
  if (choseAgain) {
    Dispatch([this] {
      if (program_->frmMain) program_->frmMain->List_Event9();
    });
  }
}

WindowView* QtDesktop::View(forms::WindowId id) const {
  const auto found = views_.find(id);
  return found == views_.end() ? nullptr : found->second.data();
}

forms::MsgAnswer QtDesktop::MessageBox(const std::u16string& text, const std::u16string& title, forms::MsgIcon icon,
                                       forms::MsgButtons buttons) {
  if (ending_) return RefusingAnswer(buttons);
  // A message during an announced sequence of waits (a camera that refused
  // to restart) ends the sequence: the rest will not come as announced, and
  // nothing says the camera comes back. The logic shows it from inside the
  // handler that announced the waits, so this is the moment to end them.
  if (plan_) {
    EndWaits();
    comeBack_.reset();
    watch_.reset();
  }
  InputGate::Layer open(gate_, true);
  return messageBox_({text, title, icon, buttons, Owner()});
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

// Every wait of the sequence follows as a Sleep or a WaitForCamera of its
// own; the sequence shows as one progress from the first wait to the end of
// the last, or to the moment the camera is back.
void QtDesktop::WaitsAhead(const std::vector<forms::Wait>& waits, const forms::CameraSought& camera) {
  if (ending_ || waits.empty()) return;
  EndWaits();
  plan_ = WaitPlan{waits};
  comeBack_.reset();
  watch_.reset();
  if (program_ != nullptr) comeBack_ = ComeBack{CameraName(), camera};
  if (look_) watch_.emplace(look_, camera);
}

void QtDesktop::EndWaits() {
  plan_.reset();
  if (auto* view = progress_ ? qobject_cast<WindowView*>(progress_->parentWidget()) : nullptr) view->EndWait();
  delete progress_.data();  // the progress in a window of its own, when no window was shown
}

void QtDesktop::Sleep(int32_t milliseconds) { RunWait(milliseconds, false, false); }

forms::CameraSeen QtDesktop::WaitForCamera(int32_t milliseconds, bool lookingOn) {
  return RunWait(milliseconds, true, lookingOn);
}

// The windows keep painting and the timers keep running; the user's input
// waits outside and is dropped when the handler ends. A wait that watches
// looks for the camera one search after another and ends once it is back;
// looking on, the progress offers a Cancel.
forms::CameraSeen QtDesktop::RunWait(int32_t milliseconds, bool watching, bool lookingOn) {
  if (ending_ || milliseconds <= 0) return forms::CameraSeen::NotSeen;
  InputGate::Layer busy(gate_, false);
  // A wait that is not the next of the announced sequence stands alone.
  if (plan_ &&
      (lookingOn || plan_->next >= plan_->waits.size() || plan_->waits[plan_->next].milliseconds != milliseconds)) {
    EndWaits();
  }
  QString stage = lookingOn ? QStringLiteral("Looking for the camera") : QStringLiteral("Please wait");
  int done = 0;
  if (plan_) {
    stage = WaitStageText(plan_->waits[plan_->next].stage);
    done = plan_->done;
    if (!progress_) {
      int total = 0;
      for (const forms::Wait& wait : plan_->waits) total += wait.milliseconds;
      progress_ = new WaitProgress(total);
    }
  } else if (milliseconds >= LongWait || lookingOn) {
    progress_ = new WaitProgress(milliseconds);
  }
  if (progress_ && progress_->parentWidget() == nullptr) {
    if (WindowView* front = FrontView()) {
      front->ShowWait(*progress_);
    } else {
      progress_->resize(420, progress_->sizeHint().height());
      progress_->show();
    }
  }

  const QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
  QEventLoop loop;
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
  bool cancelled = false;
  if (lookingOn && progress_) {
    progress_->OfferCancel([&cancelled, &loop] {
      cancelled = true;
      loop.quit();
    });
  }
  auto update = [&] {
    if (!progress_) return;
    const auto passed = static_cast<int>(milliseconds - std::max<qint64>(0, deadline.remainingTime()));
    progress_->Update(stage, done + passed);
  };
  CameraWatch* watch = watching && watch_ ? &*watch_ : nullptr;
  QDeadlineTimer nextLook(0);
  bool back = false;
  update();
  while (!ending_ && !cancelled && !deadline.hasExpired()) {
    if (watch != nullptr && nextLook.hasExpired()) {
      back = watch->Look();
      if (back || ending_) break;
      nextLook.setRemainingTime(LookInterval, Qt::PreciseTimer);
      update();
      continue;
    }
    qint64 left = std::max<qint64>(1, deadline.remainingTime());
    if (progress_) left = std::min<qint64>(left, ProgressTick);
    if (watch != nullptr) left = std::min<qint64>(left, std::max<qint64>(1, nextLook.remainingTime()));
    wake.start(static_cast<int>(left));
    // A loop that will not run (the application is quitting) ends the wait.
    // Looking on, the Cancel takes the user's input; the gate drops the rest.
    if (loop.exec(lookingOn ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents) != 0) break;
    update();
  }
  if (plan_ && !back) {
    plan_->done += milliseconds;
    if (++plan_->next < plan_->waits.size()) return forms::CameraSeen::NotSeen;
  }
  EndWaits();
  if (back) return forms::CameraSeen::Back;
  return cancelled ? forms::CameraSeen::Cancelled : forms::CameraSeen::NotSeen;
}

QTreeView* QtDesktop::ShownList() const {
  if (!mainFrame_ || mainFrame_->View() == nullptr) return nullptr;
  return mainFrame_->View()->findChild<QTreeView*>(QStringLiteral("List"));
}

// A window's first frame is its slowest (the style, the fonts): it is drawn
// before the search begins, so that the answers are read meanwhile without
// waiting for it. The window system gets a moment to put the window up.
void QtDesktop::DrawFirstFrame() {
  QWindow* window = mainFrame_ ? mainFrame_->windowHandle() : nullptr;
  if (window == nullptr) return;
  const QDeadlineTimer deadline(FirstFrameWait);
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (window->isExposed() || deadline.hasExpired()) loop.quit();
  });
  if (!window->isExposed()) {
    poll.start(1);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  mainFrame_->repaint();
}

// The camera whose row the list has selected, whoever selected it.
QString QtDesktop::ChosenCamera() const {
  QTreeView* list = ShownList();
  const CameraRows* rows = list == nullptr ? nullptr : ListRows(*list);
  const auto* sorted = list == nullptr ? nullptr : qobject_cast<const QSortFilterProxyModel*>(list->model());
  if (rows == nullptr || sorted == nullptr) return {};
  const QModelIndexList chosen = list->selectionModel()->selectedRows();
  return chosen.isEmpty() ? QString() : rows->Key(sorted->mapToSource(chosen.front()).row());
}

// The main window is on screen while its first search runs. What the last
// search found out about a camera is old news once another search begins.
// The list alone takes the user's input meanwhile: the logic waits for the
// search, so nothing else the user does could be acted on.
void QtDesktop::SearchBegins() {
  searching_ = true;
  heard_.clear();
  if (program_ != nullptr && program_->frmMain && (!mainFrame_ || !mainFrame_->isVisible())) {
    ShowView(forms::WindowId::FrmMain, false);
    DrawFirstFrame();
  }
  chosen_ = ChosenCamera();
  if (QTreeView* list = ShownList()) {
    if (CameraRows* rows = ListRows(*list)) rows->StartHeard();
    listOnly_.emplace(gate_, *list);
    if (probe_) probe_->Watch(*list);
  }
  if (mainFrame_) mainFrame_->ShowNews({});
  if (probe_) probe_->SearchBegins();
  frame_.start();
  UpdateStatus();
}

// The rows heard stay on screen until the list the search fills replaces
// them once the handler is over; meanwhile the status counts them. One last
// frame first: the window catches up on its events between the search's
// own work at its end and the filling of the list, rather than after both.
void QtDesktop::SearchEnds() {
  if (!searching_) return;
  NextFrame();
  if (probe_) probe_->SearchEnds();
  frame_.stop();
  searching_ = false;
  searched_ = true;
  if (QString chosen = ChosenCamera(); !chosen.isEmpty()) chosen_ = std::move(chosen);
  listOnly_.reset();
  QTreeView* list = ShownList();
  CameraRows* rows = list == nullptr ? nullptr : ListRows(*list);
  if (rows != nullptr) rows->EndHeard();
  if (mainFrame_) mainFrame_->ShowCount(rows == nullptr ? 0 : rows->rowCount());
}

void QtDesktop::CameraHeard(const std::u16string& caption, const std::u16string& macText, const std::u16string& address,
                            const std::u16string& mode) {
  if (!searching_ || ending_) return;
  heard_.push_back(
      {caption, {device::FormatMacText(macText), address, device::IsAssignedAddress(address) ? u"ok" : u"", mode}});
  if (probe_) probe_->Heard();
}

void QtDesktop::ListNews() {
  if (!ending_ && !news_.isActive()) news_.start();
}

// A handler's nested loop (a search, a wait, a dialog) is no time to change
// the list under it: the news wait for the frame after it ends.
void QtDesktop::ShowListNews() {
  if (ending_ || program_ == nullptr || !program_->frmMain) return;
  if (handlersRunning_ > 0 || gate_.Closed()) {
    news_.start();
    return;
  }
  Dispatch([this] {
    if (program_->frmMain) program_->frmMain->ShowListNews();
  });
}

// Once a frame while the search runs: the rows heard go into the list, and
// the list takes the input the search's loop held back.
void QtDesktop::NextFrame() {
  // Drawn at once: the answers that keep arriving would put the paint off.
  if (!heard_.empty() && ShowHeardRows()) ShownList()->viewport()->repaint();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtDesktop::ShowHeardRows() {
  QTreeView* list = ShownList();
  CameraRows* rows = list == nullptr ? nullptr : ListRows(*list);
  if (heard_.empty() || rows == nullptr || !rows->Heard()) return false;
  rows->AddHeard(heard_);
  heard_.clear();
  if (probe_) probe_->RowsAdded();
  // The camera chosen before the search is chosen again once it answers.
  const int row = chosen_.isEmpty() ? -1 : rows->RowOfKey(chosen_);
  const auto* sorted = qobject_cast<const QSortFilterProxyModel*>(list->model());
  if (row >= 0 && sorted != nullptr && !list->selectionModel()->hasSelection()) {
    list->selectionModel()->setCurrentIndex(sorted->mapFromSource(rows->index(row, 0)),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  return true;
}

// The logic's new list selects the camera chosen before or during the
// search, where it still lists it.
bool QtDesktop::ChooseAgain() {
  const QString chosen = std::exchange(chosen_, QString());
  if (chosen.isEmpty() || program_ == nullptr || !program_->frmMain) return false;
  forms::ListView& list = program_->frmMain->List;
  for (size_t row = 0; row < list.rows.size(); ++row) {
    if (CameraKey(list.rows[row]) != chosen) continue;
    list.selectedRow = static_cast<int32_t>(row);
    return true;
  }
  return false;
}

namespace {

bool IsPage(forms::WindowId id) {
  using forms::WindowId;
  return id == WindowId::FrmSetPassword || id == WindowId::FrmSetIPAddress || id == WindowId::FrmWireless ||
         id == WindowId::FrmSetupEnd || id == WindowId::FrmsetLanEnd;
}

// A dialog opens at its narrowest, and tall enough for all its wrapped
// text at that width.
void FitDialog(QWidget& dialog) {
  dialog.setMinimumWidth(DialogWidth);
  const int width = std::max(DialogWidth, dialog.minimumSizeHint().width());
  dialog.resize(width, dialog.hasHeightForWidth() ? dialog.heightForWidth(width) : dialog.sizeHint().height());
}

void CentreOver(QWidget& window, const QWidget* over) {
  QRect place(QPoint(), window.size());
  if (over != nullptr && over->isVisible()) {
    place.moveCenter(over->frameGeometry().center());
    window.move(place.topLeft());
  } else {
    CentreOnScreen(window);
  }
}

}  // namespace

void QtDesktop::SetInterfaceOffer(InterfaceOffer offer) {
  interfaces_ = std::move(offer);
  if (mainFrame_) mainFrame_->OfferInterfaces(*interfaces_);
}

// The main window's view goes into the main frame, a page into the wizard
// frame, a dialog becomes a window of its own over its owner.
void QtDesktop::Place(forms::WindowId id, WindowView& view) {
  if (id == forms::WindowId::FrmMain) {
    if (!mainFrame_) {
      mainFrame_ = new MainFrame;
      if (interfaces_) mainFrame_->OfferInterfaces(*interfaces_);
      mainFrame_->SetAddCamera([this](const QString& address) {
        Dispatch([this, address] {
          if (program_->frmMain) program_->frmMain->AddCameraByAddress(address.toStdU16String());
        });
      });
      mainFrame_->Hold(view);
      mainFrame_->Place();
    }
    mainFrame_->Hold(view);
  } else if (IsPage(id)) {
    if (!wizardFrame_) {
      wizardFrame_ = new WizardFrame;
      wizardFrame_->ShowPage(view);
      wizardFrame_->resize(wizardFrame_->sizeHint().expandedTo(WizardSize));
      CentreOver(*wizardFrame_, mainFrame_);
    }
  } else if (view.parentWidget() == nullptr) {
    QWidget* owner = FrameInFront();
    view.setParent(owner, Qt::Dialog);
    FitDialog(view);
    CentreOver(view, owner);
  }
}

WindowView* QtDesktop::ShowView(forms::WindowId id, bool modal) {
  QPointer<WindowView>& view = views_[id];
  const bool fresh = !view;
  if (fresh) {
    view = BuildView(id, *program_, [this](const std::function<void()>& handler) { Dispatch(handler); });
    if (!view) {
      views_.erase(id);
      return nullptr;
    }
    view->Render();  // its size, when it is placed, comes from the model's texts
  }
  Place(id, *view);
  QWidget* window = view->window() == view ? view.data() : nullptr;  // a dialog
  if (window != nullptr) {
    // A dialog holds off the window it belongs to; one the logic waits for
    // holds off every window.
    const Qt::WindowModality modality = modal ? Qt::ApplicationModal : Qt::WindowModal;
    if (window->windowModality() != modality) {
      window->hide();  // modality takes effect on the next show
      window->setWindowModality(modality);
    }
  }
  QWidget* shown = view;
  if (IsPage(id)) {
    wizardFrame_->ShowPage(*view);
    UpdateWizardHeader(id);
    shown = wizardFrame_;
  } else if (id == forms::WindowId::FrmMain) {
    shown = mainFrame_;
  }
  view->show();
  shown->show();
  shown->raise();
  shown->activateWindow();
  view->Render();
  UpdateStatus();
  if (probe_ && id == forms::WindowId::FrmMain) {
    if (QTreeView* list = ShownList()) probe_->Watch(*list);
  }
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
  modalViews_.push_back(&view);
  loop.exec();
  std::erase_if(modalViews_,
                [&view](const QPointer<WindowView>& modalView) { return modalView.isNull() || modalView == &view; });
  modalLoops_[id] = outer;
  if (outer == nullptr) modalLoops_.erase(id);
}

void QtDesktop::QuitModal(forms::WindowId id) {
  const auto found = modalLoops_.find(id);
  if (found != modalLoops_.end() && found->second != nullptr) found->second->quit();
}

// A hidden page leaves the frame on another page the logic shows, or the
// frame goes too; the main frame goes with the main window's view.
void QtDesktop::AfterHide(forms::WindowId id, WindowView& view) {
  if (IsPage(id) && wizardFrame_) {
    if (WindowView* other = wizardFrame_->ShownPage(); other != nullptr && other != &view) {
      if (wizardFrame_->CurrentPage() == &view) wizardFrame_->ShowPage(*other);
    } else {
      wizardFrame_->hide();
    }
  } else if (id == forms::WindowId::FrmMain && mainFrame_) {
    mainFrame_->hide();
  }
}

void QtDesktop::WindowHidden(forms::WindowId id) {
  if (WindowView* view = View(id)) {
    if (view->window() == view) view->hide();
    AfterHide(id, *view);
  }
  QuitModal(id);
}

void QtDesktop::WindowUnloaded(forms::WindowId id) {
  const auto found = views_.find(id);
  if (found != views_.end()) {
    if (found->second) {
      WindowView& view = *found->second;
      if (wizardFrame_) wizardFrame_->Release(view);
      if (mainFrame_) mainFrame_->Release(view);
      view.Detach();  // the model is gone: the frames see it as not shown
      AfterHide(id, view);
    }
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
  frame_.stop();
  SetMousePointer(forms::DefaultPointer);
  for (auto& [id, view] : views_) Retire(view);
  views_.clear();
  EndWaits();
  if (mainFrame_) mainFrame_->hide();
  if (wizardFrame_) wizardFrame_->hide();
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
  UpdateStatus();
}

// The name the search gave the chosen camera, when the main window has one.
QString QtDesktop::CameraName() const {
  if (program_ == nullptr || !program_->frmMain) return {};
  const forms::ListView& list = program_->frmMain->List;
  const int32_t row = list.selectedRow;
  if (row < 0 || static_cast<size_t>(row) >= list.rows.size()) return {};
  return QString::fromStdU16String(list.rows[static_cast<size_t>(row)].text);
}

// The camera being set up and the step: the wireless pages add one.
void QtDesktop::UpdateWizardHeader(forms::WindowId page) {
  const WizardState& state = program_->state;
  const bool wireless = modBitOps::BitTestLong(state.DeviceType, WirelessBit) == True;
  const int steps = wireless ? 4 : 3;
  int step = steps;
  if (page == forms::WindowId::FrmSetPassword) step = 1;
  if (page == forms::WindowId::FrmSetIPAddress) step = 2;
  if (page == forms::WindowId::FrmWireless) step = 3;
  QString name = CameraName();
  const QString address = QString::fromStdU16String(state.CurrentIPAddress);
  const QString camera = name.isEmpty() ? address : QStringLiteral("%1 (%2)").arg(name, address);
  wizardFrame_->SetHeader(camera, QStringLiteral("Step %1 of %2").arg(step).arg(steps));
}

// The count of cameras in the list, or that the search runs.
void QtDesktop::UpdateStatus() {
  if (!mainFrame_ || program_ == nullptr || !program_->frmMain) return;
  if (searching_) {
    mainFrame_->ShowSearching();
    return;
  }
  const forms::ListView& list = program_->frmMain->List;
  mainFrame_->ShowCount(static_cast<int>(list.rows.size()));
}

// The main window, opened afresh after the waits, has searched again.
void QtDesktop::ReportComeBack() {
  if (!comeBack_ || plan_ || !mainFrame_ || program_ == nullptr || !program_->frmMain) return;
  const forms::CameraSought& camera = comeBack_->camera;
  mainFrame_->ShowNews(QString::fromStdU16String(ComeBackNews(comeBack_->name.toStdU16String(),
                                                              FindComeBack(program_->frmMain->List, camera), camera,
                                                              program_->CamTemp.UnconfirmedSettings())));
  comeBack_.reset();
  watch_.reset();
}

void QtDesktop::ShowFailure(const std::u16string& text) {
  SetMousePointer(forms::DefaultPointer);
  MessageBox(text, u"Sentrova", forms::MsgIcon::Critical, forms::MsgButtons::OK);
}

QWidget* QtDesktop::Owner() const {
  WindowView* front = FrontView();
  return front == nullptr ? nullptr : front->window();
}

// Dialogs belong to a frame, never to another dialog: a dialog often goes
// while the one it opened stays.
QWidget* QtDesktop::FrameInFront() const {
  if (wizardFrame_ && wizardFrame_->isVisible()) return wizardFrame_;
  return mainFrame_;
}

// The view in front: the innermost modal dialog, the dialog in front of the
// owner, the wizard's page or the main window's view.
WindowView* QtDesktop::FrontView() const {
  for (auto modal = modalViews_.rbegin(); modal != modalViews_.rend(); ++modal) {
    if (*modal && (*modal)->isVisible()) return *modal;
  }
  for (const auto& [id, view] : views_) {
    if (view && view->window() == view && view->isVisible() && view->isActiveWindow()) return view;
  }
  for (const auto& [id, view] : views_) {
    if (view && view->window() == view && view->isVisible()) return view;
  }
  if (wizardFrame_ && wizardFrame_->isVisible()) return wizardFrame_->CurrentPage();
  if (mainFrame_ && mainFrame_->isVisible()) return mainFrame_->View();
  return nullptr;
}

}  // namespace desktop
