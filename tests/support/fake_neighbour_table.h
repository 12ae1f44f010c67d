#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ports/neighbour_table.h"

namespace nms::testing {

// A neighbour table filled by the test. Every lookup is recorded, so a test can see which
// address was asked for and how often.
class FakeNeighbourTable : public ports::NeighbourTable {
public:
    std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) override {
        lookups.push_back(ipv4);
        auto it = entries.find(ipv4);
        if (it == entries.end()) return std::nullopt;
        return it->second;
    }
    void add(const std::string& ipv4, std::vector<std::uint8_t> lladdr) { entries[ipv4] = std::move(lladdr); }

    // Watches wait until the test settles them.
    WatchId whenResolved(const std::string& ipv4, std::int64_t timeoutMs, std::function<void(Entry)> done) override {
        watches[nextWatch] = Watch{ipv4, timeoutMs, std::move(done)};
        return nextWatch++;
    }
    void cancelWatch(WatchId id) override { watches.erase(id); }
    // Ends every open watch of `ipv4` with `entry`, as the platform does when resolution ends.
    void settle(const std::string& ipv4, const Entry& entry) {
        std::vector<WatchId> ids;
        for (const auto& [id, w] : watches)
            if (w.ipv4 == ipv4) ids.push_back(id);
        for (WatchId id : ids) {
            auto it = watches.find(id);
            if (it == watches.end()) continue;  // cancelled by an earlier callback
            auto done = std::move(it->second.done);
            watches.erase(it);
            done(entry);
        }
    }

    struct Watch {
        std::string ipv4;
        std::int64_t timeoutMs = 0;
        std::function<void(Entry)> done;
    };
    std::map<std::string, std::vector<std::uint8_t>> entries;
    std::vector<std::string> lookups;
    std::map<WatchId, Watch> watches;
    WatchId nextWatch = 1;
};

}  // namespace nms::testing
