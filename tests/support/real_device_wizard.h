#pragma once
// The headless wizard with the network camera control, run from the client
// namespace of a RealOnvifDevice the way a user runs it: the main window's
// search, the launch with its login dialog, the administrator and address
// pages, the wired summary's Restart. Shared by the real-device tests and the
// figures of bench/real_onvif_figures.py.
//
// The wizard's waits after Restart pass for real, a quarter as long, and a
// wait that watches for the device looks for it as the program's desktop
// does (one search after another) and ends once it is back: the device's
// reboot keeps its link down for 2 s.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/wait_progress.h"
#include "device/net_camera_control.h"
#include "support/event_log.h"
#include "support/fake_desktop.h"
#include "support/real_onvif_device.h"
#include "wizard/program.h"

class RealTimeDesktop : public FakeDesktop {
 public:
  using FakeDesktop::FakeDesktop;
  void Sleep(int32_t milliseconds) override;
  void WaitsAhead(const std::vector<forms::Wait>& waits, const forms::CameraSought& camera) override;
  forms::CameraSeen WaitForCamera(int32_t milliseconds, bool lookingOn) override;

 private:
  std::optional<desktop::CameraWatch> watch_;
};

// What the user asks for on the two pages; an empty text leaves it as it is.
struct WizardChanges {
  QString newId;
  QString newPassword;
  QString address;  // empty: the device's own
  QString gateway;  // typed as is (empty clears the field)
};

class RealDeviceWizard {
 public:
  // Enters the device's client namespace (InClient() says whether it could)
  // and starts the program there: its main window searches.
  // clientNetns: another namespace to run in than the device's client side
  // (a computer behind a router).
  explicit RealDeviceWizard(const RealOnvifDevice& device, const QString& clientNetns = {});
  // The same in a client namespace of the test's own, for a camera of
  // another kind (the simulator): Restart then waits the program's waits only.
  explicit RealDeviceWizard(const QString& clientNetns);
  ~RealDeviceWizard();
  bool InClient() const { return inClient_.Ok(); }

  Program& program() { return *program_; }
  // Lists the device at address as its announcement lists it (heard on
  // eth0), where its answers to a search go elsewhere; true when its row is
  // in the main window.
  bool ListAnnounced(const QString& address);
  RealTimeDesktop& desktop() { return desktop_; }
  bool Visible(forms::WindowId id) const { return desktop_.visible.count(id) != 0; }
  int32_t RowOf(const QString& address);
  // Every message shown so far, "[text] [text]"; Errors() those with the
  // critical icon only (a note such as a value written but not confirmed is
  // not an error).
  std::string Messages() const;
  std::string Errors() const;

  // CmdWizard on the row of address with these logins typed in turn into the
  // login dialog (ID, password). True when the administrator page opened. A
  // dialog still open after the last login is cancelled: LoginLeftOpen().
  bool Launch(const QString& address, const std::vector<std::pair<QString, QString>>& logins);
  bool LoginLeftOpen() const { return loginLeftOpen_; }
  // From the administrator page to the wired summary; false when a page
  // stopped (a message tells why).
  bool ToSummary(const WizardChanges& changes);
  // The summary's Restart, then waits (bounded) until no change is still to
  // take effect on the device.
  void Restart();

  // A search and a login of a control of our own, now.
  QStringList FoundAt();
  int32_t LoginAt(const QString& address, const QString& id, const QString& password);

 private:
  const RealOnvifDevice* device_ = nullptr;
  InNetns inClient_;
  EventLog log_;
  RealTimeDesktop desktop_{log_};
  device::NetCameraControl cam_;
  device::NetCameraControl camTemp_;
  std::unique_ptr<Program> program_;
  bool loginLeftOpen_ = false;
};
