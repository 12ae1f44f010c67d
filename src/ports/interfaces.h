#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nms::ports {

// The host's own IPv4 addresses.
class InterfaceList {
public:
    virtual ~InterfaceList() = default;
    struct Result {
        std::vector<std::string> addresses;  // dotted quads in a stable ascending order
        int error = 0;                       // 0 when the table could be read
    };
    virtual Result localAddresses() = 0;
};

}  // namespace nms::ports
