// A camera added by its address, against the simulator on loopback. The
// control probes other groups than the simulator's, so multicast never finds
// these cameras: whatever is listed came through the search of one address
// (unicast probes, or the device service).
#include <gtest/gtest.h>

#include "device/net_camera_control.h"
#include "simulator.h"

namespace {

// Multicast misses the simulator: its groups are not these.
device::NetOptions Unreached(const Simulator& sim) {
  device::NetOptions options = sim.Options();
  options.group = u"239.255.42.62"_qs;
  options.onvifGroup = u"239.255.255.251"_qs;
  return options;
}

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

TEST(AddCamera, OurCameraAnswersAProbeSentToItsAddressAndStaysAfterASearch) {
  Simulator sim({{.host = 10, .caption = u"Gate"_qs}});
  ASSERT_TRUE(sim.Start());
  device::NetCameraControl cam(Unreached(sim));
  cam.Search();
  ASSERT_EQ(cam.FoundCount(), 0) << "multicast must miss the simulator here";
  EXPECT_EQ(Q(cam.AddCamera(sim.Address(10).toStdU16String())), QString());
  ASSERT_EQ(cam.FoundCount(), 1);
  cam.DeviceIndex(0);
  EXPECT_EQ(Q(cam.DeviceAddress()), sim.Address(10));
  EXPECT_EQ(Q(cam.DeviceMode()), u"X-350"_qs);
  EXPECT_EQ(Q(cam.DeviceCaption()), u"Gate"_qs);
  EXPECT_EQ(Q(cam.DeviceMacText()), sim.Mac(10));
  EXPECT_EQ(Q(cam.DeviceNote()), u"added by address"_qs);
  EXPECT_FALSE(sim.LogLines({u"udp probe unicast"_qs}).isEmpty()) << "the camera heard the probe at its address";

  EXPECT_EQ(Q(cam.AddCamera(sim.Address(10).toStdU16String())), QString()) << "listed already";
  EXPECT_EQ(cam.FoundCount(), 1);
  cam.Search();  // F5: the address is asked again
  ASSERT_EQ(cam.FoundCount(), 1);
  cam.DeviceIndex(0);
  EXPECT_EQ(Q(cam.DeviceNote()), u"added by address"_qs);
}

TEST(AddCamera, AnOnvifCameraIsFoundByItsWsDiscoveryOrItsDeviceService) {
  Simulator sim({{.host = 11, .protocols = {u"onvif"_qs}}});
  ASSERT_TRUE(sim.Start());
  device::NetCameraControl cam(Unreached(sim));
  EXPECT_EQ(Q(cam.AddCamera(sim.Address(11).toStdU16String())), QString());
  ASSERT_EQ(cam.FoundCount(), 1);
  cam.DeviceIndex(0);
  EXPECT_EQ(Q(cam.DeviceMode()), u"ONVIF"_qs);
  EXPECT_EQ(cam.DevicePort(), 80);
  EXPECT_EQ(Q(cam.DeviceServicePath()), u"/onvif/device_service"_qs);
}

// Its discovery filtered (no WS-Discovery where the control probes), the
// camera is still found at its device service, at the port given; what only
// discovery tells stays unknown.
TEST(AddCamera, ACameraWithFilteredDiscoveryIsFoundAtItsDeviceService) {
  Simulator sim({{.host = 12, .protocols = {u"onvif"_qs}, .httpPort = 8080}});
  ASSERT_TRUE(sim.Start());
  device::NetOptions options = Unreached(sim);
  options.onvifPort = static_cast<quint16>(sim.onvifPort() + 1);
  device::NetCameraControl cam(options);
  EXPECT_EQ(Q(cam.AddCamera((sim.Address(12) + u":8080"_qs).toStdU16String())), QString());
  ASSERT_EQ(cam.FoundCount(), 1);
  cam.DeviceIndex(0);
  EXPECT_EQ(Q(cam.DeviceAddress()), sim.Address(12));
  EXPECT_EQ(Q(cam.DeviceMode()), u"ONVIF"_qs);
  EXPECT_EQ(cam.DevicePort(), 8080);
  EXPECT_EQ(Q(cam.DeviceCaption()), QString()) << "no name is made up";
  EXPECT_EQ(Q(cam.DeviceMacText()), QString());
  EXPECT_FALSE(sim.LogLines({u"GetSystemDateAndTime"_qs}).isEmpty());
  // At the usual port nothing answers: said, nothing listed.
  device::NetCameraControl other(options);
  EXPECT_EQ(Q(other.AddCamera(sim.Address(12).toStdU16String())),
            u"No camera answered at %1 within 1 s"_qs.arg(sim.Address(12)));
  EXPECT_EQ(other.FoundCount(), 0);
}

// A camera that speaks both is listed as ours, as the search lists it.
TEST(AddCamera, ACameraOfBothProtocolsIsListedAsOurs) {
  Simulator sim({{.host = 13, .protocols = {u"sentrova"_qs, u"onvif"_qs}}});
  ASSERT_TRUE(sim.Start());
  device::NetCameraControl cam(Unreached(sim));
  EXPECT_EQ(Q(cam.AddCamera(sim.Address(13).toStdU16String())), QString());
  ASSERT_EQ(cam.FoundCount(), 1);
  cam.DeviceIndex(0);
  EXPECT_EQ(Q(cam.DeviceMode()), u"X-350"_qs);
}

}  // namespace
