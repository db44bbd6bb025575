// Cameras at factory addresses outside the computer's network, from the main
// window, against sentrova-camd: the computer at 192.0.2.1/24 and the
// simulator's cameras at 10.9.0.10 (ONVIF only) and 10.9.0.11 (our own
// protocol, family 2) on the same link, each side in a network namespace of
// this test. Both are listed and marked "other network". The ONVIF camera
// is moved in through a temporary address the user agreed to; ours keeps
// its way: the connection fails into the invalid-address warning, the login
// and the change-address dialog, by MAC.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "support/real_device_wizard.h"
#include "support/skips.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_main.h"
#include "wizard/frm_message.h"
#include "support/netns_tools.h"

namespace {

using forms::WindowId;

class ForeignSubnetWindow : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) SENTROVA_SKIP("needs root for network namespaces");
    const QString pid = QString::number(getpid());
    pc_ = u"fsw-pc-"_qs + pid;
    cams_ = u"fsw-cams-"_qs + pid;
    const auto in = [](const QString& ns, QStringList command) {
      return QStringList{u"nsenter"_qs, u"--net=/run/netns/"_qs + ns} + command;
    };
    QList<QStringList> steps = {
        {u"ip"_qs, u"netns"_qs, u"add"_qs, pc_},
        {u"ip"_qs, u"netns"_qs, u"add"_qs, cams_},
        netns::Ip(pc_, {u"link"_qs, u"add"_qs, u"eth0"_qs, u"type"_qs, u"veth"_qs, u"peer"_qs, u"name"_qs, u"s0"_qs,
                        u"netns"_qs, cams_}),
        netns::Ip(pc_, {u"address"_qs, u"add"_qs, u"192.0.2.1/24"_qs, u"dev"_qs, u"eth0"_qs}),
        netns::Ip(pc_, {u"link"_qs, u"set"_qs, u"eth0"_qs, u"up"_qs}),
        netns::Ip(pc_, {u"route"_qs, u"add"_qs, u"224.0.0.0/4"_qs, u"dev"_qs, u"eth0"_qs}),
        // The computer takes datagrams from a subnet it has no route to.
        in(pc_, {u"sysctl"_qs, u"-qw"_qs, u"net.ipv4.conf.all.rp_filter=0"_qs, u"net.ipv4.conf.eth0.rp_filter=0"_qs}),
        netns::Ip(cams_, {u"link"_qs, u"set"_qs, u"lo"_qs, u"up"_qs}),
        netns::Ip(cams_, {u"link"_qs, u"set"_qs, u"s0"_qs, u"up"_qs}),
        netns::Ip(cams_, {u"route"_qs, u"add"_qs, u"224.0.0.0/4"_qs, u"dev"_qs, u"s0"_qs}),
    };
    // Every address a camera holds now or is moved to: the simulator
    // answers at a camera's present one only.
    for (const char* address : {"10.9.0.10/24", "10.9.0.11/24", "192.0.2.50/24", "192.0.2.51/24"}) {
      steps.append(netns::Ip(cams_, {u"address"_qs, u"add"_qs, QString::fromLatin1(address), u"dev"_qs, u"s0"_qs}));
    }
    for (const QStringList& step : steps) {
      if (!netns::RunCommand(step)) SENTROVA_SKIP("cannot build the namespaces: " << step.join(u' ').toStdString());
    }
    QFile fleet(dir_.filePath(u"fleet.json"_qs));
    ASSERT_TRUE(fleet.open(QIODevice::WriteOnly));
    fleet.write(R"({"cameras": [
      {"mac": "0.12.34.9.0.10", "protocols": ["onvif"], "mode": "X-350", "caption": "Gate",
       "settings": {"SysIPAddress": "10.9.0.10", "SysSubnetMask": "255.255.255.0", "SysDefaultGateway": "10.9.0.1"}},
      {"mac": "0.12.34.9.0.11", "family": 2, "mode": "X-350", "caption": "Yard", "version": "2.11.003",
       "settings": {"SysIPAddress": "10.9.0.11", "SysSubnetMask": "255.255.255.0", "SysDefaultGateway": "10.9.0.1",
                    "SysAdminID": "admin", "SysAdminPassword": "secret"}}]})");
    fleet.close();
    camd_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    camd_.start(u"nsenter"_qs,
                {u"--net=/run/netns/"_qs + cams_, QString::fromUtf8(SENTROVA_CAMD), u"--fleet"_qs, fleet.fileName(),
                 u"--interface"_qs, u"s0"_qs, u"--state-dir"_qs, dir_.filePath(u"state"_qs), u"--restart-ms"_qs,
                 u"300"_qs, u"--log"_qs, dir_.filePath(u"camd.log"_qs)});
    for (int i = 0; i < 100 && !Log().contains(u"sim ready"); ++i) QThread::msleep(50);
    ASSERT_TRUE(Log().contains(u"sim ready")) << Log().toStdString();
    wizard_ = std::make_unique<RealDeviceWizard>(pc_);
    ASSERT_TRUE(wizard_->InClient());
  }
  void TearDown() override {
    if (HasFailure()) std::cerr << "--- camd.log\n" << Log().toStdString() << "\n--- " << Messages() << '\n';
    wizard_.reset();
    if (camd_.state() != QProcess::NotRunning) {
      camd_.terminate();
      camd_.waitForFinished(5000);
    }
    if (!pc_.isEmpty()) netns::RunCommand({u"ip"_qs, u"netns"_qs, u"delete"_qs, pc_});
    if (!cams_.isEmpty()) netns::RunCommand({u"ip"_qs, u"netns"_qs, u"delete"_qs, cams_});
  }
  QString Log() const {
    QFile log(dir_.filePath(u"camd.log"_qs));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
  }
  std::string Messages() const { return wizard_ ? wizard_->Messages() : std::string(); }
  QString Setting(const char* mac, const char* key) const {
    QFile file(dir_.filePath(u"state/"_qs + QString::fromLatin1(mac) + u".json"_qs));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll())
        .object()
        .value(u"settings")
        .toObject()
        .value(QString::fromLatin1(key))
        .toString();
  }
  // The row at address, marked as outside the computer's network.
  void ExpectOutsideRow(const QString& address) {
    const int32_t row = wizard_->RowOf(address);
    ASSERT_GE(row, 0) << "the search lists " << address.toStdString();
    FrmMain& main = *wizard_->program().frmMain;
    EXPECT_EQ(main.List.CellText(row, 4), u"other network");
    EXPECT_EQ(main.List.rows[static_cast<size_t>(row)].tip, u"Outside this computer's networks (192.0.2.1/24 on eth0)");
  }
  static bool Holds(const char* address) {
    for (const QNetworkAddressEntry& entry : QNetworkInterface::interfaceFromName(u"eth0"_qs).addressEntries()) {
      if (entry.ip().toString() == QLatin1String(address)) return true;
    }
    return false;
  }

  QString pc_;
  QString cams_;
  QTemporaryDir dir_;
  QProcess camd_;
  std::unique_ptr<RealDeviceWizard> wizard_;
};

TEST_F(ForeignSubnetWindow, TheOnvifCameraIsMovedInThroughATemporaryAddress) {
  ExpectOutsideRow(u"10.9.0.10"_qs);
  wizard_->desktop().answers = {forms::MsgAnswer::Yes};
  ASSERT_TRUE(wizard_->Launch(u"10.9.0.10"_qs, {{u"admin"_qs, u"1234"_qs}})) << Messages();
  EXPECT_TRUE(Holds("10.9.0.254"));
  ASSERT_TRUE(wizard_->ToSummary({{}, {}, u"192.0.2.50"_qs, u"192.0.2.1"_qs})) << Messages();
  wizard_->Restart();
  EXPECT_EQ(wizard_->Errors(), "");
  EXPECT_EQ(Setting("0.12.34.9.0.10", "SysIPAddress"), u"192.0.2.50");
  EXPECT_EQ(Setting("0.12.34.9.0.10", "SysDefaultGateway"), u"192.0.2.1");
  EXPECT_FALSE(Holds("10.9.0.254")) << "removed after the apply";
  EXPECT_TRUE(wizard_->FoundAt().contains(u"192.0.2.50"_qs));
}

TEST_F(ForeignSubnetWindow, OurOwnCameraGoesThroughTheWarningTheLoginAndTheChangeByMac) {
  ExpectOutsideRow(u"10.9.0.11"_qs);
  EXPECT_FALSE(wizard_->Launch(u"10.9.0.11"_qs, {{u"admin"_qs, u"secret"_qs}}));
  EXPECT_TRUE(wizard_->desktop().messages.empty()) << "no temporary address is offered: " << Messages();
  ASSERT_TRUE(wizard_->Visible(WindowId::FrmMessage)) << "the invalid-address warning";
  Program& program = wizard_->program();
  program.message->CmdYes_Click();
  ASSERT_TRUE(program.chackPassWord);
  forms::Type(program.chackPassWord->Text1, u"admin");
  forms::Type(program.chackPassWord->TxtPassWord, u"secret");
  program.chackPassWord->CmdYes_Click();
  ASSERT_TRUE(program.changeIPAddress) << Messages();
  FrmChangeIPAddress& change = *program.changeIPAddress;
  forms::Type(change.Text1, u"192.0.2.51");
  forms::Type(change.Text2, u"255.255.255.0");
  forms::Type(change.Text3, u"192.0.2.1");
  change.CmdOk_Click();
  EXPECT_EQ(wizard_->Errors(), "");
  EXPECT_EQ(Setting("0.12.34.9.0.11", "SysIPAddress"), u"192.0.2.51");
  EXPECT_FALSE(Holds("10.9.0.254")) << "no temporary address on this way";
  EXPECT_GE(wizard_->RowOf(u"192.0.2.51"_qs), 0) << "the main window's new search lists it there";
}

}  // namespace
