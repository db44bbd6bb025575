#include "device/onvif_auth.h"

#include <QRandomGenerator>

#include "protocol/onvif_xml.h"
#include "protocol/protocol.h"

namespace device::onvif {
namespace {

constexpr int NonceBytes = 16;

QByteArray RandomNonce() {
  QByteArray nonce(NonceBytes, '\0');
  QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(nonce.data()), NonceBytes / 4);
  return nonce;
}

}  // namespace

qint64 ClockOffsetMs(const QDateTime& cameraUtc, const QDateTime& sentAt, const QDateTime& receivedAt) {
  const qint64 midpoint =
      sentAt.toMSecsSinceEpoch() + (receivedAt.toMSecsSinceEpoch() - sentAt.toMSecsSinceEpoch()) / 2;
  return cameraUtc.toMSecsSinceEpoch() - midpoint;
}

QString CreatedText(const QDateTime& utc) {
  return utc.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + u'Z';
}

QString SecurityHeader(const QString& user, const QString& password, qint64 clockOffsetMs, const QDateTime& ourNow,
                       const QByteArray& nonce) {
  const QByteArray usedNonce = nonce.isEmpty() ? RandomNonce() : nonce;
  const QString created = CreatedText(ourNow.addMSecs(clockOffsetMs));
  return QStringLiteral(
             "<wsse:Security s:mustUnderstand=\"1\" xmlns:wsse=\"%1\" xmlns:wsu=\"%2\">"
             "<wsse:UsernameToken><wsse:Username>%3</wsse:Username>"
             "<wsse:Password Type=\"%4\">%5</wsse:Password>"
             "<wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
             "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">%6</wsse:Nonce>"
             "<wsu:Created>%7</wsu:Created></wsse:UsernameToken></wsse:Security>")
      .arg(QLatin1String(protocol::NsSecurity), QLatin1String(protocol::NsSecurityUtility), protocol::XmlEscaped(user),
           QLatin1String(protocol::PasswordDigestType), protocol::PasswordDigest(usedNonce, created, password),
           QString::fromLatin1(usedNonce.toBase64()), created);
}

}  // namespace device::onvif
