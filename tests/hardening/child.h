#pragma once
// Runs a piece of a test in a forked child: for limits and identities that
// must not touch the test process (file size limit, another user) and for
// calls that might block forever.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

namespace hardening {

// Runs `body` in a child process and returns the text it returned, or
// "timeout" when it has not finished after `seconds`, or "died" when it ended
// without giving its text (a crash).
inline std::string InChild(const std::function<std::string()>& body, int seconds) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        close(fds[0]);
        std::string text = body() + "\n";  // the newline tells a whole text
        for (std::size_t done = 0; done < text.size();) {
            ssize_t n = write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timed_out = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) == 0) {
            timed_out = true;
            break;
        }
        char buf[4096];
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (timed_out) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (timed_out) return "timeout";
    if (text.empty() || text.back() != '\n') return "died";
    text.pop_back();
    return text;
}

}  // namespace hardening
