#pragma once
// A real ONVIF device for one test: onvif_simple_server (tests/third_party,
// built into the build folder by the onvif_test_device target) run by
// start-device.sh in two network namespaces of the test's own, named
// "rd<pid><tag>-cam" (the device) and "rd<pid><tag>-pc" (the client side,
// 192.0.2.1/24, joined to the device by a veth pair). Destroying it ends the
// device's processes and deletes both namespaces; its records stay in
// RunDir() only when the running test has failed.
//
// A test talks to the device from inside the client namespace: InNetns moves
// the calling thread there (create every socket, and the camera control,
// while it is in scope).
#include <QString>
#include <QStringList>

struct RealOnvifDeviceOptions {
  QString auth = QStringLiteral("wsse");  // wsse (WS-UsernameToken), digest (HTTP Digest) or none
  bool apply = false;                     // Set* take effect 1 s after the answer; else nothing changes
  double delaySeconds = 0;                // every answer this much later
  double rebootSeconds = 2;               // how long a reboot keeps the link down
  QString firmware;                       // the version the device reports; empty: its own "1.2.3"
  QString user = QStringLiteral("admin");
  QString password = QStringLiteral("1234");
  QString address = QStringLiteral("192.0.2.10/24");  // the client side is 192.0.2.1/24
  QString gateway;                                    // empty: the client side's address
};

class RealOnvifDevice {
 public:
  // tag tells apart several devices of one test ("a", "b"; a few characters).
  explicit RealOnvifDevice(RealOnvifDeviceOptions options = {}, const QString& tag = {});
  ~RealOnvifDevice();
  RealOnvifDevice(const RealOnvifDevice&) = delete;
  RealOnvifDevice& operator=(const RealOnvifDevice&) = delete;

  // Starts the device and waits until it answers; false, with Error(), when
  // it cannot be built, started or reached.
  bool Start();
  const QString& Error() const { return error_; }
  void Stop();

  QString ClientNetns() const { return name_ + QStringLiteral("-pc"); }
  QString RunDir() const;
  const RealOnvifDeviceOptions& Options() const { return options_; }

  // What the device holds now, as its changes took effect (with --apply).
  QString Address() const;  // "192.0.2.10"
  QString Prefix() const;   // "24"
  QString Gateway() const;
  QString Password() const;

  // Waits until no change is still to take effect (an address, password or
  // reboot pending after its answer); false after timeoutMs.
  bool WaitUntilSettled(int timeoutMs) const;

  // The device's records: every request (TIME ID SERVICE METHOD HTTP_STATUS
  // RESULT USER AUTH REMOTE, TAB-separated) and every accepted change (TIME ID
  // SERVICE METHOD key=value ...).
  QStringList Requests() const;
  QStringList Changes() const;
  // The METHOD column of Requests() / Changes().
  QStringList RequestedMethods() const;
  QStringList ChangedMethods() const;
  // Forgets what was recorded so far (the next step's requests alone).
  void ClearRecords();

 private:
  QString EnvValue(const QString& key) const;

  RealOnvifDeviceOptions options_;
  QString name_;
  QString error_;
  bool started_ = false;
};

// Moves the calling thread into a network namespace made by ip netns, and
// back on destruction.
class InNetns {
 public:
  explicit InNetns(const QString& name);
  ~InNetns();
  InNetns(const InNetns&) = delete;
  InNetns& operator=(const InNetns&) = delete;
  bool Ok() const { return entered_; }

 private:
  int home_ = -1;
  bool entered_ = false;
};

// A login to the device as a client outside our camera control: whether the
// device, at address, accepts user and password now (an authenticated
// GetDeviceInformation; GetUsers and other reads answer without a login).
// Runs curl in the client namespace.
bool DeviceAcceptsLogin(const RealOnvifDevice& device, const QString& address, const QString& user,
                        const QString& password);
