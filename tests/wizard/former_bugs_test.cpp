// Regressions of faults the wizard once had, one row each, with what went
// wrong. A fault found later gets its row here, next to the fix's commit.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/param_name.h"
#include "wizard/address_checks.h"

namespace {

struct FormerBug {
  const char* fault;  // what went wrong, as the fix's commit says
  std::u16string ip;
  std::u16string mask;
  std::u16string gateway;
  AddressField refused;
  const char16_t* message;
};

const FormerBug FormerBugs[] = {
    // An entry longer than the pattern engine takes escaped the checks as an
    // engine error instead of its field's message.
    {"address of 40000 digits", std::u16string(40000, u'1'), u"255.0.0.0", u"", AddressField::IPAddress,
     u"IPAddress Is Error"},
    {"gateway of 40000 characters", u"10.0.0.5", u"255.0.0.0", std::u16string(40000, u'.'), AddressField::Gateway,
     u"Gateway Is Error"},
};

class FormerBugTest : public testing::TestWithParam<FormerBug> {};

TEST_P(FormerBugTest, StaysMended) {
  const FormerBug& bug = GetParam();
  std::optional<AddressRefusal> refusal = CheckAddressEntries(bug.ip, bug.mask, bug.gateway);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->field, bug.refused);
  EXPECT_EQ(refusal->message, bug.message);
}

INSTANTIATE_TEST_SUITE_P(AddressChecks, FormerBugTest, testing::ValuesIn(FormerBugs),
                         [](const auto& testInfo) { return ParamName(testInfo.param.fault); });

}  // namespace
