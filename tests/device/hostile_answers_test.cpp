// Answers nobody should trust, injected from raw sockets while a search runs:
// they are dropped, or listed as plain data, and the real cameras still are.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QSet>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "device/discovery.h"
#include "device/net_camera_control.h"
#include "injector.h"
#include "simulator.h"

namespace {

using device::NetCameraControl;

std::u16string U(const QString& text) { return text.toStdU16String(); }

const QString ShellText = QStringLiteral("$(reboot)`rm -rf /`;|& \x1b[2J\n");

TEST(NetHostileAnswers, DroppedOrShownAsPlainDataAndTheRealCamerasStillListed) {
  Simulator sim({{.host = 10, .caption = u"Real ten"_qs}, {.host = 11, .family = 0, .mode = u"C-100"_qs}});
  ASSERT_TRUE(sim.Start());
  Injector injector(sim, [&](Injector& in, const QString& nonce) {
    in.SendFrom(40, "not json at all");
    QJsonObject oversized = in.Answer(nonce, 41);
    oversized.insert(u"padding"_qs, QString(1500, u'x'));
    in.SendFrom(41, Injector::Bytes(oversized));
    for (int i = 0; i < 3000; ++i) {  // a flood of wrong nonces and garbage
      in.SendFrom(42, i % 2
                          ? Injector::Bytes(in.Answer(u"00000000000000%1"_qs.arg(i % 100, 2, 10, QLatin1Char('0')), 42))
                          : QByteArray("{\"v\":1,\"op\":\"here\"}"));
    }
    in.SendFrom(43, Injector::Bytes(in.Answer(nonce, 44)));  // reports an address it does not send from
    QJsonObject forgedMac = in.Answer(nonce, 45);
    forgedMac.insert(u"mac"_qs, sim.Mac(10));  // claims the real camera's MAC
    in.SendFrom(45, Injector::Bytes(forgedMac));
    QJsonObject shell = in.Answer(nonce, 46);
    shell.insert(u"caption"_qs, ShellText);
    shell.insert(u"mode"_qs, u"350'; shutdown -h now; '"_qs);
    in.SendFrom(46, Injector::Bytes(shell));
    QJsonObject wrongTypes = in.Answer(nonce, 47);
    wrongTypes.insert(u"port"_qs, u"80"_qs);
    in.SendFrom(47, Injector::Bytes(wrongTypes));
  });

  NetCameraControl cam(sim.Options());
  cam.Search();

  std::map<std::u16string, int32_t> rowOf;
  for (int32_t i = 0; i < cam.FoundCount(); ++i) {
    cam.DeviceIndex(i);
    rowOf[cam.DeviceAddress()] = i;
  }
  ASSERT_EQ(cam.FoundCount(), 4) << "the two cameras, the forged MAC's own row and the odd texts";
  ASSERT_TRUE(rowOf.count(U(sim.Address(10))));
  ASSERT_TRUE(rowOf.count(U(sim.Address(11))));
  cam.DeviceIndex(rowOf[U(sim.Address(10))]);
  EXPECT_EQ(cam.DeviceCaption(), u"Real ten") << "the forged answer does not replace the real camera";
  EXPECT_EQ(cam.DeviceMacText(), U(sim.Mac(10)));
  ASSERT_TRUE(rowOf.count(U(sim.Address(45))));
  ASSERT_TRUE(rowOf.count(U(sim.Address(46))));
  cam.DeviceIndex(rowOf[U(sim.Address(46))]);
  EXPECT_EQ(cam.DeviceCaption(), U(ShellText)) << "texts are data, kept as sent";
  EXPECT_EQ(cam.DeviceMode(), u"350'; shutdown -h now; '");
  for (int host : {40, 41, 42, 43, 44, 47}) EXPECT_FALSE(rowOf.count(U(sim.Address(host)))) << host;
}

// Past the cap the first cameras heard stay listed and the rest are
// counted, once per address that holds no row.
TEST(NetHostileAnswers, AFloodOfCamerasStopsAtTheCapAndTheRestIsCounted) {
  Simulator sim(std::vector<SimCamera>{{.host = 10}});
  ASSERT_TRUE(sim.Start());
  Injector injector(sim, [&](Injector& in, const QString& nonce) {
    for (int i = 0; i < 500; ++i) {
      QJsonObject answer = in.Answer(nonce, 50);
      answer.insert(u"mac"_qs, u"9.9.9.9.%1.%2"_qs.arg(i / 256).arg(i % 256));
      in.SendFrom(50, Injector::Bytes(answer));
    }
    for (int host = 51; host <= 60; ++host) in.SendFrom(host, Injector::Bytes(in.Answer(nonce, host)));
  });
  device::NetOptions options = sim.Options();
  options.maxCameras = 40;
  NetCameraControl cam(options);
  cam.Search();
  ASSERT_EQ(cam.FoundCount(), 40);
  QSet<std::u16string> listedAt;
  for (int32_t i = 0; i < cam.FoundCount(); ++i) {
    cam.DeviceIndex(i);
    listedAt.insert(cam.DeviceAddress());
  }
  EXPECT_TRUE(listedAt.contains(U(sim.Address(50)))) << "the first heard are kept";
  EXPECT_EQ(cam.LeftOutCount(), 12 - listedAt.size()) << "hosts 10 and 50-60 answered; those without a row are counted";
}

// One datagram of our protocol from an ONVIF camera's address, naming the
// MAC its scopes name (anyone can send it), once the camera is listed: the
// row stays the ONVIF camera's. The same datagram from an address nobody
// holds is listed, so it was heard.
TEST(NetHostileAnswers, AnAnswerOfOurProtocolNeverRewritesAnOnvifRow) {
  Simulator sim({{.host = 20, .caption = u"Onvif twenty"_qs, .protocols = {u"onvif"_qs}}});
  ASSERT_TRUE(sim.Start());
  QString nonce;
  Injector injector(sim, [&](Injector&, const QString& heard) { nonce = heard; });
  const auto forged = [&](int host) {
    QJsonObject answer = injector.Answer(nonce, host);
    answer.insert(u"family"_qs, 0);
    answer.insert(u"mode"_qs, u"C-100"_qs);
    answer.insert(u"caption"_qs, u"Forged"_qs);
    return Injector::Bytes(answer);
  };
  NetCameraControl cam(sim.Options());
  bool sent = false;
  cam.SetFoundCallback([&](const device::FoundCamera& camera) {
    if (camera.endpoint.isEmpty() || sent) return;
    injector.SendFrom(20, forged(20));
    injector.SendFrom(21, forged(21));
    sent = true;
  });
  cam.Search();
  ASSERT_TRUE(sent) << "the ONVIF camera was listed";
  ASSERT_EQ(cam.FoundCount(), 2);
  cam.DeviceIndex(0);
  EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(20)));
  EXPECT_EQ(cam.DeviceMode(), u"ONVIF");
  EXPECT_NE(cam.DeviceCaption(), u"Forged");
  cam.DeviceIndex(1);
  EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(21)));
  EXPECT_EQ(cam.DeviceMode(), u"C-100");
}

// 128 forged ProbeMatches of 360 matches each, every endpoint new, relating
// to our first probe (anyone on the link reads its MessageID), sent paced so
// that the receive buffer keeps them: each is refused unparsed (more than
// MaxMatchesPerAnswer matches), the search ends at its cap at the latest (it
// took minutes), and the real camera is listed.
TEST(NetHostileAnswers, AFloodOfForgedProbeMatchesIsRefusedAndEndsInTime) {
  Simulator sim({{.host = 10, .caption = u"Real"_qs, .protocols = {u"onvif"_qs}}});
  ASSERT_TRUE(sim.Start());
  constexpr int Datagrams = 128;
  constexpr int MatchesEach = 360;
  // Made beforehand, so that the flood goes out while the search runs.
  std::vector<QByteArray> flood;
  for (int d = 0; d < Datagrams; ++d) {
    QStringList endpoints;
    for (int m = 0; m < MatchesEach; ++m) endpoints << u"urn:uuid:f-%1-%2"_qs.arg(d).arg(m);
    flood.push_back(OnvifInjector::Matches(u"RELATES-TO"_qs, endpoints));
  }
  int sent = 0;
  QTimer pace;
  QByteArray relatesTo;
  OnvifInjector injector(sim, [&](OnvifInjector&, const QString& messageId) {
    if (relatesTo.isEmpty()) relatesTo = messageId.toUtf8();
    if (!pace.isActive() && sent == 0) pace.start(1);
  });
  QObject::connect(&pace, &QTimer::timeout, [&] {
    for (int i = 0; i < 8 && sent < Datagrams; ++i, ++sent) {
      injector.SendFrom(60, QByteArray(flood[static_cast<size_t>(sent)]).replace("RELATES-TO", relatesTo));
    }
    if (sent == Datagrams) pace.stop();
  });
  const device::NetOptions options = sim.Options();
  QElapsedTimer clock;
  clock.start();
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames), {});
  const qint64 took = clock.elapsed();
  EXPECT_EQ(sent, Datagrams);
  EXPECT_LT(took, options.searchCap.count() + 2000) << "the cap holds";
  int forged = 0;
  bool real = false;
  for (const device::FoundCamera& camera : outcome.cameras) {
    forged += camera.address == sim.Address(60);
    real = real || camera.address == sim.Address(10);
  }
  EXPECT_EQ(forged, 0);
  EXPECT_GE(outcome.dropped, Datagrams / 2) << "the flood was read and dropped";
  EXPECT_TRUE(real);
}

// Sends well-formed answers to other searches to the group as fast as one
// thread can, from the simulator's address at host, until told to stop or
// for at most `limit` (and at most 4 million datagrams).
class Flood {
 public:
  Flood(const Simulator& sim, int host, std::chrono::milliseconds limit) {
    protocol::Message answer;
    answer.kind = protocol::Kind::Here;
    answer.nonce = u"0123456789abcdef"_qs;
    answer.mac = sim.Mac(host);
    answer.address = sim.Address(host);
    answer.mask = u"255.255.255.0"_qs;
    answer.mode = u"X-350"_qs;
    answer.caption = u"Flood"_qs;
    answer.version = u"1.00.000"_qs;
    answer.family = 2;
    answer.port = 80;
    const QByteArray datagram = protocol::BuildDatagram(answer);
    const QByteArray from = sim.Address(host).toLatin1();
    const quint16 port = sim.port();
    thread_ = std::thread([this, datagram, from, port, limit] {
      const int fd = socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in source{};
      source.sin_family = AF_INET;
      inet_pton(AF_INET, from.constData(), &source.sin_addr);
      bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
      setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &source.sin_addr, sizeof source.sin_addr);
      sockaddr_in group{};
      group.sin_family = AF_INET;
      group.sin_port = htons(port);
      inet_pton(AF_INET, protocol::DefaultGroup, &group.sin_addr);
      const auto end = std::chrono::steady_clock::now() + limit;
      while (!stop_ && sent_ < 4'000'000 && std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 256; ++i) {
          if (sendto(fd, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                     reinterpret_cast<sockaddr*>(&group), sizeof group) > 0)
            ++sent_;
        }
      }
      close(fd);
      ended_ = true;
    });
  }
  ~Flood() {
    stop_ = true;
    thread_.join();
  }
  bool ended() const { return ended_; }
  long sent() const { return sent_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

// A flood of answers to other searches: the search still ends at its cap,
// long before the flood does, and it read the flood all along (the whole
// flood goes to the simulated camera too, so whether its answer makes it is
// measured by bench/hostile_figures.py, not asserted here).
TEST(NetHostileAnswers, AFloodDoesNotHoldTheSearchPastItsCap) {
  Simulator sim(std::vector<SimCamera>{{.host = 10}});
  ASSERT_TRUE(sim.Start());
  device::NetOptions options = sim.Options();
  options.quietPeriod = std::chrono::milliseconds(400);
  options.searchCap = std::chrono::milliseconds(400);
  Flood flood(sim, 60, std::chrono::seconds(4));
  ASSERT_TRUE(WaitUntil([&] { return flood.sent() > 10000; }, 2000));
  const device::SearchOutcome outcome =
      device::SearchCameras(options, device::ChooseInterfaces(options.interfaceNames), {});
  EXPECT_FALSE(flood.ended()) << "the search ran as long as the flood: " << flood.sent() << " datagrams";
  EXPECT_TRUE(outcome.error.isEmpty());
  EXPECT_GT(outcome.dropped, 0) << "the flood was read and dropped while the search ran";
}

}  // namespace
