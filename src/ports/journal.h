#pragma once

#include <cstdint>
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
    std::string what;      // "health", "configuration saved", "level", "SFN delay set", "counters reset"
    std::string from;
    std::string to;
    std::string detail;  // why, in words
    bool operator==(const JournalEvent&) const = default;
};

// The event journal: written in batches (one per monitoring cycle), read newest first. A journal
// that cannot be opened or written says so through `error()` and the station goes on.
class EventJournal {
public:
    virtual ~EventJournal() = default;
    // Appends the batch whole or not at all; false on failure (see error()).
    virtual bool append(const std::vector<JournalEvent>& batch) = 0;
    // Events at or after `sinceUnixMs`, of one element when `mac` is not empty, newest first.
    virtual std::vector<JournalEvent> query(std::int64_t sinceUnixMs, const std::string& mac) = 0;
    // Forgets what is older than `beforeUnixMs` and, while the journal takes more than
    // `maxBytes` (0: no bound), its oldest events, a bounded number per call so that a call stays
    // short however much there is to forget; the room they took is given back.
    virtual void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) = 0;
    virtual const std::string& error() const = 0;
};

}  // namespace nms::ports
