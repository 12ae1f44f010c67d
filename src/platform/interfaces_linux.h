#pragma once

#include <map>
#include <string>

#include "ports/interfaces.h"

namespace nms::platform {

// The host's IPv4 addresses from getifaddrs, in ascending numeric order, each once. Loopback
// addresses are included; the station filters what it does not offer.
class LinuxInterfaceList : public ports::InterfaceList {
public:
    Result localAddresses() override;
    // The interface each IPv4 address belongs to ("192.168.50.10" → "eth0"), for display; empty
    // when the table cannot be read.
    static std::map<std::string, std::string> interfaceNames();
};

}  // namespace nms::platform
