// The plant monitor's side of the event journal: the batch of a cycle, written once per cycle,
// kept (bounded) while the journal cannot be written, and tried again with a back-off.

#include "monitor/plant_monitor.h"

#include <algorithm>

#include "protocol/text.h"

namespace nms::monitor {

void PlantMonitor::note(ports::JournalEvent event) {
    if (event.unixTimeMs == 0) event.unixTimeMs = context_.clock().unixTimeMs();
    keep(std::move(event));
    ++revision_;
    // Outside a cycle nothing else would write it soon.
    if (!inCycle_) writeJournal(false);
}

bool PlantMonitor::acknowledge(const std::string& mac, const std::string& who) {
    if (!acknowledgeable(mac)) return false;
    Element& e = elements_[byMac_.at(mac)];
    e.acknowledged = true;
    e.acknowledgedBy = who.empty() ? std::string("operator") : who;
    e.acknowledgedAtUnixMs = context_.clock().unixTimeMs();
    note({e.acknowledgedAtUnixMs, e.mac, e.name, "info", "acknowledged", healthWord(e.health),
          std::string(healthWord(e.health)) + " acknowledged",
          "Acknowledged by " + e.acknowledgedBy + ": " + e.reason});
    return true;
}

bool PlantMonitor::acknowledgeable(const std::string& mac) const {
    const Element* e = find(mac);
    return e && !e->acknowledged && e->health != Health::Unknown && e->health != Health::Online;
}

PlantMonitor::HealthCounts PlantMonitor::counts() const {
    HealthCounts c;
    for (const auto& e : elements_) {
        if (e.acknowledged) ++c.acknowledged;
        switch (e.health) {
            case Health::Online: ++c.online; break;
            case Health::Warning: ++c.warning; break;
            case Health::Alarm: ++c.alarm; break;
            case Health::Offline: ++c.offline; break;
            case Health::Unknown: ++c.unknown; break;
        }
    }
    return c;
}

void PlantMonitor::sayJournal(const std::string& text) {
    journalNotice(text);
}

void PlantMonitor::keep(ports::JournalEvent event) {
    if (batch_.size() >= kMaxPendingEvents) {
        batch_.pop_front();
        ++journalDropped_;
    }
    batch_.push_back(std::move(event));
}

void PlantMonitor::writeJournal(bool force) {
    if (batch_.empty()) return;
    const std::int64_t now = context_.clock().monotonicMs();
    if (journalDown_ && !force && now < journalRetryAtMs_) return;
    if (journal_.append(std::vector<ports::JournalEvent>(batch_.begin(), batch_.end()))) {
        batch_.clear();
        if (!journalDown_) return;
        journalDown_ = false;
        journalBackoffMs_ = 0;
        journalTimer_.setEnabled(false);
        journalProblem_.clear();
        ++revision_;
        std::string text = "The event journal is written again.";
        if (journalDropped_ > 0)
            text += " " + std::to_string(journalDropped_) +
                    " events were dropped while it could not be written (at most " +
                    std::to_string(kMaxPendingEvents) + " wait for it).";
        journalDropped_ = 0;
        sayJournal(text);
        return;
    }
    journalBackoffMs_ = journalBackoffMs_ == 0
                            ? kJournalFirstRetryMs
                            : std::min(journalBackoffMs_ * 2, kJournalLastRetryMs);
    journalRetryAtMs_ = now + journalBackoffMs_;
    journalTimer_.setEnabled(false);
    journalTimer_.setInterval(journalBackoffMs_);
    journalTimer_.setEnabled(true);
    if (journalDown_) return;
    journalDown_ = true;
    journalProblem_ = "The event journal cannot be written: " + journal_.error() + ".";
    ++revision_;
    sayJournal(journalProblem_ + " Events wait in memory (at most " +
               std::to_string(kMaxPendingEvents) + ") and are written when it can be.");
}

std::int64_t PlantMonitor::journalBytes() const {
    return context_.numberSetting(station::settings::kJournalMegabytes) * 1024 * 1024;
}

int PlantMonitor::journalDays() const {
    return static_cast<int>(context_.numberSetting(station::settings::kJournalDays));
}

}  // namespace nms::monitor
