// Whole wizard runs against a real ONVIF device we did not write
// (onvif_simple_server, tests/third_party), each in network namespaces of its
// own: the headless program with the network camera control, driven from the
// client namespace. What counts is what the device holds afterwards (its
// records, and a login of our own at its new address with the new password),
// not only what the wizard says.
//
// The device's ways: every Set* is answered with success; without --apply
// nothing changes, with it a change takes effect 1 s after the answer; reads
// such as GetUsers answer without a login; a refused login is HTTP 400 with
// a NotAuthorized fault; the gateway reads back empty.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <unistd.h>

#include "base/text.h"
#include "device/net_camera_control.h"
#include "support/event_log.h"
#include "support/fake_desktop.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_main.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_lan_end.h"
#include "wizard/frm_set_password.h"
#include "wizard/program.h"

namespace {

using forms::WindowId;

std::u16string U(const QString& text) { return text.toStdU16String(); }
QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

// The wizard's waits after Restart (16 s, 31 s for firmware that is told to
// restart) pass for real, a quarter as long: the device's reboot keeps its
// link down for 2 s, so it is back before the main window searches again.
class RealTimeDesktop : public FakeDesktop {
 public:
  using FakeDesktop::FakeDesktop;
  void Sleep(int32_t milliseconds) override {
    FakeDesktop::Sleep(milliseconds);
    QThread::msleep(static_cast<unsigned long>(milliseconds / 4));
  }
};

// A firmware version that passes the wizard's version test: the summary's
// Restart then also reboots the device.
const QString RebootingFirmware = QStringLiteral("2.10.001");
const QString OldAddress = QStringLiteral("192.0.2.10");
const QString NewAddress = QStringLiteral("192.0.2.20");
const QString NewGateway = QStringLiteral("192.0.2.254");
const QString NewPassword = QStringLiteral("pw_2nd");

class RealDeviceRun : public testing::Test {
 protected:
  // Starts the device and the program in the client namespace; the program's
  // search lists the device.
  void Start(RealOnvifDeviceOptions options) {
    if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
    options.firmware = RebootingFirmware;
    device_ = std::make_unique<RealOnvifDevice>(options);
    ASSERT_TRUE(device_->Start()) << device_->Error().toStdString();
    inClient_ = std::make_unique<InNetns>(device_->ClientNetns());
    ASSERT_TRUE(inClient_->Ok()) << "cannot enter " << device_->ClientNetns().toStdString();
    cam_ = std::make_unique<device::NetCameraControl>();
    camTemp_ = std::make_unique<device::NetCameraControl>();
    program_ = std::make_unique<Program>(desktop_, *cam_, *camTemp_);
    program_->Start();
    ASSERT_GE(RowOf(OldAddress), 0) << "the search lists the device at " << OldAddress.toStdString();
  }

  void TearDown() override {
    program_.reset();
    camTemp_.reset();
    cam_.reset();
    inClient_.reset();
    if (device_ && HasFailure()) {
      std::cerr << "--- requests.log\n" << device_->Requests().join(u'\n').toStdString() << "\n--- changes.log\n"
                << device_->Changes().join(u'\n').toStdString() << "\n--- messages\n" << Messages() << '\n';
    }
    device_.reset();
  }

  FrmMain& Main() { return *program_->frmMain; }
  bool Visible(WindowId id) const { return desktop_.visible.count(id) != 0; }
  int32_t RowOf(const QString& address) {
    if (!program_->frmMain) return -1;
    for (int32_t row = 0; row < program_->state.DeviceCount; ++row) {
      if (Main().List.CellText(row, 1) == U(address)) return row;
    }
    return -1;
  }
  std::string Messages() const {
    std::string all;
    for (const ShownMessage& message : desktop_.messages) all += "[" + base::ToUtf8(message.text) + "] ";
    return all;
  }

  // One press of OK in the login dialog with these entries; a dialog still
  // open after the last one is cancelled (so a silent OK ends the launch).
  void LoginWith(const QString& id, const QString& password) {
    desktop_.modalSteps[WindowId::frmchackIDPWD].push_back([this, id, password] {
      forms::Type(program_->chackIDPWD->Text1, U(id));
      forms::Type(program_->chackIDPWD->TxtPassWord, U(password));
      program_->chackIDPWD->CmdYes_Click();
    });
  }
  void ThenGiveUp() {
    desktop_.modalSteps[WindowId::frmchackIDPWD].push_back([this] {
      loginLeftOpen_ = true;
      program_->chackIDPWD->CmdCancel_Click();
    });
  }

  // The launch on the device's row, the login wrong then right.
  void LaunchWithWrongThenRightLogin() {
    const size_t before = desktop_.messages.size();
    LoginWith(QStringLiteral("admin"), QStringLiteral("nope"));
    LoginWith(QStringLiteral("admin"), device_->Options().password);
    ThenGiveUp();
    Main().List.selectedRow = RowOf(OldAddress);
    Main().CmdWizard_Click();
    ASSERT_EQ(desktop_.messages.size(), before + 1) << Messages();
    EXPECT_EQ(desktop_.messages[before].text, u"Password Error . Please Re-Enter The Correct Password");
    EXPECT_FALSE(loginLeftOpen_) << "the right password was not taken";
    ASSERT_TRUE(Visible(WindowId::FrmSetPassword)) << Messages();
    EXPECT_EQ(program_->setPassword->TxtOldSysAdminID.text, u"admin");
  }

  // The administrator page (a new ID and/or password) and the address page,
  // to the summary.
  void ToSummary(const QString& newId, const QString& newPassword, const QString& address, const QString& gateway) {
    FrmSetPassword& admin = *program_->setPassword;
    if (!newId.isEmpty()) {
      admin.ChkUserName.value = 1;
      admin.ChkUserName_Click();
      forms::Type(admin.TxtNewUserName, U(newId));
      forms::Type(admin.TxtUserNameReconfirm, U(newId));
    }
    if (!newPassword.isEmpty()) {
      admin.ChkPassword.value = 1;
      admin.ChkPassword_Click();
      forms::Type(admin.TxtNewPassword, U(newPassword));
      forms::Type(admin.TxtReconfirm, U(newPassword));
    }
    admin.CmdNext_Click();
    ASSERT_TRUE(Visible(WindowId::FrmSetIPAddress)) << Messages();
    FrmSetIPAddress& page = *program_->setIPAddress;
    EXPECT_EQ(page.TxtIPAddress.text, U(OldAddress)) << "the page starts from the device's own address";
    EXPECT_EQ(page.TxtSubnetMask.text, u"255.255.255.0");
    forms::Type(page.TxtIPAddress, U(address));
    forms::Type(page.TxtGateway, U(gateway));
    page.CmdNext_Click();
    ASSERT_TRUE(Visible(WindowId::FrmsetLanEnd)) << Messages();
  }

  void Restart() {
    desktop_.messages.clear();
    program_->setLanEnd->CmdRestart_Click();
    EXPECT_TRUE(device_->WaitUntilSettled(20000)) << "a change still pending on the device";
  }

  // A search and a login of a control of our own, now: where the device is
  // found, and whether id and password open it there.
  QStringList FoundAt() {
    device::NetCameraControl finder;
    finder.Search();
    QStringList addresses;
    for (int32_t i = 0; i < finder.FoundCount(); ++i) {
      finder.DeviceIndex(i);
      addresses << Q(finder.DeviceAddress());
    }
    return addresses;
  }
  int32_t LoginAt(const QString& address, const QString& id, const QString& password) {
    device::NetCameraControl reader;
    reader.ProtocolOption(1);
    reader.TargetAddress(U(address));
    reader.TargetPort(80);
    std::u16string loginId = U(id);
    std::u16string loginPassword = U(password);
    return reader.Login(loginId, loginPassword);
  }

  // The whole run on a device that takes its changes: password, address and
  // gateway together, the reboot, and the device found again.
  void NewPasswordAddressAndGatewayTakeEffect() {
    LaunchWithWrongThenRightLogin();
    if (HasFatalFailure()) return;
    ToSummary({}, NewPassword, NewAddress, NewGateway);
    if (HasFatalFailure()) return;
    Restart();
    EXPECT_TRUE(desktop_.messages.empty()) << "no error for a change that took: " << Messages();

    // What the device holds.
    EXPECT_EQ(device_->Password(), NewPassword);
    EXPECT_EQ(device_->Address(), NewAddress);
    EXPECT_EQ(device_->Prefix(), u"24");
    EXPECT_EQ(device_->Gateway(), NewGateway);
    const QStringList changed = device_->ChangedMethods();
    EXPECT_EQ(changed.count(u"SetUser"_qs), 1) << changed.join(u' ').toStdString();
    EXPECT_EQ(changed.count(u"SetNetworkDefaultGateway"_qs), 1) << changed.join(u' ').toStdString();
    EXPECT_EQ(changed.count(u"SetNetworkInterfaces"_qs), 1) << changed.join(u' ').toStdString();
    EXPECT_EQ(changed.count(u"SystemReboot"_qs), 1) << "one reboot, at the device's new address";
    EXPECT_FALSE(changed.contains(u"CreateUsers"_qs)) << "the ID was not to change";
    EXPECT_TRUE(DeviceAcceptsLogin(*device_, NewAddress, QStringLiteral("admin"), NewPassword));
    EXPECT_FALSE(DeviceAcceptsLogin(*device_, NewAddress, QStringLiteral("admin"), device_->Options().password));

    // What the user sees, and a client of ours finds.
    ASSERT_TRUE(Visible(WindowId::FrmMain)) << "the wizard ends with the main window afresh";
    EXPECT_FALSE(Visible(WindowId::FrmsetLanEnd));
    EXPECT_GE(RowOf(NewAddress), 0) << "its new search lists the device at its new address";
    EXPECT_EQ(FoundAt(), QStringList{NewAddress});
    EXPECT_EQ(LoginAt(NewAddress, QStringLiteral("admin"), NewPassword), 3);
    EXPECT_EQ(LoginAt(NewAddress, QStringLiteral("admin"), device_->Options().password), 2);
  }

  // A message naming each of the settings (case-insensitive words).
  void ExpectAMessageNaming(const QStringList& settings) {
    bool named = false;
    for (const ShownMessage& message : desktop_.messages) {
      bool all = true;
      for (const QString& setting : settings) {
        const QRegularExpression word(u"\\b"_qs + setting + u"\\b"_qs, QRegularExpression::CaseInsensitiveOption);
        all = all && word.match(Q(message.text)).hasMatch();
      }
      named = named || all;
    }
    EXPECT_TRUE(named) << "no message names " << settings.join(u", ").toStdString() << ": " << Messages();
  }

  RealOnvifDeviceOptions ApplyingDevice(const QString& auth) {
    RealOnvifDeviceOptions options;
    options.auth = auth;
    options.apply = true;
    return options;
  }

  EventLog log_;
  RealTimeDesktop desktop_{log_};
  std::unique_ptr<RealOnvifDevice> device_;
  std::unique_ptr<InNetns> inClient_;
  std::unique_ptr<device::NetCameraControl> cam_;
  std::unique_ptr<device::NetCameraControl> camTemp_;
  std::unique_ptr<Program> program_;
  bool loginLeftOpen_ = false;
};

// WS-UsernameToken; every change takes effect 1 s after the device's answer.
TEST_F(RealDeviceRun, UsernameTokenNewPasswordAddressAndGatewayTakeEffect) {
  Start(ApplyingDevice(u"wsse"_qs));
  if (HasFatalFailure()) return;
  NewPasswordAddressAndGatewayTakeEffect();
}

// HTTP Digest (the web server's; the device ignores UsernameToken then).
TEST_F(RealDeviceRun, DigestNewPasswordAddressAndGatewayTakeEffect) {
  Start(ApplyingDevice(u"digest"_qs));
  if (HasFatalFailure()) return;
  NewPasswordAddressAndGatewayTakeEffect();
}

// Every answer 2 s late: the same run ends the same way.
TEST_F(RealDeviceRun, EveryAnswerTwoSecondsLateStillTakesEffect) {
  RealOnvifDeviceOptions options = ApplyingDevice(u"wsse"_qs);
  options.delaySeconds = 2;
  Start(options);
  if (HasFatalFailure()) return;
  NewPasswordAddressAndGatewayTakeEffect();
}

// A device that answers every Set* with success and changes nothing: the
// user is told which settings did not take, and the wizard is not ended as
// if they had.
TEST_F(RealDeviceRun, ADeviceThatChangesNothingIsReportedNeverDone) {
  Start(RealOnvifDeviceOptions{});
  if (HasFatalFailure()) return;
  LaunchWithWrongThenRightLogin();
  if (HasFatalFailure()) return;
  ToSummary({}, NewPassword, NewAddress, NewGateway);
  if (HasFatalFailure()) return;
  Restart();

  ASSERT_FALSE(desktop_.messages.empty()) << "a change that did not take was called done";
  ExpectAMessageNaming({u"password"_qs});
  ExpectAMessageNaming({u"address"_qs});
  EXPECT_TRUE(Visible(WindowId::FrmsetLanEnd)) << "the summary stays: the wizard is not done";
  EXPECT_EQ(RowOf(NewAddress), -1);
  // The device as it was: the truth the message must agree with.
  EXPECT_EQ(device_->Address(), OldAddress);
  EXPECT_EQ(device_->Password(), device_->Options().password);
  EXPECT_TRUE(device_->ChangedMethods().contains(u"SetUser"_qs)) << "the password was asked for";
  EXPECT_TRUE(DeviceAcceptsLogin(*device_, OldAddress, QStringLiteral("admin"), device_->Options().password));
}

// A new administrator ID on a device with exactly one user that it cannot
// rename: CreateUsers is answered with success and nobody new can log in.
// The new ID must be reported as not taken, and the old account must still
// open the device.
TEST_F(RealDeviceRun, ANewIdTheDeviceDoesNotTakeIsReported) {
  Start(ApplyingDevice(u"wsse"_qs));
  if (HasFatalFailure()) return;
  LaunchWithWrongThenRightLogin();
  if (HasFatalFailure()) return;
  ToSummary(u"boss"_qs, {}, OldAddress, {});
  if (HasFatalFailure()) return;
  Restart();

  ASSERT_FALSE(desktop_.messages.empty()) << "an ID that cannot log in was called done";
  ExpectAMessageNaming({u"ID"_qs});
  EXPECT_FALSE(device_->ChangedMethods().contains(u"DeleteUsers"_qs))
      << "the old account was deleted before the new one was proven";
  EXPECT_TRUE(DeviceAcceptsLogin(*device_, OldAddress, QStringLiteral("admin"), device_->Options().password));
  EXPECT_EQ(LoginAt(OldAddress, QStringLiteral("admin"), device_->Options().password), 3);
}

// A login at 2 s per answer: the right password opens the wizard, or the
// user sees a message; OK never does nothing.
TEST_F(RealDeviceRun, ASlowLoginSucceedsOrSaysSo) {
  RealOnvifDeviceOptions options;
  options.delaySeconds = 2;
  Start(options);
  if (HasFatalFailure()) return;
  device_->ClearRecords();
  LoginWith(QStringLiteral("admin"), options.password);
  ThenGiveUp();
  Main().List.selectedRow = RowOf(OldAddress);
  Main().CmdWizard_Click();
  EXPECT_TRUE(Visible(WindowId::FrmSetPassword) || !desktop_.messages.empty()) << "OK did nothing";
  EXPECT_FALSE(loginLeftOpen_ && desktop_.messages.empty()) << "the dialog stayed open without a word";
  EXPECT_TRUE(Visible(WindowId::FrmSetPassword)) << Messages();
  for (const QString& line : device_->Requests()) {
    if (line.section(u'\t', 7, 7) != u"none") {
      EXPECT_NE(line.section(u'\t', 6, 6), u"-") << "a login with an empty ID: " << line.toStdString();
    }
  }
}

}  // namespace
