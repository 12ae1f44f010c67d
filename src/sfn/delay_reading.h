#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nms::sfn {

// The delay a figure of an SFN decoder's reply stands for once the additional delay and the
// servo correction in effect are added (what the SFN window shows as network latency). Nothing
// when the sum leaves 32 bits: such figures are not believable and are reported, not shown.
std::optional<std::int32_t> delayInEffect(std::int32_t networkNs, std::int32_t additionalNs,
                                          std::int32_t servoCorrectionNs);
// The latency summary: a delay in effect plus the decoder's fixed interface latencies. Nothing
// beyond 32 bits.
std::optional<std::int32_t> latencySummary(std::int32_t delayInEffectNs);

// One delay reply read whole, as the SFN window reads it.
struct DelayReading {
    // The network delay the decoder measured, as it reports it.
    std::int32_t networkMinNs = 0, networkAvgNs = 0, networkMaxNs = 0;
    // The network latency the SFN window shows: each of those + additional delay + servo
    // correction.
    std::int32_t latencyMinNs = 0, latencyAvgNs = 0, latencyMaxNs = 0;
    std::int32_t additionalNs = 0;
    bool autoServo = false;
    std::int32_t servoCorrectionNs = 0;  // 0 while the servo is off
    // The latency summary of each figure.
    std::int32_t summaryMinNs = 0, summaryAvgNs = 0, summaryMaxNs = 0;
};

// The reply read, or why it cannot be: too short to hold the servo state, too long to be a
// delay reply, or figures beyond 32 bits.
struct DelayReplyResult {
    std::optional<DelayReading> reading;
    std::string problem;
};
DelayReplyResult readDelayReply(std::span<const std::uint8_t> reply);

}  // namespace nms::sfn
