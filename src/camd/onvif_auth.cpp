#include "camd/onvif_auth.h"

#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr qsizetype kMaxNonceBytes = 256;

std::optional<qint64> CreatedMs(const UsernameToken& token) {
  const QDateTime created = QDateTime::fromString(token.created, Qt::ISODateWithMs);
  if (!created.isValid()) return std::nullopt;
  return created.toMSecsSinceEpoch();
}

// A token as the book keeps it: its nonce with its creation time as sent.
QByteArray Key(const UsernameToken& token) { return token.nonce + '\n' + token.created.toUtf8(); }

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

bool TokenMatches(const UsernameToken& token, const QString& user, const QString& password) {
  return token.user == user &&
         protocol::SameText(protocol::PasswordDigest(token.nonce, token.created, password), token.password);
}

TokenResult TokenBook::Admit(const UsernameToken& token, const QDateTime& now, const QHostAddress& from) const {
  // Plain-text passwords are never accepted: only the digest form.
  const std::optional<qint64> created = CreatedMs(token);
  if (token.passwordType != QLatin1String(protocol::PasswordDigestType) || token.nonce.isEmpty() ||
      token.nonce.size() > kMaxNonceBytes || !created)
    return TokenResult::Malformed;
  const qint64 at = now.toMSecsSinceEpoch();
  if (*created < at - PastMs || *created > at + FutureMs || *created <= forgottenUpToMs_)
    return TokenResult::OutsideWindow;
  const auto spent = kept_.constFind(Key(token));
  if (spent == kept_.cend()) return TokenResult::Admitted;
  return spent->from == from && at - spent->firstMs <= RepeatMs ? TokenResult::Admitted : TokenResult::Replayed;
}

void TokenBook::Spend(const UsernameToken& token, const QDateTime& now, const QHostAddress& from) {
  const qint64 at = now.toMSecsSinceEpoch();
  if (kept_.contains(Key(token))) return;  // its sender repeating it: the first use counts
  // A token is forgotten once it would be refused as too old anyway.
  for (auto it = kept_.begin(); it != kept_.end();) it = it->createdMs < at - PastMs ? kept_.erase(it) : std::next(it);
  while (kept_.size() >= MaxKept) {
    auto oldest = kept_.begin();
    for (auto it = kept_.begin(); it != kept_.end(); ++it)
      if (it->createdMs < oldest->createdMs) oldest = it;
    forgottenUpToMs_ = std::max(forgottenUpToMs_, oldest->createdMs);
    kept_.erase(oldest);
  }
  kept_.insert(Key(token), Spent{CreatedMs(token).value_or(at), at, from});
}

}  // namespace camd
