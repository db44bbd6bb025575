#pragma once
// The multicast channel of discovery and of the MAC-addressed commands: one
// socket that hears the group on every chosen interface, and one sending
// socket per IPv4 address of each interface, bound to it. A socket per
// address rather than one socket choosing its source per datagram
// (IP_PKTINFO): the kernel then picks the source as for any bound socket,
// and a camera in the subnet of any of the addresses sees a sender of its own
// subnet.
#include <QHostAddress>
#include <QUdpSocket>
#include <functional>
#include <memory>
#include <vector>

#include "device/device_log.h"
#include "device/net_options.h"
#include "protocol/protocol.h"

namespace device {

class UdpChannel {
 public:
  UdpChannel(const NetOptions& options, const InterfaceChoice& choice);

  // Binds and joins; false (with the reason) when the channel cannot be used.
  bool Open(QString& error);
  // From every address of every chosen interface to the group (and to that
  // address's broadcast address on a real interface).
  void Send(const QByteArray& datagram);

  // Only datagrams that carry this nonce are parsed and handed on; the rest
  // are dropped at the cost of a search in the bytes.
  void HearOnly(const QString& nonce) { nonce_ = nonce.toLatin1(); }
  // Every valid datagram heard, with its source address and the name of the
  // interface it arrived on (empty when the kernel did not say).
  std::function<void(const protocol::Message&, const QHostAddress&, const QString&)> onMessage;
  // Each time datagrams arrive, whatever they hold.
  std::function<void()> onHeard;
  // Asked before a datagram of this exchange is parsed: true leaves it
  // unparsed (the search's list is full and only counts who answered).
  std::function<bool(const QByteArray&, const QHostAddress&)> skipParse;
  // Counts and logs a datagram that is not taken, also for the users'
  // own reasons (a foreign nonce, a spoofed source).
  void Drop(const QString& why, const QHostAddress& from) { drops_.Drop(why, from); }
  int droppedCount() const { return drops_.count(); }
  // Datagrams read, whatever they held.
  int heardCount() const { return heard_; }

 private:
  struct Sender {
    std::unique_ptr<QUdpSocket> socket;
    QHostAddress broadcast;  // null: none (loopback confinement)
  };
  void ReadPending();

  const NetOptions& options_;
  const InterfaceChoice& choice_;
  QHostAddress group_;
  QUdpSocket receiver_;
  std::vector<Sender> senders_;
  QByteArray nonce_;
  int heard_ = 0;
  DropLog drops_{QStringLiteral("a datagram")};
};

}  // namespace device
