#include "regex/fuzz_input.h"

#include <functional>
#include <iterator>
#include <string_view>
#include <variant>

#include "regex/modRegEx.h"

namespace regex_fuzz {

namespace {

using namespace modRegEx;

constexpr uint8_t kWideEscape = 0xFE;
constexpr char16_t kWide[] = {u'\u0100', u'\u0130', u'\u0178',        u'\u0391',
                              u'\uF8F8', u'\uFFFF', char16_t{0xD800}, u'\u00FE'};

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;

  bool Done() const { return at >= size; }

  char16_t NextChar() {
    const uint8_t byte = data[at++];
    if (byte != kWideEscape || Done()) return byte;
    return kWide[data[at++] % std::size(kWide)];
  }

  std::u16string Take(size_t count) {
    std::u16string out;
    while (out.size() < count && !Done()) out += NextChar();
    return out;
  }
};

std::u16string TextOf(const ResultValue& value) {
  return std::holds_alternative<std::u16string>(value) ? std::get<std::u16string>(value) : u"";
}

std::string CheckError(const RegExprError& error) {
  if (error.Number < 20050 || error.Number > 20054) return "error number out of range: " + std::to_string(error.Number);
  if (error.Source != u"sentrova.RegExpr") return "wrong error source";
  if (std::u16string_view(error.Description).substr(0, 17) != u"Error in RegExpr.") return "wrong description prefix";
  if (error.what() == nullptr || std::string_view(error.what()).substr(0, 17) != "Error in RegExpr.")
    return "wrong what()";
  return "";
}

// After a match, the accessors must describe a consistent split of the text.
std::string CheckMatch(const std::u16string& text) {
  const auto length = static_cast<int32_t>(text.size());
  int32_t start = 0;
  int32_t size = 0;
  RegExprIndex(reWholeMatch, start, size);
  if (start < 1 || start > length + 1 || size < 0 || start + size - 1 > length) return "whole match outside the text";
  const std::u16string pieces =
      TextOf(RegExprResult(reBeforeMatch)) + TextOf(RegExprResult(reWholeMatch)) + TextOf(RegExprResult(reAfterMatch));
  if (pieces != text) return "before + whole + after differ from the text";
  const ResultValue count = RegExprResult(reSubexpressionCount);
  const int16_t groups = std::holds_alternative<int16_t>(count) ? std::get<int16_t>(count) : 0;
  if (groups < 0 || groups > 31 || (groups == 0) != std::holds_alternative<std::monostate>(count)) {
    return "bad sub-expression count";
  }
  for (int32_t k = 1; k <= groups; ++k) {
    RegExprIndex(k, start, size);
    const ResultValue group = RegExprResult(k);
    if (start == 0) {
      if (size != 0 || !std::holds_alternative<std::monostate>(group)) return "unset group with a value";
      continue;
    }
    if (start < 1 || start > length + 1 || start + size - 1 > length) return "group outside the text";
    const std::u16string expected =
        size > 0 ? text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(size)) : u"";
    if (!std::holds_alternative<std::u16string>(group) || std::get<std::u16string>(group) != expected) {
      return "group text differs from its index";
    }
  }
  return "";
}

bool RaisesNoMatch(const std::function<void()>& access) {
  try {
    access();
  } catch (const RegExprError& error) {
    return error.Number == 20051;
  }
  return false;
}

}  // namespace

std::string CheckInput(const uint8_t* data, size_t size) {
  if (size < 2) return "";
  Reader reader{data + 2, size - 2};
  const int32_t options = data[0] & 7;
  const std::u16string pattern = reader.Take(data[1] % (kMaxPattern + 1));
  const std::u16string text = reader.Take(kMaxText);

  bool matched = false;
  try {
    matched = RegExpr(text, pattern, options);
  } catch (const RegExprError& error) {
    if (std::string problem = CheckError(error); !problem.empty()) return problem;
    const bool refusedOptions = (options & 6) == 6;
    if (!refusedOptions && !RaisesNoMatch([] { RegExprResult(reWholeMatch); }))
      return "results readable after an error";
    return "";
  }
  if (!matched) return RaisesNoMatch([] { RegExprResult(reWholeMatch); }) ? "" : "results readable after no match";
  if (std::string problem = CheckMatch(text); !problem.empty()) return problem;
  if (options == 0) {
    const bool whole = TextOf(RegExprResult(reWholeMatch)) == text;
    if (IsWholeMatch(text, pattern) != whole) return "IsWholeMatch disagrees with RegExpr";
  }
  return "";
}

}  // namespace regex_fuzz
