#pragma once
// The engine's inner routines and module state, for its own tests. The rest of
// the program uses modRegEx.h only.
//
// Texts handed to the matcher are views of suffixes of the module's subject:
// the current position is derived from how much of the subject is left.
// Routines that the engine describes as shortening their argument take a view
// by reference and shorten it; what they return is a view into that argument.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/modRegEx.h"

namespace modRegEx::detail {

inline constexpr int16_t kMaxSubexpressions = 31;
inline constexpr int16_t kMaxNestingDepth = 1000;
// The start position is a 16-bit counter.
inline constexpr size_t kMaxTextLength = 32766;
// Characters that the attempt patterns of one RegExpr call may hold at once
// (they live along the current recursion path); beyond it the call fails with
// an engine error instead of exhausting memory.
inline constexpr size_t kMaxWorkingPatternChars = size_t{1} << 24;
// Attempt buffers that have grown beyond this in all are given back to the
// system at the next RegExpr call.
inline constexpr size_t kMaxRetainedAttemptChars = size_t{1} << 20;

inline constexpr char16_t kCR = u'\r';
inline constexpr char16_t kLF = u'\n';

// The classes that "\w" and "\s" stand for, without their brackets.
inline constexpr std::u16string_view kWordClassText = u"a-zA-Z0-9_\u0080\uF8F8";
inline constexpr std::u16string_view kSpaceClassText = u" \\n\t\r\n";

struct SubMatch {
  int16_t Closed = 0;  // 16-bit truth value: -1 or 0
  int32_t Start = 0;
  int32_t End = 0;
  int16_t OpenDepth = 0;  // non-zero once opened
  int16_t CloseDepth = 0;
  bool operator==(const SubMatch&) const = default;
};

struct State {
  bool Matched = false;
  int32_t MatchStart = 0;
  int32_t MatchEnd = 0;
  std::u16string Subject;
  std::array<SubMatch, kMaxSubexpressions + 1> SubMatches{};  // index 0 unused
  int16_t SubexpressionCount = 0;
  int16_t Depth = 0;
  int32_t Options = 0;
  // Entries saved by the DoRegExpr frames on the current path, kept here
  // rather than on the C++ stack so that deep nesting stays within small stacks.
  std::vector<SubMatch> SavedMatches;
  size_t WorkingPatternChars = 0;
  // One reusable buffer per nesting level for the attempt patterns that level
  // builds, and how many characters they hold allocated in all.
  std::vector<std::u16string> AttemptBuffers = std::vector<std::u16string>(kMaxNestingDepth + 2);
  size_t AttemptBufferChars = 0;
  // The last long group scanned and the groups found inside it (offset,
  // length): a later scan of a text that starts with one of them is answered
  // by comparing characters. Matching scans each nested copy that brace
  // expansion makes, "(X(X(X)?)?)?", in turn.
  std::u16string ScannedGroup;
  std::vector<std::pair<size_t, size_t>> ScannedInnerGroups;
  std::vector<size_t> ScanOpenings;
};

// The one module-wide state.
extern State gModuleState;
inline State& ModuleState() { return gModuleState; }

// Matching (driver and atoms).
bool FindMatch(std::u16string_view text, std::u16string_view pattern);
// A caller that built the pattern from its first atom may pass that atom's
// length, which spares scanning it again; 0 means not known.
bool DoRegExpr(std::u16string_view& text, std::u16string_view pattern, size_t firstAtomLength = 0);
bool MatchAtom(std::u16string_view& text, std::u16string_view atom);
bool MatchSquareBrackets(std::u16string_view& text, std::u16string_view atom);
void OpenMatch(std::u16string_view text, std::u16string_view& atom, int16_t depth);
void CloseMatch(std::u16string_view text, std::u16string_view& atom, int16_t depth);
void RestoreMatches(const SubMatch* saved, int16_t count);
bool AtTextStart(std::u16string_view text);
std::u16string_view TextBefore(std::u16string_view text, size_t n);
std::u16string_view MatchedText(int16_t k);
// The single attempt pattern of a brace-quantified element X followed by R;
// quantifier is the brace text with its optional lazy "?".
std::u16string ExpandBraces(std::u16string_view x, std::u16string_view quantifier, std::u16string_view rest);

// Parsing.
std::u16string ExpandEspaces(std::u16string_view pattern);
std::u16string ProcessParentheses(std::u16string_view expanded);
std::u16string_view GetNextRegExpr(std::u16string_view& pattern, std::u16string_view& quantifier,
                                   size_t knownAtomLength = 0);
bool IsQuantifier(std::u16string_view text);
std::u16string_view GetQuantifier(std::u16string_view& text);
std::u16string_view GetBraces(std::u16string_view& text);
std::u16string_view GetParentheses(std::u16string_view& text);
std::u16string_view GetSquareBrackets(std::u16string_view& text);
bool SplitAlternatives(std::u16string_view& pattern, std::u16string_view& right);
std::u16string_view SplitAt(std::u16string_view& text, std::u16string_view separator);
std::u16string CharToPattern(int code);
void CreateMatch();
char16_t MarkerChar(int16_t k);
int16_t MarkerNumber(std::u16string_view s);
std::u16string RemoveMarkers(std::u16string_view pattern);

// State.
void ClearMatches();

// Lower-casing as the ignore-case option compares characters.
char16_t LowerChar(char16_t c);

}  // namespace modRegEx::detail
