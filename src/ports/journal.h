#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nms::ports {

// One entry of the event journal: a change of an element's state, or an operator's action that
// changed an element.
struct JournalEvent {
    std::int64_t unixTimeMs = 0;
    std::string mac;       // the element's MAC text
    std::string name;      // its name as stored, without padding
    std::string severity;  // "info", "warning", "alarm"
    std::string
        what;  // "health", "configuration saved", "level", "SFN delay set", "counters reset"
    std::string from;
    std::string to;
    std::string detail;  // why, in words
    bool operator==(const JournalEvent&) const = default;
};

// Where an event stands in the journal's order: later times first, and of one time the one
// written later first. A page's last position is where the next page down starts.
struct JournalPosition {
    std::int64_t unixTimeMs = 0;
    std::int64_t seq = 0;  // grows with every event the journal keeps
    auto operator<=>(const JournalPosition&) const = default;
};

// What a read returns: events newest first, each filter applying when it is set.
struct JournalQuery {
    std::int64_t sinceUnixMs = 0;           // at or after
    std::string mac;                        // of one element
    std::string severity;                   // of one severity
    std::vector<std::string> severities;    // of any of these severities
    std::optional<JournalPosition> before;  // only older ones: the next page down
    std::optional<JournalPosition> after;   // only newer ones: what came since
    // Only those written after the event of this seq, whatever their times, newest written
    // first: what a reader has not seen yet even when the clock was stepped back meanwhile.
    std::optional<std::int64_t> writtenAfter;
    std::size_t limit = 0;                  // at most so many (0: all)
};

struct JournalPage {
    std::vector<JournalEvent> events;  // newest first
    std::vector<std::int64_t> seqs;    // of each event
    std::string error;                 // why the journal could not be read; empty when it was
    JournalPosition at(std::size_t i) const { return {events[i].unixTimeMs, seqs[i]}; }
};

// A way into a journal for a thread other than the station's (the web service's): it reads the
// same events as the journal through means of its own, never through the journal's connection
// or state, so that a read there never waits on the station nor the station on it. Its reads
// may come from any thread, one after another or at once; they are answered one at a time. It
// stands on its own: it may be closed after the journal has gone.
class JournalReader {
public:
    virtual ~JournalReader() = default;
    // As EventJournal::read.
    virtual JournalPage read(const JournalQuery& query) = 0;
};

// The event journal: written in batches (one per monitoring cycle), read newest first. A journal
// that cannot be opened or written says so through `error()` and the station goes on.
class EventJournal {
public:
    using ReadId = std::uint64_t;
    virtual ~EventJournal() = default;
    // Appends the batch whole or not at all; false on failure (see error()).
    virtual bool append(const std::vector<JournalEvent>& batch) = 0;
    // The same append, for a journal whose writes may take a while: one that can write beside
    // the station does so, batches in the order given, and hands `done` what append() would
    // have returned on the station's thread once the batch is written (appended() counts it and
    // reads find it from then on; error() says why it was not). Others append at once (and call
    // `done` before returning).
    virtual void appendLater(std::vector<JournalEvent> batch, std::function<void(bool)> done) {
        done(append(batch));
    }
    // Waits for the appends given later and calls the `done` of each now: at the end of the
    // program, whose event loop delivers nothing more.
    virtual void settle() {}
    // Batches appended so far: a reader that showed the journal at one count has nothing new to
    // show while it stays the same.
    virtual std::uint64_t appended() const = 0;
    // The events `query` asks for, now. A bounded read (a limit, a position) costs what it
    // returns, not what the journal holds; a filter by severity may have to look further.
    virtual JournalPage read(const JournalQuery& query) = 0;
    // The same read, handed to `done` on the station's thread once it is done: a journal that
    // can read beside the station does so, so that a long read never holds the station; others
    // read at once (and call `done` before returning). The id cancels it.
    virtual ReadId readLater(const JournalQuery& query, std::function<void(JournalPage)> done) {
        done(read(query));
        return 0;
    }
    // `done` of a read not delivered yet is never called; the read stops as soon as it can.
    virtual void cancel(ReadId) {}
    // A reader of this journal for another thread; opened on the station's thread.
    virtual std::unique_ptr<JournalReader> openReader() = 0;
    // Events at or after `sinceUnixMs`, of one element when `mac` is not empty, newest first;
    // error() says why when the journal could not be read.
    std::vector<JournalEvent> query(std::int64_t sinceUnixMs, const std::string& mac) {
        JournalQuery q;
        q.sinceUnixMs = sinceUnixMs;
        q.mac = mac;
        return read(q).events;
    }
    // Forgets what is older than `beforeUnixMs` and, while the journal takes more than
    // `maxBytes` (0: no bound), its oldest events, a bounded number per call so that a call stays
    // short however much there is to forget; the room they took is given back.
    virtual void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) = 0;
    // The same prune beside the station, after the appends given before it, where the journal
    // can: nothing waits for it.
    virtual void pruneLater(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
        prune(beforeUnixMs, maxBytes);
    }
    virtual const std::string& error() const = 0;
};

}  // namespace nms::ports
