// IPv6 link-local: what an answer heard over IPv6 makes of a camera, one row
// per camera heard both ways, which scoped addresses may be contacted, when
// an IPv4 address is off the interface's networks, and the Host header.
#include <gtest/gtest.h>

#include <QNetworkInterface>

#include "device/found_camera.h"
#include "device/http_client.h"
#include "device/net_options.h"
#include "device/onvif_discovery.h"

namespace {

using device::FoundCamera;
using device::onvif::ProbeMatch;

ProbeMatch Match(const QString& endpoint, const QString& xaddrs) {
  return {endpoint, {u"dn:NetworkVideoTransmitter"_qs}, {u"onvif://www.onvif.org/name/Cam"_qs},
          xaddrs.split(u' ', Qt::SkipEmptyParts)};
}

TEST(LinkLocal, AnAnswerOverIPv6NamesTheCamerasIPv4AddressAndItsScopedLinkLocal) {
  struct Case {
    const char* what;
    QString xaddrs;
    QString address;
    QString linkLocal;
    int port;
    QString path;
  };
  const QHostAddress from(u"fe80::99"_qs);
  const Case cases[] = {
      {"both XAddrs", u"http://10.9.0.10/onvif/device_service http://[fe80::1]:8080/onvif/dev"_qs, u"10.9.0.10"_qs,
       u"fe80::1%eth7"_qs, 8080, u"/onvif/dev"_qs},
      {"link-local XAddr first", u"http://[fe80::1]/a http://10.9.0.10:81/b"_qs, u"10.9.0.10"_qs,
       u"fe80::1%eth7"_qs, 80, u"/a"_qs},
      {"IPv6 only: the row's address is the link-local one", u"http://[fe80::1]/onvif/device_service"_qs,
       u"fe80::1%eth7"_qs, u"fe80::1%eth7"_qs, 80, u"/onvif/device_service"_qs},
      {"no XAddr: the source", u""_qs, u"fe80::99%eth7"_qs, u"fe80::99%eth7"_qs, 80, u"/onvif/device_service"_qs},
      {"a global IPv6 or 0.0.0.0 XAddr is not taken", u"http://[2001:db8::1]/x http://0.0.0.0/y"_qs,
       u"fe80::99%eth7"_qs, u"fe80::99%eth7"_qs, 80, u"/onvif/device_service"_qs},
      {"an IPv4 XAddr's service when no link-local one", u"http://10.9.0.10:8000/s"_qs, u"10.9.0.10"_qs,
       u"fe80::99%eth7"_qs, 8000, u"/s"_qs},
  };
  for (const Case& c : cases) {
    const std::optional<FoundCamera> camera =
        device::onvif::CameraFromMatch6(Match(u"urn:uuid:1"_qs, c.xaddrs), from, u"eth7"_qs);
    ASSERT_TRUE(camera) << c.what;
    EXPECT_EQ(camera->address, c.address) << c.what;
    EXPECT_EQ(camera->linkLocal, c.linkLocal) << c.what;
    EXPECT_EQ(camera->port, c.port) << c.what;
    EXPECT_EQ(camera->path, c.path) << c.what;
    EXPECT_EQ(camera->interfaceName, u"eth7"_qs) << c.what;
    EXPECT_EQ(camera->caption, u"Cam"_qs) << c.what;
  }
  ProbeMatch printer = Match(u"urn:uuid:2"_qs, u"http://[fe80::1]/x"_qs);
  printer.types = {u"print:Printer"_qs};
  EXPECT_FALSE(device::onvif::CameraFromMatch6(printer, from, u"eth7"_qs));
}

FoundCamera Heard(const QString& address, const QString& linkLocal, const QString& endpoint = u"urn:uuid:1"_qs) {
  FoundCamera camera;
  camera.endpoint = endpoint;
  camera.address = address;
  camera.linkLocal = linkLocal;
  return camera;
}

TEST(LinkLocal, ACameraHeardOverIPv4AndIPv6IsOneRowWithItsLinkLocal) {
  const QString ll = u"fe80::1%eth7"_qs;
  {
    device::FoundList list(10);
    list.AddOnvif(Heard(u"192.0.2.10"_qs, {}));
    list.AddOnvif(Heard(u"192.0.2.10"_qs, ll));
    ASSERT_EQ(list.cameras().size(), 1u) << "IPv4 first";
    EXPECT_EQ(list.cameras()[0].linkLocal, ll);
  }
  {
    device::FoundList list(10);
    list.AddOnvif(Heard(u"192.0.2.10"_qs, ll));
    list.AddOnvif(Heard(u"192.0.2.10"_qs, {}));
    ASSERT_EQ(list.cameras().size(), 1u) << "IPv6 first";
    EXPECT_EQ(list.cameras()[0].linkLocal, ll);
  }
  {
    device::FoundList list(10);
    list.HoldOnvif();
    list.AddOnvif(Heard(u"192.0.2.10"_qs, {}));
    list.AddOnvif(Heard(u"192.0.2.10"_qs, ll));
    list.AddOnvif(Heard(u"192.0.2.11"_qs, {}, u"urn:uuid:other"_qs));
    EXPECT_EQ(list.ReleaseOnvif(), 2);
    ASSERT_EQ(list.cameras().size(), 2u) << "held rows";
    EXPECT_EQ(list.cameras()[0].linkLocal, ll);
    EXPECT_EQ(list.cameras()[1].linkLocal, u""_qs) << "another camera keeps none";
  }
  {
    // The first link-local heard for an endpoint stays: a later answer
    // claiming another cannot redirect the row.
    device::FoundList list(10);
    list.AddOnvif(Heard(u"192.0.2.10"_qs, ll));
    list.AddOnvif(Heard(u"192.0.2.10"_qs, u"fe80::66%eth7"_qs));
    list.AddOnvif(Heard(u"192.0.2.12"_qs, {}));
    ASSERT_EQ(list.cameras().size(), 2u);
    EXPECT_EQ(list.cameras()[0].linkLocal, ll);
    EXPECT_EQ(list.cameras()[1].linkLocal, ll) << "a row of the same endpoint elsewhere";
  }
}

TEST(LinkLocal, AScopedLinkLocalIsContactedOnlyOnAChosenInterfaceNeverUnderLoopback) {
  const QNetworkInterface lo = QNetworkInterface::interfaceFromName(u"lo"_qs);
  device::InterfaceChoice chosen;
  chosen.interfaces.push_back({lo, {{QHostAddress(u"127.0.0.1"_qs), QHostAddress()}}});
  struct Case {
    const char* address;
    bool allowed;
  };
  for (const Case& c : {Case{"fe80::1%lo", true}, Case{"FE80::abcd:1%lo", true}, Case{"fe80::1%eth9", false},
                        Case{"fe80::1", false}, Case{"fe80::1%", false}, Case{"2001:db8::1%lo", false},
                        Case{"::1", false}, Case{"[fe80::1%lo]", false}}) {
    EXPECT_EQ(device::MayContact(chosen, QString::fromLatin1(c.address)), c.allowed) << c.address;
  }
  const device::InterfaceChoice loopback = device::ChooseInterfaces(QStringList{u"lo"_qs});
  ASSERT_TRUE(loopback.loopbackOnly);
  EXPECT_FALSE(device::MayContact(loopback, u"fe80::1%lo"_qs)) << "loopback confinement";
}

TEST(LinkLocal, AnAddressIsOutsideWhenNoneOfTheInterfacesNetworksHoldsIt) {
  EXPECT_FALSE(device::IsOutsideNetworks(u"127.0.0.1"_qs, u"lo"_qs));
  EXPECT_FALSE(device::IsOutsideNetworks(u"127.200.1.1"_qs, u"lo"_qs));
  EXPECT_TRUE(device::IsOutsideNetworks(u"10.9.0.10"_qs, u"lo"_qs));
  EXPECT_FALSE(device::IsOutsideNetworks(u"10.9.0.10"_qs, u"no-such-if0"_qs)) << "nothing to compare with";
  EXPECT_FALSE(device::IsOutsideNetworks(u"10.9.0.10"_qs, u""_qs));
  EXPECT_FALSE(device::IsOutsideNetworks(u"fe80::1"_qs, u"lo"_qs)) << "not IPv4";
}

TEST(LinkLocal, TheHostHeaderBracketsAnIPv6AddressWithoutItsZone) {
  EXPECT_EQ(device::HostHeader(u"192.0.2.1"_qs, 80), QByteArray("192.0.2.1:80"));
  EXPECT_EQ(device::HostHeader(u"fe80::1%eth0"_qs, 8080), QByteArray("[fe80::1]:8080"));
  EXPECT_EQ(device::HostHeader(u"fe80::a:b%veth-cam1"_qs, 80), QByteArray("[fe80::a:b]:80"));
}

}  // namespace
