// Replays the saved fuzz corpora of the HTTP response reader and the datagram
// codec with the same checks as their fuzzers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_checks.h"

namespace {

using Check = std::string (*)(const uint8_t*, size_t);

// Runs every file of the corpus folder through the check; returns how many.
size_t Replay(const std::string& folder, Check check) {
  size_t replayed = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(SENTROVA_DEVICE_CORPUS_DIR) + "/" + folder)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(check(bytes.data(), bytes.size()), "") << folder << "/" << entry.path().filename().string();
    ++replayed;
  }
  return replayed;
}

TEST(DeviceFuzzCorpus, EveryHttpAnswerReadsTheSameInAnySplitAndRoundTrips) {
  EXPECT_GE(Replay("http", device_fuzz::CheckHttpInput), 30u);
}

TEST(DeviceFuzzCorpus, EveryDatagramThatParsesRebuildsToTheSameMessage) {
  EXPECT_GE(Replay("datagram", device_fuzz::CheckDatagramInput), 30u);
}

}  // namespace
