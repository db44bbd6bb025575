#include "protocol/setting_rules.h"

#include "base/text.h"
#include "protocol/protocol.h"

namespace protocol {
namespace {

bool IsUnicastHost(const std::optional<uint32_t>& address) {
  if (!address) return false;
  const uint32_t first = *address >> 24;
  return first != 0 && first < 224;  // not "this network", multicast or reserved
}

// Marks that reorder what follows them on screen: a camera's text could
// make a message read differently from what it says.
bool IsBidiMark(char16_t unit) {
  return unit == 0x061c || unit == 0x200e || unit == 0x200f || (unit >= 0x202a && unit <= 0x202e) ||
         (unit >= 0x2066 && unit <= 0x2069);
}

}  // namespace

QString TextRefusal(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (base::IsControlCharacter(unit)) return QStringLiteral("holds a control character");
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      ++i;
      continue;
    }
    if (QChar::isSurrogate(unit)) return QStringLiteral("holds a lone surrogate");
  }
  return {};
}

bool IsHostOfNetwork(uint32_t address, uint32_t mask) {
  const uint32_t hostBits = ~mask;
  if (hostBits < 3) return true;  // /31 and /32: every address is a host's
  const uint32_t host = address & hostBits;
  return host != 0 && host != hostBits;
}

QString AddressSettingsRefusal(const QString& address, const QString& mask, const QString& gateway) {
  const std::optional<uint32_t> host = ParseIPv4(address);
  const std::optional<uint32_t> bits = ParseIPv4(mask);
  if (!bits || *bits == 0 || (~*bits & (~*bits + 1)) != 0) {
    return QStringLiteral("the subnet mask %1 is not a contiguous prefix").arg(ShownDeviceText(mask));
  }
  if (!IsUnicastHost(host)) return QStringLiteral("the IP address %1 is not accepted").arg(ShownDeviceText(address));
  if (!IsHostOfNetwork(*host, *bits)) {
    return QStringLiteral("%1 is the network or broadcast address of its subnet").arg(address);
  }
  if (!gateway.isEmpty() && !IsUnicastHost(ParseIPv4(gateway))) {
    return QStringLiteral("the default gateway %1 is not accepted").arg(ShownDeviceText(gateway));
  }
  return {};
}

QString ShownDeviceText(const QString& text) {
  QString shown = text.left(MaxErrorUnits);
  if (!shown.isEmpty() && shown.back().isHighSurrogate()) shown.chop(1);
  for (QChar& c : shown) {
    if (base::IsControlCharacter(c.unicode()) || IsBidiMark(c.unicode())) c = u' ';
  }
  return shown.trimmed();
}

}  // namespace protocol
