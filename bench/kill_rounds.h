#pragma once

// What the kill -9 benchmarks share: a folder of their own under /tmp, the monotonic clock, a
// child killed at a chosen moment, the temporaries an interrupted save left, and the closing
// verdict. Each benchmark is a scenario program that prints what it found.

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace nms::bench {

// Monotonic time in nanoseconds.
inline std::int64_t nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline std::int64_t nowMs() {
    return nowNs() / 1000000;
}

// Waits until `ms` have passed since `sinceMs`.
inline void waitUntil(std::int64_t sinceMs, std::int64_t ms) {
    while (nowMs() - sinceMs < ms) ::usleep(1000);
}

// Kills `pid` with SIGKILL and reaps it; true when the kill ended it (it had not ended already).
inline bool killAndReap(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// The files of `dir` whose names begin with `prefix`: the temporaries a save left.
inline int filesStartingWith(const std::string& dir, const std::string& prefix) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
    return n;
}

// A folder of the benchmark's own under /tmp ("/tmp/nms-NAME-XXXXXX"), removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) {
        std::string pattern = "/tmp/nms-" + name + "-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The closing line ("N of M rounds WHAT", marked when a round failed) and the exit status.
inline int verdict(int rounds, int failures, const std::string& what) {
    std::printf("\n%d of %d rounds %s%s\n", rounds - failures, rounds, what.c_str(),
                failures ? "  <-- FAILED" : "");
    return failures ? 1 : 0;
}

}  // namespace nms::bench
