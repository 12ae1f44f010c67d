// The kernel's routing sockets, asked one question at a time.

#include "platform/rtnetlink.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace nms::platform::rtnetlink {

int open() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool exchange(int fd, nlmsghdr& request, std::uint32_t sequence, std::uint8_t* reply,
              std::size_t capacity, const nlmsghdr** answer) {
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    request.nlmsg_seq = sequence;
    ssize_t sent;
    do
        sent = ::sendto(fd, &request, request.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                        sizeof kernel);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) return false;
    for (int rounds = 0; rounds < 16; ++rounds) {
        const ssize_t n = ::recv(fd, reply, capacity, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) return false;
            continue;
        }
        auto length = static_cast<std::uint32_t>(n);
        for (auto* h = reinterpret_cast<const nlmsghdr*>(reply); NLMSG_OK(h, length);
             h = NLMSG_NEXT(h, length)) {
            if (h->nlmsg_seq != sequence) continue;  // the late answer of an abandoned question
            *answer = h;
            return true;
        }
    }
    return false;
}

int errorOf(const nlmsghdr* h) {
    if (h->nlmsg_type != NLMSG_ERROR || h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return 0;
    return -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
}

}  // namespace nms::platform::rtnetlink
