// Differential test against PCRE2 on generated patterns from the part of the
// syntax where both engines mean the same: literals, classes, greedy and lazy
// quantifiers, bounded and open braces, capturing and plain groups,
// alternation, look-ahead, back-references, ^ $ \b \B . and the \d \w classes.
// Texts hold no CR or LF, the only place where "$" and "." differ. Quantifiers
// never apply to anything that can match the empty string: PCRE2 stops such a
// loop after an empty pass, this engine recurses until its nesting limit.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <gtest/gtest.h>
#include <pcre2.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "regex/modRegEx.h"
#include "regex/regex_test_util.h"

namespace {

using namespace modRegEx;
using regex_test::Visible;

// A small deterministic generator (the standard distributions differ between
// library versions, the engine below does not).
class Generator {
 public:
  explicit Generator(uint32_t seed) : engine_(seed) {}
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(engine_() % n); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(static_cast<uint32_t>(items.size()))];
  }

  // A pattern piece; nullable tells whether it can match the empty string.
  struct Piece {
    std::u16string text;
    bool nullable;
  };

  Piece Pattern(bool ignoreCase) {
    ignoreCase_ = ignoreCase;
    groups_ = 0;
    closedGroups_.clear();
    return Alternation(0);
  }

 private:
  Piece Alternation(int depth) {
    Piece out = Sequence(depth);
    const uint32_t more = depth < 2 && OneIn(3) ? 1 + Below(2) : 0;
    for (uint32_t k = 0; k < more; ++k) {
      const Piece next = Sequence(depth);
      out.text += u"|" + next.text;
      out.nullable = out.nullable || next.nullable;
    }
    return out;
  }

  Piece Sequence(int depth) {
    Piece out{u"", true};
    const uint32_t length = 1 + Below(depth == 0 ? 4 : 3);
    for (uint32_t k = 0; k < length; ++k) {
      const Piece item = Item(depth);
      out.text += item.text;
      out.nullable = out.nullable && item.nullable;
    }
    return out;
  }

  Piece Item(int depth) {
    Piece atom = Atom(depth);
    if (atom.nullable || OneIn(2)) return atom;
    static const std::vector<std::u16string> quantifiers = {u"*",   u"+",     u"?",     u"*?",   u"+?",     u"??",
                                                            u"{2}", u"{0,2}", u"{1,3}", u"{2,}", u"{1,2}?", u"{0}"};
    const std::u16string& q = Pick(quantifiers);
    const bool nullable = q == u"*" || q == u"?" || q == u"*?" || q == u"??" || q == u"{0,2}" || q == u"{0}";
    return {atom.text + q, nullable};
  }

  Piece Atom(int depth) {
    const uint32_t kind = Below(depth < 3 ? 14 : 9);
    switch (kind) {
      case 0:
      case 1:
      case 2:
      case 3:
        return {std::u16string(1, Pick(ignoreCase_ ? kMixedLetters : kLetters)), false};
      case 4:
        return {Pick(kClasses), false};
      case 5:
        return {Pick(kShorthands), false};
      case 6:
        return {u".", false};
      case 7:
        return {Pick(kAnchors), true};  // zero-width: treated as nullable so never quantified
      case 8:
        if (closedGroups_.empty()) return {u"a", false};
        return {u"\\" + std::u16string(1, static_cast<char16_t>(u'0' + Pick(closedGroups_))), true};
      case 9:
      case 10:
      case 11: {
        if (groups_ >= 9) return {u"(?:b)", false};
        const int number = ++groups_;
        Piece body = Alternation(depth + 1);
        closedGroups_.push_back(number);
        return {u"(" + body.text + u")", body.nullable};
      }
      case 12: {
        Piece body = Alternation(depth + 1);
        return {u"(?:" + body.text + u")", body.nullable};
      }
      default: {
        Piece body = Alternation(depth + 1);
        return {(OneIn(2) ? u"(?=" : u"(?!") + body.text + u")", true};
      }
    }
  }

  inline static const std::vector<char16_t> kLetters = {u'a', u'b', u'c', u'_', u'-'};
  inline static const std::vector<char16_t> kMixedLetters = {u'a', u'b', u'A', u'B', u'c'};
  inline static const std::vector<std::u16string> kClasses = {u"[ab]",    u"[^a]",  u"[a-c]", u"[A-C]",
                                                              u"[^a-c_]", u"[b_-]", u"[\\d]", u"[a\\w]"};
  inline static const std::vector<std::u16string> kShorthands = {u"\\d", u"\\D", u"\\w", u"\\W"};
  inline static const std::vector<std::u16string> kAnchors = {u"^", u"$", u"\\b", u"\\B"};

  std::mt19937 engine_;
  bool ignoreCase_ = false;
  int groups_ = 0;
  std::vector<int> closedGroups_;
};

std::u16string RandomText(Generator& generator) {
  static const std::u16string alphabet = u"aabbcAB_ -1";
  std::u16string text;
  const uint32_t length = generator.Below(9);
  for (uint32_t k = 0; k < length; ++k) text += alphabet[generator.Below(static_cast<uint32_t>(alphabet.size()))];
  return text;
}

// A match as "start-end" for the whole match and each group ("-" when unset),
// 0-based with exclusive ends, or "no match".
std::string WithPcre2(const std::u16string& pattern, const std::u16string& text, bool ignoreCase) {
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                                   ignoreCase ? PCRE2_CASELESS : 0, &errorCode, &errorOffset, nullptr);
  if (code == nullptr) return "pcre2 compile error " + std::to_string(errorCode);
  uint32_t captures = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.c_str()), text.size(), 0, 0, data, nullptr);
  std::string out;
  if (rc == PCRE2_ERROR_NOMATCH) {
    out = "no match";
  } else if (rc < 0) {
    out = "pcre2 match error " + std::to_string(rc);
  } else {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    for (uint32_t k = 0; k <= captures; ++k) {
      if (k > 0) out += " ";
      if (ovector[2 * k] == PCRE2_UNSET) {
        out += "-";
      } else {
        out += std::to_string(ovector[2 * k]) + "-" + std::to_string(ovector[2 * k + 1]);
      }
    }
  }
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  return out;
}

// The same rendering from this engine; "nesting limit" when it gives up.
std::string WithEngine(const std::u16string& pattern, const std::u16string& text, bool ignoreCase) {
  try {
    if (!RegExpr(text, pattern, ignoreCase ? reIgnoreCase : 0)) return "no match";
  } catch (const RegExprError& error) {
    if (error.Number == 20052 && error.Description.find(u"Maximum number of iterations") != std::u16string::npos) {
      return "nesting limit";
    }
    return "engine error " + error.DescriptionUtf8;
  }
  const ResultValue count = RegExprResult(reSubexpressionCount);
  const int16_t groups = std::holds_alternative<int16_t>(count) ? std::get<int16_t>(count) : 0;
  std::string out;
  for (int32_t k = 0; k <= groups; ++k) {
    int32_t start = 0;
    int32_t length = 0;
    RegExprIndex(k == 0 ? reWholeMatch : k, start, length);
    if (k > 0) out += " ";
    out += start == 0 ? "-" : std::to_string(start - 1) + "-" + std::to_string(start - 1 + length);
  }
  return out;
}

TEST(DifferentialWithPcre2, GeneratedPatternsAgree) {
  Generator generator(20240611);
  int compared = 0;
  int matched = 0;
  int limited = 0;
  for (int round = 0; round < 1500; ++round) {
    const bool ignoreCase = generator.OneIn(4);
    const std::u16string pattern = generator.Pattern(ignoreCase).text;
    for (int k = 0; k < 4; ++k) {
      const std::u16string text = RandomText(generator);
      const std::string ours = WithEngine(pattern, text, ignoreCase);
      if (ours == "nesting limit") {
        ++limited;
        continue;
      }
      const std::string theirs = WithPcre2(pattern, text, ignoreCase);
      ASSERT_EQ(ours, theirs) << "pattern '" << Visible(pattern) << "' text '" << Visible(text) << "' ignore case "
                              << ignoreCase;
      ++compared;
      if (ours != "no match") ++matched;
    }
  }
  // The generated cases must mostly be compared, and both outcomes must occur.
  EXPECT_LT(limited, compared / 100);
  EXPECT_GT(matched, compared / 4);
  EXPECT_GT(compared - matched, compared / 10);
}

}  // namespace
