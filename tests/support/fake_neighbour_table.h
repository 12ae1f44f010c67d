#pragma once

#include <cstdint>
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

    std::map<std::string, std::vector<std::uint8_t>> entries;
    std::vector<std::string> lookups;
};

}  // namespace nms::testing
