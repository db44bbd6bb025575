#include "camd/onvif_auth.h"

#include <QCryptographicHash>

#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr qsizetype kMaxNonceBytes = 256;

}  // namespace

std::optional<UsernameToken> ReadUsernameToken(const XmlElement& header) {
  const XmlElement* security = header.child(u"Security");
  const XmlElement* token = security ? security->child(u"UsernameToken") : nullptr;
  if (!token || security->ns != QLatin1String(protocol::NsSecurity)) return std::nullopt;
  UsernameToken result;
  result.user = token->textAt({u"Username"});
  const XmlElement* password = token->child(u"Password");
  if (password) {
    result.password = password->text;
    result.passwordType = password->attribute(u"Type");
  }
  result.nonce = QByteArray::fromBase64(token->textAt({u"Nonce"}).toLatin1());
  result.created = token->textAt({u"Created"});
  return result;
}

QString PasswordDigest(const QByteArray& nonce, const QString& created, const QString& password) {
  QCryptographicHash hash(QCryptographicHash::Sha1);
  hash.addData(nonce);
  hash.addData(created.toUtf8());
  hash.addData(password.toUtf8());
  return QString::fromLatin1(hash.result().toBase64());
}

TokenResult VerifyToken(const UsernameToken& token, const QString& user, const QString& password,
                                 const QDateTime& now) {
  // Plain-text passwords are never accepted: only the digest form.
  if (token.passwordType != QLatin1String(protocol::PasswordDigestType) || token.nonce.isEmpty() ||
      token.nonce.size() > kMaxNonceBytes)
    return TokenResult::Refused;
  const QDateTime created = QDateTime::fromString(token.created, Qt::ISODateWithMs);
  if (!created.isValid()) return TokenResult::Refused;
  const bool right = token.user == user && protocol::SameText(PasswordDigest(token.nonce, token.created, password), token.password);
  if (!right) return TokenResult::Refused;
  return qAbs(created.secsTo(now)) > kTokenWindowSeconds ? TokenResult::Expired : TokenResult::Accepted;
}

}  // namespace camd
