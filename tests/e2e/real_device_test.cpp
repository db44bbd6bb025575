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

#include <QRegularExpression>
#include <unistd.h>

#include "base/text.h"
#include "support/real_device_wizard.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_password.h"

namespace {

using forms::WindowId;

// A firmware version that passes the wizard's version test: the summary's
// Restart then also reboots the device.
const QString RebootingFirmware = QStringLiteral("2.10.001");
const QString OldAddress = QStringLiteral("192.0.2.10");
const QString ChosenAddress = QStringLiteral("192.0.2.20");
const QString ChosenGateway = QStringLiteral("192.0.2.254");
const QString ChosenPassword = QStringLiteral("pw_2nd");
const QString Admin = QStringLiteral("admin");

class RealDeviceRun : public testing::Test {
 protected:
  // Starts the device and the program in the client namespace; the program's
  // search lists the device.
  void Start(RealOnvifDeviceOptions options) {
    if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
    options.firmware = RebootingFirmware;
    device_ = std::make_unique<RealOnvifDevice>(options);
    ASSERT_TRUE(device_->Start()) << device_->Error().toStdString();
    wizard_ = std::make_unique<RealDeviceWizard>(*device_);
    ASSERT_TRUE(wizard_->InClient()) << "cannot enter " << device_->ClientNetns().toStdString();
    ASSERT_GE(wizard_->RowOf(OldAddress), 0) << "the search lists the device at " << OldAddress.toStdString();
  }

  void TearDown() override {
    if (device_ && HasFailure()) {
      std::cerr << "--- requests.log\n"
                << device_->Requests().join(u'\n').toStdString() << "\n--- changes.log\n"
                << device_->Changes().join(u'\n').toStdString() << "\n--- messages\n"
                << (wizard_ ? wizard_->Messages() : std::string()) << '\n';
    }
    wizard_.reset();
    device_.reset();
  }

  QString Password() const { return device_->Options().password; }
  bool Visible(WindowId id) const { return wizard_->Visible(id); }
  const std::vector<ShownMessage>& Shown() { return wizard_->desktop().messages; }

  // The launch with a wrong password, then the right one.
  void LaunchWithWrongThenRightLogin() {
    const bool opened = wizard_->Launch(OldAddress, {{Admin, u"nope"_qs}, {Admin, Password()}});
    ASSERT_EQ(Shown().size(), 1u) << wizard_->Messages();
    EXPECT_EQ(Shown()[0].text, u"Password Error . Please Re-Enter The Correct Password");
    EXPECT_FALSE(wizard_->LoginLeftOpen()) << "the right password was not taken";
    ASSERT_TRUE(opened) << wizard_->Messages();
    EXPECT_EQ(wizard_->program().setPassword->TxtOldSysAdminID.text, u"admin");
  }

  void ToSummaryAndRestart(const WizardChanges& changes) {
    ASSERT_TRUE(wizard_->ToSummary(changes)) << wizard_->Messages();
    EXPECT_EQ(wizard_->program().setIPAddress->TxtSubnetMask.text, u"255.255.255.0")
        << "the page starts from the device's own mask";
    wizard_->desktop().messages.clear();
    wizard_->Restart();
  }

  // The whole run on a device that takes its changes: password, address and
  // gateway together, the reboot, and the device found again.
  void NewPasswordAddressAndGatewayTakeEffect() {
    LaunchWithWrongThenRightLogin();
    if (HasFatalFailure()) return;
    ToSummaryAndRestart({.newPassword = ChosenPassword, .address = ChosenAddress, .gateway = ChosenGateway});
    if (HasFatalFailure()) return;
    EXPECT_EQ(wizard_->Errors(), "") << "no error for changes that took";

    // What the device holds.
    EXPECT_EQ(device_->Password(), ChosenPassword);
    EXPECT_EQ(device_->Address(), ChosenAddress);
    EXPECT_EQ(device_->Prefix(), u"24");
    EXPECT_EQ(device_->Gateway(), ChosenGateway);
    const QStringList changed = device_->ChangedMethods();
    EXPECT_EQ(changed.count(u"SetUser"_qs), 1) << changed.join(u' ').toStdString();
    EXPECT_EQ(changed.count(u"SetNetworkDefaultGateway"_qs), 1) << changed.join(u' ').toStdString();
    EXPECT_EQ(changed.count(u"SetNetworkInterfaces"_qs), 1) << changed.join(u' ').toStdString();
    EXPECT_EQ(changed.count(u"SystemReboot"_qs), 1) << "one reboot";
    EXPECT_FALSE(changed.contains(u"CreateUsers"_qs)) << "the ID was not to change";
    EXPECT_TRUE(DeviceAcceptsLogin(*device_, ChosenAddress, Admin, ChosenPassword));
    EXPECT_FALSE(DeviceAcceptsLogin(*device_, ChosenAddress, Admin, Password()));

    // What the user sees, and a client of ours finds.
    ASSERT_TRUE(Visible(WindowId::FrmMain)) << "the wizard ends with the main window afresh";
    EXPECT_FALSE(Visible(WindowId::FrmsetLanEnd));
    EXPECT_GE(wizard_->RowOf(ChosenAddress), 0) << "its new search lists the device at its new address";
    EXPECT_EQ(wizard_->FoundAt(), QStringList{ChosenAddress});
    EXPECT_EQ(wizard_->LoginAt(ChosenAddress, Admin, ChosenPassword), 3);
    EXPECT_EQ(wizard_->LoginAt(ChosenAddress, Admin, Password()), 2);
  }

  // A message naming every one of the settings (whole words, any case).
  void ExpectAMessageNaming(const QStringList& settings) {
    bool named = false;
    for (const ShownMessage& message : Shown()) {
      bool all = true;
      for (const QString& setting : settings) {
        const QRegularExpression word(u"\\b"_qs + setting + u"\\b"_qs, QRegularExpression::CaseInsensitiveOption);
        all = all && word.match(QString::fromStdU16String(message.text)).hasMatch();
      }
      named = named || all;
    }
    EXPECT_TRUE(named) << "no message names " << settings.join(u", ").toStdString() << ": " << wizard_->Messages();
  }

  static RealOnvifDeviceOptions ApplyingDevice(const QString& auth) {
    RealOnvifDeviceOptions options;
    options.auth = auth;
    options.apply = true;
    return options;
  }

  std::unique_ptr<RealOnvifDevice> device_;
  std::unique_ptr<RealDeviceWizard> wizard_;
};

// A device at 10.9.0.10/24 with its gateway 10.9.0.1, the computer at
// 192.0.2.1/24 on the same link: its answer to the IPv4 probe goes to the
// gateway, its answer over IPv6 link-local lists it. The wizard logs in and
// writes over IPv6; the device is then found in the computer's network.
TEST_F(RealDeviceRun, AForeignSubnetDeviceIsMovedOverIPv6LinkLocal) {
  if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
  RealOnvifDeviceOptions options = ApplyingDevice(u"wsse"_qs);
  options.address = u"10.9.0.10/24"_qs;
  options.gateway = u"10.9.0.1"_qs;
  options.ipv6 = true;
  device_ = std::make_unique<RealOnvifDevice>(options);
  ASSERT_TRUE(device_->Start()) << device_->Error().toStdString();
  wizard_ = std::make_unique<RealDeviceWizard>(*device_);
  ASSERT_TRUE(wizard_->InClient());
  const int32_t row = wizard_->RowOf(u"10.9.0.10"_qs);
  ASSERT_GE(row, 0) << "listed by its IPv6 answer at its own IPv4 address";
  device::CameraControl& cam = wizard_->program().cam;
  cam.DeviceIndex(row);
  const QString linkLocal = QString::fromStdU16String(cam.DeviceLinkLocal());
  EXPECT_TRUE(linkLocal.startsWith(u"fe80::"_qs) && linkLocal.endsWith(u"%eth0"_qs)) << linkLocal.toStdString();

  ASSERT_TRUE(wizard_->Launch(u"10.9.0.10"_qs, {{Admin, Password()}})) << wizard_->Messages();
  ToSummaryAndRestart({.address = u"192.0.2.50"_qs, .gateway = u"192.0.2.1"_qs});
  if (HasFatalFailure()) return;
  EXPECT_EQ(wizard_->Errors(), "");
  EXPECT_EQ(device_->Address(), u"192.0.2.50");
  EXPECT_EQ(device_->Prefix(), u"24");
  EXPECT_EQ(device_->Gateway(), u"192.0.2.1");
  const QStringList changed = device_->ChangedMethods();
  EXPECT_EQ(changed.count(u"SetNetworkInterfaces"_qs), 1) << changed.join(u' ').toStdString();
  EXPECT_EQ(changed.count(u"SetNetworkDefaultGateway"_qs), 1) << changed.join(u' ').toStdString();
  // The device's own record of who wrote: its CGI saw the computer's link-local address.
  int writes = 0;
  for (const QString& request : device_->Requests()) {
    const QString method = request.section(u'\t', 3, 3);
    if (method != u"SetNetworkInterfaces" && method != u"SetNetworkDefaultGateway") continue;
    ++writes;
    EXPECT_TRUE(request.section(u'\t', -1).startsWith(u"fe80::")) << "written over IPv6: " << request.toStdString();
  }
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(wizard_->FoundAt(), QStringList{u"192.0.2.50"_qs}) << "found in the computer's network";
  EXPECT_EQ(wizard_->LoginAt(u"192.0.2.50"_qs, Admin, Password()), 3);
}

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
  ToSummaryAndRestart({.newPassword = ChosenPassword, .address = ChosenAddress, .gateway = ChosenGateway});
  if (HasFatalFailure()) return;

  ASSERT_FALSE(Shown().empty()) << "a change that did not take was called done";
  ExpectAMessageNaming({u"password"_qs});
  ExpectAMessageNaming({u"address"_qs});
  EXPECT_TRUE(Visible(WindowId::FrmsetLanEnd)) << "the summary stays: the wizard is not done";
  EXPECT_EQ(wizard_->RowOf(ChosenAddress), -1);
  // The device as it was: the truth the message must agree with.
  EXPECT_EQ(device_->Address(), OldAddress);
  EXPECT_EQ(device_->Password(), Password());
  EXPECT_TRUE(device_->ChangedMethods().contains(u"SetUser"_qs)) << "the password was asked for";
  EXPECT_TRUE(DeviceAcceptsLogin(*device_, OldAddress, Admin, Password()));
}

// A new administrator ID on a device with exactly one user that it cannot
// rename: CreateUsers is answered with success and nobody new can log in.
// The new ID is reported as not taken, and the old account still opens the
// device.
TEST_F(RealDeviceRun, ANewIdTheDeviceDoesNotTakeIsReported) {
  Start(ApplyingDevice(u"wsse"_qs));
  if (HasFatalFailure()) return;
  LaunchWithWrongThenRightLogin();
  if (HasFatalFailure()) return;
  ToSummaryAndRestart({.newId = u"boss"_qs});
  if (HasFatalFailure()) return;

  ASSERT_FALSE(Shown().empty()) << "an ID that cannot log in was called done";
  ExpectAMessageNaming({u"ID"_qs});
  EXPECT_TRUE(Visible(WindowId::FrmsetLanEnd)) << "the summary stays: the wizard is not done";
  for (const QString& change : device_->Changes()) {
    EXPECT_FALSE(change.contains(u"\tDeleteUsers\t"_qs) && change.contains(u"Username=admin"_qs))
        << "the old account was deleted: " << change.toStdString();
  }
  EXPECT_TRUE(DeviceAcceptsLogin(*device_, OldAddress, Admin, Password()));
  EXPECT_EQ(wizard_->LoginAt(OldAddress, Admin, Password()), 3);
}

// A login at 2 s per answer: the right password opens the wizard, or the
// user sees a message; OK never does nothing. The launch costs at most four
// requests, none with an empty ID.
TEST_F(RealDeviceRun, ASlowLoginSucceedsOrSaysSo) {
  RealOnvifDeviceOptions options;
  options.delaySeconds = 2;
  Start(options);
  if (HasFatalFailure()) return;
  device_->ClearRecords();
  const bool opened = wizard_->Launch(OldAddress, {{Admin, Password()}});
  EXPECT_FALSE(wizard_->LoginLeftOpen() && Shown().empty()) << "OK did nothing, without a word";
  EXPECT_TRUE(opened) << wizard_->Messages();
  const QStringList requests = device_->Requests();
  EXPECT_LE(requests.size(), 4) << device_->RequestedMethods().join(u' ').toStdString();
  for (const QString& line : requests) {
    if (line.section(u'\t', 7, 7) != u"none") {
      EXPECT_NE(line.section(u'\t', 6, 6), u"-") << "a login with an empty ID: " << line.toStdString();
    }
  }
}

// A device that takes 9 s for every answer: OK in the login dialog ends with
// a message that names the device, and the dialog stays for another try.
TEST_F(RealDeviceRun, ADeviceThatDoesNotAnswerInTimeIsNamed) {
  RealOnvifDeviceOptions options;
  options.delaySeconds = 9;
  Start(options);
  if (HasFatalFailure()) return;
  const bool opened = wizard_->Launch(OldAddress, {{Admin, Password()}});
  EXPECT_FALSE(opened);
  EXPECT_TRUE(wizard_->LoginLeftOpen()) << "the dialog stays for another try";
  ASSERT_EQ(Shown().size(), 1u) << wizard_->Messages();
  EXPECT_TRUE(QString::fromStdU16String(Shown()[0].text).contains(OldAddress)) << wizard_->Messages();
  EXPECT_EQ(Shown()[0].icon, forms::MsgIcon::Critical);
}

}  // namespace
