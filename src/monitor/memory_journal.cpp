#include "monitor/memory_journal.h"

#include <algorithm>

namespace nms::monitor {

bool MemoryJournal::append(const std::vector<ports::JournalEvent>& batch) {
    if (failAppends > 0) {
        --failAppends;
        error_ = "the journal cannot be written";
        return false;
    }
    error_.clear();
    events_.insert(events_.end(), batch.begin(), batch.end());
    return true;
}

std::vector<ports::JournalEvent> MemoryJournal::query(std::int64_t sinceUnixMs,
                                                      const std::string& mac) {
    std::vector<ports::JournalEvent> out;
    for (auto it = events_.rbegin(); it != events_.rend(); ++it)
        if (it->unixTimeMs >= sinceUnixMs && (mac.empty() || it->mac == mac)) out.push_back(*it);
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.unixTimeMs > b.unixTimeMs; });
    return out;
}

void MemoryJournal::prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
    std::erase_if(events_, [beforeUnixMs](const auto& e) { return e.unixTimeMs < beforeUnixMs; });
    if (maxBytes <= 0) return;
    // Roughly what a row takes: its texts and its time.
    auto bytes = [](const ports::JournalEvent& e) {
        return static_cast<std::int64_t>(8 + e.mac.size() + e.name.size() + e.severity.size() +
                                         e.what.size() + e.from.size() + e.to.size() +
                                         e.detail.size());
    };
    std::int64_t total = 0;
    for (const auto& e : events_) total += bytes(e);
    while (total > maxBytes && !events_.empty()) {
        total -= bytes(events_.front());
        events_.pop_front();
    }
}

}  // namespace nms::monitor
