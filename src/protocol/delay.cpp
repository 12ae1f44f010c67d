#include "protocol/delay.h"

#include "protocol/byte_order.h"

namespace nms::protocol {

using namespace delay;

std::array<std::uint8_t, kSetCommandLength> encodeDelaySet(const DelaySetting& s) {
    std::array<std::uint8_t, kSetCommandLength> d{kSetCommandCode};
    byte_order::put32(d, 1, s.additionalNs);
    d[5] = s.autoServo ? 1 : 0;
    return d;
}

std::optional<DelaySetting> decodeDelaySet(std::span<const std::uint8_t> d) {
    if (d.size() != kSetCommandLength || d[0] != kSetCommandCode) return std::nullopt;
    return DelaySetting{byte_order::get32(d, 1), d[5] == 1};
}

std::vector<std::uint8_t> encodeDelayReply(const DelayReplyFields& f) {
    std::vector<std::uint8_t> d(kReplyLength, 0);
    byte_order::put32(d, kAverage, f.averageNs);
    byte_order::put32(d, kMinimum, f.minimumNs);
    byte_order::put32(d, kMaximum, f.maximumNs);
    byte_order::put32(d, kAdditional, f.additionalNs);
    byte_order::put32(d, kServoCorrection, f.servoCorrectionNs);
    d[kServoState] = f.autoServo ? 1 : 0;
    return d;
}

}  // namespace nms::protocol
