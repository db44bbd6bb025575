#include "device/discovery.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "device/device_log.h"
#include "device/onvif_discovery.h"
#include "device/udp_channel.h"

namespace device {
namespace {

constexpr int LargeFleetCopies = 3;

FoundCamera FromAnswer(const protocol::Message& answer) {
  FoundCamera camera;
  camera.mac = answer.mac;
  camera.address = answer.address;
  camera.mask = answer.mask;
  camera.gateway = answer.gateway;
  camera.mode = answer.mode;
  camera.caption = answer.caption;
  camera.version = answer.version;
  camera.family = answer.family;
  camera.port = answer.port;
  return camera;
}

// Address order, then MAC order. Each camera's numbers are worked out once,
// not at every comparison: at thousands of cameras the sort is on the
// window's time.
void SortAsListed(std::vector<FoundCamera>& cameras) {
  using Key = std::pair<uint32_t, decltype(protocol::ParseMac(QString()))>;
  std::vector<std::pair<Key, size_t>> order;
  order.reserve(cameras.size());
  for (size_t i = 0; i < cameras.size(); ++i) {
    order.push_back({{protocol::ParseIPv4(cameras[i].address).value_or(0), protocol::ParseMac(cameras[i].mac)}, i});
  }
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FoundCamera> sorted;
  sorted.reserve(cameras.size());
  for (const auto& [key, index] : order) sorted.push_back(std::move(cameras[index]));
  cameras = std::move(sorted);
}

// A MAC from the neighbour table belongs to whichever device last answered
// for the address: it is shown only where one row holds that address.
void GuessUnknownMacs(const FoundList& list, std::vector<FoundCamera>& cameras) {
  if (std::none_of(cameras.begin(), cameras.end(), [](const FoundCamera& camera) { return camera.mac.isEmpty(); }))
    return;
  const QHash<QString, QString> neighbours = onvif::NeighbourMacs();
  for (FoundCamera& camera : cameras) {
    if (camera.mac.isEmpty() && list.RowsAt(camera.address) == 1) camera.mac = neighbours.value(camera.address);
  }
}

}  // namespace

std::optional<FoundCamera> OwnAnswerCamera(const protocol::Message& answer, const QHostAddress& from,
                                           const QString& nonce, QString& why) {
  if (answer.kind != protocol::Kind::Here) return std::nullopt;  // our own probes and the MAC commands' traffic
  if (answer.nonce != nonce) {
    why = QStringLiteral("answer to another search");
  } else if (from.toIPv4Address() != protocol::ParseIPv4(answer.address)) {
    why = QStringLiteral("source differs from the address it reports (%1)").arg(answer.address);
  } else {
    return FromAnswer(answer);
  }
  return std::nullopt;
}

void NoteNetworks(const InterfaceChoice& choice, std::vector<FoundCamera>& cameras) {
  QHash<QString, QList<QNetworkAddressEntry>> networks;  // read once per interface, not once per row
  const auto networksOf = [&](const QString& name) -> const QList<QNetworkAddressEntry>& {
    auto at = networks.find(name);
    if (at == networks.end()) at = networks.insert(name, QNetworkInterface::interfaceFromName(name).addressEntries());
    return *at;
  };
  for (FoundCamera& camera : cameras) {
    if (camera.interfaceName.isEmpty()) {
      for (const ChosenInterface& chosen : choice.interfaces) {
        if (IsOutsideNetworks(camera.address, networksOf(chosen.interface.name()))) continue;
        camera.interfaceName = chosen.interface.name();
        break;
      }
      if (camera.interfaceName.isEmpty() && choice.interfaces.size() == 1) {
        camera.interfaceName = choice.interfaces.front().interface.name();
      }
    }
    // A camera added by its address answered there: a router reaches it.
    camera.outside = camera.origin != FoundCamera::Origin::ByAddress && !camera.interfaceName.isEmpty() &&
                     IsOutsideNetworks(camera.address, networksOf(camera.interfaceName));
  }
}

SearchOutcome SearchCameras(const NetOptions& options, const InterfaceChoice& choice,
                            const std::function<void(const FoundCamera&)>& onFound) {
  SearchOutcome outcome;
  UdpChannel channel(options, choice);
  if (!channel.Open(outcome.error)) {
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
  probeTimer.setSingleShot(true);
  QTimer endTimer;
  endTimer.setSingleShot(true);
  endTimer.setTimerType(Qt::PreciseTimer);
  FoundList list(options.maxCameras);
  int probesSent = 0;
  bool probing = true;
  qint64 lastProbeAt = 0;
  qint64 lastHeardAt = 0;  // anything on the group: cameras still answering this search or the one before
  qint64 lastNewAt = 0;
  bool capLogged = false;

  onvif::Prober prober(options, choice);
  QString onvifError;
  bool onvifProbing = options.onvifPort != 0 && prober.Open(onvifError);
  if (options.onvifPort != 0 && !onvifProbing) {
    qCWarning(lcDiscovery).noquote() << "Search: no ONVIF search:" << onvifError;
  }
  const bool onvifSearch = onvifProbing;
  QTimer onvifTimer;
  int onvifSent = 0;
  qint64 lastOnvifAt = 0;
  qint64 lastNewOnvifAt = 0;
  // ONVIF rows wait until the answers to our own protocol's first probe are
  // in, so that a camera answering both is listed as ours; from then on no
  // row changes its protocol.
  QTimer releaseTimer;
  releaseTimer.setSingleShot(true);
  if (onvifSearch) list.HoldOnvif();

  // Our own protocol listens answerWindow after its last probe copy, and on
  // while anything keeps arriving on the group (a busy fleet is still
  // answering); ONVIF listens onvifWindow after its last round of probes
  // (sent at once: about 545 ms after the first), and on while new cameras
  // keep arriving. Never past searchCap.
  const auto scheduleEnd = [&] {
    if (probing || onvifProbing) return;
    qint64 endAt = std::max(lastProbeAt + options.answerWindow.count(), lastHeardAt + options.quietPeriod.count());
    if (onvifSearch) {
      endAt =
          std::max({endAt, lastOnvifAt + options.onvifWindow.count(), lastNewOnvifAt + options.quietPeriod.count()});
    }
    endAt = std::min<qint64>(endAt, options.searchCap.count());
    endTimer.start(static_cast<int>(std::max<qint64>(0, endAt - clock.elapsed())));
  };
  const auto listed = [&](int rows) {
    const std::vector<FoundCamera>& cameras = list.cameras();
    if (onFound) {
      for (size_t i = cameras.size() - static_cast<size_t>(rows); i < cameras.size(); ++i) onFound(cameras[i]);
    }
    if (list.full() && !capLogged) {
      qCInfo(lcDiscovery) << "Search: the list holds" << options.maxCameras << "cameras; later ones are only counted";
      capLogged = true;
    }
  };
  const auto release = [&] {
    const int rows = list.ReleaseOnvif();
    if (rows > 0) lastNewAt = clock.elapsed();
    listed(rows);
  };
  // Every copy is answered by every camera, so a large fleet gets fewer
  // copies: its answers would otherwise flood the link and the receive buffer.
  // A fleet still answering the search before is as large as the datagrams
  // heard say.
  const auto copiesWanted = [&] {
    const int copies = std::max(1, options.probeCopies);
    const int heard = std::max(static_cast<int>(list.cameras().size()), channel.heardCount());
    return heard >= options.largeFleet ? std::min(copies, LargeFleetCopies) : copies;
  };
  const auto sendProbe = [&] {
    if (probesSent < copiesWanted()) {
      channel.Send(probeDatagram);
      ++probesSent;
      lastProbeAt = clock.elapsed();
    }
    if (probesSent >= copiesWanted()) {
      probing = false;
    } else {
      // From the third copy on, each waits as long as all before it: the
      // answers to the first copies tell how large the fleet is before the
      // later copies, each answered by every camera, go out.
      probeTimer.start(static_cast<int>(std::max<qint64>(options.probeInterval.count(), lastProbeAt)));
    }
    scheduleEnd();
  };

  channel.onHeard = [&] {
    lastHeardAt = clock.elapsed();
    scheduleEnd();
  };
  channel.skipParse = [&](const QByteArray& datagram, const QHostAddress& from) {
    if (!list.full()) return false;
    if (datagram != probeDatagram) list.LeftOutFrom(QHostAddress(from.toIPv4Address()).toString());
    return true;
  };
  channel.onMessage = [&](const protocol::Message& answer, const QHostAddress& from, const QString& interfaceName) {
    QString why;
    std::optional<FoundCamera> camera = OwnAnswerCamera(answer, from, probe.nonce, why);
    if (!camera) {
      if (!why.isEmpty()) channel.Drop(why, from);
      return;
    }
    camera->interfaceName = interfaceName;
    if (list.AddOwn(*camera) != FoundList::Heard::Added) return;
    lastNewAt = clock.elapsed();
    listed(1);
  };
  prober.skipParse = [&](const QHostAddress& from) {
    if (!list.full()) return false;
    list.LeftOutFrom(QHostAddress(from.toIPv4Address()).toString());
    return true;
  };
  prober.onCamera = [&](const FoundCamera& camera) {
    const FoundList::Heard heard = list.AddOnvif(camera);
    if (heard != FoundList::Heard::Added && heard != FoundList::Heard::Held) return;
    lastNewOnvifAt = clock.elapsed();
    if (heard == FoundList::Heard::Added) {
      lastNewAt = lastNewOnvifAt;
      listed(1);
    }
    scheduleEnd();
  };
  QObject::connect(&releaseTimer, &QTimer::timeout, &loop, release);
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
  if (onvifProbing) {
    onvifTimer.start(options.onvifInterval);
    releaseTimer.start(options.answerWindow);
  }
  sendProbe();
  sendOnvifProbe();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  release();  // a search cut short by its cap

  outcome.cameras = list.cameras();
  GuessUnknownMacs(list, outcome.cameras);
  NoteNetworks(choice, outcome.cameras);
  SortAsListed(outcome.cameras);
  outcome.dropped = channel.droppedCount() + prober.droppedCount();
  outcome.leftOut = list.leftOut();
  // The list is complete, as the user sees it, when its last new camera
  // arrives; the search itself listens on for late ONVIF answers.
  qCInfo(lcDiscovery) << "Search: found" << outcome.cameras.size() << "cameras in" << clock.elapsed() << "ms;"
                      << "the last new one at" << lastNewAt << "ms;" << outcome.dropped << "datagrams dropped;"
                      << outcome.leftOut << "left out past the cap";
  return outcome;
}

}  // namespace device
