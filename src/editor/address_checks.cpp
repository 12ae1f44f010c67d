#include "editor/address_checks.h"

#include <cstdint>

#include "protocol/address.h"

namespace nms::editor {

namespace {

// An address as a number, the first part in the highest byte, so that masks compare as they read.
std::uint32_t valueOf(const std::string& text) {
    const auto b = protocol::IPBytes(text);
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

std::string textOf(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    return protocol::FormatIP(b);
}

// Ones from the top, then zeros only.
bool contiguous(std::uint32_t mask) {
    const std::uint32_t host = ~mask;
    return (host & (host + 1)) == 0;
}

int prefixLength(std::uint32_t mask) {
    int n = 0;
    for (; n < 32 && (mask & (0x80000000u >> n)) != 0; ++n) {
    }
    return n;
}

// An address a single host may hold anywhere: not "this network" (0/8), not loopback (127/8),
// not multicast, reserved or broadcast (224 and up).
bool unicastHost(std::uint32_t a) {
    const std::uint32_t first = a >> 24;
    return first != 0 && first != 127 && first < 224;
}

// Inside a subnet of more than two addresses the first names the subnet and the last is its
// broadcast; a /31 link uses both, a /32 its only one.
bool subnetOwnAddress(std::uint32_t a, std::uint32_t mask) {
    const std::uint32_t host = a & ~mask;
    return prefixLength(mask) <= 30 && (host == 0 || host == ~mask);
}

bool multicastGroup(std::uint32_t a) {
    const std::uint32_t first = a >> 24;
    return first >= 224 && first <= 239;
}

}  // namespace

std::optional<std::string> addressRefusal(const ElementAddresses& a) {
    const std::uint32_t mask = valueOf(a.mask);
    if (!contiguous(mask)) return "The element's subnet mask " + a.mask + " is not contiguous.";

    const std::uint32_t ip = valueOf(a.ip);
    if (!unicastHost(ip) || subnetOwnAddress(ip, mask))
        return "The element's IP address " + a.ip + " is not a usable host address of its subnet.";

    const std::uint32_t gateway = valueOf(a.gateway);
    if (gateway != 0) {
        if (gateway == ip)
            return "The element's IP address " + a.ip + " is the address of its gateway.";
        const bool inSubnet = (gateway & mask) == (ip & mask);
        if (!unicastHost(gateway) || (inSubnet && subnetOwnAddress(gateway, mask)))
            return "The element's gateway " + a.gateway + " is not a usable host address.";
    }

    const std::uint32_t stream = valueOf(a.stream);
    if (a.streamKind == StreamAddress::Multicast && !multicastGroup(stream))
        return "The multicast IP address " + a.stream +
               " is not a multicast address (224.0.0.0 to 239.255.255.255).";
    if (a.streamKind == StreamAddress::Decoder &&
        (!unicastHost(stream) ||
         ((stream & mask) == (ip & mask) && subnetOwnAddress(stream, mask))))
        return "The decoder IP address " + a.stream + " is not a unicast host address.";
    return std::nullopt;
}

std::optional<std::string> gatewayQuestion(const ElementAddresses& a) {
    const std::uint32_t mask = valueOf(a.mask);
    const std::uint32_t ip = valueOf(a.ip);
    const std::uint32_t gateway = valueOf(a.gateway);
    if (gateway == 0 || (gateway & mask) == (ip & mask)) return std::nullopt;
    return "The element's gateway " + a.gateway + " is outside its subnet " + textOf(ip & mask) +
           "/" + std::to_string(prefixLength(mask)) +
           ",\rso the element cannot reach it.\rSend this configuration anyway?";
}

}  // namespace nms::editor
