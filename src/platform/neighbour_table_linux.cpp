#include "platform/neighbour_table_linux.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/rtnetlink.h"

namespace nms::platform {

struct LinuxNeighbourTable::Kernel {
    enum class Kind { Valid, Incomplete, Failed, Missing, NotOnLink } kind = Kind::NotOnLink;
    std::vector<std::uint8_t> linkAddress;
};

struct LinuxNeighbourTable::Watch {
    std::uint32_t address = 0;
    std::function<void(Entry)> done;
    std::unique_ptr<QTimer> deadline;
};

namespace {

constexpr std::size_t kReplyBuffer = 8192;

// The states in which an entry holds a usable link-layer address (the kernel's NUD_VALID, which
// its user-space headers do not export).
constexpr unsigned kValidStates =
    NUD_PERMANENT | NUD_NOARP | NUD_REACHABLE | NUD_PROBE | NUD_STALE | NUD_DELAY;

bool nonZero(const std::vector<std::uint8_t>& bytes) {
    for (auto b : bytes)
        if (b != 0) return true;
    return false;
}

}  // namespace

LinuxNeighbourTable::LinuxNeighbourTable()
    : request_(rtnetlink::open()),
      events_(rtnetlink::open()),
      prod_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}

LinuxNeighbourTable::~LinuxNeighbourTable() {
    watches_.clear();
    watchesByAddress_.clear();
    notifier_.reset();
    if (events_ >= 0) ::close(events_);
    if (request_ >= 0) ::close(request_);
    if (prod_ >= 0) ::close(prod_);
}

LinuxNeighbourTable::Kernel LinuxNeighbourTable::ask(std::uint32_t address) {
    Kernel k;
    if (request_ < 0) return askEveryInterface(address);
    alignas(nlmsghdr) std::uint8_t reply[kReplyBuffer];
    const nlmsghdr* h = nullptr;

    // The interface the address is reached through, and whether it is reached directly.
    rtnetlink::Request<rtmsg> route{};
    route.message.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    route.message.nlmsg_type = RTM_GETROUTE;
    route.message.nlmsg_flags = NLM_F_REQUEST;
    route.header.rtm_family = AF_INET;
    route.header.rtm_dst_len = 32;
    rtnetlink::addAttribute(route, RTA_DST, &address, sizeof address);
    if (!rtnetlink::exchange(request_, route.message, ++sequence_, reply, sizeof reply, &h) ||
        h->nlmsg_type != RTM_NEWROUTE)
        return k;
    const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(h));
    if (rt->rtm_type != RTN_UNICAST) return k;  // our own address, a broadcast, no route
    int interface = 0;
    int length = static_cast<int>(RTM_PAYLOAD(h));
    for (auto* a = RTM_RTA(rt); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
        if (a->rta_type == RTA_GATEWAY) return k;  // behind a router
        if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(int))
            std::memcpy(&interface, RTA_DATA(a), sizeof interface);
    }
    if (interface == 0) return k;

    if (singleGet_) {
        rtnetlink::Request<ndmsg> neighbour{};
        neighbour.message.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
        neighbour.message.nlmsg_type = RTM_GETNEIGH;
        neighbour.message.nlmsg_flags = NLM_F_REQUEST;
        neighbour.header.ndm_family = AF_INET;
        neighbour.header.ndm_ifindex = interface;
        rtnetlink::addAttribute(neighbour, NDA_DST, &address, sizeof address);
        if (!rtnetlink::exchange(request_, neighbour.message, ++sequence_, reply, sizeof reply, &h))
            return k;
        const int error = rtnetlink::errorOf(h);
        if (error == ENOENT) {
            k.kind = Kernel::Kind::Missing;
            return k;
        }
        if (error == EOPNOTSUPP || error == EINVAL) {
            singleGet_ = false;  // an older kernel: ask the ARP ioctl from now on
        } else if (h->nlmsg_type == RTM_NEWNEIGH) {
            const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
            length = static_cast<int>(NLMSG_PAYLOAD(h, sizeof(ndmsg)));
            for (auto* a = reinterpret_cast<const rtattr*>(
                     reinterpret_cast<const std::uint8_t*>(nd) + NLMSG_ALIGN(sizeof(ndmsg)));
                 RTA_OK(a, length); a = RTA_NEXT(a, length)) {
                if (a->rta_type == NDA_LLADDR) {
                    const auto* bytes = static_cast<const std::uint8_t*>(RTA_DATA(a));
                    k.linkAddress.assign(bytes, bytes + RTA_PAYLOAD(a));
                }
            }
            if ((nd->ndm_state & kValidStates) && !k.linkAddress.empty())
                k.kind = Kernel::Kind::Valid;
            else if (nd->ndm_state & NUD_INCOMPLETE)
                k.kind = Kernel::Kind::Incomplete;
            else if (nd->ndm_state & NUD_FAILED)
                k.kind = Kernel::Kind::Failed;
            else
                k.kind = Kernel::Kind::Missing;
            if (k.kind != Kernel::Kind::Valid) k.linkAddress.clear();
            return k;
        } else {
            return k;
        }
    }

    return askArp(address, interface);
}

LinuxNeighbourTable::Kernel LinuxNeighbourTable::askArp(std::uint32_t address, int interface) {
    Kernel k;
    if (prod_ < 0) return k;
    arpreq r{};
    auto* protocolAddress = reinterpret_cast<sockaddr_in*>(&r.arp_pa);
    protocolAddress->sin_family = AF_INET;
    protocolAddress->sin_addr.s_addr = address;
    if (!::if_indextoname(static_cast<unsigned>(interface), r.arp_dev)) return k;
    if (::ioctl(prod_, SIOCGARP, &r) != 0) {
        if (errno == ENXIO) k.kind = Kernel::Kind::Missing;
        return k;
    }
    if (r.arp_flags & ATF_COM) {
        k.kind = Kernel::Kind::Valid;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(r.arp_ha.sa_data);
        k.linkAddress.assign(bytes, bytes + 6);
    } else {
        // The ioctl does not tell a failed entry from one still being resolved.
        k.kind = Kernel::Kind::Missing;
    }
    return k;
}

LinuxNeighbourTable::Kernel LinuxNeighbourTable::askEveryInterface(std::uint32_t address) {
    // Without rtnetlink the route is unknown: each interface is asked in turn.
    Kernel k;
    k.kind = Kernel::Kind::Missing;
    if (struct if_nameindex* list = ::if_nameindex()) {
        for (struct if_nameindex* i = list; i->if_index != 0; ++i) {
            Kernel found = askArp(address, static_cast<int>(i->if_index));
            if (found.kind == Kernel::Kind::Valid) {
                k = std::move(found);
                break;
            }
        }
        ::if_freenameindex(list);
    }
    return k;
}

void LinuxNeighbourTable::startResolution(std::uint32_t address) {
    if (prod_ < 0) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = address;
    if (::sendto(prod_, "", 0, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
        0)
        ++resolutionsStarted_;
}

LinuxNeighbourTable::Entry LinuxNeighbourTable::answer(std::uint32_t address, bool resolve) {
    Kernel k = ask(address);
    switch (k.kind) {
        case Kernel::Kind::Valid:
            return {State::Complete, std::move(k.linkAddress)};
        case Kernel::Kind::Incomplete:
            return {State::Resolving, {}};
        case Kernel::Kind::Failed:
        case Kernel::Kind::Missing:
            // A failed entry is tried afresh: the host may have come up since.
            if (resolve) startResolution(address);
            return {State::Resolving, {}};
        case Kernel::Kind::NotOnLink:
            break;
    }
    return {State::Unreachable, {}};
}

namespace {
bool parseAddress(const std::string& ipv4, std::uint32_t& out) {
    in_addr a{};
    if (::inet_pton(AF_INET, ipv4.c_str(), &a) != 1) return false;
    if (a.s_addr == INADDR_ANY || a.s_addr == INADDR_BROADCAST) return false;
    out = a.s_addr;
    return true;
}
}  // namespace

LinuxNeighbourTable::Entry LinuxNeighbourTable::query(const std::string& ipv4) {
    std::uint32_t address = 0;
    if (!parseAddress(ipv4, address)) return {State::Unreachable, {}};
    return answer(address, true);
}

std::optional<std::vector<std::uint8_t>> LinuxNeighbourTable::lookup(const std::string& ipv4) {
    Entry e = query(ipv4);
    if (e.state != State::Complete || !nonZero(e.linkAddress)) return std::nullopt;
    return std::move(e.linkAddress);
}

bool LinuxNeighbourTable::listen() {
    if (listening_) return true;
    if (events_ < 0) return false;
    const int group = RTNLGRP_NEIGH;
    if (::setsockopt(events_, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof group) != 0)
        return false;
    if (!notifier_) {
        notifier_ = std::make_unique<QSocketNotifier>(events_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_,
                         [this] { readEvents(); });
    }
    notifier_->setEnabled(true);
    listening_ = true;
    return true;
}

void LinuxNeighbourTable::stopListening() {
    if (!listening_) return;
    listening_ = false;
    const int group = RTNLGRP_NEIGH;
    ::setsockopt(events_, SOL_NETLINK, NETLINK_DROP_MEMBERSHIP, &group, sizeof group);
    if (notifier_) notifier_->setEnabled(false);
    // Events queued before the membership ended would be taken for new ones next time.
    alignas(nlmsghdr) std::uint8_t buffer[kReplyBuffer];
    for (int budget = 0; budget < 4096; ++budget) {
        if (::recv(events_, buffer, sizeof buffer, MSG_DONTWAIT) < 0 && errno != ENOBUFS &&
            errno != EINTR)
            break;
    }
}

LinuxNeighbourTable::WatchId LinuxNeighbourTable::whenResolved(const std::string& ipv4,
                                                               std::int64_t timeoutMs,
                                                               std::function<void(Entry)> done) {
    const WatchId id = nextWatch_++;
    auto watch = std::make_unique<Watch>();
    watch->done = std::move(done);
    if (!parseAddress(ipv4, watch->address)) {
        watches_[id] = std::move(watch);
        post(id, {State::Unreachable, {}});
        return id;
    }
    const std::uint32_t address = watch->address;
    // Listening first, then asking: a change between the two is not missed. A table that cannot
    // listen still ends the watch at its time-out, with the entry as it then stands.
    listen();
    Entry now = answer(address, true);
    watches_[id] = std::move(watch);
    watchesByAddress_.emplace(address, id);
    if (now.state != State::Resolving) {
        post(id, std::move(now));
        return id;
    }
    auto& w = *watches_[id];
    w.deadline = std::make_unique<QTimer>();
    w.deadline->setSingleShot(true);
    QObject::connect(w.deadline.get(), &QTimer::timeout, &context_, [this, id] {
        auto it = watches_.find(id);
        if (it != watches_.end()) finish(id, answer(it->second->address, false));
    });
    w.deadline->start(static_cast<int>(std::clamp<std::int64_t>(timeoutMs, 0, 24 * 3600 * 1000)));
    return id;
}

void LinuxNeighbourTable::post(WatchId id, Entry entry) {
    QTimer::singleShot(0, &context_, [this, id, entry = std::move(entry)]() mutable {
        finish(id, std::move(entry));
    });
}

void LinuxNeighbourTable::cancelWatch(WatchId id) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    const std::uint32_t address = it->second->address;
    for (auto [a, b] = watchesByAddress_.equal_range(address); a != b; ++a) {
        if (a->second == id) {
            watchesByAddress_.erase(a);
            break;
        }
    }
    // The timer may be the one whose signal is running now.
    if (it->second->deadline) it->second->deadline.release()->deleteLater();
    watches_.erase(it);
    if (watchesByAddress_.empty()) stopListening();
}

void LinuxNeighbourTable::finish(WatchId id, Entry entry) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    auto done = std::move(it->second->done);
    cancelWatch(id);
    if (done) done(std::move(entry));
}

void LinuxNeighbourTable::readEvents() {
    alignas(nlmsghdr) std::uint8_t buffer[kReplyBuffer];
    std::vector<std::pair<WatchId, Entry>> ended;
    bool lost = false;
    for (int budget = 0; budget < 4096 && listening_; ++budget) {
        const ssize_t n = ::recv(events_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            // More events came than the socket could hold: ask after every open watch instead.
            if (errno == ENOBUFS) {
                lost = true;
                continue;
            }
            break;
        }
        auto length = static_cast<std::uint32_t>(n);
        for (auto* h = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(h, length);
             h = NLMSG_NEXT(h, length)) {
            if (h->nlmsg_type != RTM_NEWNEIGH) continue;
            const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
            if (nd->ndm_family != AF_INET) continue;
            std::uint32_t address = 0;
            bool haveAddress = false;
            std::vector<std::uint8_t> linkAddress;
            int attributesLength = static_cast<int>(NLMSG_PAYLOAD(h, sizeof(ndmsg)));
            for (auto* a = reinterpret_cast<const rtattr*>(
                     reinterpret_cast<const std::uint8_t*>(nd) + NLMSG_ALIGN(sizeof(ndmsg)));
                 RTA_OK(a, attributesLength); a = RTA_NEXT(a, attributesLength)) {
                if (a->rta_type == NDA_DST && RTA_PAYLOAD(a) == sizeof address) {
                    std::memcpy(&address, RTA_DATA(a), sizeof address);
                    haveAddress = true;
                } else if (a->rta_type == NDA_LLADDR) {
                    const auto* bytes = static_cast<const std::uint8_t*>(RTA_DATA(a));
                    linkAddress.assign(bytes, bytes + RTA_PAYLOAD(a));
                }
            }
            if (!haveAddress) continue;
            const auto [from, to] = watchesByAddress_.equal_range(address);
            if (from == to) continue;
            Entry e;
            if ((nd->ndm_state & kValidStates) && !linkAddress.empty())
                e = {State::Complete, linkAddress};
            else if (nd->ndm_state & NUD_FAILED)
                e = {State::Unreachable, {}};
            else
                continue;
            for (auto it = from; it != to; ++it) ended.emplace_back(it->second, e);
        }
    }
    if (lost) {
        for (const auto& [address, id] : watchesByAddress_) {
            Kernel k = ask(address);
            if (k.kind == Kernel::Kind::Valid)
                ended.emplace_back(id, Entry{State::Complete, std::move(k.linkAddress)});
            else if (k.kind == Kernel::Kind::Failed || k.kind == Kernel::Kind::NotOnLink)
                ended.emplace_back(id, Entry{State::Unreachable, {}});
        }
    }
    // Called after the reading is done: a callback may open or cancel watches.
    for (auto& [id, entry] : ended) finish(id, std::move(entry));
}

}  // namespace nms::platform
