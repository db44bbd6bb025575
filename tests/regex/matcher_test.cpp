// The matcher's routines on their own: how much of the text each consumes,
// how sub-expressions are opened and closed, and how brace quantifiers unroll.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "regex/modRegEx_internal.h"
#include "regex/regex_test_util.h"

namespace {

using namespace modRegEx::detail;
using modRegEx::reIgnoreCase;
using modRegEx::reMultiline;
using modRegEx::reSingleLine;
using regex_test::CaughtError;
using regex_test::Visible;

// Starts a fresh subject, as RegExpr does before matching.
void Begin(const std::u16string& subject, int32_t options = 0) {
  State& s = ModuleState();
  ClearMatches();
  s.Subject = subject;
  s.Options = options;
  s.Depth = 0;
  s.SavedMatches.clear();
  s.WorkingPatternChars = 0;
}

std::u16string_view SuffixFrom(size_t offset) { return std::u16string_view(ModuleState().Subject).substr(offset); }

// What is left of the text after the routine, or "fails".
std::string Left(bool matched, std::u16string_view text) { return matched ? "'" + Visible(text) + "'" : "fails"; }

struct Consumption {
  std::u16string pattern;
  std::u16string subject;
  int32_t options;
  std::string left;
};

TEST(DoRegExpr, ConsumesWhatTheFirstSuccessfulPathTook) {
  const std::vector<Consumption> cases = {
      {u"[A-Za-z0-9_]{0,12}", u"admin", 0, "''"},
      {u"[A-Za-z0-9_]{0,12}", u"ab cd", 0, "' cd'"},
      {u"[A-Za-z0-9_]{0,12}", u"-x", 0, "'-x'"},
      {u"[1-2]?[0-9]{1,2}", u"192", 0, "''"},
      {u"[1-2]?[0-9]{1,2}", u"300", 0, "'0'"},
      {u"[1-2]?[0-9]{1,2}", u"9", 0, "''"},
      {u"(^\\w{5}$|^$|^\\w{13}$)", u"abcdef", 0, "fails"},
      {u"(^\\w{5}$|^$|^\\w{13}$)", u"abcde", 0, "''"},
      {u"a$", u"a\r\n", 0, "'\\r\\n'"},
      {u"\\n", u"\r\nx", 0, "'x'"},
      {u"[\\n]", u"\r\nx", 0, "'x'"},
      {u"\\s", u"\r\nx", 0, "'x'"},
      {u"[^x]", u"\r\n", 0, "'\\n'"},
      {u"(?=ab)a", u"ab", 0, "'b'"},
      {u"a*?b", u"aaab", 0, "''"},
      {u"a??", u"a", 0, "'a'"},
      {u"a+?", u"aaa", 0, "'aa'"},
      {u"", u"abc", 0, "'abc'"},
      {u"a|b", u"bc", 0, "'c'"},
  };
  for (const Consumption& c : cases) {
    SCOPED_TRACE(Visible(c.pattern) + " on '" + Visible(c.subject) + "'");
    Begin(c.subject, c.options);
    const std::u16string prepared = ProcessParentheses(ExpandEspaces(c.pattern));
    std::u16string_view text = SuffixFrom(0);
    EXPECT_EQ(Left(DoRegExpr(text, prepared), text), c.left);
    EXPECT_EQ(ModuleState().Depth, 0);  // every level it entered was left again
  }
}

TEST(DoRegExpr, FailedAttemptsRestoreTheSubMatches) {
  Begin(u"ac");
  const std::u16string prepared = ProcessParentheses(u"(a)b|(a)c");
  std::u16string_view text = SuffixFrom(0);
  ASSERT_TRUE(DoRegExpr(text, prepared));
  EXPECT_EQ(ModuleState().SubMatches[1].Closed, 0);  // the failed left side left nothing
  EXPECT_EQ(ModuleState().SubMatches[2].Closed, -1);
  EXPECT_EQ(ModuleState().SubMatches[2].Start, 1);
  EXPECT_EQ(ModuleState().SubMatches[2].End, 1);
  EXPECT_TRUE(ModuleState().SavedMatches.empty());
}

struct AtomCase {
  std::u16string subject;
  size_t offset;
  std::u16string atom;
  int32_t options;
  std::string left;
};

TEST(MatchAtom, EachAtomKind) {
  const std::u16string crlf = u"a\r\nb";
  const std::vector<AtomCase> cases = {
      {u"ab", 0, u"\x01", 0, "'ab'"},
      {u"ab", 0, u"^", 0, "'ab'"},
      {u"ab", 1, u"^", 0, "fails"},
      {crlf, 3, u"^", 0, "fails"},
      {crlf, 3, u"^", reMultiline, "'b'"},
      {crlf, 2, u"^", reMultiline, "fails"},
      {u"ab", 2, u"$", 0, "''"},
      {crlf, 1, u"$", 0, "fails"},
      {crlf, 1, u"$", reMultiline, "'\\r\\nb'"},
      {u"a\r\n", 1, u"$", 0, "'\\r\\n'"},
      {u"ab", 0, u".", 0, "'b'"},
      {u"", 0, u".", 0, "fails"},
      {u"", 0, u".", reSingleLine, "fails"},
      {crlf, 1, u".", 0, "fails"},
      {crlf, 2, u".", 0, "fails"},
      {crlf, 2, u".", reSingleLine, "'b'"},
      {u"\nb", 0, u".", 0, "'b'"},
      {u"ab", 0, u"\\A", 0, "'ab'"},
      {u"ab", 1, u"\\A", 0, "fails"},
      {u"a\r\n", 1, u"\\Z", 0, "'\\r\\n'"},
      {u"a\r\nb", 1, u"\\Z", reMultiline, "fails"},
      {crlf, 1, u"\\n", 0, "'b'"},
      {crlf, 2, u"\\n", 0, "fails"},
      {u"ab", 1, u"\\b", 0, "fails"},
      {u"a b", 1, u"\\b", 0, "' b'"},
      {u"a b", 2, u"\\b", 0, "'b'"},
      {u"a b", 1, u"\\B", 0, "fails"},
      {u"ab", 1, u"\\B", 0, "'b'"},
      {u"a.", 1, u"\\.", 0, "''"},
      {u"A", 0, u"\\a", reIgnoreCase, "''"},
      {u"A", 0, u"a", reIgnoreCase, "''"},
      {u"A", 0, u"a", 0, "fails"},
      {u"\\", 0, u"\\", 0, "''"},
      {u"ab", 0, u"", 0, "fails"},
  };
  for (const AtomCase& c : cases) {
    SCOPED_TRACE("atom " + Visible(c.atom) + " at " + std::to_string(c.offset) + " of '" + Visible(c.subject) + "'");
    Begin(c.subject, c.options);
    std::u16string_view text = SuffixFrom(c.offset);
    EXPECT_EQ(Left(MatchAtom(text, c.atom), text), c.left);
  }
}

TEST(MatchAtom, BackReferences) {
  Begin(u"abab");
  ModuleState().SubexpressionCount = 2;
  ModuleState().SubMatches[1] = {-1, 1, 2, 1, 1};  // "ab"
  ModuleState().SubMatches[2] = {0, 3, 0, 1, 0};   // opened, never closed
  std::u16string_view text = SuffixFrom(2);
  EXPECT_EQ(Left(MatchAtom(text, u"\\1"), text), "''");
  text = SuffixFrom(1);
  EXPECT_EQ(Left(MatchAtom(text, u"\\1"), text), "fails");
  text = SuffixFrom(2);
  EXPECT_EQ(Left(MatchAtom(text, u"\\2"), text), "fails");
  const auto error = CaughtError([&] { MatchAtom(text, u"\\3"); });
  EXPECT_EQ(error.Number, 20052);
  EXPECT_EQ(error.Description,
            u"Error in RegExpr.MatchAtom: Not so many sub-expressions in this regular expression: \\3");
}

TEST(MatchSquareBrackets, ConsumesOneOrTwoCharacters) {
  const std::vector<AtomCase> cases = {
      {u"bc", 0, u"[a-c]", 0, "'c'"},
      {u"dc", 0, u"[a-c]", 0, "fails"},
      {u"dc", 0, u"[^a-c]", 0, "'c'"},
      {u"", 0, u"[^a]", 0, "fails"},
      {u"\r\nx", 0, u"[\\n]", 0, "'x'"},
      {u"\r\nx", 0, u"[\\N]", 0, "'x'"},
      {u"\r\nx", 0, u"[^\\n]", 0, "fails"},
      {u"\r\nx", 0, u"[^x]", 0, "'\\nx'"},
      {u"\r", 0, u"[\\n]", 0, "fails"},
      {u"\r\nx", 0, u"[\r\\n]", 0, "'\\nx'"},  // the first member that matches decides
      {u"B", 0, u"[a-c]", reIgnoreCase, "''"},
      {u"b", 0, u"[A-C]", reIgnoreCase, "''"},
      {u"b", 0, u"[A-C]", 0, "fails"},
      {u"-", 0, u"[a-]", 0, "''"},
      {u"]", 0, u"[]]", 0, "''"},
      {u"\\", 0, u"[\\\\]", 0, "''"},
  };
  for (const AtomCase& c : cases) {
    SCOPED_TRACE("class " + Visible(c.atom) + " on '" + Visible(c.subject) + "'");
    Begin(c.subject, c.options);
    std::u16string_view text = SuffixFrom(c.offset);
    EXPECT_EQ(Left(MatchSquareBrackets(text, c.atom), text), c.left);
  }
}

TEST(OpenAndCloseMatch, OneMarkerOpensTheNextOneCloses) {
  Begin(u"abcd");
  ModuleState().SubexpressionCount = 1;
  std::u16string_view marker = u"\x01";
  OpenMatch(SuffixFrom(1), marker, 3);
  EXPECT_TRUE(marker.empty());
  EXPECT_EQ(ModuleState().SubMatches[1], (SubMatch{0, 2, 0, 3, 0}));
  CloseMatch(SuffixFrom(1), marker, 3);  // a consumed marker closes nothing
  EXPECT_EQ(ModuleState().SubMatches[1].Closed, 0);

  marker = u"\x01";
  OpenMatch(SuffixFrom(3), marker, 5);  // open: the marker stays for CloseMatch
  EXPECT_EQ(marker.size(), 1u);
  CloseMatch(SuffixFrom(3), marker, 5);
  EXPECT_TRUE(marker.empty());
  EXPECT_EQ(ModuleState().SubMatches[1], (SubMatch{-1, 2, 3, 3, 5}));
  EXPECT_EQ(MatchedText(1), u"bc");

  marker = u"\x01";
  OpenMatch(SuffixFrom(4), marker, 2);  // closed entries open again
  marker = u"\x01";
  OpenMatch(SuffixFrom(4), marker, 2);
  CloseMatch(SuffixFrom(4), marker, 2);
  EXPECT_EQ(ModuleState().SubMatches[1], (SubMatch{-1, 5, 4, 2, 2}));  // empty: end = start - 1
  EXPECT_EQ(MatchedText(1), u"");

  std::u16string_view plain = u"a";
  OpenMatch(SuffixFrom(0), plain, 1);
  CloseMatch(SuffixFrom(0), plain, 1);
  EXPECT_EQ(plain, u"a");
}

TEST(RestoreMatches, CopiesTheSavedEntriesBack) {
  Begin(u"x");
  const SubMatch saved[2] = {{-1, 1, 1, 1, 1}, {0, 0, 0, 0, 0}};
  ModuleState().SubMatches[2] = {-1, 9, 9, 9, 9};
  ModuleState().SubMatches[3] = {-1, 7, 7, 7, 7};
  RestoreMatches(saved, 2);
  EXPECT_EQ(ModuleState().SubMatches[1], saved[0]);
  EXPECT_EQ(ModuleState().SubMatches[2], saved[1]);
  EXPECT_EQ(ModuleState().SubMatches[3], (SubMatch{-1, 7, 7, 7, 7}));
}

TEST(TextPositions, AtTextStartAndTextBefore) {
  Begin(u"ab\r\nc");
  EXPECT_TRUE(AtTextStart(SuffixFrom(0)));
  EXPECT_FALSE(AtTextStart(SuffixFrom(1)));
  EXPECT_EQ(TextBefore(SuffixFrom(4), 2), u"\r\n");
  EXPECT_EQ(TextBefore(SuffixFrom(1), 1), u"a");
  EXPECT_EQ(TextBefore(SuffixFrom(1), 2), u"");
  EXPECT_EQ(TextBefore(SuffixFrom(5), 5), u"ab\r\nc");
}

struct BraceCase {
  std::u16string quantifier;
  std::u16string expanded;
};

TEST(ExpandBraces, UnrollsIntoNestedOptionalCopies) {
  Begin(u"");
  const std::vector<BraceCase> cases = {
      {u"{1,3}", u"X(X(X)?)?R"},
      {u"{1,3}?",
       u"X(X(X)?"
       u"?)?"
       u"?R"},
      {u"{2}", u"XXR"},
      {u"{0,2}", u"(X(X)?)?R"},
      {u"{2,}", u"XXX*R"},
      {u"{2,}?", u"XXX*?R"},
      {u"{,}", u"X*R"},
      {u"{0}", u"R"},
      {u"{0,0}", u"R"},
      {u"{}", u"R"},
  };
  for (const BraceCase& c : cases)
    EXPECT_EQ(ExpandBraces(u"X", c.quantifier, u"R"), c.expanded) << Visible(c.quantifier);

  const auto error = CaughtError([] { ExpandBraces(u"X", u"{1,2", u"R"); });
  EXPECT_EQ(error.Number, 20050);
  EXPECT_EQ(
      error.Description,
      u"Error in RegExpr.DoRegExpr: Syntax error in regular expression {1,2. Expected: {Lower_limit, Upper_limit}");
}

TEST(LowerChar, LettersOfTheCommonScripts) {
  const std::vector<std::pair<char16_t, char16_t>> cases = {
      {u'A', u'a'},           {u'z', u'z'},           {u'@', u'@'},           {u'\u00C0', u'\u00E0'},
      {u'\u00D7', u'\u00D7'}, {u'\u00DE', u'\u00FE'}, {u'\u0100', u'\u0101'}, {u'\u0139', u'\u013A'},
      {u'\u0178', u'\u00FF'}, {u'\u0391', u'\u03B1'}, {u'\u0410', u'\u0430'}, {u'\u0401', u'\u0451'},
  };
  for (const auto& [upper, lower] : cases) EXPECT_EQ(LowerChar(upper), lower) << static_cast<int>(upper);
}

}  // namespace
