#pragma once

#include <cstdio>
#include <cstdlib>

// Ends the run with a crash that libFuzzer records as a finding, naming the expectation the
// input broke.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__,            \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
