#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nms::ports {
class SettingsStore;
}

// The plant's routed sites: transmitter sites behind routers, each a name and the subnets its
// elements live in. The paging broadcast does not cross a router, so a site is paged address
// by address, and only ever inside its own subnets.
namespace nms::station {

struct Subnet {
    std::uint32_t network = 0;  // host byte order, host bits clear
    int prefix = 32;

    bool contains(std::uint32_t address) const;
    // The addresses paged in it: all but the network and broadcast addresses, except in a /31
    // (both are hosts) and a /32 (the one address).
    std::uint32_t firstHost() const;
    std::uint32_t lastHost() const;
    std::uint64_t hostCount() const;
    std::string text() const;
    bool operator==(const Subnet&) const = default;
};

struct Site {
    std::string name;
    std::vector<Subnet> subnets;
    std::uint64_t hostCount() const;
};
using Sites = std::vector<Site>;

// A subnet larger than this asks the operator before it is paged (a /16 takes over two minutes
// at the default pace, a /8 nine hours).
inline constexpr int kConfirmBelowPrefix = 16;

// "10.1.2.0/24": the subnet, or nothing with the reason in `why`. Host bits set, a prefix below
// /8, and addresses no element can hold (0/8, loopback, multicast, reserved) are refused.
std::optional<Subnet> parseSubnet(std::string_view text, std::string& why);
// A dotted address in host byte order; nothing for a text that is not four decimal parts.
std::optional<std::uint32_t> hostOrderAddress(std::string_view ip);
std::string dottedAddress(std::uint32_t hostOrder);

// Why a name cannot name a site (empty: it can): 1 to 32 characters of UTF-8 text without
// control characters, none of ";", "=" or ",", and no blank at either end.
std::string siteNameRefusal(std::string_view name);

// Adds a site, or subnets to the site of that name (names compare without case); the refusal,
// or the empty text. A subnet that overlaps one of any site is refused: an address belongs to
// one site only.
std::string addSite(Sites& sites, std::string_view name, const std::vector<std::string>& subnets);
bool removeSite(Sites& sites, std::string_view name);
const Site* findSite(const Sites& sites, std::string_view name);
// The site whose subnets hold the address, if any.
const Site* siteOf(const Sites& sites, std::string_view ip);

// The stored form: "North=10.1.0.0/24,10.1.1.0/24;South=10.2.0.0/16". A part that does not
// read (a hand edit) is left out rather than guessed at.
Sites readSites(std::string_view stored);
std::string sitesText(const Sites& sites);

// The sites as the station's settings keep them.
Sites loadSites(const ports::SettingsStore& settings);
void saveSites(ports::SettingsStore& settings, const Sites& sites);

}  // namespace nms::station
