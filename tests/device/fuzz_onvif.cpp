// libFuzzer target: whatever arrives as a WS-Discovery answer or a device
// service answer goes through the readers without a crash, a hang or a
// sanitizer report, and a refusal always says why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "device/onvif_discovery.h"
#include "device/onvif_soap.h"

using namespace device::onvif;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  const ProbeMatches matches = ReadProbeMatches(bytes);
  if (matches.matches.empty() == matches.error.isEmpty()) std::abort();
  for (const ProbeMatch& match : matches.matches) {
    if (match.endpoint.isEmpty()) std::abort();
    (void)CameraFromMatch(match, QHostAddress(QStringLiteral("127.0.0.9")));
  }

  const SoapAnswer answer = ReadAnswer(bytes);
  if (!answer.response && answer.error.isEmpty()) std::abort();
  if (answer.response) {
    const XmlElement& response = *answer.response;
    (void)ReadSystemDateAndTime(response);
    (void)ReadDeviceInformation(response);
    for (const NetworkInterface& interface : ReadNetworkInterfaces(response)) {
      if (interface.prefixLength < 0 || interface.prefixLength > 32) std::abort();
      (void)MacListText(interface.hwAddress);
    }
    (void)ReadDefaultGateway(response);
    (void)ReadUsers(response);
    (void)ReadRebootNeeded(response);
  }
  return 0;
}
