#include "protocol/level.h"

#include <algorithm>

namespace nms::protocol {

std::vector<std::uint8_t> encodeLevelReply(std::span<const std::int32_t> samples) {
    std::vector<std::uint8_t> d;
    d.reserve(samples.size() * kSampleBytes);
    for (std::int32_t s : samples) {
        const auto u = static_cast<std::uint32_t>(std::clamp(s, -kFullScale, kFullScale - 1));
        d.push_back(static_cast<std::uint8_t>(u >> 16));
        d.push_back(static_cast<std::uint8_t>(u >> 8));
        d.push_back(static_cast<std::uint8_t>(u));
    }
    return d;
}

std::int32_t levelSample(std::span<const std::uint8_t> reply, std::size_t index) {
    const std::size_t at = index * kSampleBytes;
    const std::int32_t raw = (reply[at] << 16) | (reply[at + 1] << 8) | reply[at + 2];
    return raw >= kFullScale ? raw - 2 * kFullScale : raw;
}

std::int32_t levelPeak(std::span<const std::uint8_t> reply) {
    std::int32_t peak = 0;
    const std::size_t count = reply.size() / kSampleBytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = levelSample(reply, i);
        peak = std::max(peak, v < 0 ? -v : v);
    }
    return peak;
}

}  // namespace nms::protocol
