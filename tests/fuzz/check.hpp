#pragma once
// A check for fuzz targets: on failure it names the condition and aborts, so
// that libFuzzer keeps the input as a crash artifact.

#include <cstdio>
#include <cstdlib>

#define HALVEX_FUZZ_CHECK(condition)                                                        \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (false)
