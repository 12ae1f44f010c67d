#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports/neighbour_table.h"

// Module ARP: the MAC address of an element, found from its IP address in the host's address
// resolution table.
namespace nms::protocol {

// True when the table holds a complete entry for `ip`: a link-layer address of six octets whose
// first four bytes are not all zero. `mac` then receives it formatted with `separator`. An address
// of another length (a tunnel, InfiniBand) counts as no MAC found. On false, `mac` is left as it
// was.
bool LookupMAC(ports::NeighbourTable& table, const std::string& ip, std::string& mac, const std::string& separator);

// The same rule for a link-layer address already in hand (a completed resolution).
bool MacFromLinkAddress(const std::vector<std::uint8_t>& linkAddress, std::string& mac, const std::string& separator);

}  // namespace nms::protocol
