// The PC's side of the network-namespace test: the real camera control, on one
// named interface and a discovery port, called member by member as the wizard
// calls it.
//
//   camctl_driver IFACE PORT address-in-use ADDRESS
//       TargetAddress, AddressInUse; prints "address-in-use -1|0".
//   camctl_driver IFACE PORT change MAC ADDRESS MASK GATEWAY [ID]
//       The wizard's path to a camera with a doubtful address: the login
//       dialog (LoginState, Login when it says 2), then the new address
//       (AddressInUse for it, TargetMac, ChangeAddress, ApplySettings(1, 0)).
//       Prints one line per answer; stops where the wizard stops.
//   camctl_driver IFACE PORT connect ADDRESS MAC ID
//       Connect to a login camera (port 80) expected to be MAC; prints "connect N".
//
// With an ID, the password is the first line of standard input: a command
// line is visible to every user of the machine.
//
// Exit status: 0 when the path went through (address-in-use: always), 1 when
// it stopped (login refused, address taken, change refused, no connection),
// 2 for wrong arguments, 3 when the interface cannot be used. The component
// logs to stderr.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "device/net_camera_control.h"

namespace {

constexpr int Stopped = 1;
constexpr int Usage = 2;
constexpr int NoInterface = 3;

// The fleet of this test is made of login cameras.
constexpr int32_t LoginFamily = 2;
constexpr int32_t LoginFamilyPort = 80;

std::u16string U(const char* text) { return QString::fromLocal8Bit(text).toStdU16String(); }

// The first line of standard input, without its line end.
std::u16string PasswordFromInput() {
  std::string line;
  std::getline(std::cin, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return QString::fromLocal8Bit(line.c_str()).toStdU16String();
}

void Print(const char* what, int32_t value) {
  std::printf("%s %d\n", what, value);
  std::fflush(stdout);
}

int AddressInUse(device::CameraControl& camera, const std::u16string& address) {
  camera.TargetAddress(address);
  Print("address-in-use", camera.AddressInUse());
  return 0;
}

// As the login dialog: granted when the camera needs no login, or accepts
// the ID and password.
bool LoginGranted(device::CameraControl& camera, std::u16string id, std::u16string password) {
  int32_t state = camera.LoginState();
  Print("login-state", state);
  if (state == device::LoginNeeded) {
    state = camera.Login(id, password);
    Print("login", state);
  }
  return state == device::LoginGranted;
}

int Change(device::CameraControl& camera, const std::vector<std::u16string>& args) {
  const std::u16string& mac = args[0];
  std::u16string address = args[1];
  std::u16string mask = args[2];
  std::u16string gateway = args[3];
  const std::u16string id = args.size() > 4 ? args[4] : u"";
  const std::u16string password = args.size() > 4 ? PasswordFromInput() : u"";

  // The camera chosen in the list.
  camera.ProtocolFamily(LoginFamily);
  camera.ProtocolOption(0);
  camera.TargetMac(mac);
  camera.TargetPort(LoginFamilyPort);
  if (!LoginGranted(camera, id, password)) return Stopped;

  // The address page's OK.
  camera.ProtocolOption(0);
  camera.ProtocolFamily(LoginFamily);
  camera.TargetPort(LoginFamilyPort);
  camera.TargetAddress(address);
  const int32_t inUse = camera.AddressInUse();
  Print("address-in-use", inUse);
  if (inUse == -1) return Stopped;
  camera.TargetMac(mac);
  try {
    const int32_t changed = camera.ChangeAddress(address, mask, gateway);
    Print("change-address", changed);
    camera.ApplySettings(1, 0);
  } catch (const device::CameraControlError& error) {
    std::printf("camera-error %s\n", error.what());
    return Stopped;
  }
  std::printf("apply-settings done\n");
  return 0;
}

int Connect(device::CameraControl& camera, const std::vector<std::u16string>& args) {
  camera.ProtocolFamily(LoginFamily);
  camera.ProtocolOption(0);
  camera.TargetAddress(args[0]);
  camera.TargetMac(args[1]);
  camera.TargetPort(LoginFamilyPort);
  camera.LoginID(args[2]);
  camera.LoginPassword(PasswordFromInput());
  const int32_t connected = camera.Connect();
  Print("connect", connected);
  return connected != 0 ? 0 : Stopped;
}

int UsageError() {
  std::fprintf(stderr,
               "usage: camctl_driver IFACE PORT address-in-use ADDRESS\n"
               "       camctl_driver IFACE PORT change MAC ADDRESS MASK GATEWAY [ID]\n"
               "       camctl_driver IFACE PORT connect ADDRESS MAC ID\n"
               "(the password, with an ID, is the first line of standard input)\n");
  return Usage;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 4) return UsageError();
  const QString interfaceName = QString::fromLocal8Bit(argv[1]);
  bool portOk = false;
  const uint port = QString::fromLocal8Bit(argv[2]).toUInt(&portOk);
  if (!portOk || port < 1 || port > 65535) return UsageError();
  const std::string command = argv[3];
  std::vector<std::u16string> args;
  for (int i = 4; i < argc; ++i) args.push_back(U(argv[i]));

  // A mistyped interface would make every MAC command go unanswered, which
  // reads as "address free": refuse it instead.
  const device::InterfaceChoice choice = device::ChooseInterfaces(QStringList{interfaceName});
  if (!choice.error.isEmpty() || choice.interfaces.empty()) {
    std::fprintf(stderr, "camctl_driver: %s\n", qPrintable(choice.error));
    return NoInterface;
  }

  device::NetOptions options;
  options.interfaceNames = QStringList{interfaceName};
  options.port = static_cast<quint16>(port);
  // The machine running the test may be busy: a reply gets a second, not the
  // wizard's 400 ms (copies are still sent 100 ms apart).
  options.macWait = std::chrono::milliseconds(1000);
  device::NetCameraControl camera(options);

  if (command == "address-in-use" && args.size() == 1) return AddressInUse(camera, args[0]);
  if (command == "change" && (args.size() == 4 || args.size() == 5)) return Change(camera, args);
  if (command == "connect" && args.size() == 3) return Connect(camera, args);
  return UsageError();
}
