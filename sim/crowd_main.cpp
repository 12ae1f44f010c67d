// vantrelo-element-crowd: a crowd of simulated elements behind one network interface, each with
// an address and a MAC of its own, for measuring discovery and monitoring of large plants on real
// sockets.
//
// One element daemon per network namespace costs a process, a namespace and a veth pair per
// element; thousands of them do not fit a test machine. The crowd instead speaks Ethernet
// itself on a link-only interface (no address of its own); what each element answers is
// sim/crowd.h's.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/crowd.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

void usage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: vantrelo-element-crowd --interface IF --first A.B.C.D --count N [--mask M]\n"
        "                              [--mac-prefix HH:HH] [--gap-us US]\n"
        "                              [--per-subnet K] [--first-serial S]\n"
        "                              [--silent-every K] [--silent-from I] [--verbose]\n"
        "\n"
        "Simulates N elements on the link of IF (which needs no address): consecutive\n"
        "addresses from --first (skipping .0 and .255), MACs PREFIX:ii:ii:ii:ii from the\n"
        "element's number (default prefix 02:cd), every third element a decoder, serial\n"
        "numbers from --first-serial (default 100001). --per-subnet K puts K elements on\n"
        "each /24 from the host number of --first, then goes on to the next /24 (sites\n"
        "behind a router). Answers ARP for those addresses, the paging broadcast for every\n"
        "element, a paging request sent to an element's address for that element alone,\n"
        "and each element's statistics port (\"GetStats\", \"RstStats\", the delay), each\n"
        "toward the MAC the request came from. --gap-us spaces the paging answers\n"
        "(default 0: one burst, as a plant answers).\n"
        "--silent-every K keeps elements K, 2K, ... silent, --silent-from I elements I to N:\n"
        "they answer ARP and paging, so they are found, but never their statistics port.\n");
}

// The crowd on a packet socket bound to one interface: every frame of the link goes through the
// crowd, and what it answers leaves on the same link.
class CrowdSocket {
public:
    explicit CrowdSocket(const nms::sim::CrowdOptions& options) : crowd_(options) {}
    ~CrowdSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    CrowdSocket(const CrowdSocket&) = delete;
    CrowdSocket& operator=(const CrowdSocket&) = delete;

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
        const auto started = std::chrono::steady_clock::now();
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
                if (from.sll_pkttype == PACKET_OUTGOING) continue;
                // The counters of an element start with the crowd.
                const auto now = std::chrono::steady_clock::now();
                const auto nowMs =
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - started).count();
                const auto handled =
                    crowd_.handle({frame.data(), static_cast<std::size_t>(got)}, nowMs);
                for (const auto& answer : handled.answers) {
                    for (const auto& f : answer) transmit(f);
                    if (gapUs > 0 && handled.kind == nms::sim::Crowd::Kind::Paging)
                        std::this_thread::sleep_for(std::chrono::microseconds(gapUs));
                }
                // A scan pages one element at a time: only broadcasts are worth a line.
                if (verbose && handled.kind == nms::sim::Crowd::Kind::Paging &&
                    (handled.answers.size() != 1 || crowd_.size() == 1)) {
                    const double ms = std::chrono::duration<double, std::milli>(
                                          std::chrono::steady_clock::now() - now)
                                          .count();
                    std::fprintf(stderr,
                                 "vantrelo-element-crowd: paging: %zu answers in %.1f ms (%zu send "
                                 "failures, %llu ARP requests answered so far)\n",
                                 handled.answers.size(), ms, sendFailures_,
                                 static_cast<unsigned long long>(crowd_.arpAnswered));
                }
            }
        }
        if (verbose)
            std::fprintf(stderr,
                         "vantrelo-element-crowd: paging answered %llu, statistics port requests "
                         "answered %llu, left unanswered by silent elements %llu, ARP requests "
                         "answered %llu, send failures %zu\n",
                         static_cast<unsigned long long>(crowd_.pagingAnswered),
                         static_cast<unsigned long long>(crowd_.requestsAnswered),
                         static_cast<unsigned long long>(crowd_.requestsIgnored),
                         static_cast<unsigned long long>(crowd_.arpAnswered), sendFailures_);
        return 0;
    }

private:
    bool fail(const std::string& what) {
        std::fprintf(stderr, "vantrelo-element-crowd: %s: %s\n", what.c_str(),
                     std::strerror(errno));
        return false;
    }

    void transmit(const nms::sim::Frame& frame) {
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

    nms::sim::Crowd crowd_;
    int fd_ = -1;
    int ifindex_ = 0;
    std::size_t sendFailures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string interface, first;
    std::string mask = "255.255.0.0", prefix = "02:cd";
    int count = 0, gapUs = 0, silentEvery = 0, silentFrom = 0, perSubnet = 0, firstSerial = 100001;
    bool verbose = false;
    // The options that take a value, a text or a whole number, and where each goes.
    const std::pair<const char*, std::string*> texts[] = {{"--interface", &interface},
                                                          {"--first", &first},
                                                          {"--mask", &mask},
                                                          {"--mac-prefix", &prefix}};
    const std::pair<const char*, int*> numbers[] = {{"--count", &count},
                                                    {"--gap-us", &gapUs},
                                                    {"--silent-every", &silentEvery},
                                                    {"--silent-from", &silentFrom},
                                                    {"--per-subnet", &perSubnet},
                                                    {"--first-serial", &firstSerial}};
    auto find = [](const auto& table, const std::string& name) {
        for (const auto& [option, target] : table)
            if (name == option) return target;
        return decltype(table[0].second){nullptr};
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (auto* text = find(texts, a))
            *text = value();
        else if (auto* number = find(numbers, a))
            *number = std::atoi(value().c_str());
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
    if (interface.empty() || !firstIp || !maskIp || count < 1 || count > 60000 || silentEvery < 0 ||
        silentFrom < 0 || perSubnet < 0 || perSubnet > 254 || firstSerial < 1 ||
        std::sscanf(prefix.c_str(), "%2x:%2x", &p0, &p1) != 2) {
        usage(stderr);
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    nms::sim::CrowdOptions options;
    options.first = *firstIp;
    options.mask = *maskIp;
    options.count = count;
    options.macPrefix = {static_cast<std::uint8_t>(p0), static_cast<std::uint8_t>(p1)};
    options.silentEvery = silentEvery;
    options.silentFrom = silentFrom;
    options.perSubnet = perSubnet;
    options.firstSerial = firstSerial;
    CrowdSocket crowd(options);
    if (!crowd.open(interface)) return 1;
    if (verbose)
        std::fprintf(stderr, "vantrelo-element-crowd: %d elements on %s\n", count,
                     interface.c_str());
    return crowd.run(verbose, gapUs);
}
