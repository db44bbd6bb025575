#include "protocol/protocol.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "base/text.h"

namespace protocol {
namespace {

enum class Check { Nonce, Mac, IPv4, IPv4OrEmpty, Text, ErrorText, Family, Port, Challenge, Proof, State, Result };

struct Field {
  const char* name;
  Check check;
  QString Message::*text = nullptr;
  int Message::*number = nullptr;
  bool optional = false;
};

Field TextField(const char* name, Check check, QString Message::*member, bool optional = false) {
  return Field{name, check, member, nullptr, optional};
}
Field NumberField(const char* name, Check check, int Message::*member) { return Field{name, check, nullptr, member}; }

struct Schema {
  Kind kind;
  const char* op;
  std::vector<Field> fields;
  const char* replyMark;  // the field only the reply of a shared op carries
};

const std::vector<Schema>& Schemas() {
  static const Field nonce = TextField("nonce", Check::Nonce, &Message::nonce);
  static const Field mac = TextField("mac", Check::Mac, &Message::mac);
  static const Field address = TextField("address", Check::IPv4, &Message::address);
  static const Field mask = TextField("mask", Check::IPv4, &Message::mask);
  static const Field gateway = TextField("gateway", Check::IPv4OrEmpty, &Message::gateway);
  static const Field id = TextField("id", Check::Text, &Message::id);
  static const Field challenge = TextField("challenge", Check::Challenge, &Message::challenge);
  static const Field proof = TextField("proof", Check::Proof, &Message::proof);
  static const Field state = NumberField("state", Check::State, &Message::state);
  static const Field result = NumberField("result", Check::Result, &Message::result);
  static const Field error = TextField("error", Check::ErrorText, &Message::error, true);
  static const std::vector<Schema> schemas = {
      {Kind::Probe, "probe", {nonce}, nullptr},
      {Kind::Here,
       "here",
       {nonce, mac, address, mask, gateway, TextField("mode", Check::Text, &Message::mode),
        TextField("caption", Check::Text, &Message::caption), TextField("version", Check::Text, &Message::version),
        NumberField("family", Check::Family, &Message::family), NumberField("port", Check::Port, &Message::port)},
       nullptr},
      {Kind::ChallengeRequest, "challenge", {nonce, mac}, nullptr},
      {Kind::ChallengeReply, "challenge", {nonce, mac, challenge, state}, "state"},
      {Kind::LoginRequest, "login", {nonce, mac, id, challenge, proof}, nullptr},
      {Kind::LoginReply, "login", {nonce, mac, state}, "state"},
      {Kind::WhoHasRequest, "who-has", {nonce, address}, nullptr},
      {Kind::WhoHasReply, "who-has", {nonce, mac, address}, "mac"},
      {Kind::ChangeAddressRequest,
       "change-address",
       {nonce, mac, id, challenge, address, mask, gateway, proof},
       nullptr},
      {Kind::ChangeAddressReply, "change-address", {nonce, mac, result, error}, "result"},
      {Kind::ApplyRequest, "apply", {nonce, mac, id, challenge, proof}, nullptr},
      {Kind::ApplyReply, "apply", {nonce, mac, result, error}, "result"},
  };
  return schemas;
}

const Schema& SchemaOf(Kind kind) {
  for (const Schema& schema : Schemas()) {
    if (schema.kind == kind) return schema;
  }
  return Schemas().front();
}

// The kind of a datagram from its op and, for ops shared by a request and its
// reply, from the reply's mark.
const Schema* FindSchema(const QString& op, const QJsonObject& object) {
  const Schema* request = nullptr;
  for (const Schema& schema : Schemas()) {
    if (op != QLatin1String(schema.op)) continue;
    if (schema.replyMark == nullptr) {
      request = &schema;
    } else if (object.contains(QLatin1String(schema.replyMark))) {
      return &schema;
    }
  }
  return request;
}

bool TextPasses(Check check, const QString& text) {
  switch (check) {
    case Check::Nonce:
      return IsHex(text, NonceHexChars);
    case Check::Mac:
      return IsMacText(text);
    case Check::IPv4:
      return IsIPv4(text);
    case Check::IPv4OrEmpty:
      return text.isEmpty() || IsIPv4(text);
    case Check::Text:
      return text.size() <= MaxTextUnits;
    case Check::ErrorText:
      return text.size() <= MaxErrorUnits;
    case Check::Challenge:
      return IsHex(text, ChallengeHexChars);
    case Check::Proof:
      return IsHex(text, ProofHexChars);
    default:
      return false;
  }
}

bool NumberPasses(Check check, int value) {
  switch (check) {
    case Check::Family:
      return value == 0 || value == 2;
    case Check::Port:
      return value >= 1 && value <= 65535;
    case Check::State:
      return value == StateLoginNeeded || value == StateGranted;
    case Check::Result:
      return value == 0 || value == 1;
    default:
      return false;
  }
}

// A part of a dotted text: "0" or 1-3 digits without a leading zero, at most max.
std::optional<int> DecimalPart(QStringView part, int max) {
  if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part[0] == u'0')) return std::nullopt;
  int value = 0;
  for (QChar c : part) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c.unicode() - u'0');
  }
  if (value > max) return std::nullopt;
  return value;
}

template <size_t N>
std::optional<std::array<uint8_t, N>> DottedBytes(const QString& text) {
  const QList<QStringView> parts = QStringView(text).split(u'.');
  if (parts.size() != static_cast<qsizetype>(N)) return std::nullopt;
  std::array<uint8_t, N> bytes{};
  for (size_t i = 0; i < N; ++i) {
    const std::optional<int> part = DecimalPart(parts[static_cast<qsizetype>(i)], 255);
    if (!part) return std::nullopt;
    bytes[i] = static_cast<uint8_t>(*part);
  }
  return bytes;
}

QByteArray Hash(const QString& algorithm, const QByteArray& data) {
  const auto method = algorithm == u"SHA-256" ? QCryptographicHash::Sha256 : QCryptographicHash::Md5;
  return QCryptographicHash::hash(data, method).toHex();
}

QString QuotedString(const QString& text) {
  QString quoted = text;
  quoted.replace(u'\\', u"\\\\"_qs).replace(u'"', u"\\\""_qs);
  return u'"' + quoted + u'"';
}

}  // namespace

QString OpName(Kind kind) { return QString::fromLatin1(SchemaOf(kind).op); }

bool IsReply(Kind kind) { return kind == Kind::Here || SchemaOf(kind).replyMark != nullptr; }

Parsed ParseDatagram(const QByteArray& datagram) {
  if (datagram.size() > MaxDatagramBytes) return {std::nullopt, QStringLiteral("datagram larger than 1400 bytes")};
  QJsonParseError jsonError{};
  const QJsonDocument document = QJsonDocument::fromJson(datagram, &jsonError);
  if (jsonError.error != QJsonParseError::NoError) return {std::nullopt, QStringLiteral("not JSON")};
  if (!document.isObject()) return {std::nullopt, QStringLiteral("not a JSON object")};
  const QJsonObject object = document.object();
  if (IntegralNumber(object.value(u"v")) != 1) return {std::nullopt, QStringLiteral("no \"v\":1")};
  const QJsonValue op = object.value(u"op");
  if (!op.isString()) return {std::nullopt, QStringLiteral("no op")};
  const Schema* schema = FindSchema(op.toString(), object);
  if (schema == nullptr) return {std::nullopt, QStringLiteral("unknown op")};

  Message message;
  message.kind = schema->kind;
  for (const Field& field : schema->fields) {
    const QString name = QString::fromLatin1(field.name);
    const QJsonValue value = object.value(name);
    if (value.isUndefined() && field.optional) continue;
    if (field.text != nullptr) {
      if (!value.isString()) return {std::nullopt, name + u" missing or not a text"_qs};
      const QString text = value.toString();
      if (!TextPasses(field.check, text)) return {std::nullopt, name + u" invalid"_qs};
      message.*field.text = text;
    } else {
      const std::optional<int> number = IntegralNumber(value);
      if (!number) return {std::nullopt, name + u" missing or not an integer"_qs};
      if (!NumberPasses(field.check, *number)) return {std::nullopt, name + u" out of range"_qs};
      message.*field.number = *number;
    }
  }
  return {message, QString()};
}

QByteArray BuildDatagram(const Message& message) {
  const Schema& schema = SchemaOf(message.kind);
  QJsonObject object{{u"v"_qs, 1}, {u"op"_qs, QString::fromLatin1(schema.op)}};
  for (const Field& field : schema.fields) {
    const QString name = QString::fromLatin1(field.name);
    if (field.text != nullptr) {
      const QString& text = message.*field.text;
      if (field.optional && text.isEmpty()) continue;
      if (!TextPasses(field.check, text)) return {};
      object.insert(name, text);
    } else {
      const int number = message.*field.number;
      if (!NumberPasses(field.check, number)) return {};
      object.insert(name, number);
    }
  }
  QByteArray datagram = QJsonDocument(object).toJson(QJsonDocument::Compact);
  if (datagram.size() > MaxDatagramBytes) return {};
  return datagram;
}

std::optional<int> IntegralNumber(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  const double number = value.toDouble();
  if (!std::isfinite(number) || number != std::floor(number) || number < -2147483648.0 || number > 2147483647.0) {
    return std::nullopt;
  }
  return static_cast<int>(number);
}

bool IsMacText(const QString& text) { return ParseMac(text).has_value(); }

std::optional<std::array<uint8_t, 6>> ParseMac(const QString& text) { return DottedBytes<6>(text); }

bool IsIPv4(const QString& text) { return ParseIPv4(text).has_value(); }

std::optional<uint32_t> ParseIPv4(const QString& text) {
  const std::optional<std::array<uint8_t, 4>> bytes = DottedBytes<4>(text);
  if (!bytes) return std::nullopt;
  return (uint32_t{(*bytes)[0]} << 24) | (uint32_t{(*bytes)[1]} << 16) | (uint32_t{(*bytes)[2]} << 8) |
         uint32_t{(*bytes)[3]};
}

bool IsLoopback(const QString& address) {
  const std::optional<uint32_t> ip = ParseIPv4(address);
  return ip && (*ip >> 24) == 127;
}

bool IsHex(const QString& text, int length) {
  if (text.size() != length) return false;
  for (QChar c : text) {
    const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (!hex) return false;
  }
  return true;
}

QString RandomHex(int chars) {
  QByteArray bytes((chars + 1) / 2, Qt::Uninitialized);
  for (char& byte : bytes) byte = static_cast<char>(QRandomGenerator::system()->bounded(256));
  return QString::fromLatin1(bytes.toHex().left(chars));
}

QString Proof(const Message& request, const QString& password) {
  QStringList parts{request.challenge, request.nonce, request.mac, request.id};
  switch (request.kind) {
    case Kind::LoginRequest:
      break;
    case Kind::ChangeAddressRequest:
      parts << request.address << request.mask << request.gateway;
      break;
    case Kind::ApplyRequest:
      parts << QStringLiteral("apply");
      break;
    default:
      return {};
  }
  const QByteArray mac =
      QMessageAuthenticationCode::hash(parts.join(u':').toUtf8(), password.toUtf8(), QCryptographicHash::Sha256);
  return QString::fromLatin1(mac.toHex());
}

bool ProofMatches(const Message& request, const QString& password) {
  const QString expected = Proof(request, password);
  return !expected.isEmpty() && SameText(expected, request.proof.toLower());
}

bool SameText(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  char16_t difference = 0;
  for (qsizetype i = 0; i < a.size(); ++i) difference |= static_cast<char16_t>(a[i].unicode() ^ b[i].unicode());
  return difference == 0;
}

bool HasControlCharacter(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return base::IsControlCharacter(c.unicode()); });
}

QMap<QString, QString> ParseAuthParams(const QByteArray& headerValue, bool* duplicated) {
  QMap<QString, QString> params;
  if (duplicated) *duplicated = false;
  const QString text = QString::fromUtf8(headerValue);
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    while (i < n && (text[i] == u' ' || text[i] == u',' || text[i] == u'\t')) ++i;
    const qsizetype nameStart = i;
    while (i < n && text[i] != u'=' && text[i] != u',' && text[i] != u' ') ++i;
    const QString name = text.mid(nameStart, i - nameStart).toLower();
    while (i < n && text[i] == u' ') ++i;
    if (i >= n || text[i] != u'=') continue;  // a bare token (the scheme) has no value
    ++i;
    while (i < n && text[i] == u' ') ++i;
    QString value;
    if (i < n && text[i] == u'"') {
      ++i;
      while (i < n && text[i] != u'"') {
        if (text[i] == u'\\' && i + 1 < n) ++i;
        value += text[i++];
      }
      ++i;  // closing quote
    } else {
      while (i < n && text[i] != u',' && text[i] != u' ') value += text[i++];
    }
    if (name.isEmpty()) continue;
    // Two values for one name leave it open which one the other side used.
    if (params.contains(name) && duplicated) *duplicated = true;
    params.insert(name, value);
  }
  return params;
}

std::optional<QByteArray> AfterDigestScheme(const QByteArray& headerValue) {
  const QByteArray trimmed = headerValue.trimmed();
  // The scheme name is case-insensitive (RFC 7235); blanks separate it.
  if (trimmed.size() < 7 || trimmed.first(6).toLower() != "digest" || (trimmed[6] != ' ' && trimmed[6] != '\t'))
    return std::nullopt;
  return trimmed.mid(7);
}

std::optional<DigestChallenge> ParseDigestChallenge(const QByteArray& headerValue) {
  const std::optional<QByteArray> rest = AfterDigestScheme(headerValue);
  if (!rest) return std::nullopt;
  bool duplicated = false;
  const QMap<QString, QString> params = ParseAuthParams(*rest, &duplicated);
  if (duplicated) return std::nullopt;
  DigestChallenge challenge;
  challenge.realm = params.value(u"realm"_qs);
  challenge.nonce = params.value(u"nonce"_qs);
  challenge.opaque = params.value(u"opaque"_qs);
  challenge.algorithm = params.value(u"algorithm"_qs, u"MD5"_qs).toUpper();
  const QStringList qops = params.value(u"qop"_qs).split(u',', Qt::SkipEmptyParts);
  for (const QString& qop : qops) {
    if (qop.trimmed() == u"auth") challenge.qop = u"auth"_qs;
  }
  if (challenge.nonce.isEmpty() || (challenge.algorithm != u"MD5" && challenge.algorithm != u"SHA-256")) {
    return std::nullopt;
  }
  return challenge;
}

QString DigestResponse(const QString& algorithm, const QString& user, const QString& password, const QString& realm,
                       const QString& nonce, const QString& method, const QString& uri, const QString& nc,
                       const QString& cnonce, const QString& qop) {
  const QByteArray ha1 = Hash(algorithm, (user + u':' + realm + u':' + password).toUtf8());
  const QByteArray ha2 = Hash(algorithm, (method + u':' + uri).toUtf8());
  const QByteArray tail = qop.isEmpty() ? nonce.toUtf8() : (nonce + u':' + nc + u':' + cnonce + u':' + qop).toUtf8();
  return QString::fromLatin1(Hash(algorithm, ha1 + ':' + tail + ':' + ha2));
}

QByteArray DigestAuthorization(const DigestChallenge& challenge, const QString& user, const QString& password,
                               const QString& method, const QString& uri) {
  if (HasControlCharacter(user) || HasControlCharacter(uri)) return {};
  const QString nc = u"00000001"_qs;
  const QString cnonce = RandomHex(16);
  const QString response = DigestResponse(challenge.algorithm, user, password, challenge.realm, challenge.nonce, method,
                                          uri, nc, cnonce, challenge.qop);
  QString value = u"Digest username="_qs + QuotedString(user) + u", realm="_qs + QuotedString(challenge.realm) +
                  u", nonce="_qs + QuotedString(challenge.nonce) + u", uri="_qs + QuotedString(uri) +
                  u", algorithm="_qs + challenge.algorithm + u", response="_qs + QuotedString(response);
  if (!challenge.qop.isEmpty()) value += u", qop=auth, nc="_qs + nc + u", cnonce="_qs + QuotedString(cnonce);
  if (!challenge.opaque.isEmpty()) value += u", opaque="_qs + QuotedString(challenge.opaque);
  return value.toUtf8();
}

QString PasswordDigest(const QByteArray& nonce, const QString& created, const QString& password) {
  QCryptographicHash sha1(QCryptographicHash::Sha1);
  sha1.addData(nonce);
  sha1.addData(created.toUtf8());
  sha1.addData(password.toUtf8());
  return QString::fromLatin1(sha1.result().toBase64());
}

}  // namespace protocol
