#pragma once
// Runs sentrova-camd on loopback for one test: a fleet of its own on a random
// 127.x.y.0/24 network and a random discovery port, so that tests running in
// parallel never hear each other.
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "device/net_options.h"

struct SimCamera {
  int host = 10;  // the camera's address is Simulator::Address(host)
  int family = 2;
  QString mode = QStringLiteral("X-350");
  QString caption = QStringLiteral("Camera");
  QString version = QStringLiteral("2.10.001");  // passes the version test: restarts on request
  bool wireless = false;
  QJsonObject settings;  // merged over the defaults (address from host, admin/secret)
  QJsonObject faults;
  QStringList protocols;      // the fleet's "protocols"; empty: our own only
  int httpPort = 0;           // the fleet's "httpPort" (an ONVIF-only camera's service port); 0: the default
  bool macScope = true;       // the fleet's "macScope": whether its ONVIF scopes name the MAC
  bool answersProbes = true;  // the fleet's "answersProbes": false, an ONVIF camera only announces itself
};

class Simulator {
 public:
  explicit Simulator(std::vector<SimCamera> cameras, int restartMs = 200);
  ~Simulator();

  bool Start();  // waits until the fleet is up
  void Stop();

  QString Address(int host) const { return prefix_ + QString::number(host); }
  QString Mac(int host) const;  // the MAC the fleet gives the camera at host
  quint16 port() const { return port_; }
  quint16 onvifPort() const { return onvifPort_; }   // its WS-Discovery port
  QString stateDir() const;                          // the cameras' settings files
  const QString& prefix() const { return prefix_; }  // "127.x.y."

  // Options for a camera control confined to loopback and to this simulator.
  device::NetOptions Options() const;

  // The simulator's log lines that contain every one of the fragments, in
  // order of arrival.
  QStringList LogLines(const QStringList& fragments) const;
  // Waits (bounded) until a log line with the fragments appears.
  bool WaitForLog(const QStringList& fragments, int timeoutMs = 5000) const;

 private:
  std::vector<SimCamera> cameras_;
  int restartMs_;
  QTemporaryDir dir_;
  QString prefix_;
  quint16 port_ = 0;
  quint16 onvifPort_ = 0;
  QProcess process_;
};

// Runs the event loop until condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
