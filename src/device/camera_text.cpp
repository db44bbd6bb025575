#include "device/camera_text.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "base/text.h"

namespace device {
namespace {

// Reads a non-empty run of decimal digits; nothing for any other text or a
// value beyond 32 bits.
std::optional<uint32_t> DecimalNumber(std::u16string_view text, size_t mostDigits) {
  if (text.empty() || text.size() > mostDigits) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
  }
  if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::vector<std::u16string_view> SplitAtDots(std::u16string_view text) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (size_t dot = text.find(u'.'); dot != std::u16string_view::npos; dot = text.find(u'.', start)) {
    parts.push_back(text.substr(start, dot - start));
    start = dot + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::u16string UpperHex(uint32_t value) {
  static constexpr char16_t digits[] = u"0123456789ABCDEF";
  std::u16string hex;
  do {
    hex.insert(hex.begin(), digits[value % 16]);
    value /= 16;
  } while (value != 0);
  return hex;
}

// A part that is missing or not a plain decimal number (empty, signs, blanks,
// letters, beyond 32 bits) is shown as "??", so the MAC always shows six
// groups and never a guess.
std::u16string MacText(const std::u16string& macText, char16_t separator) {
  constexpr size_t MacParts = 6;
  const std::vector<std::u16string_view> parts = SplitAtDots(macText);
  std::u16string shown;
  for (size_t i = 0; i < MacParts; ++i) {
    if (i > 0) shown += separator;
    const std::optional<uint32_t> number = i < parts.size() ? DecimalNumber(parts[i], 10) : std::nullopt;
    if (!number) {
      shown += u"??";
      continue;
    }
    const std::u16string hex = UpperHex(*number);
    if (hex.size() == 1) shown += u'0';
    shown += hex;
  }
  return shown;
}

}  // namespace

bool IsAssignedAddress(const std::u16string& address) {
  // The two factory addresses a camera has before anyone assigned one.
  return address != u"192.168.0.30" && address != u"192.168.0.20";
}

std::u16string FormatMacText(const std::u16string& macText) { return MacText(macText, u' '); }

std::u16string FormatMacColonText(const std::u16string& macText) { return MacText(macText, u':'); }

// Four parts of one to three digits, each 0 to 255. A part with a leading zero
// ("010") is refused: browsers disagree on whether it is octal, so it could
// open another host than the list shows.
std::optional<std::string> CameraWebPage(const std::u16string& address) {
  const std::vector<std::u16string_view> parts = SplitAtDots(address);
  if (parts.size() != 4) return std::nullopt;
  for (std::u16string_view part : parts) {
    const std::optional<uint32_t> number = DecimalNumber(part, 3);
    if (!number || *number > 255 || (part.size() > 1 && part.front() == u'0')) return std::nullopt;
  }
  return "http://" + base::ToUtf8(address) + "/";
}

}  // namespace device
