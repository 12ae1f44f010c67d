#pragma once

#include <memory>

#include "ports/icmp.h"
#include "ports/interfaces.h"
#include "ports/neighbour_table.h"
#include "ports/udp_socket.h"

namespace nms::ports {

// Everything the station needs of a network: the real one (Linux adapters) or the in-process
// virtual LAN with simulated elements.
class Network {
public:
    virtual ~Network() = default;
    virtual std::unique_ptr<UdpSocket> createUdpSocket() = 0;
    virtual NeighbourTable& neighbours() = 0;
    virtual Icmp& icmp() = 0;
    virtual InterfaceList& interfaces() = 0;
};

}  // namespace nms::ports
