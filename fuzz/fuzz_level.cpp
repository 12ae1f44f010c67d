// The level reply: signed 24-bit big-endian samples from offset 0, trailing bytes short of a
// sample ignored; the peak is the largest magnitude, and what an element encodes reads back.
#include <algorithm>

#include "fuzz_support.h"
#include "protocol/level.h"

namespace {

using nms::fuzz::check;
namespace level = nms::protocol;

// The plain reading: three bytes, sign taken from the top bit.
std::int64_t sampleOf(const std::vector<std::uint8_t>& d, std::size_t i) {
    const std::int64_t raw = std::int64_t{d[3 * i]} * 65536 + d[3 * i + 1] * 256 + d[3 * i + 2];
    return raw >= 8388608 ? raw - 16777216 : raw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);
    const auto reply = in.take(in.u16() % 4096);
    std::int64_t peak = 0;
    for (std::size_t i = 0; i < reply.size() / 3; ++i) {
        const std::int64_t s = sampleOf(reply, i);
        check(level::levelSample(reply, i) == s, "sample");
        peak = std::max(peak, s < 0 ? -s : s);
    }
    check(level::levelPeak(reply) == peak, "peak is the largest magnitude");
    check(peak <= level::kFullScale, "peak within full scale");

    // Samples as an element sends them, limited to the 24-bit range.
    std::vector<std::int32_t> samples;
    while (in.left() >= 4 && samples.size() < 512)
        samples.push_back(static_cast<std::int32_t>(in.u32()));
    const auto encoded = level::encodeLevelReply(samples);
    check(encoded.size() == samples.size() * level::kSampleBytes, "encoded length");
    std::int32_t expectedPeak = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::int32_t limited =
            std::clamp(samples[i], -level::kFullScale, level::kFullScale - 1);
        check(level::levelSample(encoded, i) == limited, "sample round trip");
        expectedPeak = std::max(expectedPeak, limited < 0 ? -limited : limited);
    }
    check(level::levelPeak(encoded) == expectedPeak, "peak of an encoded reply");
    return 0;
}
