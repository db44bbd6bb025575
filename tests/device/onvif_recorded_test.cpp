// The ONVIF readers over the device answers recorded in npm's onvif 0.8.1
// (kept in tests/third_party/npm, unpacked into the build folder): each well-formed one
// read to the values it holds, each malformed one refused with a reason.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include "device/onvif_discovery.h"
#include "device/onvif_soap.h"

namespace {

using namespace device::onvif;

QString PackDir() { return QString::fromUtf8(SENTROVA_ONVIF_PACK_DIR) + u"/package/test/serverMockup"_qs; }

QByteArray Recorded(const char* name) {
  QFile file(PackDir() + u'/' + QString::fromLatin1(name));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return file.readAll();
}

XmlElement Response(const char* name) {
  const SoapAnswer answer = ReadAnswer(Recorded(name));
  EXPECT_TRUE(answer.ok()) << name << ": " << answer.error.toStdString();
  return answer.response.value_or(XmlElement{});
}

// Not well-formed: an undeclared prefix, a wrong encoding declaration, a
// template's "<" in text, curly quotes in the declaration.
const QSet<QString> Malformed = {u"Error.xml"_qs,
                                 u"GetCapabilitiesEncoder.xml"_qs,
                                 u"GetSnapshotUri.xml"_qs,
                                 u"GetVideoSourcesEncoder.xml"_qs,
                                 u"PullMessages.xml"_qs,
                                 u"device.GetDNS.xml"_qs,
                                 u"device.GetNetworkDefaultGateway.xml"_qs,
                                 u"device.SetDNS.xml"_qs,
                                 u"device.SetNetworkDefaultGateway.xml"_qs,
                                 u"device.SetNetworkInterfaces.xml"_qs,
                                 u"imaging.GetServiceCapabilities.xml"_qs,
                                 u"media.GetAudioEncoderConfigurationOptions.xml"_qs,
                                 u"media.GetVideoEncoderConfigurationOptions.xml"_qs,
                                 u"media.SetAudioEncoderConfiguration.xml"_qs};

TEST(OnvifRecordedAnswers, EveryWellFormedOneReadsEveryMalformedOneIsRefused) {
  const QDir dir(PackDir());
  ASSERT_TRUE(dir.exists()) << "the onvif_npm_unpack test unpacks it into " << PackDir().toStdString();
  const QStringList files = dir.entryList(QDir::Files);
  ASSERT_GE(files.size(), 70);
  int refused = 0;
  for (const QString& name : files) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const SoapAnswer answer = ReadAnswer(file.readAll());
    if (Malformed.contains(name)) {
      EXPECT_FALSE(answer.response) << name.toStdString();
      EXPECT_FALSE(answer.error.isEmpty()) << name.toStdString();
      ++refused;
    } else {
      EXPECT_TRUE(answer.response) << name.toStdString() << ": " << answer.error.toStdString();
      EXPECT_TRUE(answer.error.isEmpty()) << name.toStdString();
    }
  }
  EXPECT_EQ(refused, Malformed.size()) << "every malformed answer is in the pack";
}

TEST(OnvifRecordedAnswers, ValuesOfTheAnswersTheWizardReads) {
  const std::optional<QDateTime> time = ReadSystemDateAndTime(Response("GetSystemDateAndTime.xml"));
  ASSERT_TRUE(time);
  EXPECT_EQ(*time, QDateTime(QDate(2014, 12, 24), QTime(19, 14, 37), Qt::UTC));

  const std::optional<DeviceInformation> info = ReadDeviceInformation(Response("GetDeviceInformation.xml"));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->manufacturer, u"Mockup Manufacturer"_qs);
  EXPECT_EQ(info->model, u"Mockup Model"_qs);
  EXPECT_EQ(info->firmwareVersion, u"Mockup_15_14_13"_qs);
  EXPECT_EQ(info->serialNumber, u"00000000"_qs);
  EXPECT_EQ(info->hardwareId, u"MOCKUP"_qs);

  const std::vector<NetworkInterface> interfaces = ReadNetworkInterfaces(Response("device.GetNetworkInterfaces.xml"));
  ASSERT_EQ(interfaces.size(), 1u);
  EXPECT_EQ(interfaces[0].token, u"eth0"_qs);
  EXPECT_TRUE(interfaces[0].enabled);
  EXPECT_EQ(interfaces[0].hwAddress, u"28:57:be:65:7d:d5"_qs);
  EXPECT_EQ(interfaces[0].address, u"192.168.68.111"_qs);
  EXPECT_EQ(interfaces[0].prefixLength, 24);
  EXPECT_FALSE(interfaces[0].dhcp);
  EXPECT_FALSE(interfaces[0].wireless);

  const std::vector<User> users = ReadUsers(Response("device.GetUsers.xml"));
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].name, u"admin"_qs);
  EXPECT_EQ(users[0].level, u"Administrator"_qs);
  EXPECT_EQ(users[1].name, u"operator"_qs);
  EXPECT_EQ(users[1].level, u"Operator"_qs);

  for (const char* name :
       {"device.CreateUsers.xml", "device.DeleteUsers.xml", "device.SetUser.xml", "SystemReboot.xml"}) {
    EXPECT_TRUE(Response(name).Is(Ns::Device, QString::fromLatin1(name).section(u'.', -2, -2) + u"Response"_qs))
        << name;
  }
  // A reader given another operation's answer takes nothing from it.
  EXPECT_FALSE(ReadSystemDateAndTime(Response("GetDeviceInformation.xml")));
  EXPECT_TRUE(ReadUsers(Response("GetSystemDateAndTime.xml")).empty());
}

TEST(OnvifRecordedAnswers, ProbeMatchReadsToACameraRow) {
  const ProbeMatches read = ReadProbeMatches(Recorded("Probe.xml"));
  ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
  EXPECT_EQ(read.relatesTo, u"RELATES_TO"_qs);
  ASSERT_EQ(read.matches.size(), 1u);
  EXPECT_EQ(read.matches[0].endpoint, u"uuid:c9790c3a-701b-464d-a189-0060351c8ada"_qs);
  EXPECT_EQ(read.matches[0].types, QStringList({u"dn:NetworkVideoTransmitter"_qs, u"tds:Device"_qs}));
  const std::optional<device::FoundCamera> camera = CameraFromMatch(read.matches[0], QHostAddress(u"127.0.0.5"_qs));
  ASSERT_TRUE(camera);
  EXPECT_EQ(camera->caption, u"PREDATOR (HD_PREDATOR)"_qs);
  EXPECT_EQ(camera->address, u"127.0.0.5"_qs);
}

}  // namespace
