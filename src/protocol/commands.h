#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The one-byte command: the attenuation setting sent to an element at once. The datagram is
// always two bytes, the value and a zero.
namespace nms::protocol {

inline constexpr std::size_t kCommandByteLength = 2;

std::array<std::uint8_t, kCommandByteLength> encodeCommandByte(std::uint8_t value);
// The value of a command datagram; nothing for a datagram of any other length (the level
// request shares the decoder's port and is three bytes).
std::optional<std::uint8_t> decodeCommandByte(std::span<const std::uint8_t> datagram);

// The text requests ("VOL", "GetStats", "RstStats", "GetDel") travel as their ASCII bytes, with
// no terminator or length.
std::vector<std::uint8_t> requestBytes(std::string_view request);
// True when the datagram is exactly the request text.
bool isRequest(std::span<const std::uint8_t> datagram, std::string_view request);

}  // namespace nms::protocol
