#include "platform/neighbour_table_linux.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace nms::platform {
namespace {

// Parses "aa:bb:cc:dd:ee:ff" (any number of octets).
std::optional<std::vector<std::uint8_t>> parseLinkAddress(const std::string& text) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (i + 2 > text.size()) return std::nullopt;
        unsigned v = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned>(c - 'A' + 10);
            else return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(v));
        i += 2;
        if (i < text.size()) {
            if (text[i] != ':') return std::nullopt;
            ++i;
        }
    }
    return out;
}

// Makes the kernel resolve the address without waiting for it: the datagram to the discard
// port needs the neighbour's address before it can leave.
void startResolution(const in_addr& addr) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr = addr;
    (void)::sendto(fd, "", 0, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(fd);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> LinuxNeighbourTable::lookup(const std::string& ipv4) {
    in_addr want{};
    if (::inet_pton(AF_INET, ipv4.c_str(), &want) != 1) return std::nullopt;
    if (want.s_addr == INADDR_ANY || want.s_addr == INADDR_BROADCAST) return std::nullopt;

    std::ifstream arp("/proc/net/arp");
    std::string line;
    std::getline(arp, line);  // column titles
    while (std::getline(arp, line)) {
        std::istringstream fields(line);
        std::string ip, hwType, flags, hw;
        if (!(fields >> ip >> hwType >> flags >> hw)) continue;
        in_addr have{};
        if (::inet_pton(AF_INET, ip.c_str(), &have) != 1 || have.s_addr != want.s_addr) continue;
        const unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
        if (!(f & ATF_COM)) continue;  // incomplete or failed
        auto lladdr = parseLinkAddress(hw);
        if (!lladdr || lladdr->empty()) continue;
        bool nonZero = false;
        for (auto b : *lladdr) nonZero |= b != 0;
        if (!nonZero) continue;
        return lladdr;
    }
    startResolution(want);
    return std::nullopt;
}

}  // namespace nms::platform
