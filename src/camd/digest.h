#pragma once
// The server side of HTTP Digest authentication (qop "auth", MD5 or
// SHA-256), and the brake on guessing. A nonce carries its issue time and
// the camera's own MAC of it, so the camera keeps nothing per challenge and
// no flood of challenges can push out the one of a login in progress. A
// request (nonce count and client nonce) is accepted once per nonce, so a
// captured request cannot be replayed.
#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QString>
#include <optional>

namespace camd {

// Malformed: not a Digest header a client could mean (a parameter twice).
enum class DigestResult { Accepted, Missing, Refused, Stale, Malformed };

class DigestServer {
 public:
  DigestServer();

  // The WWW-Authenticate values of a 401 answer with one fresh nonce: MD5
  // first, for clients that take the first offer and know only MD5, then
  // SHA-256 for those that choose the stronger one.
  QByteArrayList challenge(bool stale);

  // Checks an Authorization header against the credentials in force for a
  // request of `method` on `uri` (path and query as sent).
  DigestResult verify(const QByteArray& authorization, const QString& method, const QString& uri, const QString& id,
                      const QString& password);

 private:
  QString nonceIssuedAt(qint64 issuedMs) const;
  // When a nonce of ours was issued; empty for one we did not issue.
  std::optional<qint64> issuedAt(const QString& nonce) const;

  QByteArray secret_;
  QElapsedTimer clock_;
  QHash<QString, QSet<QString>> used_;  // nonce -> "nc:cnonce" accepted, only for right answers
  QHash<QString, qint64> usedIssued_;   // nonce -> its issue time
  qint64 staleBeforeMs_ = -1;           // nonces issued up to here are stale (their uses were forgotten)
};

// Slows down guessing, per source address: the first few wrong answers
// cost nothing (typing errors), each further one holds its answer back
// twice as long as the one before, up to a cap, and while an answer is held
// the source's other attempts are not checked at all. A right answer or a
// quiet minute forgets the source: the owner is never locked out for good.
class LoginThrottle {
 public:
  static constexpr int FreeFailures = 3;
  static constexpr qint64 FirstHoldMs = 250;
  static constexpr qint64 MaxHoldMs = 4000;  // below the setup port's idle time, so the refusal is delivered
  static constexpr qint64 ForgetMs = 60 * 1000;

  LoginThrottle();
  // Milliseconds until `source` may be checked again (0: now).
  qint64 blockedFor(const QHostAddress& source) const;
  // A wrong answer from `source`: how long to hold back the refusal.
  qint64 failed(const QHostAddress& source);
  void succeeded(const QHostAddress& source) { sources_.remove(source); }

 private:
  struct Record {
    int failures = 0;
    qint64 lastMs = 0;
    qint64 blockedUntilMs = 0;
  };
  static constexpr qsizetype MaxSources = 1024;
  QElapsedTimer clock_;
  QHash<QHostAddress, Record> sources_;
};

// Slows down guessing over the MAC-addressed commands, per camera. Their
// answers go to the group, so whoever sends a command hears its answer
// whatever source address it claims: a brake per source would be escaped by
// claiming another. So a camera checks only so many wrong proofs: a few at
// once, then one per second. A proof that comes while none is left is
// refused unchecked. The owner competes with a guesser only while one is
// at work, and gets in within a second once it stops.
class GuessBudget {
 public:
  static constexpr int Burst = 5;
  static constexpr qint64 RefillMs = 1000;

  // Whether a proof arriving at `nowMs` is checked at all.
  bool mayCheck(qint64 nowMs);
  // The proof checked at `nowMs` was wrong.
  void failed(qint64 nowMs);

 private:
  void refill(qint64 nowMs);
  int left_ = Burst;
  qint64 refilledMs_ = 0;
};

}  // namespace camd
