#include "camd/digest.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

#include "protocol/protocol.h"

namespace camd {
namespace {

constexpr qint64 kNonceLifetimeMs = qint64{5} * 60 * 1000;
constexpr qsizetype kMaxUsedNonces = 256;
constexpr qsizetype kMaxUsesPerNonce = 4096;
constexpr qsizetype kMaxHeader = 4096;
constexpr int kTimeHexChars = 12;
constexpr int kTagHexChars = 32;

}  // namespace

DigestServer::DigestServer() : secret_(protocol::RandomHex(64).toLatin1()) { clock_.start(); }

QString DigestServer::NonceIssuedAt(qint64 issuedMs) const {
  const QString time = QStringLiteral("%1").arg(issuedMs, kTimeHexChars, 16, QChar(u'0'));
  const QByteArray tag = QMessageAuthenticationCode::hash(time.toLatin1(), secret_, QCryptographicHash::Sha256).toHex();
  return time + QString::fromLatin1(tag.left(kTagHexChars));
}

std::optional<qint64> DigestServer::IssuedAt(const QString& nonce) const {
  if (nonce.size() != kTimeHexChars + kTagHexChars) return std::nullopt;
  bool ok = false;
  const qint64 issued = nonce.left(kTimeHexChars).toLongLong(&ok, 16);
  if (!ok || !protocol::SameText(NonceIssuedAt(issued), nonce)) return std::nullopt;
  return issued;
}

QByteArrayList DigestServer::Challenge(bool stale) {
  const QString nonce = NonceIssuedAt(clock_.elapsed());
  const QString common = QStringLiteral("Digest realm=\"%1\", qop=\"auth\", nonce=\"%2\", opaque=\"%3\", algorithm=")
                             .arg(QLatin1String(protocol::DigestRealm), nonce, protocol::RandomHex(16));
  const QString staleFlag = stale ? QStringLiteral(", stale=true") : QString();
  return {(common + QStringLiteral("MD5") + staleFlag).toLatin1(),
          (common + QStringLiteral("SHA-256") + staleFlag).toLatin1()};
}

DigestResult DigestServer::Verify(const QByteArray& authorization, const QString& method, const QString& uri,
                                  const QString& id, const QString& password) {
  const std::optional<QByteArray> rest = protocol::AfterDigestScheme(authorization);
  if (!rest) return DigestResult::Missing;
  if (authorization.size() > kMaxHeader) return DigestResult::Unusable;
  bool duplicated = false;
  const QMap<QString, QString> params = protocol::ParseAuthParams(*rest, &duplicated);
  if (duplicated) return DigestResult::Malformed;
  const QString algorithm = params.value("algorithm", "MD5").toUpper();
  const QString nonce = params.value("nonce");
  const QString count = params.value("nc");
  const QString cnonce = params.value("cnonce");
  if ((algorithm != u"MD5" && algorithm != u"SHA-256") ||
      params.value("realm") != QLatin1String(protocol::DigestRealm) || params.value("qop") != u"auth" ||
      params.value("uri") != uri || count.isEmpty() || cnonce.isEmpty())
    return DigestResult::Unusable;
  const QString expected =
      protocol::DigestResponse(algorithm, params.value("username"), password, QLatin1String(protocol::DigestRealm),
                               nonce, method, uri, count, cnonce, QStringLiteral("auth"));
  const bool rightAnswer =
      params.value("username") == id && protocol::SameText(expected, params.value("response").toLower());
  const qint64 now = clock_.elapsed();
  const std::optional<qint64> issued = IssuedAt(nonce);
  if (!issued || now - *issued > kNonceLifetimeMs || *issued <= staleBeforeMs_)
    return rightAnswer ? DigestResult::Stale : DigestResult::Refused;
  if (!rightAnswer) return DigestResult::Refused;

  // Only right answers are remembered, so only the owner fills this table.
  for (auto it = usedIssued_.begin(); it != usedIssued_.end();) {
    if (now - it.value() > kNonceLifetimeMs) {
      used_.remove(it.key());
      it = usedIssued_.erase(it);
    } else {
      ++it;
    }
  }
  QSet<QString>& uses = used_[nonce];
  usedIssued_.insert(nonce, *issued);
  const QString use = count + u':' + cnonce;
  if (uses.contains(use)) return DigestResult::Refused;
  if (uses.size() >= kMaxUsesPerNonce) return DigestResult::Stale;
  uses.insert(use);
  while (usedIssued_.size() > kMaxUsedNonces) {
    // The oldest nonce's uses are forgotten: from now on it, and every nonce
    // issued before it, is stale rather than open to a replay.
    auto oldest = usedIssued_.begin();
    for (auto it = usedIssued_.begin(); it != usedIssued_.end(); ++it)
      if (it.value() < oldest.value()) oldest = it;
    staleBeforeMs_ = std::max(staleBeforeMs_, oldest.value());
    used_.remove(oldest.key());
    usedIssued_.erase(oldest);
  }
  return DigestResult::Accepted;
}

void GuessBudget::Refill(qint64 nowMs) {
  if (left_ >= Burst) {
    refilledMs_ = nowMs;
    return;
  }
  const qint64 earned = (nowMs - refilledMs_) / RefillMs;
  if (earned <= 0) return;
  left_ = static_cast<int>(std::min<qint64>(Burst, left_ + earned));
  refilledMs_ += earned * RefillMs;
}

bool GuessBudget::MayCheck(qint64 nowMs) {
  Refill(nowMs);
  return left_ > 0;
}

void GuessBudget::Failed(qint64 nowMs) {
  Refill(nowMs);
  if (left_ > 0) --left_;
}

}  // namespace camd
