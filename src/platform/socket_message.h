#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstddef>

namespace nms::platform {

// The header sendmsg and recvmsg take for one datagram: the peer's address (where it goes, or
// where it came from), its bytes in one piece, and a buffer for the ancillary data (the
// interface to send from, the address it arrived at, a queued error).
inline msghdr messageHeader(sockaddr_in& peer, iovec& bytes, void* control,
                            std::size_t controlSize) {
    msghdr msg{};
    msg.msg_name = &peer;
    msg.msg_namelen = sizeof peer;
    msg.msg_iov = &bytes;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = controlSize;
    return msg;
}

}  // namespace nms::platform
