// The ONVIF half of the search on loopback, against scripted WS-Discovery
// responders: one row per endpoint however often a camera answers, late
// answers still listed, answers to another probe or not from a camera
// dropped.
#include <gtest/gtest.h>

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "device/discovery.h"
#include "protocol/onvif_xml.h"

namespace {

quint16 FreeUdpPort() {
  QUdpSocket socket;
  socket.bind(QHostAddress::LocalHost, 0);
  return socket.localPort();
}

// Hears the probes on the group and answers each from its own address after
// a delay, relating to the probe's MessageID unless told otherwise.
class Responder {
 public:
  struct Camera {
    QString address;  // where it answers from
    QString endpoint;
    int delayMs = 0;
    QString relatesTo{};  // empty: the probe's MessageID
    QString types = u"dn:NetworkVideoTransmitter tds:Device"_qs;
  };

  Responder(quint16 port, std::vector<Camera> cameras) : cameras_(std::move(cameras)) {
    EXPECT_TRUE(listener_.bind(QHostAddress(u"239.255.255.250"_qs), port,
                               QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    EXPECT_TRUE(listener_.joinMulticastGroup(QHostAddress(u"239.255.255.250"_qs),
                                             QNetworkInterface::interfaceFromName(u"lo"_qs)));
    for (const Camera& camera : cameras_) {
      auto socket = std::make_unique<QUdpSocket>();
      EXPECT_TRUE(socket->bind(QHostAddress(camera.address), 0)) << camera.address.toStdString();
      senders_.push_back(std::move(socket));
    }
    QObject::connect(&listener_, &QUdpSocket::readyRead, &listener_, [this] { Hear(); });
  }
  int probes = 0;

 private:
  void Hear() {
    while (listener_.hasPendingDatagrams()) {
      const QNetworkDatagram probe = listener_.receiveDatagram();
      const protocol::SoapRead read = protocol::ReadSoap(probe.data());
      if (!read.message) continue;
      ++probes;
      const QString messageId = read.message->header.ChildText(u"MessageID", protocol::Ns::Addressing);
      for (size_t i = 0; i < cameras_.size(); ++i) {
        const Camera& camera = cameras_[i];
        const QByteArray answer = Matches(camera, camera.relatesTo.isEmpty() ? messageId : camera.relatesTo);
        QUdpSocket* socket = senders_[i].get();
        const QHostAddress to = probe.senderAddress();
        const quint16 port = static_cast<quint16>(probe.senderPort());
        QTimer::singleShot(camera.delayMs, socket,
                           [socket, answer, to, port] { socket->writeDatagram(answer, to, port); });
      }
    }
  }

  static QByteArray Matches(const Camera& camera, const QString& relatesTo) {
    return (uR"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"
        xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">
        <e:Header><a:RelatesTo>)"_qs +
            relatesTo +
            uR"(</a:RelatesTo></e:Header><e:Body><d:ProbeMatches><d:ProbeMatch>
        <a:EndpointReference><a:Address>)"_qs +
            camera.endpoint +
            uR"(</a:Address></a:EndpointReference>
        <d:Types>)"_qs +
            camera.types + uR"(</d:Types><d:Scopes>onvif://www.onvif.org/name/)"_qs + camera.endpoint.right(2) +
            uR"(</d:Scopes><d:XAddrs>http://)"_qs + camera.address +
            uR"(/onvif/device_service</d:XAddrs>
        </d:ProbeMatch></d:ProbeMatches></e:Body></e:Envelope>)"_qs)
        .toUtf8();
  }

  std::vector<Camera> cameras_;
  QUdpSocket listener_;
  std::vector<std::unique_ptr<QUdpSocket>> senders_;
};

device::NetOptions Options() {
  device::NetOptions options;
  options.interfaceNames = QStringList{u"lo"_qs};
  options.port = FreeUdpPort();  // no camera of our own protocol answers here
  options.onvifPort = FreeUdpPort();
  return options;
}

TEST(OnvifSearch, OneRowPerEndpointLateAnswersIncludedForeignOnesDropped) {
  const device::NetOptions options = Options();
  Responder responder(options.onvifPort,
                      {{u"127.0.7.1"_qs, u"urn:uuid:cam-01"_qs, 0},
                       {u"127.0.7.2"_qs, u"urn:uuid:cam-02"_qs, 480},                          // a late answer
                       {u"127.0.7.3"_qs, u"urn:uuid:cam-03"_qs, 10, u"urn:uuid:not-ours"_qs},  // another probe's
                       {u"127.0.7.4"_qs, u"urn:uuid:prn-04"_qs, 10, {}, u"wprt:PrintDeviceType"_qs}});
  std::vector<QString> streamed;
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames),
                            [&](const device::FoundCamera& camera) { streamed.push_back(camera.endpoint); });
  ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
  EXPECT_GE(responder.probes, 6) << "two probes (one per type), three copies each";
  ASSERT_EQ(outcome.cameras.size(), 2u) << "each camera answered six probes: one row each";
  EXPECT_EQ(outcome.cameras[0].endpoint, u"urn:uuid:cam-01"_qs);
  EXPECT_EQ(outcome.cameras[0].address, u"127.0.7.1"_qs);
  EXPECT_EQ(outcome.cameras[0].mode, u"ONVIF"_qs);
  EXPECT_EQ(outcome.cameras[0].caption, u"01"_qs);
  EXPECT_EQ(outcome.cameras[0].interfaceName, u"lo"_qs) << "the interface it was heard on";
  EXPECT_EQ(outcome.cameras[1].endpoint, u"urn:uuid:cam-02"_qs);
  EXPECT_EQ(streamed, (std::vector<QString>{u"urn:uuid:cam-01"_qs, u"urn:uuid:cam-02"_qs})) << "rows as they arrive";
  EXPECT_GE(outcome.dropped, 12) << "the foreign and the printer's answers, each counted";
}

// Whoever sees our multicast probe can answer it first with a real camera's
// endpoint: that answer gets a row of its own and the camera keeps its row.
TEST(OnvifSearch, AnEndpointClaimedFromAnotherAddressDoesNotHideTheCamera) {
  const device::NetOptions options = Options();
  Responder responder(options.onvifPort, {{u"127.0.7.9"_qs, u"urn:uuid:cam-01"_qs, 0},  // the forger, first
                                          {u"127.0.7.1"_qs, u"urn:uuid:cam-01"_qs, 100}});
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames), {});
  ASSERT_EQ(outcome.cameras.size(), 2u);
  EXPECT_EQ(outcome.cameras[0].address, u"127.0.7.1"_qs);
  EXPECT_EQ(outcome.cameras[1].address, u"127.0.7.9"_qs);
}

// Floods the unicast port a probe came from (anyone on the link sees it)
// with answers to another probe, from a thread, for at most `limit` and at
// most two million datagrams, starting at the first probe it hears.
class ProbePortFlood {
 public:
  ProbePortFlood(quint16 port, std::chrono::milliseconds limit) : limit_(limit) {
    EXPECT_TRUE(listener_.bind(QHostAddress(u"239.255.255.250"_qs), port,
                               QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    EXPECT_TRUE(listener_.joinMulticastGroup(QHostAddress(u"239.255.255.250"_qs),
                                             QNetworkInterface::interfaceFromName(u"lo"_qs)));
    QObject::connect(&listener_, &QUdpSocket::readyRead, &listener_, [this] {
      const QNetworkDatagram probe = listener_.receiveDatagram();
      if (!thread_.joinable()) Start(probe.senderAddress(), static_cast<quint16>(probe.senderPort()));
    });
  }
  ~ProbePortFlood() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool ended() const { return ended_; }
  long sent() const { return sent_; }

 private:
  void Start(const QHostAddress& to, quint16 port) {
    const QByteArray answer =
        uR"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
        xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><e:Header><a:RelatesTo>urn:uuid:another-probe</a:RelatesTo>
        </e:Header><e:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:flood</a:Address>
        </a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types></d:ProbeMatch></d:ProbeMatches></e:Body></e:Envelope>)"_qs
            .toUtf8();
    thread_ = std::thread([this, answer, to, port] {
      QUdpSocket socket;
      const auto end = std::chrono::steady_clock::now() + limit_;
      while (!stop_ && sent_ < 2'000'000 && std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 256; ++i) {
          if (socket.writeDatagram(answer, to, port) > 0) ++sent_;
        }
      }
      ended_ = true;
    });
  }

  std::chrono::milliseconds limit_;
  QUdpSocket listener_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<long> sent_{0};
};

// The flood is read a bounded batch at a time, so the search's timers still
// run: it ends at its cap long before the flood does.
TEST(OnvifSearch, AFloodOnTheProbesPortDoesNotHoldTheSearchPastItsCap) {
  device::NetOptions options = Options();
  options.searchCap = std::chrono::milliseconds(500);
  ProbePortFlood flood(options.onvifPort, std::chrono::seconds(4));
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames), {});
  EXPECT_GT(flood.sent(), 1000) << "the flood ran";
  EXPECT_FALSE(flood.ended()) << "the search ran as long as the flood: " << flood.sent() << " datagrams";
  EXPECT_TRUE(outcome.cameras.empty());
  EXPECT_GT(outcome.dropped, 0) << "the flood was read and dropped while the search ran";
}

TEST(OnvifSearch, NoOnvifSearchWhenItsPortIsZero) {
  device::NetOptions options = Options();
  Responder responder(options.onvifPort, {{u"127.0.7.1"_qs, u"urn:uuid:cam-01"_qs, 0}});
  const quint16 port = options.onvifPort;
  options.onvifPort = 0;
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames), {});
  EXPECT_TRUE(outcome.cameras.empty());
  EXPECT_EQ(responder.probes, 0) << "nothing sent to " << port;
}

}  // namespace
