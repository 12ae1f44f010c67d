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

void MemoryJournal::prune(std::int64_t beforeUnixMs) {
    std::erase_if(events_, [beforeUnixMs](const auto& e) { return e.unixTimeMs < beforeUnixMs; });
}

}  // namespace nms::monitor
