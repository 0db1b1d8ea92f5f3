// What a fuzz target does when a property fails: stop loudly, so that both
// libFuzzer and the corpus replay report it.
#pragma once

#include <QCoreApplication>

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

// The targets that need an event loop make their application once; the
// replay program has made one already.
inline void EnsureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "fuzzer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}
