// Loopback confinement: with the loopback interface chosen, nothing leaves
// 127.0.0.0/8, and such targets behave as cameras that do not answer.
#include <gtest/gtest.h>

#include <QProcess>

#include "device/net_camera_control.h"
#include "device/net_options.h"
#include "protocol/wire.h"
#include "support/skips.h"

namespace {

TEST(LoopbackConfinement, OnlyLoopbackTargetsMayBeContacted) {
  const device::InterfaceChoice loopback = device::ChooseInterfaces({u"lo"_qs});
  ASSERT_TRUE(loopback.error.isEmpty()) << loopback.error.toStdString();
  EXPECT_TRUE(loopback.loopbackOnly);
  struct Case {
    const char16_t* address;
    bool allowed;
  };
  const Case cases[] = {{u"127.0.0.1", true},        {u"127.250.3.4", true}, {u"192.0.2.77", false},
                        {u"10.1.2.3", false},        {u"128.0.0.1", false},  {u"0.0.0.0", false},
                        {u"255.255.255.255", false}, {u"localhost", false},  {u"127.1", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(device::MayContact(loopback, QString::fromStdU16String(c.address)), c.allowed)
        << QString::fromStdU16String(c.address).toStdString();
  }
  const device::InterfaceChoice unusable = device::ChooseInterfaces({u"no-such-if0"_qs});
  EXPECT_FALSE(unusable.error.isEmpty());
  EXPECT_FALSE(device::MayContact(unusable, u"127.0.0.1"_qs)) << "an unusable interface contacts nothing";
}

TEST(LoopbackConfinement, TargetsOutsideLoopbackGiveTheNoAnswerResults) {
  device::NetOptions options;
  options.interfaceNames = QStringList{u"lo"_qs};
  options.port = 21061;
  options.macWait = std::chrono::milliseconds(100);
  device::NetCameraControl camTemp(options);
  struct Target {
    const char16_t* address;
    int32_t option;  // our own protocol or ONVIF
  };
  for (const Target& target :
       {Target{u"192.0.2.77", 0}, Target{u"10.1.2.3", 0}, Target{u"192.0.2.77", protocol::OnvifProtocolOption},
        Target{u"10.1.2.3", protocol::OnvifProtocolOption}}) {
    camTemp.ProtocolOption(target.option);
    camTemp.TargetAddress(target.address);
    camTemp.TargetPort(80);
    camTemp.LoginID(u"admin");
    camTemp.LoginPassword(u"secret");
    EXPECT_EQ(camTemp.Connect(), 0);
    EXPECT_EQ(camTemp.GetSettingText(u"SysAdminID"), u"");
    EXPECT_EQ(camTemp.GetSettingNumber(u"DeviceType"), 0);
    EXPECT_EQ(camTemp.AddressInUse(), 0);
  }
}

// A search of one address: malformed input and addresses outside loopback
// are refused with a message before anything is sent; nothing is listed.
TEST(LoopbackConfinement, AddCameraRefusesWhatItMayNotSearch) {
  device::NetOptions options;
  options.interfaceNames = QStringList{u"lo"_qs};
  options.port = 21061;
  options.onvifPort = 0;
  options.addressWait = std::chrono::milliseconds(200);
  device::NetCameraControl cam(options);
  struct Case {
    std::u16string address;
    std::u16string message;
  };
  const Case cases[] = {
      {u"10.1.2.3",
       u"10.1.2.3 is outside the loopback network 127.0.0.0/8 the search is confined to; nothing was sent"},
      {u"192.0.2.77:8080",
       u"192.0.2.77 is outside the loopback network 127.0.0.0/8 the search is confined to; nothing was sent"},
      {u"camera.local", u"not an IPv4 address: camera.local"},
      {u"127.1", u"not an IPv4 address: 127.1"},
      {u"127.0.0.1:", u"not an IPv4 address: 127.0.0.1:"},
      {u"127.0.0.01", u"not an IPv4 address: 127.0.0.01"},
      {u"127.0.0.1; reboot", u"not an IPv4 address: 127.0.0.1; reboot"},
      {u"::1", u"not an IPv4 address: ::1"},
      {u"127.0.0.1:0", u"not a port from 1 to 65535: 0"},
      {u"127.0.0.1:65536", u"not a port from 1 to 65535: 65536"},
      {u"127.0.0.1:080", u"not a port from 1 to 65535: 080"},
      // Nothing answers here on a free port within the wait.
      {u"127.0.0.9:1", u"No camera answered at 127.0.0.9 within 0.2 s"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QString::fromStdU16String(cam.AddCamera(c.address)), QString::fromStdU16String(c.message))
        << QString::fromStdU16String(c.address).toStdString();
  }
  EXPECT_EQ(cam.FoundCount(), 0);
}

int RunProbe(const char* interfaceName, QString* output, const char* program = SENTROVA_CONFINEMENT_PROBE) {
  QProcess probe;
  probe.start(QString::fromUtf8(program),
              interfaceName ? QStringList{QString::fromLatin1(interfaceName)} : QStringList{});
  if (!probe.waitForFinished(30000)) return -1;
  *output = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
  return probe.exitCode();
}

// A count from the probe's "frames=N wsdiscovery=M"; -1 when it is missing.
int Count(const QString& output, const QString& name) {
  for (const QString& field : output.split(u' ')) {
    if (field.startsWith(name + u'=')) {
      bool ok = false;
      const int value = field.mid(name.size() + 1).toInt(&ok);
      return ok ? value : -1;
    }
  }
  return -1;
}
int Frames(const QString& output) { return Count(output, u"frames"_qs); }
int WsDiscoveryFrames(const QString& output) { return Count(output, u"wsdiscovery"_qs); }

// In a fresh network namespace: the same calls send frames out of a real
// interface when not confined (so the capture sees them), and none when the
// loopback interface is chosen.
TEST(LoopbackConfinement, NothingLeavesLoopbackInsideANetworkNamespace) {
  QString control;
  const int controlStatus = RunProbe("v0", &control);
  if (controlStatus == 77) SENTROVA_SKIP("no network namespace here: " << control.toStdString());
  ASSERT_EQ(controlStatus, 0) << control.toStdString();
  EXPECT_GT(Frames(control), 0) << "unconfined, the calls reach the wire: " << control.toStdString();
  EXPECT_GT(WsDiscoveryFrames(control), 0) << "unconfined, the ONVIF probe reaches the wire: " << control.toStdString();
  EXPECT_GT(Count(control, u"wsdiscovery6"_qs), 0) << "and its IPv6 probe: " << control.toStdString();
  EXPECT_GT(Count(control, u"linklocal"_qs), 0)
      << "and an ONVIF target off the network is sought at its link-local address: " << control.toStdString();

  QString confined;
  ASSERT_EQ(RunProbe("lo", &confined), 0) << confined.toStdString();
  EXPECT_EQ(Frames(confined), 0) << confined.toStdString();
  EXPECT_EQ(WsDiscoveryFrames(confined), 0) << confined.toStdString();
  EXPECT_EQ(Count(confined, u"wsdiscovery6"_qs), 0) << "no IPv6 multicast under loopback: " << confined.toStdString();
  EXPECT_EQ(Count(confined, u"linklocal"_qs), 0) << confined.toStdString();
}

// Another socket on the host joined the group on a veth, and cameras answer
// on both the veth and loopback: a search on one interface lists only what
// that interface heard.
TEST(LoopbackConfinement, ASearchHearsOnlyItsOwnInterface) {
  QString output;
  const int status = RunProbe(nullptr, &output, SENTROVA_MULTICAST_LEAK_PROBE);
  if (status == 77) SENTROVA_SKIP("no network namespace here: " << output.toStdString());
  ASSERT_EQ(status, 0) << output.toStdString();
  EXPECT_EQ(output, u"lo=127.0.0.1\nvc0=10.77.0.1"_qs);
}

// Every address of a chosen interface is a source of probes, of both
// protocols; on lo (two addresses) only 127.0.0.0/8 ones, and nothing
// leaves through the veth meanwhile.
TEST(LoopbackConfinement, ProbesGoOutFromEveryAddressOfTheInterface) {
  QString output;
  const int status = RunProbe(nullptr, &output, SENTROVA_MULTI_ADDRESS_PROBE);
  if (status == 77) SENTROVA_SKIP("no network namespace here: " << output.toStdString());
  ASSERT_EQ(status, 0) << output.toStdString();
  const QStringList lines = output.split(u'\n');
  ASSERT_EQ(lines.size(), 3) << output.toStdString();
  EXPECT_EQ(lines[0], u"lo own=127.0.0.1,127.0.0.2 onvif=127.0.0.1,127.0.0.2 va1=0"_qs);
  EXPECT_TRUE(lines[1].startsWith(u"va0 own=10.9.0.2,192.0.2.1 onvif=10.9.0.2,192.0.2.1 va1="_qs))
      << lines[1].toStdString();
  EXPECT_EQ(lines[2], u"the loopback interface confines to 127.0.0.0/8 and cannot be chosen with another"_qs);
}

// Announcements under the same confinement: a listener on one interface
// hears only that interface, and on loopback only senders in 127.0.0.0/8.
TEST(LoopbackConfinement, AnnouncementsAreHeardOnlyOnTheChosenInterface) {
  QString output;
  const int status = RunProbe(nullptr, &output, SENTROVA_ANNOUNCE_CONFINEMENT_PROBE);
  if (status == 77) SENTROVA_SKIP("no network namespace here: " << output.toStdString());
  ASSERT_EQ(status, 0) << output.toStdString();
  EXPECT_EQ(output, u"lo=127.0.0.1/a\nvc0=10.77.0.1/c"_qs);
}

}  // namespace
