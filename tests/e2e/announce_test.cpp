// A camera on a foreign subnet with a gateway, against the real ONVIF device
// in network namespaces of the test's own: camera 10.9.0.10/24 with gateway
// 10.9.0.1, computer 192.0.2.1/24 on the same link. Its answers to our
// probes go to its gateway, so the search alone never lists it; its Hello
// reaches the link and lists it, and its Bye marks it gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <unistd.h>

#include "device/net_camera_control.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"

namespace {

const QString CameraAddress = QStringLiteral("10.9.0.10");

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// The note of the row at address, or nothing when no row stands there.
std::optional<QString> NoteAt(device::NetCameraControl& control, const QString& address) {
  for (int32_t row = 0; row < control.FoundCount(); ++row) {
    control.DeviceIndex(row);
    if (QString::fromStdU16String(control.DeviceAddress()) == address)
      return QString::fromStdU16String(control.DeviceNote());
  }
  return std::nullopt;
}

TEST(Announcements, ForeignSubnetCameraListedByItsHelloAndGoneAfterItsBye) {
  if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
  RealOnvifDeviceOptions options;
  options.address = CameraAddress + QStringLiteral("/24");
  options.gateway = QStringLiteral("10.9.0.1");
  RealOnvifDevice device(options);
  ASSERT_TRUE(device.Start()) << device.Error().toStdString();
  InNetns client(device.ClientNetns());
  ASSERT_TRUE(client.Ok());

  device::NetCameraControl control;
  int changes = 0;
  control.SetListChangedCallback([&] { ++changes; });
  control.Search();  // starts the listener too
  EXPECT_FALSE(NoteAt(control, CameraAddress)) << "its answers go to its gateway: the search alone misses it";

  ASSERT_TRUE(device.StopDiscovery());
  ASSERT_TRUE(device.StartDiscovery());
  ASSERT_TRUE(WaitFor([&] { return NoteAt(control, CameraAddress).has_value(); }, 5000)) << "listed by its Hello";
  const QString note = *NoteAt(control, CameraAddress);
  EXPECT_TRUE(note == u"other network, announced" || note == u"announced") << note.toStdString();
  control.DeviceIndex(0);
  EXPECT_EQ(control.DeviceNetworks(), u"192.0.2.1/24 on eth0");

  control.Search();  // F5
  EXPECT_EQ(NoteAt(control, CameraAddress), note) << "an announced camera outlives the next search";

  ASSERT_TRUE(device.StopDiscovery());
  EXPECT_TRUE(
      WaitFor([&] { return NoteAt(control, CameraAddress).value_or(QString()).startsWith(u"gone (said Bye)"); }, 5000))
      << NoteAt(control, CameraAddress).value_or(u"(no row)"_qs).toStdString();
  EXPECT_GE(changes, 2);
}

}  // namespace
