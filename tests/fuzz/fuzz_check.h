#pragma once

// A property a fuzz target checks. A broken one aborts like a sanitizer finding, so libFuzzer
// keeps the input that broke it and prints where.

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzz_property_broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : fuzz_property_broken(#condition, __FILE__, __LINE__))
