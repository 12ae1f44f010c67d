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
    for (const auto& e : batch) events_.push_back({e, nextSeq_++});
    if (!batch.empty()) ++appended_;
    return true;
}

void MemoryJournal::appendLater(std::vector<ports::JournalEvent> batch,
                                std::function<void(bool)> done) {
    if (!writesWait) {
        done(append(batch));
        return;
    }
    later_.emplace_back(std::move(batch), std::move(done));
}

void MemoryJournal::finishWrites() {
    for (std::size_t n = later_.size(); n > 0; --n) {
        auto [batch, done] = std::move(later_.front());
        later_.pop_front();
        done(append(batch));
    }
}

ports::JournalPage MemoryJournal::read(const ports::JournalQuery& q) {
    ++reads;
    std::vector<const Kept*> found;
    for (const auto& k : events_) {
        const ports::JournalEvent& e = k.event;
        const ports::JournalPosition at{e.unixTimeMs, k.seq};
        if (e.unixTimeMs < q.sinceUnixMs || (!q.mac.empty() && e.mac != q.mac) ||
            (!q.severity.empty() && e.severity != q.severity) ||
            (!q.severities.empty() && std::find(q.severities.begin(), q.severities.end(),
                                                e.severity) == q.severities.end()) ||
            (q.before && !(at < *q.before)) || (q.after && !(at > *q.after)) ||
            (q.writtenAfter && k.seq <= *q.writtenAfter))
            continue;
        found.push_back(&k);
    }
    const bool byWriting = q.writtenAfter.has_value();
    const auto newer = [byWriting](const Kept* a, const Kept* b) {
        if (byWriting) return a->seq > b->seq;
        return ports::JournalPosition{a->event.unixTimeMs, a->seq} >
               ports::JournalPosition{b->event.unixTimeMs, b->seq};
    };
    const std::size_t n = q.limit > 0 ? std::min(q.limit, found.size()) : found.size();
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n), found.end(),
                      newer);
    ports::JournalPage page;
    page.events.reserve(n);
    page.seqs.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        page.events.push_back(found[i]->event);
        page.seqs.push_back(found[i]->seq);
    }
    return page;
}

void MemoryJournal::prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
    std::erase_if(events_,
                  [beforeUnixMs](const auto& k) { return k.event.unixTimeMs < beforeUnixMs; });
    if (maxBytes <= 0) return;
    // Roughly what a row takes: its texts and its time.
    auto bytes = [](const ports::JournalEvent& e) {
        return static_cast<std::int64_t>(8 + e.mac.size() + e.name.size() + e.severity.size() +
                                         e.what.size() + e.from.size() + e.to.size() +
                                         e.detail.size());
    };
    std::int64_t total = 0;
    for (const auto& k : events_) total += bytes(k.event);
    while (total > maxBytes && !events_.empty()) {
        total -= bytes(events_.front().event);
        events_.pop_front();
    }
}

}  // namespace nms::monitor
