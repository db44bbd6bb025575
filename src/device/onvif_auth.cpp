#include "device/onvif_auth.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include "device/onvif_xml.h"

namespace device::onvif {
namespace {

constexpr int NonceBytes = 16;

QByteArray RandomNonce() {
  QByteArray nonce(NonceBytes, '\0');
  QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(nonce.data()), NonceBytes / 4);
  return nonce;
}

}  // namespace

QByteArray PasswordDigest(const QByteArray& nonce, const QString& created, const QString& password) {
  QCryptographicHash sha1(QCryptographicHash::Sha1);
  sha1.addData(nonce);
  sha1.addData(created.toUtf8());
  sha1.addData(password.toUtf8());
  return sha1.result().toBase64();
}

qint64 ClockOffsetMs(const QDateTime& cameraUtc, const QDateTime& sentAt, const QDateTime& receivedAt) {
  const qint64 midpoint = sentAt.toMSecsSinceEpoch() + (receivedAt.toMSecsSinceEpoch() - sentAt.toMSecsSinceEpoch()) / 2;
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
             "<wsse:Security s:mustUnderstand=\"1\" "
             "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
             "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
             "<wsse:UsernameToken><wsse:Username>%1</wsse:Username>"
             "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
             "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">%2</wsse:Password>"
             "<wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
             "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">%3</wsse:Nonce>"
             "<wsu:Created>%4</wsu:Created></wsse:UsernameToken></wsse:Security>")
      .arg(Escaped(user), QString::fromLatin1(PasswordDigest(usedNonce, created, password)),
           QString::fromLatin1(usedNonce.toBase64()), created);
}

}  // namespace device::onvif
