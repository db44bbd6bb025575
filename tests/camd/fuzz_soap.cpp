// libFuzzer target: any bytes through the simulator's SOAP reader, as a
// service request body and as a WS-Discovery datagram. A document is either
// refused with a reason or read into a tree within the caps; a token found
// in it is checked without a crash.
#include <QDateTime>
#include <cstdint>
#include <cstdlib>

#include "camd/onvif_auth.h"
#include "camd/onvif_xml.h"

namespace {

int Depth(const camd::XmlElement& element) {
  int deepest = 0;
  for (const camd::XmlElement& child : element.children) deepest = std::max(deepest, Depth(child));
  return deepest + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QString error;
  const auto root = camd::ReadXml(input, error);
  if (!root && error.isEmpty()) std::abort();  // a refusal always says why
  if (root && (Depth(*root) > camd::kMaxSoapDepth || input.size() > camd::kMaxSoapBytes)) std::abort();
  const auto message = camd::ReadSoap(input, error);
  if (message) {
    if (const auto token = camd::ReadUsernameToken(message->header))
      camd::VerifyToken(*token, token->user, QStringLiteral("1234"), QDateTime::currentDateTimeUtc());
    const camd::XmlElement* types = message->body.child(u"Types");
    if (types) (void)types->namespaceFor(u"dn");
  }
  return 0;
}
