#pragma once

#include "common/Settings.h"

#include <cstdio>
#include <cstdint>
#include <utility>

#include <time.h>

namespace bench {

// Limits high enough that the trees, not the settings, bound what a benchmark adds.
inline Settings roomySettings()
{
    Settings settings = defaultSettings();
    settings.MaxPages = 32767;
    settings.MaxDomain = 32767;
    settings.MaxFiles = 32767;
    return settings;
}

// Deterministic xorshift generator so every run measures the same pages.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed ? seed : 1) {}

    std::uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }

    // A value in [0, bound).
    std::uint32_t below(std::uint32_t bound) { return std::uint32_t(next() % bound); }

private:
    std::uint64_t m_state;
};

// The benchmarks share two cores with other work, so they time the CPU this
// thread used (user and system, page faults included) rather than the wall
// clock, which counts the time other processes held the core.
struct Clock
{
    using time_point = double;

    static time_point now()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
};

inline double secondsSince(Clock::time_point start)
{
    return Clock::now() - start;
}

// Runs `round` (which prepares untimed and returns the seconds of its timed part)
// at least `minRounds` times and until `minSeconds` of timed work have passed;
// returns the fastest round, the figure least disturbed by other work on the machine.
template<typename Round>
double fastestRound(Round &&round, int minRounds = 3, double minSeconds = 1.0)
{
    double best = 1e300;
    double total = 0;
    for (int i = 0; i < minRounds || total < minSeconds; ++i) {
        const double seconds = round();
        total += seconds;
        if (seconds < best)
            best = seconds;
        if (i >= 1000)
            break;
    }
    return best;
}

inline const char *verdict(double value, double target)
{
    return value >= target ? "ok" : "BELOW TARGET";
}

} // namespace bench
