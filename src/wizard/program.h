#pragma once
// The running program: the wizard state, the two camera controls, the desktop
// services, and every window, loaded or not. Windows reach each other only
// through it, as the program's windows do by name.
//
// A window is loaded on first use (its Form_Load runs), shown and hidden, and
// unloaded. Unloading takes the window out of reach at once but keeps the
// object alive until DisposeUnloaded, because handlers often unload their own
// window and then go on with a step or two.
#include <memory>
#include <string>
#include <vector>

#include "wizard/wizard_state.h"
#include "device/camera_control.h"
#include "forms/controls.h"
#include "forms/desktop.h"

struct FrmMain;
struct frmchackIDPWD;
struct FrmChackPassWord;
struct FrmSetPassword;
struct FrmSetIPAddress;
struct FrmMessage;
struct FrmChangeIPAddress;
struct FrmWireless;
struct FrmSetupEnd;
struct FrmsetLanEnd;
struct FrmSysAbout;

struct Program {
  Program(forms::Desktop& desktop, device::CameraControl& cam, device::CameraControl& camTemp);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  forms::Desktop& desktop;
  device::CameraControl& cam;
  device::CameraControl& CamTemp;
  WizardState state;

  std::unique_ptr<FrmMain> frmMain;
  std::unique_ptr<frmchackIDPWD> chackIDPWD;
  std::unique_ptr<FrmChackPassWord> chackPassWord;
  std::unique_ptr<FrmSetPassword> setPassword;
  std::unique_ptr<FrmSetIPAddress> setIPAddress;
  std::unique_ptr<FrmMessage> message;
  std::unique_ptr<FrmChangeIPAddress> changeIPAddress;
  std::unique_ptr<FrmWireless> wireless;
  std::unique_ptr<FrmSetupEnd> setupEnd;
  std::unique_ptr<FrmsetLanEnd> setLanEnd;
  std::unique_ptr<FrmSysAbout> sysAbout;

  // Program start: the main window is loaded (its load searches) and shown.
  void Start();
  // Frees the windows unloaded since the last call; the front end calls it
  // once no handler is running.
  void DisposeUnloaded();

  std::vector<std::shared_ptr<void>> unloaded;
};

// Window lifecycle, for any window type F with a constructor F(Program&), a
// static WindowId Id, a forms::FormModel form and a Form_Load(); Form_Activate
// is called when F has one.
template <class F>
F& Load(Program& program, std::unique_ptr<F>& window) {
  if (!window) {
    window = std::make_unique<F>(program);
    window->Form_Load();
  }
  return *window;
}

template <class F>
void Show(Program& program, std::unique_ptr<F>& window, bool modal = false) {
  F& shown = Load(program, window);
  shown.form.visible = true;
  if constexpr (requires { shown.Form_Activate(); }) {
    shown.Form_Activate();
  }
  program.desktop.WindowShown(F::Id, modal);
}

template <class F>
void Hide(Program& program, std::unique_ptr<F>& window) {
  if (window) {
    window->form.visible = false;
    program.desktop.WindowHidden(F::Id);
  }
}

template <class F>
void Unload(Program& program, std::unique_ptr<F>& window) {
  if (window) {
    program.unloaded.emplace_back(std::shared_ptr<F>(std::move(window)));
    program.desktop.WindowUnloaded(F::Id);
  }
}

// A refused entry: the critical message with an OK button, then the field
// takes the focus and its whole text is selected.
void RefuseEntry(Program& program, forms::FormModel& form, forms::TextBox& field, const std::u16string& message,
                 const std::u16string& title);

// The message for an address that another camera already has, titled
// "Sentrova": the typed address, a line break, " IP conflict !!".
void ShowAddressConflict(Program& program, forms::FormModel& form, forms::TextBox& field);
