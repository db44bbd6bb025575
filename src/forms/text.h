#pragma once
// The wizard's texts are UTF-16, like the controls that show them; these
// convert at the edges (logs, terminals, files).
#include <string>
#include <string_view>

namespace forms {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// The text without leading and trailing blanks (spaces only, as the classic
// trim does).
std::u16string_view TrimBlanks(std::u16string_view text);

}  // namespace forms
