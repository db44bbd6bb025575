#include "device/temporary_address.h"

#include <arpa/inet.h>
#include <libmnl/libmnl.h>
#include <linux/capability.h>
#include <linux/if_packet.h>
#include <linux/rtnetlink.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/if_ether.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QNetworkInterface>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "device/device_log.h"
#include "protocol/protocol.h"

namespace device {
namespace {

// ---- Candidates ---------------------------------------------------------------

uint32_t MaskBits(int prefixLength) { return prefixLength == 0 ? 0 : ~uint32_t{0} << (32 - prefixLength); }

// ---- The ARP probe ---------------------------------------------------------------

// A file descriptor closed when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::optional<std::array<uint8_t, ETH_ALEN>> HardwareAddress(int fd, const QByteArray& name) {
  ifreq request{};
  if (name.size() >= IFNAMSIZ) return std::nullopt;
  std::memcpy(request.ifr_name, name.constData(), static_cast<size_t>(name.size()));
  if (::ioctl(fd, SIOCGIFHWADDR, &request) != 0 || request.ifr_hwaddr.sa_family != ARPHRD_ETHER) return std::nullopt;
  std::array<uint8_t, ETH_ALEN> mac{};
  std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, ETH_ALEN);
  return mac;
}

// What one ARP packet heard says of `target`.
bool ClaimsAddress(const ether_arp& packet, uint32_t target, const std::array<uint8_t, ETH_ALEN>& ownMac) {
  if (ntohs(packet.arp_pro) != ETH_P_IP || packet.arp_pln != 4 || packet.arp_hln != ETH_ALEN) return false;
  uint32_t sender = 0;
  uint32_t asked = 0;
  std::memcpy(&sender, packet.arp_spa, 4);
  std::memcpy(&asked, packet.arp_tpa, 4);
  const bool fromUs = std::memcmp(packet.arp_sha, ownMac.data(), ETH_ALEN) == 0;
  if (fromUs) return false;
  // A reply or an announcement from the address: a host holds it. Another
  // host's probe for it: that host is about to take it.
  if (sender == target) return true;
  return sender == 0 && asked == target && ntohs(packet.arp_op) == ARPOP_REQUEST;
}

// ---- Netlink ---------------------------------------------------------------------

// Sends one address request and reads the kernel's acknowledgement; the
// kernel's errno on failure.
int SendAddressRequest(uint16_t type, uint16_t flags, const QString& interfaceName, const QString& address,
                       int prefixLength) {
  const unsigned index = ::if_nametoindex(interfaceName.toLocal8Bit().constData());
  const std::optional<uint32_t> ip = protocol::ParseIPv4(address);
  if (index == 0 || !ip || prefixLength < 0 || prefixLength > 32) return ENODEV;
  std::vector<char> buffer(MNL_SOCKET_BUFFER_SIZE);
  nlmsghdr* request = mnl_nlmsg_put_header(buffer.data());
  request->nlmsg_type = type;
  request->nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | flags;
  const auto sequence = static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch());
  request->nlmsg_seq = sequence;
  auto* header = static_cast<ifaddrmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(ifaddrmsg)));
  header->ifa_family = AF_INET;
  header->ifa_prefixlen = static_cast<uint8_t>(prefixLength);
  header->ifa_scope = RT_SCOPE_UNIVERSE;
  header->ifa_index = index;
  // The prefix route stays (no IFA_F_NOPREFIXROUTE): the camera is reached
  // on the link through it.
  const uint32_t local = htonl(*ip);
  mnl_attr_put_u32(request, IFA_LOCAL, local);
  mnl_attr_put_u32(request, IFA_ADDRESS, local);
  if (prefixLength < 31) mnl_attr_put_u32(request, IFA_BROADCAST, htonl(*ip | ~MaskBits(prefixLength)));

  mnl_socket* socket = mnl_socket_open(NETLINK_ROUTE);
  if (socket == nullptr) return errno;
  int result = 0;
  if (mnl_socket_bind(socket, 0, MNL_SOCKET_AUTOPID) < 0 ||
      mnl_socket_sendto(socket, request, request->nlmsg_len) < 0) {
    result = errno;
  } else {
    const unsigned portId = mnl_socket_get_portid(socket);
    const ssize_t got = mnl_socket_recvfrom(socket, buffer.data(), buffer.size());
    if (got < 0 || mnl_cb_run(buffer.data(), static_cast<size_t>(got), sequence, portId, nullptr, nullptr) < 0) {
      result = errno;
    }
  }
  mnl_socket_close(socket);
  return result;
}

// ---- The record ----------------------------------------------------------------

QJsonObject ToJson(const RecordedAddress& entry) {
  return {{u"interface"_qs, entry.interfaceName},
          {u"address"_qs, QStringLiteral("%1/%2").arg(entry.address).arg(entry.prefixLength)},
          {u"pid"_qs, entry.pid},
          {u"time"_qs, entry.time}};
}

std::optional<RecordedAddress> FromJson(const QJsonObject& object) {
  RecordedAddress entry;
  entry.interfaceName = object.value(u"interface").toString();
  const QStringList address = object.value(u"address").toString().split(u'/');
  bool prefixRead = false;
  if (address.size() == 2) entry.prefixLength = address[1].toInt(&prefixRead);
  entry.address = address.value(0);
  entry.pid = object.value(u"pid").toInteger();
  entry.time = object.value(u"time").toString();
  if (entry.interfaceName.isEmpty() || !protocol::IsIPv4(entry.address) || !prefixRead || entry.prefixLength < 0 ||
      entry.prefixLength > 32 || entry.pid <= 0) {
    return std::nullopt;
  }
  return entry;
}

bool WriteRecord(const QString& path, const std::vector<RecordedAddress>& entries) {
  QJsonArray array;
  for (const RecordedAddress& entry : entries) array.append(ToJson(entry));
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile file(path);  // whole or not at all
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(QJsonDocument(array).toJson());
  return file.commit();
}

// One process changes the record at a time.
struct RecordLock {
  explicit RecordLock(const QString& path) : lock(path + u".lock"_qs) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    lock.lock();
  }
  QLockFile lock;
};

bool ProcessRuns(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

bool InterfaceHolds(const QString& interfaceName, const QString& address) {
  const QList<QNetworkAddressEntry> entries = QNetworkInterface::interfaceFromName(interfaceName).addressEntries();
  return std::any_of(entries.begin(), entries.end(),
                     [&](const QNetworkAddressEntry& entry) { return entry.ip() == QHostAddress(address); });
}

}  // namespace

QStringList TemporaryCandidates(const QString& cameraAddress, int prefixLength, const QStringList& taken, int count) {
  const std::optional<uint32_t> camera = protocol::ParseIPv4(cameraAddress);
  QStringList candidates;
  if (!camera || prefixLength < 1 || prefixLength > 30) return candidates;
  const uint32_t network = *camera & MaskBits(prefixLength);
  const uint32_t broadcast = network | ~MaskBits(prefixLength);
  for (uint32_t host = broadcast - 1; host > network && candidates.size() < count; --host) {
    const QString text = QHostAddress(host).toString();
    if (host != *camera && !taken.contains(text)) candidates << text;
  }
  return candidates;
}

int PrefixOfMask(const QString& mask) {
  constexpr int Usual = 24;
  const std::optional<uint32_t> bits = protocol::ParseIPv4(mask);
  if (!bits || *bits == 0) return Usual;
  const int prefix = std::countl_one(*bits);
  return MaskBits(prefix) == *bits ? prefix : Usual;
}

std::optional<bool> AddressTaken(const QString& interfaceName, const QString& address, QString& error, int probes,
                                 std::chrono::milliseconds window) {
  const QByteArray name = interfaceName.toLocal8Bit();
  const unsigned index = ::if_nametoindex(name.constData());
  const std::optional<uint32_t> target = protocol::ParseIPv4(address);
  if (index == 0 || !target) {
    error = QStringLiteral("no interface \"%1\" or no address \"%2\"").arg(interfaceName, address);
    return std::nullopt;
  }
  Descriptor socket{::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_ARP))};
  if (socket.fd < 0) {
    error = QStringLiteral("cannot open an ARP socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
  }
  sockaddr_ll link{};
  link.sll_family = AF_PACKET;
  link.sll_protocol = htons(ETH_P_ARP);
  link.sll_ifindex = static_cast<int>(index);
  const std::optional<std::array<uint8_t, ETH_ALEN>> ownMac = HardwareAddress(socket.fd, name);
  if (!ownMac || ::bind(socket.fd, reinterpret_cast<sockaddr*>(&link), sizeof link) != 0) {
    error = QStringLiteral("cannot probe on \"%1\" (not an Ethernet interface?)").arg(interfaceName);
    return std::nullopt;
  }
  const uint32_t wanted = htonl(*target);
  ether_arp probe{};
  probe.arp_hrd = htons(ARPHRD_ETHER);
  probe.arp_pro = htons(ETH_P_IP);
  probe.arp_hln = ETH_ALEN;
  probe.arp_pln = 4;
  probe.arp_op = htons(ARPOP_REQUEST);
  std::memcpy(probe.arp_sha, ownMac->data(), ETH_ALEN);
  std::memcpy(probe.arp_tpa, &wanted, 4);  // sender and target hardware address stay 0
  sockaddr_ll broadcast = link;
  broadcast.sll_halen = ETH_ALEN;
  std::memset(broadcast.sll_addr, 0xff, ETH_ALEN);

  QElapsedTimer clock;
  clock.start();
  const qint64 spacing = window.count() / std::max(1, probes);
  int sent = 0;
  while (clock.elapsed() < window.count()) {
    if (sent < probes && clock.elapsed() >= sent * spacing) {
      if (::sendto(socket.fd, &probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&broadcast), sizeof broadcast) < 0) {
        error = QStringLiteral("cannot send an ARP probe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
      }
      ++sent;
    }
    const qint64 nextProbe = sent < probes ? sent * spacing : window.count();
    pollfd ready{socket.fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(std::max<qint64>(1, nextProbe - clock.elapsed()))) <= 0) continue;
    ether_arp heard{};
    if (::recv(socket.fd, &heard, sizeof heard, MSG_DONTWAIT) < static_cast<ssize_t>(sizeof heard)) continue;
    if (ClaimsAddress(heard, wanted, *ownMac)) {
      qCInfo(lcDiscovery) << "ARP probe:" << address << "is taken on" << interfaceName;
      return true;
    }
  }
  return false;
}

bool MayChangeInterfaces() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
  if (::syscall(SYS_capget, &header, data.data()) != 0) return false;
  return (data[CAP_TO_INDEX(CAP_NET_ADMIN)].effective & CAP_TO_MASK(CAP_NET_ADMIN)) != 0;
}

QString TemporaryRecordPath() {
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + u"/temporary-addresses.json"_qs;
}

std::vector<RecordedAddress> ReadTemporaryRecord(const QString& path) {
  std::vector<RecordedAddress> entries;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return entries;
  for (const QJsonValue value : QJsonDocument::fromJson(file.readAll()).array()) {
    if (std::optional<RecordedAddress> entry = FromJson(value.toObject())) entries.push_back(*entry);
  }
  return entries;
}

int RemoveLeftoverAddresses(const QString& recordPath) {
  const RecordLock lock(recordPath);
  std::vector<RecordedAddress> kept;
  int removed = 0;
  for (const RecordedAddress& entry : ReadTemporaryRecord(recordPath)) {
    if (ProcessRuns(entry.pid)) {
      kept.push_back(entry);
      continue;
    }
    if (!InterfaceHolds(entry.interfaceName, entry.address)) continue;  // gone with its interface, or removed by hand
    const int failure = SendAddressRequest(RTM_DELADDR, 0, entry.interfaceName, entry.address, entry.prefixLength);
    if (failure == 0) {
      ++removed;
      qCInfo(lcDiscovery) << "Removed the temporary address" << entry.address << "from" << entry.interfaceName
                          << "left by process" << entry.pid;
    } else {
      qCWarning(lcDiscovery) << "Cannot remove the temporary address" << entry.address << "from" << entry.interfaceName
                             << ":" << std::strerror(failure);
      kept.push_back(entry);  // tried again at the next start
    }
  }
  WriteRecord(recordPath, kept);
  return removed;
}

bool TemporaryAddress::Add(const QString& interfaceName, const QString& address, int prefixLength, QString& error) {
  Remove();
  permissionDenied_ = false;
  const RecordedAddress entry{interfaceName, address, prefixLength, ::getpid(),
                              QDateTime::currentDateTimeUtc().toString(Qt::ISODate)};
  {
    const RecordLock lock(recordPath_);
    std::vector<RecordedAddress> entries = ReadTemporaryRecord(recordPath_);
    entries.push_back(entry);
    if (!WriteRecord(recordPath_, entries)) {
      error = QStringLiteral("cannot write %1").arg(recordPath_);
      return false;
    }
  }
  // NLM_F_EXCL: an address already there is not ours, and stays.
  const int failure = SendAddressRequest(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, interfaceName, address, prefixLength);
  if (failure != 0) {
    permissionDenied_ = failure == EPERM || failure == EACCES;
    error = QStringLiteral("cannot add %1/%2 to %3: %4")
                .arg(address)
                .arg(prefixLength)
                .arg(interfaceName, QString::fromLocal8Bit(std::strerror(failure)));
    const RecordLock lock(recordPath_);
    std::vector<RecordedAddress> entries = ReadTemporaryRecord(recordPath_);
    std::erase(entries, entry);
    WriteRecord(recordPath_, entries);
    return false;
  }
  added_ = entry;
  qCInfo(lcDiscovery) << "Added the temporary address" << address << "to" << interfaceName;
  return true;
}

void TemporaryAddress::Remove() {
  if (!added_) return;
  const RecordedAddress entry = *std::exchange(added_, std::nullopt);
  const RecordLock lock(recordPath_);
  std::vector<RecordedAddress> entries = ReadTemporaryRecord(recordPath_);
  // Only what the record says this process added is removed.
  if (std::find(entries.begin(), entries.end(), entry) == entries.end()) return;
  const int failure = SendAddressRequest(RTM_DELADDR, 0, entry.interfaceName, entry.address, entry.prefixLength);
  if (failure != 0 && failure != EADDRNOTAVAIL && failure != ENODEV) {
    qCWarning(lcDiscovery) << "Cannot remove the temporary address" << entry.address << "from" << entry.interfaceName
                           << ":" << std::strerror(failure);
    return;  // the record keeps it for the next start
  }
  std::erase(entries, entry);
  WriteRecord(recordPath_, entries);
  qCInfo(lcDiscovery) << "Removed the temporary address" << entry.address << "from" << entry.interfaceName;
}

}  // namespace device
