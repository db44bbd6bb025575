// An ONVIF camera on a foreign IPv4 network, moved over IPv6 link-local:
// this program moves into a network namespace of its own (the computer,
// 192.0.2.1/24 on pc0), makes a second one for the camera (sentrova-camd with
// a camera at 10.9.0.10/24, gateway 10.9.0.1, offering ipv6LinkLocal on
// cam0), and drives the camera control as the wizard does: the search, the
// launch's aiming (AimAtRowService), the login, the new address and gateway,
// the search after the move. Both veths carry IPv6 link-local addresses.
// Prints one "name=value" line per result; exits 77 when the namespaces
// cannot be made.
//   link_local_probe CAMD WORKDIR
//
// The camera's IPv4 stack is that of a camera at 10.9.0.10 with its gateway
// 10.9.0.1, which does not exist: everything it sends from 10.9.0.10 is lost,
// so its answer to the IPv4 probe never arrives. Its new address 192.0.2.50
// is held on cam0 beforehand (the simulator binds what its cameras use), with
// a route of its own, so that only what the camera sends from there reaches
// the computer's network.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <unistd.h>

#include "device/net_camera_control.h"
#include "wizard/frm_main.h"
#include "support/netns_tools.h"

namespace {

const QString CameraMac = QStringLiteral("0.12.34.9.0.10");

// "mac@address linkLocal" per row, and the index of the camera's row.
QString Found(device::NetCameraControl& cam, int32_t* cameraRow) {
  cam.Search();
  QStringList rows;
  for (int32_t i = 0; i < cam.FoundCount(); ++i) {
    cam.DeviceIndex(i);
    const QString mac = QString::fromStdU16String(cam.DeviceMacText());
    if (mac == CameraMac && cameraRow) *cameraRow = i;
    rows << mac + u'@' + QString::fromStdU16String(cam.DeviceAddress()) + u' ' +
                QString::fromStdU16String(cam.DeviceLinkLocal());
  }
  return rows.join(u',');
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (unshare(CLONE_NEWNET) != 0) {
    std::printf("cannot make a network namespace\n");
    return netns::SkipStatus;
  }
  const QString ns = QStringLiteral("sentrova-ll-%1").arg(getpid());
  const QString netnsFile = u"/run/netns/"_qs + ns;
  const QString inCamera = u"nsenter --net="_qs + netnsFile + u' ';
  // No duplicate address detection: the link-local addresses are usable at once.
  const bool made = netns::Shell(u"ip link set lo up"_qs) &&
                    netns::Shell(u"sysctl -qw net.ipv6.conf.default.accept_dad=0"_qs) &&
                    netns::Shell(u"ip netns add "_qs + ns) &&
                    netns::Shell(inCamera + u"sysctl -qw net.ipv6.conf.default.accept_dad=0"_qs) &&
                    netns::Shell(u"ip link add pc0 type veth peer name cam0"_qs) &&
                    netns::Shell(u"ip link set cam0 netns "_qs + ns) &&
                    netns::Shell(u"ip addr add 192.0.2.1/24 dev pc0"_qs) && netns::Shell(u"ip link set pc0 up"_qs) &&
                    netns::Shell(inCamera + u"sysctl -qw net.ipv6.conf.cam0.accept_dad=0"_qs) &&
                    netns::Shell(inCamera + u"ip link set lo up"_qs) &&
                    netns::Shell(inCamera + u"ip addr add 10.9.0.10/24 dev cam0"_qs) &&
                    netns::Shell(inCamera + u"ip addr add 192.0.2.50/32 dev cam0"_qs) &&
                    netns::Shell(inCamera + u"ip link set cam0 up"_qs) &&
                    netns::Shell(inCamera + u"ip route add default via 10.9.0.1 dev cam0"_qs) &&
                    netns::Shell(inCamera + u"ip rule add from 192.0.2.50 table 150"_qs) &&
                    netns::Shell(inCamera + u"ip route add 192.0.2.0/24 dev cam0 src 192.0.2.50 table 150"_qs);
  if (!made) {
    netns::Shell(u"ip netns del "_qs + ns + u" 2>/dev/null"_qs);
    std::printf("cannot set up the namespaces\n");
    return netns::SkipStatus;
  }

  QCoreApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[2]);
  QFile fleet(dir + u"/fleet.json"_qs);
  fleet.open(QIODevice::WriteOnly);
  fleet.write(R"({"cameras":[{"mac":"0.12.34.9.0.10","protocols":["onvif"],"caption":"Factory",
    "ipv6LinkLocal":true,"settings":{"SysIPAddress":"10.9.0.10","SysSubnetMask":"255.255.255.0",
    "SysDefaultGateway":"10.9.0.1","SysAdminID":"admin","SysAdminPassword":"secret"}}]})");
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
    options.httpConnectTimeout = std::chrono::milliseconds(500);
    options.httpTimeout = std::chrono::milliseconds(2000);
    device::NetCameraControl cam(options);
    device::NetCameraControl camTemp(options);
    int32_t row = -1;
    netns::PrintValue("found_before", Found(cam, &row));

    if (row >= 0) {
      cam.DeviceIndex(row);
      camTemp.ProtocolFamily(2);
      camTemp.ProtocolOption(protocol::OnvifProtocolOption);
      camTemp.TargetAddress(cam.DeviceAddress());
      camTemp.TargetMac(cam.DeviceMacText());
      AimAtRowService(cam, camTemp, true, 2);
      netns::PrintValue("login_state", camTemp.LoginState());
      std::u16string id = u"admin";
      std::u16string password = u"secret";
      netns::PrintValue("login", camTemp.Login(id, password));
      netns::PrintValue("address_read", QString::fromStdU16String(camTemp.GetSettingText(u"SysIPAddress")));
      camTemp.SetSetting(u"SysIPAddress", u"192.0.2.50");
      camTemp.SetSetting(u"SysSubnetMask", u"255.255.255.0");
      camTemp.SetSetting(u"SysDefaultGateway", u"192.0.2.1");
      try {
        camTemp.ApplySettings(1, 0);
        netns::PrintValue("apply", u"ok"_qs);
      } catch (const device::CameraControlError& error) {
        netns::PrintValue("apply", QString::fromUtf8(error.what()));
      }
      netns::PrintValue("moved", netns::WaitForText(logPath, u"state up address=192.0.2.50"_qs, 10000) ? 1 : 0);
      netns::PrintValue("found_after", Found(cam, nullptr));
      device::NetCameraControl after(options);
      after.ProtocolFamily(2);
      after.ProtocolOption(protocol::OnvifProtocolOption);
      after.TargetAddress(u"192.0.2.50");
      after.TargetPort(80);
      after.LoginID(u"admin");
      after.LoginPassword(u"secret");
      netns::PrintValue("connect_after", after.Connect());
      netns::PrintValue("gateway_after", QString::fromStdU16String(after.GetSettingText(u"SysDefaultGateway")));
    }
  }
  std::fflush(stdout);
  camd.terminate();
  camd.waitForFinished(5000);
  QFile log(logPath);
  if (log.open(QIODevice::ReadOnly)) std::fprintf(stderr, "%s", log.readAll().constData());
  netns::Shell(u"ip netns del "_qs + ns);
  return 0;
}
