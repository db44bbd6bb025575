#include "camd/digest.h"

#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr qint64 kNonceLifetimeMs = 5 * 60 * 1000;
constexpr qsizetype kMaxNonces = 256;
constexpr qsizetype kMaxUsesPerNonce = 4096;
constexpr qsizetype kMaxHeader = 4096;


}  // namespace

DigestServer::DigestServer() { clock_.start(); }

QByteArrayList DigestServer::challenge(bool stale) {
  // Forget expired nonces, and the oldest when a client collects too many.
  const qint64 now = clock_.elapsed();
  for (auto it = nonces_.begin(); it != nonces_.end();)
    it = now - it->issuedMs > kNonceLifetimeMs ? nonces_.erase(it) : std::next(it);
  while (nonces_.size() >= kMaxNonces) {
    auto oldest = nonces_.begin();
    for (auto it = nonces_.begin(); it != nonces_.end(); ++it)
      if (it->issuedMs < oldest->issuedMs) oldest = it;
    nonces_.erase(oldest);
  }
  const QString nonce = protocol::RandomHex(32);
  nonces_.insert(nonce, NonceState{now, {}});
  const QString common = QStringLiteral("Digest realm=\"%1\", qop=\"auth\", nonce=\"%2\", opaque=\"%3\", algorithm=")
                             .arg(QLatin1String(protocol::DigestRealm), nonce, protocol::RandomHex(16));
  const QString staleFlag = stale ? QStringLiteral(", stale=true") : QString();
  return {(common + QStringLiteral("MD5") + staleFlag).toLatin1(), (common + QStringLiteral("SHA-256") + staleFlag).toLatin1()};
}

DigestResult DigestServer::verify(const QByteArray& authorization, const QString& method, const QString& uri,
                                  const QString& id, const QString& password) {
  if (!authorization.startsWith("Digest ")) return DigestResult::Missing;
  if (authorization.size() > kMaxHeader) return DigestResult::Refused;
  const QMap<QString, QString> params = protocol::ParseAuthParams(authorization.mid(7));
  const QString algorithm = params.value("algorithm", "MD5").toUpper();
  const QString nonce = params.value("nonce");
  const QString count = params.value("nc");
  const QString cnonce = params.value("cnonce");
  if ((algorithm != u"MD5" && algorithm != u"SHA-256") || params.value("realm") != QLatin1String(protocol::DigestRealm) ||
      params.value("qop") != u"auth" || params.value("uri") != uri || count.isEmpty() || cnonce.isEmpty())
    return DigestResult::Refused;
  const QString expected = protocol::DigestResponse(algorithm, params.value("username"), password,
                                                    QLatin1String(protocol::DigestRealm), nonce, method, uri, count,
                                                    cnonce, QStringLiteral("auth"));
  const bool rightAnswer = params.value("username") == id && protocol::SameText(expected, params.value("response").toLower());
  auto state = nonces_.find(nonce);
  if (state == nonces_.end() || clock_.elapsed() - state->issuedMs > kNonceLifetimeMs)
    return rightAnswer ? DigestResult::Stale : DigestResult::Refused;
  const QString use = count + u':' + cnonce;
  if (!rightAnswer || state->used.contains(use)) return DigestResult::Refused;
  if (state->used.size() >= kMaxUsesPerNonce) return DigestResult::Stale;
  state->used.insert(use);
  return DigestResult::Accepted;
}

}  // namespace camd
