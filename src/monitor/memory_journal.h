#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "ports/journal.h"

namespace nms::monitor {

// A journal kept in memory: the station's own when no journal file can be used, and the tests'.
// It reads at once. Its readers share its events under a lock, and keep them while they are open.
class MemoryJournal : public ports::EventJournal {
public:
    MemoryJournal() = default;
    MemoryJournal(const MemoryJournal&) = delete;
    MemoryJournal& operator=(const MemoryJournal&) = delete;
    bool append(const std::vector<ports::JournalEvent>& batch) override;
    // At once, unless writesWait: then kept until finishWrites() or settle().
    void appendLater(std::vector<ports::JournalEvent> batch,
                     std::function<void(bool)> done) override;
    void settle() override {
        while (!later_.empty()) finishWrites();
    }
    std::uint64_t appended() const override { return appended_; }
    ports::JournalPage read(const ports::JournalQuery& query) override;
    std::unique_ptr<ports::JournalReader> openReader() override;
    void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) override;
    const std::string& error() const override { return error_; }
    // Makes the next appends fail (tests).
    int failAppends = 0;
    // Makes appends later wait until finishWrites(), as a journal written beside the station
    // (tests).
    bool writesWait = false;
    // Appends what waits (not what the answers give), in order, and answers each.
    void finishWrites();
    std::size_t writesWaiting() const { return later_.size(); }
    // Reads so far, at once or later (tests).
    int reads = 0;
    std::size_t size() const;

private:
    struct Kept {
        ports::JournalEvent event;
        std::int64_t seq;
    };
    struct Events {
        mutable std::mutex mutex;
        std::deque<Kept> kept;
        std::int64_t nextSeq = 1;
        ports::JournalPage read(const ports::JournalQuery& query) const;
    };
    class Reader;
    std::shared_ptr<Events> events_ = std::make_shared<Events>();
    std::deque<std::pair<std::vector<ports::JournalEvent>, std::function<void(bool)>>> later_;
    std::uint64_t appended_ = 0;
    std::string error_;
};

}  // namespace nms::monitor
