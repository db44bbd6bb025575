// Cameras' WS-Discovery Hello and Bye: the reader (what is taken, what is
// refused), and the camera control hearing them on loopback between and
// across searches, forged floods included.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <functional>

#include "device/announcements.h"
#include "device/net_camera_control.h"
#include "device/onvif_discovery.h"
#include "simulator.h"

namespace {

using device::FoundCamera;
using device::onvif::Announcement;

QByteArray Message(const QString& kind, const QString& endpoint, const QString& types, const QString& xaddr) {
  return QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
             "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
             "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
             "xmlns:wsdd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
             "xmlns:tdn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header>"
             "<wsa:MessageID>uuid:1</wsa:MessageID>"
             "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/%1</wsa:Action></SOAP-ENV:Header>"
             "<SOAP-ENV:Body><wsdd:%1><wsa:EndpointReference><wsa:Address>%2</wsa:Address></wsa:EndpointReference>"
             "<wsdd:Types>%3</wsdd:Types><wsdd:Scopes>onvif://www.onvif.org/name/Door "
             "onvif://www.onvif.org/hardware/IPC</wsdd:Scopes><wsdd:XAddrs>%4</wsdd:XAddrs>"
             "<wsdd:MetadataVersion>0</wsdd:MetadataVersion></wsdd:%1></SOAP-ENV:Body></SOAP-ENV:Envelope>")
      .arg(kind, endpoint, types, xaddr)
      .toUtf8();
}
QByteArray Hello(const QString& endpoint, const QString& address,
                 const QString& types = u"tdn:NetworkVideoTransmitter"_qs) {
  return Message(u"Hello"_qs, endpoint, types, u"http://"_qs + address + u"/onvif/device_service"_qs);
}
QByteArray Bye(const QString& endpoint) { return Message(u"Bye"_qs, endpoint, u"tdn:NetworkVideoTransmitter"_qs, {}); }

TEST(AnnouncementReader, TakesHelloAndByeRefusesTheRest) {
  struct Case {
    const char* what;
    QByteArray datagram;
    QString error;  // empty: taken
    Announcement::Kind kind = Announcement::Kind::Hello;
  };
  const QByteArray probeMatches = Hello(u"urn:uuid:a"_qs, u"10.9.0.10"_qs).replace("wsdd:Hello", "wsdd:ProbeMatches");
  const Case cases[] = {
      {"a Hello", Hello(u"urn:uuid:a"_qs, u"10.9.0.10"_qs), {}},
      {"a Bye", Bye(u"urn:uuid:a"_qs), {}, Announcement::Kind::Bye},
      {"another message", probeMatches, u"neither Hello nor Bye in the body"_qs},
      {"no endpoint", Hello({}, u"10.9.0.10"_qs), u"an announcement without an endpoint"_qs},
      {"an endpoint too long", Hello(QString(5000, u'x'), u"10.9.0.10"_qs), u"an announcement without an endpoint"_qs},
      {"not XML", QByteArray("Hello, Bye"), u"*"_qs},
      {"over 64 KiB", Hello(u"urn:uuid:a"_qs, u"10.9.0.10"_qs).replace("Door", QByteArray(70000, 'D')), u"*"_qs},
  };
  for (const Case& one : cases) {
    const Announcement read = device::onvif::ReadAnnouncement(one.datagram);
    if (one.error.isEmpty()) {
      EXPECT_EQ(read.error, QString()) << one.what;
      EXPECT_EQ(read.kind, one.kind) << one.what;
      EXPECT_EQ(read.match.endpoint, u"urn:uuid:a"_qs) << one.what;
    } else if (one.error == u"*") {
      EXPECT_FALSE(read.error.isEmpty()) << one.what;
    } else {
      EXPECT_EQ(read.error, one.error) << one.what;
    }
  }
  const Announcement hello = device::onvif::ReadAnnouncement(Hello(u"urn:uuid:a"_qs, u"10.9.0.10"_qs));
  const std::optional<FoundCamera> camera = device::onvif::CameraFromMatch(hello.match, QHostAddress(u"10.9.0.10"_qs));
  ASSERT_TRUE(camera);
  EXPECT_EQ(camera->caption, u"Door (IPC)"_qs);
  EXPECT_EQ(camera->path, u"/onvif/device_service"_qs);
  const Announcement printer =
      device::onvif::ReadAnnouncement(Hello(u"urn:uuid:p"_qs, u"10.9.0.11"_qs, u"prn:Printer"_qs));
  EXPECT_FALSE(device::onvif::CameraFromMatch(printer.match, QHostAddress(u"10.9.0.11"_qs))) << "not a camera";
}

quint16 FreeUdpPort() {
  QUdpSocket socket;
  socket.bind(QHostAddress::LocalHost, 0);
  return socket.localPort();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// A camera control confined to loopback, on ports of its own, and cameras
// announcing themselves to it from 127.a.b.x.
class AnnouncedTest : public testing::Test {
 protected:
  void SetUp() override {
    options.interfaceNames = QStringList{u"lo"_qs};
    options.port = FreeUdpPort();
    options.onvifPort = FreeUdpPort();
    options.searchCap = std::chrono::milliseconds(700);
    prefix = u"127.%1.%2."_qs.arg(QRandomGenerator::global()->bounded(100, 200))
                 .arg(QRandomGenerator::global()->bounded(1, 250));
  }
  void Send(int host, const QByteArray& datagram) {
    QUdpSocket& socket = senders[host];
    if (socket.state() != QAbstractSocket::BoundState) {
      ASSERT_TRUE(socket.bind(QHostAddress(Address(host)), 0));
      socket.setMulticastInterface(QNetworkInterface::interfaceFromName(u"lo"_qs));
    }
    socket.writeDatagram(datagram, QHostAddress(u"239.255.255.250"_qs), options.onvifPort);
  }
  QString Address(int host) const { return prefix + QString::number(host); }
  std::vector<FoundCamera> List(device::NetCameraControl& control) {
    std::vector<FoundCamera> rows;
    for (int32_t i = 0; i < control.FoundCount(); ++i) {
      control.DeviceIndex(i);
      rows.push_back({});
      rows.back().address = QString::fromStdU16String(control.DeviceAddress());
      rows.back().caption = QString::fromStdU16String(control.DeviceCaption());
      rows.back().mode = QString::fromStdU16String(control.DeviceNote());  // the note, for the checks
    }
    return rows;
  }

  device::NetOptions options;
  QString prefix;
  std::map<int, QUdpSocket> senders;
};

TEST_F(AnnouncedTest, HelloListsByeMarksGoneAndTheSearchKeepsTheAnnounced) {
  device::NetCameraControl control(options);
  int changes = 0;
  control.SetListChangedCallback([&] { ++changes; });
  ASSERT_TRUE(control.StartListening());
  Send(10, Hello(u"urn:uuid:door"_qs, Address(10)));
  Send(11, Hello(u"urn:uuid:gate"_qs, Address(11)));
  Send(12, Hello(u"urn:uuid:printer"_qs, Address(12), u"prn:Printer"_qs));
  ASSERT_TRUE(WaitFor([&] { return control.FoundCount() == 2; }));
  Send(11, Bye(u"urn:uuid:gate"_qs));
  ASSERT_TRUE(WaitFor([&] { return changes == 3; }));
  std::vector<FoundCamera> rows = List(control);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].address, Address(10));
  EXPECT_EQ(rows[0].caption, u"Door (IPC)"_qs);
  EXPECT_EQ(rows[0].mode, u"announced"_qs);
  EXPECT_EQ(rows[1].mode, u"gone (said Bye), announced"_qs);

  // Nothing answers this search: the camera that announced itself and has
  // not said Bye is listed after it all the same.
  control.Search();
  rows = List(control);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].address, Address(10));
  EXPECT_EQ(rows[0].mode, u"announced"_qs);

  // A camera that took a new address says Bye, then Hello from there.
  Send(10, Bye(u"urn:uuid:door"_qs));
  ASSERT_TRUE(WaitFor([&] { return List(control)[0].mode == u"gone (said Bye), announced"; }));
  Send(20, Hello(u"urn:uuid:door"_qs, Address(20)));
  ASSERT_TRUE(WaitFor([&] { return List(control)[0].address == Address(20); }));
  EXPECT_EQ(List(control)[0].mode, u"announced"_qs);
  EXPECT_EQ(control.FoundCount(), 1);
}

TEST_F(AnnouncedTest, AFloodOfForgedHellosStaysWithinTheListCap) {
  options.maxCameras = 50;
  device::NetCameraControl control(options);
  int changes = 0;
  control.SetListChangedCallback([&] { ++changes; });
  ASSERT_TRUE(control.StartListening());
  for (int i = 0; i < 3000; ++i) {
    Send(10 + i % 200, Hello(u"urn:uuid:forged-%1"_qs.arg(i), Address(10 + i % 200)));
    if (i % 100 == 0) QCoreApplication::processEvents();
  }
  ASSERT_TRUE(WaitFor([&] { return control.FoundCount() == 50; }));
  QElapsedTimer settle;
  settle.start();
  WaitFor([&] { return settle.elapsed() > 300; });
  EXPECT_EQ(control.FoundCount(), 50);
  EXPECT_EQ(changes, 50);
  control.Search();
  EXPECT_EQ(control.FoundCount(), 50) << "the announced cameras kept are capped as well";
}

// The simulator's ONVIF cameras announce themselves: Hello when they start,
// Bye when the simulator ends. One that answers no probe (its answers would
// go to its gateway) is listed by its Hello alone, and kept by the search.
TEST(SimulatorAnnouncements, AnAnnouncingCameraIsListedKeptAndGone) {
  SimCamera quiet;
  quiet.host = 30;
  quiet.protocols = {u"onvif"_qs};
  quiet.answersProbes = false;
  SimCamera usual = quiet;
  usual.host = 31;
  usual.answersProbes = true;
  Simulator sim({quiet, usual});
  device::NetOptions options = sim.Options();
  options.searchCap = std::chrono::milliseconds(1500);
  device::NetCameraControl control(options);
  ASSERT_TRUE(control.StartListening());
  ASSERT_TRUE(sim.Start());
  const auto rowAt = [&](const QString& address) -> std::optional<QString> {
    for (int32_t i = 0; i < control.FoundCount(); ++i) {
      control.DeviceIndex(i);
      if (QString::fromStdU16String(control.DeviceAddress()) == address)
        return QString::fromStdU16String(control.DeviceNote());
    }
    return std::nullopt;
  };
  ASSERT_TRUE(WaitFor([&] { return rowAt(sim.Address(30)) && rowAt(sim.Address(31)); }));
  EXPECT_EQ(rowAt(sim.Address(30)), u"announced"_qs);

  control.Search();
  EXPECT_EQ(rowAt(sim.Address(30)), u"announced"_qs) << "kept though it answers no probe";
  EXPECT_EQ(rowAt(sim.Address(31)), QString()) << "found by the search";

  sim.Stop();
  EXPECT_TRUE(WaitFor([&] { return rowAt(sim.Address(30)).value_or(QString()).startsWith(u"gone (said Bye)"); }));
  EXPECT_TRUE(WaitFor([&] { return rowAt(sim.Address(31)).value_or(QString()).startsWith(u"gone (said Bye)"); }));
}

}  // namespace
