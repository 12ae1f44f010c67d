// vantrelo-element-sim: simulated Network Elements on the real sockets of the host it runs on.
//
// One socket per element port (1901, 2976, 2977, 2978, 2979), bound to all addresses so that
// broadcasts arrive. With one element, every datagram is its own; with several (each on an
// address of this host), the destination address of a datagram picks the element and answers
// leave from that address.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "protocol/paging.h"
#include "sim/element.h"
#include "sim/element_options.h"

namespace {

using nms::sim::Element;
using nms::sim::ElementDefinition;
using nms::sim::Ipv4;

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

constexpr std::uint16_t kPorts[] = {nms::protocol::kPortPaging, nms::protocol::kPortFeedback,
                                    nms::protocol::kPortLevelAndDecoderCommand, nms::protocol::kPortStatistics,
                                    nms::protocol::kPortEncoderCommand};

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: vantrelo-element-sim [element options] [--config FILE] [--bind ADDR] [--verbose]\n"
                 "\n"
                 "Runs simulated Vantrelo NG elements on this host's element ports (1901, 2976-2979).\n"
                 "Element options (one element; a file gives one element per line as key=value):\n"
                 "  --role encoder|decoder  --name TEXT  --ip A.B.C.D  --mask M  --gw G  --mac 00:1A:..\n"
                 "  --serial N  --fw 3.70  --tx 0|1  --sfn 0|1  --remote A.B.C.D  --type BYTE  --input N\n"
                 "  --level 14-255  --buffer N  --llo 0|1  --delay NS  --servo 0|1\n"
                 "  --net-delay NS   (the network delay an SFN decoder measures, held still)\n"
                 "  --drop N  --delay-ms MS  --twice 0|1  --keep-delay 0|1   (misbehaviour for tests)\n"
                 "Without --ip the element takes this host's first non-loopback IPv4 address.\n"
                 "--bind ADDR binds the element ports to one address instead of all of them.\n");
}

std::int64_t nowMs() {
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

struct HostAddress {
    Ipv4 ip{};
    Ipv4 mask{};
};

std::vector<HostAddress> hostAddresses() {
    std::vector<HostAddress> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK) != 0) continue;
        HostAddress h;
        const auto ip = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
        std::memcpy(h.ip.data(), &ip, 4);
        if (a->ifa_netmask != nullptr) {
            const auto m = reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
            std::memcpy(h.mask.data(), &m, 4);
        }
        out.push_back(h);
    }
    freeifaddrs(list);
    return out;
}

std::string printable(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    bool text = !bytes.empty() && bytes.size() <= 32;
    for (auto b : bytes) text = text && b >= 0x20 && b < 0x7F;
    if (text) return "\"" + std::string(bytes.begin(), bytes.end()) + "\"";
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < 24; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        out += (i ? " " : "") + std::string(buf);
    }
    if (bytes.size() > 24) out += " ...";
    return out;
}

struct Pending {
    std::int64_t dueMs;
    std::size_t element;
    nms::sim::OutDatagram datagram;
};

class Daemon {
public:
    Daemon(std::vector<ElementDefinition> definitions, bool verbose) : verbose_(verbose) {
        for (auto& s : definitions) {
            elements_.emplace_back(s.identity, s.settings);
            elements_.back().faults = s.faults;
            homes_.push_back(s.identity.ip);
        }
    }

    ~Daemon() {
        for (auto& [port, fd] : sockets_) ::close(fd);
    }

    bool open(const std::string& bindAddress) {
        in_addr bindTo{};
        if (inet_pton(AF_INET, bindAddress.c_str(), &bindTo) != 1) {
            std::fprintf(stderr, "vantrelo-element-sim: --bind: not an IPv4 address: %s\n", bindAddress.c_str());
            return false;
        }
        for (std::uint16_t port : kPorts) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd < 0) return fail("socket", port);
            sockets_[port] = fd;
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr = bindTo;
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return fail("bind", port);
        }
        return true;
    }

    int run() {
        std::vector<pollfd> fds;
        std::vector<std::uint16_t> ports;
        for (auto& [port, fd] : sockets_) {
            fds.push_back(pollfd{fd, POLLIN, 0});
            ports.push_back(port);
        }
        while (!g_stop) {
            int timeout = 1000;
            if (!pending_.empty()) {
                std::int64_t next = pending_.front().dueMs;
                for (auto& p : pending_) next = std::min(next, p.dueMs);
                timeout = static_cast<int>(std::clamp<std::int64_t>(next - nowMs(), 0, 1000));
            }
            const int n = ::poll(fds.data(), fds.size(), timeout);
            if (n < 0 && errno != EINTR) {
                std::perror("vantrelo-element-sim: poll");
                return 1;
            }
            if (n > 0) {
                for (std::size_t i = 0; i < fds.size(); ++i) {
                    if (fds[i].revents & POLLIN) drain(fds[i].fd, ports[i]);
                }
            }
            flushDue();
        }
        if (verbose_) std::fprintf(stderr, "vantrelo-element-sim: stopping\n");
        return 0;
    }

private:
    bool fail(const char* what, std::uint16_t port) {
        std::fprintf(stderr, "vantrelo-element-sim: %s on UDP port %u: %s\n", what, port, std::strerror(errno));
        return false;
    }

    void drain(int fd, std::uint16_t port) {
        for (;;) {
            std::vector<std::uint8_t> buf(65536);
            sockaddr_in from{};
            iovec iov{buf.data(), buf.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
            msghdr msg{};
            msg.msg_name = &from;
            msg.msg_namelen = sizeof from;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t got = ::recvmsg(fd, &msg, MSG_DONTWAIT);
            if (got < 0) return;
            buf.resize(static_cast<std::size_t>(got));
            Ipv4 destination{};
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    std::memcpy(destination.data(), &info.ipi_addr.s_addr, 4);
                }
            }
            char sender[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
            const std::uint16_t senderPort = ntohs(from.sin_port);
            for (std::size_t i = 0; i < elements_.size(); ++i) {
                if (!addressedTo(i, destination)) continue;
                Element& e = elements_[i];
                if (verbose_) {
                    std::fprintf(stderr, "[%s] <- %s:%u on %u, %zu bytes %s\n", e.identity().name.c_str(), sender,
                                 senderPort, port, buf.size(), printable(buf).c_str());
                }
                for (auto& out : e.receive(port, buf, sender, senderPort, nowMs())) {
                    pending_.push_back(Pending{nowMs() + out.delayMs, i, std::move(out)});
                }
            }
        }
    }

    bool addressedTo(std::size_t i, const Ipv4& destination) const {
        if (elements_.size() == 1) return true;
        const Ipv4& home = homes_[i];
        const Ipv4& mask = elements_[i].identity().mask;
        bool broadcast = true, directed = true;
        for (std::size_t k = 0; k < 4; ++k) {
            broadcast = broadcast && destination[k] == 0xFF;
            directed = directed && destination[k] == static_cast<std::uint8_t>(home[k] | ~mask[k]);
        }
        return broadcast || directed || destination == home || destination == elements_[i].identity().ip;
    }

    void flushDue() {
        const std::int64_t now = nowMs();
        for (std::size_t i = 0; i < pending_.size();) {
            if (pending_[i].dueMs <= now) {
                send(pending_[i]);
                pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }

    void send(const Pending& p) {
        const auto& d = p.datagram;
        auto it = sockets_.find(d.sourcePort);
        const int fd = it != sockets_.end() ? it->second : sockets_.begin()->second;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(d.destinationPort);
        if (inet_pton(AF_INET, d.destinationIp.c_str(), &to.sin_addr) != 1) return;
        iovec iov{const_cast<std::uint8_t*>(d.bytes.data()), d.bytes.size()};
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        // With several elements on one host each answers from its own address; an answer
        // "from another address" asks for that one.
        std::string source = d.sourceIp;
        if (source.empty() && elements_.size() > 1) source = nms::sim::formatIpv4(homes_[p.element]);
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        if (!source.empty()) {
            in_pktinfo info{};
            if (inet_pton(AF_INET, source.c_str(), &info.ipi_spec_dst) == 1) {
                msg.msg_control = control;
                msg.msg_controllen = sizeof control;
                cmsghdr* c = CMSG_FIRSTHDR(&msg);
                c->cmsg_level = IPPROTO_IP;
                c->cmsg_type = IP_PKTINFO;
                c->cmsg_len = CMSG_LEN(sizeof info);
                std::memcpy(CMSG_DATA(c), &info, sizeof info);
            }
        }
        ssize_t sent = ::sendmsg(fd, &msg, 0);
        if (sent < 0 && msg.msg_control != nullptr) {
            // The address is not one of this host's: send from the default one instead.
            msg.msg_control = nullptr;
            msg.msg_controllen = 0;
            sent = ::sendmsg(fd, &msg, 0);
        }
        if (verbose_) {
            const auto& name = elements_[p.element].identity().name;
            if (sent < 0) {
                std::fprintf(stderr, "[%s] !! %s:%u: %s\n", name.c_str(), d.destinationIp.c_str(), d.destinationPort,
                             std::strerror(errno));
            } else {
                std::fprintf(stderr, "[%s] -> %s:%u from %u, %zu bytes %s\n", name.c_str(), d.destinationIp.c_str(),
                             d.destinationPort, d.sourcePort, d.bytes.size(), printable(d.bytes).c_str());
            }
        }
    }

    bool verbose_;
    std::vector<Element> elements_;
    std::vector<Ipv4> homes_;  // the addresses the elements started on
    std::map<std::uint16_t, int> sockets_;
    std::vector<Pending> pending_;
};


// The elements of a configuration file, one a line; false (said) when it cannot be read or a
// line is wrong.
bool readConfigFile(const std::string& path, std::vector<ElementDefinition>& definitions) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "vantrelo-element-sim: cannot read %s\n", path.c_str());
        return false;
    }
    std::string line;
    for (int lineNo = 1; std::getline(file, line); ++lineNo) {
        auto r = nms::sim::parseElementLine(line);
        if (!r.error.empty()) {
            std::fprintf(stderr, "vantrelo-element-sim: %s:%d: %s\n", path.c_str(), lineNo, r.error.c_str());
            return false;
        }
        if (r.definition) definitions.push_back(*r.definition);
    }
    return true;
}

// SIGINT and SIGTERM end the daemon's loop; a closed pipe is no reason to die.
void watchSignals() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: poll returns at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    nowMs();  // the counters run from start-up
    std::vector<ElementDefinition> definitions;
    ElementDefinition single;
    bool singleGiven = false, verbose = false;
    std::string bindAddress = "0.0.0.0";
    std::string error;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--verbose") {
            verbose = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) {
            std::fprintf(stderr, "vantrelo-element-sim: unexpected argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        }
        std::string key = arg.substr(2), value;
        if (const auto eq = key.find('='); eq != std::string::npos) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "vantrelo-element-sim: --%s needs a value\n", key.c_str());
            return 2;
        }
        if (key == "bind") {
            bindAddress = value;
        } else if (key == "config") {
            if (!readConfigFile(value, definitions)) return 2;
        } else if (nms::sim::applyElementOption(single, key, value, error)) {
            singleGiven = true;
        } else {
            std::fprintf(stderr, "vantrelo-element-sim: %s\n", error.c_str());
            return 2;
        }
    }
    if (singleGiven || definitions.empty()) definitions.insert(definitions.begin(), single);

    const auto host = hostAddresses();
    for (auto& s : definitions) {
        if (!s.ipGiven) {
            if (definitions.size() > 1 || host.empty()) {
                std::fprintf(stderr, "vantrelo-element-sim: give each element its --ip (ip=...)\n");
                return 2;
            }
            s.identity.ip = host.front().ip;
            if (!s.maskGiven) s.identity.mask = host.front().mask;
        }
        nms::sim::completeElementDefinition(s);
    }

    watchSignals();

    Daemon daemon(definitions, verbose);
    if (!daemon.open(bindAddress)) return 1;
    for (const auto& s : definitions) {
        std::fprintf(stderr, "vantrelo-element-sim: %s %s at %s (%s), firmware %u.%02u\n",
                     s.identity.role == nms::sim::Role::Decoder ? "decoder" : "encoder",
                     nms::sim::Element(s.identity).identity().name.c_str(),
                     nms::sim::formatIpv4(s.identity.ip).c_str(), nms::sim::formatMac(s.identity.mac).c_str(),
                     s.identity.major, s.identity.minor);
    }
    std::fflush(stderr);
    return daemon.run();
}
