#include "wizard/address_checks.h"

#include <array>

#include "regex/modRegEx.h"

namespace {

// Four dot-separated parts of one or two digits, or three beginning with 1
// or 2; or the empty text.
constexpr char16_t AddressPattern[] = u"([1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}|^$)";

struct Entry {
  AddressField field;
  const std::u16string& text;
  const char16_t* message;
};

// A text too long for the pattern engine is no address either.
bool MatchesAddressPattern(const std::u16string& text) {
  try {
    return modRegEx::IsWholeMatch(text, AddressPattern);
  } catch (const modRegEx::RegExprError&) {
    return false;
  }
}

bool IsZeroOrEmpty(const std::u16string& text) { return text.empty() || text == u"0.0.0.0"; }

// The value of the leading digits of a part, as the classic conversion reads
// them: a part without digits is 0.
int32_t PartValue(std::u16string_view part) {
  int32_t value = 0;
  for (char16_t c : part) {
    if (c < u'0' || c > u'9' || value > 255) break;
    value = value * 10 + (c - u'0');
  }
  return value;
}

// Every dot-separated part lies between 0 and 255; the empty text passes.
bool PartsInRange(const std::u16string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t dot = text.find(u'.', start);
    if (dot == std::u16string::npos) dot = text.size();
    if (PartValue(std::u16string_view(text).substr(start, dot - start)) > 255) return false;
    start = dot + 1;
  }
  return true;
}

}  // namespace

std::optional<AddressRefusal> CheckAddressEntries(const std::u16string& ipAddress, const std::u16string& subnetMask,
                                                  const std::u16string& gateway) {
  const std::array<Entry, 3> entries{{
      {AddressField::IPAddress, ipAddress, u"IPAddress Is Error"},
      {AddressField::SubnetMask, subnetMask, u"SubnetMask Is Error"},
      {AddressField::Gateway, gateway, u"Gateway Is Error"},
  }};
  const Entry& ip = entries[0];
  const Entry& mask = entries[1];
  // The gateway may be empty or 0.0.0.0; the address and the mask may not.
  for (const Entry* entry : {&ip, &mask}) {
    if (IsZeroOrEmpty(entry->text)) return AddressRefusal{entry->field, entry->message};
  }
  for (const Entry& entry : entries) {
    if (!MatchesAddressPattern(entry.text)) return AddressRefusal{entry.field, entry.message};
  }
  for (const Entry& entry : entries) {
    if (!PartsInRange(entry.text)) return AddressRefusal{entry.field, entry.message};
  }
  return std::nullopt;
}
