// One wizard run on an ONVIF camera through the real camera control, in the
// order the wizard calls it: the login dialog, the launch, the wired
// summary's Restart; then a fresh login at the new address with the new
// password proves where the camera is. Prints one line per step with its
// time and the outcome. Used by bench/onvif_device_figures.sh against the
// ONVIF test device in network namespaces.
//
//   onvif_wizard_run ADDRESS PORT USER PASSWORD [NEW_PASSWORD NEW_ADDRESS MASK GATEWAY [restart]]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <string>

#include "device/camera_control.h"
#include "device/net_camera_control.h"
#include "protocol/wire.h"

namespace {

std::u16string U(const char* text) { return QString::fromLocal8Bit(text).toStdU16String(); }
std::string S(const std::u16string& text) { return QString::fromStdU16String(text).toStdString(); }

void Aim(device::NetCameraControl& camera, const std::u16string& address, int port) {
  camera.ProtocolFamily(2);
  camera.ProtocolOption(protocol::OnvifProtocolOption);
  camera.TargetAddress(address);
  camera.TargetMac(u"");
  camera.TargetPort(port);
  camera.ProtocolFamily(2);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 5 && argc != 9 && argc != 10) {
    std::fprintf(stderr, "usage: %s ADDRESS PORT USER PASSWORD [NEW_PASSWORD NEW_ADDRESS MASK GATEWAY [restart]]\n", argv[0]);
    return 2;
  }
  const std::u16string address = U(argv[1]);
  const int port = std::atoi(argv[2]);
  std::u16string user = U(argv[3]);
  std::u16string password = U(argv[4]);
  QElapsedTimer clock;
  device::NetCameraControl camTemp;
  Aim(camTemp, address, port);
  try {
    clock.start();
    int32_t state = camTemp.LoginState();
    if (state == device::LoginNeeded) state = camTemp.Login(user, password);
    std::printf("login: %d in %lld ms\n", state, static_cast<long long>(clock.elapsed()));
    if (state != device::LoginGranted) return 1;
    camTemp.LoginID(user);
    camTemp.LoginPassword(password);
    clock.restart();
    const int32_t connected = camTemp.Connect();
    std::printf("connect: %d in %lld ms; address %s mask %s gateway \"%s\" mac %s no login %d\n", connected,
                static_cast<long long>(clock.elapsed()), S(camTemp.GetSettingText(u"SysIPAddress")).c_str(),
                S(camTemp.GetSettingText(u"SysSubnetMask")).c_str(), S(camTemp.GetSettingText(u"SysDefaultGateway")).c_str(),
                S(camTemp.GetSettingText(protocol::MacAddressKey)).c_str(), camTemp.GetSettingNumber(protocol::NoLoginKey));
    if (argc == 5) return connected == 1 ? 0 : 1;

    const std::u16string newPassword = U(argv[5]);
    const std::u16string newAddress = U(argv[6]);
    clock.restart();
    camTemp.LoginID(user);
    camTemp.LoginPassword(password);
    camTemp.SetSetting(u"SysAdminID", user);
    camTemp.SetSetting(u"SysAdminPassword", newPassword);
    camTemp.SetSetting(u"SysIPAssignment", int16_t{1});
    camTemp.SetSetting(u"SysIPAddress", newAddress);
    camTemp.SetSetting(u"SysSubnetMask", U(argv[7]));
    camTemp.SetSetting(u"SysDefaultGateway", U(argv[8]));
    camTemp.ApplySettings(1, 0);
    std::printf("apply: done in %lld ms\n", static_cast<long long>(clock.elapsed()));
    if (argc == 10) {
      clock.restart();
      camTemp.Restart();
      std::printf("restart: done in %lld ms\n", static_cast<long long>(clock.elapsed()));
    }
  } catch (const device::CameraControlError& error) {
    std::printf("error after %lld ms: Camera Error . %s\n", static_cast<long long>(clock.elapsed()), error.what());
    return 1;
  }
  return 0;
}
