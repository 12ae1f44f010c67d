#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace nms::platform {

// Who may hold the server's connections, so that a few hostile hosts cannot blind it:
// - a request (line, headers and any body) must arrive whole within `headTime` of the
//   connection's opening or of the previous answer, however steadily its bytes trickle in;
//   past that the connection is shut;
// - an address that holds none is let in while any connection is free; one that holds some
//   only while `reserved` remain free and it holds fewer than `perAddress`;
// - when that leaves no room, the slowest request still arriving from the address holding the
//   most is shut for the newcomer, provided that address holds more than the newcomer's.
// Called from the server's threads; a watchdog thread of its own shuts what overstays.
class ConnectionGuard {
public:
    struct Limits {
        unsigned maxConnections = 64;
        unsigned perAddress = 32;
        unsigned reserved = 16;
        std::chrono::milliseconds headTime{5000};
    };

    explicit ConnectionGuard(Limits limits);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // Before a connection from `address` is taken: whether to take it.
    bool admit(const std::string& address);
    // A connection taken (`key` names it until closed()), its socket `fd`.
    void opened(const void* key, const std::string& address, int fd);
    // Its request is whole: it is being answered, with no time bound but the server's own.
    void answering(const void* key);
    // Its answer is sent: the next request's time starts.
    void answered(const void* key);
    // Closed: its socket is no longer ours to shut (called before the server closes it).
    void closed(const void* key);

private:
    using Clock = std::chrono::steady_clock;
    struct Connection {
        std::string address;
        int fd = -1;
        Clock::time_point deadline;  // max(): being answered
        Clock::time_point since;     // when the request now arriving began to be awaited
        bool shut = false;           // shut by us, no longer counted
    };
    void shut(Connection& c);  // with mutex_ held
    unsigned heldBy(const std::string& address) const;
    void watch();

    Limits limits_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<const void*, Connection> connections_;
    unsigned counted_ = 0;  // connections not shut by us
    bool stopping_ = false;
    std::thread watchdog_;
};

}  // namespace nms::platform
