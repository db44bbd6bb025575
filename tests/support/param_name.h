#pragma once
// A parameterised test's case named by what it varies, for ctest's list and
// gtest filters: letters and digits stay, a space and . - , / : become "_",
// any other character its code in hex after "x" (or "u" beyond ASCII), an
// empty text "empty", a negative number "minus..."; parts are joined by "__".
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace param_name_detail {

inline void Append(std::string& name, char32_t c) {
  if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
    name += static_cast<char>(c);
  } else if (std::u16string_view(u" .-,/:").find(static_cast<char16_t>(c)) != std::u16string_view::npos && c < 0x80) {
    name += '_';
  } else {
    char hex[16];
    std::snprintf(hex, sizeof hex, c < 0x80 ? "x%02X" : "u%04X", static_cast<unsigned>(c));
    name += hex;
  }
}

inline void AppendPart(std::string& name, std::u16string_view text) {
  if (text.empty()) name += "empty";
  for (char16_t c : text) Append(name, c);
}
inline void AppendPart(std::string& name, std::string_view text) {
  if (text.empty()) name += "empty";
  for (char c : text) Append(name, static_cast<unsigned char>(c));
}
template <class Number>
requires std::is_arithmetic_v<Number>
void AppendPart(std::string& name, Number number) {
  if constexpr (std::is_same_v<Number, bool>) {
    name += number ? "true" : "false";
  } else {
    if (number < 0) name += "minus";
    name += std::to_string(number < 0 ? -static_cast<long long>(number) : static_cast<long long>(number));
  }
}

}  // namespace param_name_detail

template <class... Parts>
std::string ParamName(const Parts&... parts) {
  std::string name;
  ((name += name.empty() ? "" : "__", param_name_detail::AppendPart(name, parts)), ...);
  return name;
}
