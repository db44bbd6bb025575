#include "support/real_device_wizard.h"

#include <QElapsedTimer>
#include <QThread>

#include "base/text.h"
#include "protocol/wire.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_main.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"

namespace {

using forms::WindowId;

std::u16string U(const QString& text) { return text.toStdU16String(); }

// How long Restart may leave a change pending on the device: a reboot (1 s
// after its answer, 2 s down, the discovery daemon back) and the answers of
// a slow device.
constexpr int SettleMs = 20000;

// A quarter of the program's waits: the device is back within a few seconds.
constexpr int32_t TimeScale = 4;

}  // namespace

void RealTimeDesktop::Sleep(int32_t milliseconds) {
  FakeDesktop::Sleep(milliseconds);
  QThread::msleep(static_cast<unsigned long>(milliseconds / TimeScale));
}

void RealTimeDesktop::WaitsAhead(const std::vector<forms::Wait>& waits, const forms::CameraSought& camera) {
  FakeDesktop::WaitsAhead(waits, camera);
  watch_.emplace(desktop::NetworkCameraLook(device::NetOptions{}), camera);
}

forms::CameraSeen RealTimeDesktop::WaitForCamera(int32_t milliseconds, bool /*lookingOn*/) {
  sleeps.push_back(milliseconds);
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds / TimeScale) {
    if (watch_ && watch_->Look()) return forms::CameraSeen::Back;
    QThread::msleep(200);
  }
  return forms::CameraSeen::NotSeen;
}

// The program starts once the thread is in the client namespace: every
// socket of the two controls is made there.
RealDeviceWizard::RealDeviceWizard(const RealOnvifDevice& device, const QString& clientNetns)
    : RealDeviceWizard(clientNetns.isEmpty() ? device.ClientNetns() : clientNetns) {
  device_ = &device;
}

RealDeviceWizard::RealDeviceWizard(const QString& clientNetns) : inClient_(clientNetns) {
  if (!inClient_.Ok()) return;
  program_ = std::make_unique<Program>(desktop_, cam_, camTemp_);
  program_->Start();
}

// The program and its sockets end before the thread leaves the namespace.
RealDeviceWizard::~RealDeviceWizard() { program_.reset(); }

int32_t RealDeviceWizard::RowOf(const QString& address) {
  if (!program_ || !program_->frmMain) return -1;
  for (int32_t row = 0; row < program_->state.DeviceCount; ++row) {
    if (program_->frmMain->List.CellText(row, 1) == U(address)) return row;
  }
  return -1;
}

bool RealDeviceWizard::ListAnnounced(const QString& address) {
  device::FoundCamera heard;
  heard.address = address;
  heard.mode = QString::fromStdU16String(protocol::OnvifModeText);
  heard.caption = QStringLiteral("Announced");
  heard.port = 80;
  heard.path = QStringLiteral("/onvif/device_service");
  heard.endpoint = QStringLiteral("urn:uuid:announced-") + address;
  heard.interfaceName = QStringLiteral("eth0");
  heard.origin = device::FoundCamera::Origin::Announced;
  cam_.ListCamera(heard);
  program_->frmMain->ShowListNews();
  return RowOf(address) >= 0;
}

std::string RealDeviceWizard::Messages() const {
  std::string all;
  for (const ShownMessage& message : desktop_.messages) all += "[" + base::ToUtf8(message.text) + "] ";
  return all;
}

std::string RealDeviceWizard::Errors() const {
  std::string errors;
  for (const ShownMessage& message : desktop_.messages) {
    if (message.icon == forms::MsgIcon::Critical) errors += "[" + base::ToUtf8(message.text) + "] ";
  }
  return errors;
}

bool RealDeviceWizard::Launch(const QString& address, const std::vector<std::pair<QString, QString>>& logins) {
  auto& steps = desktop_.modalSteps[WindowId::frmchackIDPWD];
  steps.clear();
  for (const auto& login : logins) {
    steps.push_back([this, id = login.first, password = login.second] {
      forms::Type(program_->chackIDPWD->Text1, U(id));
      forms::Type(program_->chackIDPWD->TxtPassWord, U(password));
      program_->chackIDPWD->CmdYes_Click();
    });
  }
  loginLeftOpen_ = false;
  steps.push_back([this] {
    loginLeftOpen_ = true;
    program_->chackIDPWD->CmdCancel_Click();
  });
  const int32_t row = RowOf(address);
  if (row < 0) return false;
  program_->frmMain->List.selectedRow = row;
  program_->frmMain->CmdWizard_Click();
  return Visible(WindowId::FrmSetPassword);
}

bool RealDeviceWizard::ToSummary(const WizardChanges& changes) {
  FrmSetPassword& admin = *program_->setPassword;
  if (!changes.newId.isEmpty()) {
    admin.ChkUserName.value = 1;
    admin.ChkUserName_Click();
    forms::Type(admin.TxtNewUserName, U(changes.newId));
    forms::Type(admin.TxtUserNameReconfirm, U(changes.newId));
  }
  if (!changes.newPassword.isEmpty()) {
    admin.ChkPassword.value = 1;
    admin.ChkPassword_Click();
    forms::Type(admin.TxtNewPassword, U(changes.newPassword));
    forms::Type(admin.TxtReconfirm, U(changes.newPassword));
  }
  admin.CmdNext_Click();
  if (!Visible(WindowId::FrmSetIPAddress)) return false;
  FrmSetIPAddress& page = *program_->setIPAddress;
  if (!changes.address.isEmpty()) forms::Type(page.TxtIPAddress, U(changes.address));
  forms::Type(page.TxtGateway, U(changes.gateway));
  page.CmdNext_Click();
  return Visible(WindowId::FrmsetLanEnd);
}

void RealDeviceWizard::Restart() {
  program_->setLanEnd->CmdRestart_Click();
  if (device_ != nullptr) device_->WaitUntilSettled(SettleMs);
}

QStringList RealDeviceWizard::FoundAt() {
  device::NetCameraControl finder;
  finder.Search();
  QStringList addresses;
  for (int32_t i = 0; i < finder.FoundCount(); ++i) {
    finder.DeviceIndex(i);
    addresses << QString::fromStdU16String(finder.DeviceAddress());
  }
  return addresses;
}

int32_t RealDeviceWizard::LoginAt(const QString& address, const QString& id, const QString& password) {
  device::NetCameraControl reader;
  reader.ProtocolOption(protocol::OnvifProtocolOption);
  reader.TargetAddress(U(address));
  reader.TargetPort(80);
  std::u16string loginId = U(id);
  std::u16string loginPassword = U(password);
  return reader.Login(loginId, loginPassword);
}
