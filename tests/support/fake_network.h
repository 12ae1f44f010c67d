#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/network.h"

namespace nms::testing {

// A network for unit tests of the station: sockets record what they send and tests hand them
// datagrams; the neighbour table, ICMP and interface list answer as the test set them up.
class FakeNetwork : public ports::Network {
public:
    struct Sent {
        std::string localAddress;
        std::uint16_t localPort;
        std::string host;
        std::uint16_t port;
        std::vector<std::uint8_t> bytes;
    };
    class Socket;

    std::unique_ptr<ports::UdpSocket> createUdpSocket() override;
    ports::NeighbourTable& neighbours() override { return neighbours_; }
    ports::Icmp& icmp() override { return icmp_; }
    ports::InterfaceList& interfaces() override { return interfaces_; }

    // Delivers a datagram to every open socket bound to `port` (as the kernel would deliver it
    // to the one socket bound there).
    void deliver(std::uint16_t port, std::vector<std::uint8_t> bytes, const std::string& from = "192.168.1.50");
    // Ports that a bind must fail on, with the error text.
    std::map<std::uint16_t, std::string> occupiedPorts;
    // Sends to these hosts ("255.255.255.255" for a broadcast) fail, in these words.
    std::set<std::string> failingHosts;
    std::string sendError = "Network is unreachable";
    std::vector<Sent> sent;
    // Sockets currently bound: (address, port).
    std::vector<std::pair<std::string, std::uint16_t>> bound() const;
    int bindCount = 0;

    // Neighbour table entries by dotted quad; a lookup counts in lookups.
    std::map<std::string, std::vector<std::uint8_t>> macs;
    int lookups = 0;
    // Watches of the neighbour table (address, callback) wait until the test ends them.
    std::map<ports::NeighbourTable::WatchId, std::pair<std::string, std::function<void(ports::NeighbourTable::Entry)>>>
        neighbourWatches;
    // ICMP
    bool icmpAvailable = true;
    std::vector<std::string> echoes;  // addresses pinged
    // Interfaces
    ports::InterfaceList::Result addresses{{"192.168.1.10"}, 0};

private:
    class Neighbours : public ports::NeighbourTable {
    public:
        explicit Neighbours(FakeNetwork& n) : n_(n) {}
        std::optional<std::vector<std::uint8_t>> lookup(const std::string& ip) override;
        WatchId whenResolved(const std::string& ip, std::int64_t, std::function<void(Entry)> done) override {
            n_.neighbourWatches[++next_] = {ip, std::move(done)};
            return next_;
        }
        void cancelWatch(WatchId id) override { n_.neighbourWatches.erase(id); }

    private:
        FakeNetwork& n_;
        WatchId next_ = 0;
    };
    class FakeIcmp : public ports::Icmp {
    public:
        explicit FakeIcmp(FakeNetwork& n) : n_(n) {}
        bool available() override { return n_.icmpAvailable; }
        RequestId echo(const std::string& ip, std::span<const std::uint8_t>, int, std::function<void(ports::EchoResult)>) override {
            n_.echoes.push_back(ip);
            return ++next_;
        }
        void cancel(RequestId) override {}

    private:
        FakeNetwork& n_;
        RequestId next_ = 0;
    };
    class Interfaces : public ports::InterfaceList {
    public:
        explicit Interfaces(FakeNetwork& n) : n_(n) {}
        Result localAddresses() override { return n_.addresses; }

    private:
        FakeNetwork& n_;
    };
    friend class Socket;
    std::vector<Socket*> sockets_;
    Neighbours neighbours_{*this};
    FakeIcmp icmp_{*this};
    Interfaces interfaces_{*this};
};

}  // namespace nms::testing
