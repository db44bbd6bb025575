#pragma once
// The main window: the list of cameras found on the network, the device
// search that fills it, and the buttons that start the wizard, open a
// camera's web page, show the about box and end the program.
#include <exception>
#include <optional>
#include <string>

#include "device/camera_text.h"
#include "wizard/program.h"
#include "forms/list_view.h"

// Where an ONVIF camera's device service is: the port and path of its own
// service address, as the search found it. Port 0 for our own protocol.
struct RowService {
  int32_t port = 0;
  std::u16string path;
};

struct FrmMain {
  static constexpr forms::WindowId Id = forms::WindowId::FrmMain;
  explicit FrmMain(Program& program);
  Program& program;
  forms::FormModel form{u"Setup Wizard"};

  forms::ListView List;     // columns "Mac Address", "Current IP Address", "Assigned", "Mode", and ours, "Network"
  forms::Button CmdWizard;  // picture buttons, top to bottom as declared
  forms::Button Command1;
  forms::Button CmdLink;
  forms::Button CmdAbout;
  forms::Button CmdExit;

  int16_t LoginResult = 0;          // what Connect gave during the last launch
  bool LaunchedOnvifRow = false;    // the last launch was for an ONVIF row (the change-address dialog follows it)
  RowService LaunchedService;       // and where its device service was
  bool LaunchedOpenCamera = false;  // the last launch found an ONVIF camera that takes commands without a login

  // The camera control heard of cameras between searches (announced, gone,
  // added by address): rows for the new ones are added at the end as the
  // search adds them, and every row's note follows what the control says now.
  void ShowListNews();
  // A camera that multicast does not reach, at the address the user gave
  // ("192.0.2.10", "192.0.2.10:8080"): once listed, its row is selected; a
  // camera that cannot be added is said in a message and nothing changes.
  void AddCameraByAddress(const std::u16string& address);

  void Form_Load();
  // The main window is back: the wizard was left or ended, so the camera is
  // no longer reached through a temporary address.
  void Form_Activate();
  void Form_Unload() {}
  void Command1_Click();
  // The list raises event 9 when a row is chosen and event 10 when a row is
  // opened (double-clicked).
  void List_Event9();
  void List_Event10();
  void CmdLink_Click();
  void CmdWizard_Click();
  void CmdAbout_Click();
  void CmdExit_Click();

 private:
  void SearchDevices();
  void AddFoundRow(int16_t row);
  void ShowNote(int16_t row);  // the Network cell and the row's tip, for the found camera chosen
  bool HasSelectedDevice();
  void ReadSelectedDevice();
  void SelectDevice();
  bool LaunchWizard();
  bool ReachOutsideCamera();
  void ReadOnvifCamera();
};

// The protocol families: family 0 reads and writes without any login, family
// 2 (a Mode text holding "350", and every ONVIF camera) asks for one.
inline constexpr int16_t FamilyPlain = 0;
inline constexpr int16_t FamilyLogin = 2;
// The family of a listed camera, from its Mode text.
int16_t FamilyOfMode(const std::u16string& mode);
// Tells the connection instance where the row the search instance describes
// is spoken to: an ONVIF row at the service port and path its search answer
// named (which it gives back), our own cameras at their family's port.
RowService AimAtRowService(device::CameraControl& cam, device::CameraControl& camTemp, bool onvifRow, int16_t family);
// What a camera of family 0 lacks, where the user reads about that camera.
inline constexpr char16_t NoAccessControlText[] =
    u"This camera has no access control: anyone on the network can read its password and change its settings "
    u"without logging in. Cameras of family 2 (Mode \"350\") and ONVIF cameras ask for a login.";

// The Mode text of an ONVIF row once its camera proved to need no login.
inline constexpr char16_t OpenOnvifModeText[] = u"ONVIF no login (open)";
// Whether a listed camera is an ONVIF camera's row, from its Mode text.
bool IsOnvifMode(const std::u16string& mode);

// What a row outside the computer's networks says when pointed at, from the
// networks the camera control names ("192.0.2.1/24 on eth0").
std::u16string OutsideRowTip(const std::u16string& networks);

// A failure of the camera control (or of the list) that a handler stopped
// at: the pointer goes back to the default and a critical message says so.
void ShowCameraError(Program& program, const std::exception& error);
