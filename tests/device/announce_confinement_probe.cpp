// In a network namespace of its own (lo, and a veth pair vc0/vc1, with
// another local socket joined to the group on both): Hellos sent from
// 127.0.0.1 out of lo ("a"), from 10.77.0.1 out of lo ("b") and from
// 10.77.0.1 out of vc0 ("c"). A camera control listening on one interface
// lists only what that interface heard, and confined to loopback only what
// came from 127.0.0.0/8. Prints "<interface>=<endpoints>" for lo and for
// vc0; exit code 77 where no namespace can be made.
#include <sched.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QStringList>
#include <QUdpSocket>
#include <cstdio>
#include <cstdlib>

#include "device/net_camera_control.h"
#include "protocol/protocol.h"
#include "support/netns_tools.h"

namespace {

bool MakeNamespace() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  return netns::Shell("ip link set lo up") && netns::Shell("ip link add vc0 type veth peer name vc1") &&
         netns::Shell("sysctl -qw net.ipv6.conf.all.disable_ipv6=1") &&
         netns::Shell("ip addr add 10.77.0.1/24 dev vc0") && netns::Shell("ip link set vc0 up") &&
         netns::Shell("ip link set vc1 up");
}

QByteArray Hello(const QString& endpoint, const QString& address) {
  return QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope "
             "xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
             "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
             "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Header/><s:Body><d:Hello>"
             "<a:EndpointReference><a:Address>%1</a:Address></a:EndpointReference>"
             "<d:Types>dn:NetworkVideoTransmitter</d:Types><d:Scopes>onvif://www.onvif.org/name/%1</"
             "d:Scopes><d:XAddrs>http://%2/onvif/device_service</d:XAddrs>"
             "</d:Hello></s:Body></s:Envelope>")
      .arg(endpoint, address)
      .toUtf8();
}

void SendHello(const QString& endpoint, const QString& from, const QString& interfaceName) {
  QUdpSocket socket;
  socket.bind(QHostAddress(from), 0);
  socket.setMulticastInterface(QNetworkInterface::interfaceFromName(interfaceName));
  socket.setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
  socket.writeDatagram(Hello(endpoint, from), QHostAddress(QString::fromLatin1(protocol::OnvifGroup)),
                       protocol::OnvifPort);
}

QString Listen(const QString& interfaceName) {
  device::NetOptions options;
  options.interfaceNames = QStringList{interfaceName};
  device::NetCameraControl control(options);
  if (!control.StartListening()) return interfaceName + u"=cannot listen"_qs;
  SendHello(u"a"_qs, u"127.0.0.1"_qs, u"lo"_qs);
  SendHello(u"b"_qs, u"10.77.0.1"_qs, u"lo"_qs);
  SendHello(u"c"_qs, u"10.77.0.1"_qs, u"vc0"_qs);
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QStringList heard;
  for (int32_t i = 0; i < control.FoundCount(); ++i) {
    control.DeviceIndex(i);
    heard << QString::fromStdU16String(control.DeviceAddress()) + u'/' +
                 QString::fromStdU16String(control.DeviceCaption());
  }
  return interfaceName + u'=' + heard.join(u',');
}

}  // namespace

int main(int argc, char** argv) {
  if (!MakeNamespace()) {
    std::printf("cannot make a network namespace\n");
    return netns::SkipStatus;
  }
  QCoreApplication app(argc, argv);
  const QHostAddress group(QString::fromLatin1(protocol::OnvifGroup));
  // Another program that joined the group on both interfaces.
  QUdpSocket other;
  if (!other.bind(group, protocol::OnvifPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) ||
      !other.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(u"lo"_qs)) ||
      !other.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(u"vc0"_qs))) {
    std::printf("cannot join the group: %s\n", qPrintable(other.errorString()));
    return 1;
  }
  std::printf("%s\n%s\n", qPrintable(Listen(u"lo"_qs)), qPrintable(Listen(u"vc0"_qs)));
  return 0;
}
