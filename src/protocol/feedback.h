#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The feedback packet: an element's answer to the paging request and to every configuration.
// Bytes 0 to 39 mean the same for every element; the tail depends on the role.
namespace nms::protocol {

namespace feedback {
inline constexpr std::size_t kIp = 0;
inline constexpr std::size_t kMask = 4;
inline constexpr std::size_t kGateway = 8;
inline constexpr std::size_t kRemote = 12;
inline constexpr std::size_t kInput = 16;
inline constexpr std::size_t kType = 17;
inline constexpr std::size_t kTx = 18;
inline constexpr std::size_t kName = 19;
inline constexpr std::size_t kNameLength = 16;
inline constexpr std::size_t kRole = 35;
inline constexpr std::size_t kSerial = 36;
// Encoder tail.
inline constexpr std::size_t kEncMajor = 40;
inline constexpr std::size_t kEncMinor = 41;
inline constexpr std::size_t kEncSfn = 42;
inline constexpr std::size_t kEncBuffer = 43;
inline constexpr std::size_t kEncLowLatency = 44;
inline constexpr std::size_t kEncAttenuation = 46;  // 255 minus the level
// Decoder tail.
inline constexpr std::size_t kDecAttenuation = 40;
inline constexpr std::size_t kDecMajor = 41;
inline constexpr std::size_t kDecMinor = 42;
inline constexpr std::size_t kDecSfn = 43;
inline constexpr std::size_t kDecBuffer = 44;
inline constexpr std::size_t kDecSilenceMode = 45;
inline constexpr std::size_t kDecSilenceLevel = 46;
inline constexpr std::size_t kDecSilenceTime = 47;
inline constexpr std::size_t kDecDelay = 48;  // nanoseconds, signed 32-bit
inline constexpr std::size_t kDecLowLatency = 53;
// Lengths an element of current firmware sends.
inline constexpr std::size_t kEncoderLength = 47;
inline constexpr std::size_t kDecoderLength = 54;
}  // namespace feedback

// The values of the last feedback packet. They persist from one datagram to the next: a byte
// the datagram does not reach leaves its field as it was.
struct FeedbackRecord {
    std::string ip, mask, gateway, remote;  // dotted texts
    std::uint8_t input = 0, type = 0, tx = 0;
    std::string name;  // 16 characters as received (Latin-1 bytes as characters), UTF-8
    std::uint8_t role = 0;
    std::int32_t sn = 0;
    std::uint8_t major = 0, minor = 0;
    std::uint8_t sfn = 0, buf = 0, att = 0, llo = 0, sdm = 0, sdl = 0, sdt = 0;
    std::int32_t dly = 0;  // in steps of 100 ns
    float version = 0.0f;  // major + minor / 100 in single precision

    // major "." minor, both in decimal.
    std::string versionText() const;
    bool operator==(const FeedbackRecord&) const = default;
};

// Decodes a datagram over the previous record, as the station reads it field by field.
FeedbackRecord decodeFeedback(std::span<const std::uint8_t> datagram, const FeedbackRecord& previous);

// What an element puts in a feedback packet (the element side of the same layout).
struct FeedbackFields {
    std::uint8_t ip[4]{}, mask[4]{}, gateway[4]{}, remote[4]{};
    std::uint8_t input = 0, type = 0, tx = 0;
    std::uint8_t name[16]{};
    std::uint8_t role = 0;
    std::int32_t sn = 0;
    std::uint8_t major = 0, minor = 0, sfn = 0, buf = 0, llo = 0;
    std::uint8_t att = 0;  // the level setting itself; the encoder layout carries 255 minus it
    std::uint8_t sdm = 0, sdl = 0, sdt = 0;
    std::int32_t delayNs = 0;
};
// The full-length packet for the role (47 bytes for an encoder, 54 for a decoder), or `length`
// bytes of it when given (older firmware sends shorter ones).
std::vector<std::uint8_t> encodeFeedback(const FeedbackFields& f, std::size_t length = 0);

}  // namespace nms::protocol
