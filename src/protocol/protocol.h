#pragma once
// The camera protocol both ends share (docs/protocol.md): constants, the UDP
// JSON datagrams with their field checks, the HMAC proof of the MAC-addressed
// commands, the HTTP and UsernameToken digests and the setting keys' rules.
// Qt Core only, so the simulator links it as well as the camera control.
#include <QByteArray>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "protocol/wire.h"

namespace protocol {

inline constexpr int MaxDatagramBytes = 1400;
inline constexpr int MaxTextUnits = 64;
inline constexpr int MaxErrorUnits = 256;
inline constexpr int MaxCameras = 4096;
inline constexpr int NonceHexChars = 16;
inline constexpr int ChallengeHexChars = 32;
inline constexpr int ProofHexChars = 64;

inline constexpr char MacHeader[] = "X-Sentrova-MAC";
inline constexpr char DigestRealm[] = "sentrova-camera";
inline constexpr char HelloPath[] = "/setup/v1/hello";
inline constexpr char SettingsPath[] = "/setup/v1/settings/";  // followed by the key
inline constexpr char ApplyPath[] = "/setup/v1/apply";
inline constexpr char RestartPath[] = "/setup/v1/restart";
inline constexpr int MaxHeaderBytes = 16 * 1024;
inline constexpr int MaxBodyBytes = 64 * 1024;

inline constexpr int StateLoginNeeded = 2;
inline constexpr int StateGranted = 3;

enum class Kind {
  Probe,
  Here,
  ChallengeRequest,
  ChallengeReply,
  LoginRequest,
  LoginReply,
  WhoHasRequest,
  WhoHasReply,
  ChangeAddressRequest,
  ChangeAddressReply,
  ApplyRequest,
  ApplyReply,
};

// One datagram; only the fields its kind carries are meaningful.
struct Message {
  Kind kind = Kind::Probe;
  QString nonce;
  QString mac;
  QString address;
  QString mask;
  QString gateway;
  QString mode;
  QString caption;
  QString version;
  int family = 0;
  int port = 0;
  QString id;
  QString challenge;
  QString proof;
  int state = 0;
  int result = 0;
  QString error;  // optional in change-address and apply replies
};

struct Parsed {
  std::optional<Message> message;
  QString error;  // why the datagram was dropped, when message is empty
};

// Checks everything docs/protocol.md lists; a datagram that fails any check
// gives no message and the reason.
Parsed ParseDatagram(const QByteArray& datagram);
// The datagram of a message. Empty when the message itself would not pass
// ParseDatagram (a field out of range, or too large): nothing invalid is sent.
QByteArray BuildDatagram(const Message& message);
QString OpName(Kind kind);
bool IsReply(Kind kind);

// Field checks, also for the HTTP side.
// A JSON number with an integral value inside int range.
std::optional<int> IntegralNumber(const QJsonValue& value);
bool IsMacText(const QString& text);
std::optional<std::array<uint8_t, 6>> ParseMac(const QString& text);
bool IsIPv4(const QString& text);
std::optional<uint32_t> ParseIPv4(const QString& text);  // host order
bool IsHex(const QString& text, int length);
bool IsLoopback(const QString& address);  // dotted IPv4 in 127.0.0.0/8

// Random hex texts for nonces, challenges and Digest cnonces.
QString RandomHex(int chars);

// The HMAC proof of a login, change-address or apply request, computed from
// its fields and the password. Empty for other kinds.
QString Proof(const Message& request, const QString& password);
// Constant-time check of request.proof.
bool ProofMatches(const Message& request, const QString& password);

// Compares without an early exit, so the time taken says nothing about how
// much of a guess was right.
bool SameText(const QString& a, const QString& b);
// Whether the text holds a control character (base::IsControlCharacter).
bool HasControlCharacter(const QString& text);

// HTTP Digest (RFC 7616), MD5 or SHA-256.
struct DigestChallenge {
  QString realm;
  QString nonce;
  QString opaque;
  QString algorithm;  // "MD5" or "SHA-256"
  QString qop;        // "auth" when offered
};
// Parses the value of one WWW-Authenticate header; empty unless it is Digest
// (in any case) with a nonce and an algorithm we know, and no parameter twice.
std::optional<DigestChallenge> ParseDigestChallenge(const QByteArray& headerValue);
// What follows the scheme of a Digest header value (the scheme in any case);
// empty when the value is not Digest.
std::optional<QByteArray> AfterDigestScheme(const QByteArray& headerValue);
// The name=value pairs of a Digest header value after the scheme (quoted
// strings unescaped, names lower case; of a name given twice, the last).
// `duplicated`, when given, tells whether a name was given twice.
QMap<QString, QString> ParseAuthParams(const QByteArray& headerValue, bool* duplicated = nullptr);
QString DigestResponse(const QString& algorithm, const QString& user, const QString& password, const QString& realm,
                       const QString& nonce, const QString& method, const QString& uri, const QString& nc,
                       const QString& cnonce, const QString& qop);
// The Authorization header value answering the challenge; empty when the user
// name holds a control character (it would break the header).
QByteArray DigestAuthorization(const DigestChallenge& challenge, const QString& user, const QString& password,
                               const QString& method, const QString& uri);

// The WS-Security UsernameToken's PasswordDigest, as ONVIF cameras check it:
// Base64(SHA-1(nonce + created + password)), the nonce as raw bytes.
QString PasswordDigest(const QByteArray& nonce, const QString& created, const QString& password);

}  // namespace protocol
