// libFuzzer entry: the engine must only ever answer or raise its own errors.
#include <cstdio>
#include <cstdlib>

#include "regex/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = regex_fuzz::CheckInput(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "pattern engine misbehaved: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
