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
    {
        const std::lock_guard lock(events_->mutex);
        for (const auto& e : batch) events_->kept.push_back({e, events_->nextSeq++});
    }
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

std::size_t MemoryJournal::size() const {
    const std::lock_guard lock(events_->mutex);
    return events_->kept.size();
}

class MemoryJournal::Reader : public ports::JournalReader {
public:
    explicit Reader(std::shared_ptr<const Events> events) : events_(std::move(events)) {}
    ports::JournalPage read(const ports::JournalQuery& q) override { return events_->read(q); }

private:
    std::shared_ptr<const Events> events_;
};

std::unique_ptr<ports::JournalReader> MemoryJournal::openReader() {
    return std::make_unique<Reader>(events_);
}

ports::JournalPage MemoryJournal::read(const ports::JournalQuery& q) {
    ++reads;
    return events_->read(q);
}

ports::JournalPage MemoryJournal::Events::read(const ports::JournalQuery& q) const {
    const std::lock_guard lock(mutex);
    std::vector<const Kept*> found;
    for (const auto& k : kept) {
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
    const std::lock_guard lock(events_->mutex);
    auto& kept = events_->kept;
    std::erase_if(kept,
                  [beforeUnixMs](const auto& k) { return k.event.unixTimeMs < beforeUnixMs; });
    if (maxBytes <= 0) return;
    // Roughly what a row takes: its texts and its time.
    auto bytes = [](const ports::JournalEvent& e) {
        return static_cast<std::int64_t>(8 + e.mac.size() + e.name.size() + e.severity.size() +
                                         e.what.size() + e.from.size() + e.to.size() +
                                         e.detail.size());
    };
    std::int64_t total = 0;
    for (const auto& k : kept) total += bytes(k.event);
    while (total > maxBytes && !kept.empty()) {
        total -= bytes(kept.front().event);
        kept.pop_front();
    }
}

}  // namespace nms::monitor
