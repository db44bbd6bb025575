#include "camd/onvif_auth.h"

#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr qsizetype kMaxNonceBytes = 256;

}  // namespace

std::optional<UsernameToken> ReadUsernameToken(const XmlElement& header) {
  const XmlElement* security = header.Child(u"Security", Ns::Any);
  const XmlElement* token = security ? security->Child(u"UsernameToken", Ns::Any) : nullptr;
  if (!token || security->ns != QLatin1String(protocol::NsSecurity)) return std::nullopt;
  UsernameToken result;
  result.user = token->ChildText(u"Username", Ns::Any);
  const XmlElement* password = token->Child(u"Password", Ns::Any);
  if (password) {
    result.password = password->text;
    result.passwordType = password->Attribute(u"Type");
  }
  result.nonce = QByteArray::fromBase64(token->ChildText(u"Nonce", Ns::Any).toLatin1());
  result.created = token->ChildText(u"Created", Ns::Any);
  return result;
}

TokenResult VerifyToken(const UsernameToken& token, const QString& user, const QString& password,
                                 const QDateTime& now) {
  // Plain-text passwords are never accepted: only the digest form.
  if (token.passwordType != QLatin1String(protocol::PasswordDigestType) || token.nonce.isEmpty() ||
      token.nonce.size() > kMaxNonceBytes)
    return TokenResult::Refused;
  const QDateTime created = QDateTime::fromString(token.created, Qt::ISODateWithMs);
  if (!created.isValid()) return TokenResult::Refused;
  const bool right = token.user == user &&
                     protocol::SameText(protocol::PasswordDigest(token.nonce, token.created, password), token.password);
  if (!right) return TokenResult::Refused;
  return qAbs(created.secsTo(now)) > kTokenWindowSeconds ? TokenResult::Expired : TokenResult::Accepted;
}

}  // namespace camd
