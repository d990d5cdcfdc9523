// FUZZ_CHECK: an invariant a fuzz target asserts. A failure prints the
// condition and its place and aborts, which libFuzzer reports as a crash and
// saves the input that caused it. Unlike assert it stays active in every
// build type.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)
