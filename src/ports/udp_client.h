#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ports/event_gate.h"
#include "ports/network.h"
#include "ports/signal.h"

namespace nms::ports {

// A socket with the properties the station's procedures set one by one (local port, remote host,
// remote port) before they bind and send, as the socket component it was designed with. Received
// datagrams reach onDataArrival through the event gate, unless acceptIncoming refuses them first.
class UdpClient {
public:
    UdpClient(Network& network, EventGate& gate, std::uint16_t localPort, std::uint16_t remotePort);
    ~UdpClient();

    UdpSocket::State state() const;
    std::uint16_t localPort = 0;
    std::uint16_t remotePort = 0;
    std::string remoteHost;

    // Binds to `localPort` on `address` (creating the socket if needed).
    bool bind(const std::string& address);
    bool bind(const std::string& address, std::uint16_t port) {
        localPort = port;
        return bind(address);
    }
    void close();
    // Sends to remoteHost:remotePort.
    bool send(std::span<const std::uint8_t> bytes);
    bool send(const std::string& text);
    // Words of the last failure ("" when none).
    const std::string& errorDescription() const { return error_; }
    std::uint64_t droppedDatagrams() const;
    // The receive buffer of the bound socket; 0 when not known.
    int receiveBufferBytes() const;
    // Datagrams acceptIncoming refused.
    std::uint64_t refusedDatagrams() const { return refused_; }
    // Datagrams handed to onDataArrival.
    std::uint64_t deliveredDatagrams() const { return delivered_; }

    std::function<void(const Datagram&)> onDataArrival;
    // The same datagram for other watchers (a script reading the reply), after its owner had it.
    Signal<const Datagram&> dataArrived;
    // Judges a datagram as it arrives, before it joins the event gate's queue: one its owner
    // would drop anyway costs nothing however long a box or a wait lasts. It runs even while a
    // handler is suspended in a box, so it must not change what that handler works on. Unset:
    // every datagram is delivered.
    std::function<bool(const Datagram&)> acceptIncoming;

private:
    Network& network_;
    EventGate& gate_;
    std::unique_ptr<UdpSocket> socket_;
    std::string error_;
    std::uint64_t refused_ = 0;
    std::uint64_t delivered_ = 0;
    std::shared_ptr<UdpClient*> self_;
};

}  // namespace nms::ports
