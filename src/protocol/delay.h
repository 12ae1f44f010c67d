#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The SFN delay exchange on port 2978: "GetDel", the six-byte set command, and the element's
// delay reply of at most 66 bytes (read with GetLongFromReply of statistics.h).
namespace nms::protocol {

inline constexpr std::string_view kGetDelayRequest = "GetDel";

namespace delay {
inline constexpr std::uint8_t kSetCommandCode = 0x53;  // 'S'
inline constexpr std::size_t kSetCommandLength = 6;
inline constexpr std::size_t kAverage = 40;
inline constexpr std::size_t kMinimum = 44;
inline constexpr std::size_t kMaximum = 48;
inline constexpr std::size_t kAdditional = 52;
inline constexpr std::size_t kServoCorrection = 56;
inline constexpr std::size_t kServoState = 60;  // 1 = on
inline constexpr std::size_t kReplyLength = 66;
}  // namespace delay

struct DelaySetting {
    std::int32_t additionalNs = 0;
    bool autoServo = false;
    bool operator==(const DelaySetting&) const = default;
};

std::array<std::uint8_t, delay::kSetCommandLength> encodeDelaySet(const DelaySetting& setting);
// Exactly six bytes starting with 0x53; the servo flag is on only for the byte 1.
std::optional<DelaySetting> decodeDelaySet(std::span<const std::uint8_t> datagram);

struct DelayReplyFields {
    std::int32_t averageNs = 0, minimumNs = 0, maximumNs = 0;
    std::int32_t additionalNs = 0;
    std::int32_t servoCorrectionNs = 0;
    bool autoServo = false;
};
std::vector<std::uint8_t> encodeDelayReply(const DelayReplyFields& fields);

}  // namespace nms::protocol
