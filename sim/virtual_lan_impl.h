#pragma once

// The inside of the virtual LAN, shared by its files: the network itself (virtual_lan.cpp) and
// the services its station host offers (virtual_lan_hosts.cpp).

#include "sim/virtual_lan.h"

#include <algorithm>
#include <deque>
#include <map>
#include <unordered_map>

#include <memory>
#include <string>
#include "protocol/paging.h"

namespace nms::sim {

namespace virtual_lan {

inline constexpr std::size_t kMaxUdpPayload = 65507;
inline constexpr std::uint16_t kFirstEphemeralPort = 49152;
inline const std::string kAnyAddress = "0.0.0.0";

inline std::uint32_t toNumber(const Ipv4& ip) {
    return (std::uint32_t{ip[0]} << 24) | (std::uint32_t{ip[1]} << 16) |
           (std::uint32_t{ip[2]} << 8) | ip[3];
}

inline bool isLoopback(const std::string& ip) {
    const auto a = parseIpv4(ip);
    return a && (*a)[0] == 127;
}

inline std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class VirtualUdpSocket;

}  // namespace virtual_lan

struct VirtualLan::Impl : std::enable_shared_from_this<VirtualLan::Impl> {
    Impl(ports::Scheduler& s, const ports::Clock& c, Options o)
        : scheduler(s), clock(c), options(std::move(o)) {
        rng = options.seed;
        if (auto m = parseIpv4(options.netmask)) mask = virtual_lan::toNumber(*m);
        if (!options.stationAddresses.empty()) {
            if (auto a = parseIpv4(options.stationAddresses.front()))
                subnet = virtual_lan::toNumber(*a) & mask;
        }
    }

    enum class Target { ByAddress, OneElement };
    struct Pending {
        Frame frame;
        Target target = Target::ByAddress;
        Element* to = nullptr;    // the receiver of a broadcast copy
        Element* from = nullptr;  // the sending element, if any
    };

    ports::Scheduler& scheduler;
    const ports::Clock& clock;
    Options options;
    std::uint32_t mask = 0xFFFFFF00u;
    std::uint32_t subnet = 0;
    std::uint64_t rng = 1;

    std::deque<std::unique_ptr<Element>> elements;
    std::unordered_map<std::string, Element*> byIp;

    struct Binding {
        std::string address;
        std::uint16_t port = 0;
        virtual_lan::VirtualUdpSocket* socket = nullptr;
    };
    std::map<std::uint64_t, Binding> bindings;  // socket id → binding (bound sockets only)
    std::uint64_t nextSocketId = 1;

    std::map<std::pair<std::int64_t, std::uint64_t>, Pending> queue;  // (due µs, sequence)
    std::uint64_t sequence = 0;
    ports::Scheduler::TaskId wakeTask = 0;
    std::int64_t wakeAtMs = -1;

    std::unordered_map<std::string, Mac> neighbours;
    bool icmpAvailable = true;
    std::map<std::uint64_t, ports::Scheduler::TaskId> echoes;
    std::uint64_t nextEcho = 1;

    std::uint64_t delivered = 0, unclaimed = 0;
    VirtualLan* owner = nullptr;

    std::unique_ptr<ports::NeighbourTable> neighbourPort;
    std::unique_ptr<ports::Icmp> icmpPort;
    std::unique_ptr<ports::InterfaceList> interfacePort;

    std::int64_t nowUs() const { return clock.monotonicMs() * 1000; }

    std::int64_t latencyUs() {
        const std::int64_t lo = std::max<std::int64_t>(0, options.minLatencyUs);
        const std::int64_t hi = std::max(lo, options.maxLatencyUs);
        return lo + static_cast<std::int64_t>(virtual_lan::splitmix(rng) %
                                              static_cast<std::uint64_t>(hi - lo + 1));
    }

    bool isStationAddress(const std::string& ip) const {
        return std::find(options.stationAddresses.begin(), options.stationAddresses.end(), ip) !=
               options.stationAddresses.end();
    }

    bool isBroadcast(const std::string& ip) const {
        if (ip == protocol::kBroadcastAddress) return true;
        const auto a = parseIpv4(ip);
        return a && mask != 0xFFFFFFFFu && virtual_lan::toNumber(*a) == (subnet | ~mask);
    }

    // Whether the station reaches the address without a router between them.
    bool onSegment(const std::string& ip) const {
        if (!options.routeOffSegment) return true;
        const auto a = parseIpv4(ip);
        return a && (virtual_lan::toNumber(*a) & mask) == subnet;
    }

    Element* elementAt(const std::string& ip) {
        auto it = byIp.find(ip);
        if (it != byIp.end() && it->second->ipText() == ip) return it->second;
        // An element changed its address (by a configuration or by a test): index again.
        byIp.clear();
        for (auto& e : elements) byIp.emplace(e->ipText(), e.get());
        it = byIp.find(ip);
        return it == byIp.end() ? nullptr : it->second;
    }

    void enqueue(Pending p, std::int64_t extraUs = 0) {
        const std::int64_t due = nowUs() + latencyUs() + std::max<std::int64_t>(0, extraUs);
        queue.emplace(std::make_pair(due, sequence++), std::move(p));
        scheduleWake();
    }

    void scheduleWake() {
        if (queue.empty()) return;
        const std::int64_t dueUs = queue.begin()->first.first;
        const std::int64_t nowMs = clock.monotonicMs();
        std::int64_t atMs = (dueUs + 999) / 1000;
        if (atMs <= nowMs) atMs = nowMs;
        if (wakeTask != 0 && wakeAtMs <= atMs) return;
        if (wakeTask != 0) scheduler.cancel(wakeTask);
        wakeAtMs = atMs;
        std::weak_ptr<Impl> weak = weak_from_this();
        wakeTask = scheduler.callAfter(atMs - nowMs, [weak] {
            if (auto self = weak.lock()) self->wake();
        });
    }

    void wake() {
        wakeTask = 0;
        wakeAtMs = -1;
        auto keepAlive = shared_from_this();
        const std::int64_t now = nowUs();
        while (!queue.empty() && queue.begin()->first.first <= now) {
            auto node = queue.extract(queue.begin());
            deliver(std::move(node.mapped()));
        }
        if (!queue.empty()) {
            // A timer that fired early must not spin: wait at least one millisecond.
            if (queue.begin()->first.first <= nowUs()) {
                std::weak_ptr<Impl> weak = weak_from_this();
                wakeAtMs = clock.monotonicMs() + 1;
                wakeTask = scheduler.callAfter(1, [weak] {
                    if (auto self = weak.lock()) self->wake();
                });
            } else {
                scheduleWake();
            }
        }
    }

    void learn(Element* e) {
        if (e != nullptr && onSegment(e->ipText())) neighbours[e->ipText()] = e->identity().mac;
    }

    void deliver(Pending p);
    void deliverToElement(Element* e, const Frame& f);
    bool deliverToStation(const Frame& f, bool broadcast);
    void sendFromStation(Frame f);
};

namespace virtual_lan {
// The station host's neighbour table, ICMP and interface list on the virtual LAN.
std::unique_ptr<ports::NeighbourTable> makeNeighbours(VirtualLan::Impl& lan);
std::unique_ptr<ports::Icmp> makeIcmp(VirtualLan::Impl& lan);
std::unique_ptr<ports::InterfaceList> makeInterfaces(VirtualLan::Impl& lan);
}  // namespace virtual_lan

}  // namespace nms::sim
