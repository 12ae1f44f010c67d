#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QSocketNotifier>

#include "ports/udp_socket.h"

namespace nms::platform {

// The station's UDP socket: a non-blocking POSIX socket watched by the Qt event loop. A plain
// socket rather than QUdpSocket, because the station needs the kernel's drop counter
// (SO_RXQ_OVFL) and the choice of the outgoing interface for every broadcast datagram.
//
// Broadcasts to 255.255.255.255 leave by the interface of the bound address; bound to all
// interfaces, one copy leaves by every interface that is up and can broadcast. Neither needs a
// default route.
class QtUdpSocket : public ports::UdpSocket {
public:
    // What the station asks for; the kernel grants at most twice net.core.rmem_max unless the
    // process may force it.
    static constexpr int kWantedReceiveBuffer = 8 * 1024 * 1024;
    // Datagrams delivered before the event loop gets its turn again.
    static constexpr int kDatagramsPerSlice = 256;

    QtUdpSocket();
    ~QtUdpSocket() override;
    QtUdpSocket(const QtUdpSocket&) = delete;
    QtUdpSocket& operator=(const QtUdpSocket&) = delete;

    State state() const override { return state_; }
    bool bind(const std::string& localAddress, std::uint16_t localPort) override;
    void close() override;
    bool sendTo(const std::string& host, std::uint16_t port, std::span<const std::uint8_t> bytes) override;
    std::string errorString() const override { return error_; }
    std::uint64_t droppedDatagrams() const override { return dropped_; }

    // The receive buffer the kernel granted, in bytes (0 while closed).
    int receiveBufferBytes() const override { return receiveBuffer_; }
    std::uint16_t localPort() const { return localPort_; }
    // Copies the last broadcast was sent as (one per interface when bound to all).
    int lastBroadcastCopies() const { return lastCopies_; }

private:
    bool setError(int error);
    void releaseNotifier();
    void readPending();
    bool sendBroadcastOnEveryInterface(std::uint16_t port, std::span<const std::uint8_t> bytes);

    int fd_ = -1;
    State state_ = State::Closed;
    std::string error_;
    bool boundToAll_ = false;
    std::uint16_t localPort_ = 0;
    int receiveBuffer_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint32_t kernelDrops_ = 0;  // the kernel's counter, which wraps at 32 bits
    int lastCopies_ = 0;
    std::vector<std::uint8_t> datagramBuffer_;  // one datagram at a time, kept between reads
    int delivering_ = 0;
    std::uint64_t generation_ = 0;  // changes with every bind and close
    QObject context_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nms::platform
