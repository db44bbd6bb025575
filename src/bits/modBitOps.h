#pragma once
// Bit tests, sets and clears on the 16- and 32-bit setting words a camera
// reports, and the shifts and width conversions beneath them. Every function
// catches its own errors and reports them through the error reporter; none
// ever throws to its caller.
#include <cstdint>
#include <functional>
#include <string>

namespace modBitOps {

// Truth values as the wizard keeps them: -1 true, 0 false.
int16_t BitTestInteger(const int16_t& word, uint8_t bit);
int16_t BitTestLong(const int32_t& word, uint8_t bit);
void BitSetInteger(int16_t& word, uint8_t bit);
void BitClearInteger(int16_t& word, uint8_t bit);

int16_t Shli(int16_t value, uint8_t shift);
int32_t Shll(int32_t value, uint8_t shift);
int16_t LongToInt(int32_t value);
int32_t dblToLong(double value);

// Receives "Error: <number>. <description>" and the failing function's name as
// title. The desktop routes it to a message box with an OK button; the
// default writes to standard error.
using ErrorReporter = std::function<void(const std::u16string& text, const std::u16string& title)>;
void SetErrorReporter(ErrorReporter reporter);

}  // namespace modBitOps
