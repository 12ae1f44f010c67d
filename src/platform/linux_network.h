#pragma once

#include <memory>

#include "platform/icmp_linux.h"
#include "platform/interfaces_linux.h"
#include "platform/neighbour_table_linux.h"
#include "ports/network.h"

namespace nms::platform {

// The real network of a Linux host: POSIX sockets on the Qt event loop, the kernel's neighbour
// table, ICMP echo and the host's interface addresses. Create it on the station's thread.
class LinuxNetwork : public ports::Network {
public:
    LinuxNetwork();
    ~LinuxNetwork() override;

    std::unique_ptr<ports::UdpSocket> createUdpSocket() override;
    ports::NeighbourTable& neighbours() override { return neighbours_; }
    ports::Icmp& icmp() override { return icmp_; }
    ports::InterfaceList& interfaces() override { return interfaces_; }

private:
    LinuxNeighbourTable neighbours_;
    LinuxIcmp icmp_;
    LinuxInterfaceList interfaces_;
};

}  // namespace nms::platform
