// Replays the saved fuzz corpus with the same checks as the fuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "regex/fuzz_input.h"

namespace {

TEST(FuzzCorpus, EveryInputGetsAnAnswerOrAnEngineError) {
  size_t replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SENTROVA_REGEX_CORPUS_DIR)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(regex_fuzz::CheckInput(bytes.data(), bytes.size()), "") << entry.path().filename();
    ++replayed;
  }
  EXPECT_GE(replayed, 20u);
}

}  // namespace
