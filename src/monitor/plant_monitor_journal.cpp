// The plant monitor's side of the event journal: the batch of a cycle, written once per cycle,
// kept (bounded) while the journal cannot be written, and tried again with a back-off.

#include "monitor/plant_monitor.h"

#include <algorithm>
#include <iterator>
#include <utility>

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
    if (batch_.size() + writing_.size() >= kMaxPendingEvents) {
        if (!batch_.empty()) {
            batch_.pop_front();
            ++journalDropped_;
        } else {
            writing_.pop_front();
            ++droppedWhileWriting_;
        }
    }
    batch_.push_back(std::move(event));
}

void PlantMonitor::writeJournal(bool force, bool now) {
    if (batch_.empty() || inFlight_) return;
    if (journalDown_ && !force && context_.clock().monotonicMs() < journalRetryAtMs_) return;
    writing_ = std::move(batch_);
    batch_.clear();
    std::vector<ports::JournalEvent> events(writing_.begin(), writing_.end());
    inFlight_ = true;
    if (now) {
        const bool ok = journal_.append(events);
        written(ok, journal_.error());
        return;
    }
    appending_ = true;
    journal_.appendLater(std::move(events), [this, alive = std::weak_ptr<int>(alive_)](bool ok) {
        if (alive.expired()) return;
        // Why, as the journal says it now: a read may clear it before the answer is taken.
        std::string why = ok ? std::string() : journal_.error();
        // Answered within the call (a journal that writes at once), or by the end of the program
        // settling what is under way: taken now. Otherwise it is an event of the station's like
        // any other, after whatever runs.
        if (appending_ || context_.ended()) {
            written(ok, why);
            return;
        }
        context_.gate().dispatch(ports::EventGate::Kind::Posted,
                                 [this, alive, ok, why = std::move(why)] {
                                     if (!alive.expired()) written(ok, why);
                                 });
    });
    appending_ = false;
}

void PlantMonitor::written(bool ok, const std::string& why) {
    inFlight_ = false;
    auto events = std::move(writing_);
    writing_.clear();
    const std::int64_t droppedThere = std::exchange(droppedWhileWriting_, 0);
    if (ok) {
        if (journalDown_) {
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
        }
        // What was noted while it was written; the end of the program writes it itself.
        if (!inCycle_ && !context_.ended()) writeJournal(false);
    } else {
        // They wait again, before what was noted meanwhile.
        journalDropped_ += droppedThere;
        batch_.insert(batch_.begin(), std::make_move_iterator(events.begin()),
                      std::make_move_iterator(events.end()));
        const std::int64_t now = context_.clock().monotonicMs();
        journalBackoffMs_ = journalBackoffMs_ == 0
                                ? kJournalFirstRetryMs
                                : std::min(journalBackoffMs_ * 2, kJournalLastRetryMs);
        journalRetryAtMs_ = now + journalBackoffMs_;
        journalTimer_.setEnabled(false);
        journalTimer_.setInterval(journalBackoffMs_);
        journalTimer_.setEnabled(true);
        if (!journalDown_) {
            journalDown_ = true;
            journalProblem_ = "The event journal cannot be written: " + why + ".";
            ++revision_;
            sayJournal(journalProblem_ + " Events wait in memory (at most " +
                       std::to_string(kMaxPendingEvents) + ") and are written when it can be.");
        }
    }
    if (ending_ && !inFlight_) endCycle();
}

std::int64_t PlantMonitor::journalBytes() const {
    return context_.numberSetting(station::settings::kJournalMegabytes) * 1024 * 1024;
}

int PlantMonitor::journalDays() const {
    return static_cast<int>(context_.numberSetting(station::settings::kJournalDays));
}

}  // namespace nms::monitor
