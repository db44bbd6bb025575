#pragma once
// The desktop services on Qt Widgets: message boxes, the hourglass, blocking
// waits that keep the windows painted, showing and hiding the windows, the
// browser, the end of the program. Every handler of the windows' logic runs
// through Dispatch, which keeps the program running whatever a handler
// throws and redraws every window from its model afterwards.
#include <QPointer>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "wizard/program.h"
#include "desktop/input_gate.h"
#include "desktop/window_view.h"
#include "forms/desktop.h"

class QEventLoop;

namespace desktop {

struct MessageRequest {
  std::u16string text;
  std::u16string title;
  forms::MsgIcon icon;
  forms::MsgButtons buttons;
};
using MessageBoxFunction = std::function<forms::MsgAnswer(const MessageRequest& request)>;

// The real message box over the given window: the icon, the title (an
// empty one stays empty), the buttons; Escape answers Cancel or No.
forms::MsgAnswer ShowQtMessageBox(const MessageRequest& request, QWidget* over = nullptr);

// Waits of this length and longer show the seconds left.
inline constexpr int32_t LongWait = 5000;

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

  forms::MsgAnswer MessageBox(const std::u16string& text, const std::u16string& title, forms::MsgIcon icon,
                              forms::MsgButtons buttons) override;
  void SetMousePointer(int16_t pointer) override;
  void Sleep(int32_t milliseconds) override;
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

  Program* program_ = nullptr;
  InputGate gate_;
  std::map<forms::WindowId, QPointer<WindowView>> views_;
  std::vector<QPointer<WindowView>> retired_;  // unloaded, waiting to be deleted
  std::map<forms::WindowId, QEventLoop*> modalLoops_;
  QPointer<WindowView> front_;
  MessageBoxFunction messageBox_;
  std::function<void()> quit_;
  int handlersRunning_ = 0;
  bool ending_ = false;
  bool hourglass_ = false;
};

}  // namespace desktop
