// The usual way to reach a camera outside the computer's network: a second
// address in the camera's subnet on the computer's interface. The real ONVIF
// device sits at 10.9.0.10/24 behind a gateway (10.9.0.1) that does not
// exist, so it answers a probe only when the probe came from 10.9.0.2: the
// search must send from every address of the interface, whichever is first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>

#include "device/discovery.h"
#include "support/param_name.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"

namespace {

const QString CameraAddress = QStringLiteral("10.9.0.10");

struct Addresses {
  const char* name;
  QStringList inOrder;  // the client interface's addresses, first first
};

bool InClient(const RealOnvifDevice& device, const QStringList& command) {
  return QProcess::execute(QStringLiteral("ip"), QStringList{u"-n"_qs, device.ClientNetns()} + command) == 0;
}

class EveryAddress : public testing::TestWithParam<Addresses> {};

TEST_P(EveryAddress, TheSearchListsACameraInTheSubnetOfAnyAddress) {
  if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
  RealOnvifDeviceOptions options;
  options.address = CameraAddress + u"/24"_qs;
  options.gateway = u"10.9.0.1"_qs;
  // The device is started reachable (it is waited for), then the client's
  // addresses are laid out in the order under test.
  options.clientAddress = u"10.9.0.2/24"_qs;
  RealOnvifDevice device(options);
  ASSERT_TRUE(device.Start()) << device.Error().toStdString();
  ASSERT_TRUE(InClient(device, {u"addr"_qs, u"flush"_qs, u"dev"_qs, u"eth0"_qs}));
  for (const QString& address : GetParam().inOrder) {
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
  EXPECT_EQ(choice.interfaces[0].sources[0].address.toString() + u"/24"_qs, GetParam().inOrder[0]);
  const device::SearchOutcome outcome = device::SearchCameras(search, choice, {});
  ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
  ASSERT_EQ(outcome.cameras.size(), 1u) << "listed once, whichever probes it answered";
  EXPECT_EQ(outcome.cameras[0].address, CameraAddress);
  EXPECT_EQ(outcome.cameras[0].mode, u"ONVIF"_qs);
  EXPECT_EQ(outcome.cameras[0].interfaceName, u"eth0"_qs);
}

INSTANTIATE_TEST_SUITE_P(Orders, EveryAddress,
                         testing::Values(Addresses{"OtherSubnetFirst", {u"192.0.2.1/24"_qs, u"10.9.0.2/24"_qs}},
                                         Addresses{"CameraSubnetFirst", {u"10.9.0.2/24"_qs, u"192.0.2.1/24"_qs}}),
                         [](const testing::TestParamInfo<Addresses>& addresses) {
                           return ParamName(std::string_view(addresses.param.name));
                         });

}  // namespace
