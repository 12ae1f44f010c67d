#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QSocketNotifier>

#include "ports/icmp.h"

namespace nms::platform {

// ICMP echo on Linux. An unprivileged ICMP datagram socket is used where the group range of
// net.ipv4.ping_group_range admits the user; otherwise a raw socket (root or CAP_NET_RAW).
// The socket is non-blocking and watched by the Qt event loop; answers and time-outs are
// delivered on the thread that created this object, never from inside echo().
class LinuxIcmp : public ports::Icmp {
public:
    enum class SocketKind { None, Datagram, Raw };

    LinuxIcmp();
    ~LinuxIcmp() override;
    LinuxIcmp(const LinuxIcmp&) = delete;
    LinuxIcmp& operator=(const LinuxIcmp&) = delete;

    // The socket is opened on construction; if that failed, each call tries again (permission
    // may have been granted since).
    bool available() override;
    RequestId echo(const std::string& ipv4, std::span<const std::uint8_t> payload, int timeoutMs,
                   std::function<void(ports::EchoResult)> done) override;
    void cancel(RequestId id) override;

    SocketKind socketKind() const { return kind_; }
    std::size_t inFlight() const { return pending_.size(); }

    // The echo status for an ICMP error (type, code) received in answer to a request.
    static std::int32_t statusForIcmpError(int type, int code);
    // The echo status for a local failure (an errno) of a send or of the error queue.
    static std::int32_t statusForErrno(int error);

private:
    struct Pending {
        RequestId id = 0;
        std::uint32_t destination = 0;  // network order
        std::vector<std::uint8_t> payload;
        std::chrono::steady_clock::time_point sent;
        std::function<void(ports::EchoResult)> done;
    };

    bool open();
    void readAll();
    void readErrorQueue();
    void handleReply(std::uint32_t source, const std::uint8_t* icmp, std::size_t length);
    void handleRawError(const std::uint8_t* icmp, std::size_t length);
    // The request a header we sent (type 8) belongs to, or pending_.end().
    std::map<std::uint16_t, Pending>::iterator matchSent(const std::uint8_t* icmp, std::size_t length,
                                                          bool checkIdentifier);
    void finish(std::uint16_t sequence, RequestId id, ports::EchoResult result);
    void finishLater(std::uint16_t sequence, RequestId id, ports::EchoResult result, int delayMs);

    int fd_ = -1;
    SocketKind kind_ = SocketKind::None;
    std::uint16_t identifier_ = 0;  // ours on a raw socket; the kernel chooses it on a datagram socket
    std::uint16_t nextSequence_ = 0;
    RequestId nextId_ = 1;
    std::map<std::uint16_t, Pending> pending_;  // by sequence number
    QObject context_;  // owns the notifier; timers run in its context and die with it
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace nms::platform
