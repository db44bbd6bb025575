// The network camera control against the real simulator on loopback.
#include <gtest/gtest.h>

#include <QJsonObject>
#include <functional>
#include <string>

#include "device/net_camera_control.h"
#include "protocol/wire.h"
#include "simulator.h"

namespace {

using device::NetCameraControl;

std::u16string U(const QString& text) { return text.toStdU16String(); }

// A camera control aimed at one simulated camera, as the wizard prepares CamTemp.
void Aim(NetCameraControl& control, const Simulator& sim, int host, int family) {
  control.ProtocolFamily(family);
  control.ProtocolOption(0);
  control.TargetAddress(U(sim.Address(host)));
  control.TargetMac(U(sim.Mac(host)));
  control.TargetPort(family != 0 ? 80 : 8481);
}

void LogIn(NetCameraControl& control, const char16_t* id, const char16_t* password) {
  control.LoginID(id);
  control.LoginPassword(password);
}

// The reason a write gives when it does not take; empty when it took.
std::string WriteError(const std::function<void()>& write) {
  try {
    write();
  } catch (const device::CameraControlError& error) {
    return error.what();
  }
  return {};
}

TEST(NetSearch, FindsEveryCameraWithEveryFieldInAddressOrder) {
  Simulator sim({
      {.host = 30, .family = 0, .mode = u"C-100"_qs, .caption = u"Garage"_qs, .version = u"2.11.003"_qs},
      {.host = 12,
       .family = 2,
       .mode = u"X-350"_qs,
       .caption = u"Front door"_qs,
       .version = u"2.10.001"_qs,
       .wireless = true},
      {.host = 200, .family = 2, .mode = u"X-350W"_qs, .caption = u"Caf\u00e9 \u00fcber"_qs, .version = u"3.0"_qs},
  });
  ASSERT_TRUE(sim.Start());
  NetCameraControl cam(sim.Options());
  std::vector<QString> streamed;
  cam.SetFoundCallback([&](const device::FoundCamera& found) { streamed.push_back(found.address); });
  cam.Search();

  ASSERT_EQ(cam.FoundCount(), 3);
  struct Expected {
    int host;
    const char16_t* mode;
    const char16_t* caption;
    const char16_t* version;
  };
  const Expected expected[] = {{12, u"X-350", u"Front door", u"2.10.001"},
                               {30, u"C-100", u"Garage", u"2.11.003"},
                               {200, u"X-350W", u"Caf\u00e9 \u00fcber", u"3.0"}};
  for (int i = 0; i < 3; ++i) {
    cam.DeviceIndex(i);
    EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(expected[i].host))) << i;
    EXPECT_EQ(cam.DeviceMacText(), U(sim.Mac(expected[i].host))) << i;
    EXPECT_EQ(cam.DeviceSubnetMask(), u"255.255.255.0") << i;
    EXPECT_EQ(cam.DeviceGateway(), U(sim.Address(1))) << i;
    EXPECT_EQ(cam.DeviceMode(), expected[i].mode) << i;
    EXPECT_EQ(cam.DeviceCaption(), expected[i].caption) << i;
    EXPECT_EQ(cam.DeviceVersionText(), expected[i].version) << i;
  }
  EXPECT_EQ(streamed.size(), 3u) << "each camera is streamed once, however many probe copies it answered";
  EXPECT_EQ(sim.LogLines({u"sim udp probe"_qs}).size(), sim.Options().probeCopies) << "every probe copy goes out";

  cam.DeviceIndex(3);
  EXPECT_EQ(cam.DeviceAddress(), u"") << "an index past the list describes nothing";
  cam.DeviceIndex(-1);
  EXPECT_EQ(cam.DeviceMacText(), u"");

  cam.Search();
  EXPECT_EQ(cam.FoundCount(), 3) << "a second search rebuilds the same list";

  device::NetOptions capped = sim.Options();
  capped.searchCap = std::chrono::milliseconds(1);
  capped.probeInterval = std::chrono::milliseconds(50);
  NetCameraControl hurried(capped);
  const qsizetype probesBefore = sim.LogLines({u"sim udp probe"_qs}).size();
  hurried.Search();
  const auto probes = [&] { return sim.LogLines({u"sim udp probe"_qs}).size(); };
  ASSERT_TRUE(WaitUntil([&] { return probes() > probesBefore; }, 5000));
  WaitUntil([&] { return probes() > probesBefore + 1; }, 200);  // a late copy would show by now
  EXPECT_EQ(probes(), probesBefore + 1) << "the cap ends the search before the next copy";
}

// A camera that speaks both protocols is one row, the row of our own
// protocol, whether or not its WS-Discovery answer names its MAC (on
// loopback no neighbour table knows it).
TEST(NetSearch, ACameraOfBothProtocolsIsOneRow) {
  Simulator sim(
      {{.host = 20, .caption = u"Scoped"_qs, .protocols = {u"sentrova"_qs, u"onvif"_qs}},
       {.host = 21, .caption = u"Unscoped"_qs, .protocols = {u"sentrova"_qs, u"onvif"_qs}, .macScope = false},
       {.host = 22, .caption = u"Onvif only"_qs, .protocols = {u"onvif"_qs}, .httpPort = 8080, .macScope = false}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl cam(sim.Options());
  cam.Search();
  ASSERT_EQ(cam.FoundCount(), 3);
  for (int row = 0; row < 2; ++row) {
    cam.DeviceIndex(row);
    EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(20 + row)));
    EXPECT_EQ(cam.DeviceMacText(), U(sim.Mac(20 + row))) << "our own protocol's row";
    EXPECT_EQ(cam.DeviceMode(), u"X-350");
  }
  cam.DeviceIndex(2);
  EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(22)));
  EXPECT_EQ(cam.DeviceMode(), u"ONVIF");
  EXPECT_EQ(cam.DeviceMacText(), u"") << "unknown stays unknown";
}

TEST(NetSearch, NoCameraAndAnUnusableInterfaceGiveAnEmptyList) {
  Simulator sim(std::vector<SimCamera>{SimCamera{}});  // not started: nobody answers on its port
  NetCameraControl cam(sim.Options());
  cam.Search();
  EXPECT_EQ(cam.FoundCount(), 0);

  device::NetOptions options = sim.Options();
  options.interfaceNames = QStringList{u"no-such-interface"_qs};
  NetCameraControl elsewhere(options);
  elsewhere.Search();
  EXPECT_EQ(elsewhere.FoundCount(), 0);
}

TEST(NetConnect, DigestLoginRefusedAndAccepted) {
  Simulator sim({{.host = 10, .family = 2}, {.host = 11, .family = 0, .mode = u"C-100"_qs}});
  ASSERT_TRUE(sim.Start());
  struct Case {
    int host;
    int family;
    const char16_t* id;
    const char16_t* password;
    int32_t connected;
  };
  const Case cases[] = {
      {10, 2, u"admin", u"secret", 1},
      {10, 2, u"admin", u"wrong", 0},
      {10, 2, u"Admin", u"secret", 0},
      {10, 2, u"", u"", 0},
      {11, 0, u"", u"", 1},  // family 0 answers hello without a login
  };
  for (const Case& c : cases) {
    NetCameraControl camTemp(sim.Options());
    Aim(camTemp, sim, c.host, c.family);
    LogIn(camTemp, c.id, c.password);
    EXPECT_EQ(camTemp.Connect(), c.connected) << c.host << " " << QString::fromStdU16String(c.id).toStdString();
  }
}

TEST(NetConnect, NoAnswerWrongCameraOrBadTargetGiveZero) {
  Simulator sim({{.host = 10, .family = 2}, {.host = 11, .family = 2}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  LogIn(camTemp, u"admin", u"secret");

  Aim(camTemp, sim, 10, 2);
  camTemp.TargetMac(U(sim.Mac(11)));  // another camera answers at this address
  EXPECT_EQ(camTemp.Connect(), 0);
  EXPECT_TRUE(sim.LogLines({sim.Mac(10), u"/setup/v1/hello"_qs, u"status=401"_qs}).size() == 1)
      << "only the unauthenticated first request reached the wrong camera";

  Aim(camTemp, sim, 99, 2);  // nobody there
  EXPECT_EQ(camTemp.Connect(), 0);
  EXPECT_EQ(camTemp.GetSettingText(u"SysAdminID"), u"");
  EXPECT_EQ(camTemp.GetSettingNumber(u"DeviceType"), 0);

  for (const char16_t* address : {u"", u"not an address", u"127.0.0.1; reboot", u"127.0.0.256"}) {
    camTemp.TargetAddress(address);
    EXPECT_EQ(camTemp.Connect(), 0);
  }
  Aim(camTemp, sim, 10, 2);
  camTemp.TargetPort(70000);
  EXPECT_EQ(camTemp.Connect(), 0);
}

TEST(NetLogin, StateAndLoginByMac) {
  Simulator sim({{.host = 10, .family = 2}, {.host = 11, .family = 0, .mode = u"C-100"_qs}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());

  Aim(camTemp, sim, 10, 2);
  EXPECT_EQ(camTemp.LoginState(), 2);
  std::u16string id = u"admin";
  std::u16string wrong = u"guess";
  EXPECT_EQ(camTemp.Login(id, wrong), 2);
  EXPECT_EQ(camTemp.LoginID(), u"") << "refused credentials are not taken";
  std::u16string right = u"secret";
  EXPECT_EQ(camTemp.Login(id, right), 3);
  EXPECT_EQ(camTemp.LoginID(), u"admin");
  EXPECT_EQ(camTemp.LoginPassword(), u"secret");
  EXPECT_EQ(camTemp.Connect(), 1) << "the accepted credentials also open the HTTP API";
  EXPECT_TRUE(sim.LogLines({u"secret"_qs}).isEmpty()) << "the password never crosses the network";

  std::u16string tooLong(65, u'a');
  EXPECT_EQ(camTemp.Login(tooLong, right), 2);

  Aim(camTemp, sim, 11, 0);
  EXPECT_EQ(camTemp.LoginState(), 3) << "a family-0 camera needs no login";

  camTemp.TargetMac(u"0.12.34.1.2.3");  // no such camera
  EXPECT_EQ(camTemp.LoginState(), 0);
  EXPECT_EQ(camTemp.Login(id, right), 0);
  camTemp.TargetMac(u"not a mac");
  EXPECT_EQ(camTemp.LoginState(), 0);
}

TEST(NetSettings, ReadKeptAppliedAndPersistedAcrossASimulatorRestart) {
  Simulator sim({{.host = 10,
                  .family = 2,
                  .wireless = true,
                  .settings = QJsonObject{{u"WlanESSID"_qs, u"home"_qs}, {u"WlanChannel"_qs, 6}}}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  Aim(camTemp, sim, 10, 2);
  LogIn(camTemp, u"admin", u"secret");

  EXPECT_EQ(camTemp.GetSettingText(u"SysAdminID"), u"admin");
  EXPECT_EQ(camTemp.GetSettingText(u"WlanESSID"), u"home");
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), 6);
  EXPECT_NE(camTemp.GetSettingNumber(u"DeviceType") & (1 << 29), 0) << "bit 29: wireless";
  EXPECT_EQ(camTemp.GetSettingText(u"NoSuchKey"), u"");
  EXPECT_EQ(camTemp.GetSettingText(u"../../etc/passwd"), u"");

  camTemp.SetSetting(u"WlanESSID", std::u16string(u"office"));
  camTemp.SetSetting(u"WlanChannel", int16_t{11});
  EXPECT_EQ(camTemp.GetSettingText(u"WlanESSID"), u"home") << "kept settings wait for the apply";
  EXPECT_TRUE(sim.LogLines({u"/setup/v1/apply"_qs}).isEmpty());
  camTemp.ApplySettings(1, 0);
  EXPECT_EQ(camTemp.GetSettingText(u"WlanESSID"), u"office");
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), 11);
  const QStringList applies = sim.LogLines({u"POST /setup/v1/apply"_qs});
  ASSERT_EQ(applies.size(), 2) << "the Digest challenge, then the authenticated apply";
  EXPECT_TRUE(applies[1].contains(u"status=200"_qs)) << applies[1].toStdString();

  camTemp.ApplySettings(1, 0);
  EXPECT_EQ(sim.LogLines({u"POST /setup/v1/apply"_qs}).size(), 2) << "nothing kept: nothing sent";

  camTemp.SetSetting(u"WlanWEPFlag", static_cast<int16_t>(-32512));  // bits 15 and 8 in a signed word
  camTemp.ApplySettings(1, 0);
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanWEPFlag"), 0x8100) << "a flag word travels unsigned";

  sim.Stop();
  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(camTemp.GetSettingText(u"WlanESSID"), u"office");
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), 11);
}

TEST(NetSettings, ARefusedApplyChangesNothingAndIsNotRepeated) {
  Simulator sim({{.host = 10, .family = 2, .wireless = true}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  Aim(camTemp, sim, 10, 2);
  LogIn(camTemp, u"admin", u"secret");
  const int32_t channel = camTemp.GetSettingNumber(u"WlanChannel");

  camTemp.SetSetting(u"SysAdminID", std::u16string(u"boss"));
  camTemp.SetSetting(u"WlanChannel", int16_t{99});
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "ApplySettings failed: WlanChannel: out of range")
      << "the camera's reason reaches the caller";
  EXPECT_EQ(camTemp.GetSettingText(u"SysAdminID"), u"admin") << "all or nothing";
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), channel);
  EXPECT_EQ(sim.LogLines({u"POST /setup/v1/apply"_qs, u"status=422"_qs}).size(), 1);

  camTemp.SetSetting(u"WlanChannel", int16_t{3});
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "");
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), 3);
  EXPECT_EQ(camTemp.GetSettingText(u"SysAdminID"), u"admin") << "the refused set is not applied later";

  camTemp.SetSetting(u"WlanChannel", int16_t{4});
  camTemp.TargetMac(U(sim.Mac(11)));  // another camera: kept settings and the login are dropped
  EXPECT_EQ(camTemp.LoginID(), u"") << "no camera gets another camera's login";
  EXPECT_EQ(camTemp.LoginPassword(), u"");
  camTemp.TargetMac(U(sim.Mac(10)));
  LogIn(camTemp, u"admin", u"secret");
  camTemp.ApplySettings(1, 0);
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), 3);

  LogIn(camTemp, u"admin", u"wrong");
  camTemp.SetSetting(u"WlanChannel", int16_t{5});
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "ApplySettings failed: login refused");
  LogIn(camTemp, u"admin", u"secret");
  EXPECT_EQ(camTemp.GetSettingNumber(u"WlanChannel"), 3) << "an apply with wrong credentials is refused";
}

TEST(NetRestart, SilentThenBackOnTheNewAddress) {
  Simulator sim({{.host = 10, .family = 2, .version = u"2.10.001"_qs}}, 300);
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  Aim(camTemp, sim, 10, 2);
  LogIn(camTemp, u"admin", u"secret");

  camTemp.SetSetting(u"SysAdminID", std::u16string(u"boss"));
  camTemp.SetSetting(u"SysAdminPassword", std::u16string(u"newpw"));
  camTemp.SetSetting(u"SysIPAddress", U(sim.Address(20)));
  camTemp.ApplySettings(1, 0);
  EXPECT_EQ(camTemp.Connect(), 1) << "this firmware keeps the old address and login until restarted";

  camTemp.Restart();
  EXPECT_EQ(sim.LogLines({u"POST /setup/v1/restart"_qs, u"status=200"_qs}).size(), 1);
  EXPECT_EQ(camTemp.Connect(), 0) << "silent while restarting";
  ASSERT_TRUE(sim.WaitForLog({sim.Mac(10), u"state up"_qs, sim.Address(20)}));

  NetCameraControl cam(sim.Options());
  cam.Search();
  ASSERT_EQ(cam.FoundCount(), 1);
  cam.DeviceIndex(0);
  EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(20)));

  camTemp.TargetAddress(U(sim.Address(20)));
  EXPECT_EQ(camTemp.Connect(), 0) << "the old credentials no longer open it";
  LogIn(camTemp, u"boss", u"newpw");
  EXPECT_EQ(camTemp.Connect(), 1);
}

TEST(NetAddress, InUseAndChangeByMac) {
  Simulator sim({{.host = 10, .family = 2}, {.host = 11, .family = 2}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  camTemp.ProtocolFamily(2);
  camTemp.TargetPort(80);

  camTemp.TargetAddress(U(sim.Address(11)));
  EXPECT_EQ(camTemp.AddressInUse(), -1);
  camTemp.TargetAddress(U(sim.Address(10)));
  EXPECT_EQ(camTemp.AddressInUse(), -1) << "a camera's own address is taken too";
  camTemp.TargetAddress(U(sim.Address(50)));
  EXPECT_EQ(camTemp.AddressInUse(), 0);
  camTemp.TargetAddress(u"garbage");
  EXPECT_EQ(camTemp.AddressInUse(), 0);

  // The change-address path: login by MAC, then change and apply.
  camTemp.TargetMac(U(sim.Mac(10)));
  std::u16string id = u"admin";
  std::u16string password = u"secret";
  ASSERT_EQ(camTemp.Login(id, password), 3);
  std::u16string badAddress = u"127.0.0.1; reboot";
  std::u16string mask = u"255.255.0.0";
  std::u16string gateway = U(sim.Address(1));
  EXPECT_EQ(WriteError([&] { camTemp.ChangeAddress(badAddress, mask, gateway); }),
            "ChangeAddress failed: not a valid address, mask or gateway");
  std::u16string address = U(sim.Address(50));
  EXPECT_EQ(camTemp.ChangeAddress(address, mask, gateway), 1);
  EXPECT_TRUE(sim.LogLines({u"udp apply"_qs}).isEmpty()) << "the camera only keeps the address until the apply";
  camTemp.ApplySettings(1, 0);
  ASSERT_TRUE(sim.WaitForLog({sim.Mac(10), u"state up"_qs, sim.Address(50)}));
  QStringList commands;  // what reached the camera by MAC, in order
  for (const QString& line : sim.LogLines({sim.Mac(10), u" udp "_qs})) {
    if (!line.contains(u"repeated"_qs)) commands << line.section(u" udp "_qs, 1).section(u' ', 0, 0);
  }
  EXPECT_EQ(commands, (QStringList{u"who-has"_qs, u"challenge"_qs, u"login"_qs, u"challenge"_qs, u"change-address"_qs,
                                   u"challenge"_qs, u"apply"_qs}))
      << "the invalid address was never sent; each proof has a fresh challenge";

  NetCameraControl cam(sim.Options());
  cam.Search();
  ASSERT_EQ(cam.FoundCount(), 2);
  cam.DeviceIndex(1);
  EXPECT_EQ(cam.DeviceMacText(), U(sim.Mac(10)));
  EXPECT_EQ(cam.DeviceAddress(), U(sim.Address(50)));
  EXPECT_EQ(cam.DeviceSubnetMask(), u"255.255.0.0");
}

TEST(NetAddress, ChangeRefusedWithoutTheRightPassword) {
  Simulator sim({{.host = 10, .family = 2}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  camTemp.TargetMac(U(sim.Mac(10)));
  LogIn(camTemp, u"admin", u"wrong");
  std::u16string address = U(sim.Address(60));
  std::u16string mask = u"255.255.255.0";
  std::u16string gateway = u"";
  EXPECT_EQ(WriteError([&] { camTemp.ChangeAddress(address, mask, gateway); }), "ChangeAddress failed: login refused");
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "") << "nothing kept, nothing to apply";
  EXPECT_TRUE(sim.LogLines({u"state silent"_qs}).isEmpty()) << "nothing applied, no restart";
  camTemp.TargetAddress(U(sim.Address(10)));
  EXPECT_EQ(camTemp.AddressInUse(), -1) << "still at its old address";
}

// Writes that do not take say so, each with its reason; reads of the same
// silent camera keep their no-answer results.
TEST(NetWrites, NotAnsweredOrRefusedWritesFailWithTheReason) {
  Simulator sim({{.host = 10, .family = 2, .faults = QJsonObject{{u"refuseConnections"_qs, true}}}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  Aim(camTemp, sim, 10, 2);
  LogIn(camTemp, u"admin", u"secret");
  EXPECT_EQ(camTemp.Connect(), 0);
  camTemp.SetSetting(u"SysAdminID", std::u16string(u"boss"));
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }).rfind("ApplySettings failed: no answer (", 0), 0u);
  EXPECT_EQ(WriteError([&] { camTemp.Restart(); }).rfind("Restart failed: no answer (", 0), 0u);

  camTemp.TargetMac(u"0.12.99.99.99.99");  // no such camera
  std::u16string address = U(sim.Address(30));
  std::u16string mask = u"255.255.255.0";
  std::u16string gateway = u"";
  EXPECT_EQ(WriteError([&] { camTemp.ChangeAddress(address, mask, gateway); }),
            "ChangeAddress failed: no answer from the camera");
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "") << "nothing kept: nothing to report";
}

// What would lock a camera away is not sent at all: the caller hears why.
TEST(NetWrites, LockingValuesAreNeverSent) {
  Simulator sim({{.host = 10, .family = 2}});
  ASSERT_TRUE(sim.Start());
  NetCameraControl camTemp(sim.Options());
  Aim(camTemp, sim, 10, 2);
  LogIn(camTemp, u"admin", u"secret");
  const struct {
    const char16_t* key;
    std::u16string value;
    std::string error;
  } cases[] = {
      {u"SysAdminID", std::u16string(u"ad") + char16_t(0xD800), "SysAdminID: holds a lone surrogate"},
      {u"SysAdminPassword", u"pw\u0085", "SysAdminPassword: holds a control character"},
      {u"SysAdminID", u"\u009b2J", "SysAdminID: holds a control character"},
      {u"SysIPAddress", U(sim.prefix()) + u"255",
       sim.prefix().toStdString() + "255 is the network or broadcast address of its subnet"},
  };
  for (const auto& c : cases) {
    camTemp.SetSetting(u"SysSubnetMask", std::u16string(u"255.255.255.0"));
    camTemp.SetSetting(c.key, c.value);
    EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "ApplySettings failed: " + c.error);
  }
  std::u16string address = U(sim.prefix()) + u"0";
  std::u16string mask = u"255.255.255.0";
  std::u16string gateway = u"";
  EXPECT_EQ(
      WriteError([&] { camTemp.ChangeAddress(address, mask, gateway); }),
      "ChangeAddress failed: " + sim.prefix().toStdString() + "0 is the network or broadcast address of its subnet");
  EXPECT_TRUE(sim.LogLines({u"/setup/v1/apply"_qs}).isEmpty()) << "no apply reached the camera";
  EXPECT_TRUE(sim.LogLines({sim.Mac(10), u" udp "_qs}).isEmpty()) << "no MAC command either";
  EXPECT_EQ(camTemp.GetSettingText(u"SysAdminID"), u"admin");
}

// The ONVIF backend alone against the simulator's ONVIF camera: the login
// dialog's calls, then a new password and address, confirmed, and the
// camera found at its new address with its new password.
TEST(NetOnvif, LogsInAndMovesTheCameraWithANewPassword) {
  Simulator sim({{.host = 40, .family = 2, .mode = u"DC-1"_qs, .protocols = {u"onvif"_qs}, .httpPort = 8080}});
  ASSERT_TRUE(sim.Start());
  const auto aim = [&](NetCameraControl& control, int host) {
    control.ProtocolFamily(2);
    control.ProtocolOption(protocol::OnvifProtocolOption);
    control.TargetAddress(U(sim.Address(host)));
    control.TargetMac(U(sim.Mac(40)));
    control.TargetPort(8080);
  };
  NetCameraControl camTemp(sim.Options());
  aim(camTemp, 40);
  EXPECT_EQ(camTemp.LoginState(), device::LoginNeeded);
  std::u16string id = u"admin", wrong = u"nope", right = u"secret";
  EXPECT_EQ(camTemp.Login(id, wrong), device::LoginNeeded);
  ASSERT_EQ(camTemp.Login(id, right), device::LoginGranted);
  EXPECT_EQ(camTemp.GetSettingText(protocol::MacAddressKey), U(sim.Mac(40))) << "the camera's own MAC";
  EXPECT_EQ(camTemp.GetSettingNumber(protocol::NoLoginKey), 0);

  camTemp.SetSetting(u"SysAdminPassword", std::u16string(u"n3w"));
  camTemp.SetSetting(u"SysIPAddress", U(sim.Address(41)));
  camTemp.SetSetting(u"SysSubnetMask", std::u16string(u"255.255.255.0"));
  camTemp.SetSetting(u"SysDefaultGateway", U(sim.Address(1)));
  EXPECT_EQ(WriteError([&] { camTemp.ApplySettings(1, 0); }), "");
  EXPECT_EQ(camTemp.LoginPassword(), u"n3w");

  NetCameraControl later(sim.Options());
  aim(later, 41);
  LogIn(later, u"admin", u"n3w");
  EXPECT_TRUE(WaitUntil([&] { return later.Connect() == 1; }, 5000)) << "found at the new address";
  EXPECT_EQ(later.GetSettingText(u"SysIPAddress"), U(sim.Address(41)));
}

}  // namespace
