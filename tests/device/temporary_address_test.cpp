// The temporary address a camera outside the computer's networks is reached
// through: which address is chosen, what the record keeps and what a start
// removes, the outside rule; and in network namespaces this test creates,
// the ARP probe, the netlink add and remove, and the removal after kill -9.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "device/discovery.h"
#include "device/net_options.h"
#include "device/temporary_address.h"
#include "support/skips.h"
#include "support/netns_tools.h"

namespace {

using device::RecordedAddress;

struct CandidateCase {
  const char* camera;
  int prefix;
  QStringList taken;
  QStringList first;  // the first candidates, best first
};

TEST(TemporaryCandidates, TopOfTheSubnetDownwardsWithoutTheCamerasOwnAndTaken) {
  const CandidateCase cases[] = {
      {"10.9.0.10", 24, {}, {u"10.9.0.254"_qs, u"10.9.0.253"_qs, u"10.9.0.252"_qs}},
      {"10.9.0.254", 24, {}, {u"10.9.0.253"_qs, u"10.9.0.252"_qs}},
      {"10.9.0.10", 24, {u"10.9.0.254"_qs}, {u"10.9.0.253"_qs}},
      {"10.9.3.7", 16, {}, {u"10.9.255.254"_qs, u"10.9.255.253"_qs}},
      {"192.0.2.1", 30, {}, {u"192.0.2.2"_qs}},  // .0 network, .3 broadcast, .1 the camera
      {"192.0.2.1", 31, {}, {}},
      {"192.0.2.1", 32, {}, {}},
      {"not an address", 24, {}, {}},
  };
  for (const CandidateCase& c : cases) {
    const QStringList candidates = device::TemporaryCandidates(QString::fromLatin1(c.camera), c.prefix, c.taken);
    EXPECT_EQ(candidates.mid(0, c.first.size()), c.first) << c.camera << "/" << c.prefix;
    if (c.first.isEmpty()) {
      EXPECT_TRUE(candidates.isEmpty()) << c.camera << "/" << c.prefix;
    }
    EXPECT_FALSE(candidates.contains(QString::fromLatin1(c.camera)));
    EXPECT_LE(candidates.size(), 8);
  }
}

TEST(TemporaryCandidates, PrefixOfTheRowsMaskElseTheUsualSlash24) {
  const std::pair<const char*, int> cases[] = {
      {"255.255.255.0", 24}, {"255.255.0.0", 16}, {"255.255.255.252", 30}, {"255.0.255.0", 24}, {"", 24},
      {"0.0.0.0", 24},       {"garbage", 24}};
  for (const auto& [mask, prefix] : cases) EXPECT_EQ(device::PrefixOfMask(QString::fromLatin1(mask)), prefix) << mask;
}

TEST(OutsideNetworks, LoopbackIsNeverOutsideAndAnUnknownCaseIsNotMarked) {
  const QString lo = QNetworkInterface::interfaceFromIndex(1).name();  // the loopback interface
  EXPECT_FALSE(device::IsOutsideNetworks(u"127.0.0.5"_qs, lo));
  EXPECT_FALSE(device::IsOutsideNetworks(u"127.200.0.1"_qs, u"no-such-if"_qs));
  EXPECT_TRUE(device::IsOutsideNetworks(u"10.9.0.10"_qs, lo)) << "lo holds 127.0.0.0/8 only";
  EXPECT_FALSE(device::IsOutsideNetworks(u"10.9.0.10"_qs, u""_qs)) << "heard on no known interface";
  EXPECT_FALSE(device::IsOutsideNetworks(u"fe80::1"_qs, lo));
}

// A search marks what it heard on the link; a camera added by its address
// answered there through a router and is never marked.
TEST(OutsideNetworks, ASearchMarksRowsOnTheLinkButNotThoseAddedByAddress) {
  const device::InterfaceChoice lo = device::ChooseInterfaces(QStringList{u"lo"_qs});
  ASSERT_EQ(lo.interfaces.size(), 1u);
  std::vector<device::FoundCamera> rows(3);
  rows[0].address = u"127.0.0.9"_qs;
  rows[1].address = u"10.9.0.10"_qs;
  rows[2].address = u"10.9.0.11"_qs;
  rows[2].origin = device::FoundCamera::Origin::ByAddress;
  device::NoteNetworks(lo, rows);
  EXPECT_EQ(rows[1].interfaceName, u"lo"_qs) << "the only interface chosen";
  EXPECT_FALSE(rows[0].outside);
  EXPECT_TRUE(rows[1].outside);
  EXPECT_FALSE(rows[2].outside);
  EXPECT_EQ(device::RowNote(rows[1]), u"other network"_qs);
  EXPECT_EQ(device::RowNote(rows[2]), u"added by address"_qs);
}

void WriteRecord(const QString& path, const QJsonArray& entries) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QJsonDocument(entries).toJson());
}

QJsonObject Entry(const char* interfaceName, const char* address, qint64 pid) {
  return {{u"interface"_qs, QString::fromLatin1(interfaceName)},
          {u"address"_qs, QString::fromLatin1(address)},
          {u"pid"_qs, pid},
          {u"time"_qs, u"2026-01-01T00:00:00Z"_qs}};
}

// A pid that no process holds: a child that has ended and been reaped.
qint64 DeadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST(TemporaryRecord, AStartKeepsLiveProcessesEntriesAndForgetsDeadOnesAndJunk) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"temporary-addresses.json"_qs);
  WriteRecord(path, {Entry("lo", "10.9.0.254/24", getpid()),
                     Entry("no-such-if", "10.9.0.253/24", DeadPid()),  // its interface has gone: nothing to remove
                     Entry("lo", "not-an-address/24", DeadPid()), Entry("lo", "10.9.0.252", DeadPid())});
  EXPECT_EQ(device::RemoveLeftoverAddresses(path), 0);
  const std::vector<RecordedAddress> kept = device::ReadTemporaryRecord(path);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].address, u"10.9.0.254");
  EXPECT_EQ(kept[0].prefixLength, 24);
  EXPECT_EQ(kept[0].pid, getpid());
}

TEST(TemporaryRecord, AMissingOrBrokenRecordIsEmpty) {
  QTemporaryDir dir;
  EXPECT_TRUE(device::ReadTemporaryRecord(dir.filePath(u"none.json"_qs)).empty());
  QFile broken(dir.filePath(u"broken.json"_qs));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("{ not json");
  broken.close();
  EXPECT_TRUE(device::ReadTemporaryRecord(broken.fileName()).empty());
  EXPECT_EQ(device::RemoveLeftoverAddresses(broken.fileName()), 0);
}

// ---- In namespaces ------------------------------------------------------------------

// Two hosts on one link: "ours" (192.0.2.1/24 on va) and "other"
// (10.9.0.253/24 on vb), each in a namespace of its own named with this
// process's pid. The test thread works inside "ours" and leaves it after.
class TemporaryAddressNetns : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) SENTROVA_SKIP("needs root for network namespaces");
    const QString pid = QString::number(getpid());
    ours_ = u"sta-ours-"_qs + pid;
    other_ = u"sta-other-"_qs + pid;
    const QList<QStringList> steps = {
        {u"ip"_qs, u"netns"_qs, u"add"_qs, ours_},
        {u"ip"_qs, u"netns"_qs, u"add"_qs, other_},
        netns::Ip(ours_, {u"link"_qs, u"add"_qs, u"va"_qs, u"type"_qs, u"veth"_qs, u"peer"_qs, u"name"_qs, u"vb"_qs,
                          u"netns"_qs, other_}),
        netns::Ip(ours_, {u"address"_qs, u"add"_qs, u"192.0.2.1/24"_qs, u"dev"_qs, u"va"_qs}),
        netns::Ip(other_, {u"address"_qs, u"add"_qs, u"10.9.0.253/24"_qs, u"dev"_qs, u"vb"_qs}),
        netns::Ip(ours_, {u"link"_qs, u"set"_qs, u"va"_qs, u"up"_qs}),
        netns::Ip(other_, {u"link"_qs, u"set"_qs, u"vb"_qs, u"up"_qs}),
    };
    for (const QStringList& step : steps) {
      if (!netns::RunCommand(step)) SENTROVA_SKIP("cannot build the namespaces: " << step.join(u' ').toStdString());
    }
    home_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int inside = open(("/var/run/netns/" + ours_.toStdString()).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(home_, 0);
    ASSERT_GE(inside, 0);
    ASSERT_EQ(setns(inside, CLONE_NEWNET), 0);
    close(inside);
    record_ = dir_.filePath(u"temporary-addresses.json"_qs);
  }
  void TearDown() override {
    if (home_ >= 0) {
      setns(home_, CLONE_NEWNET);
      close(home_);
    }
    if (!ours_.isEmpty()) netns::RunCommand({u"ip"_qs, u"netns"_qs, u"delete"_qs, ours_});
    if (!other_.isEmpty()) netns::RunCommand({u"ip"_qs, u"netns"_qs, u"delete"_qs, other_});
  }
  // Whether the kernel has a route to the address (a UDP connect sends nothing).
  static bool Routed(const char* address) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    inet_pton(AF_INET, address, &to.sin_addr);
    const bool routed = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    close(fd);
    return routed;
  }
  static bool Holds(const char* address) {
    for (const QNetworkAddressEntry& entry : QNetworkInterface::interfaceFromName(u"va"_qs).addressEntries()) {
      if (entry.ip().toString() == QLatin1String(address)) return true;
    }
    return false;
  }

  QString ours_;
  QString other_;
  int home_ = -1;
  QTemporaryDir dir_;
  QString record_;
};

TEST_F(TemporaryAddressNetns, TheArpProbeFindsTheOtherHostsAddressTakenAndAFreeOneFree) {
  QString error;
  EXPECT_EQ(device::AddressTaken(u"va"_qs, u"10.9.0.253"_qs, error), std::optional<bool>(true)) << error.toStdString();
  EXPECT_EQ(device::AddressTaken(u"va"_qs, u"10.9.0.254"_qs, error), std::optional<bool>(false)) << error.toStdString();
  EXPECT_FALSE(device::AddressTaken(u"no-such-if"_qs, u"10.9.0.254"_qs, error).has_value());
  EXPECT_FALSE(error.isEmpty());
}

TEST_F(TemporaryAddressNetns, AddedRecordedAndReachingTheSubnetThenRemovedAndForgotten) {
  ASSERT_TRUE(device::MayChangeInterfaces());
  {
    device::TemporaryAddress temporary(record_);
    QString error;
    EXPECT_FALSE(Routed("10.9.0.253")) << "not before";
    ASSERT_TRUE(temporary.Add(u"va"_qs, u"10.9.0.254"_qs, 24, error)) << error.toStdString();
    EXPECT_TRUE(Holds("10.9.0.254"));
    const std::vector<RecordedAddress> recorded = device::ReadTemporaryRecord(record_);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].interfaceName, u"va");
    EXPECT_EQ(recorded[0].address, u"10.9.0.254");
    EXPECT_EQ(recorded[0].prefixLength, 24);
    EXPECT_EQ(recorded[0].pid, getpid());
    // The prefix route stays: the other host's subnet is on the link now.
    EXPECT_TRUE(Routed("10.9.0.253"));
    temporary.Remove();
    EXPECT_FALSE(Holds("10.9.0.254"));
    EXPECT_TRUE(device::ReadTemporaryRecord(record_).empty());
    ASSERT_TRUE(temporary.Add(u"va"_qs, u"10.9.0.252"_qs, 24, error)) << error.toStdString();
  }
  EXPECT_FALSE(Holds("10.9.0.252")) << "gone with its owner";
  EXPECT_TRUE(device::ReadTemporaryRecord(record_).empty());
}

TEST_F(TemporaryAddressNetns, AnAddressAlreadyThereIsNotOursAndStays) {
  ASSERT_TRUE(netns::RunCommand({u"ip"_qs, u"address"_qs, u"add"_qs, u"10.9.0.254/24"_qs, u"dev"_qs, u"va"_qs}));
  {
    device::TemporaryAddress temporary(record_);
    QString error;
    EXPECT_FALSE(temporary.Add(u"va"_qs, u"10.9.0.254"_qs, 24, error));
    EXPECT_FALSE(temporary.permissionDenied());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(device::ReadTemporaryRecord(record_).empty());
  }
  EXPECT_TRUE(Holds("10.9.0.254"));
  // Nor does a start remove an address the record does not name.
  EXPECT_EQ(device::RemoveLeftoverAddresses(record_), 0);
  EXPECT_TRUE(Holds("10.9.0.254"));
}

TEST_F(TemporaryAddressNetns, AfterKillDashNineTheNextStartRemovesTheAddress) {
  const pid_t child = fork();
  if (child == 0) {
    device::TemporaryAddress temporary(record_);
    QString error;
    if (!temporary.Add(u"va"_qs, u"10.9.0.254"_qs, 24, error)) _exit(1);
    for (;;) pause();
  }
  ASSERT_GT(child, 0);
  for (int i = 0; i < 100 && !Holds("10.9.0.254"); ++i) usleep(20000);
  ASSERT_TRUE(Holds("10.9.0.254"));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(Holds("10.9.0.254")) << "nothing ran at the kill";
  EXPECT_EQ(device::RemoveLeftoverAddresses(record_), 1);
  EXPECT_FALSE(Holds("10.9.0.254"));
  EXPECT_TRUE(device::ReadTemporaryRecord(record_).empty());
}

}  // namespace
