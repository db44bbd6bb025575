#pragma once
// The program's own regular-expression engine. It keeps one module-wide state
// between calls (the last subject, match and sub-matches) and reports every
// failure by throwing RegExprError. It runs on the user-interface thread only.
#include <cstdint>
#include <exception>
#include <string>
#include <variant>

namespace modRegEx {

// Options, the third argument of RegExpr.
inline constexpr int32_t reIgnoreCase = 1;
inline constexpr int32_t reSingleLine = 2;
inline constexpr int32_t reMultiline = 4;

// Selectors of RegExprResult and RegExprIndex; 1 to 31 select sub-expression k.
inline constexpr int32_t reWholeMatch = -3;
inline constexpr int32_t reBeforeMatch = -2;
inline constexpr int32_t reAfterMatch = -1;
inline constexpr int32_t reSubexpressionCount = 0;

// An error of the engine: number (20050 to 20054), source and description as
// the user sees them.
struct RegExprError : std::exception {
  int32_t Number = 0;
  std::u16string Source;
  std::u16string Description;
  std::string DescriptionUtf8;  // what() gives this
  const char* what() const noexcept override { return DescriptionUtf8.c_str(); }
};

// What RegExprResult gives: no value, a string, or a 16-bit integer (the
// sub-expression count).
using ResultValue = std::variant<std::monostate, std::u16string, int16_t>;

// Searches the text for the leftmost match of the pattern and keeps the
// results for the accessors below. Texts longer than 32766 characters are
// refused with error 20053, like conflicting options, leaving the earlier
// results in place.
bool RegExpr(const std::u16string& text, const std::u16string& pattern, int32_t options);
ResultValue RegExprResult(int32_t resultType);
void RegExprIndex(int32_t resultType, int32_t& start, int32_t& length);

// True when the leftmost match of the pattern is the whole text.
bool IsWholeMatch(const std::u16string& text, const std::u16string& pattern);

[[noreturn]] void RaiseRegExprError(const std::u16string& message, int16_t number, const std::u16string& procedure);

}  // namespace modRegEx
