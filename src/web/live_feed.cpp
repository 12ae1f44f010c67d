#include "web/live_feed.h"

#include <algorithm>
#include <string_view>

namespace nms::web {

struct LiveFeed::Reader : ports::HttpStream {
    explicit Reader(LiveFeed* owner) : feed(owner) {}
    std::optional<std::string> next() override {
        std::unique_lock lock(feed->mutex_);
        if (!greeted) {
            greeted = true;
            // The browser tries again two seconds after losing the station.
            return std::string("retry: 2000\n\n");
        }
        using Clock = std::chrono::steady_clock;
        const auto now = Clock::now();
        if (lastBeat == Clock::time_point{}) lastBeat = now;
        const auto beatDue = lastBeat + feed->heartbeat_;
        feed->wake_.wait_until(lock, std::min(beatDue, now + feed->keepAlive_),
                               [&] { return feed->closed_ || overflowed || !queue.empty(); });
        if (feed->closed_ || overflowed) return std::nullopt;
        if (queue.empty()) {
            if (Clock::now() < beatDue) return std::string(": keep-alive\n\n");
            lastBeat = Clock::now();
            return std::string("event: heartbeat\ndata: {}\n\n");
        }
        std::string out;
        for (auto& m : queue) out += m;
        queue.clear();
        queuedBytes = 0;
        return out;
    }

    // The server that calls next() is stopped before the feed goes (HttpHandler::closeStreams).
    LiveFeed* feed;
    std::deque<std::string> queue;
    std::size_t queuedBytes = 0;
    bool overflowed = false;
    bool greeted = false;
    std::chrono::steady_clock::time_point lastBeat{};
};

LiveFeed::LiveFeed(std::chrono::milliseconds heartbeat, std::chrono::milliseconds keepAlive)
    : heartbeat_(heartbeat),
      keepAlive_(keepAlive),
      epoch_(std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count())) {}

LiveFeed::~LiveFeed() {
    close();
}

std::shared_ptr<ports::HttpStream> LiveFeed::join(const std::string& lastEventId) {
    std::lock_guard lock(mutex_);
    if (closed_) return nullptr;
    std::erase_if(readers_, [](const auto& r) { return r.expired(); });
    if (readers_.size() >= kMaxReaders) return nullptr;
    auto reader = std::make_shared<Reader>(this);
    readers_.push_back(reader);
    if (lastEventId.empty()) return reader;
    // Resuming: what came after that event, if it is still kept; else the page reloads.
    const auto dash = lastEventId.find('-');
    std::uint64_t last = 0;
    bool known = dash != std::string::npos && lastEventId.substr(0, dash) == epoch_;
    if (known) {
        const std::string n = lastEventId.substr(dash + 1);
        known =
            !n.empty() && n.size() < 20 && n.find_first_not_of("0123456789") == std::string::npos;
        if (known) last = std::stoull(n);
    }
    const std::uint64_t oldest = history_.empty() ? nextId_ : history_.front().first;
    if (!known || last + 1 < oldest || last >= nextId_) {
        reader->queue.push_back("event: reload\ndata: {}\n\n");
        reader->queuedBytes = reader->queue.back().size();
        return reader;
    }
    for (const auto& [id, message] : history_) {
        if (id <= last) continue;
        reader->queue.push_back(message);
        reader->queuedBytes += message.size();
    }
    return reader;
}

void LiveFeed::push(const std::string& type, const std::string& json) {
    std::string_view data = json;
    while (!data.empty() && data.back() == '\n') data.remove_suffix(1);
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        const std::uint64_t id = nextId_++;
        const std::string message = "id: " + epoch_ + "-" + std::to_string(id) +
                                    "\nevent: " + type + "\ndata: " + std::string(data) + "\n\n";
        history_.emplace_back(id, message);
        historyBytes_ += message.size();
        while (history_.size() > kHistoryEvents || historyBytes_ > kMaxQueuedBytes) {
            historyBytes_ -= history_.front().second.size();
            history_.pop_front();
        }
        for (const auto& weak : readers_) {
            auto r = weak.lock();
            if (!r || r->overflowed) continue;
            if (r->queuedBytes + message.size() > kMaxQueuedBytes) {
                r->overflowed = true;
                r->queue.clear();
                r->queuedBytes = 0;
                continue;
            }
            r->queue.push_back(message);
            r->queuedBytes += message.size();
        }
    }
    wake_.notify_all();
}

void LiveFeed::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    wake_.notify_all();
}

std::size_t LiveFeed::readers() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(readers_.begin(), readers_.end(),
                                                  [](const auto& r) { return !r.expired(); }));
}

}  // namespace nms::web
