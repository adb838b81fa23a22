// The benchmarks' one clock and one way of comparing. Every time is taken on the monotonic
// clock (steady_clock; a process's CPU time beside it where a figure says CPU), ours and its
// anchor run round by round in one process, the first of the two taking turns so that neither
// always finds the caches the other warmed, and each round's ratio is kept: a figure is the
// median of its rounds' ratios with their spread (lowest to highest), printed in one form that
// bench/rerun.sh reads:
//
//   figure <key>: ratio <median> (<low>-<high>) | ours <median> <unit> (<low>-<high>) | anchor <median> <unit> (<low>-<high>) | <n> rounds
//   figure <key>: <median> <unit> (<low>-<high>) | <n> rounds          (a figure without an anchor)
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
inline double MsSince(Clock::time_point start) { return Ms(Clock::now() - start); }

// The CPU time of the whole process (every thread of it), in ms.
inline double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One timed piece of work, in ms: its wall time and the process's CPU time meanwhile.
struct Sample {
    double wall = 0, cpu = 0;
};

template <class Work>
Sample Time(Work&& work)
{
    const double cpu0 = CpuMs();
    const Clock::time_point wall0 = Clock::now();
    work();
    return {MsSince(wall0), CpuMs() - cpu0};
}

struct Spread {
    double median = 0, low = 0, high = 0;
};

inline Spread SpreadOf(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
}

inline double Median(std::vector<double> v) { return SpreadOf(std::move(v)).median; }

// Runs `rounds` rounds of ours and the anchor, ours first in even rounds and second in odd ones.
// Each is called with the round's number and keeps its own samples; false from either stops.
template <class Ours, class Anchor>
bool Alternate(int rounds, Ours&& ours, Anchor&& anchor)
{
    for (int round = 0; round < rounds; ++round) {
        const bool ok = round % 2 == 0 ? ours(round) && anchor(round) : anchor(round) && ours(round);
        if (!ok)
            return false;
    }
    return true;
}

// Three significant figures without an exponent.
inline std::string Number(double v)
{
    const double a = v < 0 ? -v : v;
    char text[32];
    std::snprintf(text, sizeof text, a >= 100 ? "%.0f" : a >= 10 ? "%.1f" : a >= 1 ? "%.2f" : "%.3g", v);
    return text;
}

inline std::string Spelled(const Spread& s, const char* unit)
{
    return Number(s.median) + (*unit ? " " : "") + unit + " (" + Number(s.low) + "-" + Number(s.high) + ")";
}

// A figure without an anchor.
inline void PrintFigure(const std::string& key, const std::vector<double>& values, const char* unit)
{
    std::printf("figure %s: %s | %zu rounds\n", key.c_str(), Spelled(SpreadOf(values), unit).c_str(), values.size());
    std::fflush(stdout);
}

// A figure of ours against its anchor, round by round (ours[i] and anchor[i] of one round).
inline void PrintRatio(const std::string& key, const std::vector<double>& ours, const std::vector<double>& anchor,
                       const char* unit)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < anchor.size(); ++i)
        if (anchor[i] > 0)
            ratios.push_back(ours[i] / anchor[i]);
    std::printf("figure %s: ratio %s | ours %s | anchor %s | %zu rounds\n", key.c_str(), Spelled(SpreadOf(ratios), "").c_str(),
                Spelled(SpreadOf(ours), unit).c_str(), Spelled(SpreadOf(anchor), unit).c_str(), ratios.size());
    std::fflush(stdout);
}

}  // namespace bench
