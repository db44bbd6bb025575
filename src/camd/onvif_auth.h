#pragma once
// WS-Security UsernameToken with PasswordDigest, as ONVIF devices check it:
// Base64(SHA-1(nonce + created + password)), with `created` inside a window
// around the camera's own clock (which may be off, so clients learn it from
// GetSystemDateAndTime first). A nonce may come again: clients in use send
// one token for a whole session, and cameras accept it within the window.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

#include "protocol/onvif_xml.h"

namespace camd {

// Requests are read into the XML tree both ends share.
using protocol::Ns;
using protocol::XmlElement;

// How far a token's creation time may be from the camera's clock.
inline constexpr qint64 kTokenWindowSeconds = 5 * 60;

struct UsernameToken {
  QString user;
  QString password;      // the digest, Base64
  QString passwordType;  // the Type attribute
  QByteArray nonce;      // decoded
  QString created;       // as sent
};

// The token in a SOAP header's wsse:Security, or nothing.
std::optional<UsernameToken> ReadUsernameToken(const XmlElement& header);

enum class TokenResult { Accepted, Refused, Expired };

// Checks `token` for `user`/`password` against the camera's time `now`.
TokenResult VerifyToken(const UsernameToken& token, const QString& user, const QString& password, const QDateTime& now);

}  // namespace camd
