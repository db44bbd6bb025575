#include "device/discovery.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSet>
#include <QTimer>
#include <algorithm>

#include "device/device_log.h"
#include "device/onvif_discovery.h"
#include "device/udp_channel.h"

namespace device {
namespace {

constexpr int LargeFleetCopies = 3;

FoundCamera FromAnswer(const protocol::Message& answer) {
  return FoundCamera{answer.mac,    answer.address, answer.mask,    answer.gateway, answer.mode,
                     answer.caption, answer.version, answer.family, answer.port, QString(), QString()};
}

bool ListedBefore(const FoundCamera& a, const FoundCamera& b) {
  const uint32_t ipA = protocol::ParseIPv4(a.address).value_or(0);
  const uint32_t ipB = protocol::ParseIPv4(b.address).value_or(0);
  if (ipA != ipB) return ipA < ipB;
  return protocol::ParseMac(a.mac) < protocol::ParseMac(b.mac);
}

// The row of a camera already listed by the other protocol: at the same
// address with the same MAC, or, where the ONVIF row's MAC is unknown, the
// only row of the other protocol at that address (of two cameras sharing an
// address, neither is taken for it).
FoundCamera* SameCamera(std::vector<FoundCamera>& cameras, const FoundCamera& camera) {
  FoundCamera* same = nullptr;
  int atAddress = 0;
  for (FoundCamera& listed : cameras) {
    if (listed.address != camera.address || listed.endpoint.isEmpty() == camera.endpoint.isEmpty()) continue;
    if (!camera.mac.isEmpty() && listed.mac == camera.mac) return &listed;
    const bool macUnknown = camera.mac.isEmpty() || listed.mac.isEmpty();
    if (macUnknown) same = &listed;
    ++atAddress;
  }
  return atAddress == 1 ? same : nullptr;
}

}  // namespace

SearchOutcome SearchCameras(const NetOptions& options, const InterfaceChoice& choice,
                            const std::function<void(const FoundCamera&)>& onFound) {
  SearchOutcome outcome;
  UdpChannel channel(options, choice);
  if (!channel.Open(&outcome.error)) {
    qCWarning(lcDiscovery).noquote() << "Search: cannot search:" << outcome.error;
    return outcome;
  }

  protocol::Message probe;
  probe.kind = protocol::Kind::Probe;
  probe.nonce = protocol::RandomHex(protocol::NonceHexChars);
  const QByteArray probeDatagram = protocol::BuildDatagram(probe);
  channel.HearOnly(probe.nonce);

  QEventLoop loop;
  QElapsedTimer clock;
  QTimer probeTimer;
  QTimer endTimer;
  endTimer.setSingleShot(true);
  endTimer.setTimerType(Qt::PreciseTimer);
  QSet<QString> seen;  // MAC@address of every camera listed
  QSet<QString> macs;
  int probesSent = 0;
  bool probing = true;
  qint64 lastProbeAt = 0;
  qint64 lastNewAt = 0;
  bool capLogged = false;

  onvif::Prober prober(options, choice);
  QString onvifError;
  bool onvifProbing = options.onvifPort != 0 && prober.Open(&onvifError);
  if (options.onvifPort != 0 && !onvifProbing) {
    qCWarning(lcDiscovery).noquote() << "Search: no ONVIF search:" << onvifError;
  }
  const bool onvifSearch = onvifProbing;
  QTimer onvifTimer;
  int onvifSent = 0;
  qint64 lastOnvifAt = 0;

  // The end moves with every probe copy and every new camera.
  const auto scheduleEnd = [&] {
    if (probing || onvifProbing) return;
    qint64 endAt = std::max(lastProbeAt + options.answerWindow.count(), lastNewAt + options.quietPeriod.count());
    if (onvifSearch) endAt = std::max(endAt, lastOnvifAt + options.onvifWindow.count());
    endAt = std::min<qint64>(endAt, options.searchCap.count());
    endTimer.start(static_cast<int>(std::max<qint64>(0, endAt - clock.elapsed())));
  };
  // Every copy is answered by every camera, so a large fleet gets fewer
  // copies: its answers would otherwise flood the link and the receive buffer.
  const auto copiesWanted = [&] {
    const int copies = std::max(1, options.probeCopies);
    return static_cast<int>(outcome.cameras.size()) >= options.largeFleet ? std::min(copies, LargeFleetCopies)
                                                                          : copies;
  };
  const auto sendProbe = [&] {
    if (probesSent < copiesWanted()) {
      channel.Send(probeDatagram);
      ++probesSent;
      lastProbeAt = clock.elapsed();
    }
    if (probesSent >= copiesWanted()) {
      probeTimer.stop();
      probing = false;
    }
    scheduleEnd();
  };

  channel.onMessage = [&](const protocol::Message& answer, const QHostAddress& from) {
    if (answer.kind != protocol::Kind::Here) return;  // our own probes and the MAC commands' traffic
    if (answer.nonce != probe.nonce) return channel.Drop(QStringLiteral("answer to another search"), from);
    if (from.toIPv4Address() != protocol::ParseIPv4(answer.address)) {
      return channel.Drop(QStringLiteral("source differs from the address it reports (%1)").arg(answer.address),
                          from);
    }
    // The same camera again, or heard on a second interface. A MAC claimed
    // from another address gets a row of its own: a forged answer must not
    // hide the real camera.
    const QString key = answer.mac + u'@' + answer.address;
    if (seen.contains(key)) return;
    if (macs.contains(answer.mac)) {
      qCWarning(lcDiscovery) << "Search: MAC" << answer.mac << "also answers from" << answer.address;
    }
    if (static_cast<int>(outcome.cameras.size()) >= options.maxCameras) {
      if (!capLogged) qCWarning(lcDiscovery) << "Search: more than" << options.maxCameras << "cameras; the rest is left out";
      capLogged = true;
      return;
    }
    seen.insert(key);
    macs.insert(answer.mac);
    lastNewAt = clock.elapsed();
    // Heard first as an ONVIF camera: our own protocol does more, so its row
    // takes the place.
    if (FoundCamera* listed = SameCamera(outcome.cameras, FromAnswer(answer))) {
      *listed = FromAnswer(answer);
      if (onFound) onFound(*listed);
      return scheduleEnd();
    }
    outcome.cameras.push_back(FromAnswer(answer));
    if (onFound) onFound(outcome.cameras.back());
    scheduleEnd();
  };
  prober.onCamera = [&](const FoundCamera& camera) {
    if (SameCamera(outcome.cameras, camera)) return;  // it answers our own protocol as well
    if (static_cast<int>(outcome.cameras.size()) >= options.maxCameras) return;
    outcome.cameras.push_back(camera);
    lastNewAt = clock.elapsed();
    if (onFound) onFound(outcome.cameras.back());
    scheduleEnd();
  };
  const auto sendOnvifProbe = [&] {
    if (!onvifProbing) return;
    prober.Send();
    lastOnvifAt = clock.elapsed();
    if (++onvifSent >= std::max(1, options.onvifCopies)) {
      onvifTimer.stop();
      onvifProbing = false;
    }
    scheduleEnd();
  };

  QTimer capTimer;  // the search never runs longer, whatever arrives
  capTimer.setSingleShot(true);
  capTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probeTimer, &QTimer::timeout, &loop, sendProbe);
  QObject::connect(&onvifTimer, &QTimer::timeout, &loop, sendOnvifProbe);
  QObject::connect(&endTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
  QObject::connect(&capTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
  clock.start();
  capTimer.start(options.searchCap);
  probeTimer.start(options.probeInterval);
  if (onvifProbing) onvifTimer.start(options.onvifInterval);
  sendProbe();
  sendOnvifProbe();
  loop.exec(QEventLoop::ExcludeUserInputEvents);

  std::stable_sort(outcome.cameras.begin(), outcome.cameras.end(), ListedBefore);
  outcome.dropped = channel.droppedCount() + prober.droppedCount();
  // The list is complete, as the user sees it, when its last new camera
  // arrives; the search itself listens on for late ONVIF answers.
  qCInfo(lcDiscovery) << "Search: found" << outcome.cameras.size() << "cameras in" << clock.elapsed() << "ms;"
                      << "the last new one at" << lastNewAt << "ms;" << outcome.dropped << "datagrams dropped";
  return outcome;
}

}  // namespace device
