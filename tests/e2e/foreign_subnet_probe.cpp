// A camera on a foreign subnet, over real L2 multicast: this program moves
// into a network namespace of its own (the PC, 10.20.0.2/24 on pc0), makes a
// second one for the camera (192.168.0.20 on cam0, the other end of a veth
// pair), runs sentrova-camd there, and drives the camera control through the
// wizard's change-address path. It prints one "name=value" line per result
// and exits 77 when the namespaces cannot be made.
//   foreign_subnet_probe CAMD WORKDIR
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <unistd.h>

#include "device/net_camera_control.h"
#include "support/netns_tools.h"

namespace {

const QString CameraMac = QStringLiteral("0.12.34.20.0.20");

QString FoundAddresses(device::NetCameraControl& cam) {
  cam.Search();
  QStringList addresses;
  for (int32_t i = 0; i < cam.FoundCount(); ++i) {
    cam.DeviceIndex(i);
    addresses << QString::fromStdU16String(cam.DeviceMacText()) + u'@' + QString::fromStdU16String(cam.DeviceAddress());
  }
  return addresses.join(u',');
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (unshare(CLONE_NEWNET) != 0) {
    std::printf("cannot make a network namespace\n");
    return netns::SkipStatus;
  }
  const QString ns = QStringLiteral("sentrova-e2e-%1").arg(getpid());
  // nsenter enters only the network namespace ("ip netns exec" also
  // remounts /sys, which a chroot or container may not allow).
  const QString netnsFile = u"/run/netns/"_qs + ns;
  const QString inCamera = u"nsenter --net="_qs + netnsFile + u' ';
  // The PC reaches 192.168.0.0/24 only through a gateway that does not exist,
  // and takes answers from it (loose reverse-path filter), as a PC on a LAN
  // next to a camera at its factory address.
  const bool made = netns::Shell(u"ip link set lo up"_qs) && netns::Shell(u"ip netns add "_qs + ns) &&
                    netns::Shell(u"ip link add pc0 type veth peer name cam0"_qs) &&
                    netns::Shell(u"ip link set cam0 netns "_qs + ns) &&
                    netns::Shell(u"ip addr add 10.20.0.2/24 dev pc0"_qs) && netns::Shell(u"ip link set pc0 up"_qs) &&
                    netns::Shell(u"ip route add default via 10.20.0.1 dev pc0"_qs) &&
                    netns::Shell(u"sysctl -qw net.ipv4.conf.all.rp_filter=2 net.ipv4.conf.pc0.rp_filter=2"_qs) &&
                    netns::Shell(inCamera + u"ip link set lo up"_qs) &&
                    netns::Shell(inCamera + u"ip addr add 192.168.0.20/24 dev cam0"_qs) &&
                    netns::Shell(inCamera + u"ip addr add 10.20.0.50/24 dev cam0"_qs) &&
                    netns::Shell(inCamera + u"ip link set cam0 up"_qs);
  if (!made) {
    netns::Shell(u"ip netns del "_qs + ns + u" 2>/dev/null"_qs);
    std::printf("cannot set up the namespaces\n");
    return netns::SkipStatus;
  }

  QCoreApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[2]);
  QFile fleet(dir + u"/fleet.json"_qs);
  fleet.open(QIODevice::WriteOnly);
  fleet.write(R"({"cameras":[{"mac":"0.12.34.20.0.20","family":2,"mode":"X-350","caption":"Factory",
    "version":"2.11.003","settings":{"SysIPAddress":"192.168.0.20","SysSubnetMask":"255.255.255.0",
    "SysDefaultGateway":"","SysAdminID":"admin","SysAdminPassword":"secret"}}]})");
  fleet.close();
  const QString logPath = dir + u"/camd.log"_qs;
  QProcess camd;
  camd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  camd.start(u"nsenter"_qs, {u"--net="_qs + netnsFile, QString::fromLocal8Bit(argv[1]), u"--fleet"_qs, fleet.fileName(),
                             u"--interface"_qs, u"cam0"_qs, u"--restart-ms"_qs, u"100"_qs, u"--log"_qs, logPath});
  const bool ready = netns::WaitForText(logPath, u"sim ready"_qs, 10000);
  netns::PrintValue("ready", ready ? 1 : 0);

  if (ready) {
    device::NetOptions options;
    options.interfaceNames = QStringList{u"pc0"_qs};
    options.httpConnectTimeout = std::chrono::milliseconds(300);
    options.httpTimeout = std::chrono::milliseconds(500);
    device::NetCameraControl cam(options);
    device::NetCameraControl camTemp(options);
    netns::PrintValue("found_before", FoundAddresses(cam));

    camTemp.ProtocolFamily(2);
    camTemp.TargetAddress(u"192.168.0.20");
    camTemp.TargetMac(CameraMac.toStdU16String());
    camTemp.TargetPort(80);
    camTemp.LoginID(u"admin");
    camTemp.LoginPassword(u"secret");
    netns::PrintValue("connect_before", camTemp.Connect());
    netns::PrintValue("login_state", camTemp.LoginState());
    std::u16string id = u"admin";
    std::u16string password = u"secret";
    netns::PrintValue("login", camTemp.Login(id, password));
    camTemp.TargetAddress(u"10.20.0.50");
    netns::PrintValue("in_use", camTemp.AddressInUse());
    std::u16string address = u"10.20.0.50";
    std::u16string mask = u"255.255.255.0";
    std::u16string gateway = u"10.20.0.1";
    netns::PrintValue("change", camTemp.ChangeAddress(address, mask, gateway));
    camTemp.ApplySettings(1, 0);
    netns::PrintValue("back", netns::WaitForText(logPath, u"state up address=10.20.0.50"_qs, 10000) ? 1 : 0);
    netns::PrintValue("found_after", FoundAddresses(cam));
    netns::PrintValue("connect_after", camTemp.Connect());
    netns::PrintValue("address_after", QString::fromStdU16String(camTemp.GetSettingText(u"SysIPAddress")));
  }
  std::fflush(stdout);
  camd.terminate();
  camd.waitForFinished(5000);
  netns::Shell(u"ip netns del "_qs + ns);
  return 0;
}
