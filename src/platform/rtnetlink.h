#pragma once

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace nms::platform::rtnetlink {

// A request with room for one or two attributes after its fixed header.
template <class Header>
struct Request {
    nlmsghdr message;
    Header header;
    alignas(NLMSG_ALIGNTO) std::uint8_t attributes[32];
};

template <class Header>
void addAttribute(Request<Header>& r, std::uint16_t type, const void* data, std::size_t length) {
    auto* a = reinterpret_cast<rtattr*>(reinterpret_cast<std::uint8_t*>(&r) +
                                        NLMSG_ALIGN(r.message.nlmsg_len));
    a->rta_type = type;
    a->rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
    std::memcpy(RTA_DATA(a), data, length);
    r.message.nlmsg_len = NLMSG_ALIGN(r.message.nlmsg_len) + RTA_ALIGN(a->rta_len);
}

// A routing socket of the kernel's, bound and not blocking; -1 when there is none.
int open();

// Sends a request and waits for its answer (the kernel answers a get before the send returns;
// the wait only guards against the unexpected). The answer's first message, or nothing.
bool exchange(int fd, nlmsghdr& request, std::uint32_t sequence, std::uint8_t* reply,
              std::size_t capacity, const nlmsghdr** answer);

// The error an answer carries (a positive errno), or 0.
int errorOf(const nlmsghdr* h);

}  // namespace nms::platform::rtnetlink
