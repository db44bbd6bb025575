#include "simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QThread>
#include <QUdpSocket>

namespace {

quint16 FreeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::LocalHost, 0);
  return probe.localPort();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
  return true;
}

Simulator::Simulator(std::vector<SimCamera> cameras, int restartMs)
    : cameras_(std::move(cameras)), restartMs_(restartMs) {
  auto* random = QRandomGenerator::global();
  prefix_ = QStringLiteral("127.%1.%2.").arg(random->bounded(2, 254)).arg(random->bounded(0, 256));
  port_ = FreeUdpPort();
  onvifPort_ = FreeUdpPort();
}

QString Simulator::stateDir() const { return dir_.filePath(u"state"_qs); }

Simulator::~Simulator() { Stop(); }

QString Simulator::Mac(int host) const {
  const QStringList parts = prefix_.split(u'.');
  return QStringLiteral("0.12.%1.%2.0.%3").arg(parts[1], parts[2]).arg(host);
}

bool Simulator::Start() {
  QJsonArray fleet;
  for (const SimCamera& camera : cameras_) {
    QJsonObject settings{{u"SysIPAddress"_qs, Address(camera.host)},
                         {u"SysSubnetMask"_qs, u"255.255.255.0"_qs},
                         {u"SysDefaultGateway"_qs, Address(1)},
                         {u"SysAdminID"_qs, u"admin"_qs},
                         {u"SysAdminPassword"_qs, u"secret"_qs}};
    for (auto it = camera.settings.begin(); it != camera.settings.end(); ++it) settings.insert(it.key(), it.value());
    QJsonObject entry{{u"mac"_qs, Mac(camera.host)},   {u"family"_qs, camera.family},
                      {u"mode"_qs, camera.mode},       {u"caption"_qs, camera.caption},
                      {u"version"_qs, camera.version}, {u"wireless"_qs, camera.wireless},
                      {u"settings"_qs, settings}};
    if (!camera.faults.isEmpty()) entry.insert(u"faults"_qs, camera.faults);
    if (!camera.protocols.isEmpty()) entry.insert(u"protocols"_qs, QJsonArray::fromStringList(camera.protocols));
    if (camera.httpPort != 0) entry.insert(u"httpPort"_qs, camera.httpPort);
    if (!camera.macScope) entry.insert(u"macScope"_qs, false);
    if (!camera.answersProbes) entry.insert(u"answersProbes"_qs, false);
    fleet.append(entry);
  }
  QFile file(dir_.filePath(u"fleet.json"_qs));
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(QJsonDocument(QJsonObject{{u"cameras"_qs, fleet}}).toJson());
  file.close();
  QFile::remove(dir_.filePath(u"camd.log"_qs));

  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QString::fromUtf8(SENTROVA_CAMD),
                 {u"--fleet"_qs, file.fileName(), u"--interface"_qs, u"lo"_qs, u"--discovery-port"_qs,
                  QString::number(port_), u"--onvif-discovery-port"_qs, QString::number(onvifPort_), u"--state-dir"_qs,
                  dir_.filePath(u"state"_qs), u"--restart-ms"_qs, QString::number(restartMs_), u"--answer-spread-ms"_qs,
                  u"20"_qs, u"--log"_qs, dir_.filePath(u"camd.log"_qs)});
  if (!process_.waitForStarted(5000)) return false;
  WaitUntil([&] { return process_.state() == QProcess::NotRunning || !LogLines({u"sim ready"_qs}).isEmpty(); }, 10000);
  return process_.state() == QProcess::Running && !LogLines({u"sim ready"_qs}).isEmpty();
}

void Simulator::Stop() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(2000);
  }
}

device::NetOptions Simulator::Options() const {
  device::NetOptions options;
  options.interfaceNames = QStringList{u"lo"_qs};
  options.port = port_;
  options.onvifPort = onvifPort_;
  options.answerWindow = std::chrono::milliseconds(60);  // the simulator spreads its answers over 20 ms
  options.quietPeriod = std::chrono::milliseconds(40);
  options.httpConnectTimeout = std::chrono::milliseconds(500);
  options.httpTimeout = std::chrono::milliseconds(1000);
  // The simulator takes a change at once or not at all.
  options.settleWindow = std::chrono::milliseconds(2000);
  options.settleInterval = std::chrono::milliseconds(200);
  return options;
}

QStringList Simulator::LogLines(const QStringList& fragments) const {
  QFile file(dir_.filePath(u"camd.log"_qs));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw);
    bool all = true;
    for (const QString& fragment : fragments) all = all && line.contains(fragment);
    if (all && !line.isEmpty()) lines << line;
  }
  return lines;
}

bool Simulator::WaitForLog(const QStringList& fragments, int timeoutMs) const {
  return WaitUntil([&] { return !LogLines(fragments).isEmpty(); }, timeoutMs);
}
