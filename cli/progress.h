#pragma once
#include <chrono>
#include <cstdint>

// "frame k of n, about 12 s left" on one line of stderr, rewritten in place,
// and only when stderr is a terminal: a pipe or a file gets nothing. One at a
// time; every message to stderr calls ClearProgress() first. Show and Clear
// may be called from several threads.
class TProgress {
public:
    // Shows nothing when Quiet or when stderr is not a terminal.
    TProgress(std::int64_t Total, bool Quiet);
    // Clears the line.
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    // Shows that item Done + 1 is under way, with an estimate of the time
    // left from the pace of the Done items before it.
    void Show(std::int64_t Done);
    // Removes the line, so other output starts on a clean line.
    void Clear();

private:
    using TClock = std::chrono::steady_clock;
    std::int64_t total_;
    bool enabled_;
    int shown_width_ = 0;  // characters on the line now
    TClock::time_point started_ = TClock::now();
};

// Clears the line of the TProgress that is alive, if any, so that a message
// does not run on from it.
void ClearProgress();
