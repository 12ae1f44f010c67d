#include "sfn/delay_reading.h"

#include <limits>

#include "protocol/delay.h"
#include "protocol/statistics.h"
#include "sfn/frm_adjust.h"

namespace nms::sfn {

namespace field = protocol::delay;

namespace {

std::optional<std::int32_t> narrow(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

}  // namespace

std::optional<std::int32_t> delayInEffect(std::int32_t networkNs, std::int32_t additionalNs,
                                          std::int32_t servoCorrectionNs) {
    // In 64 bits: a decoder's figures near the 32-bit limit must be reported, not wrap.
    return narrow(std::int64_t{networkNs} + additionalNs + servoCorrectionNs);
}

std::optional<std::int32_t> latencySummary(std::int32_t delayInEffectNs) {
    return narrow(std::int64_t{delayInEffectNs} + kFixedLatencyNs);
}

DelayReplyResult readDelayReply(std::span<const std::uint8_t> reply) {
    if (reply.size() > field::kReplyLength)
        return {std::nullopt, "a reply of " + std::to_string(reply.size()) +
                                  " bytes is too long to be a delay reply"};
    if (reply.size() <= field::kServoState)
        return {std::nullopt, "short delay reply (" + std::to_string(reply.size()) + " of " +
                                  std::to_string(field::kReplyLength) + " bytes)"};
    DelayReading r;
    r.networkMinNs = protocol::GetLongFromReply(reply, field::kMinimum);
    r.networkAvgNs = protocol::GetLongFromReply(reply, field::kAverage);
    r.networkMaxNs = protocol::GetLongFromReply(reply, field::kMaximum);
    r.additionalNs = protocol::GetLongFromReply(reply, field::kAdditional);
    r.autoServo = reply[field::kServoState] == 1;
    if (r.autoServo)
        r.servoCorrectionNs = protocol::GetLongFromReply(reply, field::kServoCorrection);
    struct Figure {
        std::int32_t network;
        std::int32_t *latency, *summary;
    };
    const Figure figures[] = {{r.networkMinNs, &r.latencyMinNs, &r.summaryMinNs},
                              {r.networkAvgNs, &r.latencyAvgNs, &r.summaryAvgNs},
                              {r.networkMaxNs, &r.latencyMaxNs, &r.summaryMaxNs}};
    for (const auto& f : figures) {
        const auto inEffect = delayInEffect(f.network, r.additionalNs, r.servoCorrectionNs);
        const auto total = inEffect ? latencySummary(*inEffect) : std::nullopt;
        if (!total) return {std::nullopt, "delay figures beyond 32 bits"};
        *f.latency = *inEffect;
        *f.summary = *total;
    }
    return {r, {}};
}

}  // namespace nms::sfn
