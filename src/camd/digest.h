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
#include <QSet>
#include <QString>
#include <optional>

namespace camd {

// Malformed: not a Digest header a client could mean (a parameter twice).
// Unusable: refused before any password was looked at (no answer to a
// challenge of this camera's realm and kind); Refused: the answer was
// checked and is wrong.
enum class DigestResult { Accepted, Missing, Refused, Unusable, Stale, Malformed };

class DigestServer {
 public:
  DigestServer();

  // The WWW-Authenticate values of a 401 answer with one fresh nonce: MD5
  // first, for clients that take the first offer and know only MD5, then
  // SHA-256 for those that choose the stronger one.
  QByteArrayList Challenge(bool stale);

  // Checks an Authorization header against the credentials in force for a
  // request of `method` on `uri` (path and query as sent).
  DigestResult Verify(const QByteArray& authorization, const QString& method, const QString& uri, const QString& id,
                      const QString& password);

 private:
  QString NonceIssuedAt(qint64 issuedMs) const;
  // When a nonce of ours was issued; empty for one we did not issue.
  std::optional<qint64> IssuedAt(const QString& nonce) const;

  QByteArray secret_;
  QElapsedTimer clock_;
  QHash<QString, QSet<QString>> used_;  // nonce -> "nc:cnonce" accepted, only for right answers
  QHash<QString, qint64> usedIssued_;   // nonce -> its issue time
  qint64 staleBeforeMs_ = -1;           // nonces issued up to here are stale (their uses were forgotten)
};

// The one brake on guessing a camera's account, whatever the way in (HTTP
// Digest, the MAC-addressed commands, ONVIF UsernameToken or Digest) and
// whatever source address a guesser claims (the MAC commands' answers go to
// the group, and loopback or a LAN offers many addresses): the camera checks
// only so many wrong logins, a few at once (typing errors), then one per
// second. A login that comes while none is left is refused unchecked, right
// or wrong. Only a wrong password for an existing account counts: a wrong
// ID opens nothing whatever the password, and is refused unchecked like
// any other while the brake is on, so it does not tell which IDs exist.
// The owner competes with a guesser only while one is at work and gets in
// within a second once it stops.
class GuessBudget {
 public:
  static constexpr int Burst = 3;
  static constexpr qint64 RefillMs = 1000;

  // Whether a proof arriving at `nowMs` is checked at all.
  bool MayCheck(qint64 nowMs);
  // The proof checked at `nowMs` was wrong.
  void Failed(qint64 nowMs);

 private:
  void Refill(qint64 nowMs);
  int left_ = Burst;
  qint64 refilledMs_ = 0;
};

}  // namespace camd
