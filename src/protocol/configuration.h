#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "protocol/feedback.h"

// The configuration packet: the station's settings for one element, sent to its port 2976. Its
// length and last bytes depend on the element's role and firmware, so that older firmware gets
// the shorter layout it knows. The element answers with a feedback packet.
namespace nms::protocol {

namespace configuration {
// Bytes 0 to 18 are laid out as in the feedback packet.
inline constexpr std::size_t kIp = feedback::kIp;
inline constexpr std::size_t kMask = feedback::kMask;
inline constexpr std::size_t kGateway = feedback::kGateway;
inline constexpr std::size_t kRemote = feedback::kRemote;
inline constexpr std::size_t kInput = feedback::kInput;
inline constexpr std::size_t kType = feedback::kType;
inline constexpr std::size_t kTx = feedback::kTx;
inline constexpr std::size_t kSfn = 19;
inline constexpr std::size_t kName = 20;
inline constexpr std::size_t kNameLength = 16;
// Encoder tail.
inline constexpr std::size_t kEncLowLatency = 36;
inline constexpr std::size_t kEncConstant = 37;  // always 1 where present
inline constexpr std::size_t kEncSampleWidth = 38;
// Decoder tail.
inline constexpr std::size_t kDecBuffer = 36;
inline constexpr std::size_t kDecSilenceMode = 37;
inline constexpr std::size_t kDecSilenceLevel = 38;
inline constexpr std::size_t kDecSilenceTime = 39;
inline constexpr std::size_t kDecLowLatency = 40;
inline constexpr std::size_t kDecSampleWidth = 41;
// Lengths by layout and firmware.
inline constexpr std::size_t kEncoderShort = 37;   // before 3.49
inline constexpr std::size_t kEncoderMiddle = 38;  // 3.49 up to 3.7
inline constexpr std::size_t kEncoderLong = 39;    // 3.7 on
inline constexpr std::size_t kDecoderShort = 41;   // up to 3.69
inline constexpr std::size_t kDecoderLong = 42;    // above 3.69
}  // namespace configuration

struct ConfigurationFields {
    std::array<std::uint8_t, 4> ip{}, mask{}, gateway{}, remote{};
    std::uint8_t input = 0;
    std::uint8_t typeCode = 0;  // the 6-bit audio type code
    bool narrowband = false, flac = false;
    std::uint8_t tx = 0;
    std::uint8_t sfn = 0;
    std::array<std::uint8_t, configuration::kNameLength> name{};  // as sent: upper case, blank-padded
    std::uint8_t lowLatency = 0;
    std::uint8_t sampleWidth = 0;  // 24, 16, 12 or 8
    // Decoder only.
    std::uint8_t buffer = 0, silenceMode = 0, silenceLevel = 0, silenceTime = 0;

    bool operator==(const ConfigurationFields&) const = default;
};

// The name bytes of a UTF-8 element name: 16 characters, blank-padded or cut, upper case, one
// byte per character.
std::array<std::uint8_t, configuration::kNameLength> configurationName(std::string_view utf8);

// The first character of the name as sent (cut to 16 characters, upper case) that the element
// cannot hold as itself, nothing when every one can. The packet carries one byte per character
// and the feedback gives each byte back as the Latin-1 character of its code, so only the
// printable Latin-1 characters come back as they went: any other loses its upper bits on the
// way out (the euro sign goes as 0xAC and comes back as "¬"), and a control character would
// break the record it is stored in.
std::optional<std::uint32_t> unsendableNameCharacter(std::string_view utf8);

// The packet for the layout and the firmware version (compared in single precision).
std::vector<std::uint8_t> encodeConfiguration(const ConfigurationFields& fields, bool decoderLayout,
                                              float version);

struct DecodedConfiguration {
    ConfigurationFields fields;
    // What the datagram reached; a field it does not carry stays 0 in `fields`.
    bool hasConstant = false;  // encoder byte 37
    bool hasSampleWidth = false;
};

// The element's reading of a packet in its own layout. A datagram too short to hold the layout's
// first tail byte is refused; longer ones than the layout knows are read as far as it goes.
std::optional<DecodedConfiguration> decodeConfiguration(std::span<const std::uint8_t> datagram,
                                                        bool decoderLayout);

}  // namespace nms::protocol
