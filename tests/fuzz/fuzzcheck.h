#pragma once

#include <cstdio>
#include <cstdlib>

// A property the target checks: a broken one aborts, which libFuzzer reports
// as a crash and keeps the input.
#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)
