// The simulator's pieces on their own: settings checks and the
// all-or-nothing merge, fleet files and generated fleets, the settings
// store, and the Digest server.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "camd/camera.h"
#include "camd/digest.h"
#include "camd/discovery.h"
#include "camd/fleet.h"
#include "camd/settings.h"
#include "camd/settings_store.h"
#include "camd/sim_log.h"
#include "protocol/protocol.h"

namespace camd {
namespace {

const SettingsContext kWireless{true, true};
const SettingsContext kWired{false, true};

struct MergeCase {
  const char* name;
  QJsonObject change;
  SettingsContext context;
  bool accepted;
  const char* errorStart;  // the key the error must name
};

class MergeTest : public testing::TestWithParam<MergeCase> {};

TEST_P(MergeTest, AcceptsOrRefusesWholeChange) {
  const MergeCase& c = GetParam();
  const QJsonObject current = DefaultSettings(c.context.wireless);
  QString error;
  const auto merged = MergeSettings(current, c.change, c.context, error);
  ASSERT_EQ(merged.has_value(), c.accepted) << qPrintable(error);
  if (c.accepted) {
    for (auto it = c.change.begin(); it != c.change.end(); ++it) EXPECT_EQ(merged->value(it.key()), it.value());
    EXPECT_EQ(merged->size(), current.size());
  } else {
    EXPECT_TRUE(error.startsWith(QLatin1String(c.errorStart))) << qPrintable(error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MergeTest,
    testing::Values(
        MergeCase{"AdminPair", {{"SysAdminID", "root_2"}, {"SysAdminPassword", "pa55word"}}, kWired, true, ""},
        MergeCase{"IdTooLong", {{"SysAdminID", "abcdefghijklm"}}, kWired, false, "SysAdminID"},
        MergeCase{"PasswordTooLong", {{"SysAdminPassword", "123456789"}}, kWired, false, "SysAdminPassword"},
        MergeCase{"ControlCharacterInId", {{"SysAdminID", "ad\nmin"}}, kWired, false, "SysAdminID"},
        MergeCase{"TextGivenAsNumber", {{"SysAdminID", 5}}, kWired, false, "SysAdminID"},
        MergeCase{"NumberGivenAsText", {{"SysIPAssignment", "1"}}, kWired, false, "SysIPAssignment"},
        MergeCase{"FractionalNumber", {{"WlanChannel", 6.5}}, kWireless, false, "WlanChannel"},
        MergeCase{"ChannelRange", {{"WlanChannel", 15}}, kWireless, false, "WlanChannel"},
        MergeCase{"ChannelLowest", {{"WlanChannel", 1}}, kWireless, true, ""},
        MergeCase{"ModeRange", {{"WlanMode", 3}}, kWireless, false, "WlanMode"},
        MergeCase{"WepFlagWord", {{"WlanWEPFlag", 0x0100}}, kWireless, true, ""},
        MergeCase{"WepFlagTooLarge", {{"WlanWEPFlag", 65536}}, kWireless, false, "WlanWEPFlag"},
        MergeCase{"WepFlagTooSmall", {{"WlanWEPFlag", -32769}}, kWireless, false, "WlanWEPFlag"},
        MergeCase{"WepKeyFive", {{"WlanWEPKey", "abcde"}}, kWireless, true, ""},
        MergeCase{"WepKeySix", {{"WlanWEPKey", "abcdef"}}, kWireless, false, "WlanWEPKey"},
        MergeCase{"WepHexTwentySix", {{"WlanWEPKeyHEX", "0123456789abcdef0123456789"}}, kWireless, true, ""},
        MergeCase{"WepHexNotHex", {{"WlanWEPKeyHEX", "0123456789abcdef012345678g"}}, kWireless, false, "WlanWEPKeyHEX"},
        MergeCase{"WirelessKeyOnWiredCamera", {{"WlanESSID", "home"}}, kWired, false, "WlanESSID"},
        MergeCase{"DeviceTypeIsReadOnly", {{"DeviceType", 0}}, kWireless, false, "DeviceType"},
        MergeCase{"UnknownKey", {{"SysColour", "red"}}, kWired, false, "SysColour"},
        MergeCase{"LoopbackAddress", {{"SysIPAddress", "127.9.8.7"}}, kWired, true, ""},
        MergeCase{"AddressOutsideLoopback", {{"SysIPAddress", "192.168.0.20"}}, kWired, false, "SysIPAddress"},
        MergeCase{
            "ForeignAddressOnRealNetwork", {{"SysIPAddress", "192.168.0.20"}}, SettingsContext{false, false}, true, ""},
        MergeCase{"AddressZero", {{"SysIPAddress", "0.0.0.0"}}, SettingsContext{false, false}, false, "SysIPAddress"},
        MergeCase{
            "AddressMulticast", {{"SysIPAddress", "239.1.2.3"}}, SettingsContext{false, false}, false, "SysIPAddress"},
        MergeCase{"AddressLeadingZero", {{"SysIPAddress", "127.0.0.01"}}, kWired, false, "SysIPAddress"},
        MergeCase{"MaskWithHole", {{"SysSubnetMask", "255.0.255.0"}}, kWired, false, "SysSubnetMask"},
        MergeCase{"MaskSlash8", {{"SysSubnetMask", "255.0.0.0"}}, kWired, true, ""},
        MergeCase{"EmptyGateway", {{"SysDefaultGateway", ""}}, kWired, true, ""},
        MergeCase{"BadGateway", {{"SysDefaultGateway", "10.0.0"}}, kWired, false, "SysDefaultGateway"},
        // Values after whose restart nothing reaches the camera or nobody logs in.
        MergeCase{"BroadcastOfItsSubnet", {{"SysIPAddress", "127.77.0.255"}}, kWired, false, "SysIPAddress"},
        MergeCase{"NetworkOfItsSubnet", {{"SysIPAddress", "127.77.0.0"}}, kWired, false, "SysIPAddress"},
        MergeCase{"BroadcastOfLoopbackSlash8",
                  {{"SysIPAddress", "127.255.255.255"}, {"SysSubnetMask", "255.0.0.0"}},
                  kWired,
                  false,
                  "SysIPAddress"},
        MergeCase{"MaskThatMakesItBroadcast",
                  {{"SysIPAddress", "127.77.0.11"}, {"SysSubnetMask", "255.255.255.252"}},
                  kWired,
                  false,
                  "SysIPAddress"},
        MergeCase{"Ends255OnAWiderMask",
                  {{"SysIPAddress", "127.77.1.255"}, {"SysSubnetMask", "255.255.0.0"}},
                  kWired,
                  true,
                  ""},
        MergeCase{"Slash31HasNoBroadcast",
                  {{"SysIPAddress", "127.77.0.11"}, {"SysSubnetMask", "255.255.255.254"}},
                  kWired,
                  true,
                  ""},
        MergeCase{
            "LoneSurrogateInId", {{"SysAdminID", QString(QChar(0xD800)) + u"adm"_qs}}, kWired, false, "SysAdminID"},
        MergeCase{"LowSurrogateFirstInPassword",
                  {{"SysAdminPassword", QString(QChar(0xDC00)) + QChar(0xD800)}},
                  kWired,
                  false,
                  "SysAdminPassword"},
        MergeCase{"SurrogatePairInId", {{"SysAdminID", u"ad\U0001F600"_qs}}, kWired, true, ""},
        MergeCase{"C1NextLineInId", {{"SysAdminID", u"ad\u0085min"_qs}}, kWired, false, "SysAdminID"},
        MergeCase{"C1CsiInNetworkName", {{"WlanESSID", u"\u009b2J"_qs}}, kWireless, false, "WlanESSID"},
        MergeCase{"DelInPassword", {{"SysAdminPassword", u"pw\u007f"_qs}}, kWired, false, "SysAdminPassword"},
        MergeCase{"AccentedNetworkName", {{"WlanESSID", u"caf\u00e9"_qs}}, kWireless, true, ""}),
    [](const testing::TestParamInfo<MergeCase>& param) { return param.param.name; });

TEST(Settings, OneBadKeyLeavesEverythingOut) {
  const QJsonObject current = DefaultSettings(true);
  QString error;
  const auto merged = MergeSettings(
      current, QJsonObject{{"SysAdminID", "newid"}, {"WlanChannel", 11}, {"WlanMode", 9}, {"WlanESSID", "net"}},
      kWireless, error);
  EXPECT_FALSE(merged.has_value());
  EXPECT_EQ(error, "WlanMode: out of range");
  EXPECT_EQ(current, DefaultSettings(true));
}

TEST(Settings, WepFlagWithBit15IsOneWordEitherSign) {
  QString error;
  for (const QJsonValue& sent : {QJsonValue(-32512), QJsonValue(0x8100)}) {
    const auto merged = MergeSettings(DefaultSettings(true), QJsonObject{{"WlanWEPFlag", sent}}, kWireless, error);
    ASSERT_TRUE(merged.has_value()) << qPrintable(error);
    EXPECT_EQ(merged->value("WlanWEPFlag"), QJsonValue(0x8100));
  }
}

TEST(Settings, IdentityChangesAreAddressAndCredentials) {
  const QJsonObject before = DefaultSettings(true);
  for (const char* key : {"SysAdminID", "SysAdminPassword", "SysIPAddress", "SysSubnetMask", "SysDefaultGateway"}) {
    QJsonObject after = before;
    after.insert(QLatin1String(key), "127.1.1.1");
    EXPECT_TRUE(ChangesIdentity(before, after)) << key;
  }
  QJsonObject wireless = before;
  wireless.insert("WlanChannel", 2);
  EXPECT_FALSE(ChangesIdentity(before, wireless));
}

TEST(Settings, DeviceTypeMarksWirelessInBit29) {
  EXPECT_EQ(DeviceTypeFor(2, true) & (1 << 29), 1 << 29);
  EXPECT_EQ(DeviceTypeFor(0, false) & (1 << 29), 0);
  EXPECT_NE(DeviceTypeFor(2, false), DeviceTypeFor(0, false));
}

TEST(Settings, WholeSetMustHaveEveryKey) {
  QString error;
  EXPECT_TRUE(ValidateWholeSettings(DefaultSettings(true), kWireless, error)) << qPrintable(error);
  QJsonObject missing = DefaultSettings(true);
  missing.remove("WlanESSID");
  EXPECT_FALSE(ValidateWholeSettings(missing, kWireless, error));
  EXPECT_EQ(error, "WlanESSID: missing");
  EXPECT_FALSE(ValidateWholeSettings(DefaultSettings(true), kWired, error)) << "wireless keys on a wired camera";
}

struct VersionCase {
  const char* version;
  bool restartsOnRequest;
};

TEST(Fleet, VersionTestLooksAtPositionsFourAndSixToEight) {
  for (const VersionCase& c :
       {VersionCase{"2.10.001", true}, VersionCase{"2.11.001", false}, VersionCase{"2.10.002", false},
        VersionCase{"X.Y0Z001", true}, VersionCase{"2.10.00", false}, VersionCase{"2.1", false}, VersionCase{"", false},
        VersionCase{"2.10.001 beta", true}})
    EXPECT_EQ(VersionRestartsOnRequest(QString::fromLatin1(c.version)), c.restartsOnRequest) << c.version;
}

TEST(Fleet, ParsesCamerasWithDefaultsAndFaults) {
  const QByteArray json = R"({"cameras": [
    {"mac": "0.12.34.255.1.2", "family": 2, "caption": "Front door", "wireless": true,
     "settings": {"SysIPAddress": "127.5.0.10", "WlanESSID": "home", "SysAdminPassword": "pw"},
     "faults": {"answerDelayMs": 250, "dropShare": 0.05}},
    {"mac": "0.12.34.255.1.3", "family": 0, "mode": "C-200", "version": "1.00.000",
     "settings": {"SysIPAddress": "127.5.0.10"}, "faults": {"refuseConnections": true, "dieDuringApply": true}}]})";
  QString error;
  const auto fleet = ParseFleet(json, true, error);
  ASSERT_TRUE(fleet.has_value()) << qPrintable(error);
  ASSERT_EQ(fleet->size(), 2u);
  const CameraProfile& first = (*fleet)[0];
  EXPECT_EQ(first.mode, "X-350");
  EXPECT_EQ(first.caption, "Front door");
  EXPECT_TRUE(first.wireless);
  EXPECT_EQ(first.settings.value("WlanESSID"), "home");
  EXPECT_EQ(first.settings.value("SysAdminPassword"), "pw");
  EXPECT_EQ(first.settings.value("SysAdminID"), "admin");
  EXPECT_EQ(first.faults.answerDelayMs, 250);
  EXPECT_DOUBLE_EQ(first.faults.dropShare, 0.05);
  EXPECT_FALSE(first.faults.refuseConnections);
  const CameraProfile& second = (*fleet)[1];
  EXPECT_EQ(second.family, 0);
  EXPECT_EQ(second.mode, "C-200");
  EXPECT_FALSE(second.wireless);
  EXPECT_FALSE(second.settings.contains("WlanMode"));
  EXPECT_TRUE(second.faults.refuseConnections);
  EXPECT_TRUE(second.faults.dieDuringApply);
  EXPECT_EQ(second.settings.value("SysIPAddress"), first.settings.value("SysIPAddress"));
}

TEST(Fleet, AnOnvifOnlyCameraMayNameItsServicePortAndRefusedOperations) {
  const QByteArray json = R"({"cameras": [
    {"mac": "0.12.34.255.1.2", "protocols": ["onvif"], "httpPort": 8080,
     "settings": {"SysIPAddress": "127.5.0.10"}, "faults": {"refuseOperations": ["SetNetworkInterfaces", "SetUser"]}},
    {"mac": "0.12.34.255.1.3", "protocols": ["onvif"], "settings": {"SysIPAddress": "127.5.0.11"}}]})";
  QString error;
  const auto fleet = ParseFleet(json, true, error);
  ASSERT_TRUE(fleet.has_value()) << qPrintable(error);
  EXPECT_EQ((*fleet)[0].httpPort, 8080);
  EXPECT_EQ((*fleet)[0].faults.refuseOperations, QStringList({"SetNetworkInterfaces", "SetUser"}));
  EXPECT_EQ((*fleet)[1].httpPort, 0) << "the family's port";
  EXPECT_TRUE((*fleet)[1].faults.refuseOperations.isEmpty());
}

TEST(Fleet, AnOnvifCameraOffLoopbackMayOfferIPv6LinkLocal) {
  const QByteArray json = R"({"cameras": [
    {"mac": "0.12.34.255.1.2", "protocols": ["onvif"], "ipv6LinkLocal": true, "settings": {"SysIPAddress": "10.9.0.10"}},
    {"mac": "0.12.34.255.1.3", "protocols": ["onvif"], "settings": {"SysIPAddress": "10.9.0.11"}}]})";
  QString error;
  const auto fleet = ParseFleet(json, false, error);
  ASSERT_TRUE(fleet.has_value()) << qPrintable(error);
  EXPECT_TRUE((*fleet)[0].ipv6LinkLocal);
  EXPECT_FALSE((*fleet)[1].ipv6LinkLocal);
}

struct BadFleetCase {
  const char* name;
  const char* json;
  const char* errorPart;
};

class BadFleetTest : public testing::TestWithParam<BadFleetCase> {};

TEST_P(BadFleetTest, IsRefusedWithAReason) {
  QString error;
  EXPECT_FALSE(ParseFleet(GetParam().json, true, error).has_value());
  EXPECT_TRUE(error.contains(QLatin1String(GetParam().errorPart))) << qPrintable(error);
}

INSTANTIATE_TEST_SUITE_P(
    Fleet, BadFleetTest,
    testing::Values(
        BadFleetCase{"NotJson", "{cameras:", "not JSON"}, BadFleetCase{"NoCameras", R"({"cameras": []})", "1 to"},
        BadFleetCase{"NotAnObject", R"({"cameras": [5]})", "camera 0: not an object"},
        BadFleetCase{
            "BadMac",
            R"({"cameras": [{"mac": "0.12.34.256.1.2", "family": 2, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "mac"},
        BadFleetCase{"BadFamily",
                     R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 1, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
                     "family"},
        BadFleetCase{"NoAddress", R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2}]})", "SysIPAddress is required"},
        BadFleetCase{
            "ForeignAddressOnLoopback",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "settings": {"SysIPAddress": "192.168.0.20"}}]})",
            "loopback"},
        BadFleetCase{
            "UnknownField",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "colour": 1, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "unknown field colour"},
        BadFleetCase{
            "UnknownFault",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "faults": {"explodes": true}, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "unknown fault explodes"},
        BadFleetCase{
            "DropShareAboveOne",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "faults": {"dropShare": 2}, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "dropShare"},
        BadFleetCase{
            "CaptionWithNewline",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "caption": "a\nb", "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "caption"},
        BadFleetCase{
            "BadSetting",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "settings": {"SysIPAddress": "127.1.1.1", "WlanMode": 1}}]})",
            "settings.WlanMode"},
        BadFleetCase{
            "HttpPortOfOurOwnProtocol",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "httpPort": 8080, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "httpPort"},
        BadFleetCase{
            "HttpPortOutOfRange",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "protocols": ["onvif"], "httpPort": 65536, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "httpPort"},
        BadFleetCase{
            "HttpPortNotWhole",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "protocols": ["onvif"], "httpPort": 80.5, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "httpPort"},
        BadFleetCase{
            "RefusedOperationNotAName",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "faults": {"refuseOperations": ["SetUser", 3]}, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "refuseOperations"},
        BadFleetCase{
            "RefusedOperationsNotAList",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "faults": {"refuseOperations": "SetUser"}, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "refuseOperations"},
        BadFleetCase{
            "IPv6LinkLocalOnLoopback",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "protocols": ["onvif"], "ipv6LinkLocal": true, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "ipv6LinkLocal"},
        BadFleetCase{
            "IPv6LinkLocalOfOurOwnProtocolOnly",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "ipv6LinkLocal": true, "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "ipv6LinkLocal"},
        BadFleetCase{
            "IPv6LinkLocalNotAFlag",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "protocols": ["onvif"], "ipv6LinkLocal": "eth0", "settings": {"SysIPAddress": "127.1.1.1"}}]})",
            "ipv6LinkLocal"},
        BadFleetCase{
            "SameMacTwice",
            R"({"cameras": [{"mac": "1.2.3.4.5.6", "family": 2, "settings": {"SysIPAddress": "127.1.1.1"}}, {"mac": "1.2.3.4.5.6", "family": 0, "settings": {"SysIPAddress": "127.1.1.2"}}]})",
            "two cameras have the MAC 1.2.3.4.5.6"}),
    [](const testing::TestParamInfo<BadFleetCase>& param) { return param.param.name; });

TEST(Fleet, GeneratedFleetIsDistinctAndMixed) {
  QString error;
  const auto fleet = GenerateFleet(600, "127.60.0.250", true, error);
  ASSERT_TRUE(fleet.has_value()) << qPrintable(error);
  ASSERT_EQ(fleet->size(), 600u);
  QSet<QString> macs, addresses;
  QSet<int> families;
  int wireless = 0, restartOnRequest = 0;
  for (const CameraProfile& camera : *fleet) {
    const QString address = camera.settings.value("SysIPAddress").toString();
    EXPECT_TRUE(protocol::IsMacText(camera.mac)) << qPrintable(camera.mac);
    EXPECT_TRUE(protocol::IsLoopback(address)) << qPrintable(address);
    EXPECT_FALSE(address.endsWith(".0") || address.endsWith(".255")) << qPrintable(address);
    EXPECT_EQ(camera.mode, camera.family == 2 ? "X-350" : "C-100");
    QString why;
    EXPECT_TRUE(ValidateWholeSettings(camera.settings, SettingsContext{camera.wireless, true}, why)) << qPrintable(why);
    macs.insert(camera.mac);
    addresses.insert(address);
    families.insert(camera.family);
    wireless += camera.wireless;
    restartOnRequest += VersionRestartsOnRequest(camera.version);
  }
  EXPECT_EQ(macs.size(), 600);
  EXPECT_EQ(addresses.size(), 600);
  EXPECT_EQ(families, (QSet<int>{0, 2}));
  EXPECT_EQ(wireless, 300);
  EXPECT_EQ(restartOnRequest, 200);
  EXPECT_EQ(fleet->front().settings.value("SysIPAddress"), "127.60.0.250");
  EXPECT_EQ((*fleet)[5].settings.value("SysIPAddress"), "127.60.1.1") << "skips .255 and .0";
}

TEST(Fleet, GeneratedFleetStaysInsideLoopback) {
  QString error;
  EXPECT_FALSE(GenerateFleet(10, "127.255.255.250", true, error).has_value());
  EXPECT_TRUE(error.contains("127.0.0.0/8"));
  EXPECT_FALSE(GenerateFleet(1, "10.0.0.5", true, error).has_value());
  EXPECT_FALSE(GenerateFleet(0, "127.0.0.5", true, error).has_value());
  EXPECT_TRUE(GenerateFleet(2, "10.0.0.5", false, error).has_value()) << "a real interface takes any address";
}

TEST(SettingsStore, KeepsSettingsPerCamera) {
  QTemporaryDir dir;
  const SettingsStore store(dir.path() + "/state");
  QString error;
  EXPECT_FALSE(store.Load("1.2.3.4.5.6", error).has_value());
  EXPECT_TRUE(error.isEmpty());
  QJsonObject settings = DefaultSettings(true);
  settings.insert("WlanESSID", "kept");
  ASSERT_TRUE(store.Save("1.2.3.4.5.6", settings, error)) << qPrintable(error);
  ASSERT_TRUE(store.Save("1.2.3.4.5.7", DefaultSettings(false), error)) << qPrintable(error);
  EXPECT_EQ(store.Load("1.2.3.4.5.6", error), settings);
  EXPECT_EQ(store.Load("1.2.3.4.5.7", error), DefaultSettings(false));
  EXPECT_EQ(QDir(dir.path() + "/state").entryList(QDir::Files).size(), 2) << "no temporary files left";
}

TEST(SettingsStore, DyingHalfwayLeavesTheOldFileWholeAndNoDebris) {
  QTemporaryDir dir;
  const SettingsStore store(dir.path());
  QString error;
  QJsonObject old = DefaultSettings(false);
  old.insert("SysAdminID", "old");
  ASSERT_TRUE(store.Save("1.2.3.4.5.6", old, error)) << qPrintable(error);
  QJsonObject changed = old;
  changed.insert("SysAdminID", "new");
  EXPECT_DEATH(store.SaveAndDieHalfway("1.2.3.4.5.6", changed), "");
  EXPECT_EQ(store.Load("1.2.3.4.5.6", error), old) << qPrintable(error);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"1.2.3.4.5.6.json"});
}

TEST(SettingsStore, RefusesDamagedOrForeignFiles) {
  QTemporaryDir dir;
  const SettingsStore store(dir.path());
  for (const QByteArray& content : {QByteArray("{\"mac\":\"1.2.3.4.5.6\",\"settings\":{"),
                                    QByteArray("{\"mac\":\"9.9.9.9.9.9\",\"settings\":{}}"), QByteArray("[]")}) {
    QFile file(store.PathFor("1.2.3.4.5.6"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    QString error;
    EXPECT_FALSE(store.Load("1.2.3.4.5.6", error).has_value()) << content.constData();
    EXPECT_FALSE(error.isEmpty());
  }
}

TEST(SettingsStore, WithoutFolderKeepsNothing) {
  const SettingsStore store{QString()};
  QString error;
  EXPECT_FALSE(store.Persistent());
  EXPECT_TRUE(store.Save("1.2.3.4.5.6", DefaultSettings(false), error));
  EXPECT_FALSE(store.Load("1.2.3.4.5.6", error).has_value());
}

// Answers the first challenge of `server` as a client would.
QByteArray Answer(DigestServer& server, const QString& user, const QString& password, const QString& uri,
                  int offer = 0) {
  const auto challenge = protocol::ParseDigestChallenge(server.Challenge(false).at(offer));
  EXPECT_TRUE(challenge.has_value());
  return protocol::DigestAuthorization(*challenge, user, password, "GET", uri);
}

TEST(Digest, OffersMd5ThenSha256) {
  DigestServer server;
  const QByteArrayList offers = server.Challenge(false);
  ASSERT_EQ(offers.size(), 2);
  EXPECT_EQ(protocol::ParseDigestChallenge(offers[0])->algorithm, "MD5");
  EXPECT_EQ(protocol::ParseDigestChallenge(offers[1])->algorithm, "SHA-256");
  EXPECT_EQ(protocol::ParseDigestChallenge(offers[0])->realm, "sentrova-camera");
  EXPECT_EQ(protocol::ParseDigestChallenge(offers[0])->qop, "auth");
  EXPECT_FALSE(offers[0].contains("stale"));
  EXPECT_TRUE(server.Challenge(true)[0].contains("stale=true"));
}

TEST(Digest, AcceptsTheRightAnswerOnce) {
  for (int offer : {0, 1}) {
    DigestServer server;
    const QByteArray authorization = Answer(server, "admin", "1234", "/setup/v1/hello", offer);
    EXPECT_EQ(server.Verify(authorization, "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Accepted);
    EXPECT_EQ(server.Verify(authorization, "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Refused)
        << "a replayed request is refused";
  }
}

TEST(Digest, RefusesWrongCredentialsAndMisfits) {
  DigestServer server;
  const QByteArray right = Answer(server, "admin", "1234", "/setup/v1/hello");
  EXPECT_EQ(
      server.Verify(Answer(server, "admin", "12345", "/setup/v1/hello"), "GET", "/setup/v1/hello", "admin", "1234"),
      DigestResult::Refused);
  EXPECT_EQ(server.Verify(Answer(server, "root", "1234", "/setup/v1/hello"), "GET", "/setup/v1/hello", "admin", "1234"),
            DigestResult::Refused);
  EXPECT_EQ(server.Verify(right, "GET", "/setup/v1/restart", "admin", "1234"), DigestResult::Unusable) << "other uri";
  EXPECT_EQ(server.Verify(right, "POST", "/setup/v1/hello", "admin", "1234"), DigestResult::Refused) << "other method";
  EXPECT_EQ(server.Verify("", "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Missing);
  EXPECT_EQ(server.Verify("Basic YWRtaW46MTIzNA==", "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Missing);
  // Refused before any password is looked at: no guess was checked.
  EXPECT_EQ(server.Verify("Digest " + QByteArray(5000, 'a'), "GET", "/setup/v1/hello", "admin", "1234"),
            DigestResult::Unusable);
  EXPECT_EQ(server.Verify("Digest garbage,,,=\"", "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Unusable);
}

TEST(Digest, UnknownNonceWithRightAnswerIsStale) {
  DigestServer issuer, other;
  const QByteArray authorization = Answer(issuer, "admin", "1234", "/setup/v1/hello");
  EXPECT_EQ(other.Verify(authorization, "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Stale);
  EXPECT_EQ(other.Verify(Answer(issuer, "admin", "bad", "/setup/v1/hello"), "GET", "/setup/v1/hello", "admin", "1234"),
            DigestResult::Refused);
}

}  // namespace
// Any spelling of the scheme, a parameter given twice refused as malformed,
// and no flood of challenges pushes out the one a client is answering.
TEST(Digest, SchemeInAnyCaseDuplicatesMalformedAndNoEviction) {
  DigestServer server;
  const QByteArray right = Answer(server, "admin", "1234", "/setup/v1/hello");
  for (int i = 0; i < 100000; ++i) server.Challenge(false);
  QByteArray lower = right;
  lower.replace(0, 6, "dIGEST");
  EXPECT_EQ(server.Verify(lower, "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Accepted)
      << "a hundred thousand later challenges changed nothing";
  const QByteArray again = Answer(server, "admin", "1234", "/setup/v1/hello");
  EXPECT_EQ(server.Verify(again + ", username=\"root\"", "GET", "/setup/v1/hello", "admin", "1234"),
            DigestResult::Malformed);
  EXPECT_EQ(server.Verify(again + ", nc=00000002", "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Malformed);
  EXPECT_EQ(server.Verify(again, "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Accepted);
  EXPECT_EQ(DigestServer().Verify(again, "GET", "/setup/v1/hello", "admin", "1234"), DigestResult::Stale)
      << "another camera's nonce is not ours";
}

TEST(Challenges, SpentOnceAndNeverPushedOutByAFlood) {
  ChallengeBook book;
  const QString first = book.Issue();
  EXPECT_EQ(first.size(), protocol::ChallengeHexChars);
  EXPECT_TRUE(protocol::IsHex(first, protocol::ChallengeHexChars));
  for (quint32 i = 0; i < ChallengeBook::Window - 2; ++i) book.Issue();
  EXPECT_TRUE(book.Spend(first)) << "still valid after a flood of challenges that fits the window";
  EXPECT_FALSE(book.Spend(first)) << "single use";
  const QString second = book.Issue();
  QString forged = second;
  forged[31] = forged[31] == u'0' ? u'1' : u'0';
  EXPECT_FALSE(book.Spend(forged)) << "a challenge the camera did not issue";
  EXPECT_FALSE(book.Spend(u"0123"_qs));
  EXPECT_TRUE(book.Spend(second)) << "a refused forgery does not spend the real one";
  const QString lost = book.Issue();
  for (quint32 i = 0; i < ChallengeBook::Window; ++i) book.Issue();
  EXPECT_FALSE(book.Spend(lost)) << "beyond the window it counts as lost";
}

// Wrong logins: a few at once, then one a second; right ones cost nothing;
// a quiet spell gives the whole burst back.
TEST(GuessBudget, FewWrongProofsAtOnceThenOnePerSecond) {
  GuessBudget budget;
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(budget.MayCheck(i)) << "right proofs spend nothing";
  for (int i = 0; i < GuessBudget::Burst; ++i) {
    EXPECT_TRUE(budget.MayCheck(100));
    budget.Failed(100);
  }
  EXPECT_FALSE(budget.MayCheck(100)) << "the burst is spent";
  EXPECT_FALSE(budget.MayCheck(100 + GuessBudget::RefillMs - 1));
  EXPECT_TRUE(budget.MayCheck(100 + GuessBudget::RefillMs)) << "one more a second later";
  budget.Failed(100 + GuessBudget::RefillMs);
  EXPECT_FALSE(budget.MayCheck(100 + GuessBudget::RefillMs * 3 / 2));
  int checked = 0;
  for (qint64 now = 60000; budget.MayCheck(now); ++checked) budget.Failed(now);
  EXPECT_EQ(checked, GuessBudget::Burst) << "after a quiet minute the burst again, no more";
}

// The queue of delayed answers holds at most MaxPending: what is posted
// beyond that is dropped, never sent, and counted in the log; the rest go out
// in order of their due time, equal times in the order they were posted.
// A new request is taken while few answers are due soon; answers due later
// (WS-Discovery waits up to 500 ms) do not hold it up.
TEST(AnswerScheduler, RoomForARequestCountsOnlyWhatIsDueSoon) {
  int argc = 1;
  char name[] = "camd_unit_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);  // the queue's timer
  QTemporaryDir dir;
  SimLog log;
  QString error;
  ASSERT_TRUE(log.Open(dir.filePath("camd.log"), error)) << qPrintable(error);
  AnswerScheduler scheduler(log);
  EXPECT_TRUE(scheduler.HasRoomFor(AnswerScheduler::MaxPending)) << "an empty queue takes any number";
  for (size_t i = 0; i < AnswerScheduler::FullAt - 3000; ++i) scheduler.Post([] {}, 5000);
  EXPECT_TRUE(scheduler.HasRoomFor(1000)) << "all due later";
  EXPECT_FALSE(scheduler.HasRoomFor(3001)) << "but never more than FullAt in all";
  for (size_t i = 0; i < AnswerScheduler::BusyAt - 1000; ++i) scheduler.Post([] {}, 0);
  EXPECT_TRUE(scheduler.HasRoomFor(1000));
  EXPECT_FALSE(scheduler.HasRoomFor(1001)) << "the sender would fall behind";
}

TEST(AnswerScheduler, BoundedAndInOrderOfDueTime) {
  int argc = 1;
  char name[] = "camd_unit_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  SimLog log;
  QString error;
  ASSERT_TRUE(log.Open(dir.filePath("camd.log"), error)) << qPrintable(error);
  AnswerScheduler scheduler(log);
  // Three due times far apart, posted interleaved latest first.
  const int delays[] = {1000, 500, 0};
  constexpr int kDropped = 5;
  std::vector<int> sent;
  for (int i = 0; i < int(AnswerScheduler::MaxPending) + kDropped; ++i)
    scheduler.Post([&sent, i] { sent.push_back(i); }, delays[i % 3]);
  EXPECT_EQ(scheduler.PendingCount(), AnswerScheduler::MaxPending);

  QElapsedTimer clock;
  clock.start();
  while (scheduler.PendingCount() > 0 && clock.elapsed() < 10000) app.processEvents(QEventLoop::WaitForMoreEvents, 100);
  std::vector<int> expected;
  for (int bucket : {2, 1, 0})
    for (int i = bucket; i < int(AnswerScheduler::MaxPending); i += 3) expected.push_back(i);
  EXPECT_EQ(sent, expected) << "by due time, then as posted; the dropped ones never";

  QFile file(dir.filePath("camd.log"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString logged = QString::fromUtf8(file.readAll());
  EXPECT_EQ(logged.count(u"sim answers queue full"_qs), 1) << qPrintable(logged);
  EXPECT_TRUE(logged.contains(QStringLiteral("sim answers dropped=%1 ").arg(kDropped))) << qPrintable(logged);
}

TEST(SettingRules, PerKey) {
  struct Case {
    const char* key;
    QJsonValue value;
    bool wireless;
    bool ok;
  };
  const Case cases[] = {
      {"WlanMode", 2, true, true},
      {"WlanMode", 3, true, false},
      {"WlanMode", 1, false, false},
      {"WlanChannel", 14, true, true},
      {"WlanChannel", 0, true, false},
      {"WlanWEPFlag", 257, true, true},
      {"WlanWEPFlag", 65536, true, false},
      {"SysIPAssignment", 1, false, true},
      {"SysIPAssignment", QStringLiteral("1"), false, false},
      {"DeviceType", 0, false, false},
      {"SysAdminID", QStringLiteral("abcdefghijkl"), false, true},
      {"SysAdminID", QStringLiteral("abcdefghijklm"), false, false},
      {"SysAdminPassword", QStringLiteral("12345678"), false, true},
      {"SysAdminPassword", QStringLiteral("123456789"), false, false},
      {"SysAdminPassword", 1234, false, false},
      {"WlanESSID", QString(32, u'e'), true, true},
      {"WlanESSID", QString(33, u'e'), true, false},
      {"WlanWEPKey", QStringLiteral("abcde"), true, true},
      {"WlanWEPKey", QStringLiteral("abcdef"), true, false},
      {"WlanWEPKeyHEX", QStringLiteral("0123456789"), true, true},
      {"WlanWEPKeyHEX", QStringLiteral("012345678g"), true, false},
      {"WlanWEPKeyHEX", QString(), true, true},
      {"SysIPAddress", QStringLiteral("127.0.0.5"), false, true},
      {"SysIPAddress", QStringLiteral("127.0.0.5; reboot"), false, false},
      {"SysDefaultGateway", QString(), false, true},
      {"SysSubnetMask", QString(), false, false},
      {"Unknown", 1, false, false},
  };
  for (const Case& c : cases) {
    const QString error = camd::SettingError(QString::fromLatin1(c.key), c.value, c.wireless);
    EXPECT_EQ(error.isEmpty(), c.ok) << c.key << ": " << error.toStdString();
    if (!c.ok) {
      EXPECT_TRUE(error.startsWith(QString::fromLatin1(c.key))) << error.toStdString();
    }
  }
}

}  // namespace camd
