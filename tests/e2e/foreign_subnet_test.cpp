// The change-address path over real L2 multicast, for a camera at a factory
// address on a subnet the PC has no route to (see foreign_subnet_probe.cpp).
#include <gtest/gtest.h>

#include <QMap>
#include <QTemporaryDir>

#include "support/netns_tools.h"
#include "support/skips.h"

namespace {

TEST(ForeignSubnet, FoundThenMovedByMacAndReachableAfterwards) {
  QTemporaryDir dir;
  const netns::ProbeRun probe = netns::RunProbe(QString::fromUtf8(SENTROVA_FOREIGN_SUBNET_PROBE),
                                                {QString::fromUtf8(SENTROVA_CAMD), dir.path()}, 60000);
  const QString& output = probe.output;
  if (probe.status == netns::SkipStatus) SENTROVA_SKIP("no network namespaces here: " << output.toStdString());
  ASSERT_EQ(probe.status, 0) << output.toStdString();
  const QMap<QString, QString>& result = probe.values;
  const QString mac = QStringLiteral("0.12.34.20.0.20");
  ASSERT_EQ(result.value(u"ready"_qs), u"1") << output.toStdString();
  EXPECT_EQ(result.value(u"found_before"_qs), mac + u"@192.168.0.20"_qs) << "its answer crosses the subnets";
  EXPECT_EQ(result.value(u"connect_before"_qs), u"0") << "no route to it by IP";
  EXPECT_EQ(result.value(u"login_state"_qs), u"2");
  EXPECT_EQ(result.value(u"login"_qs), u"3") << "the login goes by MAC";
  EXPECT_EQ(result.value(u"in_use"_qs), u"0");
  EXPECT_EQ(result.value(u"change"_qs), u"1");
  EXPECT_EQ(result.value(u"back"_qs), u"1");
  EXPECT_EQ(result.value(u"found_after"_qs), mac + u"@10.20.0.50"_qs);
  EXPECT_EQ(result.value(u"connect_after"_qs), u"1") << "reachable on the PC's subnet";
  EXPECT_EQ(result.value(u"address_after"_qs), u"10.20.0.50");
}

}  // namespace
