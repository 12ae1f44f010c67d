#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ports/network.h"

namespace nms::runtime {

// A network whose sockets can all be let go and bound again as they were, so that a service
// can lend the element ports to another station of the same host and carry on afterwards with
// the same window models. While yielded a socket says it is open (its owner needs to know
// nothing) and sends nothing.
class YieldingNetwork : public ports::Network {
public:
    explicit YieldingNetwork(ports::Network& inner) : inner_(inner) {}
    ~YieldingNetwork() override;

    std::unique_ptr<ports::UdpSocket> createUdpSocket() override;
    ports::NeighbourTable& neighbours() override { return inner_.neighbours(); }
    ports::Icmp& icmp() override { return inner_.icmp(); }
    ports::InterfaceList& interfaces() override { return inner_.interfaces(); }

    // Closes every bound socket.
    void yieldPorts();
    // Binds them again where they were bound; the reasons of those that cannot be (empty when
    // all are bound again: a second try is then due).
    std::string takeBack();
    bool yielded() const { return yielded_; }

    class Socket;

private:
    friend class Socket;
    ports::Network& inner_;
    std::vector<Socket*> sockets_;
    bool yielded_ = false;
};

}  // namespace nms::runtime
