#include "sim/virtual_lan.h"

#include <algorithm>
#include <deque>
#include <map>
#include <unordered_map>

#include "protocol/paging.h"

namespace nms::sim {

namespace {

constexpr std::size_t kMaxUdpPayload = 65507;
constexpr std::uint16_t kFirstEphemeralPort = 49152;
const std::string kAnyAddress = "0.0.0.0";

std::uint32_t toNumber(const Ipv4& ip) {
    return (std::uint32_t{ip[0]} << 24) | (std::uint32_t{ip[1]} << 16) | (std::uint32_t{ip[2]} << 8) | ip[3];
}

bool isLoopback(const std::string& ip) {
    const auto a = parseIpv4(ip);
    return a && (*a)[0] == 127;
}

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class VirtualUdpSocket;
class VirtualNeighbours;
class VirtualIcmp;
class VirtualInterfaces;

}  // namespace

struct VirtualLan::Impl : std::enable_shared_from_this<VirtualLan::Impl> {
    Impl(ports::Scheduler& s, const ports::Clock& c, Options o) : scheduler(s), clock(c), options(std::move(o)) {
        rng = options.seed;
        if (auto m = parseIpv4(options.netmask)) mask = toNumber(*m);
        if (!options.stationAddresses.empty()) {
            if (auto a = parseIpv4(options.stationAddresses.front())) subnet = toNumber(*a) & mask;
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
        VirtualUdpSocket* socket = nullptr;
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

    std::unique_ptr<VirtualNeighbours> neighbourPort;
    std::unique_ptr<VirtualIcmp> icmpPort;
    std::unique_ptr<VirtualInterfaces> interfacePort;

    std::int64_t nowUs() const { return clock.monotonicMs() * 1000; }

    std::int64_t latencyUs() {
        const std::int64_t lo = std::max<std::int64_t>(0, options.minLatencyUs);
        const std::int64_t hi = std::max(lo, options.maxLatencyUs);
        return lo + static_cast<std::int64_t>(splitmix(rng) % static_cast<std::uint64_t>(hi - lo + 1));
    }

    bool isStationAddress(const std::string& ip) const {
        return std::find(options.stationAddresses.begin(), options.stationAddresses.end(), ip) !=
               options.stationAddresses.end();
    }

    bool isBroadcast(const std::string& ip) const {
        if (ip == protocol::kBroadcastAddress) return true;
        const auto a = parseIpv4(ip);
        return a && mask != 0xFFFFFFFFu && toNumber(*a) == (subnet | ~mask);
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
        if (e != nullptr) neighbours[e->ipText()] = e->identity().mac;
    }

    void deliver(Pending p);
    void deliverToElement(Element* e, const Frame& f);
    bool deliverToStation(const Frame& f, bool broadcast);
    void sendFromStation(Frame f);
};

namespace {

class VirtualUdpSocket : public ports::UdpSocket {
public:
    VirtualUdpSocket(std::weak_ptr<VirtualLan::Impl> lan, std::uint64_t id) : lan_(std::move(lan)), id_(id) {}
    ~VirtualUdpSocket() override { unbind(); }

    State state() const override { return state_; }

    bool bind(const std::string& localAddress, std::uint16_t localPort) override {
        auto lan = lan_.lock();
        if (!lan) return fail("The network is not available");
        if (state_ == State::Open) return fail("The socket is already bound");
        if (localAddress != kAnyAddress && !lan->isStationAddress(localAddress) && !isLoopback(localAddress)) {
            return fail("The address is not available");
        }
        auto clashes = [&](std::uint16_t port) {
            for (const auto& [id, b] : lan->bindings) {
                if (b.port != port) continue;
                if (b.address == localAddress || b.address == kAnyAddress || localAddress == kAnyAddress) return true;
            }
            return false;
        };
        std::uint16_t port = localPort;
        if (port == 0) {
            for (std::uint32_t p = kFirstEphemeralPort; p <= 65535; ++p) {
                if (!clashes(static_cast<std::uint16_t>(p))) {
                    port = static_cast<std::uint16_t>(p);
                    break;
                }
            }
            if (port == 0) return fail("Insufficient resources");
        } else if (clashes(port)) {
            return fail("The bound address is already in use");
        }
        lan->bindings[id_] = VirtualLan::Impl::Binding{localAddress, port, this};
        address_ = localAddress;
        port_ = port;
        state_ = State::Open;
        error_.clear();
        return true;
    }

    void close() override {
        unbind();
        state_ = State::Closed;
    }

    bool sendTo(const std::string& host, std::uint16_t port, std::span<const std::uint8_t> bytes) override {
        auto lan = lan_.lock();
        if (!lan) return fail("The network is not available");
        if (state_ == State::Error) return fail(error_.empty() ? "Unable to send a datagram" : error_);
        if (!parseIpv4(host) || port == 0) return fail("The address is not valid");
        if (bytes.size() > kMaxUdpPayload) return fail("Datagram was too large to send");
        // Like a real socket, sending from an unbound one binds it to a free port first.
        if (state_ == State::Closed && !bind(kAnyAddress, 0)) return false;
        std::string source = address_;
        if (source == kAnyAddress) {
            source = isLoopback(host) || lan->options.stationAddresses.empty() ? "127.0.0.1"
                                                                                : lan->options.stationAddresses.front();
        }
        lan->sendFromStation(VirtualLan::Frame{source, port_, host, port, {bytes.begin(), bytes.end()}});
        return true;
    }

    std::string errorString() const override { return error_; }

    void receive(ports::Datagram d) {
        if (onDatagram) onDatagram(std::move(d));
    }

private:
    bool fail(std::string text) {
        error_ = std::move(text);
        if (state_ != State::Open) state_ = State::Error;
        return false;
    }
    void unbind() {
        if (auto lan = lan_.lock()) lan->bindings.erase(id_);
        port_ = 0;
        address_.clear();
    }

    std::weak_ptr<VirtualLan::Impl> lan_;
    std::uint64_t id_;
    State state_ = State::Closed;
    std::string address_;
    std::uint16_t port_ = 0;
    std::string error_;
};

class VirtualNeighbours : public ports::NeighbourTable {
public:
    explicit VirtualNeighbours(VirtualLan::Impl& lan) : lan_(lan) {}
    std::optional<std::vector<std::uint8_t>> lookup(const std::string& ipv4) override {
        if (auto it = lan_.neighbours.find(ipv4); it != lan_.neighbours.end()) {
            return std::vector<std::uint8_t>(it->second.begin(), it->second.end());
        }
        // Not known yet: resolve it, as the kernel does on a miss, for the next lookup.
        if (Element* e = lan_.elementAt(ipv4)) {
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
    WatchId whenResolved(const std::string& ipv4, std::int64_t timeoutMs, std::function<void(Entry)> done) override {
        const WatchId id = nextWatch_++;
        auto finish = [this, id, done = std::move(done)](Entry e) {
            if (watches_.erase(id) == 0) return;
            done(std::move(e));
        };
        std::int64_t afterMs = 0;
        std::function<Entry()> outcome;
        if (auto found = lookup(ipv4)) {
            outcome = [mac = std::move(*found)] { return Entry{State::Complete, mac}; };
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
        watches_[id] = lan_.scheduler.callAfter(std::max<std::int64_t>(0, afterMs),
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

    RequestId echo(const std::string& ipv4, std::span<const std::uint8_t> /*payload*/, int timeoutMs,
                   std::function<void(ports::EchoResult)> done) override {
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

void VirtualLan::Impl::sendFromStation(Frame f) {
    if (isBroadcast(f.destinationIp)) {
        // Each element hears the broadcast after its own latency; the station's own sockets
        // on that port hear it too.
        for (auto& e : elements) enqueue(Pending{f, Target::OneElement, e.get(), nullptr});
    }
    enqueue(Pending{std::move(f), Target::ByAddress, nullptr, nullptr});
}

void VirtualLan::Impl::deliver(Pending p) {
    Frame& f = p.frame;
    if (p.target == Target::OneElement) {
        deliverToElement(p.to, f);
        return;
    }
    const bool broadcast = isBroadcast(f.destinationIp);
    if (broadcast) {
        bool any = deliverToStation(f, true);
        if (p.from != nullptr) {  // an element's broadcast reaches the other elements as well
            for (auto& e : elements) {
                if (e.get() != p.from) {
                    deliverToElement(e.get(), f);
                    any = true;
                }
            }
        }
        if (!any && p.from == nullptr) return;  // the station's copy; elements got theirs
        if (!any) ++unclaimed;
        return;
    }
    if (isStationAddress(f.destinationIp) || isLoopback(f.destinationIp)) {
        // The element's address, not a forged one, is what the station's kernel learns.
        if (p.from != nullptr && f.sourceIp == p.from->ipText()) learn(p.from);
        if (!deliverToStation(f, false)) ++unclaimed;
        return;
    }
    if (Element* e = elementAt(f.destinationIp)) {
        if (p.from == nullptr) learn(e);
        deliverToElement(e, f);
        return;
    }
    ++unclaimed;
}

void VirtualLan::Impl::deliverToElement(Element* e, const Frame& f) {
    ++delivered;
    if (owner != nullptr && owner->onFrame) owner->onFrame(f);
    auto answers = e->receive(f.destinationPort, f.bytes, f.sourceIp, f.sourcePort, clock.monotonicMs());
    for (auto& a : answers) {
        Frame out{a.sourceIp.empty() ? e->ipText() : a.sourceIp, a.sourcePort, a.destinationIp, a.destinationPort,
                  std::move(a.bytes)};
        enqueue(Pending{std::move(out), Target::ByAddress, nullptr, e}, a.delayMs * 1000);
    }
}

bool VirtualLan::Impl::deliverToStation(const Frame& f, bool broadcast) {
    std::vector<std::uint64_t> ids;
    for (const auto& [id, b] : bindings) {
        if (b.port != f.destinationPort) continue;
        if (b.address == kAnyAddress || (!broadcast && b.address == f.destinationIp)) ids.push_back(id);
    }
    if (ids.empty()) return false;
    ++delivered;
    if (owner != nullptr && owner->onFrame) owner->onFrame(f);
    for (std::uint64_t id : ids) {
        // A handler may close or destroy another socket: look each one up again.
        auto it = bindings.find(id);
        if (it == bindings.end()) continue;
        static_cast<VirtualUdpSocket*>(it->second.socket)->receive(ports::Datagram{f.bytes, f.sourceIp, f.sourcePort});
    }
    return true;
}

VirtualLan::VirtualLan(ports::Scheduler& scheduler, const ports::Clock& clock)
    : VirtualLan(scheduler, clock, Options{}) {}

VirtualLan::VirtualLan(ports::Scheduler& scheduler, const ports::Clock& clock, Options options)
    : impl_(std::make_shared<Impl>(scheduler, clock, std::move(options))) {
    impl_->owner = this;
    impl_->neighbourPort = std::make_unique<VirtualNeighbours>(*impl_);
    impl_->icmpPort = std::make_unique<VirtualIcmp>(*impl_);
    impl_->interfacePort = std::make_unique<VirtualInterfaces>(*impl_);
}

VirtualLan::~VirtualLan() {
    if (impl_->wakeTask != 0) impl_->scheduler.cancel(impl_->wakeTask);
    for (auto& [id, task] : impl_->echoes) impl_->scheduler.cancel(task);
    impl_->owner = nullptr;
}

Element& VirtualLan::addElement(ElementIdentity identity, ElementSettings settings) {
    impl_->elements.push_back(std::make_unique<Element>(std::move(identity), settings));
    Element& e = *impl_->elements.back();
    e.resetCounters(impl_->clock.monotonicMs());
    impl_->byIp[e.ipText()] = &e;
    return e;
}

Element* VirtualLan::elementAt(const std::string& ip) { return impl_->elementAt(ip); }

Element* VirtualLan::elementByMac(const Mac& mac) {
    for (auto& e : impl_->elements) {
        if (e->identity().mac == mac) return e.get();
    }
    return nullptr;
}

std::vector<Element*> VirtualLan::elements() {
    std::vector<Element*> out;
    for (auto& e : impl_->elements) out.push_back(e.get());
    return out;
}

std::size_t VirtualLan::elementCount() const { return impl_->elements.size(); }

std::unique_ptr<ports::UdpSocket> VirtualLan::createUdpSocket() {
    return std::make_unique<VirtualUdpSocket>(impl_, impl_->nextSocketId++);
}

ports::NeighbourTable& VirtualLan::neighbours() { return *impl_->neighbourPort; }
ports::Icmp& VirtualLan::icmp() { return *impl_->icmpPort; }
ports::InterfaceList& VirtualLan::interfaces() { return *impl_->interfacePort; }

void VirtualLan::setIcmpAvailable(bool available) { impl_->icmpAvailable = available; }
void VirtualLan::flushNeighbours() { impl_->neighbours.clear(); }
std::uint64_t VirtualLan::framesDelivered() const { return impl_->delivered; }
std::uint64_t VirtualLan::framesUnclaimed() const { return impl_->unclaimed; }
std::size_t VirtualLan::framesInFlight() const { return impl_->queue.size(); }

}  // namespace nms::sim
