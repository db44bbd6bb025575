#pragma once
// One fuzz input as a call of the pattern engine, shared by the libFuzzer
// target and the corpus replay test.
//
// Layout: byte 0 holds the options (low three bits, so conflicting options
// occur too), byte 1 the pattern length in characters (at most kMaxPattern),
// then the pattern's characters and the text's (at most kMaxText). A byte
// stands for the character of the same code (Latin-1); byte 0xFE picks a
// character beyond that range from the byte after it.
#include <cstddef>
#include <cstdint>
#include <string>

namespace regex_fuzz {

// The engine is exponential on nested repetition by design; short inputs keep
// each run quick.
inline constexpr size_t kMaxPattern = 32;
inline constexpr size_t kMaxText = 24;

// Runs the engine on the input and checks that it answered consistently or
// raised one of its own errors. Returns "" when it did, else what went wrong.
// Any other exception propagates.
std::string CheckInput(const uint8_t* data, size_t size);

}  // namespace regex_fuzz
