// A harness's own finding: says what was wrong and aborts, which libFuzzer
// reports like a crash and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition, what)                                                  \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "FINDING at %s:%d: %s\n  (%s)\n", __FILE__, __LINE__, what, \
                   #condition);                                                        \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)
