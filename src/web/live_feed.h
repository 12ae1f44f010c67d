#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ports/http.h"

namespace nms::web {

// The live feed as Server-Sent Events: the station pushes a message per health change, per
// journal row and per cycle; every reader gets each from the moment it joined, and a heartbeat
// when nothing happened for a while. Each event is numbered ("id: EPOCH-N", the epoch naming
// this run of the feed), and the latest are kept (kHistoryEvents, at most kMaxQueuedBytes): a
// browser that reconnects with Last-Event-ID gets what it missed, or a "reload" event when that
// is no longer kept or the station has restarted. Each reader's queue is bounded: a reader that
// does not keep up is ended (its browser reconnects and resumes), so a client that never reads
// costs at most kMaxQueuedBytes. Readers wait on the server's threads, never on the station's.
class LiveFeed {
public:
    static constexpr std::size_t kMaxQueuedBytes = 256 * 1024;
    // Half the server's connections at most, so that feeds never crowd out a scraper.
    static constexpr std::size_t kMaxReaders = 32;
    // Between heartbeats a comment line, which a browser ignores, keeps the connection from
    // being closed as idle by the server (after 10 s).
    static constexpr std::chrono::milliseconds kKeepAlive{5000};
    static constexpr std::size_t kHistoryEvents = 1000;

    explicit LiveFeed(std::chrono::milliseconds heartbeat = std::chrono::seconds(15),
                      std::chrono::milliseconds keepAlive = kKeepAlive);
    ~LiveFeed();
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    // A new reader, resuming after `lastEventId` when it is given; null once the feed is closed
    // or full.
    std::shared_ptr<ports::HttpStream> join(const std::string& lastEventId = {});
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
    std::string epoch_;  // tells this run's numbers from an earlier run's
    std::uint64_t nextId_ = 1;
    std::deque<std::pair<std::uint64_t, std::string>> history_;
    std::size_t historyBytes_ = 0;
};

}  // namespace nms::web
