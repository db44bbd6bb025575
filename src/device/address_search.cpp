#include "device/address_search.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

#include "device/device_log.h"
#include "device/discovery.h"
#include "device/http_client.h"
#include "device/onvif_discovery.h"
#include "device/onvif_soap.h"
#include "protocol/wire.h"

namespace device {
namespace {

// Probes go out this many times within the wait, evenly spread: a unicast
// datagram lost on the way gets another chance.
constexpr int ProbeRounds = 3;
// How much of what the user typed a message repeats.
constexpr qsizetype ShownInputUnits = 64;

QString Seconds(std::chrono::milliseconds wait) { return QString::number(static_cast<double>(wait.count()) / 1000); }

// An ONVIF device service answered: the clock, or a SOAP fault from a camera
// that wants a login even for that. Name, model and MAC stay unknown.
std::optional<FoundCamera> AskDeviceService(const CameraAddress& target, const InterfaceChoice& choice,
                                            std::chrono::milliseconds wait) {
  HttpRequest request;
  request.method = QStringLiteral("POST");
  request.address = target.host;
  request.port = target.port != 0 ? target.port : protocol::HttpPortFamily2;
  request.path = QString::fromLatin1(protocol::OnvifDevicePath);
  request.contentType = "application/soap+xml; charset=utf-8";
  request.body = onvif::Envelope(onvif::SimpleRequest(u"GetSystemDateAndTime"_qs));
  request.answerChallenge = false;
  if (choice.loopbackOnly) request.bindAddress = choice.interfaces.front().sources.front().address;
  request.connectTimeout = wait;
  request.timeout = wait;
  const HttpResponse response = SendHttp(request);
  if (!response.answered()) {
    qCInfo(lcDiscovery).noquote() << "Search of" << target.host << ": no device service:" << response.error;
    return std::nullopt;
  }
  const onvif::SoapAnswer answer = onvif::ReadAnswer(response.body);
  const bool clock = answer.ok() && answer.response->Is(protocol::Ns::Device, u"GetSystemDateAndTimeResponse");
  if (!clock && !answer.fault) {
    qCInfo(lcDiscovery).noquote() << "Search of" << target.host << ": HTTP" << response.status
                                  << "is no ONVIF device service's answer";
    return std::nullopt;
  }
  FoundCamera camera;
  camera.address = target.host;
  camera.port = request.port;
  camera.path = request.path;
  camera.family = 2;
  camera.mode = QString::fromUtf16(protocol::OnvifModeText);
  return camera;
}

}  // namespace

std::optional<CameraAddress> ParseCameraAddress(const QString& text, QString& error) {
  static const QRegularExpression form(u"^([0-9.]{7,15})(?::([0-9]{1,5}))?$"_qs);
  const QRegularExpressionMatch match = form.match(text);
  if (!match.hasMatch() || !protocol::IsIPv4(match.captured(1))) {
    error = QStringLiteral("not an IPv4 address: %1").arg(text.left(ShownInputUnits));
    return std::nullopt;
  }
  CameraAddress address{match.captured(1), 0};
  if (match.hasCaptured(2)) {
    const int port = match.captured(2).toInt();
    if (port < 1 || port > 65535 || match.captured(2).startsWith(u'0')) {
      error = QStringLiteral("not a port from 1 to 65535: %1").arg(match.captured(2));
      return std::nullopt;
    }
    address.port = static_cast<quint16>(port);
  }
  return address;
}

QString RefusedAddress(const InterfaceChoice& choice, const QString& text) {
  QString error;
  const std::optional<CameraAddress> target = ParseCameraAddress(text, error);
  if (!target) return error;
  if (!choice.error.isEmpty() || choice.interfaces.empty()) {
    return choice.error.isEmpty() ? QStringLiteral("no usable interface") : choice.error;
  }
  if (!MayContact(choice, target->host)) {
    return QStringLiteral(
               "%1 is outside the loopback network 127.0.0.0/8 the search is confined to; "
               "nothing was sent")
        .arg(target->host);
  }
  return {};
}

AddressOutcome SearchAddress(const NetOptions& options, const InterfaceChoice& choice, const QString& address) {
  AddressOutcome outcome;
  outcome.error = RefusedAddress(choice, address);
  if (!outcome.error.isEmpty()) {
    qCWarning(lcDiscovery).noquote() << "Search of one address refused:" << outcome.error;
    return outcome;
  }
  const std::optional<CameraAddress> target = ParseCameraAddress(address, outcome.error);
  const QHostAddress host(target->host);
  // Confined, everything leaves from the loopback address; otherwise the
  // route to the host chooses the source.
  const QHostAddress source = choice.loopbackOnly ? choice.interfaces.front().sources.front().address : QHostAddress::AnyIPv4;

  QUdpSocket own;
  if (!own.bind(source, 0)) {
    outcome.error = QStringLiteral("cannot probe from %1: %2").arg(source.toString(), own.errorString());
    return outcome;
  }
  protocol::Message probe;
  probe.kind = protocol::Kind::Probe;
  probe.nonce = protocol::RandomHex(protocol::NonceHexChars);
  const QByteArray probeDatagram = protocol::BuildDatagram(probe);

  onvif::Prober prober(options, choice);
  QString onvifError;
  const bool onvifProbing = options.onvifPort != 0 && prober.OpenUnicast(onvifError);
  if (options.onvifPort != 0 && !onvifProbing) {
    qCWarning(lcDiscovery).noquote() << "Search of" << target->host << ": no WS-Discovery probe:" << onvifError;
  }

  QEventLoop loop;
  QElapsedTimer clock;
  std::optional<FoundCamera> ownCamera;
  std::optional<FoundCamera> onvifCamera;
  DropLog drops(QStringLiteral("an answer to a search of one address"));
  const auto settle = [&] {
    if (ownCamera || (onvifCamera && clock.elapsed() >= options.answerWindow.count())) loop.quit();
  };
  QObject::connect(&own, &QUdpSocket::readyRead, &loop, [&] {
    for (int read = 0; read < protocol::DatagramsPerTurn && own.hasPendingDatagrams(); ++read) {
      const QNetworkDatagram datagram = own.receiveDatagram(protocol::MaxDatagramBytes + 1);
      const protocol::Parsed parsed = protocol::ParseDatagram(datagram.data());
      if (!parsed.message) {
        drops.Drop(parsed.error, datagram.senderAddress());
        continue;
      }
      QString why;
      const std::optional<FoundCamera> camera =
          OwnAnswerCamera(*parsed.message, datagram.senderAddress(), probe.nonce, why);
      if (!why.isEmpty()) drops.Drop(why, datagram.senderAddress());
      if (camera && camera->address == target->host && !ownCamera) ownCamera = camera;
    }
    settle();
  });
  prober.onCamera = [&](const FoundCamera& camera) {
    if (camera.address != target->host || onvifCamera) return;
    onvifCamera = camera;
    settle();
  };

  int rounds = 0;
  const auto sendProbes = [&] {
    if (rounds++ >= ProbeRounds) return;
    if (own.writeDatagram(probeDatagram, host, options.port) < 0) {
      qCWarning(lcDiscovery) << "probe to" << target->host << "failed:" << own.errorString();
    }
    if (onvifProbing) prober.SendTo(host);
  };
  // The device service is asked once our own protocol's answers are due:
  // most cameras are found by then without it.
  const auto askDeviceService = [&] {
    if (!ownCamera && !onvifCamera) {
      const auto left = std::chrono::milliseconds(std::max<qint64>(1, options.addressWait.count() - clock.elapsed()));
      std::optional<FoundCamera> camera = AskDeviceService(*target, choice, left);
      if (camera && !onvifCamera) onvifCamera = std::move(camera);
    }
    settle();
  };
  QTimer probeTimer;
  QObject::connect(&probeTimer, &QTimer::timeout, &loop, sendProbes);
  QTimer::singleShot(options.answerWindow, &loop, askDeviceService);
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

  clock.start();
  deadline.start(options.addressWait);
  probeTimer.start(options.addressWait / ProbeRounds);
  sendProbes();
  loop.exec(QEventLoop::ExcludeUserInputEvents);

  outcome.camera = ownCamera ? ownCamera : onvifCamera;
  if (!outcome.camera) {
    outcome.error =
        QStringLiteral("No camera answered at %1 within %2 s").arg(target->host, Seconds(options.addressWait));
    qCInfo(lcDiscovery).noquote() << "Search of" << target->host << ":" << outcome.error;
    return outcome;
  }
  outcome.camera->origin = FoundCamera::Origin::ByAddress;
  if (choice.loopbackOnly) outcome.camera->interfaceName = choice.interfaces.front().interface.name();
  qCInfo(lcDiscovery).noquote() << "Search of" << target->host << ": found" << outcome.camera->mode << "in"
                                << clock.elapsed() << "ms";
  return outcome;
}

}  // namespace device
