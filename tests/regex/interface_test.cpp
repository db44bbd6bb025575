// What the rest of the program sees of the engine: RegExpr with its options,
// the result accessors, IsWholeMatch on the pages' patterns, the module state
// between calls, and the errors with their numbers, source and description.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/modRegEx.h"
#include "regex/modRegEx_internal.h"
#include "regex/regex_test_util.h"

namespace {

using namespace modRegEx;
using regex_test::CaughtError;
using regex_test::Visible;

const std::u16string kUserName = u"[A-Za-z0-9_]{0,12}";
const std::u16string kPassword = u"[A-Za-z0-9_]{0,8}";
const std::u16string kAddress = u"([1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}|^$)";
const std::u16string kNetworkName = u"[\\x00-\\xff]*";
const std::u16string kAsciiKey = u"(^\\w{5}$|^$|^\\w{13}$)";
const std::u16string kHexKey = u"(^[0-9a-fA-F]{10}$|^$|^[0-9a-fA-F]{26}$)";

const std::string kNoMatch =
    "Error in RegExpr.RegExprResult: No match on last call to RegExpr, or RegExpr not called at all";

std::u16string Repeat(std::u16string_view piece, size_t times) {
  std::u16string out;
  for (size_t k = 0; k < times; ++k) out += piece;
  return out;
}

std::u16string Text(const ResultValue& value) { return std::get<std::u16string>(value); }

struct Entry {
  std::u16string pattern;
  std::u16string text;
  bool accepted;
};

TEST(IsWholeMatch, PagePatternsOnAcceptedAndRefusedEntries) {
  const std::vector<Entry> cases = {
      {kUserName, u"", true},
      {kUserName, u"admin_01", true},
      {kUserName, Repeat(u"a", 12), true},
      {kUserName, Repeat(u"a", 13), false},  // the match covers the first 12
      {kUserName, u"-admin", false},         // the leftmost match is empty, at position 1
      {kUserName, u"ad min", false},
      {kUserName, u"adm\u00E9n", false},
      {kPassword, u"", true},
      {kPassword, u"Pass_123", true},
      {kPassword, u"Pass_1234", false},
      {kPassword, u"pa ss", false},
      {kAddress, u"", true},
      {kAddress, u"192.168.0.1", true},
      {kAddress, u"0.0.0.0", true},
      {kAddress, u"255.255.255.0", true},
      {kAddress, u"299.1.1.1", true},
      {kAddress, u"01.02.03.04", true},
      {kAddress, u"300.1.1.1", false},  // the leftmost match starts at position 2
      {kAddress, u"1.2.3", false},
      {kAddress, u"1.2.3.4.5", false},
      {kAddress, u"1.2.3.1999", false},  // the match stops after 199
      {kAddress, u"192.168.0.1 ", false},
      {kAddress, u" 192.168.0.1", false},
      {kAddress, u"1..2.3", false},
      {kNetworkName, u"", true},
      {kNetworkName, u"My network \u00FF", true},
      {kNetworkName, Repeat(u"n", 499), true},
      {kNetworkName, u"caf\u0113", false},  // a character above the single-byte range
      {kNetworkName, u"\u0100abc", false},
      {kAsciiKey, u"", true},
      {kAsciiKey, u"abcde", true},
      {kAsciiKey, u"abc12DEF_9xyz", true},
      {kAsciiKey, u"abcd", false},
      {kAsciiKey, u"abcdef", false},
      {kAsciiKey, u"abc12DEF_9xy", false},
      {kAsciiKey, u"abc12DEF_9xyz1", false},
      {kAsciiKey, u"abc-e", false},
      {kHexKey, u"", true},
      {kHexKey, u"0123456789", true},
      {kHexKey, u"0123456789ABCDEFabcdef0123", true},
      {kHexKey, u"012345678", false},
      {kHexKey, u"0123456789A", false},
      {kHexKey, u"012345678g", false},
      {kHexKey, u"0123456789ABCDEFabcdef012", false},
      {kHexKey, u"0123456789ABCDEFabcdef01234", false},
  };
  for (const Entry& c : cases) {
    SCOPED_TRACE("pattern " + Visible(c.pattern) + " text '" + Visible(c.text) + "'");
    EXPECT_EQ(IsWholeMatch(c.text, c.pattern), c.accepted);
  }
}

TEST(IsWholeMatch, NetworkNameOf500CharactersReachesTheNestingLimit) {
  const auto error = CaughtError([] { IsWholeMatch(Repeat(u"n", 500), kNetworkName); });
  EXPECT_EQ(error.Number, 20052);
  EXPECT_EQ(error.Description,
            u"Error in RegExpr.DoRegExpr: Maximum number of iterations exceeded. Possibly an infinite loop.");
  // Beginning with 500 such characters is what counts, whatever follows.
  EXPECT_THROW(IsWholeMatch(Repeat(u"n", 500) + u"\u0100", kNetworkName), RegExprError);
  EXPECT_FALSE(IsWholeMatch(u"\u0100" + Repeat(u"n", 600), kNetworkName));
}

TEST(IsWholeMatch, IsCaseSensitiveAndUsesNoOptions) {
  EXPECT_FALSE(IsWholeMatch(u"ABC", u"abc"));
  EXPECT_FALSE(IsWholeMatch(u"a\r\nb", u"a.b"));
  EXPECT_TRUE(IsWholeMatch(u"aa", u"(a)\\1"));
}

TEST(RegExprResult, DescribesTheLastMatch) {
  ASSERT_TRUE(RegExpr(u"xaby", u"a(b)", 0));
  EXPECT_EQ(Text(RegExprResult(reWholeMatch)), u"ab");
  EXPECT_EQ(Text(RegExprResult(reBeforeMatch)), u"x");
  EXPECT_EQ(Text(RegExprResult(reAfterMatch)), u"y");
  EXPECT_EQ(std::get<int16_t>(RegExprResult(reSubexpressionCount)), 1);
  EXPECT_EQ(Text(RegExprResult(1)), u"b");

  struct Index {
    int32_t resultType;
    int32_t start;
    int32_t length;
  };
  for (const Index& expected : std::vector<Index>{{-3, 2, 2}, {-2, 1, 1}, {-1, 4, 1}, {0, 1, 1}, {1, 3, 1}}) {
    int32_t start = -99;
    int32_t length = -99;
    RegExprIndex(expected.resultType, start, length);
    EXPECT_EQ(start, expected.start) << expected.resultType;
    EXPECT_EQ(length, expected.length) << expected.resultType;
  }
}

TEST(RegExprResult, NoValueStringAndCountStayDistinct) {
  ASSERT_TRUE(RegExpr(u"abc", u"x*", 0));  // an empty match at position 1
  EXPECT_EQ(Text(RegExprResult(reWholeMatch)), u"");
  EXPECT_EQ(Text(RegExprResult(reBeforeMatch)), u"");  // start 1, length 0
  EXPECT_EQ(Text(RegExprResult(reAfterMatch)), u"abc");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(RegExprResult(reSubexpressionCount)));

  ASSERT_TRUE(RegExpr(u"y", u"(x)?y", 0));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(RegExprResult(1)));
  int32_t start = -1;
  int32_t length = -1;
  RegExprIndex(1, start, length);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(length, 0);

  ASSERT_TRUE(RegExpr(u"ab", u"a()b", 0));
  EXPECT_EQ(Text(RegExprResult(1)), u"");  // an empty sub-match is a string
  RegExprIndex(1, start, length);
  EXPECT_EQ(start, 2);
  EXPECT_EQ(length, 0);

  ASSERT_TRUE(RegExpr(u"ab", u"$", 0));
  RegExprIndex(reAfterMatch, start, length);
  EXPECT_EQ(start, 3);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(Text(RegExprResult(reAfterMatch)), u"");
}

TEST(RegExprIndex, ErrorsForSelectorsWithoutAMatch) {
  ASSERT_TRUE(RegExpr(u"xaby", u"a(b)", 0));
  struct Refused {
    int32_t resultType;
    std::u16string description;
  };
  const std::vector<Refused> cases = {
      {2, u"Error in RegExpr.RegExprIndex: No match stored for regular sub-expression #2"},
      {31, u"Error in RegExpr.RegExprIndex: No match stored for regular sub-expression #31"},
      {32, u"Error in RegExpr.RegExprIndex: Invalid value, parameter ResultType = 32"},
      {40, u"Error in RegExpr.RegExprIndex: Invalid value, parameter ResultType = 40"},
      {-4, u"Error in RegExpr.RegExprIndex: Invalid value, parameter ResultType = -4"},
  };
  for (const Refused& c : cases) {
    int32_t start = 0;
    int32_t length = 0;
    for (const auto& error : {CaughtError([&] { RegExprIndex(c.resultType, start, length); }),
                              CaughtError([&] { RegExprResult(c.resultType); })}) {
      EXPECT_EQ(error.Number, 20053) << c.resultType;
      EXPECT_EQ(error.Source, u"sentrova.RegExpr");
      EXPECT_EQ(error.Description, c.description);
    }
  }
}

TEST(RegExprState, AccessorsRefuseAfterNoMatch) {
  ASSERT_FALSE(RegExpr(u"abc", u"x", 0));
  const auto result = CaughtError([] { RegExprResult(reWholeMatch); });
  EXPECT_EQ(result.Number, 20051);
  EXPECT_EQ(result.DescriptionUtf8, kNoMatch);
  EXPECT_STREQ(result.what(), kNoMatch.c_str());
  int32_t start = 0;
  int32_t length = 0;
  const auto index = CaughtError([&] { RegExprIndex(reWholeMatch, start, length); });
  EXPECT_EQ(index.Number, 20051);
  EXPECT_EQ(index.Description,
            u"Error in RegExpr.RegExprIndex: No match on last call to RegExpr, or RegExpr not called at all");
}

TEST(RegExprState, ConflictingOptionsAreRefusedAndLeaveEarlierResults) {
  ASSERT_TRUE(RegExpr(u"xaby", u"a(b)", 0));
  const auto error = CaughtError([] { RegExpr(u"a", u"a", reSingleLine | reMultiline); });
  EXPECT_EQ(error.Number, 20053);
  EXPECT_EQ(error.Source, u"sentrova.RegExpr");
  EXPECT_EQ(error.Description,
            u"Error in RegExpr.RegExpr: Cannot specify both reSingleLine and reMultiline at the same time.");
  EXPECT_THROW(RegExpr(u"a", u"a", 7), RegExprError);
  EXPECT_EQ(Text(RegExprResult(reWholeMatch)), u"ab");
  EXPECT_EQ(Text(RegExprResult(1)), u"b");
}

TEST(RegExprState, OverlongTextsAreRefusedAndLeaveEarlierResults) {
  ASSERT_TRUE(RegExpr(u"xaby", u"a(b)", 0));
  const auto error = CaughtError([] { RegExpr(Repeat(u"a", 32767), u"a", 0); });
  EXPECT_EQ(error.Number, 20053);
  EXPECT_EQ(error.Description,
            u"Error in RegExpr.RegExpr: Text too long for regular expression (max 32766 characters).");
  EXPECT_EQ(Text(RegExprResult(reWholeMatch)), u"ab");
  EXPECT_THROW(IsWholeMatch(Repeat(u"a", 40000), kUserName), RegExprError);

  // The longest text allowed is searched up to its last start position.
  const std::u16string longest = Repeat(u"a", 32765) + u"b";
  ASSERT_TRUE(RegExpr(longest, u"b", 0));
  int32_t start = 0;
  int32_t length = 0;
  RegExprIndex(reWholeMatch, start, length);
  EXPECT_EQ(start, 32766);
  ASSERT_TRUE(RegExpr(longest, u"$", 0));
  RegExprIndex(reWholeMatch, start, length);
  EXPECT_EQ(start, 32767);
  EXPECT_EQ(length, 0);
}

TEST(RegExprState, EachCallReplacesTheLastOne) {
  ASSERT_TRUE(RegExpr(u"abc", u"(a)(b)(c)", 0));
  ASSERT_TRUE(RegExpr(u"xy", u"y", 0));
  EXPECT_EQ(Text(RegExprResult(reWholeMatch)), u"y");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(RegExprResult(reSubexpressionCount)));
  EXPECT_THROW(RegExprResult(1), RegExprError);
  const auto& table = detail::ModuleState().SubMatches;
  for (size_t k = 1; k <= 3; ++k) EXPECT_EQ(table[k], detail::SubMatch{}) << k;
}

TEST(RegExprState, AnErrorMidCallLeavesWhatTheCallHadSet) {
  ASSERT_TRUE(RegExpr(u"ab", u"a(b)", 0));
  EXPECT_THROW(RegExpr(u"aa", u"(a)(a)\\3", 0), RegExprError);
  const detail::State& s = detail::ModuleState();
  EXPECT_FALSE(s.Matched);
  EXPECT_EQ(s.Subject, u"aa");
  EXPECT_EQ(s.SubexpressionCount, 2);
  EXPECT_THROW(RegExprResult(reWholeMatch), RegExprError);

  EXPECT_THROW(RegExpr(u"x", u"(a*)*", 0), RegExprError);
  EXPECT_EQ(s.Depth, detail::kMaxNestingDepth + 1);
  // The next call starts afresh.
  ASSERT_TRUE(RegExpr(u"x", u"x", 0));
  EXPECT_EQ(s.Depth, 0);

  // A refused 32nd group leaves the count above 31; the next call still clears.
  std::u16string pattern = Repeat(u"(a)", 32);
  EXPECT_THROW(RegExpr(u"a", pattern, 0), RegExprError);
  EXPECT_EQ(s.SubexpressionCount, 32);
  ASSERT_TRUE(RegExpr(u"a", u"a", 0));
  EXPECT_EQ(s.SubexpressionCount, 0);
}

TEST(RegExprState, OptionsAreKeptAndUsed) {
  ASSERT_TRUE(RegExpr(u"ABC", u"b", reIgnoreCase));
  EXPECT_EQ(Text(RegExprResult(reWholeMatch)), u"B");
  EXPECT_EQ(detail::ModuleState().Options, reIgnoreCase);
  EXPECT_FALSE(RegExpr(u"ABC", u"b", 0));
}

TEST(ClearMatches, ZeroesOnlyTheCountedEntries) {
  detail::State& s = detail::ModuleState();
  const detail::SubMatch used{-1, 2, 3, 4, 5};
  for (size_t k = 1; k <= 31; ++k) s.SubMatches[k] = used;
  s.SubexpressionCount = 0;
  detail::ClearMatches();
  for (size_t k = 1; k <= 31; ++k) EXPECT_EQ(s.SubMatches[k], used) << k;
  s.SubexpressionCount = 3;
  detail::ClearMatches();
  EXPECT_EQ(s.SubexpressionCount, 0);
  for (size_t k = 1; k <= 3; ++k) EXPECT_EQ(s.SubMatches[k], detail::SubMatch{}) << k;
  for (size_t k = 4; k <= 31; ++k) EXPECT_EQ(s.SubMatches[k], used) << k;
  for (size_t k = 1; k <= 31; ++k) s.SubMatches[k] = detail::SubMatch{};
}

TEST(RaiseRegExprError, CarriesNumberSourceAndDescription) {
  const auto error = CaughtError([] {
    RaiseRegExprError(u"Maximum number of iterations exceeded. Possibly an infinite loop.", 20052, u"DoRegExpr");
  });
  EXPECT_EQ(error.Number, 20052);
  EXPECT_EQ(error.Source, u"sentrova.RegExpr");
  EXPECT_EQ(error.Description,
            u"Error in RegExpr.DoRegExpr: Maximum number of iterations exceeded. Possibly an infinite loop.");
  EXPECT_STREQ(error.what(),
               "Error in RegExpr.DoRegExpr: Maximum number of iterations exceeded. Possibly an infinite loop.");
  const auto wide = CaughtError([] { RaiseRegExprError(u"caf\u00E9", 20054, u"X"); });
  EXPECT_STREQ(wide.what(), "Error in RegExpr.X: caf\xC3\xA9");
}

}  // namespace
