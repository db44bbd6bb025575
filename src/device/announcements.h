#pragma once
// Cameras' own announcements: WS-Discovery Hello (a camera starts or takes a
// new address) and Bye (it stops or leaves its address), heard on the group
// 239.255.255.250:3702 of every chosen interface while the program runs. A
// camera whose answers to our probes are routed away (a foreign subnet with a
// gateway) still announces itself on the link. The listener never sends.
//
// Whatever arrives is hostile until read: a datagram is taken only from a
// chosen interface (under loopback confinement only from 127.0.0.0/8), only
// when it names Hello or Bye, parsed with the limits of the search's answers,
// and at most MaxAnnouncementsPerSecond are parsed; the rest are counted and
// dropped, so a flood of forged Hellos costs bounded time per second.
#include <QElapsedTimer>
#include <QHash>
#include <QUdpSocket>
#include <functional>

#include "device/device_log.h"
#include "device/found_camera.h"
#include "device/net_options.h"

namespace device {

inline constexpr int MaxAnnouncementsPerSecond = 1024;

class AnnouncementListener {
 public:
  explicit AnnouncementListener(const NetOptions& options);

  // Binds the WS-Discovery port (shared with other programs) and joins the
  // group on every chosen interface; false (with the reason) when it can
  // hear on none.
  bool Open(QString& error);

  // A camera's Hello, as a row: origin Announced, the interface it was
  // heard on.
  std::function<void(const FoundCamera&)> onHello;
  // A camera's Bye: its endpoint.
  std::function<void(const QString&)> onBye;

  int droppedCount() const { return drops_.count(); }

 private:
  void ReadPending();
  void Take(const QByteArray& datagram, const QHostAddress& from, const QString& interfaceName);
  bool WithinRate();

  const NetOptions& options_;
  InterfaceChoice choice_;
  QHash<int, QString> chosen_;  // interface index: name
  QUdpSocket socket_;
  QElapsedTimer second_;
  int parsedThisSecond_ = 0;
  DropLog drops_{QStringLiteral("a WS-Discovery announcement")};
};

}  // namespace device
