#pragma once

#include "ports/neighbour_table.h"

namespace nms::platform {

// The kernel's IPv4 neighbour table of the network namespace the process runs in, as
// /proc/net/arp shows it. Only complete entries count. For a missing one, a zero-length UDP
// datagram to the discard port of the address makes the kernel resolve it; the answer is then
// nothing, and the caller asks again later.
class LinuxNeighbourTable : public ports::NeighbourTable {
public:
    LinuxNeighbourTable() = default;
    std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) override;
};

}  // namespace nms::platform
