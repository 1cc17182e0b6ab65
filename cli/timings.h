#pragma once
#include <chrono>
#include <cstdio>

// Prints the time of each step of a command on stderr when enabled
// (--timings): "load start      1.652 s".
class TStepTimer {
public:
    explicit TStepTimer(bool Enabled) : enabled_(Enabled) {}

    // Prints the time since the last lap (or the start) under Step's name.
    void Lap(const char* Step) {
        const TClock::time_point now = TClock::now();
        if (enabled_) {
            const std::chrono::duration<double> seconds = now - since_;
            std::fprintf(stderr, "%-12s %8.3f s\n", Step, seconds.count());
        }
        since_ = now;
    }

private:
    using TClock = std::chrono::steady_clock;
    bool enabled_;
    TClock::time_point since_ = TClock::now();
};
