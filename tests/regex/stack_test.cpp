// The deepest matches the engine allows must fit a 1 MiB thread stack: the
// nesting limit bounds the recursion, and each level must stay small.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>

#include "regex/modRegEx.h"
#include "regex/regex_test_util.h"

namespace {

using regex_test::Describe;

constexpr size_t kStackSize = 1024 * 1024;

// Runs the work on a thread whose stack is 1 MiB; an overflow would end the
// whole test program.
void OnSmallStack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackSize), 0);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

const std::string kLimit =
    "error 20052: Error in RegExpr.DoRegExpr: Maximum number of iterations exceeded. Possibly an infinite loop.";

TEST(SmallStack, NetworkNameWorstCase) {
  bool accepted = false;
  std::u16string description;
  int32_t number = 0;
  OnSmallStack([&] {
    accepted = modRegEx::IsWholeMatch(std::u16string(499, u'n'), u"[\\x00-\\xff]*");
    try {
      modRegEx::IsWholeMatch(std::u16string(500, u'n'), u"[\\x00-\\xff]*");
    } catch (const modRegEx::RegExprError& error) {
      number = error.Number;
      description = error.Description;
    }
  });
  EXPECT_TRUE(accepted);
  EXPECT_EQ(number, 20052);
  EXPECT_EQ(description,
            u"Error in RegExpr.DoRegExpr: Maximum number of iterations exceeded. Possibly an infinite loop.");
}

TEST(SmallStack, EveryKindOfDeepPathReachesTheLimitSafely) {
  struct Deep {
    std::u16string pattern;
    std::u16string text;
    std::string expected;
  };
  std::u16string nested;
  for (int k = 0; k < 5000; ++k) nested += u"(?:";
  nested += u"a";
  for (int k = 0; k < 5000; ++k) nested += u")";
  const std::vector<Deep> cases = {
      {u"(a*)*", u"aaa", kLimit},
      {u"(?:(a)|b)*", std::u16string(600, u'a'), kLimit},
      {u"((a)(b)?)*c", std::u16string(600, u'a'), kLimit},
      {u"(?=a)*", u"a", kLimit},
      {u"(a){1,600}", std::u16string(600, u'a'), kLimit},
      {u"a*?$", std::u16string(600, u'a'), kLimit},
      {nested, u"a", kLimit},  // parsed without recursion, then too deep to match
      {u"(?:(a)|b)*", std::u16string(150, u'a'), "@1 '" + std::string(150, 'a') + "' 1='a'"},
  };
  std::vector<std::string> results(cases.size());
  OnSmallStack([&] {
    for (size_t k = 0; k < cases.size(); ++k) results[k] = Describe(cases[k].pattern, cases[k].text);
  });
  for (size_t k = 0; k < cases.size(); ++k) {
    EXPECT_EQ(results[k], cases[k].expected) << regex_test::Visible(cases[k].pattern).substr(0, 40);
  }
}

}  // namespace
