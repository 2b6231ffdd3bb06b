#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant: the fuzzer reports the input that broke it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond);                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
