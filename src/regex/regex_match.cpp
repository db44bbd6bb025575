// The matcher: a recursive backtracking matcher that works by rewriting the
// remaining pattern text. Every quantifier and alternation becomes one or two
// shorter or unrolled patterns, tried in a fixed order; the first attempt that
// succeeds wins. Each attempt works on a fresh view of the text, so a failed
// attempt leaves nothing to undo but the sub-match table.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>

#include "regex/modRegEx_internal.h"

namespace modRegEx::detail {

namespace {

bool IgnoreCase() { return (ModuleState().Options & reIgnoreCase) != 0; }

bool StartsWithCrLf(std::u16string_view text) { return text.size() >= 2 && text[0] == kCR && text[1] == kLF; }

bool IsCrLf(std::u16string_view text) { return text.size() == 2 && StartsWithCrLf(text); }

// The 1-based subject position of the first character of the text.
int32_t Position(std::u16string_view text) {
  return static_cast<int32_t>(ModuleState().Subject.size() - text.size() + 1);
}

char16_t Folded(char16_t c) { return IgnoreCase() ? LowerChar(c) : c; }

bool SameChar(char16_t a, char16_t b) { return Folded(a) == Folded(b); }

// Attempt patterns along the current path count against the working limit
// while they live.
class WorkingClaim {
 public:
  explicit WorkingClaim(size_t chars) : chars_(chars) { ModuleState().WorkingPatternChars += chars; }
  ~WorkingClaim() { ModuleState().WorkingPatternChars -= chars_; }
  WorkingClaim(const WorkingClaim&) = delete;
  WorkingClaim& operator=(const WorkingClaim&) = delete;

 private:
  size_t chars_;
};

[[noreturn, gnu::noinline]] void RaiseTooComplex() {
  RaiseRegExprError(u"Regular expression too complex: its expansion exceeds the working limit.", 20052, u"DoRegExpr");
}

void CheckWorkingRoom(size_t chars) {
  if (chars > kMaxWorkingPatternChars - ModuleState().WorkingPatternChars) RaiseTooComplex();
}

// Tries a pattern on a fresh copy of the text; on success the text becomes
// what the match left.
bool TryPattern(std::u16string_view& text, std::u16string_view pattern, size_t firstAtomLength = 0) {
  std::u16string_view copy = text;
  if (!DoRegExpr(copy, pattern, firstAtomLength)) return false;
  text = copy;
  return true;
}

bool TryBuilt(std::u16string_view& text, const std::u16string& attempt, size_t firstAtomLength = 0) {
  WorkingClaim claim(attempt.size());
  return TryPattern(text, attempt, firstAtomLength);
}

// Tries the concatenation of the parts; firstAtomLength as for DoRegExpr.
// The attempt is built into the buffer of the current nesting level: a level
// builds its next attempt only once the last one has been tried, and the
// patterns it works on live in the buffers of the levels above it.
bool TryRewritten(std::u16string_view& text, std::initializer_list<std::u16string_view> parts,
                  size_t firstAtomLength = 0) {
  State& s = ModuleState();
  size_t size = 0;
  for (std::u16string_view part : parts) size += part.size();
  CheckWorkingRoom(size);
  std::u16string& attempt = s.AttemptBuffers[static_cast<size_t>(s.Depth)];
  const size_t capacity = attempt.capacity();
  attempt.clear();
  attempt.reserve(size);
  for (std::u16string_view part : parts) attempt += part;
  s.AttemptBufferChars += attempt.capacity() - capacity;
  WorkingClaim claim(size);
  return TryPattern(text, attempt, firstAtomLength);
}

// One member of a class text at position i: a character, or CRLF for an
// escaped "n" or "N". Moves i past it.
struct ClassMember {
  char16_t c = 0;
  bool crlf = false;
};

ClassMember ReadClassMember(std::u16string_view classText, size_t& i) {
  ClassMember member{classText[i], false};
  if (member.c == u'\\' && i + 1 < classText.size()) {
    ++i;
    member.c = classText[i];
    member.crlf = member.c == u'n' || member.c == u'N';
  }
  ++i;
  return member;
}

// The number of characters the class matches at the start of the text
// (0, 1, or 2 for a CRLF member), before negation.
size_t ClassMatchLength(std::u16string_view classText, std::u16string_view text) {
  const char16_t c1 = Folded(text[0]);
  const bool c2IsCrLf = StartsWithCrLf(text);
  size_t i = 0;
  while (i < classText.size()) {
    ClassMember first = ReadClassMember(classText, i);
    first.c = Folded(first.c);
    if (i + 1 < classText.size() && classText[i] == u'-') {
      ++i;
      ClassMember last = ReadClassMember(classText, i);
      if (first.crlf || last.crlf) {
        RaiseRegExprError(u"Range start or end longer than 1 character: [" + RemoveMarkers(classText) + u"]", 20050,
                          u"MatchSquareBrackets");
      }
      last.c = Folded(last.c);
      if (first.c > last.c) {
        RaiseRegExprError(u"Invalid range in regular expression [" + std::u16string(classText) + u"]", 20050,
                          u"MatchSquareBrackets");
      }
      if (first.c <= c1 && c1 <= last.c) return 1;
    } else if (first.crlf) {
      if (c2IsCrLf) return 2;
    } else if (first.c == c1) {
      return 1;
    }
  }
  return 0;
}

bool IsWordChar(char16_t c) {
  static const std::u16string wordClass = u"[" + std::u16string(kWordClassText) + u"]";
  std::u16string_view one(&c, 1);
  return MatchSquareBrackets(one, wordClass);
}

bool AtWordBoundary(std::u16string_view text) {
  const std::u16string_view previous = TextBefore(text, 1);
  if (!text.empty() && IsWordChar(text[0])) return AtTextStart(text) || (!previous.empty() && !IsWordChar(previous[0]));
  return !previous.empty() && IsWordChar(previous[0]);
}

bool MatchEscape(std::u16string_view& text, char16_t d) {
  if (d >= u'1' && d <= u'9') {
    const auto k = static_cast<int16_t>(d - u'0');
    if (k > ModuleState().SubexpressionCount) {
      RaiseRegExprError(u"Not so many sub-expressions in this regular expression: " + std::u16string{u'\\', d}, 20052,
                        u"MatchAtom");
    }
    if (ModuleState().SubMatches[static_cast<size_t>(k)].Closed == 0) return false;
    const std::u16string_view matched = MatchedText(k);
    if (text.size() < matched.size()) return false;
    for (size_t i = 0; i < matched.size(); ++i) {
      if (!SameChar(text[i], matched[i])) return false;
    }
    text.remove_prefix(matched.size());
    return true;
  }
  switch (d) {
    case u'A':
      return AtTextStart(text);
    case u'Z':
      return text.empty() || IsCrLf(text);
    case u'n':
      if (!StartsWithCrLf(text)) return false;
      text.remove_prefix(2);
      return true;
    case u'b':
      return AtWordBoundary(text);
    case u'B':
      return !AtWordBoundary(text);
    default:
      if (text.empty() || !SameChar(text[0], d)) return false;
      text.remove_prefix(1);
      return true;
  }
}

bool MatchDot(std::u16string_view& text) {
  if (text.empty()) return false;
  if ((ModuleState().Options & reSingleLine) == 0) {
    if (StartsWithCrLf(text)) return false;
    if (text[0] == kLF && TextBefore(text, 1) == u"\r") return false;
  }
  text.remove_prefix(1);
  return true;
}

// The raisers of the recursive path stay out of line: the messages they build
// would otherwise enlarge every DoRegExpr frame.
[[noreturn, gnu::noinline]] void RaiseUnknownQuantifier(std::u16string_view text, std::u16string_view x,
                                                        std::u16string_view quantifier, std::u16string_view rest) {
  std::u16string message = u"Internal error in function RegEx.DoRegExpr(\"";
  message.append(text).append(u"\", \"").append(x).append(quantifier).append(rest).append(u"\")");
  RaiseRegExprError(message, 20054, u"DoRegExpr");
}

[[noreturn, gnu::noinline]] void RaiseDepthExceeded() {
  RaiseRegExprError(u"Maximum number of iterations exceeded. Possibly an infinite loop.", 20052, u"DoRegExpr");
}

bool MatchQuantified(std::u16string_view& text, std::u16string_view x, std::u16string_view quantifier,
                     std::u16string_view rest);
bool MatchSingleAtom(std::u16string_view& text, std::u16string_view x, std::u16string_view rest);

// Tries every alternative of a group body in turn, each followed by the rest.
bool MatchGroup(std::u16string_view& text, std::u16string_view x, std::u16string_view rest) {
  std::u16string_view body = x.substr(1, x.size() - 2);
  std::u16string_view open;
  std::u16string_view close;
  if (body.size() >= 2 && MarkerNumber(body) > 0 && MarkerNumber(body.substr(body.size() - 1)) > 0) {
    open = body.substr(0, 1);
    close = body.substr(body.size() - 1);
    body = body.substr(1, body.size() - 2);
  }
  for (;;) {
    std::u16string_view alternative = body;
    std::u16string_view others;
    const bool more = SplitAlternatives(alternative, others);
    if (TryRewritten(text, {open, alternative, close, rest})) return true;
    if (!more) return false;
    body = others;
  }
}

bool MatchLookAhead(std::u16string_view& text, std::u16string_view x, std::u16string_view rest) {
  std::u16string_view ahead = text;
  bool holds = DoRegExpr(ahead, x.substr(3, x.size() - 4));
  if (x[2] == u'!') holds = !holds;
  return holds && TryPattern(text, rest);
}

bool MatchSingleAtom(std::u16string_view& text, std::u16string_view x, std::u16string_view rest) {
  if (x.size() >= 2 && x.front() == u'(') {
    if (x[1] == u'?' && x.size() >= 3 && (x[2] == u'=' || x[2] == u'!')) return MatchLookAhead(text, x, rest);
    if (x.back() == u')') return MatchGroup(text, x, rest);
  }
  std::u16string_view copy = text;
  if (x.size() >= 2 && x.front() == u'[' && x.back() == u']') {
    if (!MatchSquareBrackets(copy, x)) return false;
  } else if (x.size() == 1 && MarkerNumber(x) > 0) {
    std::u16string_view marker = x;
    OpenMatch(text, marker, ModuleState().Depth);
    CloseMatch(text, marker, ModuleState().Depth);
  } else if (!MatchAtom(copy, x)) {
    return false;
  }
  if (!TryPattern(copy, rest)) return false;
  text = copy;
  return true;
}

bool MatchQuantified(std::u16string_view& text, std::u16string_view x, std::u16string_view quantifier,
                     std::u16string_view rest) {
  if (quantifier.empty()) return MatchSingleAtom(text, x, rest);
  // The rewritten attempts mostly start with X itself, whose length is known.
  const size_t known = x.size();
  if (quantifier[0] == u'{') {
    const std::u16string attempt = ExpandBraces(x, quantifier, rest);
    return TryBuilt(text, attempt, attempt.starts_with(x) ? known : 0);
  }
  const bool lazy = quantifier.size() == 2 && quantifier[1] == u'?';
  if (quantifier.size() == 1 || lazy) {
    switch (quantifier[0]) {
      case u'*':
        if (!lazy) return TryRewritten(text, {x, x, u"*", rest}, known) || TryPattern(text, rest);
        return TryPattern(text, rest) || TryRewritten(text, {x, x, u"*?", rest}, known);
      case u'+':
        return TryRewritten(text, {x, x, lazy ? u"*?" : u"*", rest}, known);
      case u'?':
        if (!lazy) return TryRewritten(text, {x, rest}, known) || TryPattern(text, rest);
        return TryPattern(text, rest) || TryRewritten(text, {x, rest}, known);
      default:
        break;
    }
  }
  RaiseUnknownQuantifier(text, x, quantifier, rest);
}

// A brace count as the string-to-number conversion reads it: leading blanks, a
// sign, digits and a fraction, rounded half to even; 0 when there is none.
// Returns false when the value does not fit the 16-bit count.
bool ReadCount(std::u16string_view text, int16_t& count) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  double value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > 1e6) return false;
  }
  if (i < text.size() && text[i] == u'.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, scale /= 10)
      value += (text[i] - u'0') * scale;
  }
  const double whole = std::floor(value);
  const double fraction = value - whole;
  double rounded = whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) rounded = whole + 1;
  if (negative) rounded = -rounded;
  if (rounded < -32768 || rounded > 32767) return false;
  count = static_cast<int16_t>(rounded);
  return true;
}

int16_t BraceCount(std::u16string_view text, std::u16string_view q) {
  int16_t count = 0;
  if (!ReadCount(text, count)) {
    RaiseRegExprError(u"Count out of range in regular expression " + std::u16string(q), 20050, u"DoRegExpr");
  }
  return count;
}

void AppendRepeated(std::u16string& out, std::u16string_view piece, size_t times) {
  for (size_t k = 0; k < times; ++k) out += piece;
}

}  // namespace

char16_t LowerChar(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c == 0x130) return u'i';
  if (c == 0x178) return 0xFF;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return static_cast<char16_t>(c | 1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1 ? static_cast<char16_t>(c + 1) : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}

bool AtTextStart(std::u16string_view text) {
  const std::u16string& subject = ModuleState().Subject;
  if (text.size() != subject.size()) return false;
  return text.data() == subject.data() || std::memcmp(text.data(), subject.data(), text.size() * sizeof(char16_t)) == 0;
}

std::u16string_view TextBefore(std::u16string_view text, size_t n) {
  const std::u16string& subject = ModuleState().Subject;
  const size_t before = subject.size() >= text.size() ? subject.size() - text.size() : 0;
  if (before < n) return {};
  return std::u16string_view(subject).substr(before - n, n);
}

std::u16string_view MatchedText(int16_t k) {
  const State& s = ModuleState();
  const SubMatch& entry = s.SubMatches[static_cast<size_t>(k)];
  const int64_t length = int64_t{entry.End} - entry.Start + 1;
  if (length <= 0 || entry.Start < 1 || static_cast<size_t>(entry.Start) > s.Subject.size()) return {};
  return std::u16string_view(s.Subject).substr(static_cast<size_t>(entry.Start - 1), static_cast<size_t>(length));
}

void RestoreMatches(const SubMatch* saved, int16_t count) {
  State& s = ModuleState();
  for (int16_t k = 1; k <= count; ++k) s.SubMatches[static_cast<size_t>(k)] = saved[k - 1];
}

void OpenMatch(std::u16string_view text, std::u16string_view& atom, int16_t depth) {
  const int16_t k = MarkerNumber(atom);
  if (k == 0) return;
  SubMatch& entry = ModuleState().SubMatches[static_cast<size_t>(k)];
  if (entry.OpenDepth != 0 && entry.Closed == 0) return;  // open: this marker closes it
  entry.OpenDepth = depth;
  entry.Closed = 0;
  entry.Start = Position(text);
  atom.remove_prefix(1);
}

void CloseMatch(std::u16string_view text, std::u16string_view& atom, int16_t depth) {
  for (int16_t k = MarkerNumber(atom); k > 0; k = MarkerNumber(atom)) {
    SubMatch& entry = ModuleState().SubMatches[static_cast<size_t>(k)];
    if (entry.OpenDepth <= 0) return;
    entry.Closed = -1;
    entry.CloseDepth = depth;
    entry.End = Position(text) - 1;
    atom.remove_prefix(1);
  }
}

bool MatchSquareBrackets(std::u16string_view& text, std::u16string_view atom) {
  std::u16string_view classText = atom.substr(1, atom.size() >= 2 ? atom.size() - 2 : 0);
  const bool negated = !classText.empty() && classText[0] == u'^';
  if (negated) classText.remove_prefix(1);
  if (text.empty()) return false;
  const size_t length = ClassMatchLength(classText, text);
  if (negated == (length > 0)) return false;
  text.remove_prefix(negated ? 1 : length);
  return true;
}

bool MatchAtom(std::u16string_view& text, std::u16string_view atom) {
  const int32_t options = ModuleState().Options;
  const bool multiline = (options & reMultiline) != 0;
  if (atom.size() == 1 && MarkerNumber(atom) > 0) return true;
  if (atom == u"^") return AtTextStart(text) || (multiline && TextBefore(text, 2) == u"\r\n");
  if (atom == u"$") return text.empty() || (multiline ? StartsWithCrLf(text) : IsCrLf(text));
  if (atom == u".") return MatchDot(text);
  if (atom.size() == 2 && atom[0] == u'\\') return MatchEscape(text, atom[1]);
  // Any other single character, a lone backslash included, stands for itself.
  if (atom.size() != 1 || text.empty() || !SameChar(text[0], atom[0])) return false;
  text.remove_prefix(1);
  return true;
}

std::u16string ExpandBraces(std::u16string_view x, std::u16string_view quantifier, std::u16string_view rest) {
  const bool lazy = quantifier.size() > 1 && quantifier.back() == u'?';
  const std::u16string_view q = lazy ? quantifier.substr(0, quantifier.size() - 1) : quantifier;
  const std::u16string qText(q);
  if (q.size() < 2 || q.front() != u'{' || q.back() != u'}') {
    RaiseRegExprError(u"Syntax error in regular expression " + qText + u". Expected: {Lower_limit, Upper_limit}", 20050,
                      u"DoRegExpr");
  }
  std::u16string_view inner = q.substr(1, q.size() - 2);
  if (q.ends_with(u",}")) {
    const int16_t n = BraceCount(inner, q);
    if (n < 0) RaiseRegExprError(u"Count is less than zero in regular expression " + qText, 20050, u"DoRegExpr");
    const auto times = static_cast<size_t>(n);
    CheckWorkingRoom(x.size() * (times + 1) + 2 + rest.size());
    std::u16string out;
    out.reserve(x.size() * (times + 1) + 2 + rest.size());
    AppendRepeated(out, x, times + 1);
    out += lazy ? u"*?" : u"*";
    out += rest;
    return out;
  }
  int16_t lower = 0;
  int16_t upper = 0;
  if (inner.find(u',') != std::u16string_view::npos) {
    lower = BraceCount(SplitAt(inner, u","), q);
    upper = BraceCount(inner, q);
    if (lower > upper) {
      RaiseRegExprError(u"Upper limit is less than lower limit in regular expression " + qText, 20050, u"DoRegExpr");
    }
    if (lower < 0 || upper < 0) {
      RaiseRegExprError(u"Upper or lower limit is less than zero in regular expression " + qText, 20050, u"DoRegExpr");
    }
  } else {
    lower = upper = BraceCount(inner, q);
    if (lower < 0) RaiseRegExprError(u"Count is less than zero in regular expression " + qText, 20050, u"DoRegExpr");
  }
  // X lower times, then the optional copies nested so that each is tried only
  // after the one before it matched: "(X(X)?)?". An upper limit of 0 leaves
  // just the rest, so the element matches zero times.
  const auto required = static_cast<size_t>(lower);
  const auto optional = static_cast<size_t>(upper - lower);
  const std::u16string_view closer = lazy ? u")??" : u")?";
  const size_t size = x.size() * (required + optional) + (1 + closer.size()) * optional + rest.size();
  CheckWorkingRoom(size);
  std::u16string out;
  out.reserve(size);
  AppendRepeated(out, x, required);
  for (size_t k = 0; k < optional; ++k) {
    out += u'(';
    out += x;
  }
  AppendRepeated(out, closer, optional);
  out += rest;
  return out;
}

bool DoRegExpr(std::u16string_view& text, std::u16string_view pattern, size_t firstAtomLength) {
  if (pattern.empty()) return true;
  State& s = ModuleState();
  s.Depth = static_cast<int16_t>(s.Depth + 1);
  if (s.Depth > kMaxNestingDepth) RaiseDepthExceeded();
  bool matched = false;
  std::u16string_view left = pattern;
  std::u16string_view right;
  if (SplitAlternatives(left, right)) {
    // Each attempt restores its own entries when it fails.
    matched = TryPattern(text, left) || TryPattern(text, right);
  } else {
    const int16_t count = std::min(s.SubexpressionCount, kMaxSubexpressions);
    const size_t savedAt = s.SavedMatches.size();
    if (count > 0)
      s.SavedMatches.insert(s.SavedMatches.end(), s.SubMatches.begin() + 1, s.SubMatches.begin() + 1 + count);
    std::u16string_view rest = pattern;
    std::u16string_view quantifier;
    const std::u16string_view x = GetNextRegExpr(rest, quantifier, firstAtomLength);
    matched = MatchQuantified(text, x, quantifier, rest);
    if (count > 0) {
      if (!matched) RestoreMatches(s.SavedMatches.data() + savedAt, count);
      s.SavedMatches.resize(savedAt);
    }
  }
  s.Depth = static_cast<int16_t>(s.Depth - 1);
  return matched;
}

}  // namespace modRegEx::detail
