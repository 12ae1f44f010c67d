#include "platform/service_manager.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nms::platform {

bool notifyServiceManager(const std::string& state) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || !*path) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path, length);
    // A name beginning with "@" is in the abstract namespace.
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    const auto sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&address), size);
    ::close(fd);
    return sent == static_cast<ssize_t>(state.size());
}

std::int64_t watchdogFeedIntervalMs() {
    const char* usec = std::getenv("WATCHDOG_USEC");
    if (!usec) return 0;
    if (const char* pid = std::getenv("WATCHDOG_PID"); pid && std::atoll(pid) != ::getpid()) return 0;
    const long long us = std::atoll(usec);
    return us > 0 ? us / 2000 : 0;
}

namespace {
// JOURNAL_STREAM is "DEVICE:INODE" of the stream systemd connected; stderr is that stream only
// when they match (a redirect in between makes it a file again).
bool stderrIsJournal() {
    static const bool journal = [] {
        const char* stream = std::getenv("JOURNAL_STREAM");
        if (!stream) return false;
        unsigned long long device = 0, inode = 0;
        if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
        struct stat st {};
        return ::fstat(STDERR_FILENO, &st) == 0 && st.st_dev == device && st.st_ino == inode;
    }();
    return journal;
}
}  // namespace

void logLine(LogPriority priority, const std::string& text) {
    if (stderrIsJournal())
        std::fprintf(stderr, "<%d>%s\n", static_cast<int>(priority), text.c_str());
    else
        std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace nms::platform
