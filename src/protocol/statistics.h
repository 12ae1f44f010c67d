#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The statistics exchange on port 2978: the text requests "GetStats" and "RstStats", and the
// element's binary reply of at most 66 bytes. Everything is big-endian; the alarm and Ethernet
// words sit at different offsets for an encoder and a decoder.
namespace nms::protocol {

inline constexpr std::string_view kGetStatsRequest = "GetStats";
inline constexpr std::string_view kResetStatsRequest = "RstStats";

namespace statistics {
inline constexpr std::size_t kTxFramesOk = 0;
inline constexpr std::size_t kRxFramesOk = 4;
inline constexpr std::size_t kTxFramesErr = 8;
inline constexpr std::size_t kRxFramesErr = 12;
inline constexpr std::size_t kPtpSyncOk = 16;
inline constexpr std::size_t kPtpSyncErr = 20;
inline constexpr std::size_t kPtpClockDifference = 24;  // ns
inline constexpr std::size_t kMeasuredDelay = 28;       // ns
inline constexpr std::size_t kAudioFramesOk = 32;
inline constexpr std::size_t kAudioFramesErr = 36;
inline constexpr std::size_t kEncAlarmWord = 40;
inline constexpr std::size_t kEncEthernetWord = 42;
inline constexpr std::size_t kAdditionalLatency = 52;  // ns
inline constexpr std::size_t kDecAlarmWord = 61;
inline constexpr std::size_t kDecEthernetWord = 63;
inline constexpr std::size_t kMaxReplyLength = 66;

// Alarm/status word.
inline constexpr std::uint16_t kAlarmAudio = 0x0100;
inline constexpr std::uint16_t kAlarmReferenceMask = 0x7C00;  // 10 MHz problem code; 0 = good
inline constexpr std::uint16_t kAlarm1ppsMissing = 0x8000;
// Ethernet status word.
inline constexpr std::uint16_t kEthLinkUp = 0x0100;
inline constexpr std::uint16_t kEth10Mbit = 0x0200;  // clear: 100 Mbit/s
inline constexpr std::uint16_t kEthFullDuplex = 0x0400;
}  // namespace statistics

// What an element reports.
struct StatisticsFields {
    std::int32_t txFramesOk = 0, rxFramesOk = 0, txFramesErr = 0, rxFramesErr = 0;
    std::int32_t ptpSyncOk = 0, ptpSyncErr = 0, ptpClockDifference = 0, measuredDelay = 0;
    std::int32_t audioFramesOk = 0, audioFramesErr = 0;
    std::int32_t additionalLatency = 0;
    std::uint16_t alarmWord = 0;
    std::uint16_t ethernetWord = 0;
};

// The element's reply, 66 bytes, the words at the offsets of its role.
std::vector<std::uint8_t> encodeStatistics(const StatisticsFields& fields, bool decoderLayout);

// The station's readers: the signed 32-bit or unsigned 16-bit big-endian field at `offset`, or 0
// when the field does not lie wholly inside the datagram.
std::int32_t GetLongFromReply(std::span<const std::uint8_t> reply, std::size_t offset);
std::uint16_t GetWordFromReply(std::span<const std::uint8_t> reply, std::size_t offset);

}  // namespace nms::protocol
