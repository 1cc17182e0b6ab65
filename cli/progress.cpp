#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {

TProgress* alive = nullptr;
// Jobs that make frames at once report failures, and so clear the line,
// from their own threads.
std::mutex line_mutex;

}  // namespace

TProgress::TProgress(std::int64_t Total, bool Quiet)
    : total_(Total), enabled_(!Quiet && isatty(STDERR_FILENO)) {
    alive = this;
}

TProgress::~TProgress() {
    Clear();
    alive = nullptr;
}

void TProgress::Show(std::int64_t Done) {
    if (!enabled_) return;
    const std::lock_guard lock(line_mutex);
    char line[96];
    int width = std::snprintf(line, sizeof line, "frame %lld of %lld", static_cast<long long>(Done) + 1,
                              static_cast<long long>(total_));
    if (Done > 0) {
        const std::chrono::duration<double> elapsed = TClock::now() - started_;
        const double left = elapsed.count() / static_cast<double>(Done) * static_cast<double>(total_ - Done);
        width += std::snprintf(line + width, sizeof line - static_cast<std::size_t>(width),
                               ", about %.0f s left", left);
    }
    // Spaces wipe what a longer earlier line left behind.
    std::fprintf(stderr, "\r%s%*s", line, shown_width_ > width ? shown_width_ - width : 0, "");
    std::fflush(stderr);
    shown_width_ = width;
}

void TProgress::Clear() {
    if (!enabled_) return;
    const std::lock_guard lock(line_mutex);
    if (shown_width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", shown_width_, "");
    std::fflush(stderr);
    shown_width_ = 0;
}

void ClearProgress() {
    if (alive) alive->Clear();
}
