#include "support/fake_network.h"

#include <algorithm>

namespace nms::testing {

class FakeNetwork::Socket : public ports::UdpSocket {
public:
    explicit Socket(FakeNetwork& n) : n_(n) { n_.sockets_.push_back(this); }
    ~Socket() override { n_.sockets_.erase(std::find(n_.sockets_.begin(), n_.sockets_.end(), this)); }
    State state() const override { return state_; }
    bool bind(const std::string& address, std::uint16_t port) override {
        ++n_.bindCount;
        auto occupied = n_.occupiedPorts.find(port);
        if (occupied != n_.occupiedPorts.end()) {
            error_ = occupied->second;
            state_ = State::Closed;
            return false;
        }
        address_ = address;
        port_ = port;
        state_ = State::Open;
        return true;
    }
    void close() override { state_ = State::Closed; }
    bool sendTo(const std::string& host, std::uint16_t port, std::span<const std::uint8_t> bytes) override {
        if (state_ != State::Open || n_.failingHosts.count(host)) {
            error_ = state_ == State::Open ? n_.sendError : "Network is unreachable";
            return false;
        }
        n_.sent.push_back({address_, port_, host, port, {bytes.begin(), bytes.end()}});
        return true;
    }
    std::string errorString() const override { return error_; }

    FakeNetwork& n_;
    State state_ = State::Closed;
    std::string address_;
    std::uint16_t port_ = 0;
    std::string error_;
};

std::unique_ptr<ports::UdpSocket> FakeNetwork::createUdpSocket() { return std::make_unique<Socket>(*this); }

void FakeNetwork::deliver(std::uint16_t port, std::vector<std::uint8_t> bytes, const std::string& from) {
    for (auto* s : std::vector<Socket*>(sockets_)) {
        if (s->state_ == ports::UdpSocket::State::Open && s->port_ == port && s->onDatagram) {
            s->onDatagram({bytes, from, 2976});
            return;
        }
    }
}

std::vector<std::pair<std::string, std::uint16_t>> FakeNetwork::bound() const {
    std::vector<std::pair<std::string, std::uint16_t>> out;
    for (auto* s : sockets_)
        if (s->state_ == ports::UdpSocket::State::Open) out.emplace_back(s->address_, s->port_);
    return out;
}

std::optional<std::vector<std::uint8_t>> FakeNetwork::Neighbours::lookup(const std::string& ip) {
    ++n_.lookups;
    auto it = n_.macs.find(ip);
    if (it == n_.macs.end()) return std::nullopt;
    return it->second;
}

}  // namespace nms::testing
