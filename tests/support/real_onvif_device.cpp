#include "support/real_onvif_device.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

namespace {

const QString DeviceDir = QStringLiteral(SENTROVA_ONVIF_DEVICE_DIR);

// Runs a program to its end (bounded); its exit code, -1 when it did not end.
int RunProgram(const QString& program, const QStringList& arguments, QString* output, int timeoutMs) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished(2000);
    if (output != nullptr) *output = QString::fromUtf8(process.readAll()) + QStringLiteral("\n(did not end in time)");
    return -1;
  }
  if (output != nullptr) *output = QString::fromUtf8(process.readAll());
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QStringList Lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList Column(const QStringList& lines, int column) {
  QStringList values;
  for (const QString& line : lines) values << line.section(u'\t', column, column);
  return values;
}

QString Seconds(double seconds) { return QString::number(seconds, 'f', 3); }

// Devices of test processes that ended without stopping theirs (killed at a
// timeout) are stopped before a new one starts; their records stay.
void StopOrphans() {
  static const QRegularExpression owned(u"^rd(\\d+)"_qs);
  const QDir run(DeviceDir + QStringLiteral("/run"));
  for (const QString& name : run.entryList({QStringLiteral("rd*")}, QDir::Dirs)) {
    const QRegularExpressionMatch match = owned.match(name);
    const pid_t owner = match.captured(1).toInt();
    if (!match.hasMatch() || owner <= 0 || kill(owner, 0) == 0 || errno != ESRCH) continue;
    if (!Lines(run.filePath(name) + QStringLiteral("/device.env")).contains(u"CREATED_NS=''"_qs)) {
      RunProgram(QStringLiteral("bash"),
                 {DeviceDir + QStringLiteral("/stop-device.sh"), QStringLiteral("--name"), name}, nullptr, 30000);
    }
  }
}

}  // namespace

RealOnvifDevice::RealOnvifDevice(RealOnvifDeviceOptions options, const QString& tag)
    : options_(std::move(options)), name_(QStringLiteral("rd%1%2").arg(getpid()).arg(tag)) {}

RealOnvifDevice::~RealOnvifDevice() { Stop(); }

QString RealOnvifDevice::RunDir() const { return DeviceDir + QStringLiteral("/run/") + name_; }

bool RealOnvifDevice::Start() {
  if (!QFile::exists(DeviceDir + QStringLiteral("/built"))) {
    error_ = QStringLiteral("the ONVIF test device is not built in %1 (target onvif_test_device)").arg(DeviceDir);
    return false;
  }
  StopOrphans();
  QStringList arguments{DeviceDir + QStringLiteral("/start-device.sh"),
                        QStringLiteral("--name"),
                        name_,
                        QStringLiteral("--cam-ip"),
                        options_.address,
                        QStringLiteral("--auth"),
                        options_.auth,
                        QStringLiteral("--user"),
                        options_.user,
                        QStringLiteral("--password"),
                        options_.password,
                        QStringLiteral("--reboot-seconds"),
                        Seconds(options_.rebootSeconds),
                        QStringLiteral("--delay"),
                        Seconds(options_.delaySeconds)};
  if (options_.apply) arguments << QStringLiteral("--apply");
  if (!options_.gateway.isEmpty()) arguments << QStringLiteral("--gw") << options_.gateway;
  if (!options_.firmware.isEmpty()) arguments << QStringLiteral("--firmware") << options_.firmware;
  QString output;
  started_ = true;  // whatever it made is undone by Stop()
  if (RunProgram(QStringLiteral("bash"), arguments, &output, 60000) != 0) {
    error_ = QStringLiteral("start-device.sh failed: ") + output;
    return false;
  }
  return true;
}

void RealOnvifDevice::Stop() {
  if (!started_) return;
  started_ = false;
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const bool keep = test != nullptr && test->result()->Failed();
  QStringList arguments{DeviceDir + QStringLiteral("/stop-device.sh"), QStringLiteral("--name"), name_};
  if (!keep) arguments << QStringLiteral("--clean");
  RunProgram(QStringLiteral("bash"), arguments, nullptr, 30000);
}

QString RealOnvifDevice::EnvValue(const QString& key) const {
  const QString prefix = key + QStringLiteral("='");
  for (const QString& line : Lines(RunDir() + QStringLiteral("/device.env"))) {
    if (line.startsWith(prefix) && line.endsWith(u'\''))
      return line.mid(prefix.size(), line.size() - prefix.size() - 1);
  }
  return {};
}

QString RealOnvifDevice::Address() const { return EnvValue(QStringLiteral("CAM_IP")).section(u'/', 0, 0); }
QString RealOnvifDevice::Prefix() const { return EnvValue(QStringLiteral("CAM_IP")).section(u'/', 1, 1); }
QString RealOnvifDevice::Gateway() const { return EnvValue(QStringLiteral("GW")); }
QString RealOnvifDevice::Password() const { return EnvValue(QStringLiteral("PASSWORD")); }

bool RealOnvifDevice::WaitUntilSettled(int timeoutMs) const {
  const QDir jobs(RunDir() + QStringLiteral("/jobs"));
  for (int waited = 0;; waited += 100) {
    if (jobs.entryList(QDir::Files).isEmpty()) return true;
    if (waited >= timeoutMs) return false;
    QThread::msleep(100);
  }
}

QStringList RealOnvifDevice::Requests() const { return Lines(RunDir() + QStringLiteral("/requests.log")); }
QStringList RealOnvifDevice::Changes() const { return Lines(RunDir() + QStringLiteral("/changes.log")); }
QStringList RealOnvifDevice::RequestedMethods() const { return Column(Requests(), 3); }
QStringList RealOnvifDevice::ChangedMethods() const { return Column(Changes(), 3); }

void RealOnvifDevice::ClearRecords() {
  for (const char* name : {"requests.log", "changes.log"}) {
    QFile file(RunDir() + u'/' + QString::fromLatin1(name));
    if (file.exists() && file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.close();
  }
}

InNetns::InNetns(const QString& name) {
  home_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const QByteArray path = QStringLiteral("/run/netns/%1").arg(name).toLocal8Bit();
  const int target = open(path.constData(), O_RDONLY | O_CLOEXEC);
  entered_ = home_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
  if (target >= 0) close(target);
}

InNetns::~InNetns() {
  if (entered_) setns(home_, CLONE_NEWNET);
  if (home_ >= 0) close(home_);
}

bool DeviceAcceptsLogin(const RealOnvifDevice& device, const QString& address, const QString& user,
                        const QString& password) {
  const QString url = QStringLiteral("http://%1/onvif/device_service").arg(address);
  QString header;
  QStringList curl{QStringLiteral("--net=/run/netns/") + device.ClientNetns(),
                   QStringLiteral("curl"),
                   QStringLiteral("-s"),
                   QStringLiteral("-m"),
                   QStringLiteral("20"),
                   QStringLiteral("-H"),
                   QStringLiteral("Content-Type: application/soap+xml")};
  if (device.Options().auth == u"digest") {
    curl << QStringLiteral("--digest") << QStringLiteral("-u") << user + u':' + password;
  } else {
    // WS-UsernameToken PasswordDigest: Base64(SHA-1(nonce + created + password)).
    QByteArray nonce(16, '\0');
    for (char& byte : nonce) byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    const QByteArray created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
    const QByteArray digest =
        QCryptographicHash::hash(nonce + created + password.toUtf8(), QCryptographicHash::Sha1).toBase64();
    header = QStringLiteral(
                 "<s:Header><Security s:mustUnderstand=\"1\" xmlns=\"http://docs.oasis-open.org/wss/2004/01/"
                 "oasis-200401-wss-wssecurity-secext-1.0.xsd\"><UsernameToken><Username>%1</Username>"
                 "<Password Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
                 "#PasswordDigest\">%2</Password><Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
                 "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">%3</Nonce><Created xmlns=\"http://"
                 "docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">%4</Created>"
                 "</UsernameToken></Security></s:Header>")
                 .arg(user, QString::fromLatin1(digest), QString::fromLatin1(nonce.toBase64()),
                      QString::fromLatin1(created));
  }
  const QString body = QStringLiteral(
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/"
                           "soap-envelope\">%1<s:Body><GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/device/"
                           "wsdl\"/></s:Body></s:Envelope>")
                           .arg(header);
  curl << QStringLiteral("--data-binary") << body << url;
  QString output;
  if (RunProgram(QStringLiteral("nsenter"), curl, &output, 30000) != 0) return false;
  return output.contains(QStringLiteral("GetDeviceInformationResponse")) && !output.contains(QStringLiteral("Fault"));
}
