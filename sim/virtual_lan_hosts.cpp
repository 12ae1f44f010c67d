// The services of the station host on the virtual LAN: its neighbour table, ICMP echo and the
// list of its interfaces.

#include "sim/virtual_lan_impl.h"

namespace nms::sim::virtual_lan {

namespace {

class VirtualNeighbours : public ports::NeighbourTable {
public:
    explicit VirtualNeighbours(VirtualLan::Impl& lan) : lan_(lan) {}
    // Behind a router no resolution is started: the address is not on the link.
    Entry query(const std::string& ipv4) override {
        if (!lan_.onSegment(ipv4)) return {State::Unreachable, {}};
        return NeighbourTable::query(ipv4);
    }

    std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) override {
        if (auto it = lan_.neighbours.find(ipv4); it != lan_.neighbours.end()) {
            return std::vector<std::uint8_t>(it->second.begin(), it->second.end());
        }
        // Not known yet: resolve it, as the kernel does on a miss, for the next lookup.
        if (Element* e = lan_.elementAt(ipv4); e != nullptr && lan_.onSegment(ipv4)) {
            const std::string ip = ipv4;
            const Mac mac = e->identity().mac;
            std::weak_ptr<VirtualLan::Impl> weak = lan_.weak_from_this();
            lan_.scheduler.callAfter(1, [weak, ip, mac] {
                if (auto self = weak.lock()) self->neighbours[ip] = mac;
            });
        }
        return std::nullopt;
    }

    // An element of the LAN resolves a millisecond after the first miss; an address where no
    // element lives fails when the kernel would give up (three probes, a second apart), or at the
    // caller's time-out if that comes first.
    WatchId whenResolved(const std::string& ipv4, std::int64_t timeoutMs,
                         std::function<void(Entry)> done) override {
        const WatchId id = nextWatch_++;
        auto finish = [this, id, done = std::move(done)](Entry e) {
            if (watches_.erase(id) == 0) return;
            done(std::move(e));
        };
        std::int64_t afterMs = 0;
        std::function<Entry()> outcome;
        if (auto found = lookup(ipv4)) {
            outcome = [mac = std::move(*found)] { return Entry{State::Complete, mac}; };
        } else if (!lan_.onSegment(ipv4)) {
            outcome = [] { return Entry{State::Unreachable, {}}; };
        } else if (lan_.elementAt(ipv4) != nullptr) {
            afterMs = std::min<std::int64_t>(timeoutMs, 1);
            outcome = [this, ipv4] {
                auto mac = lookup(ipv4);
                return mac ? Entry{State::Complete, std::move(*mac)} : Entry{State::Resolving, {}};
            };
        } else {
            afterMs = std::min<std::int64_t>(timeoutMs, kGiveUpMs);
            outcome = [timedOut = timeoutMs < kGiveUpMs] {
                return timedOut ? Entry{State::Resolving, {}} : Entry{State::Unreachable, {}};
            };
        }
        watches_[id] = lan_.scheduler.callAfter(
            std::max<std::int64_t>(0, afterMs),
            [finish = std::move(finish), outcome = std::move(outcome)]() mutable {
                finish(outcome());
            });
        return id;
    }

    void cancelWatch(WatchId id) override {
        auto it = watches_.find(id);
        if (it == watches_.end()) return;
        lan_.scheduler.cancel(it->second);
        watches_.erase(it);
    }

private:
    static constexpr std::int64_t kGiveUpMs = 3000;
    VirtualLan::Impl& lan_;
    WatchId nextWatch_ = 1;
    std::unordered_map<WatchId, ports::Scheduler::TaskId> watches_;
};

class VirtualIcmp : public ports::Icmp {
public:
    explicit VirtualIcmp(VirtualLan::Impl& lan) : lan_(lan) {}
    bool available() override { return lan_.icmpAvailable; }

    RequestId echo(const std::string& ipv4, std::span<const std::uint8_t> /*payload*/,
                   int timeoutMs, std::function<void(ports::EchoResult)> done) override {
        if (!lan_.icmpAvailable || !parseIpv4(ipv4)) return 0;
        const RequestId id = lan_.nextEcho++;
        ports::EchoResult result{ports::echo_status::kTimedOut, 0};
        std::int64_t afterMs = std::max(0, timeoutMs);
        Element* target = nullptr;
        if (lan_.isStationAddress(ipv4) || isLoopback(ipv4)) {
            result = {ports::echo_status::kSuccess, 0};
            afterMs = 0;
        } else if (Element* e = lan_.elementAt(ipv4); e != nullptr && e->faults.answerPing) {
            const std::int64_t rttUs = lan_.latencyUs() + lan_.latencyUs();
            const std::int64_t rttMs = (rttUs + 999) / 1000;
            if (rttMs <= timeoutMs) {
                // Whole milliseconds, as the station reports them: under 1 ms reads 0.
                result = {ports::echo_status::kSuccess, static_cast<std::uint32_t>(rttUs / 1000)};
                afterMs = rttMs;
                target = e;
            }
        }
        std::weak_ptr<VirtualLan::Impl> weak = lan_.weak_from_this();
        const ports::Scheduler::TaskId task =
            lan_.scheduler.callAfter(afterMs, [weak, id, result, target, done = std::move(done)] {
                auto self = weak.lock();
                if (!self) return;
                self->echoes.erase(id);
                self->learn(target);
                if (done) done(result);
            });
        lan_.echoes[id] = task;
        return id;
    }

    void cancel(RequestId id) override {
        if (auto it = lan_.echoes.find(id); it != lan_.echoes.end()) {
            lan_.scheduler.cancel(it->second);
            lan_.echoes.erase(it);
        }
    }

private:
    VirtualLan::Impl& lan_;
};

class VirtualInterfaces : public ports::InterfaceList {
public:
    explicit VirtualInterfaces(VirtualLan::Impl& lan) : lan_(lan) {}
    Result localAddresses() override {
        std::vector<std::pair<std::uint32_t, std::string>> sorted;
        for (const auto& a : lan_.options.stationAddresses) {
            if (auto ip = parseIpv4(a)) sorted.emplace_back(toNumber(*ip), a);
        }
        if (lan_.options.listLoopback) sorted.emplace_back(0x7F000001u, "127.0.0.1");
        std::sort(sorted.begin(), sorted.end());
        Result r;
        for (auto& [n, a] : sorted) r.addresses.push_back(a);
        return r;
    }

private:
    VirtualLan::Impl& lan_;
};

}  // namespace

std::unique_ptr<ports::NeighbourTable> makeNeighbours(VirtualLan::Impl& lan) {
    return std::make_unique<VirtualNeighbours>(lan);
}
std::unique_ptr<ports::Icmp> makeIcmp(VirtualLan::Impl& lan) {
    return std::make_unique<VirtualIcmp>(lan);
}
std::unique_ptr<ports::InterfaceList> makeInterfaces(VirtualLan::Impl& lan) {
    return std::make_unique<VirtualInterfaces>(lan);
}

}  // namespace nms::sim::virtual_lan
