#include "bits/modBitOps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using modBitOps::BitClearInteger;
using modBitOps::BitSetInteger;
using modBitOps::BitTestInteger;
using modBitOps::BitTestLong;
using modBitOps::dblToLong;
using modBitOps::LongToInt;
using modBitOps::Shli;
using modBitOps::Shll;

struct Reported {
  std::u16string text;
  std::u16string title;
  bool operator==(const Reported&) const = default;
};

void PrintTo(const Reported& r, std::ostream* os) {
  *os << '{' << testing::PrintToString(r.text) << ", " << testing::PrintToString(r.title) << '}';
}

// Every test runs with a reporter that records what it is given, and puts the
// default back afterwards so no test sees another's reporter.
class BitOps : public testing::Test {
 protected:
  void SetUp() override {
    modBitOps::SetErrorReporter([this](const std::u16string& text, const std::u16string& title) {
      reports.push_back({text, title});
    });
  }
  void TearDown() override { modBitOps::SetErrorReporter(nullptr); }

  std::vector<Reported> reports;
};

const std::vector<int16_t> kSampleWords = {0, 1, -1, 2, 255, 256, 257, 12345, -12345, 32767, -32768, 16384, -2};
const std::vector<int32_t> kSampleLongs = {
    0, 1, -1, 2, 536870912, -536870912, 2147483647, -2147483647 - 1, 123456789, -123456789, 65536, 1073741824};

// ---- BitTestInteger / BitTestLong ------------------------------------------

struct TestCase {
  int32_t word;
  uint8_t bit;
  int16_t expected;
};

TEST_F(BitOps, BitTestIntegerTable) {
  const TestCase cases[] = {
      {0, 0, 0},        {1, 0, -1},      {2, 0, 0},      {2, 1, -1},  {256, 8, -1}, {255, 8, 0},
      {257, 8, -1},     {-257, 8, 0},  // -257 = 0xFEFF
      {-32768, 15, -1}, {-1, 15, -1},    {32767, 15, 0}, {0, 15, 0},  {-1, 14, -1}, {-32768, 14, 0},
      {-1, 16, 0},      {-32768, 16, 0}, {-1, 17, 0},    {-1, 31, 0}, {-1, 32, 0},  {-1, 255, 0},
  };
  for (const auto& c : cases) {
    int16_t word = static_cast<int16_t>(c.word);
    EXPECT_EQ(BitTestInteger(word, c.bit), c.expected) << "word " << c.word << " bit " << int{c.bit};
    EXPECT_EQ(word, static_cast<int16_t>(c.word)) << "a test must not change the word";
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, BitTestIntegerOverEveryWord) {
  for (int32_t w = -32768; w <= 32767; ++w) {
    const int16_t word = static_cast<int16_t>(w);
    // Bit 15 is the sign: true exactly for the negative words.
    ASSERT_EQ(BitTestInteger(word, 15), w < 0 ? -1 : 0) << w;
    // Every answer is -1 or 0, and the low bits agree with division by 2^bit.
    const int32_t unsigned_word = w & 0xFFFF;
    for (uint8_t bit = 0; bit < 16; ++bit) {
      const int16_t expected = (unsigned_word / (1 << bit)) % 2 == 1 ? -1 : 0;
      ASSERT_EQ(BitTestInteger(word, bit), expected) << w << " bit " << int{bit};
    }
    for (int bit = 16; bit <= 255; bit += 13) {
      ASSERT_EQ(BitTestInteger(word, static_cast<uint8_t>(bit)), 0) << w << " bit " << bit;
    }
    ASSERT_EQ(BitTestInteger(word, 255), 0) << w;
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, BitTestLongTable) {
  const TestCase cases[] = {
      {0, 0, 0},
      {1, 0, -1},
      {536870912, 29, -1},  // a wireless camera's DeviceType bit
      {536870911, 29, 0},
      {-536870913, 29, 0},  // every bit but 29
      {-2147483647 - 1, 31, -1},
      {-1, 31, -1},
      {2147483647, 31, 0},
      {2147483647, 30, -1},
      {65536, 16, -1},  // a 32-bit word has bits beyond 15
      {32768, 15, -1},
      {-1, 32, 0},
      {-2147483647 - 1, 32, 0},
      {-1, 33, 0},
      {-1, 255, 0},
  };
  for (const auto& c : cases) {
    const int32_t word = c.word;
    EXPECT_EQ(BitTestLong(word, c.bit), c.expected) << "word " << c.word << " bit " << int{c.bit};
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, BitTestLongSignBitAndBeyond) {
  for (int32_t w : kSampleLongs) {
    EXPECT_EQ(BitTestLong(w, 31), w < 0 ? -1 : 0) << w;
    for (int bit = 32; bit <= 255; ++bit) {
      ASSERT_EQ(BitTestLong(w, static_cast<uint8_t>(bit)), 0) << w << " bit " << bit;
    }
  }
  EXPECT_TRUE(reports.empty());
}

// ---- BitSetInteger / BitClearInteger ---------------------------------------

struct ChangeCase {
  void (*op)(int16_t&, uint8_t);
  const char* name;
  int16_t before;
  uint8_t bit;
  int16_t after;
};

TEST_F(BitOps, SetAndClearTable) {
  const ChangeCase cases[] = {
      {BitSetInteger, "set", 0, 15, -32768},    {BitClearInteger, "clear", -1, 15, 32767},
      {BitSetInteger, "set", 0, 16, 0},         {BitClearInteger, "clear", -1, 16, -1},
      {BitSetInteger, "set", 12345, 16, 12345}, {BitClearInteger, "clear", -12345, 16, -12345},
      {BitSetInteger, "set", 0, 255, 0},        {BitClearInteger, "clear", -1, 255, -1},
      {BitSetInteger, "set", 1, 8, 257},        {BitClearInteger, "clear", 257, 8, 1},
      {BitSetInteger, "set", 257, 8, 257},  // already set
      {BitClearInteger, "clear", 1, 8, 1},  // already clear
      {BitSetInteger, "set", -257, 8, -1},      {BitClearInteger, "clear", -1, 8, -257},
      {BitSetInteger, "set", 0, 0, 1},          {BitClearInteger, "clear", -32768, 15, 0},
      {BitSetInteger, "set", 32767, 15, -1},    {BitClearInteger, "clear", -1, 0, -2},
  };
  for (const auto& c : cases) {
    int16_t word = c.before;
    c.op(word, c.bit);
    EXPECT_EQ(word, c.after) << c.name << " bit " << int{c.bit} << " of " << c.before;
  }
  EXPECT_TRUE(reports.empty());
}

// Set and clear touch the one bit asked for and nothing else, and a test of
// that bit afterwards agrees.
TEST_F(BitOps, SetAndClearChangeOnlyTheirBit) {
  for (int16_t before : kSampleWords) {
    for (uint8_t bit = 0; bit < 16; ++bit) {
      const int32_t weight = 1 << bit;
      int16_t set = before;
      BitSetInteger(set, bit);
      int16_t cleared = before;
      BitClearInteger(cleared, bit);
      EXPECT_EQ(BitTestInteger(set, bit), -1) << before << " bit " << int{bit};
      EXPECT_EQ(BitTestInteger(cleared, bit), 0) << before << " bit " << int{bit};
      EXPECT_EQ((set & 0xFFFF) - (cleared & 0xFFFF), weight) << before << " bit " << int{bit};
      EXPECT_TRUE(set == before || cleared == before) << before << " bit " << int{bit};
    }
  }
  EXPECT_TRUE(reports.empty());
}

// ---- Shifts and conversions ------------------------------------------------

TEST_F(BitOps, ShliTable) {
  const struct {
    int16_t value;
    uint8_t shift;
    int16_t expected;
  } cases[] = {
      {1, 0, 1},   {1, 1, 2},        {1, 14, 16384}, {1, 15, -32768}, {3, 15, -32768}, {3, 14, -16384},
      {-1, 1, -2}, {-1, 15, -32768}, {255, 8, -256}, {257, 8, 256},   {-32768, 1, 0},  {12345, 0, 12345},
      {1, 16, 0},  {-1, 16, 0},      {32767, 16, 0}, {1, 17, 0},      {-1, 255, 0},    {0, 15, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shli(c.value, c.shift), c.expected) << c.value << " << " << int{c.shift};
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, ShllTable) {
  const struct {
    int32_t value;
    uint8_t shift;
    int32_t expected;
  } cases[] = {
      {1, 0, 1},
      {1, 29, 536870912},
      {1, 31, -2147483647 - 1},
      {3, 31, -2147483647 - 1},
      {3, 30, -1073741824},
      {-1, 1, -2},
      {-1, 31, -2147483647 - 1},
      {2147483647, 1, -2},
      {-2147483647 - 1, 1, 0},
      {65535, 16, -65536},
      {123456789, 4, 1975308624},
      {123456789, 8, 1540166912},
      {123456789, 5, -344350048},
      {1, 32, 0},
      {-1, 32, 0},
      {2147483647, 33, 0},
      {-1, 255, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shll(c.value, c.shift), c.expected) << c.value << " << " << int{c.shift};
  }
  EXPECT_TRUE(reports.empty());
}

// A 32-bit shift is the product value * 2^shift wrapped into 32 bits: the
// integer shift and the floating-point conversion must agree everywhere.
TEST_F(BitOps, ShllAgreesWithWrappedProduct) {
  for (int32_t value : kSampleLongs) {
    for (uint8_t shift = 0; shift < 32; ++shift) {
      const double product = static_cast<double>(value) * std::ldexp(1.0, shift);
      ASSERT_EQ(Shll(value, shift), dblToLong(product)) << value << " << " << int{shift};
    }
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, LongToIntTable) {
  const struct {
    int32_t value;
    int16_t expected;
  } cases[] = {
      {0, 0},   {1, 1},           {32767, 32767},  {32768, -32768}, {65535, -1}, {65536, 0},       {65537, 1},
      {-1, -1}, {-32768, -32768}, {-32769, 32767}, {98304, -32768}, {-65536, 0}, {2147483647, -1}, {-2147483647 - 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LongToInt(c.value), c.expected) << c.value;
  }
  EXPECT_TRUE(reports.empty());
}

// ---- dblToLong ---------------------------------------------------------------

TEST_F(BitOps, DblToLongWrapsAndRoundsHalfToEven) {
  const struct {
    double value;
    int32_t expected;
  } cases[] = {
      // wrap-around of whole numbers
      {0.0, 0},
      {-0.0, 0},
      {-1.0, -1},
      {2147483647.0, 2147483647},
      {-2147483648.0, -2147483647 - 1},
      {2147483648.0, -2147483647 - 1},
      {4294967295.0, -1},
      {4294967296.0, 0},
      {4294967297.0, 1},
      {-2147483649.0, 2147483647},
      {-4294967296.0, 0},
      {-4294967297.0, -1},
      {1e20, 1661992960},
      {1e15, -1530494976},
      {9007199254740994.0, 2},  // 2^53 + 2
      {-9007199254740994.0, -2},
      {9223372036854775808.0, 0},  // 2^63
      {std::numeric_limits<double>::max(), 0},
      {std::numeric_limits<double>::lowest(), 0},
      // ties go to the even neighbour
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {3.5, 4},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {2147483646.5, 2147483646},
      {2147483647.5, -2147483647 - 1},  // rounds to 2^31, which wraps
      {-2147483648.5, -2147483647 - 1},
      {4294967294.5, -2},
      {4294967295.5, 0},  // rounds to 2^32
      // other fractions go to the nearest whole number
      {0.49999999999999994, 0},
      {0.5000000000000001, 1},
      {-0.49999999999999994, 0},
      {1.4, 1},
      {1.6, 2},
      {-1.4, -1},
      {-1.6, -2},
      {std::numeric_limits<double>::denorm_min(), 0},
      {-std::numeric_limits<double>::denorm_min(), 0},
      {4294967295.7, 0},
      {-0.3, 0},
      {-4294967296.4, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dblToLong(c.value), c.expected) << std::setprecision(17) << c.value;
  }
  EXPECT_TRUE(reports.empty());
}

// The value is rounded before it is wrapped. Wrapping a fraction first would
// report an overflow for values that round to a whole number inside the
// range, and would lose the low bits of small negative fractions next to a tie.
TEST_F(BitOps, DblToLongRoundsBeforeWrapping) {
  const struct {
    double value;
    int32_t expected;
  } cases[] = {
      {2147483647.25, 2147483647},
      {2147483647.4, 2147483647},
      {2147483647.4999998, 2147483647},
      {-2147483648.25, -2147483647 - 1},
      {-2147483648.75, 2147483647},  // rounds to -2^31 - 1, which wraps
      {-2147483648.6, 2147483647},
      {-2.5000000001, -3},  // just past the tie
      {-2.4999999999, -2},
      {-1000.5000001, -1001},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dblToLong(c.value), c.expected) << std::setprecision(17) << c.value;
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, DblToLongOfNonFiniteReportsOverflowAndReturnsZero) {
  const double values[] = {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (double value : values) {
    reports.clear();
    EXPECT_EQ(dblToLong(value), 0) << value;
    EXPECT_EQ(reports, (std::vector<Reported>{{u"Error: 6. Overflow", u"dblToLong"}})) << value;
  }
}

TEST_F(BitOps, EachFailureIsReportedOnceInOrder) {
  EXPECT_EQ(dblToLong(std::nan("")), 0);
  EXPECT_EQ(dblToLong(7.0), 7);
  EXPECT_EQ(dblToLong(-std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(reports,
            (std::vector<Reported>{{u"Error: 6. Overflow", u"dblToLong"}, {u"Error: 6. Overflow", u"dblToLong"}}));
}

// ---- The reporter ------------------------------------------------------------

TEST_F(BitOps, DefaultReporterWritesToStandardError) {
  modBitOps::SetErrorReporter(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(dblToLong(std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "dblToLong: Error: 6. Overflow\n");
  EXPECT_TRUE(reports.empty());
}

TEST_F(BitOps, ANewReporterReplacesTheOldOne) {
  std::vector<Reported> second;
  modBitOps::SetErrorReporter([&second](const std::u16string& text, const std::u16string& title) {
    second.push_back({text, title});
  });
  dblToLong(std::nan(""));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(second, (std::vector<Reported>{{u"Error: 6. Overflow", u"dblToLong"}}));
}

TEST_F(BitOps, AFailingReporterDoesNotReachTheCaller) {
  modBitOps::SetErrorReporter(
      [](const std::u16string&, const std::u16string&) { throw std::runtime_error("message box failed"); });
  testing::internal::CaptureStderr();
  int32_t result = 1;
  EXPECT_NO_THROW(result = dblToLong(std::nan("")));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "dblToLong: Error: 6. Overflow\n");
}

}  // namespace
