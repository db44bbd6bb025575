#include "cli/plain_text.h"

#include <QList>
#include <algorithm>
#include <array>
#include <iterator>

#include "base/text.h"

namespace {

QString UnicodeEscape(char16_t c) { return QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0')); }

struct Range {
  char32_t first, last;
};

// East Asian Width W and F: Hangul Jamo, CJK and its punctuation, kana,
// Hangul syllables, the compatibility and fullwidth forms, the emoji shown as
// pictures, and the supplementary ideograph planes.
constexpr std::array<Range, 50> WideRanges{{
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0}, {0x23F3, 0x23F3},
    {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653}, {0x267F, 0x267F}, {0x2693, 0x2693}, {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5}, {0x26CE, 0x26CE}, {0x26D4, 0x26D4}, {0x26EA, 0x26EA},
    {0x26F2, 0x26F3},   {0x26F5, 0x26F5},   {0x26FA, 0x26FA}, {0x26FD, 0x26FD}, {0x2705, 0x2705}, {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E}, {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55}, {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xA960, 0xA97F}, {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
}};

bool IsWide(char32_t c) {
  const auto after = std::upper_bound(WideRanges.begin(), WideRanges.end(), c,
                                      [](char32_t value, const Range& range) { return value < range.first; });
  return after != WideRanges.begin() && c <= std::prev(after)->last;
}

int ColumnsOf(char32_t c) {
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
      return 0;
    default:
      return IsWide(c) ? 2 : 1;
  }
}

}  // namespace

bool IsUnsafeCharacter(char16_t c) {
  return base::IsControlCharacter(c) || c == 0x061c || c == 0x200e || c == 0x200f || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

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
    } else if (IsUnsafeCharacter(unit)) {
      plain += unit <= 0xff ? QStringLiteral("\\x%1").arg(unit, 2, 16, QLatin1Char('0')) : UnicodeEscape(unit);
    } else {
      plain += c;
    }
  }
  return plain;
}

QString JsonSafeText(const QString& json) {
  QString safe;
  safe.reserve(json.size());
  for (QChar c : json) {
    if (IsUnsafeCharacter(c.unicode()) && c != u'\n') {
      safe += UnicodeEscape(c.unicode());
    } else {
      safe += c;
    }
  }
  return safe;
}

qsizetype DisplayWidth(const QString& text) {
  qsizetype columns = 0;
  for (const uint c : text.toUcs4()) columns += ColumnsOf(c);
  return columns;
}
