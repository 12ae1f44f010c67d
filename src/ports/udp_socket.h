#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace nms::ports {

struct Datagram {
    std::vector<std::uint8_t> bytes;
    std::string senderAddress;  // dotted quad
    std::uint16_t senderPort = 0;
};

// A UDP socket as the station uses it: bound to a local address and port, sending whole
// datagrams to a host and port, and delivering every received datagram whole.
class UdpSocket {
public:
    // The numbering follows the socket component the station was designed with: 0 closed,
    // 1 open (bound), 9 error.
    enum class State : int { Closed = 0, Open = 1, Error = 9 };

    virtual ~UdpSocket() = default;
    virtual State state() const = 0;
    // localAddress "0.0.0.0" binds to all interfaces. False on failure, see errorString().
    virtual bool bind(const std::string& localAddress, std::uint16_t localPort) = 0;
    virtual void close() = 0;
    // Sends one datagram. The host is a dotted quad; "255.255.255.255" is a broadcast, which
    // leaves by the bound interface, or by every broadcast-capable interface when bound to all.
    virtual bool sendTo(const std::string& host, std::uint16_t port, std::span<const std::uint8_t> bytes) = 0;
    // A description of the last failure, in the words of the socket layer.
    virtual std::string errorString() const = 0;
    // Datagrams the kernel reported as dropped for lack of buffer space, since bind.
    virtual std::uint64_t droppedDatagrams() const { return 0; }
    // The receive buffer the kernel granted, in bytes; 0 while closed or when not known.
    virtual int receiveBufferBytes() const { return 0; }

    // Set by the owner; an adapter calls it once per received datagram, in arrival order, on
    // the station's thread.
    std::function<void(Datagram)> onDatagram;
};

}  // namespace nms::ports
