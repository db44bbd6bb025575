#pragma once
// A test that cannot run on this machine (no root, no network namespaces)
// is skipped, except in a run that must run everything: the test command
// sets SENTROVA_NO_SKIPS, and there such a test fails instead, so a green
// run never hides a test that did not run.
#include <gtest/gtest.h>

#include <cstdlib>

#define SENTROVA_SKIP(message)                                        \
  do {                                                                \
    if (std::getenv("SENTROVA_NO_SKIPS") != nullptr) {                \
      GTEST_FAIL() << "this run allows no skipped test: " << message; \
    }                                                                 \
    GTEST_SKIP() << message;                                          \
  } while (false)
