// A camera on a foreign IPv4 network, found and moved over IPv6 link-local
// (see link_local_probe.cpp), against sentrova-camd.
#include <gtest/gtest.h>

#include <QMap>
#include <QTemporaryDir>

#include "support/netns_tools.h"
#include "support/skips.h"

namespace {

TEST(LinkLocalReaddress, FoundOverIPv6MovedIntoTheComputersNetworkAndFoundThere) {
  QTemporaryDir dir;
  const netns::ProbeRun probe = netns::RunProbe(QString::fromUtf8(SENTROVA_LINK_LOCAL_PROBE),
                                                {QString::fromUtf8(SENTROVA_CAMD), dir.path()}, 90000);
  const QString& output = probe.output;
  if (probe.status == netns::SkipStatus) SENTROVA_SKIP("no network namespaces here: " << output.toStdString());
  ASSERT_EQ(probe.status, 0) << output.toStdString();
  const QMap<QString, QString>& result = probe.values;
  const QString mac = QStringLiteral("0.12.34.9.0.10");
  ASSERT_EQ(result.value(u"ready"_qs), u"1") << output.toStdString();
  const QString before = result.value(u"found_before"_qs);
  EXPECT_TRUE(before.startsWith(mac + u"@10.9.0.10 fe80:"_qs) && before.endsWith(u"%pc0"_qs) && !before.contains(u','))
      << "one row, its IPv4 address and its link-local one on pc0: " << before.toStdString();
  EXPECT_EQ(result.value(u"login_state"_qs), u"2") << output.toStdString();
  EXPECT_EQ(result.value(u"login"_qs), u"3") << "logged in over IPv6";
  EXPECT_EQ(result.value(u"address_read"_qs), u"10.9.0.10");
  EXPECT_EQ(result.value(u"apply"_qs), u"ok");
  EXPECT_EQ(result.value(u"moved"_qs), u"1");
  EXPECT_TRUE(result.value(u"found_after"_qs).startsWith(mac + u"@192.0.2.50 "_qs))
      << result.value(u"found_after"_qs).toStdString();
  EXPECT_EQ(result.value(u"connect_after"_qs), u"1") << "reached over IPv4 in the computer's network";
  EXPECT_EQ(result.value(u"gateway_after"_qs), u"192.0.2.1");
}

}  // namespace
