// A camera at a factory address outside the computer's network, moved in
// through a temporary address: the real ONVIF device at 10.9.0.10/24 with
// gateway 10.9.0.1, the computer at 192.0.2.1/24 on the same link, each in a
// network namespace of this test. Its probe answers go to its gateway, so
// it is listed as its announcement would list it; the headless wizard with
// the network camera control does the rest, as a user would, the consent
// given. What counts: the device holds its new address, the temporary
// address is gone from the interface and from the record, and a search
// finds the camera in the computer's network.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QNetworkInterface>

#include "base/text.h"
#include "device/temporary_address.h"
#include "support/real_device_wizard.h"
#include "support/real_onvif_device.h"
#include "support/skips.h"
#include "wizard/frm_main.h"

namespace {

const QString FactoryAddress = QStringLiteral("10.9.0.10");
const QString NewAddress = QStringLiteral("192.0.2.50");

bool InterfaceHolds(const QString& address) {
  for (const QNetworkAddressEntry& entry : QNetworkInterface::interfaceFromName(u"eth0"_qs).addressEntries()) {
    if (entry.ip().toString() == address) return true;
  }
  return false;
}

TEST(TemporaryAddressRealDevice, MovedInThroughATemporaryAddressThatIsGoneAfterwards) {
  if (getuid() != 0) SENTROVA_SKIP("the real ONVIF device needs root for its network namespaces");
  RealOnvifDeviceOptions options;
  options.address = FactoryAddress + u"/24"_qs;
  options.gateway = u"10.9.0.1"_qs;
  options.apply = true;
  options.firmware = u"2.10.001"_qs;  // the summary's Restart reboots it too
  RealOnvifDevice device(options);
  ASSERT_TRUE(device.Start()) << device.Error().toStdString();
  RealDeviceWizard wizard(device);
  ASSERT_TRUE(wizard.InClient());
  EXPECT_FALSE(wizard.FoundAt().contains(FactoryAddress)) << "its probe answer goes to its gateway";

  ASSERT_TRUE(wizard.ListAnnounced(FactoryAddress));
  const int32_t row = wizard.RowOf(FactoryAddress);
  ASSERT_GE(row, 0);
  EXPECT_EQ(wizard.program().frmMain->List.CellText(row, 4), u"other network, announced");
  EXPECT_EQ(wizard.program().frmMain->List.rows[static_cast<size_t>(row)].tip,
            u"Outside this computer's networks (192.0.2.1/24 on eth0)");

  wizard.desktop().answers = {forms::MsgAnswer::Yes};
  ASSERT_TRUE(wizard.Launch(FactoryAddress, {{u"admin"_qs, u"1234"_qs}})) << wizard.Messages();
  ASSERT_FALSE(wizard.desktop().messages.empty());
  EXPECT_NE(wizard.desktop().messages[0].text.find(
                u"Sentrova will add the address 10.9.0.254/24 to eth0 while it changes this camera"),
            std::u16string::npos)
      << wizard.Messages();
  EXPECT_TRUE(InterfaceHolds(u"10.9.0.254"_qs)) << "while the wizard works on the camera";

  ASSERT_TRUE(wizard.ToSummary({{}, {}, NewAddress, u"192.0.2.1"_qs})) << wizard.Messages();
  wizard.desktop().messages.clear();
  wizard.Restart();
  EXPECT_EQ(wizard.Errors(), "");
  EXPECT_EQ(device.Address(), NewAddress);
  EXPECT_EQ(device.Gateway(), u"192.0.2.1");
  EXPECT_FALSE(InterfaceHolds(u"10.9.0.254"_qs)) << "removed after the apply";
  for (const device::RecordedAddress& entry : device::ReadTemporaryRecord(device::TemporaryRecordPath())) {
    EXPECT_NE(entry.pid, getpid()) << "this process's entry left the record";
  }
  EXPECT_TRUE(wizard.FoundAt().contains(NewAddress));
}

}  // namespace
