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

    // Resolution never ends here: a watch stays open until it is cancelled.
    WatchId whenResolved(const std::string&, std::int64_t, std::function<void(Entry)>) override { return nextWatch++; }
    void cancelWatch(WatchId) override {}

    std::map<std::string, std::vector<std::uint8_t>> entries;
    std::vector<std::string> lookups;
    WatchId nextWatch = 1;
};

}  // namespace nms::testing
