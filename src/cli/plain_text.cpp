#include "cli/plain_text.h"

namespace {

bool NeedsEscape(char16_t c) {
  return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f) || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e || c == 0x200f;
}

}  // namespace

QString PlainText(const QString& text) {
  QString plain;
  plain.reserve(text.size());
  for (QChar c : text) {
    const char16_t unit = c.unicode();
    if (unit == u'\\') {
      plain += u"\\\\"_qs;
    } else if (unit == u'\t') {
      plain += u"\\t"_qs;
    } else if (unit == u'\n') {
      plain += u"\\n"_qs;
    } else if (unit == u'\r') {
      plain += u"\\r"_qs;
    } else if (NeedsEscape(unit)) {
      plain += unit <= 0xff ? QStringLiteral("\\x%1").arg(unit, 2, 16, QLatin1Char('0'))
                            : QStringLiteral("\\u%1").arg(unit, 4, 16, QLatin1Char('0'));
    } else {
      plain += c;
    }
  }
  return plain;
}
