// The independent tools the interop tests run. A missing tool skips the test on a developer's
// machine, but fails it where CI is set: the dependency script installs every tool, so a missing
// one there means the check did not run.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../store/StoreTestSupport.h"

namespace interop {

inline bool haveTool(const std::string& probe) {
  std::string out;
  return storetest::runCommand(probe + " >/dev/null 2>&1", out) == 0;
}

inline bool underCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0';
}

inline const char* kPython = "/usr/bin/python3";

}  // namespace interop

// Skips (or, under CI, fails) the current test when the probe command does not succeed.
#define REQUIRE_TOOL(probe)                                                           \
  do {                                                                                \
    if (!::interop::haveTool(probe)) {                                                \
      if (::interop::underCi()) FAIL() << "tool not installed under CI: " << (probe); \
      GTEST_SKIP() << "tool not installed: " << (probe);                              \
    }                                                                                 \
  } while (false)
