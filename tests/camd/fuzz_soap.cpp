// libFuzzer target: any bytes through the simulator's reading, as a service
// request body and as a WS-Discovery datagram. A document is either refused
// with a reason or read into a tree within the caps; a token found in it is
// checked without a crash.
#include <QDateTime>
#include <cstdint>
#include <cstdlib>

#include "camd/onvif_auth.h"
#include "camd/onvif_discovery.h"
#include "camd/onvif_service.h"

namespace {

int Depth(const protocol::XmlElement& element) {
  int deepest = 0;
  for (const protocol::XmlElement& child : element.children) deepest = std::max(deepest, Depth(child));
  return deepest + 1;
}

int Count(const protocol::XmlElement& element) {
  int count = 1;
  for (const protocol::XmlElement& child : element.children) count += Count(child);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const protocol::XmlRead read = protocol::ReadXml(input, camd::kSoapLimits);
  if (!read.root && read.error.isEmpty()) std::abort();  // a refusal always says why
  if (read.root && (Depth(*read.root) > camd::kSoapLimits.maxDepth ||
                    Count(*read.root) > camd::kSoapLimits.maxElements || input.size() > camd::kSoapLimits.maxBytes))
    std::abort();
  QString error;
  const auto request = camd::ReadRequest(input, error);
  if (!request && error.isEmpty()) std::abort();
  if (request) {
    if (const auto token = camd::ReadUsernameToken(request->header)) {
      camd::TokenBook book;
      const QHostAddress from(QStringLiteral("127.0.0.2"));
      if (book.Admit(*token, QDateTime::currentDateTimeUtc(), from) == camd::TokenResult::Admitted &&
          camd::TokenMatches(*token, token->user, QStringLiteral("1234")))
        book.Spend(*token, QDateTime::currentDateTimeUtc(), from);
    }
  }
  error.clear();
  if (!camd::ReadProbe(input, error) && error.isEmpty()) std::abort();
  return 0;
}
