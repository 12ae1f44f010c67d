#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ports/network.h"
#include "ports/scheduler.h"
#include "sim/element.h"

// An Ethernet segment inside the process: the station host and any number of simulated
// elements, each with its own IPv4 and MAC address. It implements the station's network ports
// (UDP sockets, neighbour table, ICMP, interface list), so the station runs on it unchanged, in
// tests under virtual time and in the demo under real timers.
//
// - Every datagram takes a small latency (deterministic jitter between the configured bounds)
//   and is delivered later from the scheduler, never from inside sendTo().
// - The station sends from its sockets; a datagram to 255.255.255.255 (or to the subnet's
//   broadcast address) reaches every element and every station socket bound to that port.
// - A station socket bound to "0.0.0.0" or to one of the station's addresses receives what is
//   sent to that address and port. Binding a port already taken fails as a socket does.
// - The neighbour table learns an element's MAC as the kernel would: once a datagram or an echo
//   has passed between the station and that element. A lookup of an address that is on the
//   segment but not yet known answers nothing and resolves it a moment later; an address with
//   no host never resolves.
// - An echo to an element comes back after the round trip; to an address with no host (or an
//   element told not to answer) it times out.
// - Nothing is dropped for lack of buffer space: every datagram is delivered.
namespace nms::sim {

class VirtualLan : public ports::Network {
public:
    struct Options {
        // The station host's addresses; sockets bound to "0.0.0.0" send from the first.
        std::vector<std::string> stationAddresses{"192.168.50.10"};
        Mac stationMac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x01};
        std::string netmask = "255.255.255.0";
        // One-way latency bounds in microseconds.
        std::int64_t minLatencyUs = 200;
        std::int64_t maxLatencyUs = 2000;
        std::uint64_t seed = 1;
        // The interface list also names the loopback address, as a real host's does.
        bool listLoopback = true;
        // Elements outside the station's subnet sit behind a router: a unicast reaches them, a
        // broadcast does not, and the neighbour table never learns their MAC. Off, every element
        // is on the segment whatever its address (an element readdressed by a test stays found).
        bool routeOffSegment = false;
    };

    // One datagram on the wire, as a capture would show it.
    struct Frame {
        std::string sourceIp;
        std::uint16_t sourcePort = 0;
        std::string destinationIp;
        std::uint16_t destinationPort = 0;
        std::vector<std::uint8_t> bytes;
    };

    VirtualLan(ports::Scheduler& scheduler, const ports::Clock& clock);
    VirtualLan(ports::Scheduler& scheduler, const ports::Clock& clock, Options options);
    ~VirtualLan() override;
    VirtualLan(const VirtualLan&) = delete;
    VirtualLan& operator=(const VirtualLan&) = delete;

    // Adds an element; the reference stays valid for the life of the LAN.
    Element& addElement(ElementIdentity identity, ElementSettings settings = {});
    // The element whose current address is `ip`, or nullptr.
    Element* elementAt(const std::string& ip);
    Element* elementByMac(const Mac& mac);
    std::vector<Element*> elements();
    std::size_t elementCount() const;

    // ports::Network
    std::unique_ptr<ports::UdpSocket> createUdpSocket() override;
    ports::NeighbourTable& neighbours() override;
    ports::Icmp& icmp() override;
    ports::InterfaceList& interfaces() override;

    // Makes the ICMP port report that no socket can be opened.
    void setIcmpAvailable(bool available);
    // Forgets every learned neighbour entry.
    void flushNeighbours();

    // Every datagram as it is delivered (after its latency); for tests and the demo's log.
    std::function<void(const Frame&)> onFrame;
    std::uint64_t framesDelivered() const;
    // Datagrams that reached no host or no bound socket.
    std::uint64_t framesUnclaimed() const;
    // Datagrams still travelling.
    std::size_t framesInFlight() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace nms::sim
