#include "protocol/address.h"

#include <algorithm>

#include "protocol/text.h"

namespace nms::protocol {

std::string Encode_MAC(std::string_view srcMAC) {
    if (srcMAC.size() != 17) return {};
    std::string out;
    out.reserve(12);
    for (char c : srcMAC)
        if (c != ':') out.push_back(c);
    return text::toUpper(out);
}

std::string Decode_MAC(std::string_view key) {
    if (key.size() != 12) return {};
    std::string out;
    out.reserve(18);
    // Keys are ASCII hex digits but for a hand-edited file: those take the plain path, the tree
    // of a large plant turns thousands of them into MACs at every start.
    const bool ascii = std::all_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    for (std::size_t i = 0; i < 12; i += 2) {
        if (ascii) {
            for (const char c : key.substr(i, 2)) out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c);
        } else {
            out += text::toUpper(key.substr(i, 2));
        }
        out.push_back(':');
    }
    out.pop_back();
    return out;
}

std::string FormatMAC(std::span<const std::uint8_t> octets, std::string_view separator) {
    if (octets.size() != 6) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < 6; ++i) {
        out.push_back(kHex[octets[i] >> 4]);
        out.push_back(kHex[octets[i] & 0x0F]);
        if (i < 5) out.append(separator);
    }
    return out;
}

namespace {

// One part of an inet_addr text: decimal, octal with a leading 0, hexadecimal with 0x.
bool parseInetPart(std::string_view s, std::uint64_t& value) {
    if (s.empty()) return false;
    unsigned base = 10;
    std::size_t i = 0;
    if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        i = 2;
        if (i == s.size()) {  // "0x" alone reads as 0, as the classic parser does
            value = 0;
            return true;
        }
    } else if (s[0] == '0') {
        base = 8;
    }
    value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        if (d >= base) return false;
        value = value * base + d;
        if (value > 0xFFFFFFFFull) return false;
    }
    return true;
}

}  // namespace

std::uint32_t IPTextToAddress(std::string_view ip) {
    auto parts = SplitIP(ip);
    if (parts.empty() || parts.size() > 4) return kInaddrNone;
    std::uint64_t v[4] = {};
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (!parseInetPart(parts[i], v[i])) return kInaddrNone;
    std::uint64_t host = 0;  // first octet most significant
    switch (parts.size()) {
        case 1: host = v[0]; break;
        case 2:
            if (v[0] > 0xFF || v[1] > 0xFFFFFF) return kInaddrNone;
            host = v[0] << 24 | v[1];
            break;
        case 3:
            if (v[0] > 0xFF || v[1] > 0xFF || v[2] > 0xFFFF) return kInaddrNone;
            host = v[0] << 24 | v[1] << 16 | v[2];
            break;
        default:
            for (auto x : v)
                if (x > 0xFF) return kInaddrNone;
            host = v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3];
    }
    const auto h = static_cast<std::uint32_t>(host);
    // Network byte order as a value read from memory on a little-endian host.
    return (h >> 24) | ((h >> 8) & 0xFF00u) | ((h << 8) & 0xFF0000u) | (h << 24);
}

bool IsValidIP(std::string_view ip) {
    const auto parts = SplitIP(ip);
    if (parts.size() != 4) return false;
    for (const auto& p : parts) {
        if (p.empty()) return false;
        unsigned v = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
            if (v > 255) return false;
        }
    }
    return true;
}

std::vector<std::string> SplitIP(std::string_view ip) {
    std::vector<std::string> parts;
    if (ip.empty()) return parts;
    std::size_t start = 0;
    while (true) {
        const auto dot = ip.find('.', start);
        if (dot == std::string_view::npos) {
            parts.emplace_back(ip.substr(start));
            break;
        }
        parts.emplace_back(ip.substr(start, dot - start));
        start = dot + 1;
    }
    return parts;
}

std::string AddressToIPText(std::uint32_t a) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                                   static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 24)};
    return FormatIP(bytes);
}

std::array<std::uint8_t, 4> IPBytes(std::string_view ip) {
    std::array<std::uint8_t, 4> out{};
    const auto parts = SplitIP(ip);
    for (std::size_t i = 0; i < 4 && i < parts.size(); ++i) {
        unsigned v = 0;
        for (char c : parts[i]) {
            if (c < '0' || c > '9') break;
            v = v * 10 + static_cast<unsigned>(c - '0');
            if (v > 255) break;
        }
        out[i] = static_cast<std::uint8_t>(v);
    }
    return out;
}

std::string FormatIP(std::span<const std::uint8_t> fourBytes) {
    std::string out;
    for (std::size_t i = 0; i < fourBytes.size() && i < 4; ++i) {
        if (i) out.push_back('.');
        out += std::to_string(fourBytes[i]);
    }
    return out;
}

std::string FormatElementName(std::string_view name) {
    std::string s = text::left(name, 16);
    for (auto n = text::length(s); n < 16; ++n) s.push_back(' ');
    return text::toUpper(s);
}

std::int32_t BytesToLong(std::span<const std::uint8_t> datagram, std::int32_t start, std::uint8_t count) {
    const long long last = static_cast<long long>(datagram.size()) - 1;
    if (start < 0 || last < static_cast<long long>(start) + count - 1) return 0;
    std::uint32_t v = 0;
    for (std::uint8_t i = 0; i < count; ++i) v = v << 8 | datagram[static_cast<std::size_t>(start) + i];
    return static_cast<std::int32_t>(v);
}

}  // namespace nms::protocol
