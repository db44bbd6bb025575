#pragma once
// The server side of HTTP Digest authentication (qop "auth", MD5 or
// SHA-256). Nonces are issued here and expire; a request (nonce count and client
// nonce) is accepted once per nonce, so a captured request cannot be
// replayed.
#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>

namespace camd {

enum class DigestResult { Accepted, Missing, Refused, Stale };

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
  struct NonceState {
    qint64 issuedMs = 0;
    QSet<QString> used;  // "nc:cnonce" already accepted
  };
  QElapsedTimer clock_;
  QHash<QString, NonceState> nonces_;
};

}  // namespace camd
