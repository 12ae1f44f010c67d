#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "monitor/health.h"
#include "ports/controls.h"
#include "ports/journal.h"
#include "ports/signal.h"
#include "ports/udp_client.h"
#include "station/element_socket.h"
#include "station/settings_keys.h"
#include "station/station_context.h"
#include "stats/statistics_decoder.h"
#include "store/element_record.h"

namespace nms::monitor {

// The plant monitor: while it is on, every element of the database is asked for its statistics
// once per cycle, from port 2978, each request answered within 500 ms of its own sending or
// counted as missed. Replies are decoded as the statistics window decodes them; each element's
// health follows, every change goes to the journal, a batch per cycle (the first reading after
// a start only when it is not online: that every element is there is no event). It is off until
// the operator turns it on, and while it is off it sends nothing and binds nothing.
//
// The requests awaiting an answer grow with the plant, from 32 to 256, and never beyond what the
// socket's receive buffer holds should all answer at once. An element that has missed
// kSlowLaneMisses in a row (offline for several cycles) is asked in a slow lane with a quarter
// of the places, which sends only while the others are asked or within the cycle's first
// second: a segment that is down neither holds the others' places nor stretches the cycle;
// what the slow lane could not ask goes first in the next cycle. A cycle still running when the
// next is due is counted as an overrun and said in the status, and the next cycle starts when
// it ends, the interval counted from there.
//
// A journal that cannot be written (locked by another program, a full disk) does not stop the
// monitor: the events wait in memory, at most kMaxPendingEvents of them (the oldest are dropped
// and counted), and the write is tried again after 1 s, 2 s, 4 s, ... up to a minute, never by
// waiting. That it cannot be written is said once, and once that it is written again.
//
// The journal is written beside the station where it can be (EventJournal::appendLater), one
// write at a time: a cycle ends (cycles(), cycleEnded) once its batch is written or has failed,
// so that whoever reads the journal at a cycle's end finds the cycle's events there, and the next
// cycle starts after that. The end of the program (or of the monitor) waits for the write under
// way, then writes what is left itself.
class PlantMonitor {
public:
    static constexpr int kMinOutstanding = 32;
    static constexpr int kMaxOutstanding = 256;
    static constexpr int kElementsPerPlace = 8;
    // Room in the receive buffer for one reply as the kernel counts it (the datagram and its
    // bookkeeping).
    static constexpr int kReceiveBufferPerReply = 2048;
    static constexpr int kReplyTimeoutMs = 500;
    static constexpr int kSlowLaneMisses = kMissesForOffline + 3;
    static constexpr int kSlowLaneWindowMs = 1000;
    // As the settings declare them.
    static constexpr int kDefaultIntervalSeconds = 10;
    static constexpr int kMinIntervalSeconds = static_cast<int>(station::settings::kMonitorInterval.low);
    static constexpr int kMaxIntervalSeconds = static_cast<int>(station::settings::kMonitorInterval.high);
    static constexpr int kDefaultJournalMegabytes = 256;
    static constexpr std::size_t kMaxPendingEvents = 10000;
    static constexpr int kJournalFirstRetryMs = 1000;
    static constexpr int kJournalLastRetryMs = 60000;

    struct Element {
        std::string section, mac, name, ip;
        std::string firmware, serial;  // as the database has them, for the metrics' info
        std::string site;              // the declared site its address lies in; empty: none
        int role = 0, sfn = 0, sdm = 0;
        Health health = Health::Unknown;
        std::string reason = "Not polled yet.";  // what the last cycle showed
        // An operator has seen this health (a warning, an alarm, offline): it stays shown but
        // stops drawing attention, until the health changes again.
        bool acknowledged = false;
        std::string acknowledgedBy;
        std::int64_t acknowledgedAtUnixMs = 0;
        Trend trend;
        int misses = 0;         // in a row
        int askedInCycle = -1;  // the last cycle that asked it
        stats::StatisticsRecord record;    // the decoder's state between replies
        stats::StatisticsReading reading;  // the last reply's figures
        bool counted = false;          // a reply has been decoded: counters can grow from it
        std::int64_t countedAtMs = 0;  // when (monotonic)
        std::int64_t lastSeenUnixMs = 0;
        // Growth since monitoring began. A counter that went back or jumped further than the
        // element can count adds nothing: it counts as a reset.
        std::int64_t txFrames = 0, rxFrames = 0, txFrameErrors = 0, rxFrameErrors = 0;
        std::int64_t audioFrames = 0, audioFrameErrors = 0, ptpSyncs = 0, ptpSyncErrors = 0;
        std::int64_t replies = 0, missed = 0, counterResets = 0;

        stats::ElementFacts facts() const { return {role, sfn, sdm, role == store::record::kRoleDecoder}; }
        // The last reply's alarm and Ethernet words; 65535 when it carried none.
        std::int32_t alarmWord() const { return reading.alarmWord.value_or(65535); }
        std::int32_t ethernetWord() const { return reading.ethernetWord.value_or(65535); }
    };

    PlantMonitor(station::StationContext& context, ports::EventJournal& journal);
    ~PlantMonitor();
    PlantMonitor(const PlantMonitor&) = delete;
    PlantMonitor& operator=(const PlantMonitor&) = delete;

    // On: a cycle at once, then one every interval. Off: nothing more is sent, the port is freed.
    void start();
    void stop();
    bool running() const { return running_; }
    // Seconds between cycles, limited to 2 to 300.
    void setInterval(int seconds);
    int interval() const { return intervalSeconds_; }

    // Port 2978 is the monitor's only while no lease of it is out (station::Port2978): it
    // waits while a window or an operation holds one, and goes on once the last is given back.
    bool paused() const { return paused_; }

    const std::vector<Element>& elements() const { return elements_; }
    const Element* find(const std::string& mac) const;
    // Grows whenever what the monitor shows changes (a health, an event written), so a view
    // redraws only then.
    std::uint64_t revision() const { return revision_; }
    // One line for a status bar: what runs, or why nothing can.
    const std::string& status() const { return status_; }
    int cycles() const { return cycles_; }
    // What the last finished cycle did: how long it took from its first request to its last
    // answer or miss, and how the elements it asked answered.
    struct CycleFigures {
        std::int64_t durationMs = 0;
        int asked = 0, replies = 0, missed = 0;
        int slowLane = 0;  // elements in the slow lane, asked or not
        int places = 0;    // requests that could await an answer at once
    };
    const CycleFigures& lastCycle() const { return lastCycle_; }
    // Cycles still running when the next one was due.
    std::int64_t overruns() const { return overruns_; }

    ports::EventJournal& journal() { return journal_; }
    // What a view of the monitor needs besides: the settings, the dialogs, the clock.
    station::StationContext& context() { return context_; }
    // An operator's action that changed an element goes to the journal with the next batch.
    void note(ports::JournalEvent event);
    // The operator `who` has seen the element's present health, which needs attention (warning,
    // alarm or offline): written to the journal with who and when. False, and nothing written,
    // when the element is unknown, healthy or already acknowledged.
    bool acknowledge(const std::string& mac, const std::string& who);
    // Whether acknowledge() would take the element now.
    bool acknowledgeable(const std::string& mac) const;
    // Elements per health, acknowledged ones counted apart (they need no more attention).
    struct HealthCounts {
        int unknown = 0, online = 0, warning = 0, alarm = 0, offline = 0, acknowledged = 0;
    };
    HealthCounts counts() const;
    // While the journal cannot be written, why; empty otherwise.
    const std::string& journalProblem() const { return journalProblem_; }
    // Events not written yet (a write under way included), and those dropped since the journal
    // could last be written.
    std::size_t pendingEvents() const { return batch_.size() + writing_.size(); }
    std::int64_t droppedEvents() const { return journalDropped_; }

    // Watched by whoever shows the plant (the window, nms-cli monitor, a bench), each beside
    // the others. A health change gives the element and the health it had before.
    ports::Signal<const Element&, Health> healthChanged;
    ports::Signal<> cycleEnded;
    // Turned on or off (between cycles too: no cycle end says it).
    ports::Signal<bool> runningChanged;
    // A sentence about the journal: it cannot be written, it is written again, events are lost.
    ports::Signal<const std::string&> journalNotice;

private:
    // The station's Port2978 lends the port: the replies the polls still await go with it.
    std::vector<station::ElementSocket::OwedReply> handOverPort();
    void takePortBack();
    void beginCycle();
    void cycleDue();
    // Sends what each lane may, and ends the cycle when nothing is left to await.
    void pump();
    // Misses the requests whose time has run out, then pumps.
    void expire();
    void armDeadline();
    void finishCycle();
    int places();
    std::int64_t journalBytes() const;
    int journalDays() const;
    void reply(const ports::Datagram& datagram);
    void judge(std::size_t index, bool answered, std::int64_t audioErrors, std::int64_t ptpErrors);
    void reloadElements();
    bool ensureBound();
    void setStatus(std::string text);
    // Writes what waits, unless a write is under way or a failed write's back-off has not run
    // out (`force` ignores that): beside the station, or `now` (the end of the program).
    void writeJournal(bool force, bool now = false);
    // What the write under way came to: its events are in the journal, or wait again (`why`).
    void written(bool ok, const std::string& why);
    // The rest of a cycle's end, once its events are written (or could not be).
    void endCycle();
    // Adds an event to what waits for the journal; beyond the bound the oldest is dropped.
    void keep(ports::JournalEvent event);
    void sayJournal(const std::string& text);

    station::StationContext& context_;
    ports::EventJournal& journal_;
    // Bound on the chosen interface like the windows' sockets, but aimed at each element in turn.
    station::ElementSocket socket_;
    ports::Timer cycleTimer_;
    ports::Timer deadlineTimer_;  // the earliest deadline of an awaited request
    ports::Timer catchUpTimer_;   // the cycle due while the last one still ran
    ports::Timer journalTimer_;   // the next try of a journal that could not be written
    std::vector<Element> elements_;
    std::unordered_map<std::string, std::size_t> byMac_;  // index into elements_
    struct Sent {
        std::size_t index;
        std::int64_t sentMs;
    };
    struct Lane {
        std::deque<std::size_t> waiting;
        // In sending order, hence in order of deadlines; answered ones may stay till theirs.
        std::deque<Sent> sent;
        int awaited = 0;
        int places = 0;
    };
    Lane fast_, slow_;
    std::vector<Lane*> laneOf_;  // by element index, while its request awaits an answer
    std::unordered_multimap<std::string, std::size_t> awaitedAt_;  // address -> element index
    std::int64_t armedDeadline_ = -1;        // what deadlineTimer_ wakes up for
    std::deque<ports::JournalEvent> batch_;  // not written yet, oldest first
    // Given to the journal, not known to be written yet: older than batch_. Those dropped here
    // for room are lost only if the write fails.
    std::deque<ports::JournalEvent> writing_;
    std::int64_t droppedWhileWriting_ = 0;
    bool inFlight_ = false;    // a write is under way
    bool appending_ = false;   // within appendLater: an answer now is no event of its own
    bool ending_ = false;      // the cycle has ended its polling; its end waits for its write
    // Answers of the journal that come after the monitor has gone find it expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::string status_;
    int intervalSeconds_ = kDefaultIntervalSeconds;
    int cycles_ = 0;
    CycleFigures current_, lastCycle_;
    std::int64_t cycleStartMs_ = 0;
    std::uint64_t revision_ = 0;
    bool running_ = false;
    bool paused_ = false;
    bool inCycle_ = false;
    bool cycleOverdue_ = false;
    std::int64_t overruns_ = 0;
    bool journalDown_ = false;
    int journalBackoffMs_ = 0;
    std::int64_t journalRetryAtMs_ = 0;  // monotonic
    std::int64_t journalDropped_ = 0;
    std::string journalProblem_;
};

}  // namespace nms::monitor
