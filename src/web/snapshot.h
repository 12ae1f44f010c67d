#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/plant_monitor.h"
#include "plant/element_listing.h"
#include "ports/journal.h"

namespace nms::web {

// Who is speaking: what a person or a Prometheus needs to tell stations apart.
struct StationFacts {
    std::string station;        // the name the operator gave (the host name by default)
    std::string version;        // the program's
    std::string interfaceName;  // the address the station listens on for its elements
    bool simulated = false;     // the demo plant
    // The system service lends the element ports to a person's station of its host: since
    // then (ms since 1970) it watches nothing. 0: it is not paused.
    std::int64_t pausedSinceUnixMs = 0;
};

// What the page and /healthz say of a paused service.
inline constexpr const char* kPausedText = "paused: a station runs on this host";

// What the monitor showed after one cycle, copied once on the station's thread and then only
// read, by any number of HTTP threads at once. Each rendering is made by the first request that
// asks for it and kept for the others, so a crowd of clients costs one rendering per cycle.
class Snapshot {
public:
    StationFacts facts;
    bool running = false;
    int intervalSeconds = 0;
    int cycles = 0;
    std::int64_t overruns = 0;
    std::int64_t lastCycleUnixMs = 0;  // 0: no cycle has ended yet
    std::int64_t cycleDurationMs = 0;
    std::int64_t publishedUnixMs = 0;
    std::vector<monitor::PlantMonitor::Element> elements;
    std::vector<plant::ElementListing> listings;  // by the same index as elements

    // Prometheus text format 0.0.4: the textfile's families and the service's own.
    std::shared_ptr<const std::string> metrics() const;
    // Every element as an array, sorted by name as `nms-cli list` sorts.
    std::shared_ptr<const std::string> elementsJson() const;
    // One element by its MAC (any case, ":", "-" or nothing between the groups); null if none.
    std::shared_ptr<const std::string> elementJson(const std::string& mac) const;
    // The station, the monitor's state and the count of elements per health.
    std::string stationJson() const;

private:
    mutable std::once_flag metricsOnce_, elementsOnce_;
    mutable std::shared_ptr<const std::string> metrics_, elements_;
};

// One element with its record (the keys of `nms-cli list --json`), its health, the reasons, when
// it was last seen and its last counters (the keys of `nms-cli stats --json`).
std::string elementJson(const monitor::PlantMonitor::Element& element,
                        const plant::ElementListing& listing);
// A journal row with the keys of `nms-cli events --json`.
std::string journalEventJson(const ports::JournalEvent& event);
// "001A2B3C4D5E" for any way of writing a MAC; empty when it is none.
std::string macDigits(const std::string& text);

}  // namespace nms::web
