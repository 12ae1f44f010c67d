#include "station/sites.h"

#include <algorithm>

#include "ports/settings.h"
#include "protocol/address.h"
#include "protocol/text.h"
#include "store/ini_document.h"
#include "station/settings_keys.h"

namespace nms::station {
namespace {

constexpr std::size_t kMaxNameCharacters = 32;

std::uint32_t maskOf(int prefix) {
    return prefix == 0 ? 0u : ~std::uint32_t{0} << (32 - prefix);
}

// Counts the characters of well-formed UTF-8 without C1 controls; nothing for anything else.
std::optional<std::size_t> utf8Characters(std::string_view s) {
    if (protocol::text::validUtf8(s) != s) return std::nullopt;
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        // U+0080 to U+009F are C2 80 to C2 9F.
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) return std::nullopt;
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

bool overlaps(const Subnet& a, const Subnet& b) {
    const int p = std::min(a.prefix, b.prefix);
    return ((a.network ^ b.network) & maskOf(p)) == 0;
}

}  // namespace

bool Subnet::contains(std::uint32_t address) const { return ((address ^ network) & maskOf(prefix)) == 0; }

std::uint32_t Subnet::firstHost() const { return prefix >= 31 ? network : network + 1; }

std::uint32_t Subnet::lastHost() const {
    const std::uint32_t broadcast = network | ~maskOf(prefix);
    return prefix >= 31 ? broadcast : broadcast - 1;
}

std::uint64_t Subnet::hostCount() const { return std::uint64_t{lastHost()} - firstHost() + 1; }

std::string Subnet::text() const { return dottedAddress(network) + "/" + std::to_string(prefix); }

std::uint64_t Site::hostCount() const {
    std::uint64_t n = 0;
    for (const auto& s : subnets) n += s.hostCount();
    return n;
}

std::optional<std::uint32_t> hostOrderAddress(std::string_view ip) {
    if (!protocol::IsValidIP(ip)) return std::nullopt;
    const auto b = protocol::IPBytes(ip);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

std::string dottedAddress(std::uint32_t a) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
                                  static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)};
    return protocol::FormatIP(bytes);
}

std::optional<Subnet> parseSubnet(std::string_view text, std::string& why) {
    const std::string shown(text);
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) {
        why = shown + " is not a subnet (an address and a prefix length, as 10.1.2.0/24)";
        return std::nullopt;
    }
    const auto address = hostOrderAddress(text.substr(0, slash));
    const auto bits = text.substr(slash + 1);
    int prefix = 0;
    const bool prefixRead = !bits.empty() && bits.size() <= 2 &&
                            std::all_of(bits.begin(), bits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (prefixRead) prefix = std::stoi(std::string(bits));
    if (!address || !prefixRead || prefix > 32) {
        why = shown + " is not a subnet (an address and a prefix length, as 10.1.2.0/24)";
        return std::nullopt;
    }
    if (prefix < 8) {
        why = shown + " is larger than a /8: no site is paged across so many addresses";
        return std::nullopt;
    }
    Subnet s{*address & maskOf(prefix), prefix};
    if (s.network != *address) {
        why = shown + " has bits set beyond its prefix; the subnet is " + s.text();
        return std::nullopt;
    }
    const std::uint32_t top = s.network >> 24;
    if (top == 0 || top == 127 || top >= 224) {
        why = shown + " holds no address an element can have (this, loopback, multicast or reserved)";
        return std::nullopt;
    }
    return s;
}

std::string siteNameRefusal(std::string_view name) {
    const auto characters = utf8Characters(name);
    if (!characters) return "a site's name must be UTF-8 text";
    if (*characters == 0 || *characters > kMaxNameCharacters) return "a site's name has 1 to 32 characters";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return "a site's name holds no control character";
        if (c == ';' || c == '=' || c == ',') return "a site's name holds no \";\", \"=\" or \",\"";
    }
    if (name.front() == ' ' || name.back() == ' ') return "a site's name has no blank at either end";
    return {};
}

std::string addSite(Sites& sites, std::string_view name, const std::vector<std::string>& subnets) {
    if (auto refusal = siteNameRefusal(name); !refusal.empty()) return refusal;
    if (subnets.empty()) return "a site needs at least one subnet";
    std::vector<Subnet> adding;
    for (const auto& text : subnets) {
        std::string why;
        const auto s = parseSubnet(text, why);
        if (!s) return why;
        bool known = false;  // given again for its own site: nothing to add
        for (const auto& site : sites)
            for (const auto& other : site.subnets) {
                if (!overlaps(*s, other)) continue;
                if (store::sameName(site.name, name) && other == *s) {
                    known = true;
                    continue;
                }
                return s->text() + " overlaps " + other.text() + " of site " + site.name;
            }
        for (const auto& other : adding)
            if (overlaps(*s, other)) return s->text() + " overlaps " + other.text();
        if (!known) adding.push_back(*s);
    }
    auto found = std::find_if(sites.begin(), sites.end(), [&](const Site& s) { return store::sameName(s.name, name); });
    if (found == sites.end()) found = sites.insert(sites.end(), Site{std::string(name), {}});
    found->subnets.insert(found->subnets.end(), adding.begin(), adding.end());
    return {};
}

bool removeSite(Sites& sites, std::string_view name) {
    const auto before = sites.size();
    std::erase_if(sites, [&](const Site& s) { return store::sameName(s.name, name); });
    return sites.size() != before;
}

const Site* findSite(const Sites& sites, std::string_view name) {
    for (const auto& s : sites)
        if (store::sameName(s.name, name)) return &s;
    return nullptr;
}

const Site* siteOf(const Sites& sites, std::string_view ip) {
    const auto address = hostOrderAddress(ip);
    if (!address) return nullptr;
    for (const auto& site : sites)
        for (const auto& s : site.subnets)
            if (s.contains(*address)) return &site;
    return nullptr;
}

Sites readSites(std::string_view stored) {
    Sites sites;
    std::size_t at = 0;
    while (at < stored.size()) {
        auto end = stored.find(';', at);
        if (end == std::string_view::npos) end = stored.size();
        const auto part = stored.substr(at, end - at);
        at = end + 1;
        const auto eq = part.find('=');
        if (eq == std::string_view::npos) continue;
        std::vector<std::string> subnets;
        auto list = part.substr(eq + 1);
        std::size_t from = 0;
        while (from <= list.size()) {
            auto comma = list.find(',', from);
            if (comma == std::string_view::npos) comma = list.size();
            if (comma > from) subnets.emplace_back(list.substr(from, comma - from));
            from = comma + 1;
        }
        addSite(sites, part.substr(0, eq), subnets);  // a refused part changes nothing
    }
    return sites;
}

std::string sitesText(const Sites& sites) {
    std::string out;
    for (const auto& site : sites) {
        if (!out.empty()) out += ';';
        out += site.name + '=';
        for (std::size_t i = 0; i < site.subnets.size(); ++i) out += (i ? "," : "") + site.subnets[i].text();
    }
    return out;
}

Sites loadSites(const ports::SettingsStore& store) {
    return readSites(store.getOr(settings::kApp, settings::kSites.section, settings::kSites.name, ""));
}

void saveSites(ports::SettingsStore& store, const Sites& sites) {
    store.set(settings::kApp, settings::kSites.section, settings::kSites.name, sitesText(sites));
}

}  // namespace nms::station
