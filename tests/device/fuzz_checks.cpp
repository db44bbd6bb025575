#include "fuzz_checks.h"

#include <QByteArray>
#include <QByteArrayView>
#include <algorithm>
#include <tuple>
#include <vector>

#include "device/http_client.h"
#include "protocol/protocol.h"

namespace device_fuzz {
namespace {

using device::RawResponse;
using device::ResponseReader;
using State = ResponseReader::State;

struct Read {
  State state = State::Incomplete;
  RawResponse response;
};

// Feeds the pieces one by one, as the socket code does, then the close.
Read ReadPieces(const std::vector<QByteArrayView>& pieces) {
  ResponseReader reader;
  State state = State::Incomplete;
  for (const QByteArrayView piece : pieces) {
    state = reader.Feed(piece, false);
    if (state != State::Incomplete) break;
  }
  if (state == State::Incomplete) state = reader.Feed({}, true);
  return {state, reader.response()};
}

// Cuts bytes into pieces of 1 to maxPiece bytes, lengths from a small LCG.
std::vector<QByteArrayView> Cut(QByteArrayView bytes, uint8_t maxPiece) {
  std::vector<QByteArrayView> pieces;
  uint32_t random = maxPiece;
  qsizetype at = 0;
  while (at < bytes.size()) {
    random = random * 1103515245u + 12345u;
    const qsizetype length = maxPiece == 0 ? 1 : 1 + static_cast<qsizetype>((random >> 16) % maxPiece);
    pieces.push_back(bytes.sliced(at, std::min(length, bytes.size() - at)));
    at += pieces.back().size();
  }
  return pieces;
}

const char* StateName(State state) {
  switch (state) {
    case State::Incomplete:
      return "incomplete";
    case State::Complete:
      return "complete";
    case State::Broken:
      return "broken";
  }
  return "?";
}

std::string Describe(const Read& read) {
  return std::string(StateName(read.state)) + " " + std::to_string(read.response.status) + " (" +
         read.response.error.toStdString() + "), body of " + std::to_string(read.response.body.size()) + " bytes, " +
         std::to_string(read.response.headers.size()) + " headers";
}

bool SameRead(const Read& a, const Read& b) {
  return a.state == b.state && a.response.status == b.response.status && a.response.body == b.response.body &&
         a.response.headers == b.response.headers && a.response.error == b.response.error;
}

std::string Invariants(const Read& read) {
  const RawResponse& r = read.response;
  switch (read.state) {
    case State::Incomplete:
      return "still incomplete after the close";
    case State::Complete:
      if (r.status < 100 || r.status > 599) return "complete with status " + std::to_string(r.status);
      if (!r.error.isEmpty()) return "complete with an error: " + r.error.toStdString();
      if (r.body.size() > protocol::MaxBodyBytes) return "complete with a body over the cap";
      return {};
    case State::Broken:
      if (r.status != 0) return "broken with status " + std::to_string(r.status);
      if (r.error.isEmpty()) return "broken without an error";
      return {};
  }
  return {};
}

using Headers = QList<QPair<QByteArray, QByteArray>>;

Headers WithoutFraming(const Headers& headers) {
  Headers kept;
  for (const auto& field : headers) {
    if (field.first != "content-length" && field.first != "transfer-encoding") kept.append(field);
  }
  return kept;
}

// The header of a response written again, without its framing headers.
QByteArray HeaderAgain(const RawResponse& r) {
  QByteArray header = "HTTP/1.1 " + QByteArray::number(r.status) + " Again\r\n";
  for (const auto& [name, value] : WithoutFraming(r.headers)) header += name + ": " + value + "\r\n";
  return header;
}

QByteArray Chunked(const QByteArray& body, uint8_t seed) {
  // Small chunks, but never so many that the framing passes its cap.
  const qsizetype chunk = 1 + seed % 16 + body.size() / 1024;
  QByteArray bytes;
  for (qsizetype at = 0; at < body.size(); at += chunk) {
    const QByteArray data = body.mid(at, chunk);
    bytes += QByteArray::number(data.size(), 16) + (seed % 3 == 0 ? ";ext=1" : "") + "\r\n" + data + "\r\n";
  }
  return bytes + "0\r\n" + (seed % 2 == 1 ? "X-Trailer: 1\r\n" : "") + "\r\n";
}

// The response must read back the same written with a Content-Length and chunked.
std::string RoundTrip(const Read& read, uint8_t seed) {
  const RawResponse& r = read.response;
  const QByteArray header = HeaderAgain(r);
  // Written again with CRLFs and blanks, a header near the cap may pass it.
  if (header.size() + 32 > protocol::MaxHeaderBytes) return {};
  const QByteArray framings[] = {
      header + "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n\r\n" + r.body,
      header + "Transfer-Encoding: chunked\r\n\r\n" + Chunked(r.body, seed),
  };
  for (const QByteArray& bytes : framings) {
    const Read again = ReadPieces(Cut(bytes, seed));
    if (again.state != State::Complete || again.response.status != r.status || again.response.body != r.body ||
        WithoutFraming(again.response.headers) != WithoutFraming(r.headers)) {
      return "written again, read as " + Describe(again) + " instead of " + Describe(read);
    }
  }
  return {};
}

}  // namespace

std::string CheckHttpInput(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const uint8_t seed = data[0];
  const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
  const Read whole = ReadPieces({bytes});
  const Read pieces = ReadPieces(Cut(bytes, seed));
  if (!SameRead(whole, pieces)) return "in one read " + Describe(whole) + ", in pieces " + Describe(pieces);
  if (std::string problem = Invariants(whole); !problem.empty()) return problem;
  if (whole.state != State::Complete) return {};
  // What the client does next with an answer: its Digest challenges.
  for (const QByteArray& value : whole.response.Header("www-authenticate")) protocol::ParseDigestChallenge(value);
  return RoundTrip(whole, seed);
}

std::string CheckDatagramInput(const uint8_t* data, size_t size) {
  const QByteArray datagram(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const protocol::Parsed parsed = protocol::ParseDatagram(datagram);
  if (!parsed.message) return parsed.error.isEmpty() ? "dropped without a reason" : std::string();
  const QByteArray rebuilt = protocol::BuildDatagram(*parsed.message);
  if (rebuilt.isEmpty()) return "parsed, but does not rebuild";
  const protocol::Parsed again = protocol::ParseDatagram(rebuilt);
  if (!again.message) return "rebuilt as " + rebuilt.toStdString() + ", dropped: " + again.error.toStdString();
  const auto fields = [](const protocol::Message& m) {
    return std::tie(m.kind, m.nonce, m.mac, m.address, m.mask, m.gateway, m.mode, m.caption, m.version, m.family,
                    m.port, m.id, m.challenge, m.proof, m.state, m.result, m.error);
  };
  if (fields(*again.message) != fields(*parsed.message))
    return "rebuilt as " + rebuilt.toStdString() + ", reads differently";
  return {};
}

}  // namespace device_fuzz
