#pragma once
#include <unistd.h>

// Closes a file descriptor when it goes.
struct TFdCloser {
    explicit TFdCloser(int Fd) : fd(Fd) {}
    int fd;
    TFdCloser(const TFdCloser&) = delete;
    TFdCloser& operator=(const TFdCloser&) = delete;
    ~TFdCloser() { ::close(fd); }
};
