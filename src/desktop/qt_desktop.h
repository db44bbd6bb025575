#pragma once
// The desktop services on Qt Widgets: message boxes, the hourglass, blocking
// waits that keep the windows painted, showing and hiding the windows, the
// browser, the end of the program. The main window's view sits in the main
// frame, the pages in the wizard frame; the dialogs are windows of their
// own over the window they belong to, and so are the message boxes. Every handler of the windows' logic runs
// through Dispatch, which keeps the program running whatever a handler
// throws and redraws every window from its model afterwards.
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wizard/program.h"
#include "desktop/frame_probe.h"
#include "desktop/frames.h"
#include "desktop/input_gate.h"
#include "desktop/wait_progress.h"
#include "desktop/window_view.h"
#include "forms/desktop.h"
#include "forms/list_view.h"

class QEventLoop;
class QTreeView;

namespace desktop {

struct MessageRequest {
  std::u16string text;
  std::u16string title;
  forms::MsgIcon icon;
  forms::MsgButtons buttons;
  QWidget* over = nullptr;  // the window the box belongs to and is modal over
};
using MessageBoxFunction = std::function<forms::MsgAnswer(const MessageRequest& request)>;

// The real message box over the request's window: the icon, the title (an
// empty one stays empty), the buttons; Escape answers Cancel or No.
forms::MsgAnswer ShowQtMessageBox(const MessageRequest& request);

// Waits of this length and longer show the seconds left, as does every wait
// of an announced sequence.
inline constexpr int32_t LongWait = 5000;

// What each stage of a sequence of waits is called on screen.
QString WaitStageText(forms::WaitStage stage);

class QtDesktop : public forms::Desktop {
 public:
  QtDesktop();
  ~QtDesktop() override;
  QtDesktop(const QtDesktop&) = delete;
  QtDesktop& operator=(const QtDesktop&) = delete;

  // The program whose windows this desktop shows; set before its Start.
  void Attach(Program& program);

  // Runs one handler. An error that escapes it is shown in a critical
  // message box and the program goes on; then every window is redrawn from
  // its model and unloaded windows are freed. User input is held off while
  // the handler runs, except in the message boxes and modal windows it opens.
  void Dispatch(const std::function<void()>& handler);

  // For tests: answer message boxes without showing them; end the program
  // without leaving the event loop.
  void SetMessageBoxFunction(MessageBoxFunction messageBox) { messageBox_ = std::move(messageBox); }
  void SetQuitFunction(std::function<void()> quit) { quit_ = std::move(quit); }
  // The view of a shown window, while it is loaded.
  WindowView* View(forms::WindowId id) const;
  bool Ending() const { return ending_; }
  MainFrame* Main() const { return mainFrame_; }
  WizardFrame* Wizard() const { return wizardFrame_; }
  // The window a message box belongs to: the window in front (the
  // innermost modal dialog, a shown dialog, the wizard frame, the main
  // window), nullptr when none is shown.
  QWidget* Owner() const;
  // The progress of the wait under way, if any.
  WaitProgress* Progress() const { return progress_; }
  // How the camera a sequence of waits is for is looked for; without one the
  // waits run their whole time.
  void SetCameraLook(CameraLook look) { look_ = std::move(look); }
  // The main window's "Interfaces" menu offers this choice (no menu without).
  void SetInterfaceOffer(InterfaceOffer offer);

  // A camera heard while the main window's search runs, in the camera
  // control's own form (the MAC as dotted decimals): its row shows with the
  // next frame, as the search will list it; a camera heard again replaces
  // its row. The list the search fills afterwards takes the place of these
  // rows, and the camera the user chose meanwhile stays chosen.
  void CameraHeard(const std::u16string& caption, const std::u16string& macText, const std::u16string& address,
                   const std::u16string& mode);

  // The camera control's list changed between searches (a camera announced
  // itself or said Bye): the main window shows the news once no handler
  // runs, at most once a frame however many arrive.
  void ListNews();

  forms::MsgAnswer MessageBox(const std::u16string& text, const std::u16string& title, forms::MsgIcon icon,
                              forms::MsgButtons buttons) override;
  void SetMousePointer(int16_t pointer) override;
  void Sleep(int32_t milliseconds) override;
  void WaitsAhead(const std::vector<forms::Wait>& waits, const forms::CameraSought& camera) override;
  forms::CameraSeen WaitForCamera(int32_t milliseconds, bool lookingOn) override;
  void SearchBegins() override;
  void SearchEnds() override;
  void WindowShown(forms::WindowId id, bool modal) override;
  void WindowHidden(forms::WindowId id) override;
  void WindowUnloaded(forms::WindowId id) override;
  void OpenWebPage(const std::string& url) override;
  void EndProgram() override;
  forms::Version ProgramVersion() override;

 private:
  WindowView* ShowView(forms::WindowId id, bool modal);
  void RunModal(forms::WindowId id, WindowView& view);
  void QuitModal(forms::WindowId id);
  void Retire(QPointer<WindowView>& view);
  void RenderAll();
  void ShowFailure(const std::u16string& text);
  WindowView* FrontView() const;
  QWidget* FrameInFront() const;
  void Place(forms::WindowId id, WindowView& view);
  void AfterHide(forms::WindowId id, WindowView& view);
  void UpdateWizardHeader(forms::WindowId page);
  void UpdateStatus();
  void ReportComeBack();
  QString CameraName() const;
  void EndWaits();
  void DrawFirstFrame();
  QTreeView* ShownList() const;
  bool ShowHeardRows();  // false when no rows were added
  void NextFrame();
  void ShowListNews();
  QString ChosenCamera() const;
  bool ChooseAgain();
  forms::CameraSeen RunWait(int32_t milliseconds, bool watching, bool lookingOn);

  // An announced sequence of waits, while it runs.
  struct WaitPlan {
    std::vector<forms::Wait> waits;
    size_t next = 0;
    int done = 0;  // ms of the waits already over
  };
  // Where the camera should answer once the waits are over: the next search
  // says whether it did.
  struct ComeBack {
    QString name;
    forms::CameraSought camera;
  };

  Program* program_ = nullptr;
  InputGate gate_;
  std::map<forms::WindowId, QPointer<WindowView>> views_;
  std::vector<QPointer<WindowView>> retired_;  // unloaded, waiting to be deleted
  std::map<forms::WindowId, QEventLoop*> modalLoops_;
  std::vector<QPointer<WindowView>> modalViews_;  // innermost last
  QPointer<MainFrame> mainFrame_;
  QPointer<WizardFrame> wizardFrame_;
  std::optional<WaitPlan> plan_;
  QPointer<WaitProgress> progress_;
  std::optional<ComeBack> comeBack_;
  CameraLook look_;
  std::optional<InterfaceOffer> interfaces_;
  std::optional<CameraWatch> watch_;  // from WaitsAhead to the end of the waits
  bool searching_ = false;
  bool searched_ = false;                     // a search ended in the handler running
  std::vector<forms::ListView::Row> heard_;   // not yet in the list's rows
  QTimer frame_;                              // while searching_: the heard rows go on screen, the list takes its input
  QTimer news_;                               // single shot: the list's news are shown with the next frame
  std::optional<InputGate::Layer> listOnly_;  // while searching_
  QString chosen_;                            // the camera (CameraRows::Key) chosen before or during the search
  std::unique_ptr<FrameProbe> probe_;         // the benchmark's figures, when asked for
  MessageBoxFunction messageBox_;
  std::function<void()> quit_;
  int handlersRunning_ = 0;
  bool ending_ = false;
  bool hourglass_ = false;
};

}  // namespace desktop
