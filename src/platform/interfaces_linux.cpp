#include "platform/interfaces_linux.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace nms::platform {

ports::InterfaceList::Result LinuxInterfaceList::localAddresses() {
    Result result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        result.error = errno != 0 ? errno : -1;
        return result;
    }
    std::vector<std::uint32_t> addresses;  // host order, for a numeric sort
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        addresses.push_back(
            ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr));
    }
    ::freeifaddrs(list);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    for (std::uint32_t host : addresses) {
        in_addr a{htonl(host)};
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &a, text, sizeof text);
        result.addresses.emplace_back(text);
    }
    return result;
}

std::map<std::string, std::string> LinuxInterfaceList::interfaceNames() {
    std::map<std::string, std::string> names;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return names;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text,
                    sizeof text);
        names.emplace(text, a->ifa_name);  // the first interface that holds the address
    }
    ::freeifaddrs(list);
    return names;
}

}  // namespace nms::platform
