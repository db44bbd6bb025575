// The usual way to reach a camera outside the computer's network: a second
// address in the camera's subnet on the computer's interface. The real ONVIF
// device sits behind a gateway that does not exist, so it answers a probe
// only when the probe came from the computer's address in its own subnet:
// the search must send from every address of the interface, whichever is
// first (10.9.0.2 added to reach a camera at 10.9.0.10; then the camera
// moved into 192.0.2.0/24 while 10.9.0.2 is still the first address).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>

#include "device/discovery.h"
#include "support/param_name.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"
#include "support/netns_tools.h"

namespace {

struct Addresses {
  const char* name;
  QString camera;       // its address and prefix
  QString gateway;      // its gateway, which does not exist
  QStringList inOrder;  // the client interface's addresses (all /24), first first
};

// The client's address in the camera's subnet.
QString InCameraSubnet(const Addresses& addresses) {
  for (const QString& address : addresses.inOrder) {
    if (address.section(u'.', 0, 2) == addresses.camera.section(u'.', 0, 2)) return address;
  }
  return {};
}

bool InClient(const RealOnvifDevice& device, const QStringList& command) {
  return netns::RunCommand(netns::Ip(device.ClientNetns(), command));
}

class EveryAddress : public testing::TestWithParam<Addresses> {};

TEST_P(EveryAddress, TheSearchListsACameraInTheSubnetOfAnyAddress) {
  if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
  const Addresses& addresses = GetParam();
  RealOnvifDeviceOptions options;
  options.address = addresses.camera;
  options.gateway = addresses.gateway;
  // The device is started reachable (it is waited for), then the client's
  // addresses are laid out in the order under test.
  options.clientAddress = InCameraSubnet(addresses);
  RealOnvifDevice device(options);
  ASSERT_TRUE(device.Start()) << device.Error().toStdString();
  ASSERT_TRUE(InClient(device, {u"addr"_qs, u"flush"_qs, u"dev"_qs, u"eth0"_qs}));
  for (const QString& address : addresses.inOrder) {
    ASSERT_TRUE(InClient(device, {u"addr"_qs, u"add"_qs, address, u"dev"_qs, u"eth0"_qs}));
  }
  ASSERT_TRUE(InClient(device, {u"route"_qs, u"replace"_qs, u"224.0.0.0/4"_qs, u"dev"_qs, u"eth0"_qs}));

  InNetns client(device.ClientNetns());
  ASSERT_TRUE(client.Ok());
  device::NetOptions search;
  search.interfaceNames = QStringList{u"eth0"_qs};
  const device::InterfaceChoice choice = device::ChooseInterfaces(search.interfaceNames);
  ASSERT_EQ(choice.interfaces.size(), 1u) << choice.error.toStdString();
  ASSERT_EQ(choice.interfaces[0].sources.size(), 2u) << "both addresses are sources";
  EXPECT_EQ(choice.interfaces[0].sources[0].address.toString() + u"/24"_qs, addresses.inOrder[0]);
  const device::SearchOutcome outcome = device::SearchCameras(search, choice, {});
  ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
  ASSERT_EQ(outcome.cameras.size(), 1u) << "listed once, whichever probes it answered";
  EXPECT_EQ(outcome.cameras[0].address, addresses.camera.section(u'/', 0, 0));
  EXPECT_EQ(outcome.cameras[0].mode, u"ONVIF"_qs);
  EXPECT_EQ(outcome.cameras[0].interfaceName, u"eth0"_qs);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, EveryAddress,
    testing::Values(
        Addresses{"CameraSubnetSecond", u"10.9.0.10/24"_qs, u"10.9.0.1"_qs, {u"192.0.2.1/24"_qs, u"10.9.0.2/24"_qs}},
        Addresses{"CameraSubnetFirst", u"10.9.0.10/24"_qs, u"10.9.0.1"_qs, {u"10.9.0.2/24"_qs, u"192.0.2.1/24"_qs}},
        Addresses{"MovedCameraSubnetSecond",
                  u"192.0.2.10/24"_qs,
                  u"192.0.2.254"_qs,
                  {u"10.9.0.2/24"_qs, u"192.0.2.1/24"_qs}}),
    [](const testing::TestParamInfo<Addresses>& addresses) {
      return ParamName(std::string_view(addresses.param.name));
    });

}  // namespace
