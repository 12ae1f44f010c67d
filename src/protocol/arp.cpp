#include "protocol/arp.h"

#include "protocol/address.h"

namespace nms::protocol {

bool LookupMAC(ports::NeighbourTable& table, const std::string& ip, std::string& mac, const std::string& separator) {
    const std::uint32_t addr = IPTextToAddress(ip);
    // An unreadable text gives INADDR_NONE, which can never be resolved either.
    if (addr == 0 || addr == kInaddrNone) return false;
    // The table takes the plain dotted form, whatever short form the text used.
    const auto found = table.lookup(AddressToIPText(addr));
    return found && MacFromLinkAddress(*found, mac, separator);
}

bool MacFromLinkAddress(const std::vector<std::uint8_t>& linkAddress, std::string& mac, const std::string& separator) {
    // Only an Ethernet address names an element: a tunnel's 4 bytes or InfiniBand's 20 would
    // give an empty MAC text, and every such element would share the record of an empty section.
    if (linkAddress.size() != 6) return false;
    bool anyNonZero = false;
    for (std::size_t i = 0; i < 4 && i < linkAddress.size(); ++i) anyNonZero |= linkAddress[i] != 0;
    if (!anyNonZero) return false;
    mac = FormatMAC(linkAddress, separator);
    return true;
}

}  // namespace nms::protocol
