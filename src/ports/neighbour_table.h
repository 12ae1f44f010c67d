#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nms::ports {

// The host's address resolution table. A lookup never blocks for more than a moment: when no
// complete entry exists it starts resolution (if the platform can) and answers nothing; the
// caller asks again later.
class NeighbourTable {
public:
    virtual ~NeighbourTable() = default;
    // The link-layer address for a dotted-quad IPv4 address, first octet first.
    virtual std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) = 0;
};

}  // namespace nms::ports
