#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Big-endian fields of the element datagrams, for the codecs that write them.
namespace nms::protocol::byte_order {

inline void put32(std::span<std::uint8_t> d, std::size_t at, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    d[at] = static_cast<std::uint8_t>(u >> 24);
    d[at + 1] = static_cast<std::uint8_t>(u >> 16);
    d[at + 2] = static_cast<std::uint8_t>(u >> 8);
    d[at + 3] = static_cast<std::uint8_t>(u);
}

inline void put16(std::span<std::uint8_t> d, std::size_t at, std::uint16_t v) {
    d[at] = static_cast<std::uint8_t>(v >> 8);
    d[at + 1] = static_cast<std::uint8_t>(v);
}

// The caller has checked that the four bytes are there.
inline std::int32_t get32(std::span<const std::uint8_t> d, std::size_t at) {
    const std::uint32_t u = (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) |
                            (std::uint32_t{d[at + 2]} << 8) | std::uint32_t{d[at + 3]};
    return static_cast<std::int32_t>(u);
}

}  // namespace nms::protocol::byte_order
