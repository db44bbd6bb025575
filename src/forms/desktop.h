#pragma once
// The services the windows' logic asks of the desktop: message boxes, the
// mouse pointer, blocking waits, showing and hiding windows, the browser,
// the end of the program and its version. The Qt front end implements it;
// tests fake it.
#include <cstdint>
#include <string>
#include <vector>

namespace forms {

enum class WindowId {
  FrmMain,
  frmchackIDPWD,
  FrmChackPassWord,
  FrmSetPassword,
  FrmSetIPAddress,
  FrmMessage,
  FrmChangeIPAddress,
  FrmWireless,
  FrmSetupEnd,
  FrmsetLanEnd,
  FrmSysAbout,
};
const char* WindowName(WindowId id);

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, YesNo };
enum class MsgAnswer { OK, Cancel, Yes, No };

// Screen mouse pointer values.
inline constexpr int16_t DefaultPointer = 0;
inline constexpr int16_t Hourglass = 11;

// What the camera is doing during one wait of a sequence.
enum class WaitStage { ApplyingSettings, Restarting, ComingBack };
struct Wait {
  WaitStage stage;
  int32_t milliseconds;
};

// The camera a sequence of waits is for, as it answers a search once it is
// back with its new settings.
struct CameraSought {
  std::u16string mac;      // as the camera control gives it; empty when unknown
  std::u16string address;  // where it answers once back: its new address
  std::u16string mask;     // the new mask and gateway, as its search answer reports them
  std::u16string gateway;
  std::u16string previousAddress;  // where it answered before
  // An ONVIF camera's device service (its port and path), which moves with
  // it; port 0 for a camera of our own protocol.
  int32_t servicePort = 0;
  std::u16string servicePath;
  // It restarts on the way: an answer counts only once it was silent for a
  // while, unless it answers at another address than before.
  bool restarts = false;
};

// How a wait that watches for the camera ended.
enum class CameraSeen { Back, NotSeen, Cancelled };

struct Version {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  virtual MsgAnswer MessageBox(const std::u16string& text, const std::u16string& title, MsgIcon icon,
                               MsgButtons buttons) = 0;
  virtual void SetMousePointer(int16_t pointer) = 0;
  // Blocks for the given time; the window keeps painting but takes no input.
  virtual void Sleep(int32_t milliseconds) = 0;
  // Announces a sequence of waits for a camera that takes new settings or a
  // new address and comes back as `camera` says: one Sleep or WaitForCamera
  // per wait follows, in this order (a wait that ends early takes the rest
  // with it), so the whole sequence can be shown as one.
  virtual void WaitsAhead(const std::vector<Wait>& waits, const CameraSought& camera) = 0;
  // Blocks like Sleep while it looks for the announced camera, and ends as
  // soon as the camera is back. lookingOn: the announced waits are over and
  // the camera was not seen; the user may cancel the rest.
  virtual CameraSeen WaitForCamera(int32_t milliseconds, bool lookingOn) = 0;

  // The main window's device search runs from SearchBegins to SearchEnds.
  // The cameras heard meanwhile may reach the front end by their own way
  // (the camera control reports each arrival); the list is filled from the
  // camera control only after SearchEnds.
  virtual void SearchBegins() = 0;
  virtual void SearchEnds() = 0;

  // A window was shown. A modal show returns only once the window is hidden
  // or unloaded again.
  virtual void WindowShown(WindowId id, bool modal) = 0;
  virtual void WindowHidden(WindowId id) = 0;
  virtual void WindowUnloaded(WindowId id) = 0;

  // Opens an http:// address in the user's default browser.
  virtual void OpenWebPage(const std::string& url) = 0;
  // Ends the program at once; nothing after it in the calling handler matters.
  virtual void EndProgram() = 0;
  virtual Version ProgramVersion() = 0;
};

}  // namespace forms
