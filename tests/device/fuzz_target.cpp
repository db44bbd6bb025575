// libFuzzer entry for one check of fuzz_checks.h, named at build time by
// SENTROVA_FUZZ_CHECK.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = device_fuzz::SENTROVA_FUZZ_CHECK(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", SENTROVA_FUZZ_NAME, problem.c_str());
    std::abort();
  }
  return 0;
}
