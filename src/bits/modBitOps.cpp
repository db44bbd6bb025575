#include "bits/modBitOps.h"

#include <cmath>
#include <iostream>
#include <string>
#include <utility>

#include "base/text.h"

// Only dblToLong has a failing step (a non-finite input); the shifts, the
// width conversion and the bit operations are plain integer arithmetic that
// is defined for every argument, so they have nothing to catch.
namespace modBitOps {

namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kInt32Max = 2147483647.0;

// The classic run-time error number and text for a value that does not fit.
constexpr int kOverflowNumber = 6;
constexpr char16_t kOverflowDescription[] = u"Overflow";

void WriteToStandardError(const std::u16string& text, const std::u16string& title) {
  std::cerr << base::ToUtf8(title) << ": " << base::ToUtf8(text) << '\n';
}

ErrorReporter& CurrentReporter() {
  static ErrorReporter reporter = WriteToStandardError;
  return reporter;
}

// The error stops here: a reporter that fails itself falls back to standard
// error rather than throwing into the caller of a bit helper.
void Report(const std::u16string& title, int number, const std::u16string& description) {
  std::u16string text = u"Error: " + base::FromUtf8(std::to_string(number)) + u". " + description;
  try {
    CurrentReporter()(text, title);
  } catch (...) {
    WriteToStandardError(text, title);
  }
}

// Nearest whole number, ties to even, whatever the floating-point rounding
// mode is. std::round and the difference x - trunc(x) are both exact.
double RoundHalfToEven(double x) {
  double rounded = std::round(x);  // ties away from zero
  bool tie = std::fabs(x - std::trunc(x)) == 0.5;
  if (tie && std::fmod(rounded, 2.0) != 0.0) rounded -= std::copysign(1.0, x);
  return rounded;
}

}  // namespace

void SetErrorReporter(ErrorReporter reporter) {
  // An empty reporter would throw when called; it brings back the default.
  CurrentReporter() = reporter ? std::move(reporter) : ErrorReporter(WriteToStandardError);
}

int16_t LongToInt(int32_t value) {
  // The low 16 bits read as signed (conversion is modular in C++20).
  return static_cast<int16_t>(value);
}

int16_t Shli(int16_t value, uint8_t shift) {
  if (shift >= 16) return 0;
  // Shifting the unsigned pattern keeps the shift well defined; LongToInt
  // drops whatever moved beyond bit 15.
  uint32_t bits = static_cast<uint16_t>(value);
  return LongToInt(static_cast<int32_t>(bits << shift));
}

int32_t Shll(int32_t value, uint8_t shift) {
  if (shift >= 32) return 0;
  uint32_t bits = static_cast<uint32_t>(value);
  return static_cast<int32_t>(bits << shift);
}

int32_t dblToLong(double value) {
  // Infinity and NaN have no place on the 32-bit circle.
  if (!std::isfinite(value)) {
    Report(u"dblToLong", kOverflowNumber, kOverflowDescription);
    return 0;
  }
  // Rounding first, then wrapping the whole number, keeps every step exact:
  // a whole double reduced modulo 2^32 is representable, and no fractional
  // value can round past the end of the range after wrapping.
  double whole = RoundHalfToEven(value);
  double wrapped = whole - std::floor(whole / kTwoTo32) * kTwoTo32;  // [0, 2^32)
  if (wrapped > kInt32Max) wrapped -= kTwoTo32;
  return static_cast<int32_t>(wrapped);
}

int16_t BitTestInteger(const int16_t& word, uint8_t bit) {
  return (word & Shli(1, bit)) != 0 ? int16_t{-1} : int16_t{0};
}

int16_t BitTestLong(const int32_t& word, uint8_t bit) { return (word & Shll(1, bit)) != 0 ? int16_t{-1} : int16_t{0}; }

void BitSetInteger(int16_t& word, uint8_t bit) { word = static_cast<int16_t>(word | Shli(1, bit)); }

void BitClearInteger(int16_t& word, uint8_t bit) { word = static_cast<int16_t>(word & ~Shli(1, bit)); }

}  // namespace modBitOps
