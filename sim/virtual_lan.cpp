#include "sim/virtual_lan_impl.h"

namespace nms::sim {

using namespace virtual_lan;

namespace virtual_lan {


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

}  // namespace virtual_lan


void VirtualLan::Impl::sendFromStation(Frame f) {
    if (isBroadcast(f.destinationIp)) {
        // Each element hears the broadcast after its own latency; the station's own sockets
        // on that port hear it too.
        for (auto& e : elements)
            if (onSegment(e->ipText())) enqueue(Pending{f, Target::OneElement, e.get(), nullptr});
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
    impl_->neighbourPort = makeNeighbours(*impl_);
    impl_->icmpPort = makeIcmp(*impl_);
    impl_->interfacePort = makeInterfaces(*impl_);
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
