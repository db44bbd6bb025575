// One wizard run against the real ONVIF device (tests/third_party) in
// network namespaces of its own, for bench/real_onvif_figures.py. Prints one
// "name=value" line per result and exits 0 when the run could be made at all
// (whatever the wizard did), 1 when the device could not be started.
//
//   real_onvif_wizard_run full  --auth wsse|digest [--apply] [--delay S]
//       the login, a new password, address and gateway together, Restart:
//       messages, and what the device holds afterwards
//   real_onvif_wizard_run login --auth wsse|digest [--delay S]
//       the login alone: how long OK took, what it led to, and how many
//       requests reached the device
//   real_onvif_wizard_run ipv6
//       a device at 10.9.0.10/24 (gateway 10.9.0.1) beside a computer at
//       192.0.2.1/24, offering IPv6 link-local: listed, logged in and moved
//       to 192.0.2.50/24 (gateway 192.0.2.1) over IPv6, then searched for
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <csignal>
#include <cstdio>

#include "base/text.h"
#include "support/real_device_wizard.h"
#include "support/real_onvif_device.h"

namespace {

const QString OldAddress = QStringLiteral("192.0.2.10");
const QString ChosenAddress = QStringLiteral("192.0.2.20");
const QString ChosenGateway = QStringLiteral("192.0.2.254");
const QString ChosenPassword = QStringLiteral("pw_2nd");
const QString Admin = QStringLiteral("admin");

void Print(const char* name, const QString& value) { std::printf("%s=%s\n", name, qPrintable(value)); }
void Print(const char* name, const std::string& value) { std::printf("%s=%s\n", name, value.c_str()); }
void Print(const char* name, double value) { std::printf("%s=%g\n", name, value); }

}  // namespace

int main(int argc, char** argv) {
  // A figures script that is interrupted closes our output: the device is
  // still stopped and its namespaces deleted.
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) return 2;
  const QString mode = args.takeFirst();
  RealOnvifDeviceOptions options;
  options.firmware = QStringLiteral("2.10.001");  // Restart reboots it, as a camera that asks for it
  while (!args.isEmpty()) {
    const QString option = args.takeFirst();
    if (option == u"--apply") {
      options.apply = true;
    } else if (option == u"--auth" && !args.isEmpty()) {
      options.auth = args.takeFirst();
    } else if (option == u"--delay" && !args.isEmpty()) {
      options.delaySeconds = args.takeFirst().toDouble();
    } else {
      return 2;
    }
  }

  const bool ipv6 = mode == u"ipv6";
  const QString oldAddress = ipv6 ? QStringLiteral("10.9.0.10") : OldAddress;
  if (ipv6) {
    options.address = QStringLiteral("10.9.0.10/24");
    options.gateway = QStringLiteral("10.9.0.1");
    options.ipv6 = true;
    options.apply = true;
  }
  QElapsedTimer whole;
  whole.start();
  RealOnvifDevice device(options);
  if (!device.Start()) {
    Print("error", device.Error().simplified());
    return 1;
  }
  whole.restart();
  RealDeviceWizard wizard(device);
  if (ipv6) Print("listed", wizard.InClient() && wizard.RowOf(oldAddress) >= 0 ? 1 : 0);
  if (ipv6) Print("search_seconds", static_cast<double>(whole.elapsed()) / 1000.0);
  if (!wizard.InClient() || wizard.RowOf(oldAddress) < 0) {
    Print("error", QStringLiteral("the search did not list the device"));
    return 1;
  }

  device.ClearRecords();
  QElapsedTimer clock;
  clock.start();
  const bool opened = wizard.Launch(oldAddress, {{Admin, options.password}});
  Print("login_seconds", static_cast<double>(clock.elapsed()) / 1000.0);
  Print("login_opened", opened ? 1 : 0);
  Print("login_left_open", wizard.LoginLeftOpen() ? 1 : 0);
  Print("login_requests", static_cast<double>(device.Requests().size()));
  Print("login_methods", device.RequestedMethods().join(u' '));
  if (mode == u"full" && opened) {
    wizard.desktop().messages.clear();
    const bool summary = wizard.ToSummary(
        {.newId = {}, .newPassword = ChosenPassword, .address = ChosenAddress, .gateway = ChosenGateway});
    Print("summary", summary ? 1 : 0);
    if (summary) wizard.Restart();
    Print("ended", wizard.Visible(forms::WindowId::FrmMain) && !wizard.Visible(forms::WindowId::FrmsetLanEnd) ? 1 : 0);
    Print("device_address", device.Address());
    Print("device_gateway", device.Gateway());
    Print("device_new_password", device.Password() == ChosenPassword ? 1 : 0);
    Print("new_login_at_new_address", DeviceAcceptsLogin(device, ChosenAddress, Admin, ChosenPassword) ? 1 : 0);
  }
  if (ipv6 && opened) {
    wizard.desktop().messages.clear();
    clock.restart();
    const bool summary =
        wizard.ToSummary({.newId = {}, .newPassword = {}, .address = u"192.0.2.50"_qs, .gateway = u"192.0.2.1"_qs});
    if (summary) wizard.Restart();
    Print("move_seconds", static_cast<double>(clock.elapsed()) / 1000.0);
    Print("device_address", device.Address());
    Print("device_gateway", device.Gateway());
    Print("changed", device.ChangedMethods().join(u' '));
    clock.restart();
    Print("found_after", wizard.FoundAt().join(u','));
    Print("found_seconds", static_cast<double>(clock.elapsed()) / 1000.0);
    Print("total_seconds", static_cast<double>(whole.elapsed()) / 1000.0);
  }
  Print("messages", wizard.Messages());
  Print("errors", wizard.Errors());
  return 0;
}
