#include "runtime/yielding_network.h"

#include <algorithm>

namespace nms::runtime {

class YieldingNetwork::Socket : public ports::UdpSocket {
public:
    Socket(YieldingNetwork& network, std::unique_ptr<ports::UdpSocket> inner)
        : network_(&network), inner_(std::move(inner)) {
        inner_->onDatagram = [this](ports::Datagram d) {
            if (onDatagram) onDatagram(std::move(d));
        };
        network.sockets_.push_back(this);
    }
    ~Socket() override {
        if (network_) std::erase(network_->sockets_, this);
    }
    void forget() { network_ = nullptr; }

    State state() const override { return lent_ ? State::Open : inner_->state(); }
    bool bind(const std::string& localAddress, std::uint16_t localPort) override {
        address_ = localAddress;
        port_ = localPort;
        bound_ = true;
        if (network_ && network_->yielded_) {
            lent_ = true;  // bound when the ports come back
            return true;
        }
        bound_ = inner_->bind(localAddress, localPort);
        return bound_;
    }
    void close() override {
        bound_ = lent_ = false;
        inner_->close();
    }
    bool sendTo(const std::string& host, std::uint16_t port, std::span<const std::uint8_t> bytes) override {
        return !lent_ && inner_->sendTo(host, port, bytes);
    }
    std::string errorString() const override {
        return lent_ ? std::string("the ports are lent to another station of this host") : inner_->errorString();
    }
    std::uint64_t droppedDatagrams() const override { return inner_->droppedDatagrams(); }
    int receiveBufferBytes() const override { return inner_->receiveBufferBytes(); }

    void lend() {
        if (!bound_ || lent_) return;
        inner_->close();
        lent_ = true;
    }
    // Empty when bound again (or never bound).
    std::string bindAgain() {
        if (!lent_) return {};
        if (!inner_->bind(address_, port_))
            return "port " + std::to_string(port_) + ": " + inner_->errorString();
        lent_ = false;
        return {};
    }

private:
    YieldingNetwork* network_;
    std::unique_ptr<ports::UdpSocket> inner_;
    std::string address_;
    std::uint16_t port_ = 0;
    bool bound_ = false, lent_ = false;
};

YieldingNetwork::~YieldingNetwork() {
    for (auto* s : sockets_) s->forget();
}

std::unique_ptr<ports::UdpSocket> YieldingNetwork::createUdpSocket() {
    return std::make_unique<Socket>(*this, inner_.createUdpSocket());
}

void YieldingNetwork::yieldPorts() {
    yielded_ = true;
    for (auto* s : sockets_) s->lend();
}

std::string YieldingNetwork::takeBack() {
    std::string problems;
    for (auto* s : sockets_)
        if (auto problem = s->bindAgain(); !problem.empty())
            problems += (problems.empty() ? "" : "; ") + problem;
    yielded_ = !problems.empty();
    return problems;
}

}  // namespace nms::runtime
