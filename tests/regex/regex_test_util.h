#pragma once
// Shared helpers of the pattern engine tests: readable renderings of texts and
// of what the engine reports after a call.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "regex/modRegEx.h"

namespace regex_test {

// UTF-8 with control characters and non-ASCII shown as escapes, so that CR, LF
// and markers are visible in failure messages.
std::string Visible(std::u16string_view text);

// What the engine reports about one RegExpr call, read through the public
// accessors: "no match", "error N: description", or
// "@start 'whole'" followed by " k='text'" or " k=-" for each sub-expression.
std::string Describe(const std::u16string& pattern, const std::u16string& text, int32_t options = 0);

// The engine error that the action raises; a test failure when it raises none.
modRegEx::RegExprError CaughtError(const std::function<void()>& action);

}  // namespace regex_test
