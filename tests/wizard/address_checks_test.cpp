// The address checks of the IP address page and the change-address dialog:
// which entry is refused first, with which message.
#include "wizard/address_checks.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>

namespace {

struct AddressCase {
  const char* what;
  std::u16string ip;
  std::u16string mask;
  std::u16string gateway;
  std::optional<AddressField> refused;  // nothing: all three accepted
};
void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.what; }

std::u16string MessageFor(AddressField field) {
  switch (field) {
    case AddressField::IPAddress:
      return u"IPAddress Is Error";
    case AddressField::SubnetMask:
      return u"SubnetMask Is Error";
    case AddressField::Gateway:
      return u"Gateway Is Error";
  }
  return u"";
}

const AddressField IP = AddressField::IPAddress;
const AddressField Mask = AddressField::SubnetMask;
const AddressField Gateway = AddressField::Gateway;

class CheckAddressEntriesTest : public testing::TestWithParam<AddressCase> {};

TEST_P(CheckAddressEntriesTest, RefusesTheFirstFailingEntry) {
  const AddressCase& c = GetParam();
  std::optional<AddressRefusal> refusal = CheckAddressEntries(c.ip, c.mask, c.gateway);
  if (!c.refused) {
    EXPECT_FALSE(refusal.has_value()) << c.what << ": refused " << static_cast<int>(refusal->field);
    return;
  }
  ASSERT_TRUE(refusal.has_value()) << c.what;
  EXPECT_EQ(refusal->field, *c.refused) << c.what;
  EXPECT_EQ(refusal->message, MessageFor(*c.refused)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CheckAddressEntriesTest,
    testing::Values(
        AddressCase{"all three well formed", u"192.168.0.20", u"255.255.255.0", u"192.168.0.1", std::nullopt},
        AddressCase{"empty gateway", u"10.0.0.5", u"255.0.0.0", u"", std::nullopt},
        AddressCase{"gateway 0.0.0.0", u"10.0.0.5", u"255.0.0.0", u"0.0.0.0", std::nullopt},
        AddressCase{"leading zeros kept", u"192.168.01.09", u"255.255.255.0", u"", std::nullopt},
        AddressCase{"mask not contiguous", u"10.0.0.5", u"255.255.255.1", u"", std::nullopt},
        AddressCase{"every part 255", u"255.255.255.255", u"255.255.255.255", u"255.255.255.255", std::nullopt},
        // Step 1 and 2: "0.0.0.0" or empty, before any pattern.
        AddressCase{"address 0.0.0.0", u"0.0.0.0", u"255.255.255.0", u"", IP},
        AddressCase{"address empty", u"", u"255.255.255.0", u"", IP},
        AddressCase{"address 0.0.0.0 before a bad mask", u"0.0.0.0", u"x", u"x", IP},
        AddressCase{"mask empty before the address pattern", u"1.2.3.999", u"", u"", Mask},
        AddressCase{"mask 0.0.0.0", u"10.0.0.5", u"0.0.0.0", u"", Mask},
        // Steps 3 to 5: the pattern, address first.
        AddressCase{"address three-digit part starting with 3", u"300.1.1.1", u"255.0.0.0", u"", IP},
        AddressCase{"address three-digit part starting with 0", u"10.0.0.010", u"255.0.0.0", u"", IP},
        AddressCase{"address of five parts", u"1.2.3.4.5", u"255.0.0.0", u"", IP},
        AddressCase{"address of three parts", u"1.2.3", u"255.0.0.0", u"", IP},
        AddressCase{"address with trailing space", u"10.0.0.5 ", u"255.0.0.0", u"", IP},
        AddressCase{"address with leading space", u" 10.0.0.5", u"255.0.0.0", u"", IP},
        AddressCase{"address with letters", u"a.b.c.d", u"255.0.0.0", u"", IP},
        AddressCase{"address four-digit part", u"1.2.3.1999", u"255.0.0.0", u"", IP},
        AddressCase{"address pattern before the mask pattern", u"1.2.3", u"1.2.3", u"", IP},
        AddressCase{"mask pattern", u"10.0.0.5", u"255.255.255", u"", Mask},
        AddressCase{"mask pattern before the gateway pattern", u"10.0.0.5", u"255.x.0.0", u"1.2", Mask},
        AddressCase{"gateway pattern", u"10.0.0.5", u"255.0.0.0", u"10.0.0", Gateway},
        AddressCase{"gateway with a blank", u"10.0.0.5", u"255.0.0.0", u" ", Gateway},
        // Steps 6 to 8: parts from 256 to 299 pass the pattern but not the range.
        AddressCase{"address part 256", u"192.168.1.256", u"255.255.255.0", u"", IP},
        AddressCase{"address first part 299", u"299.1.1.1", u"255.255.255.0", u"", IP},
        AddressCase{"gateway pattern before the address range", u"192.168.1.256", u"255.0.0.0", u"1", Gateway},
        AddressCase{"mask part 260", u"10.0.0.5", u"255.260.0.0", u"", Mask},
        AddressCase{"mask range before the gateway range", u"10.0.0.5", u"255.260.0.0", u"10.0.0.270", Mask},
        AddressCase{"gateway part 280", u"10.0.0.5", u"255.0.0.0", u"10.280.0.1", Gateway}),
    [](const testing::TestParamInfo<AddressCase>& param) {
      std::string name;
      for (const char* c = param.param.what; *c != 0; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

}  // namespace
