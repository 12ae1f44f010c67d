#include "platform/udp_socket_qt.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "platform/socket_message.h"

namespace nms::platform {

namespace {

constexpr const char* kInvalidState = "Invalid operation at current state";

std::string dotted(in_addr a) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

struct BroadcastInterface {
    int index = 0;
    in_addr address{};
};

// Interfaces of the socket's own network namespace that are up, can broadcast and have an
// IPv4 address; one entry per interface (the first address of an interface with several).
std::vector<BroadcastInterface> broadcastInterfaces(int fd) {
    std::vector<char> buffer(16 * sizeof(ifreq));
    ifconf conf{};
    for (;;) {
        conf.ifc_len = static_cast<int>(buffer.size());
        conf.ifc_buf = buffer.data();
        if (::ioctl(fd, SIOCGIFCONF, &conf) < 0) return {};
        if (static_cast<std::size_t>(conf.ifc_len) + sizeof(ifreq) <= buffer.size()) break;
        buffer.resize(buffer.size() * 2);
    }
    std::vector<BroadcastInterface> out;
    std::set<int> seen;
    const auto count = static_cast<std::size_t>(conf.ifc_len) / sizeof(ifreq);
    for (std::size_t i = 0; i < count; ++i) {
        ifreq entry;
        std::memcpy(&entry, buffer.data() + i * sizeof(ifreq), sizeof entry);
        if (entry.ifr_addr.sa_family != AF_INET) continue;
        sockaddr_in address;
        std::memcpy(&address, &entry.ifr_addr, sizeof address);
        ifreq query{};
        std::memcpy(query.ifr_name, entry.ifr_name, IFNAMSIZ);
        if (::ioctl(fd, SIOCGIFFLAGS, &query) < 0) continue;
        const int flags = query.ifr_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_BROADCAST) || (flags & IFF_LOOPBACK)) continue;
        if (::ioctl(fd, SIOCGIFINDEX, &query) < 0) continue;
        if (!seen.insert(query.ifr_ifindex).second) continue;
        out.push_back({query.ifr_ifindex, address.sin_addr});
    }
    return out;
}

}  // namespace

QtUdpSocket::QtUdpSocket() = default;

QtUdpSocket::~QtUdpSocket() {
    *alive_ = false;
    close();
}

bool QtUdpSocket::setError(int error) {
    error_ = std::strerror(error);
    return false;
}

void QtUdpSocket::releaseNotifier() {
    if (!notifier_) return;
    notifier_->setEnabled(false);
    // A notifier must not be deleted from inside its own signal.
    if (delivering_ > 0) notifier_.release()->deleteLater();
    else notifier_.reset();
}

void QtUdpSocket::close() {
    releaseNotifier();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ++generation_;
    state_ = State::Closed;
    receiveBuffer_ = 0;
}

bool QtUdpSocket::bind(const std::string& localAddress, std::uint16_t localPort) {
    close();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort);
    if (::inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1) {
        state_ = State::Error;
        return setError(EINVAL);
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        state_ = State::Error;
        return setError(errno);
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    // A discovery burst from hundreds of elements overflows the default buffer (about 256 small
    // datagrams); ask for more, beyond rmem_max where the process is allowed to.
    const int wanted = kWantedReceiveBuffer;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) < 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    int granted = 0;
    socklen_t grantedLength = sizeof granted;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &grantedLength);

    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        const int error = errno;
        ::close(fd);
        state_ = State::Error;
        return setError(error);
    }
    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);

    fd_ = fd;
    ++generation_;
    boundToAll_ = local.sin_addr.s_addr == htonl(INADDR_ANY);
    localPort_ = ntohs(bound.sin_port);
    receiveBuffer_ = granted;
    dropped_ = 0;
    kernelDrops_ = 0;
    error_.clear();
    state_ = State::Open;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_, [this] { readPending(); });
    return true;
}

bool QtUdpSocket::sendTo(const std::string& host, std::uint16_t port, std::span<const std::uint8_t> bytes) {
    if (state_ != State::Open) {
        error_ = kInvalidState;
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) {
        error_ = "Name or service not known";
        return false;
    }
    if (to.sin_addr.s_addr == htonl(INADDR_BROADCAST) && boundToAll_) return sendBroadcastOnEveryInterface(port, bytes);

    for (int attempt = 0;; ++attempt) {
        const ssize_t n =
            ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n >= 0) return true;
        if (errno == EINTR) continue;
        if (errno == EAGAIN && attempt == 0) {
            // The send queue is full for a moment; wait for room once, briefly.
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        return setError(errno);
    }
}

bool QtUdpSocket::sendBroadcastOnEveryInterface(std::uint16_t port, std::span<const std::uint8_t> bytes) {
    lastCopies_ = 0;
    const auto interfaces = broadcastInterfaces(fd_);
    if (interfaces.empty()) return setError(ENETUNREACH);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    int lastError = 0;
    for (const auto& itf : interfaces) {
        // The limited broadcast is routed by the interface named here, not by the routing
        // table, so it also leaves a host that has no default route.
        alignas(cmsghdr) std::uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
        msghdr msg = messageHeader(to, iov, control, sizeof control);
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = itf.index;
        info.ipi_spec_dst = itf.address;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        ssize_t n;
        do n = ::sendmsg(fd_, &msg, 0);
        while (n < 0 && errno == EINTR);
        if (n >= 0) ++lastCopies_;
        else lastError = errno;
    }
    if (lastCopies_ == 0) return setError(lastError);
    return true;
}

void QtUdpSocket::readPending() {
    const auto alive = alive_;
    const std::uint64_t generation = generation_;
    std::vector<std::uint8_t>& buffer = datagramBuffer_;
    if (buffer.empty()) buffer.resize(65536);
    // A burst is taken in slices: after one slice the event loop runs its timers (the end of a
    // scan, a countdown) and repaints before the notifier, still ready, brings the next slice.
    for (int budget = 0; budget < kDatagramsPerSlice; ++budget) {
        sockaddr_in from{};
        alignas(cmsghdr) std::uint8_t control[CMSG_SPACE(sizeof(std::uint32_t)) + 64];
        iovec iov{buffer.data(), buffer.size()};
        msghdr msg = messageHeader(from, iov, control, sizeof control);
        const ssize_t n = ::recvmsg(fd_, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return;
            // An ICMP error of an earlier send (port unreachable) is reported once; go on.
            if (errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH) continue;
            return;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                std::uint32_t drops;
                std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
                dropped_ += static_cast<std::uint32_t>(drops - kernelDrops_);
                kernelDrops_ = drops;
            }
        }
        ports::Datagram d;
        d.bytes.assign(buffer.begin(), buffer.begin() + n);
        d.senderAddress = dotted(from.sin_addr);
        d.senderPort = ntohs(from.sin_port);
        if (!onDatagram) continue;
        ++delivering_;
        onDatagram(std::move(d));
        // The handler may have closed, rebound or destroyed this socket.
        if (!*alive) return;
        --delivering_;
        if (generation_ != generation) return;
    }
}

}  // namespace nms::platform
