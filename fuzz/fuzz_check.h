// What a fuzz target does when a property fails: stop loudly, so that both
// libFuzzer and the corpus replay report it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KT_FUZZ_CHECK(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
