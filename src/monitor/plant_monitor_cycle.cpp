// The plant monitor's cycle: the statistics asked of every element a few at a time, the answers
// judged as they come, the missing ones judged at their deadline, and the cycle's end.

#include "monitor/plant_monitor.h"

#include <algorithm>

#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "store/element_record.h"

namespace nms::monitor {

namespace {

constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;

const char* severityOf(Health h) {
    switch (h) {
        case Health::Alarm:
        case Health::Offline:
            return "alarm";
        case Health::Warning:
            return "warning";
        default:
            return "info";
    }
}

}  // namespace

void PlantMonitor::cycleDue() {
    if (!inCycle_ && !ending_) {
        beginCycle();
        return;
    }
    // Said, and the next cycle follows this one at once rather than a whole interval later.
    if (!cycleOverdue_) {
        cycleOverdue_ = true;
        ++overruns_;
        ++revision_;
    }
}

void PlantMonitor::beginCycle() {
    if (!running_ || paused() || context_.ended()) return;
    if (inCycle_) return;  // a slow cycle is never overlapped by the next one
    // Nor one whose batch is still being written: the next starts when it has ended.
    if (ending_) {
        cycleOverdue_ = true;
        return;
    }
    if (!ensureBound()) {
        // Said once in the status, never by ending the program; the next cycle tries again.
        setStatus("Plant monitor cannot use UDP port 2978: " + socket_.errorDescription());
        return;
    }
    reloadElements();
    inCycle_ = true;
    // The interval runs from this cycle's start.
    cycleTimer_.setEnabled(false);
    cycleTimer_.setEnabled(true);
    current_ = {};
    cycleStartMs_ = context_.clock().monotonicMs();
    fast_ = {};
    slow_ = {};
    awaitedAt_.clear();
    laneOf_.assign(elements_.size(), nullptr);
    std::vector<std::size_t> slow;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].misses >= kSlowLaneMisses)
            slow.push_back(i);
        else
            fast_.waiting.push_back(i);
    }
    // Those the slow lane left out longest go first.
    std::stable_sort(slow.begin(), slow.end(), [this](std::size_t a, std::size_t b) {
        return elements_[a].askedInCycle < elements_[b].askedInCycle;
    });
    slow_.waiting.assign(slow.begin(), slow.end());
    current_.slowLane = static_cast<int>(slow.size());
    current_.places = places();
    slow_.places = slow.empty() ? 0 : std::max(1, current_.places / 4);
    fast_.places = std::max(1, current_.places - slow_.places);
    pump();
}

void PlantMonitor::expire() {
    deadlineTimer_.setEnabled(false);
    if (!inCycle_) return;
    const std::int64_t now = context_.clock().monotonicMs();
    for (Lane* lane : {&fast_, &slow_}) {
        while (!lane->sent.empty() && now - lane->sent.front().sentMs >= kReplyTimeoutMs) {
            const std::size_t index = lane->sent.front().index;
            lane->sent.pop_front();
            if (!laneOf_[index]) continue;  // answered
            laneOf_[index] = nullptr;
            --lane->awaited;
            const auto range = awaitedAt_.equal_range(elements_[index].ip);
            for (auto it = range.first; it != range.second; ++it)
                if (it->second == index) {
                    awaitedAt_.erase(it);
                    break;
                }
            judge(index, false, 0, 0);
        }
    }
    pump();
}

void PlantMonitor::armDeadline() {
    std::int64_t first = -1;
    for (Lane* lane : {&fast_, &slow_}) {
        // Answered requests at the front need no wake-up of their own.
        while (!lane->sent.empty() && !laneOf_[lane->sent.front().index]) lane->sent.pop_front();
        if (!lane->sent.empty() && (first < 0 || lane->sent.front().sentMs < first))
            first = lane->sent.front().sentMs;
    }
    if (first < 0) {
        deadlineTimer_.setEnabled(false);
        return;
    }
    const std::int64_t deadline = first + kReplyTimeoutMs;
    if (deadlineTimer_.enabled() && deadline == armedDeadline_) return;
    armedDeadline_ = deadline;
    deadlineTimer_.setEnabled(false);
    deadlineTimer_.setInterval(
        static_cast<int>(std::max<std::int64_t>(1, deadline - context_.clock().monotonicMs())));
    deadlineTimer_.setEnabled(true);
}

void PlantMonitor::pump() {
    if (!inCycle_) return;
    const std::int64_t now = context_.clock().monotonicMs();
    static const auto request = protocol::requestBytes(protocol::kGetStatsRequest);
    const bool fastBusy = !fast_.waiting.empty() || fast_.awaited > 0;
    const bool slowMaySend = fastBusy || now - cycleStartMs_ < kSlowLaneWindowMs;
    for (Lane* lane : {&fast_, &slow_}) {
        if (lane == &slow_ && !slowMaySend) break;
        while (!lane->waiting.empty() && lane->awaited < lane->places) {
            const std::size_t index = lane->waiting.front();
            lane->waiting.pop_front();
            Element& e = elements_[index];
            e.askedInCycle = cycles_;
            ++current_.asked;
            if (!protocol::IsValidIP(e.ip)) {
                judge(index, false, 0, 0);
                continue;
            }
            auto& client = socket_.client();
            client.remoteHost = e.ip;
            client.remotePort = protocol::kPortStatistics;
            if (!client.send(request)) {
                judge(index, false, 0, 0);
                continue;
            }
            lane->sent.push_back({index, now});
            ++lane->awaited;
            laneOf_[index] = lane;
            awaitedAt_.emplace(e.ip, index);
        }
    }
    // What the slow lane could not ask in time waits for the next cycle.
    const bool slowDone = slow_.awaited == 0 && (slow_.waiting.empty() || !slowMaySend);
    if (fast_.waiting.empty() && fast_.awaited == 0 && slowDone) {
        finishCycle();
        return;
    }
    armDeadline();
}

void PlantMonitor::reply(const ports::Datagram& d) {
    if (!inCycle_ || d.bytes.size() > protocol::statistics::kMaxReplyLength) return;
    // A reply belongs to the element polled at the address it came from; anything else is
    // ignored.
    const auto it = awaitedAt_.find(d.senderAddress);
    if (it == awaitedAt_.end()) return;
    const std::size_t index = it->second;
    awaitedAt_.erase(it);
    --laneOf_[index]->awaited;
    laneOf_[index] = nullptr;
    Element& e = elements_[index];
    const stats::ElementFacts facts = e.facts();
    const auto before = stats::readingOf(e.record, facts, true);
    stats::decodeStatistics(d.bytes, facts, e.record, context_.clock().tickCount());
    const auto now =
        stats::readingOf(e.record, facts, d.bytes.size() >= stats::kAdditionalLatencyMinLength);
    // The protocol has no request number: a reply forged with the element's address is taken.
    // What it can do to the totals is bounded by what the element could have counted since its
    // previous reply; beyond that, or backwards, the counter was reset (or the reply is not the
    // element's) and nothing is added.
    const std::int64_t nowMs = context_.clock().monotonicMs();
    const std::int64_t limit = counterLimit(nowMs - e.countedAtMs);
    std::string resets;
    auto grow = [&](const char* what, std::int64_t& total, std::int32_t was, std::int32_t is) {
        if (!e.counted) return std::int64_t{0};
        const auto g = counterGrowth(was, is, limit);
        if (!g) {
            resets += (resets.empty() ? "" : "; ") + std::string(what) + " " + std::to_string(was) +
                      " -> " + std::to_string(is);
            return std::int64_t{0};
        }
        total += *g;
        return *g;
    };
    grow("good frames sent", e.txFrames, before.txFramesOk, now.txFramesOk);
    grow("good frames received", e.rxFrames, before.rxFramesOk, now.rxFramesOk);
    grow("bad frames sent", e.txFrameErrors, before.txFrameErrors, now.txFrameErrors);
    grow("bad frames received", e.rxFrameErrors, before.rxFrameErrors, now.rxFrameErrors);
    grow("good audio frames", e.audioFrames, before.audioFramesOk, now.audioFramesOk);
    const auto audioErrors =
        grow("bad audio frames", e.audioFrameErrors, before.audioFrameErrors, now.audioFrameErrors);
    std::int64_t ptpErrors = 0;
    if (now.ptpSyncsOk) {
        grow("good PTP syncs", e.ptpSyncs, *before.ptpSyncsOk, *now.ptpSyncsOk);
        ptpErrors = grow("bad PTP syncs", e.ptpSyncErrors, *before.ptpSyncErrors, *now.ptpSyncErrors);
    }
    if (!resets.empty()) {
        ++e.counterResets;
        ++revision_;
        keep({context_.clock().unixTimeMs(), e.mac, e.name, "warning", "counter reset", "", "",
              "Went back or grew faster than the element can count, not added to the totals: " +
                  resets + "."});
    }
    e.counted = true;
    e.countedAtMs = nowMs;
    e.reading = now;
    e.lastSeenUnixMs = context_.clock().unixTimeMs();
    judge(index, true, audioErrors, ptpErrors);
    // The freed place goes to the next element at once, not at the next tick.
    pump();
}

void PlantMonitor::judge(std::size_t index, bool answered, std::int64_t audioErrors,
                         std::int64_t ptpErrors) {
    Element& e = elements_[index];
    if (answered) {
        e.misses = 0;
        ++e.replies;
        ++current_.replies;
    } else {
        ++e.misses;
        ++e.missed;
        ++current_.missed;
    }
    CycleResult c;
    c.answered = answered;
    c.missesInARow = e.misses;
    c.sfn = e.sfn;
    c.sdm = e.sdm;
    c.alarmWord = answered ? e.alarmWord() : 65535;
    c.ethernetWord = answered ? e.ethernetWord() : 65535;
    c.audioFrameErrors = audioErrors;
    c.ptpSyncErrors = ptpErrors;
    const Assessment a = assess(c);
    const Health from = e.health;
    const Health to = settle(from, a, e.trend);
    e.reason = a.reason;
    if (to == from) return;
    e.health = to;
    e.acknowledged = false;
    e.acknowledgedBy.clear();
    e.acknowledgedAtUnixMs = 0;
    ++revision_;
    healthChanged(e, from);
    // That an element answers as it should after a start is no event; anything else is.
    if (from == Health::Unknown && to == Health::Online) return;
    keep({context_.clock().unixTimeMs(), e.mac, e.name, severityOf(to), "health", healthWord(from),
          healthWord(to), a.reason});
}

void PlantMonitor::finishCycle() {
    inCycle_ = false;
    deadlineTimer_.setEnabled(false);
    // What was still waiting when a window took the port counts as not asked, not as missed.
    fast_ = {};
    slow_ = {};
    awaitedAt_.clear();
    laneOf_.clear();
    current_.durationMs = context_.clock().monotonicMs() - cycleStartMs_;
    const HealthCounts c = counts();
    const int online = c.online, attention = c.warning + c.alarm + c.offline;
    std::string status = "Plant monitor: " + std::to_string(elements_.size()) + " elements, " +
                         std::to_string(online) + " online, " + std::to_string(attention) +
                         " need attention.";
    if (overruns_ > 0)
        status += " " + std::to_string(overruns_) + (overruns_ == 1 ? " cycle" : " cycles") +
                  " took longer than the " + std::to_string(intervalSeconds_) + " s interval.";
    setStatus(status);
    // What could not be written waits for a later cycle, within bounds; the station goes on.
    // The cycle ends once its batch is written: whoever reads the journal then finds it.
    ending_ = true;
    writeJournal(false);
    if (ending_ && !inFlight_) endCycle();
}

void PlantMonitor::endCycle() {
    ending_ = false;
    // The end of the program settles the write: nobody is left to hear of the cycle.
    if (context_.ended()) return;
    ++cycles_;
    lastCycle_ = current_;
    // A journal that cannot be written is not made to wait twice in one cycle.
    if (!journalDown_)
        journal_.pruneLater(context_.clock().unixTimeMs() - journalDays() * kDayMs, journalBytes());
    // The cycle due while this one ran starts now; not from within a reply's handling.
    if (cycleOverdue_) {
        cycleOverdue_ = false;
        if (running_ && !paused()) catchUpTimer_.setEnabled(true);
    }
    cycleEnded();
}

}  // namespace nms::monitor
