#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "sim/element.h"

// A crowd of simulated elements behind one link, speaking Ethernet itself: an Ethernet frame in,
// the frames the elements answer with out. Each element has an address and a MAC of its own;
// the crowd answers ARP for every element address with that element's MAC, the paging broadcast
// for every element the way an element's own stack would (an ARP request for the station's
// address, which gives the station's kernel its neighbour entry as a real element's does,
// followed by the feedback datagram), a paging request sent to one element's address by that
// element alone, and the requests on the statistics port (statistics, delay) of the element they
// are addressed to, with that element's own answer. Every answer leaves toward the MAC the
// request came from: a station behind a router is answered through the router, as an element's
// stack answers through its gateway. No sockets and no clock: the caller passes the time, so the
// daemon and the tests run the same crowd.
namespace nms::sim {

using Frame = std::vector<std::uint8_t>;

struct CrowdOptions {
    Ipv4 first{10, 204, 0, 2};  // consecutive addresses from here, skipping .0 and .255
    Ipv4 mask{255, 255, 0, 0};
    int count = 1;
    // When not 0, this many elements on each /24 and then on to the next /24, from the same host
    // number as the first: a plant spread over many routed sites by one crowd.
    int perSubnet = 0;
    std::int32_t firstSerial = 100001;  // element i has serial firstSerial + i - 1
    std::array<std::uint8_t, 2> macPrefix{0x02, 0xCD};  // then the element's number, 4 bytes
    // Silent elements answer ARP and paging, so they are found and stored, and nothing else: a
    // unit whose statistics never come. Every K-th element (K, 2K, ...) with silentEvery K, and
    // every element from number silentFrom on (a segment that went down), when not 0.
    int silentEvery = 0;
    int silentFrom = 0;
};

class Crowd {
public:
    explicit Crowd(const CrowdOptions& options);

    enum class Kind { Ignored, Arp, Paging, Request, Silent };
    struct Handled {
        Kind kind = Kind::Ignored;
        // One entry per answering element, its frames in the order they leave, so that a
        // caller may space the elements' answers.
        std::vector<std::vector<Frame>> answers;
    };
    Handled handle(std::span<const std::uint8_t> frame, std::int64_t nowMs);

    // Elements are numbered from 1, as their names and MACs are.
    int size() const { return static_cast<int>(members_.size()); }
    const Element& element(int number) const { return members_.at(index(number)).element; }
    bool silent(int number) const { return members_.at(index(number)).silent; }

    std::uint64_t arpAnswered = 0;
    std::uint64_t pagingAnswered = 0;  // paging requests answered, one per answering element
    std::uint64_t requestsAnswered = 0;  // on the statistics port
    std::uint64_t requestsIgnored = 0;   // addressed to a silent element

private:
    struct Member {
        Element element;
        bool silent = false;
    };
    static std::size_t index(int number) { return static_cast<std::size_t>(number - 1); }

    Handled onArp(std::span<const std::uint8_t> f);
    Handled onIpv4(std::span<const std::uint8_t> f, std::int64_t nowMs);
    Frame arp(const Member& m, std::uint16_t op, const Mac& to, const Ipv4& targetIp,
              const Mac& targetMac) const;
    std::vector<Frame> datagrams(const Member& m, const Mac& toMac,
                                 const std::vector<OutDatagram>& out);

    std::vector<Member> members_;
    std::unordered_map<std::uint32_t, std::size_t> byAddress_;
    std::uint16_t ipId_ = 0;
};

// An Ethernet frame carrying one IPv4 UDP datagram (no UDP checksum, as IPv4 allows).
Frame udpFrame(const Mac& toMac, const Mac& fromMac, const Ipv4& fromIp, const Ipv4& toIp,
               std::uint16_t fromPort, std::uint16_t toPort, std::span<const std::uint8_t> payload,
               std::uint16_t ipId = 0);

}  // namespace nms::sim
