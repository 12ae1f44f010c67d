#pragma once

#include "ports/interfaces.h"

namespace nms::platform {

// The host's IPv4 addresses from getifaddrs, in ascending numeric order, each once. Loopback
// addresses are included; the station filters what it does not offer.
class LinuxInterfaceList : public ports::InterfaceList {
public:
    Result localAddresses() override;
};

}  // namespace nms::platform
