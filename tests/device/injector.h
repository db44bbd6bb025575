#pragma once
// Answers from nobody the test trusts: raw datagrams sent to the group from
// addresses of the simulator's network, while a search runs in this process
// or in another one.
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "protocol/protocol.h"
#include "simulator.h"

// Hears the probes on the group and answers each new one through `answer`,
// from sockets bound to addresses of its choice.
class Injector {
 public:
  Injector(const Simulator& sim, std::function<void(Injector&, const QString& nonce)> answer)
      : sim_(sim), answer_(std::move(answer)) {
    const QHostAddress group(QString::fromLatin1(protocol::DefaultGroup));
    listener_.bind(group, sim.port(), QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    listener_.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(u"lo"_qs));
    QObject::connect(&listener_, &QUdpSocket::readyRead, [this] { Read(); });
  }

  // Sends raw bytes to the group from the simulator's address at host.
  void SendFrom(int host, const QByteArray& datagram) {
    QUdpSocket*& socket = senders_[host];
    if (socket == nullptr) {
      owned_.push_back(std::make_unique<QUdpSocket>());
      socket = owned_.back().get();
      socket->bind(QHostAddress(sim_.Address(host)), 0);
      socket->setMulticastInterface(QNetworkInterface::interfaceFromName(u"lo"_qs));
    }
    socket->writeDatagram(datagram, QHostAddress(QString::fromLatin1(protocol::DefaultGroup)), sim_.port());
  }

  // A well-formed answer of the camera at host, to be bent by the caller.
  QJsonObject Answer(const QString& nonce, int host) const {
    return QJsonObject{{u"v"_qs, 1},
                       {u"op"_qs, u"here"_qs},
                       {u"nonce"_qs, nonce},
                       {u"mac"_qs, sim_.Mac(host)},
                       {u"address"_qs, sim_.Address(host)},
                       {u"mask"_qs, u"255.255.255.0"_qs},
                       {u"gateway"_qs, sim_.Address(1)},
                       {u"mode"_qs, u"X-350"_qs},
                       {u"caption"_qs, u"Injected"_qs},
                       {u"version"_qs, u"1.00.000"_qs},
                       {u"family"_qs, 2},
                       {u"port"_qs, 80}};
  }
  static QByteArray Bytes(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

 private:
  void Read() {
    while (listener_.hasPendingDatagrams()) {
      const protocol::Parsed parsed = protocol::ParseDatagram(listener_.receiveDatagram().data());
      if (!parsed.message || parsed.message->kind != protocol::Kind::Probe) continue;
      if (answered_.contains(parsed.message->nonce)) continue;
      answered_ << parsed.message->nonce;
      answer_(*this, parsed.message->nonce);
    }
  }

  const Simulator& sim_;
  std::function<void(Injector&, const QString&)> answer_;
  QUdpSocket listener_;
  std::map<int, QUdpSocket*> senders_;
  std::vector<std::unique_ptr<QUdpSocket>> owned_;
  QStringList answered_;
};

// Sends one datagram to the group from any loopback address, through a
// socket of its own that is closed at once (thousands of sources, no more
// than one descriptor at a time).
inline void SendOnceFrom(const QString& source, quint16 port, const QByteArray& datagram) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, source.toLatin1().constData(), &from.sin_addr);
  sockaddr_in group{};
  group.sin_family = AF_INET;
  group.sin_port = htons(port);
  inet_pton(AF_INET, protocol::DefaultGroup, &group.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
      setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &from.sin_addr, sizeof from.sin_addr) == 0) {
    sendto(fd, datagram.constData(), static_cast<size_t>(datagram.size()), 0, reinterpret_cast<sockaddr*>(&group),
           sizeof group);
  }
  close(fd);
}

// The same for WS-Discovery: hears the ONVIF probes on the simulator's
// WS-Discovery port and hands each MessageID, with the port it came from, to
// `answer`, which replies unicast with ProbeMatches of its choice.
class OnvifInjector {
 public:
  OnvifInjector(const Simulator& sim, std::function<void(OnvifInjector&, const QString& messageId)> answer)
      : sim_(sim), answer_(std::move(answer)) {
    const QHostAddress group(QString::fromLatin1(protocol::OnvifGroup));
    listener_.bind(group, sim.onvifPort(), QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    listener_.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(u"lo"_qs));
    QObject::connect(&listener_, &QUdpSocket::readyRead, [this] { Read(); });
  }

  // Unicast to the prober, from the simulator's address at host.
  void SendFrom(int host, const QByteArray& datagram) {
    QUdpSocket*& socket = senders_[host];
    if (socket == nullptr) {
      owned_.push_back(std::make_unique<QUdpSocket>());
      socket = owned_.back().get();
      socket->bind(QHostAddress(sim_.Address(host)), 0);
    }
    socket->writeDatagram(datagram, prober_, proberPort_);
  }

  // ProbeMatches relating to messageId, one match per endpoint; the MAC
  // scope names `mac` when it is not empty.
  static QByteArray Matches(const QString& messageId, const QStringList& endpoints, const QString& mac = {}) {
    QString matches;
    for (const QString& endpoint : endpoints) {
      matches += u"<d:ProbeMatch><a:EndpointReference><a:Address>"_qs + endpoint +
                 u"</a:Address></a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"_qs +
                 (mac.isEmpty() ? QString() : u"<d:Scopes>onvif://www.onvif.org/MAC/"_qs + mac + u"</d:Scopes>"_qs) +
                 u"</d:ProbeMatch>"_qs;
    }
    return (u"<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
            "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><e:Header><a:RelatesTo>"_qs +
            messageId + u"</a:RelatesTo></e:Header><e:Body><d:ProbeMatches>"_qs + matches +
            u"</d:ProbeMatches></e:Body></e:Envelope>"_qs)
        .toUtf8();
  }

 private:
  void Read() {
    static const QRegularExpression id(u"<a:MessageID>([^<]*)</a:MessageID>"_qs);
    while (listener_.hasPendingDatagrams()) {
      const QNetworkDatagram probe = listener_.receiveDatagram();
      const QRegularExpressionMatch found = id.match(QString::fromUtf8(probe.data()));
      if (!found.hasMatch() || !probe.data().contains("Probe>")) continue;
      prober_ = probe.senderAddress();
      proberPort_ = static_cast<quint16>(probe.senderPort());
      answer_(*this, found.captured(1));
    }
  }

  const Simulator& sim_;
  std::function<void(OnvifInjector&, const QString&)> answer_;
  QUdpSocket listener_;
  QHostAddress prober_;
  quint16 proberPort_ = 0;
  std::map<int, QUdpSocket*> senders_;
  std::vector<std::unique_ptr<QUdpSocket>> owned_;
};
