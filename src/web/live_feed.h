#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ports/http.h"

namespace nms::web {

// The live feed as Server-Sent Events: the station pushes a message per health change, per
// journal row and per cycle; every reader gets each from the moment it joined, and a heartbeat
// when nothing happened for a while. Each reader's queue is bounded: a reader that does not
// keep up is ended (its browser reconnects and reloads), so a client that never reads costs at
// most kMaxQueuedBytes. Readers wait on the server's threads, never on the station's.
class LiveFeed {
public:
    static constexpr std::size_t kMaxQueuedBytes = 256 * 1024;
    // Half the server's connections at most, so that feeds never crowd out a scraper.
    static constexpr std::size_t kMaxReaders = 32;
    // Between heartbeats a comment line, which a browser ignores, keeps the connection from
    // being closed as idle by the server (after 10 s).
    static constexpr std::chrono::milliseconds kKeepAlive{5000};

    explicit LiveFeed(std::chrono::milliseconds heartbeat = std::chrono::seconds(15),
                      std::chrono::milliseconds keepAlive = kKeepAlive);
    ~LiveFeed();
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    // A new reader; null once the feed is closed or full.
    std::shared_ptr<ports::HttpStream> join();
    // One event to every reader: `type` names it, `json` is its data on one line.
    void push(const std::string& type, const std::string& json);
    // Every reader's next() ends; no reader joins any more.
    void close();
    std::size_t readers() const;

    struct Reader;

private:
    friend struct Reader;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::weak_ptr<Reader>> readers_;
    std::chrono::milliseconds heartbeat_;
    std::chrono::milliseconds keepAlive_;
    bool closed_ = false;
};

}  // namespace nms::web
