// In a network namespace of its own (lo, and a veth pair vc0/vc1): another
// local socket has joined the group on vc0, and answers come back on both
// interfaces for every probe heard. A search confined to one interface must
// list only what that interface heard. Prints "<interface>=<addresses>" for
// lo and for vc0; exit code 77 where no namespace can be made.
#include <sched.h>

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSet>
#include <QStringList>
#include <QUdpSocket>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "device/discovery.h"
#include "protocol/protocol.h"
#include "support/netns_tools.h"

namespace {

constexpr quint16 Port = protocol::DefaultPort;
const QString VethAddress = QStringLiteral("10.77.0.1");
const QString LoopbackAddress = QStringLiteral("127.0.0.1");

bool MakeNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  return netns::Shell("ip link set lo up") && netns::Shell("ip link add vc0 type veth peer name vc1") &&
         netns::Shell("sysctl -qw net.ipv6.conf.all.disable_ipv6=1") &&
         netns::Shell("ip addr add 10.77.0.1/24 dev vc0") && netns::Shell("ip link set vc0 up") &&
         netns::Shell("ip link set vc1 up");
}

// A camera's answer to `nonce`, sent from `address` out of `interfaceName`.
class Answerer {
 public:
  Answerer(const QString& address, const QString& interfaceName) : address_(address) {
    socket_.bind(QHostAddress(address), 0);
    socket_.setMulticastInterface(QNetworkInterface::interfaceFromName(interfaceName));
    socket_.setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
  }
  void answer(const QString& nonce) {
    protocol::Message here;
    here.kind = protocol::Kind::Here;
    here.nonce = nonce;
    here.mac = QStringLiteral("0.12.34.0.0.%1").arg(address_.section(u'.', 3));
    here.address = address_;
    here.mask = QStringLiteral("255.255.255.0");
    here.mode = QStringLiteral("X-350");
    here.caption = address_;
    here.version = QStringLiteral("2.10.001");
    here.family = 2;
    here.port = protocol::HttpPortFamily2;
    socket_.writeDatagram(protocol::BuildDatagram(here), QHostAddress(QString::fromLatin1(protocol::DefaultGroup)),
                          Port);
  }

 private:
  QString address_;
  QUdpSocket socket_;
};

QString Search(const QString& interfaceName) {
  device::NetOptions options;
  options.interfaceNames = QStringList{interfaceName};
  options.port = Port;
  QStringList addresses;
  for (const device::FoundCamera& camera :
       device::SearchCameras(options, device::ChooseInterfaces(QStringList{interfaceName}), {}).cameras)
    addresses << camera.address;
  return interfaceName + u'=' + addresses.join(u',');
}

}  // namespace

int main(int argc, char** argv) {
  if (!MakeNamespace()) {
    std::printf("cannot make a network namespace\n");
    return netns::SkipStatus;
  }
  QCoreApplication app(argc, argv);
  const QHostAddress group(QString::fromLatin1(protocol::DefaultGroup));
  // The other local socket: it joined the group on both interfaces, hears
  // every probe and has both cameras answer it.
  QUdpSocket listener;
  if (!listener.bind(group, Port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) ||
      !listener.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(u"lo"_qs)) ||
      !listener.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(u"vc0"_qs))) {
    std::printf("cannot join the group: %s\n", qPrintable(listener.errorString()));
    return 1;
  }
  Answerer onLoopback(LoopbackAddress, u"lo"_qs);
  Answerer onVeth(VethAddress, u"vc0"_qs);
  QSet<QString> answered;
  QObject::connect(&listener, &QUdpSocket::readyRead, [&] {
    while (listener.hasPendingDatagrams()) {
      const protocol::Parsed parsed = protocol::ParseDatagram(listener.receiveDatagram().data());
      if (!parsed.message || parsed.message->kind != protocol::Kind::Probe || answered.contains(parsed.message->nonce))
        continue;
      answered << parsed.message->nonce;
      onLoopback.answer(parsed.message->nonce);
      onVeth.answer(parsed.message->nonce);
    }
  });
  std::printf("%s\n%s\n", qPrintable(Search(u"lo"_qs)), qPrintable(Search(u"vc0"_qs)));
  return 0;
}
