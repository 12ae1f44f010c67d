#include "ports/udp_client.h"

namespace nms::ports {

UdpClient::UdpClient(Network& network, EventGate& gate, std::uint16_t localPortValue, std::uint16_t remotePortValue)
    : localPort(localPortValue), remotePort(remotePortValue), network_(network), gate_(gate),
      self_(std::make_shared<UdpClient*>(this)) {}

UdpClient::~UdpClient() {
    *self_ = nullptr;
    close();
}

UdpSocket::State UdpClient::state() const { return socket_ ? socket_->state() : UdpSocket::State::Closed; }

bool UdpClient::bind(const std::string& address) {
    if (socket_ && socket_->state() != UdpSocket::State::Closed) socket_->close();
    if (!socket_) {
        socket_ = network_.createUdpSocket();
        std::weak_ptr<UdpClient*> weak = self_;
        EventGate* gate = &gate_;
        socket_->onDatagram = [weak, gate](Datagram d) {
            // Judged before it is queued: a refused datagram costs nothing while a box is open.
            if (auto self = weak.lock(); self && *self) {
                UdpClient& client = **self;
                if (client.acceptIncoming && !client.acceptIncoming(d)) {
                    ++client.refused_;
                    return;
                }
            }
            gate->dispatch(EventGate::Kind::Datagram, [weak, d = std::move(d)] {
                auto self = weak.lock();
                if (!self || !*self || !(*self)->onDataArrival) return;
                ++(*self)->delivered_;
                (*self)->onDataArrival(d);
                // The owner may have gone with its handler (a window its own reply closed).
                if (self = weak.lock(); self && *self) (*self)->dataArrived(d);
            });
        };
    }
    if (!socket_->bind(address, localPort)) {
        error_ = socket_->errorString();
        return false;
    }
    error_.clear();
    return true;
}

void UdpClient::close() {
    if (socket_) socket_->close();
}

bool UdpClient::send(std::span<const std::uint8_t> bytes) {
    if (!socket_ || socket_->state() == UdpSocket::State::Closed) {
        error_ = "Invalid operation at current state";
        return false;
    }
    if (!socket_->sendTo(remoteHost, remotePort, bytes)) {
        error_ = socket_->errorString();
        return false;
    }
    return true;
}

bool UdpClient::send(const std::string& text) {
    return send(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::uint64_t UdpClient::droppedDatagrams() const { return socket_ ? socket_->droppedDatagrams() : 0; }

int UdpClient::receiveBufferBytes() const { return socket_ ? socket_->receiveBufferBytes() : 0; }

}  // namespace nms::ports
