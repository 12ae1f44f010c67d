#pragma once

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "ports/journal.h"

namespace nms::monitor {

// A journal kept in memory: the station's own when no journal file can be used, and the tests'.
// It reads at once.
class MemoryJournal : public ports::EventJournal {
public:
    bool append(const std::vector<ports::JournalEvent>& batch) override;
    // At once, unless writesWait: then kept until finishWrites() or settle().
    void appendLater(std::vector<ports::JournalEvent> batch,
                     std::function<void(bool)> done) override;
    void settle() override {
        while (!later_.empty()) finishWrites();
    }
    std::uint64_t appended() const override { return appended_; }
    ports::JournalPage read(const ports::JournalQuery& query) override;
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
    std::size_t size() const { return events_.size(); }

private:
    struct Kept {
        ports::JournalEvent event;
        std::int64_t seq;
    };
    std::deque<Kept> events_;
    std::deque<std::pair<std::vector<ports::JournalEvent>, std::function<void(bool)>>> later_;
    std::int64_t nextSeq_ = 1;
    std::uint64_t appended_ = 0;
    std::string error_;
};

}  // namespace nms::monitor
