// The real ONVIF device behind a router, added by its address: the device
// (198.51.100.10/24, gateway 198.51.100.1) sits in its namespace; the
// fixture's client side (198.51.100.1/24) forwards as a router to the
// computer's namespace of this test (192.0.2.1/24, route to 198.51.100.0/24
// via 192.0.2.254). Multicast does not cross the router, so the search does
// not list the device; added by address it is listed and the wizard logs in
// through it.
#include <gtest/gtest.h>

#include <QProcess>
#include <unistd.h>

#include "support/real_device_wizard.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"
#include "wizard/frm_main.h"
#include "support/netns_tools.h"

namespace {

const QString CameraAddress = QStringLiteral("198.51.100.10");

// The computer's namespace, joined to the router by a veth pair; deleted
// (with the pair) on destruction.
class Computer {
 public:
  explicit Computer(const QString& router) : name_(QStringLiteral("ba%1-comp").arg(getpid())) {
    const QString in = QStringLiteral("--net=/run/netns/");
    ok_ = netns::RunCommand({u"ip"_qs, u"netns"_qs, u"add"_qs, name_}) &&
          netns::RunCommand(netns::Ip(router, {u"link"_qs, u"add"_qs, u"r0"_qs, u"type"_qs, u"veth"_qs, u"peer"_qs,
                                               u"name"_qs, u"pc0"_qs, u"netns"_qs, name_})) &&
          netns::RunCommand(netns::Ip(router, {u"addr"_qs, u"add"_qs, u"192.0.2.254/24"_qs, u"dev"_qs, u"r0"_qs})) &&
          netns::RunCommand(netns::Ip(router, {u"link"_qs, u"set"_qs, u"r0"_qs, u"up"_qs})) &&
          netns::RunCommand({u"nsenter"_qs, in + router, u"sysctl"_qs, u"-qw"_qs, u"net.ipv4.ip_forward=1"_qs}) &&
          netns::RunCommand(netns::Ip(name_, {u"link"_qs, u"set"_qs, u"lo"_qs, u"up"_qs})) &&
          netns::RunCommand(netns::Ip(name_, {u"addr"_qs, u"add"_qs, u"192.0.2.1/24"_qs, u"dev"_qs, u"pc0"_qs})) &&
          netns::RunCommand(netns::Ip(name_, {u"link"_qs, u"set"_qs, u"pc0"_qs, u"up"_qs})) &&
          netns::RunCommand(
              netns::Ip(name_, {u"route"_qs, u"add"_qs, u"198.51.100.0/24"_qs, u"via"_qs, u"192.0.2.254"_qs})) &&
          netns::RunCommand(netns::Ip(name_, {u"route"_qs, u"add"_qs, u"224.0.0.0/4"_qs, u"dev"_qs, u"pc0"_qs}));
  }
  ~Computer() { netns::RunCommand({u"ip"_qs, u"netns"_qs, u"del"_qs, name_}); }
  Computer(const Computer&) = delete;
  Computer& operator=(const Computer&) = delete;
  bool Ok() const { return ok_; }
  const QString& Name() const { return name_; }

 private:
  QString name_;
  bool ok_ = false;
};

TEST(ByAddressRealDevice, BehindARouterItIsAddedByAddressAndLogsIn) {
  if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
  RealOnvifDeviceOptions options;
  options.address = CameraAddress + QStringLiteral("/24");
  options.clientAddress = QStringLiteral("198.51.100.1/24");
  RealOnvifDevice device(options, QStringLiteral("ba"));
  ASSERT_TRUE(device.Start()) << device.Error().toStdString();
  Computer computer(device.ClientNetns());
  ASSERT_TRUE(computer.Ok()) << "cannot make the computer's namespace";
  RealDeviceWizard wizard(device, computer.Name());
  ASSERT_TRUE(wizard.InClient());
  EXPECT_EQ(wizard.RowOf(CameraAddress), -1) << "multicast crossed the router";
  wizard.program().frmMain->AddCameraByAddress(CameraAddress.toStdU16String());
  const int32_t row = wizard.RowOf(CameraAddress);
  ASSERT_GE(row, 0) << wizard.Messages();
  EXPECT_EQ(wizard.program().frmMain->List.CellText(row, 4), u"added by address");
  EXPECT_EQ(wizard.program().frmMain->List.SelectedRow(), row);
  // The administrator page opens only after Connect and Login succeeded.
  EXPECT_TRUE(wizard.Launch(CameraAddress, {{options.user, options.password}})) << wizard.Messages();
  EXPECT_EQ(wizard.Errors(), "");
}

}  // namespace
