#pragma once
// A temporary address of a camera's subnet on the interface the camera was
// heard on: how a camera outside the computer's networks is reached for the
// change that brings it in. The address is checked free first by an ARP
// probe (RFC 5227, 2.1.1), added and removed through netlink, and recorded
// before it is added, so that a program killed meanwhile has it removed at
// its next start. Only addresses in the record are ever removed.
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <vector>

namespace device {

// The addresses worth trying, best first: the camera's subnet from the top
// down (.254 first in a /24), without the camera's own address, the network
// and the broadcast address, nor those in `taken`; at most `count`. Empty
// for a subnet too small to hold another host (/31, /32) or a bad address.
QStringList TemporaryCandidates(const QString& cameraAddress, int prefixLength, const QStringList& taken = {},
                                int count = 8);

// The prefix length of a dotted mask; 24 (the usual factory subnet) when the
// mask is unknown or not contiguous.
int PrefixOfMask(const QString& mask);

// Whether some host on the interface holds `address`: ARP probes (sender
// 0.0.0.0, target the address) spread over `window`; any ARP reply or
// announcement from the address, or another host's probe for it, means taken.
// No value (and the reason) when the probe cannot be sent.
std::optional<bool> AddressTaken(const QString& interfaceName, const QString& address, QString& error, int probes = 3,
                                 std::chrono::milliseconds window = std::chrono::milliseconds(1000));

// Whether this process may change an interface's addresses (CAP_NET_ADMIN
// in effect, as root has).
bool MayChangeInterfaces();

// One address this program added, as the record keeps it.
struct RecordedAddress {
  QString interfaceName;
  QString address;
  int prefixLength = 0;
  qint64 pid = 0;
  QString time;  // when it was added, ISO 8601 UTC
  bool operator==(const RecordedAddress&) const = default;
};

// The record: "temporary-addresses.json" in the program's local data folder.
QString TemporaryRecordPath();
std::vector<RecordedAddress> ReadTemporaryRecord(const QString& path);

// At start: every recorded address whose program no longer runs is removed
// from its interface and from the record; the rest stay. Returns how many
// addresses were removed.
int RemoveLeftoverAddresses(const QString& recordPath = TemporaryRecordPath());

// One address added for a camera. It is written to the record before it is
// added and leaves the record once removed; Remove and the destructor take
// it away again.
class TemporaryAddress {
 public:
  explicit TemporaryAddress(QString recordPath = TemporaryRecordPath()) : recordPath_(std::move(recordPath)) {}
  ~TemporaryAddress() { Remove(); }
  TemporaryAddress(const TemporaryAddress&) = delete;
  TemporaryAddress& operator=(const TemporaryAddress&) = delete;

  // False (with the reason) when it was not added: no permission
  // (permissionDenied), the address is there already (then it is not ours
  // and is left alone), or no such interface.
  bool Add(const QString& interfaceName, const QString& address, int prefixLength, QString& error);
  void Remove();
  bool added() const { return added_.has_value(); }
  bool permissionDenied() const { return permissionDenied_; }

 private:
  QString recordPath_;
  std::optional<RecordedAddress> added_;
  bool permissionDenied_ = false;
};

}  // namespace device
