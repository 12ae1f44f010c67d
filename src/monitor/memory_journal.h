#pragma once

#include <deque>

#include "ports/journal.h"

namespace nms::monitor {

// A journal kept in memory: the station's own when no journal file can be used, and the tests'.
class MemoryJournal : public ports::EventJournal {
public:
    bool append(const std::vector<ports::JournalEvent>& batch) override;
    std::vector<ports::JournalEvent> query(std::int64_t sinceUnixMs,
                                           const std::string& mac) override;
    void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) override;
    const std::string& error() const override { return error_; }
    // Makes the next appends fail (tests).
    int failAppends = 0;
    std::size_t size() const { return events_.size(); }

private:
    std::deque<ports::JournalEvent> events_;
    std::string error_;
};

}  // namespace nms::monitor
