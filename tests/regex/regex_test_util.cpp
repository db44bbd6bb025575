#include "regex/regex_test_util.h"

#include <cstdio>

#include "base/text.h"

namespace regex_test {

std::string Visible(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (c < 0x20 || c > 0x7E) {
      char buffer[12];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Describe(const std::u16string& pattern, const std::u16string& text, int32_t options) {
  using namespace modRegEx;
  try {
    if (!RegExpr(text, pattern, options)) return "no match";
    int32_t start = 0;
    int32_t length = 0;
    RegExprIndex(reWholeMatch, start, length);
    std::string out =
        "@" + std::to_string(start) + " '" + Visible(std::get<std::u16string>(RegExprResult(reWholeMatch))) + "'";
    const ResultValue count = RegExprResult(reSubexpressionCount);
    const int16_t groups = std::holds_alternative<int16_t>(count) ? std::get<int16_t>(count) : 0;
    for (int32_t k = 1; k <= groups; ++k) {
      const ResultValue group = RegExprResult(k);
      out += " " + std::to_string(k) + "=";
      out += std::holds_alternative<std::u16string>(group) ? "'" + Visible(std::get<std::u16string>(group)) + "'" : "-";
    }
    return out;
  } catch (const RegExprError& error) {
    return "error " + std::to_string(error.Number) + ": " + error.DescriptionUtf8;
  }
}

modRegEx::RegExprError CaughtError(const std::function<void()>& action) {
  try {
    action();
  } catch (const modRegEx::RegExprError& error) {
    return error;
  }
  ADD_FAILURE() << "no engine error was raised";
  return {};
}

}  // namespace regex_test
