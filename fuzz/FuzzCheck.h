#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise of the code under test: says which one on standard error and
// aborts, so libFuzzer keeps the input that did it.
[[noreturn]] inline void fuzzFailed(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? void() : fuzzFailed(#condition, __FILE__, __LINE__))
