#pragma once
// WS-Security UsernameToken with PasswordDigest, as ONVIF devices check it:
// Base64(SHA-1(nonce + created + password)), with `created` inside a window
// around the camera's own clock (which may be off, so clients learn it from
// GetSystemDateAndTime first), and each token (nonce and creation time)
// accepted once: one captured on the link cannot be sent again. One
// exception: the address that sent it may send it again within two seconds
// (Debian's onvif-util makes one token for all its requests in one second).
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <optional>

#include "protocol/onvif_xml.h"

namespace camd {

// Requests are read into the XML tree both ends share.
using protocol::Ns;
using protocol::XmlElement;

struct UsernameToken {
  QString user;
  QString password;      // the digest, Base64
  QString passwordType;  // the Type attribute
  QByteArray nonce;      // decoded
  QString created;       // as sent
};

// The token in a SOAP header's wsse:Security, or nothing.
std::optional<UsernameToken> ReadUsernameToken(const XmlElement& header);

// Whether the digest in `token` is the one of `user` and `password`.
bool TokenMatches(const UsernameToken& token, const QString& user, const QString& password);

enum class TokenResult { Admitted, Malformed, OutsideWindow, Replayed };

// The tokens a camera accepted lately. A token is admitted to the password
// check only when it is a digest token created within the window around the
// camera's clock and was not accepted before; accepted tokens are kept until
// they leave the window. Only right
// tokens are kept, so only the owner fills the book; when it is full the
// oldest is forgotten and every token created up to it is refused as
// outside the window, never taken a second time.
class TokenBook {
 public:
  static constexpr qint64 PastMs = qint64{60} * 1000;   // how old a token may be
  static constexpr qint64 FutureMs = qint64{5} * 1000;  // how far ahead of the camera's clock
  static constexpr qint64 RepeatMs = qint64{2} * 1000;  // its sender may repeat it this long after its first use
  static constexpr qsizetype MaxKept = 4096;

  // Before the password is looked at: `now` is the camera's clock, `from`
  // the request's source address.
  TokenResult Admit(const UsernameToken& token, const QDateTime& now, const QHostAddress& from) const;
  // A token that was admitted and matched: it is spent.
  void Spend(const UsernameToken& token, const QDateTime& now, const QHostAddress& from);

 private:
  struct Spent {
    qint64 createdMs;  // ms since the epoch
    qint64 firstMs;    // the camera's clock when it was first accepted
    QHostAddress from;
  };
  QHash<QByteArray, Spent> kept_;  // by nonce and creation time
  qint64 forgottenUpToMs_ = -1;    // tokens created up to here are refused
};

}  // namespace camd
