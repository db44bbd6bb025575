// One run of the temporary address's figures (bench/temporary_address_figures.py).
// Prints one "name=value" line per result.
//
//   temporary_address_run move
//       the real ONVIF device at 10.9.0.10/24 behind gateway 10.9.0.1, the
//       computer at 192.0.2.1/24 on the same link, each in a namespace of its
//       own: the device listed as announced, the wizard with the consent
//       given moves it to 192.0.2.50; whether it got there, was found there,
//       and the temporary address is gone from the interface and the record
//   temporary_address_run hold RECORD NETNS INTERFACE ADDRESS/PREFIX
//       adds the address as the program does, prints added=1 and waits to
//       be killed
//   temporary_address_run start RECORD NETNS
//       what a start does with the record: prints removed=N
#include <QCoreApplication>
#include <QNetworkInterface>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "device/temporary_address.h"
#include "support/real_device_wizard.h"
#include "support/real_onvif_device.h"

namespace {

const QString FactoryAddress = QStringLiteral("10.9.0.10");
const QString NewAddress = QStringLiteral("192.0.2.50");

void Print(const char* name, const QString& value) { std::printf("%s=%s\n", name, qPrintable(value)); }
void Print(const char* name, bool value) { std::printf("%s=%d\n", name, value ? 1 : 0); }

bool Holds(const QString& interfaceName, const QString& address) {
  for (const QNetworkAddressEntry& entry : QNetworkInterface::interfaceFromName(interfaceName).addressEntries()) {
    if (entry.ip().toString() == address) return true;
  }
  return false;
}

int Move(const QString& record) {
  RealOnvifDeviceOptions options;
  options.address = FactoryAddress + QStringLiteral("/24");
  options.gateway = QStringLiteral("10.9.0.1");
  options.apply = true;
  options.firmware = QStringLiteral("2.10.001");
  RealOnvifDevice device(options);
  if (!device.Start()) {
    Print("error", device.Error().simplified());
    return 1;
  }
  RealDeviceWizard wizard(device);
  if (!wizard.InClient() || !wizard.ListAnnounced(FactoryAddress)) {
    Print("error", QStringLiteral("cannot list the device in the client namespace"));
    return 1;
  }
  wizard.desktop().answers = {forms::MsgAnswer::Yes};
  const bool launched = wizard.Launch(FactoryAddress, {{QStringLiteral("admin"), QStringLiteral("1234")}});
  const bool held = Holds(QStringLiteral("eth0"), QStringLiteral("10.9.0.254"));
  if (launched && wizard.ToSummary({{}, {}, NewAddress, QStringLiteral("192.0.2.1")})) wizard.Restart();
  Print("launched", launched);
  Print("held_while_working", held);
  Print("moved", device.Address() == NewAddress && device.Gateway() == QStringLiteral("192.0.2.1"));
  Print("found", wizard.FoundAt().contains(NewAddress));
  bool recorded = false;
  for (const device::RecordedAddress& entry : device::ReadTemporaryRecord(record)) recorded |= entry.pid == getpid();
  Print("gone", !Holds(QStringLiteral("eth0"), QStringLiteral("10.9.0.254")) && !recorded);
  Print("messages", QString::fromStdString(wizard.Messages()).simplified());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const QString mode = args.value(0);
  if (mode == u"move") return Move(device::TemporaryRecordPath());
  if (args.size() < 3) return 2;
  const InNetns inside(args[2]);
  if (!inside.Ok()) return 2;
  if (mode == u"start") {
    Print("removed", QString::number(device::RemoveLeftoverAddresses(args[1])));
    return 0;
  }
  if (mode == u"hold" && args.size() == 5) {
    device::TemporaryAddress temporary(args[1]);
    QString error;
    if (!temporary.Add(args[3], args[4].section(u'/', 0, 0), args[4].section(u'/', 1).toInt(), error)) {
      Print("error", error);
      return 1;
    }
    Print("added", true);
    std::fflush(stdout);
    for (;;) pause();
  }
  return 2;
}
