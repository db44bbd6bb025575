#include "protocol/setting_rules.h"

#include "base/text.h"

namespace protocol {

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

}  // namespace protocol
