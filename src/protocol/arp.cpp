#include "protocol/arp.h"

#include "protocol/address.h"

namespace nms::protocol {

bool LookupMAC(ports::NeighbourTable& table, const std::string& ip, std::string& mac, const std::string& separator) {
    const std::uint32_t addr = IPTextToAddress(ip);
    // An unreadable text gives INADDR_NONE, which can never be resolved either.
    if (addr == 0 || addr == kInaddrNone) return false;
    // The table takes the plain dotted form, whatever short form the text used.
    const auto found = table.lookup(AddressToIPText(addr));
    if (!found || found->empty()) return false;
    bool anyNonZero = false;
    for (std::size_t i = 0; i < 4 && i < found->size(); ++i) anyNonZero |= (*found)[i] != 0;
    if (!anyNonZero) return false;
    mac = FormatMAC(*found, separator);
    return true;
}

}  // namespace nms::protocol
