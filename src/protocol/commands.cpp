#include "protocol/commands.h"

namespace nms::protocol {

std::array<std::uint8_t, kCommandByteLength> encodeCommandByte(std::uint8_t value) { return {value, 0}; }

std::optional<std::uint8_t> decodeCommandByte(std::span<const std::uint8_t> datagram) {
    if (datagram.size() != kCommandByteLength) return std::nullopt;
    return datagram[0];
}

std::vector<std::uint8_t> requestBytes(std::string_view request) { return {request.begin(), request.end()}; }

bool isRequest(std::span<const std::uint8_t> datagram, std::string_view request) {
    if (datagram.size() != request.size()) return false;
    for (std::size_t i = 0; i < request.size(); ++i) {
        if (datagram[i] != static_cast<std::uint8_t>(request[i])) return false;
    }
    return true;
}

}  // namespace nms::protocol
