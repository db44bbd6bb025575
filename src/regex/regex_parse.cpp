// Pattern preparation: escape expansion, group numbering with markers, and the
// element splitter and extraction routines that the matcher shares.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "regex/modRegEx_internal.h"

namespace modRegEx::detail {

namespace {

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Single-byte characters 128 to 255 are U+0080 to U+00FF (Latin-1).
bool IsHighSingleByte(char16_t c) { return c >= 0x80 && c <= 0xFF; }

bool IsOctalDigit(char16_t c) { return c >= u'0' && c <= u'7'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// The single-byte code of a character; one outside the code page stands as "?".
int SingleByteCode(char16_t c) { return c <= 0xFF ? c : u'?'; }

// Lengths of the bracketed pieces at the start of a text, 0 when there is none.
size_t BracesLength(std::u16string_view t) {
  if (t.empty() || t[0] != u'{') return 0;
  const size_t close = t.find(u'}');
  return close == std::u16string_view::npos ? 0 : close + 1;
}

// "(", ")", "[", "\\" and "]": the only characters a group scan acts on.
bool IsGroupSyntax(char16_t c) {
  constexpr uint64_t kSyntax = (uint64_t{1} << (u'(' - u'(')) | (uint64_t{1} << (u')' - u'(')) |
                               (uint64_t{1} << (u'[' - u'(')) | (uint64_t{1} << (u'\\' - u'(')) |
                               (uint64_t{1} << (u']' - u'('));
  const unsigned offset = static_cast<unsigned>(c) - u'(';
  return offset < 64 && ((kSyntax >> offset) & 1) != 0;
}

// The position of the next group-syntax character at or after i, or the
// text's size. Group scans run on every matching step over patterns that
// brace expansion makes long, so this passes over eight characters at a time
// where the processor allows.
size_t NextGroupSyntax(std::u16string_view t, size_t i) {
#if defined(__SSE2__)
  const __m128i open = _mm_set1_epi16(u'(');
  const __m128i close = _mm_set1_epi16(u')');
  const __m128i classOpen = _mm_set1_epi16(u'[');
  const __m128i escape = _mm_set1_epi16(u'\\');
  const __m128i classClose = _mm_set1_epi16(u']');
  for (; i + 8 <= t.size(); i += 8) {
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data() + i));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(chars, open), _mm_cmpeq_epi16(chars, close)),
                     _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(chars, classOpen), _mm_cmpeq_epi16(chars, escape)),
                                  _mm_cmpeq_epi16(chars, classClose)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return i + static_cast<size_t>(std::countr_zero(mask)) / 2;
  }
#endif
  while (i < t.size() && !IsGroupSyntax(t[i])) ++i;
  return i;
}

// Groups shorter than this are scanned every time; longer ones are
// remembered together with the groups inside them, up to the upper size.
// Of the groups inside, the outermost few are kept: those closed last, which
// are the ones matching asks for next.
constexpr size_t kRememberedGroupMin = 32;
constexpr size_t kRememberedGroupMax = size_t{1} << 16;
constexpr size_t kRememberedInnerGroups = 16;

size_t RememberedGroupLength(std::u16string_view t) {
  const State& s = ModuleState();
  for (auto it = s.ScannedInnerGroups.rbegin(); it != s.ScannedInnerGroups.rend(); ++it) {
    const auto [offset, length] = *it;
    // memcmp: the character-wise comparison of char16_t views is far slower.
    if (length <= t.size() && std::memcmp(t.data(), s.ScannedGroup.data() + offset, length * sizeof(char16_t)) == 0) {
      return length;
    }
  }
  return 0;
}

size_t GroupLength(std::u16string_view t) {
  if (t.empty() || t[0] != u'(') return 0;
  const bool remember = t.size() >= kRememberedGroupMin;
  if (remember) {
    if (const size_t known = RememberedGroupLength(t); known > 0) return known;
  }
  // A group found inside this one spans the same characters wherever those
  // characters stand, so what the scan finds on the way is kept for later.
  State& s = ModuleState();
  std::vector<std::pair<size_t, size_t>> found;
  if (remember) {
    s.ScanOpenings.clear();
    found.swap(s.ScannedInnerGroups);
    found.clear();
  }
  int depth = 0;
  bool inClass = false;
  for (size_t i = 0; (i = NextGroupSyntax(t, i)) < t.size(); ++i) {
    const char16_t c = t[i];
    if (c == u'[') {
      inClass = true;
    } else if (c == u']') {
      inClass = false;
    } else if (c == u'\\') {
      ++i;
    } else if (c == u'(' && !inClass) {
      ++depth;
      if (remember) s.ScanOpenings.push_back(i);
    } else if (c == u')' && !inClass) {
      if (remember) {
        const size_t opening = s.ScanOpenings.back();
        s.ScanOpenings.pop_back();
        if (i + 1 - opening >= kRememberedGroupMin) {
          if (found.size() == kRememberedInnerGroups) found.erase(found.begin());
          found.emplace_back(opening, i + 1 - opening);
        }
      }
      if (--depth == 0) {
        if (remember && i + 1 <= kRememberedGroupMax) {
          s.ScannedGroup.assign(t.substr(0, i + 1));
          s.ScannedInnerGroups.swap(found);
        }
        return i + 1;
      }
    }
  }
  return 0;
}

size_t ClassLength(std::u16string_view t) {
  if (t.empty() || t[0] != u'[') return 0;
  // A "]" right after "[" or "[^" is a member, not the end.
  const size_t earliestClose = t.size() > 1 && t[1] == u'^' ? 3 : 2;
  for (size_t i = 1; i < t.size(); ++i) {
    if (t[i] == u'\\') {
      ++i;
    } else if (t[i] == u']' && i >= earliestClose) {
      return i + 1;
    }
  }
  return 0;
}

// Whether the text holds the character anywhere. Called on every matching
// step, so a longer text is searched byte-wise with memchr, which is far
// faster than a character loop.
bool ContainsChar(std::u16string_view text, char16_t c) {
  if (text.size() < 32) return std::find(text.begin(), text.end(), c) != text.end();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size() * sizeof(char16_t);
  const auto low = static_cast<unsigned char>(c & 0xFF);
  for (size_t at = 0; at < size;) {
    const void* hit = std::memchr(bytes + at, low, size - at);
    if (hit == nullptr) return false;
    const auto offset = static_cast<size_t>(static_cast<const unsigned char*>(hit) - bytes);
    if (offset % sizeof(char16_t) == (std::endian::native == std::endian::little ? 0 : 1) &&
        text[offset / sizeof(char16_t)] == c) {
      return true;
    }
    at = offset + 1;
  }
  return false;
}

std::u16string_view TakePrefix(std::u16string_view& text, size_t length) {
  length = std::min(length, text.size());
  const std::u16string_view taken = text.substr(0, length);
  text.remove_prefix(length);
  return taken;
}

// Appends the class that a class escape stands for: bare inside a class,
// bracketed outside one.
void AppendClass(std::u16string& out, bool inClass, std::u16string_view prefix, std::u16string_view classText) {
  if (!inClass) out += u'[';
  out += prefix;
  out += classText;
  if (!inClass) out += u']';
}

void AppendEscaped(std::u16string& out, char16_t c) {
  out += u'\\';
  out += c;
}

// Expands the escape at pattern[i] (a backslash) into out; returns the index
// after what it consumed.
size_t ExpandEscape(std::u16string_view pattern, size_t i, bool inClass, bool& quoted, std::u16string& out) {
  if (i + 1 >= pattern.size()) {
    out += u'\\';
    return i + 1;
  }
  const char16_t d = pattern[i + 1];
  switch (d) {
    case u'w':
      AppendClass(out, inClass, u"", kWordClassText);
      break;
    case u'W':
      AppendClass(out, inClass, u"^", kWordClassText);
      break;
    case u'd':
      AppendClass(out, inClass, u"", u"0-9");
      break;
    case u'D':
      AppendClass(out, inClass, u"^", u"0-9");
      break;
    case u's':
      AppendClass(out, inClass, u"", kSpaceClassText);
      break;
    case u'S':
      AppendClass(out, inClass, u"^", kSpaceClassText);
      break;
    case u't':
      AppendEscaped(out, u'\t');
      break;
    case u'r':
      AppendEscaped(out, u'\r');
      break;
    case u'f':
      AppendEscaped(out, u'\n');
      break;  // a line feed here, not a form feed
    case u'a':
      AppendEscaped(out, u'\a');
      break;
    case u'e':
      AppendEscaped(out, u'\x1B');
      break;
    case u'b':
      if (inClass) {
        AppendEscaped(out, u'\b');
      } else {
        out += u"\\b";
      }
      break;
    case u'Q':
      quoted = true;
      break;
    case u'c': {
      if (i + 2 >= pattern.size()) {
        RaiseRegExprError(u"Control character missing in regular expression: " + RemoveMarkers(pattern), 20052,
                          u"ExpandEspaces");
      }
      char16_t x = pattern[i + 2];
      if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - u'a' + u'A');
      const int code = SingleByteCode(x) - 64;
      if (code < 0 || code > 31) {
        RaiseRegExprError(u"Invalid control character in regular expression: " + RemoveMarkers(pattern), 20052,
                          u"ExpandEspaces");
      }
      AppendEscaped(out, static_cast<char16_t>(code));
      return i + 3;
    }
    case u'0': {
      size_t digits = 0;
      while (digits < 3 && i + 2 + digits < pattern.size() && IsOctalDigit(pattern[i + 2 + digits])) ++digits;
      int value = 0;
      for (size_t k = 0; k < digits; ++k) value = value * 8 + (pattern[i + 2 + k] - u'0');
      if (value > 255) {  // three digits above "377": take two
        digits = 2;
        value /= 8;
      }
      out += CharToPattern(value);
      return i + 2 + digits;
    }
    case u'x': {
      const int high = i + 2 < pattern.size() ? HexValue(pattern[i + 2]) : -1;
      if (high < 0) {
        out += u'x';
        return i + 2;
      }
      const int low = i + 3 < pattern.size() ? HexValue(pattern[i + 3]) : -1;
      out += CharToPattern(low < 0 ? high : high * 16 + low);
      return i + (low < 0 ? 3 : 4);
    }
    default:
      AppendEscaped(out, d);
      break;
  }
  return i + 2;
}

}  // namespace

std::u16string CharToPattern(int code) {
  const auto c = static_cast<char16_t>(code);
  if (IsAsciiLetterOrDigit(c) || IsHighSingleByte(c)) return std::u16string(1, c);
  return std::u16string{u'\\', c};
}

std::u16string ExpandEspaces(std::u16string_view pattern) {
  std::u16string out;
  out.reserve(pattern.size());
  bool inClass = false;
  bool quoted = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char16_t c = pattern[i];
    if (quoted) {
      if (IsAsciiLetterOrDigit(c) || IsHighSingleByte(c)) {
        out += c;
        ++i;
      } else if (c == u'\\' && i + 1 < pattern.size() && pattern[i + 1] == u'E') {
        quoted = false;
        i += 2;
      } else if (c == u'\\') {
        out += u"\\\\";
        ++i;
      } else {
        AppendEscaped(out, c);
        ++i;
      }
    } else if (c < 32) {
      AppendEscaped(out, c);
      ++i;
    } else if (c == u'\\') {
      i = ExpandEscape(pattern, i, inClass, quoted, out);
    } else {
      if (c == u'[') inClass = true;
      if (c == u']') inClass = false;
      out += c;
      ++i;
    }
  }
  return out;
}

void CreateMatch() {
  State& s = ModuleState();
  s.SubexpressionCount = static_cast<int16_t>(s.SubexpressionCount + 1);
  if (s.SubexpressionCount > kMaxSubexpressions) {
    RaiseRegExprError(u"Too many subexpressions in regular expression (max 31).", 20052, u"CreateMatch");
  }
}

std::u16string ProcessParentheses(std::u16string_view expanded) {
  // Each group body is processed on its own, as a nested pass would; the
  // levels live on the heap so that deeply nested groups cannot exhaust the
  // C++ stack.
  struct Level {
    std::u16string_view input;
    size_t outputStart;  // where this level's own output begins
    char16_t marker;     // 0 for a group without a number; the outermost level has no closer
    bool closes;
  };
  std::u16string out;
  out.reserve(expanded.size() + 8);
  std::vector<Level> levels{{expanded, 0, 0, false}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.input.empty()) {
      if (level.marker != 0) out += level.marker;
      if (level.closes) out += u')';
      levels.pop_back();
      continue;
    }
    std::u16string_view& input = level.input;
    if (input[0] == u'(') {
      std::u16string_view rest = input;
      const std::u16string_view group = GetParentheses(rest);
      if (group.empty()) {
        std::u16string own = out.substr(level.outputStart);
        own += input;
        RaiseRegExprError(u"Invalid regular expression: A closing ) expected: " + RemoveMarkers(own), 20052,
                          u"ProcessParentheses");
      }
      input = rest;
      if (group.starts_with(u"(?#")) continue;  // a comment
      if (group.size() == 2 || group[1] != u'?') {
        CreateMatch();  // numbered before its body, so outer groups come first
        const char16_t marker = MarkerChar(ModuleState().SubexpressionCount);
        out += u'(';
        out += marker;
        levels.push_back({group.substr(1, group.size() - 2), out.size(), marker, true});
      } else if (group.starts_with(u"(?:")) {
        out += u'(';
        levels.push_back({group.substr(3, group.size() - 4), out.size(), 0, true});
      } else if (group.starts_with(u"(?=") || group.starts_with(u"(?!")) {
        out += group.substr(0, 3);
        levels.push_back({group.substr(3, group.size() - 4), out.size(), 0, true});
      } else {
        RaiseRegExprError(u"Invalid extended regular expression syntax: " + std::u16string(group), 20052,
                          u"ProcessParentheses");
      }
    } else if (input[0] == u'\\') {
      out += TakePrefix(input, 2);
    } else if (input[0] == u'[') {
      const std::u16string_view cls = GetSquareBrackets(input);
      if (cls.empty()) {
        RaiseRegExprError(u"Invalid regular expression: A closing ] expected.", 20052, u"ProcessParentheses");
      }
      out += cls;
    } else {
      out += TakePrefix(input, 1);
    }
  }
  return out;
}

std::u16string_view GetBraces(std::u16string_view& text) { return TakePrefix(text, BracesLength(text)); }

std::u16string_view GetParentheses(std::u16string_view& text) { return TakePrefix(text, GroupLength(text)); }

std::u16string_view GetSquareBrackets(std::u16string_view& text) { return TakePrefix(text, ClassLength(text)); }

bool IsQuantifier(std::u16string_view text) {
  if (text.empty()) return false;
  const char16_t c = text[0];
  return c == u'*' || c == u'+' || c == u'?' || BracesLength(text) > 0;
}

std::u16string_view GetQuantifier(std::u16string_view& text) {
  const char16_t c = text.empty() ? u'\0' : text[0];
  if (c == u'*' || c == u'+' || c == u'?') return TakePrefix(text, text.size() > 1 && text[1] == u'?' ? 2 : 1);
  if (c == u'{') {
    size_t length = BracesLength(text);
    if (length > 0 && length < text.size() && text[length] == u'?') ++length;
    return TakePrefix(text, length);
  }
  RaiseRegExprError(u"Internal error", 20054, u"GetQuantifier");
}

std::u16string_view GetNextRegExpr(std::u16string_view& pattern, std::u16string_view& quantifier,
                                   size_t knownAtomLength) {
  std::u16string_view atom;
  if (knownAtomLength > 0) {
    atom = TakePrefix(pattern, knownAtomLength);
  } else if (pattern.empty()) {
    atom = pattern;
  } else if (pattern[0] == u'\\') {
    atom = TakePrefix(pattern, 2);
  } else if (pattern[0] == u'(') {
    atom = GetParentheses(pattern);
  } else if (pattern[0] == u'[') {
    atom = GetSquareBrackets(pattern);
  } else {
    atom = TakePrefix(pattern, 1);
  }
  quantifier = {};
  if (IsQuantifier(pattern)) {
    quantifier = GetQuantifier(pattern);
    if (IsQuantifier(pattern)) RaiseRegExprError(u"Nested +?*{} in regular expression.", 20052, u"GetNextRegExpr");
  }
  return atom;
}

bool SplitAlternatives(std::u16string_view& pattern, std::u16string_view& right) {
  if (!ContainsChar(pattern, u'|')) return false;
  size_t i = 0;
  while (i < pattern.size()) {
    const std::u16string_view rest = pattern.substr(i);
    switch (pattern[i]) {
      // An unbalanced group or unclosed class is stepped over as one character.
      case u'(':
        i += std::max<size_t>(GroupLength(rest), 1);
        break;
      case u'[':
        i += std::max<size_t>(ClassLength(rest), 1);
        break;
      case u'\\':
        i += 2;
        break;
      case u'|':
        right = pattern.substr(i + 1);
        pattern = pattern.substr(0, i);
        return true;
      default:
        ++i;
        break;
    }
  }
  return false;
}

std::u16string_view SplitAt(std::u16string_view& text, std::u16string_view separator) {
  const size_t at = text.find(separator);
  if (at == std::u16string_view::npos) return TakePrefix(text, text.size());
  const std::u16string_view before = text.substr(0, at);
  text.remove_prefix(at + separator.size());
  return before;
}

char16_t MarkerChar(int16_t k) { return static_cast<char16_t>(k); }

int16_t MarkerNumber(std::u16string_view s) {
  if (s.empty() || s[0] < 1 || s[0] > 31) return 0;
  return static_cast<int16_t>(s[0]);
}

std::u16string RemoveMarkers(std::u16string_view pattern) {
  std::u16string out;
  out.reserve(pattern.size());
  while (!pattern.empty()) {
    const char16_t c = pattern[0];
    if (c == u'[') {
      const size_t length = ClassLength(pattern);
      out += TakePrefix(pattern, length > 0 ? length : 1);
    } else if (c == u'\\') {
      out += TakePrefix(pattern, 2);
    } else if (MarkerNumber(pattern) > 0) {
      pattern.remove_prefix(1);
    } else {
      out += TakePrefix(pattern, 1);
    }
  }
  return out;
}

}  // namespace modRegEx::detail
