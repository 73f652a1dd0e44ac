#ifndef TONEBAKE_FUZZ_FUZZ_CHECK_H
#define TONEBAKE_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

// An invariant that must hold for every input, checked in every build type
// (unlike assert). A violation aborts, which the fuzzer reports as a finding.
#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

#endif  // TONEBAKE_FUZZ_FUZZ_CHECK_H
