// vantrelo-element-crowd: a crowd of simulated elements behind one network interface, each with
// an address and a MAC of its own, for measuring discovery of large plants on real sockets.
//
// One element daemon per network namespace costs a process, a namespace and a veth pair per
// element; thousands of them do not fit a test machine. The crowd instead speaks Ethernet
// itself on a link-only interface (no address of its own): it answers ARP requests for every
// element address with that element's MAC, and answers the paging broadcast for every element
// the way an element's own stack would: an ARP request for the station's address (which gives
// the station's kernel its neighbour entry, as a real element's does) followed by the feedback
// datagram, both from the element's MAC and address.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "protocol/paging.h"
#include "sim/element.h"

namespace {

using nms::sim::Element;
using nms::sim::ElementIdentity;
using nms::sim::Ipv4;
using nms::sim::Mac;

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

constexpr std::uint16_t kEthArp = 0x0806;
constexpr std::uint16_t kEthIpv4 = 0x0800;

void usage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: vantrelo-element-crowd --interface IF --first A.B.C.D --count N [--mask M]\n"
        "                              [--mac-prefix HH:HH] [--gap-us US] [--verbose]\n"
        "\n"
        "Simulates N elements on the link of IF (which needs no address): consecutive\n"
        "addresses from --first (skipping .0 and .255), MACs PREFIX:ii:ii:ii:ii from the\n"
        "element's number (default prefix 02:cd), every third element a decoder. Answers\n"
        "ARP for those addresses and the paging broadcast for every element. --gap-us\n"
        "spaces the answers (default 0: one burst, as a plant answers).\n");
}

std::uint32_t toHost(const Ipv4& ip) {
    return (std::uint32_t{ip[0]} << 24) | (std::uint32_t{ip[1]} << 16) |
           (std::uint32_t{ip[2]} << 8) | ip[3];
}
Ipv4 fromHost(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

void put16(std::vector<std::uint8_t>& f, std::size_t at, std::uint16_t v) {
    f[at] = static_cast<std::uint8_t>(v >> 8);
    f[at + 1] = static_cast<std::uint8_t>(v);
}
std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint16_t ipChecksum(const std::uint8_t* header, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>((header[i] << 8) | header[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

struct Member {
    Element element;
    Ipv4 ip;
    Mac mac;
};

class Crowd {
public:
    Crowd(const Ipv4& first, const Ipv4& mask, int count, std::uint8_t prefix0,
          std::uint8_t prefix1) {
        std::uint32_t address = toHost(first);
        members_.reserve(static_cast<std::size_t>(count));
        for (int i = 1; i <= count; ++i) {
            while ((address & 0xFF) == 0 || (address & 0xFF) == 0xFF) ++address;
            ElementIdentity id;
            id.name = "ELEMENT " + std::to_string(i);
            id.role = i % 3 == 0 ? nms::sim::Role::Decoder : nms::sim::Role::Encoder;
            id.serial = 100000 + i;
            id.ip = fromHost(address);
            id.mask = mask;
            id.gateway = fromHost((address & toHost(mask)) + 1);
            const auto n = static_cast<std::uint32_t>(i);
            id.mac = {prefix0,
                      prefix1,
                      static_cast<std::uint8_t>(n >> 24),
                      static_cast<std::uint8_t>(n >> 16),
                      static_cast<std::uint8_t>(n >> 8),
                      static_cast<std::uint8_t>(n)};
            byAddress_[address] = members_.size();
            members_.push_back(Member{Element(id), id.ip, id.mac});
            ++address;
        }
    }

    bool open(const std::string& interface) {
        ifindex_ = static_cast<int>(::if_nametoindex(interface.c_str()));
        if (ifindex_ == 0) return fail("no interface " + interface);
        fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
        if (fd_ < 0) return fail("packet socket");
        sockaddr_ll at{};
        at.sll_family = AF_PACKET;
        at.sll_protocol = htons(ETH_P_ALL);
        at.sll_ifindex = ifindex_;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) return fail("bind");
        const int buffer = 16 * 1024 * 1024;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer);
        return true;
    }

    int run(bool verbose, int gapUs) {
        verbose_ = verbose;
        gapUs_ = gapUs;
        std::vector<std::uint8_t> frame(65536);
        while (!g_stop) {
            pollfd p{fd_, POLLIN, 0};
            const int n = ::poll(&p, 1, 500);
            if (n <= 0) continue;
            for (;;) {
                sockaddr_ll from{};
                socklen_t fromLength = sizeof from;
                const ssize_t got = ::recvfrom(fd_, frame.data(), frame.size(), MSG_DONTWAIT,
                                               reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (got < 0) break;
                if (from.sll_pkttype == PACKET_OUTGOING || got < 14) continue;
                handle(frame.data(), static_cast<std::size_t>(got));
            }
        }
        return 0;
    }

    ~Crowd() {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    bool fail(const std::string& what) {
        std::fprintf(stderr, "vantrelo-element-crowd: %s: %s\n", what.c_str(),
                     std::strerror(errno));
        return false;
    }

    static std::int64_t nowMs() {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    void handle(const std::uint8_t* f, std::size_t n) {
        const std::uint16_t type = get16(f + 12);
        if (type == kEthArp && n >= 42) return onArp(f, n);
        if (type == kEthIpv4 && n >= 42) return onIpv4(f, n);
    }

    void onArp(const std::uint8_t* f, std::size_t) {
        const std::uint8_t* a = f + 14;
        if (get16(a) != 1 || get16(a + 2) != kEthIpv4 || a[4] != 6 || a[5] != 4 ||
            get16(a + 6) != 1)
            return;
        const std::uint32_t target = (std::uint32_t{a[24]} << 24) | (std::uint32_t{a[25]} << 16) |
                                     (std::uint32_t{a[26]} << 8) | a[27];
        const auto it = byAddress_.find(target);
        if (it == byAddress_.end()) return;
        const Member& m = members_[it->second];
        Mac askerMac;
        std::memcpy(askerMac.data(), a + 8, 6);
        Ipv4 askerIp;
        std::memcpy(askerIp.data(), a + 14, 4);
        sendArp(m, 2, askerMac, askerIp, askerMac);
        ++arpAnswered_;
    }

    void onIpv4(const std::uint8_t* f, std::size_t n) {
        const std::uint8_t* ip = f + 14;
        const std::size_t headerLength = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
        if ((ip[0] >> 4) != 4 || ip[9] != 17 || 14 + headerLength + 8 > n) return;
        const std::uint8_t* udp = ip + headerLength;
        const std::uint16_t destinationPort = get16(udp + 2);
        if (destinationPort != nms::protocol::kPortPaging) return;
        const std::size_t udpLength = get16(udp + 4);
        if (udpLength < 8 || 14 + headerLength + udpLength > n) return;
        const std::span<const std::uint8_t> payload(udp + 8, udpLength - 8);

        Mac stationMac;
        std::memcpy(stationMac.data(), f + 6, 6);
        Ipv4 stationIp;
        std::memcpy(stationIp.data(), ip + 12, 4);
        const std::uint16_t stationPort = get16(udp);
        const std::string stationText = nms::sim::formatIpv4(stationIp);
        const auto started = std::chrono::steady_clock::now();
        std::size_t answers = 0;
        const Mac broadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        for (auto& m : members_) {
            auto out = m.element.receive(nms::protocol::kPortPaging, payload, stationText,
                                         stationPort, nowMs());
            if (out.empty()) continue;
            // The element's stack asks for the station's MAC before its answer can leave.
            sendArp(m, 1, broadcast, stationIp, Mac{});
            for (const auto& d : out)
                sendUdp(m, stationMac, stationIp, d.sourcePort, d.destinationPort, d.bytes);
            ++answers;
            if (gapUs_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(gapUs_));
        }
        if (verbose_) {
            const double ms = std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - started)
                                  .count();
            std::fprintf(stderr,
                         "vantrelo-element-crowd: paging from %s: %zu answers in %.1f ms (%zu send "
                         "failures, "
                         "%zu ARP requests answered so far)\n",
                         stationText.c_str(), answers, ms, sendFailures_, arpAnswered_);
        }
    }

    void transmit(const std::vector<std::uint8_t>& frame) {
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_ifindex = ifindex_;
        to.sll_halen = 6;
        std::memcpy(to.sll_addr, frame.data(), 6);
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (::sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to) >= 0)
                return;
            if (errno != ENOBUFS && errno != EAGAIN) break;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ++sendFailures_;
    }

    std::vector<std::uint8_t> ethernet(const Mac& to, const Mac& from, std::uint16_t type,
                                       std::size_t payload) {
        std::vector<std::uint8_t> f(14 + payload, 0);
        std::memcpy(f.data(), to.data(), 6);
        std::memcpy(f.data() + 6, from.data(), 6);
        put16(f, 12, type);
        return f;
    }

    void sendArp(const Member& m, std::uint16_t op, const Mac& to, const Ipv4& targetIp,
                 const Mac& targetMac) {
        auto f = ethernet(to, m.mac, kEthArp, 28);
        put16(f, 14, 1);
        put16(f, 16, kEthIpv4);
        f[18] = 6;
        f[19] = 4;
        put16(f, 20, op);
        std::memcpy(f.data() + 22, m.mac.data(), 6);
        std::memcpy(f.data() + 28, m.ip.data(), 4);
        std::memcpy(f.data() + 32, targetMac.data(), 6);
        std::memcpy(f.data() + 38, targetIp.data(), 4);
        transmit(f);
    }

    void sendUdp(const Member& m, const Mac& toMac, const Ipv4& toIp, std::uint16_t fromPort,
                 std::uint16_t toPort, const std::vector<std::uint8_t>& payload) {
        auto f = ethernet(toMac, m.mac, kEthIpv4, 20 + 8 + payload.size());
        std::uint8_t* ip = f.data() + 14;
        ip[0] = 0x45;
        const auto total = static_cast<std::uint16_t>(20 + 8 + payload.size());
        put16(f, 16, total);
        put16(f, 18, ++ipId_);
        ip[8] = 64;  // time to live
        ip[9] = 17;  // UDP
        std::memcpy(ip + 12, m.ip.data(), 4);
        std::memcpy(ip + 16, toIp.data(), 4);
        put16(f, 24, ipChecksum(ip, 20));
        put16(f, 34, fromPort);
        put16(f, 36, toPort);
        put16(f, 38, static_cast<std::uint16_t>(8 + payload.size()));
        // A zero UDP checksum means "none" in IPv4.
        std::memcpy(f.data() + 42, payload.data(), payload.size());
        transmit(f);
    }

    std::vector<Member> members_;
    std::unordered_map<std::uint32_t, std::size_t> byAddress_;
    int fd_ = -1;
    int ifindex_ = 0;
    std::uint16_t ipId_ = 0;
    bool verbose_ = false;
    int gapUs_ = 0;
    std::size_t sendFailures_ = 0;
    std::size_t arpAnswered_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string interface, first;
    std::string mask = "255.255.0.0", prefix = "02:cd";
    int count = 0, gapUs = 0;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--interface")
            interface = value();
        else if (a == "--first")
            first = value();
        else if (a == "--count")
            count = std::atoi(value().c_str());
        else if (a == "--mask")
            mask = value();
        else if (a == "--mac-prefix")
            prefix = value();
        else if (a == "--gap-us")
            gapUs = std::atoi(value().c_str());
        else if (a == "--verbose" || a == "-v")
            verbose = true;
        else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            return 2;
        }
    }
    const auto firstIp = nms::sim::parseIpv4(first);
    const auto maskIp = nms::sim::parseIpv4(mask);
    unsigned p0 = 0, p1 = 0;
    if (interface.empty() || !firstIp || !maskIp || count < 1 || count > 60000 ||
        std::sscanf(prefix.c_str(), "%2x:%2x", &p0, &p1) != 2) {
        usage(stderr);
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Crowd crowd(*firstIp, *maskIp, count, static_cast<std::uint8_t>(p0),
                static_cast<std::uint8_t>(p1));
    if (!crowd.open(interface)) return 1;
    if (verbose)
        std::fprintf(stderr, "vantrelo-element-crowd: %d elements on %s\n", count,
                     interface.c_str());
    return crowd.run(verbose, gapUs);
}
