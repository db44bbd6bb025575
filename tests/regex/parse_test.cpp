// Pattern preparation: the two rewriting passes and the routines that split
// the internal pattern text into elements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/modRegEx_internal.h"
#include "regex/regex_test_util.h"

namespace {

using namespace modRegEx::detail;
using regex_test::CaughtError;
using regex_test::Visible;

const std::u16string kWord(kWordClassText);
const std::u16string kSpace(kSpaceClassText);
const std::u16string kNul(1, u'\0');

struct Rewrite {
  std::u16string input;
  std::u16string expected;
};

TEST(ExpandEspaces, RewritesEveryEscape) {
  const std::vector<Rewrite> cases = {
      {u"[A-Za-z0-9_]{0,12}", u"[A-Za-z0-9_]{0,12}"},
      {u"[\\x00-\\xff]*", u"[\\" + kNul + u"-\u00FF]*"},
      {u"(^\\w{5}$|^$|^\\w{13}$)", u"(^[" + kWord + u"]{5}$|^$|^[" + kWord + u"]{13}$)"},
      {u"[1-2]?[0-9]{1,2}\\.", u"[1-2]?[0-9]{1,2}\\."},
      {u"\\W", u"[^" + kWord + u"]"},
      {u"[\\w-]", u"[" + kWord + u"-]"},
      {u"\\d\\D", u"[0-9][^0-9]"},
      {u"[\\d_]", u"[0-9_]"},
      {u"[a\\D]", u"[a^0-9]"},
      {u"\\s", u"[" + kSpace + u"]"},
      {u"[\\s]", u"[" + kSpace + u"]"},
      {u"\\S", u"[^" + kSpace + u"]"},
      {u"[]\\s]", u"[][" + kSpace + u"]]"},  // the first "]" ends the class for this pass
      {u"\\t\\r\\f", u"\\\t\\\r\\\n"},
      {u"\\a\\e", u"\\\a\\\x1B"},
      {u"\\b[\\b]", u"\\b[\\\b]"},
      {u"\\cA\\ca\\c_\\c[", u"\\\x01\\\x01\\\x1F\\\x1B"},
      {u"\\c@", u"\\" + kNul},
      {u"\\041", u"\\!"},
      {u"\\0101", u"A"},
      {u"\\0777", u"\\?7"},  // 777 is above 377: two digits
      {u"\\0400", u"\\ 0"},
      {u"\\08", u"\\" + kNul + u"8"},
      {u"\\0a", u"\\" + kNul + u"a"},
      {u"\\0", u"\\" + kNul},
      {u"\\x41", u"A"},
      {u"\\x4g", u"\\\x04g"},
      {u"\\xg", u"xg"},
      {u"\\x", u"x"},
      {u"\\x7f\\x80\\xFF", u"\\\x7F\u0080\u00FF"},
      {u"\\x2a", u"\\*"},
      {u"\\Q.*\\E", u"\\.\\*"},
      {u"\\Qa\\b\\E", u"a\\\\b"},
      {u"\\Qab", u"ab"},
      {u"\\Q\\E", u""},
      {u"\\Q\u00E9[\u0100\t", u"\u00E9\\[\\\u0100\\\t"},
      {u"\\Q\\E*", u"*"},
      {u"a\tb", u"a\\\tb"},
      {u"a" + kNul, u"a\\" + kNul},
      {u"a\\", u"a\\"},
      {u"\\1\\n\\(\\.\\B\\A\\Z\\\\", u"\\1\\n\\(\\.\\B\\A\\Z\\\\"},
  };
  for (const Rewrite& c : cases) {
    SCOPED_TRACE(Visible(c.input));
    EXPECT_EQ(Visible(ExpandEspaces(c.input)), Visible(c.expected));
  }
}

TEST(ExpandEspaces, ControlEscapeErrorsShowThePatternWithoutMarkers) {
  const auto missing = CaughtError([] { ExpandEspaces(u"ab\\c"); });
  EXPECT_EQ(missing.Number, 20052);
  EXPECT_EQ(missing.Description,
            u"Error in RegExpr.ExpandEspaces: Control character missing in regular expression: ab\\c");
  const auto invalid = CaughtError([] { ExpandEspaces(u"x\\c1"); });
  EXPECT_EQ(invalid.Number, 20052);
  EXPECT_EQ(invalid.Description,
            u"Error in RegExpr.ExpandEspaces: Invalid control character in regular expression: x\\c1");
}

struct Grouping {
  std::u16string expanded;
  std::u16string internal;
  int16_t count;
};

TEST(ProcessParentheses, NumbersCapturingGroupsWithMarkers) {
  const std::u16string address = u"[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}|^$";
  const std::vector<Grouping> cases = {
      {u"[A-Za-z0-9_]{0,12}", u"[A-Za-z0-9_]{0,12}", 0},
      {u"a(b)",
       u"a(\x01"
       u"b\x01)",
       1},
      {u"((a)(b))",
       u"(\x01(\x02"
       u"a\x02)(\x03"
       u"b\x03)\x01)",
       3},
      {u"(?:a)(b)",
       u"(a)(\x01"
       u"b\x01)",
       1},
      {u"(?#note)abc", u"abc", 0},
      {u"(?#a(b))c", u"c", 0},
      {u"(?=a)(?!b)", u"(?=a)(?!b)", 0},
      {u"(?=(a))",
       u"(?=(\x01"
       u"a\x01))",
       1},
      {u"()", u"(\x01\x01)", 1},
      {u"(?:)", u"()", 0},
      {u"[(]\\(a)", u"[(]\\(a)", 0},
      {u"(?:(a))",
       u"((\x01"
       u"a\x01))",
       1},
      {u"(a[)]b)",
       u"(\x01"
       u"a[)]b\x01)",
       1},
      {u"(" + address + u")", u"(\x01" + address + u"\x01)", 1},
  };
  for (const Grouping& c : cases) {
    SCOPED_TRACE(Visible(c.expanded));
    ModuleState().SubexpressionCount = 0;
    EXPECT_EQ(Visible(ProcessParentheses(c.expanded)), Visible(c.internal));
    EXPECT_EQ(ModuleState().SubexpressionCount, c.count);
  }
  // The address pattern's alternatives lie inside its group.
  ModuleState().SubexpressionCount = 0;
  const std::u16string internal = ProcessParentheses(ExpandEspaces(u"(" + address + u")"));
  std::u16string_view left = internal;
  std::u16string_view right;
  EXPECT_FALSE(SplitAlternatives(left, right));
}

TEST(ProcessParentheses, Errors) {
  struct ErrorCase {
    std::u16string expanded;
    std::u16string description;
  };
  const std::vector<ErrorCase> cases = {
      {u"(?<x)", u"Error in RegExpr.ProcessParentheses: Invalid extended regular expression syntax: (?<x)"},
      {u"(abc", u"Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ) expected: (abc"},
      {u"(a)x(b", u"Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ) expected: (a)x(b"},
      {u"[abc", u"Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ] expected."},
      {u"(a[]b)", u"Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ] expected."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(Visible(c.expanded));
    ModuleState().SubexpressionCount = 0;
    const auto error = CaughtError([&] { ProcessParentheses(c.expanded); });
    EXPECT_EQ(error.Number, 20052);
    EXPECT_EQ(error.Source, u"sentrova.RegExpr");
    EXPECT_EQ(Visible(error.Description), Visible(c.description));
  }
}

TEST(CreateMatch, RaisesTheCountUpTo31) {
  ModuleState().SubexpressionCount = 30;
  CreateMatch();
  EXPECT_EQ(ModuleState().SubexpressionCount, 31);
  const auto error = CaughtError([] { CreateMatch(); });
  EXPECT_EQ(error.Number, 20052);
  EXPECT_EQ(error.Description,
            u"Error in RegExpr.CreateMatch: Too many subexpressions in regular expression (max 31).");
  ModuleState().SubexpressionCount = 0;
}

struct Split {
  std::u16string pattern;
  std::u16string atom;
  std::u16string quantifier;
  std::u16string rest;
};

TEST(GetNextRegExpr, SplitsOneElementAndItsQuantifier) {
  const std::vector<Split> cases = {
      {u"a*b", u"a", u"*", u"b"},
      {u"a*?b", u"a", u"*?", u"b"},
      {u"a+", u"a", u"+", u""},
      {u"a+?", u"a", u"+?", u""},
      {u"a?b", u"a", u"?", u"b"},
      {u"a??", u"a", u"??", u""},
      {u"a{2}?b", u"a", u"{2}?", u"b"},
      {u"a{1,}b", u"a", u"{1,}", u"b"},
      {u"a{2", u"a", u"", u"{2"},
      {u"\\.+x", u"\\.", u"+", u"x"},
      {u"(a|b)?c", u"(a|b)", u"?", u"c"},
      {u"[ab]??", u"[ab]", u"??", u""},
      {u"[]a]*", u"[]a]", u"*", u""},
      {u"*a", u"*", u"", u"a"},
      {u"{2}", u"{", u"", u"2}"},
      {u"\x01"
       u"a\x01",
       u"\x01", u"", u"a\x01"},
      {u"(ab", u"", u"", u"(ab"},  // no balancing ")": no atom, nothing taken
      {u"\\", u"\\", u"", u""},
  };
  for (const Split& c : cases) {
    SCOPED_TRACE(Visible(c.pattern));
    std::u16string_view rest = c.pattern;
    std::u16string_view quantifier;
    const std::u16string_view atom = GetNextRegExpr(rest, quantifier);
    EXPECT_EQ(Visible(atom), Visible(c.atom));
    EXPECT_EQ(Visible(quantifier), Visible(c.quantifier));
    EXPECT_EQ(Visible(rest), Visible(c.rest));
  }
}

TEST(GetNextRegExpr, NestedQuantifiers) {
  for (std::u16string pattern : {u"a**", u"a{2}{3}", u"a+*", u"a*??", u"a{2}??"}) {
    SCOPED_TRACE(Visible(pattern));
    std::u16string_view rest = pattern;
    std::u16string_view quantifier;
    const auto error = CaughtError([&] { GetNextRegExpr(rest, quantifier); });
    EXPECT_EQ(error.Number, 20052);
    EXPECT_EQ(error.Description, u"Error in RegExpr.GetNextRegExpr: Nested +?*{} in regular expression.");
  }
}

TEST(Quantifiers, IsQuantifierAndGetQuantifier) {
  const std::vector<std::pair<std::u16string, bool>> starts = {
      {u"*", true},   {u"+a", true},  {u"?", true}, {u"{1}", true}, {u"{a}", true},
      {u"{1", false}, {u"a*", false}, {u"", false}, {u"}", false},
  };
  for (const auto& [text, expected] : starts) EXPECT_EQ(IsQuantifier(text), expected) << Visible(text);

  const std::vector<Split> taken = {
      {u"*?x", u"", u"*?", u"x"},         {u"+x", u"", u"+", u"x"},         {u"??", u"", u"??", u""},
      {u"{1,2}?x", u"", u"{1,2}?", u"x"}, {u"{1,2}x", u"", u"{1,2}", u"x"}, {u"{}", u"", u"{}", u""},
  };
  for (const Split& c : taken) {
    std::u16string_view text = c.pattern;
    EXPECT_EQ(Visible(GetQuantifier(text)), Visible(c.quantifier)) << Visible(c.pattern);
    EXPECT_EQ(Visible(text), Visible(c.rest)) << Visible(c.pattern);
  }
  std::u16string_view none = u"x";
  const auto error = CaughtError([&] { GetQuantifier(none); });
  EXPECT_EQ(error.Number, 20054);
  EXPECT_EQ(error.Description, u"Error in RegExpr.GetQuantifier: Internal error");
}

TEST(Extraction, BracesParenthesesAndSquareBrackets) {
  struct Extract {
    std::u16string_view (*get)(std::u16string_view&);
    std::u16string text;
    std::u16string taken;
  };
  const std::vector<Extract> cases = {
      {GetBraces, u"{1,2}x", u"{1,2}"},
      {GetBraces, u"{1", u""},
      {GetBraces, u"a{1}", u""},
      {GetParentheses, u"(a(b)c)d", u"(a(b)c)"},
      {GetParentheses, u"(a[)]b)c", u"(a[)]b)"},
      {GetParentheses, u"(a\\)b)c", u"(a\\)b)"},
      {GetParentheses, u"(ab", u""},
      {GetParentheses, u"a(b)", u""},
      {GetSquareBrackets, u"[]a]b", u"[]a]"},
      {GetSquareBrackets, u"[^]a]b", u"[^]a]"},
      {GetSquareBrackets, u"[a\\]b]c", u"[a\\]b]"},
      {GetSquareBrackets, u"[ab", u""},
      {GetSquareBrackets, u"[]", u""},
      {GetSquareBrackets, u"[^]", u""},
      {GetSquareBrackets, u"a[b]", u""},
  };
  for (const Extract& c : cases) {
    SCOPED_TRACE(Visible(c.text));
    std::u16string_view text = c.text;
    EXPECT_EQ(Visible(c.get(text)), Visible(c.taken));
    // The argument keeps what follows, or all of it when nothing was taken.
    EXPECT_EQ(Visible(text), Visible(std::u16string_view(c.text).substr(c.taken.size())));
  }
}

TEST(Extraction, GroupsSeenInsideAnEarlierScanAreFoundAgainExactly) {
  // Long nested groups, as brace expansion makes them, are remembered with
  // the groups inside them; a text that only resembles one must still be
  // scanned on its own.
  std::u16string nested;
  for (int k = 0; k < 6; ++k) nested += u"(\x01[A-Za-z0-9_]";
  for (int k = 0; k < 6; ++k) nested += u")?";
  std::u16string_view whole = nested;
  ASSERT_EQ(GetParentheses(whole).size(), nested.size() - 1);

  const std::u16string inner = nested.substr(14, nested.size() - 14 - 3);  // the second group
  const std::u16string sameText = inner + u"?rest";
  std::u16string_view same = sameText;
  EXPECT_EQ(Visible(GetParentheses(same)), Visible(inner));

  std::u16string altered = inner;
  altered[altered.size() - 3] = u'x';  // one closing parenthesis fewer
  std::u16string_view unbalanced = altered;
  EXPECT_EQ(Visible(GetParentheses(unbalanced)), "");
  std::u16string longer = inner;
  longer.insert(14, u"(");  // one more opening parenthesis
  longer += u")tail";
  std::u16string_view extended = longer;
  EXPECT_EQ(Visible(GetParentheses(extended)), Visible(inner.substr(0, 14) + u"(" + inner.substr(14) + u")"));
}

TEST(SplitAlternatives, SplitsAtTheFirstTopLevelBar) {
  struct Alternatives {
    std::u16string pattern;
    bool found;
    std::u16string left;
    std::u16string right;
  };
  const std::vector<Alternatives> cases = {
      {u"a|b|c", true, u"a", u"b|c"},
      {u"(a|b)c", false, u"", u""},
      {u"(a|b)|c", true, u"(a|b)", u"c"},
      {u"[|]|x", true, u"[|]", u"x"},
      {u"\\||x", true, u"\\|", u"x"},
      {u"abc", false, u"", u""},
      {u"|", true, u"", u""},
      {u"(a|b", true, u"(a", u"b"},  // an unbalanced "(" is stepped over alone
      {u"(\x01[1-2]?|^$\x01)", false, u"", u""},
  };
  for (const Alternatives& c : cases) {
    SCOPED_TRACE(Visible(c.pattern));
    std::u16string_view left = c.pattern;
    std::u16string_view right;
    ASSERT_EQ(SplitAlternatives(left, right), c.found);
    if (!c.found) continue;
    EXPECT_EQ(Visible(left), Visible(c.left));
    EXPECT_EQ(Visible(right), Visible(c.right));
  }
}

TEST(SplitAt, ReturnsThePartBeforeTheSeparator) {
  std::u16string_view text = u"a,b,c";
  EXPECT_EQ(SplitAt(text, u","), u"a");
  EXPECT_EQ(text, u"b,c");
  std::u16string_view whole = u"abc";
  EXPECT_EQ(SplitAt(whole, u","), u"abc");
  EXPECT_EQ(whole, u"");
}

TEST(CharToPattern, LettersDigitsAndHighCharactersStayBare) {
  const std::vector<std::pair<int, std::u16string>> cases = {
      {65, u"A"},       {122, u"z"},      {48, u"0"},       {33, u"\\!"},     {32, u"\\ "},   {0, u"\\" + kNul},
      {127, u"\\\x7F"}, {128, u"\u0080"}, {200, u"\u00C8"}, {255, u"\u00FF"}, {1, u"\\\x01"}, {92, u"\\\\"},
  };
  for (const auto& [code, expected] : cases) EXPECT_EQ(Visible(CharToPattern(code)), Visible(expected)) << code;
}

TEST(Markers, CharNumberAndRemoval) {
  EXPECT_EQ(MarkerChar(5), u'\x05');
  EXPECT_EQ(MarkerNumber(u"\x01"
                         u"a"),
            1);
  EXPECT_EQ(MarkerNumber(u"\x1F"), 31);
  EXPECT_EQ(MarkerNumber(u" "), 0);
  EXPECT_EQ(MarkerNumber(u""), 0);
  EXPECT_EQ(MarkerNumber(kNul), 0);
  EXPECT_EQ(MarkerNumber(u"a"), 0);

  const std::vector<Rewrite> removals = {
      {u"(\x01"
       u"a\x01)",
       u"(a)"},
      {u"[\t]\t", u"[\t]"},  // a class is copied whole
      {u"\\\x01"
       u"b",
       u"\\\x01"
       u"b"},  // an escaped character is not a marker
      {u"[ab\x02", u"[ab"},
  };
  for (const Rewrite& c : removals) EXPECT_EQ(Visible(RemoveMarkers(c.input)), Visible(c.expected)) << Visible(c.input);
}

}  // namespace
