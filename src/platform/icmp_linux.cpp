#include "platform/icmp_linux.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include <QTimer>

#include "platform/socket_message.h"

namespace nms::platform {

namespace es = ports::echo_status;

namespace {

constexpr std::size_t kIcmpHeader = 8;

// From <linux/icmp.h>, which cannot be included beside <netinet/ip_icmp.h>.
constexpr int kIcmpFilterOption = 1;  // ICMP_FILTER, level SOL_RAW
struct IcmpFilter {
    std::uint32_t data;  // a set bit drops that ICMP type
};

std::uint16_t checksum(const std::uint8_t* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2) sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

LinuxIcmp::LinuxIcmp() {
    std::random_device rd;
    identifier_ = static_cast<std::uint16_t>(rd());
    nextSequence_ = static_cast<std::uint16_t>(rd());
    // Opened now, so that the socket belongs to the network namespace of its creator.
    open();
}

LinuxIcmp::~LinuxIcmp() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}

bool LinuxIcmp::open() {
    if (fd_ >= 0) return true;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    SocketKind kind = SocketKind::Datagram;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        kind = SocketKind::Raw;
    }
    if (fd < 0) return false;
    if (kind == SocketKind::Datagram) {
        // ICMP errors about our requests (unreachable, time exceeded) reach a datagram socket
        // only through its error queue.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    } else {
        // A raw socket sees every ICMP message of the host; keep only the kinds that answer an
        // echo request.
        IcmpFilter filter{};
        filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_SOURCE_QUENCH) |
                        (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
        ::setsockopt(fd, SOL_RAW, kIcmpFilterOption, &filter, sizeof filter);
    }
    fd_ = fd;
    kind_ = kind;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    // A pending error-queue entry wakes a read notifier too (POLLERR).
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_, [this] { readAll(); });
    return true;
}

bool LinuxIcmp::available() { return open(); }

ports::Icmp::RequestId LinuxIcmp::echo(const std::string& ipv4, std::span<const std::uint8_t> payload, int timeoutMs,
                                       std::function<void(ports::EchoResult)> done) {
    in_addr destination{};
    if (::inet_pton(AF_INET, ipv4.c_str(), &destination) != 1) return 0;
    if (!open()) return 0;

    std::uint16_t sequence = nextSequence_++;
    for (int tries = 0; pending_.count(sequence) && tries < 65536; ++tries) sequence = nextSequence_++;
    if (pending_.count(sequence)) return 0;

    std::vector<std::uint8_t> packet(kIcmpHeader + payload.size(), 0);
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<std::uint8_t>(identifier_ >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier_);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence);
    std::memcpy(packet.data() + kIcmpHeader, payload.data(), payload.size());
    const std::uint16_t sum = checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = destination;
    const auto sent = std::chrono::steady_clock::now();
    const ssize_t n = ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::int32_t immediate = es::kSuccess;
    if (n < 0) {
        const int error = errno;
        // A missing route is an answer the operator should see, not a failure to ping.
        if (error == ENETUNREACH || error == EHOSTUNREACH || error == ENOBUFS || error == ENOMEM ||
            error == EMSGSIZE || error == EAGAIN)
            immediate = statusForErrno(error);
        else
            return 0;
    }

    const RequestId id = nextId_++;
    pending_[sequence] = Pending{id, destination.s_addr, {payload.begin(), payload.end()}, sent, std::move(done)};
    if (immediate != es::kSuccess) finishLater(sequence, id, {immediate, 0}, 0);
    else finishLater(sequence, id, {es::kTimedOut, 0}, timeoutMs < 0 ? 0 : timeoutMs);
    return id;
}

void LinuxIcmp::cancel(RequestId id) {
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->second.id == id) {
            pending_.erase(it);
            return;
        }
    }
}

void LinuxIcmp::finishLater(std::uint16_t sequence, RequestId id, ports::EchoResult result, int delayMs) {
    // A timer that outlives its request finds nothing to finish.
    QTimer::singleShot(delayMs, &context_, [this, sequence, id, result] { finish(sequence, id, result); });
}

void LinuxIcmp::finish(std::uint16_t sequence, RequestId id, ports::EchoResult result) {
    auto it = pending_.find(sequence);
    if (it == pending_.end() || it->second.id != id) return;
    auto done = std::move(it->second.done);
    pending_.erase(it);
    if (done) done(result);  // last: the callback may start or cancel echoes
}

void LinuxIcmp::readAll() {
    if (fd_ < 0) return;
    if (kind_ == SocketKind::Datagram) readErrorQueue();
    std::uint8_t buffer[2048];
    // Bounded, so that a flood of ICMP never holds the event loop for long; the notifier fires
    // again for what is left.
    for (int budget = 0; budget < 4096; ++budget) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                     &fromLength);
        if (n < 0) {
            // An error queued meanwhile makes recvfrom fail once with that error.
            if (errno == EINTR) continue;
            if (kind_ == SocketKind::Datagram && errno != EAGAIN) {
                readErrorQueue();
                continue;
            }
            return;
        }
        const auto length = static_cast<std::size_t>(n);
        if (kind_ == SocketKind::Datagram) {
            handleReply(from.sin_addr.s_addr, buffer, length);
            continue;
        }
        // A raw socket delivers the IP header too.
        if (length < 20) continue;
        const std::size_t ipHeader = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        if (ipHeader < 20 || length < ipHeader + kIcmpHeader) continue;
        const std::uint8_t* icmp = buffer + ipHeader;
        const std::size_t icmpLength = length - ipHeader;
        if (icmp[0] == ICMP_ECHOREPLY) handleReply(from.sin_addr.s_addr, icmp, icmpLength);
        else handleRawError(icmp, icmpLength);
    }
}

std::map<std::uint16_t, LinuxIcmp::Pending>::iterator LinuxIcmp::matchSent(const std::uint8_t* icmp,
                                                                           std::size_t length, bool checkIdentifier) {
    if (length < kIcmpHeader || icmp[0] != ICMP_ECHO) return pending_.end();
    if (checkIdentifier && read16(icmp + 4) != identifier_) return pending_.end();
    return pending_.find(read16(icmp + 6));
}

void LinuxIcmp::handleReply(std::uint32_t source, const std::uint8_t* icmp, std::size_t length) {
    if (length < kIcmpHeader || icmp[0] != ICMP_ECHOREPLY || icmp[1] != 0) return;
    // The kernel puts its own identifier into the requests of a datagram socket and hands it
    // only the replies that carry it; on a raw socket the identifier is ours to check.
    if (kind_ == SocketKind::Raw && read16(icmp + 4) != identifier_) return;
    auto it = pending_.find(read16(icmp + 6));
    if (it == pending_.end()) return;
    const Pending& p = it->second;
    if (p.destination != source) return;
    if (length - kIcmpHeader != p.payload.size() ||
        !std::equal(p.payload.begin(), p.payload.end(), icmp + kIcmpHeader))
        return;
    const auto elapsed = std::chrono::steady_clock::now() - p.sent;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    finish(it->first, p.id, {es::kSuccess, static_cast<std::uint32_t>(ms < 0 ? 0 : ms)});
}

void LinuxIcmp::handleRawError(const std::uint8_t* icmp, std::size_t length) {
    // The error carries the IP header and the first eight bytes of the request it answers.
    if (length < kIcmpHeader + 20) return;
    const std::uint8_t* inner = icmp + kIcmpHeader;
    const std::size_t innerIp = static_cast<std::size_t>(inner[0] & 0x0F) * 4;
    if (innerIp < 20 || length < kIcmpHeader + innerIp + kIcmpHeader) return;
    if (inner[9] != IPPROTO_ICMP) return;
    std::uint32_t innerDestination;
    std::memcpy(&innerDestination, inner + 16, 4);
    auto it = matchSent(inner + innerIp, length - kIcmpHeader - innerIp, true);
    if (it == pending_.end() || it->second.destination != innerDestination) return;
    const std::int32_t status = statusForIcmpError(icmp[0], icmp[1]);
    if (status == es::kSuccess) return;
    finish(it->first, it->second.id, {status, 0});
}

void LinuxIcmp::readErrorQueue() {
    for (int budget = 0; budget < 4096; ++budget) {
        std::uint8_t data[2048];
        alignas(cmsghdr) std::uint8_t control[512];
        sockaddr_in offender{};
        iovec iov{data, sizeof data};
        msghdr msg = messageHeader(offender, iov, control, sizeof control);
        const ssize_t n = ::recvmsg(fd_, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        const sock_extended_err* ee = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
                ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        if (!ee) continue;
        // The queued data is the request as it was sent, with the kernel's identifier.
        auto it = matchSent(data, static_cast<std::size_t>(n), false);
        if (it == pending_.end()) continue;
        std::int32_t status = es::kGeneralFailure;
        if (ee->ee_origin == SO_EE_ORIGIN_ICMP) status = statusForIcmpError(ee->ee_type, ee->ee_code);
        else if (ee->ee_origin == SO_EE_ORIGIN_LOCAL) status = statusForErrno(static_cast<int>(ee->ee_errno));
        if (status == es::kSuccess) continue;
        finish(it->first, it->second.id, {status, 0});
    }
}

std::int32_t LinuxIcmp::statusForIcmpError(int type, int code) {
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
            return es::kDestNetUnreachable;
        case ICMP_PROT_UNREACH:
            return es::kDestProtocolUnreachable;
        case ICMP_PORT_UNREACH:
            return es::kDestPortUnreachable;
        case ICMP_FRAG_NEEDED:
            return es::kPacketTooBig;
        case ICMP_SR_FAILED:
            return es::kBadRoute;
        default:  // host unreachable, unknown, isolated, prohibited, precedence
            return es::kDestHostUnreachable;
        }
    case ICMP_TIME_EXCEEDED:
        return code == ICMP_EXC_FRAGTIME ? es::kTtlExpiredReassembly : es::kTtlExpiredTransit;
    case ICMP_PARAMETERPROB:
        return es::kParameterProblem;
    case ICMP_SOURCE_QUENCH:
        return es::kSourceQuench;
    case ICMP_REDIRECT:
        return es::kSuccess;  // advice only; the answer may still come
    default:
        return es::kGeneralFailure;
    }
}

std::int32_t LinuxIcmp::statusForErrno(int error) {
    switch (error) {
    case ENETUNREACH:
        return es::kDestNetUnreachable;
    case EHOSTUNREACH:
        return es::kDestHostUnreachable;
    case ENOBUFS:
    case ENOMEM:
    case EAGAIN:
        return es::kNoResources;
    case EMSGSIZE:
        return es::kPacketTooBig;
    default:
        return es::kGeneralFailure;
    }
}

}  // namespace nms::platform
