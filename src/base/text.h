#pragma once
// The wizard's texts are UTF-16, like the controls that show them; these
// convert at the edges (logs, terminals, files). Every layer uses them, so
// they depend on nothing but the standard library.
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// A number as plain decimal digits, with a leading "-" when negative.
std::u16string Decimal(int64_t value);

// The text without leading and trailing blanks (spaces only, as the classic
// trim does).
std::u16string_view TrimBlanks(std::u16string_view text);

// A C0 or C1 control or DEL: such a character breaks a header, a log line or
// a terminal, so no text that travels or is shown may hold one.
constexpr bool IsControlCharacter(char16_t unit) { return unit < 0x20 || (unit >= 0x7f && unit <= 0x9f); }

}  // namespace base
