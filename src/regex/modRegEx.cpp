// The engine's entry point, its result accessors, the module state and the
// error raiser.
#include "regex/modRegEx.h"

#include <algorithm>
#include <string>

#include "base/text.h"
#include "regex/modRegEx_internal.h"

namespace modRegEx {

namespace detail {

State gModuleState;

void ClearMatches() {
  State& s = ModuleState();
  for (int k = std::min<int>(s.SubexpressionCount, kMaxSubexpressions); k >= 1; --k) s.SubMatches[k] = SubMatch{};
  s.SubexpressionCount = 0;
}

bool FindMatch(std::u16string_view text, std::u16string_view pattern) {
  State& s = ModuleState();
  for (size_t start = 0; start <= text.size(); ++start) {
    std::u16string_view rest = text.substr(start);
    if (DoRegExpr(rest, pattern)) {
      s.MatchStart = static_cast<int32_t>(start + 1);
      s.MatchEnd = static_cast<int32_t>(s.Subject.size() - rest.size());
      return true;
    }
  }
  return false;
}

}  // namespace detail

namespace {

using detail::ModuleState;

// The subject text from a 1-based start with the given length; a slice that
// reaches outside the subject keeps only the part inside it.
std::u16string SubjectSlice(int32_t start, int32_t length) {
  const std::u16string& subject = ModuleState().Subject;
  if (length <= 0 || start < 1 || static_cast<size_t>(start) > subject.size()) return u"";
  return subject.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
}

}  // namespace

void RaiseRegExprError(const std::u16string& message, int16_t number, const std::u16string& procedure) {
  RegExprError error;
  error.Number = number;
  error.Source = u"sentrova.RegExpr";
  error.Description = u"Error in RegExpr." + procedure + u": " + message;
  error.DescriptionUtf8 = base::ToUtf8(error.Description);
  throw error;
}

bool RegExpr(const std::u16string& text, const std::u16string& pattern, int32_t options) {
  if ((options & reSingleLine) != 0 && (options & reMultiline) != 0) {
    RaiseRegExprError(u"Cannot specify both reSingleLine and reMultiline at the same time.", 20053, u"RegExpr");
  }
  // Refused before the state is touched, like conflicting options: the
  // earlier results stay readable.
  if (text.size() > detail::kMaxTextLength) {
    RaiseRegExprError(
        u"Text too long for regular expression (max " + base::Decimal(detail::kMaxTextLength) + u" characters).", 20053,
        u"RegExpr");
  }
  detail::State& s = ModuleState();
  s.Matched = false;
  s.MatchStart = 0;
  s.MatchEnd = 0;
  detail::ClearMatches();
  s.Depth = 0;
  s.Options = options;
  s.Subject = text;
  s.SavedMatches.clear();
  s.WorkingPatternChars = 0;
  if (s.AttemptBufferChars > detail::kMaxRetainedAttemptChars) {
    for (std::u16string& buffer : s.AttemptBuffers) std::u16string().swap(buffer);
    s.AttemptBufferChars = 0;
  }
  const std::u16string prepared = detail::ProcessParentheses(detail::ExpandEspaces(pattern));
  s.Matched = detail::FindMatch(s.Subject, prepared);
  return s.Matched;
}

void RegExprIndex(int32_t resultType, int32_t& start, int32_t& length) {
  const detail::State& s = ModuleState();
  if (!s.Matched)
    RaiseRegExprError(u"No match on last call to RegExpr, or RegExpr not called at all", 20051, u"RegExprIndex");
  const int32_t count = s.SubexpressionCount;
  if (resultType == reBeforeMatch) {
    start = 1;
    length = s.MatchStart - 1;
  } else if (resultType == reWholeMatch) {
    start = s.MatchStart;
    length = s.MatchEnd - s.MatchStart + 1;
  } else if (resultType == reAfterMatch) {
    start = s.MatchEnd + 1;
    length = static_cast<int32_t>(s.Subject.size()) - s.MatchEnd;
  } else if (resultType == reSubexpressionCount) {
    start = count;
    length = count;
  } else if (resultType >= 1 && resultType <= count) {
    const detail::SubMatch& entry = s.SubMatches[static_cast<size_t>(resultType)];
    start = entry.Closed != 0 ? entry.Start : 0;
    length = entry.Closed != 0 ? entry.End - entry.Start + 1 : 0;
  } else if (resultType >= 1 && resultType <= detail::kMaxSubexpressions) {
    RaiseRegExprError(u"No match stored for regular sub-expression #" + base::Decimal(resultType), 20053,
                      u"RegExprIndex");
  } else {
    RaiseRegExprError(u"Invalid value, parameter ResultType = " + base::Decimal(resultType), 20053, u"RegExprIndex");
  }
}

ResultValue RegExprResult(int32_t resultType) {
  if (!ModuleState().Matched) {
    RaiseRegExprError(u"No match on last call to RegExpr, or RegExpr not called at all", 20051, u"RegExprResult");
  }
  int32_t start = 0;
  int32_t length = 0;
  RegExprIndex(resultType, start, length);
  if (start <= 0) return std::monostate{};
  if (resultType == reSubexpressionCount) return static_cast<int16_t>(start);
  return SubjectSlice(start, length);
}

bool IsWholeMatch(const std::u16string& text, const std::u16string& pattern) {
  if (!RegExpr(text, pattern, 0)) return false;
  // The whole match equals the text exactly when it spans all of it.
  int32_t start = 0;
  int32_t length = 0;
  RegExprIndex(reWholeMatch, start, length);
  return start == 1 && length == static_cast<int32_t>(text.size());
}

}  // namespace modRegEx
