// What RegExpr finds, feature by feature: the match position, the whole match
// and every sub-expression, or the error, as the accessors report them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/modRegEx.h"
#include "regex/modRegEx_internal.h"
#include "regex/regex_test_util.h"

namespace {

using modRegEx::reIgnoreCase;
using modRegEx::reMultiline;
using modRegEx::reSingleLine;
using regex_test::Describe;

struct MatchCase {
  std::u16string pattern;
  std::u16string text;
  int32_t options;
  std::string expected;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
  *os << "pattern '" << regex_test::Visible(c.pattern) << "' text '" << regex_test::Visible(c.text) << "' options "
      << c.options;
}

void ExpectAll(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c));
    EXPECT_EQ(Describe(c.pattern, c.text, c.options), c.expected);
  }
}

TEST(RegExprEscapes, StandForTheirCharacters) {
  ExpectAll({
      {u"\\t", u"a\tb", 0, "@2 '\\t'"},
      {u"\\f", u"a\nb", 0, "@2 '\\n'"},  // a line feed, not a form feed
      {u"\\f", u"a\fb", 0, "no match"},
      {u"\\r", u"\r", 0, "@1 '\\r'"},
      {u"\\a", u"x\a", 0, "@2 '\\u0007'"},
      {u"\\e", u"\x1B", 0, "@1 '\\u001B'"},
      {u"\\x41", u"zA", 0, "@2 'A'"},
      {u"\\x4g", u"\x04g", 0, "@1 '\\u0004g'"},
      {u"\\xg", u"xg", 0, "@1 'xg'"},
      {u"\\xff", u"a\u00FF", 0, "@2 '\\u00FF'"},
      {u"\\x2A", u"a*", 0, "@2 '*'"},  // produced characters are literal, never operators
      {u"\\041", u"a!", 0, "@2 '!'"},
      {u"\\0777", u"?7", 0, "@1 '?7'"},
      {u"\\0a", std::u16string(u"\0a", 2), 0, "@1 '\\u0000a'"},
      {u"\\cA", u"\x01", 0, "@1 '\\u0001'"},
      {u"\\ca", u"\x01", 0, "@1 '\\u0001'"},
      {u"\\c@", std::u16string(1, u'\0'), 0, "@1 '\\u0000'"},
      {u"\\c_", u"\x1F", 0, "@1 '\\u001F'"},
      {u"\\.", u"a.b", 0, "@2 '.'"},
      {u"\\\\", u"x\\", 0, "@2 '\\'"},
      {u"a\\", u"a\\", 0, "@1 'a\\'"},  // a trailing backslash is a literal one
      {u"\\Q.*\\E", u"a.*", 0, "@2 '.*'"},
      {u"\\Q.*\\E", u"ab", 0, "no match"},
      {u"\\Qa\\b\\E", u"a\\b", 0, "@1 'a\\b'"},
      {u"\\Q(a|b)", u"(a|b)", 0, "@1 '(a|b)'"},
      {u"\tx", u"\tx", 0, "@1 '\\tx'"},  // a raw control character is literal
      {u"\\w+", u"--ab_9--", 0, "@3 'ab_9'"},
      {u"\\w", u"\u0080", 0, "@1 '\\u0080'"},
      {u"\\w", u"\uF8F8", 0, "@1 '\\uF8F8'"},
      {u"\\w", u"\u00E9", 0, "no match"},
      {u"\\W", u"a-", 0, "@2 '-'"},
      {u"\\d+", u"ab123c", 0, "@3 '123'"},
      {u"\\D", u"12a", 0, "@3 'a'"},
      {u"\\s", u"a b", 0, "@2 ' '"},
      {u"\\s", u"\\n", 0, "no match"},  // backslash and "n" in the class stand for CRLF
      {u"\\s", u"a\r\n", 0, "@2 '\\r\\n'"},
      {u"\\s", u"\t", 0, "@1 '\\t'"},
      {u"\\S", u" x", 0, "@2 'x'"},
  });
}

TEST(RegExprEscapes, ControlEscapeErrors) {
  ExpectAll({
      {u"\\c1", u"x", 0,
       "error 20052: Error in RegExpr.ExpandEspaces: Invalid control character in regular expression: \\c1"},
      {u"ab\\c", u"x", 0,
       "error 20052: Error in RegExpr.ExpandEspaces: Control character missing in regular expression: ab\\c"},
      {u"\\c`", u"x", 0,
       "error 20052: Error in RegExpr.ExpandEspaces: Invalid control character in regular expression: \\c`"},
      {u"\\c\u0100", u"x", 0,
       "error 20052: Error in RegExpr.ExpandEspaces: Invalid control character in regular expression: \\c\u0100"},
  });
}

TEST(RegExprClasses, MembersRangesAndNegation) {
  ExpectAll({
      {u"[]a]", u"x]", 0, "@2 ']'"},
      {u"[]a]+", u"]a]", 0, "@1 ']a]'"},
      {u"[^]a]", u"]a b", 0, "@3 ' '"},
      {u"[a\\]b]", u"]", 0, "@1 ']'"},
      {u"[a-]", u"-", 0, "@1 '-'"},
      {u"[-a]", u"x-", 0, "@2 '-'"},
      {u"[a-c]+", u"xabcd", 0, "@2 'abc'"},
      {u"[^a-c]", u"abcd", 0, "@4 'd'"},
      {u"[a^]", u"^", 0, "@1 '^'"},
      {u"[\\d_]", u"a_", 0, "@2 '_'"},
      {u"[a\\D]", u"^", 0, "@1 '^'"},
      {u"[a\\D]", u"b", 0, "no match"},
      {u"[a\\D]", u"5", 0, "@1 '5'"},
      {u"[\\w]", u"-_", 0, "@2 '_'"},
      {u"[\\b]", u"a\b", 0, "@2 '\\u0008'"},
      {u"[\\x00-\\xff]+", u"a\u00FF\u0100", 0, "@1 'a\\u00FF'"},
      {u"[Z-a]", u"_", 0, "@1 '_'"},
      {u"[A-C]", u"b", reIgnoreCase, "@1 'b'"},
      {u"[a-c]+", u"ABC", reIgnoreCase, "@1 'ABC'"},
      {u"[\\n]", u"\r\n", 0, "@1 '\\r\\n'"},
      {u"[^x]", u"\r\n", 0, "@1 '\\r'"},
      {u"[^\\n]", u"\r\n", 0, "@2 '\\n'"},
      {u"[\\N]", u"a\r\n", 0, "@2 '\\r\\n'"},
  });
}

TEST(RegExprClasses, RangeErrorsArriveWhenTheClassIsTried) {
  ExpectAll({
      {u"[Z-a]", u"_", reIgnoreCase,
       "error 20050: Error in RegExpr.MatchSquareBrackets: Invalid range in regular expression [Z-a]"},
      {u"[c-a]", u"b", 0,
       "error 20050: Error in RegExpr.MatchSquareBrackets: Invalid range in regular expression [c-a]"},
      {u"[^c-a]", u"b", 0,
       "error 20050: Error in RegExpr.MatchSquareBrackets: Invalid range in regular expression [c-a]"},
      {u"[c-a]", u"", 0, "no match"},  // an empty text never reaches the walk
      {u"[ab-a]", u"a", 0, "@1 'a'"},  // the walk stops at the first member that matches
      {u"[\\n-x]", u"a", 0,
       "error 20050: Error in RegExpr.MatchSquareBrackets: Range start or end longer than 1 character: [\\n-x]"},
      {u"[a-\\n]", u"b", 0,
       "error 20050: Error in RegExpr.MatchSquareBrackets: Range start or end longer than 1 character: [a-\\n]"},
  });
}

TEST(RegExprQuantifiers, GreedyLazyAndTheirOrder) {
  ExpectAll({
      {u"a*", u"baaa", 0, "@1 ''"},
      {u"a+", u"baaa", 0, "@2 'aaa'"},
      {u"a*?b", u"aaab", 0, "@1 'aaab'"},
      {u"a??", u"a", 0, "@1 ''"},
      {u"a+?", u"aaa", 0, "@1 'a'"},
      {u"a?b", u"ab", 0, "@1 'ab'"},
      {u"a??b", u"ab", 0, "@1 'ab'"},
      {u"a*a", u"aaa", 0, "@1 'aaa'"},
      {u"a*?a", u"aaa", 0, "@1 'a'"},
      {u"*a", u"x*a", 0, "@2 '*a'"},
      {u"?", u"?", 0, "@1 '?'"},
      {u"[1-2]?[0-9]{1,2}", u"192", 0, "@1 '192'"},
      {u"[1-2]?[0-9]{1,2}", u"300", 0, "@1 '30'"},
      {u"[1-2]?[0-9]{1,2}", u"9", 0, "@1 '9'"},
      {u"[A-Za-z0-9_]{0,12}", u"ab cd", 0, "@1 'ab'"},
      {u"[A-Za-z0-9_]{0,12}", u"-x", 0, "@1 ''"},
  });
}

TEST(RegExprQuantifiers, Braces) {
  ExpectAll({
      {u"a{2}", u"aaa", 0, "@1 'aa'"},
      {u"a{2}?", u"aaa", 0, "@1 'aa'"},
      {u"a{2,}", u"aaaa", 0, "@1 'aaaa'"},
      {u"a{2,}?", u"aaaa", 0, "@1 'aa'"},
      {u"a{2,}", u"a", 0, "no match"},
      {u"a{1,3}", u"aaaa", 0, "@1 'aaa'"},
      {u"a{1,3}?", u"aaaa", 0, "@1 'a'"},
      {u"a{1,3}b", u"aab", 0, "@1 'aab'"},
      {u"a{,2}", u"aaa", 0, "@1 'aa'"},
      {u"a{ 2}", u"aaa", 0, "@1 'aa'"},
      {u"a{2.5}", u"aaa", 0, "@1 'aa'"},  // rounded half to even
      {u"a{1.5}", u"aaa", 0, "@1 'aa'"},
      {u"a{x}b", u"b", 0, "@1 'b'"},    // no number reads as 0
      {u"a{2", u"a{2", 0, "@1 'a{2'"},  // no closing brace: literal characters
      {u"a{0}", u"b", 0, "@1 ''"},
      {u"ba{0}c", u"bac bc", 0, "@5 'bc'"},
      {u"ba{0,0}c", u"bc", 0, "@1 'bc'"},
      {u"(ab){2}", u"abababx", 0, "@1 'abab' 1='ab'"},
      {u"(a|b){1,2}c", u"bac", 0, "@1 'bac' 1='a'"},
  });
}

TEST(RegExprQuantifiers, BraceErrorsNameTheQuantifier) {
  ExpectAll({
      {u"a{3,1}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Upper limit is less than lower limit in regular expression {3,1}"},
      {u"a{3,1}?", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Upper limit is less than lower limit in regular expression {3,1}"},
      {u"a{-1}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Count is less than zero in regular expression {-1}"},
      {u"a{-1,}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Count is less than zero in regular expression {-1,}"},
      {u"a{-2,-1}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Upper or lower limit is less than zero in regular expression {-2,-1}"},
      {u"a{-1,-2}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Upper limit is less than lower limit in regular expression {-1,-2}"},
      {u"a{99999}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Count out of range in regular expression {99999}"},
      {u"a{0,40000}", u"a", 0,
       "error 20050: Error in RegExpr.DoRegExpr: Count out of range in regular expression {0,40000}"},
      // Raised only when the matcher reaches the element.
      {u"xa{3,1}", u"y", 0, "no match"},
  });
}

TEST(RegExprQuantifiers, NestedQuantifiersFailWhenReached) {
  const std::string nested = "error 20052: Error in RegExpr.GetNextRegExpr: Nested +?*{} in regular expression.";
  ExpectAll({
      {u"a**", u"a", 0, nested},
      {u"a{2}{3}", u"a", 0, nested},
      {u"a+*", u"a", 0, nested},
      {u"a???", u"a", 0, nested},
      {u"xa**", u"y", 0, "no match"},
      {u"xa**", u"x", 0, nested},
  });
}

TEST(RegExprGroups, NumberingAndWhatEachHolds) {
  ExpectAll({
      {u"a(b)", u"xaby", 0, "@2 'ab' 1='b'"},
      {u"((a)(b))", u"ab", 0, "@1 'ab' 1='ab' 2='a' 3='b'"},
      {u"(?:a)(b)", u"ab", 0, "@1 'ab' 1='b'"},
      {u"(?#note)abc", u"abc", 0, "@1 'abc'"},
      {u"(a)*", u"aaa", 0, "@1 'aaa' 1='a'"},
      {u"(a|b)+", u"cab", 0, "@2 'ab' 1='b'"},
      {u"()", u"x", 0, "@1 '' 1=''"},
      {u"(x)?y", u"y", 0, "@1 'y' 1=-"},
      {u"(a)|b", u"b", 0, "@1 'b' 1=-"},
      {u"(a)|b", u"c", 0, "no match"},
      {u"(a|ab)(c|bcd)(d*)", u"abcd", 0, "@1 'abcd' 1='a' 2='bcd' 3=''"},
      {u"(a*)b", u"aab", 0, "@1 'aab' 1='aa'"},
      {u"(a(b)?)+", u"aba", 0, "@1 'aba' 1='a' 2='b'"},
      {u"a)", u"a)", 0, "@1 'a)'"},  // a ")" without "(" is literal
      {u"]", u"x]", 0, "@2 ']'"},
      {u"(?:a|b)c", u"bc", 0, "@1 'bc'"},
      {u"(?:?=a)a", u"a", 0, "@1 'a'"},  // an emptied prefix leaves a look-ahead
  });
}

TEST(RegExprGroups, ThirtyOneGroupsAtMost) {
  std::u16string pattern;
  std::u16string text;
  for (int k = 0; k < 31; ++k) {
    pattern += u"(a)";
    text += u"a";
  }
  EXPECT_EQ(Describe(pattern, text).substr(0, 36), "@1 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'");
  EXPECT_EQ(Describe(pattern + u"(a)", text + u"a"),
            "error 20052: Error in RegExpr.CreateMatch: Too many subexpressions in regular expression (max 31).");
}

TEST(RegExprGroups, SyntaxErrors) {
  ExpectAll({
      {u"(?<x)", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid extended regular expression syntax: (?<x)"},
      {u"(?)", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid extended regular expression syntax: (?)"},
      {u"(abc", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ) expected: (abc"},
      {u"x(a)(b", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ) expected: x(a)(b"},
      {u"(a(b)(c)", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ) expected: (a(b)(c)"},
      {u"x([](a))", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ] expected."},
      {u"[abc", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ] expected."},
      {u"[]", u"x", 0,
       "error 20052: Error in RegExpr.ProcessParentheses: Invalid regular expression: A closing ] expected."},
  });
}

TEST(RegExprAlternation, AFailedAlternationLeavesNoSubMatch) {
  EXPECT_EQ(Describe(u"(a)|b", u"c"), "no match");
  const auto& table = modRegEx::detail::ModuleState().SubMatches;
  EXPECT_EQ(table[1], modRegEx::detail::SubMatch{});
  EXPECT_EQ(Describe(u"(a)x|b", u"ab"), "@2 'b' 1=-");  // the attempt at position 1 opened and closed group 1
  EXPECT_EQ(table[1], modRegEx::detail::SubMatch{});
}

TEST(RegExprAlternation, FirstAlternativeThatMatchesWins) {
  ExpectAll({
      {u"a|ab", u"ab", 0, "@1 'a'"},
      {u"ab|a", u"ab", 0, "@1 'ab'"},
      {u"|a", u"a", 0, "@1 ''"},
      {u"a|", u"b", 0, "@1 ''"},
      {u"b|a", u"ab", 0, "@1 'a'"},  // leftmost position beats alternative order
      {u"x(a|ab|abc)y", u"xabcy", 0, "@1 'xabcy' 1='abc'"},
      {u"(a|ab)c", u"abc", 0, "@1 'abc' 1='ab'"},
      {u"a|b|c|d", u"xd", 0, "@2 'd'"},
      {u"[|]", u"|", 0, "@1 '|'"},
      {u"\\|", u"a|", 0, "@2 '|'"},
  });
}

TEST(RegExprAnchors, StartAndEndWithEachOption) {
  ExpectAll({
      {u"^a", u"ba", 0, "no match"},
      {u"^a", u"b\r\na", 0, "no match"},
      {u"^a", u"b\r\na", reMultiline, "@4 'a'"},
      {u"^a", u"b\na", reMultiline, "no match"},  // a line break is CRLF
      {u"^a", u"b\r\na", reSingleLine, "no match"},
      {u"a$", u"a\r\n", 0, "@1 'a'"},
      {u"a$", u"a\r\nb", 0, "no match"},
      {u"a$", u"a\r\nb", reMultiline, "@1 'a'"},
      {u"a$", u"a\n", 0, "no match"},
      {u"a$", u"ba", 0, "@2 'a'"},
      {u"\\Aa", u"ba", 0, "no match"},
      {u"\\Aa", u"ab", reMultiline, "@1 'a'"},
      {u"a\\Z", u"a\r\n", 0, "@1 'a'"},
      {u"a\\Z", u"a\r\nb", reMultiline, "no match"},
      {u"^$", u"", 0, "@1 ''"},
      {u"^$", u"x", 0, "no match"},
      {u"$", u"ab", 0, "@3 ''"},
      {u"\\bab\\b", u"xab ab", 0, "@5 'ab'"},
      {u"\\Bb", u"ab", 0, "@2 'b'"},
      {u"a\\b", u"a", 0, "@1 'a'"},
      {u"\\b", u"", 0, "no match"},
      {u"\\b", u" ", 0, "no match"},
      {u"\\B", u" ", 0, "@1 ''"},
  });
}

TEST(RegExprDot, CrLfIsNeverSplitWithoutSingleLine) {
  ExpectAll({
      {u".", u"\r\n", 0, "no match"},
      {u".", u"\r\n", reSingleLine, "@1 '\\r'"},
      {u"..", u"\r\n", reSingleLine, "@1 '\\r\\n'"},
      {u".", u"\n", 0, "@1 '\\n'"},
      {u".", u"\r", 0, "@1 '\\r'"},
      {u"..", u"a\rb", 0, "@1 'a\\r'"},
      {u".+", u"ab\r\ncd", 0, "@1 'ab'"},
      {u".+", u"ab\r\ncd", reMultiline, "@1 'ab'"},
      {u"\\n", u"a\r\n", 0, "@2 '\\r\\n'"},
      {u"\\n", u"a\n", 0, "no match"},
      {u"\\n", u"a\r", 0, "no match"},
  });
}

TEST(RegExprIgnoreCase, ComparesLowerCased) {
  ExpectAll({
      {u"b", u"ABC", reIgnoreCase, "@2 'B'"},
      {u"B", u"abc", reIgnoreCase, "@2 'b'"},
      {u"b", u"ABC", 0, "no match"},
      {u"\u00E9", u"\u00C9", reIgnoreCase, "@1 '\\u00C9'"},
      {u"\\x41", u"a", reIgnoreCase, "@1 'a'"},
      {u"(a)\\1", u"aA", reIgnoreCase, "@1 'aA' 1='a'"},
      {u"(a)\\1", u"aA", 0, "no match"},
  });
}

TEST(RegExprBackReferences, MatchWhatTheGroupHeld) {
  ExpectAll({
      {u"(a)\\1", u"aa", 0, "@1 'aa' 1='a'"},
      {u"(a*)b\\1", u"aabaa", 0, "@1 'aabaa' 1='aa'"},
      {u"(a*)b\\1", u"aaba", 0, "@2 'aba' 1='a'"},
      {u"(x)?y\\1", u"y", 0, "no match"},  // a group that took no part fails
      {u"()\\1a", u"a", 0, "@1 'a' 1=''"},
      {u"(a)\\2", u"aa", 0,
       "error 20052: Error in RegExpr.MatchAtom: Not so many sub-expressions in this regular expression: \\2"},
      {u"(a)\\2", u"b", 0, "no match"},
      {u"(a\\1)", u"aa", 0, "no match"},  // still open inside itself
  });
}

TEST(RegExprLookAhead, ConsumesNothing) {
  ExpectAll({
      {u"(?=ab)a", u"ab", 0, "@1 'a'"},
      {u"(?!ab)a", u"ab", 0, "no match"},
      {u"(?!ab)a", u"ac", 0, "@1 'a'"},
      {u"(?=(a))a", u"a", 0, "@1 'a' 1='a'"},  // what the look-ahead recorded stays
      {u"a(?=b)", u"acab", 0, "@3 'a'"},
      {u"(?=a|b)\\w+", u"-bc", 0, "@2 'bc'"},
  });
}

TEST(RegExprNesting, RunawayRepetitionStopsAtTheLimit) {
  const std::string limit =
      "error 20052: Error in RegExpr.DoRegExpr: Maximum number of iterations exceeded. Possibly an infinite loop.";
  ExpectAll({
      {u"(a*)*", u"", 0, limit},
      {u"(a*)*", u"aab", 0, limit},
      {u"^*", u"x", 0, limit},
      {u"(?:)*", u"x", 0, limit},
      {u"a*", std::u16string(499, u'a'), 0, "@1 '" + std::string(499, 'a') + "'"},
      {u"a*", std::u16string(500, u'a'), 0, limit},
  });
}

TEST(RegExprLimits, ExpansionsBeyondTheWorkingLimitAreRefused) {
  // 32767 copies of a 602-character group would take more working memory
  // than the engine allows itself.
  const std::u16string pattern = u"(?:" + std::u16string(600, u'a') + u"){32767}";
  EXPECT_EQ(
      Describe(pattern, u"aaa"),
      "error 20052: Error in RegExpr.DoRegExpr: Regular expression too complex: its expansion exceeds the working "
      "limit.");
  // A large but reasonable expansion still matches.
  EXPECT_EQ(Describe(u"a{0,30000}b", u"aab"), "@1 'aab'");
}

}  // namespace
