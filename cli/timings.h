#pragma once
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

// Prints the time of each step of a command on stderr when enabled
// (--timings), and the fresh pages of memory it took (the minor page
// faults, each a first touch of a page): "load start      1.652 s   90112 pages".
class TStepTimer {
public:
    explicit TStepTimer(bool Enabled) : enabled_(Enabled), pages_(Pages()) {}

    // Prints the time since the last lap (or the start) under Step's name.
    void Lap(const char* Step) {
        const TClock::time_point now = TClock::now();
        const long pages = Pages();
        if (enabled_) {
            const std::chrono::duration<double> seconds = now - since_;
            std::fprintf(stderr, "%-12s %8.3f s %8ld pages\n", Step, seconds.count(), pages - pages_);
        }
        since_ = now;
        pages_ = pages;
    }

private:
    using TClock = std::chrono::steady_clock;
    static long Pages() {
        rusage usage{};
        return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_minflt : 0;
    }
    bool enabled_;
    TClock::time_point since_ = TClock::now();
    long pages_;
};
