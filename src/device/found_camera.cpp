#include "device/found_camera.h"

#include <QStringList>

#include "device/camera_text.h"
#include "device/device_log.h"

namespace device {
namespace {

QString Key(const QString& id, const QString& address) { return id + u'@' + address; }

}  // namespace

QString RowNote(const FoundCamera& camera) {
  QStringList notes;
  if (camera.gone) notes << QStringLiteral("gone (said Bye)");
  if (camera.outside) notes << QString::fromUtf16(OutsideNetworkNote);
  if (camera.origin == FoundCamera::Origin::Announced) notes << QStringLiteral("announced");
  if (camera.origin == FoundCamera::Origin::ByAddress) notes << QStringLiteral("added by address");
  return notes.join(QStringLiteral(", "));
}

// The same camera answering our own protocol: the same MAC at the same
// address, or, where the ONVIF answer names no MAC, the only row of ours at
// that address (of two cameras of ours sharing an address, neither is taken
// for it).
bool FoundList::SameAsOwn(const FoundCamera& onvif) const {
  if (!onvif.mac.isEmpty()) return ownKeys_.contains(Key(onvif.mac, onvif.address));
  return ownAt_.value(onvif.address) == 1;
}

// The mirror rule: a listed ONVIF row that names this MAC at this address,
// or the only ONVIF row there, its MAC unknown.
bool FoundList::SameAsOnvif(const FoundCamera& own) const {
  if (onvifMacKeys_.contains(Key(own.mac, own.address))) return true;
  return onvifAt_.value(own.address) == 1 && onvifMacUnknownAt_.value(own.address) == 1;
}

FoundList::Heard FoundList::AddOwn(const FoundCamera& camera) {
  const QString key = Key(camera.mac, camera.address);
  if (ownKeys_.contains(key)) return Heard::Again;
  // Listed as an ONVIF camera already: that row keeps its protocol, whoever
  // sends this answer (anyone can send it from that address with the MAC the
  // camera's scopes name).
  if (SameAsOnvif(camera)) {
    qCWarning(lcDiscovery) << "Search: an answer of our protocol from" << camera.address
                           << "is taken for the ONVIF camera listed there";
    return Heard::SameCamera;
  }
  if (full()) {
    LeftOutFrom(camera.address);
    return Heard::LeftOut;
  }
  // A MAC claimed from another address gets a row of its own: a forged
  // answer must not hide the real camera.
  if (ownMacs_.contains(camera.mac)) {
    qCWarning(lcDiscovery) << "Search: MAC" << camera.mac << "also answers from" << camera.address;
  }
  ownKeys_.insert(key);
  ownMacs_.insert(camera.mac);
  ++ownAt_[camera.address];
  ++rowsAt_[camera.address];
  rows_.push_back(camera);
  return Heard::Added;
}

FoundList::Heard FoundList::AddOnvif(const FoundCamera& heard) {
  FoundCamera camera = heard;
  if (!camera.linkLocal.isEmpty() && !linkLocals_.contains(camera.endpoint)) {
    linkLocals_.insert(camera.endpoint, camera.linkLocal);
    GiveLinkLocal(camera.endpoint, camera.linkLocal);
  }
  if (camera.linkLocal.isEmpty()) camera.linkLocal = linkLocals_.value(camera.endpoint);
  const QString key = Key(camera.endpoint, camera.address);
  if (onvifKeys_.contains(key)) return Heard::Again;
  if (SameAsOwn(camera)) return Heard::SameCamera;  // it answers our own protocol as well
  if (full()) {
    LeftOutFrom(camera.address);
    return Heard::LeftOut;
  }
  // An endpoint claimed from another address gets a row of its own: a
  // forged answer must not hide the real camera.
  if (endpoints_.contains(camera.endpoint)) {
    qCWarning(lcDiscovery).noquote() << "Search: endpoint" << camera.endpoint.left(80) << "also answers from"
                                     << camera.address;
  }
  onvifKeys_.insert(key);
  endpoints_.insert(camera.endpoint);
  ++rowsAt_[camera.address];
  if (holding_) {
    held_.push_back(camera);
    return Heard::Held;
  }
  ListOnvif(camera);
  return Heard::Added;
}

int FoundList::ReleaseOnvif() {
  holding_ = false;
  const size_t before = rows_.size();
  for (const FoundCamera& camera : held_) {
    if (SameAsOwn(camera)) {
      --rowsAt_[camera.address];
      continue;
    }
    ListOnvif(camera);
  }
  held_.clear();
  return static_cast<int>(rows_.size() - before);
}

void FoundList::ListOnvif(const FoundCamera& camera) {
  ++onvifAt_[camera.address];
  if (camera.mac.isEmpty()) {
    ++onvifMacUnknownAt_[camera.address];
  } else {
    onvifMacKeys_.insert(Key(camera.mac, camera.address));
  }
  rows_.push_back(camera);
}

// Once per endpoint, so a flood of answers costs no more than the rows.
void FoundList::GiveLinkLocal(const QString& endpoint, const QString& linkLocal) {
  if (!endpoints_.contains(endpoint)) return;
  for (std::vector<FoundCamera>* cameras : {&rows_, &held_}) {
    for (FoundCamera& row : *cameras) {
      if (row.endpoint == endpoint && row.linkLocal.isEmpty()) row.linkLocal = linkLocal;
    }
  }
}

void FoundList::LeftOutFrom(const QString& address) {
  if (rowsAt_.value(address) == 0) leftOutAt_.insert(address);
}

}  // namespace device
