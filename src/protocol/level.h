#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The audio level exchange: the three letters V, O, L to port 2977, and the element's reply of
// signed 24-bit big-endian samples, read from offset 0 (trailing bytes short of a sample are
// ignored).
namespace nms::protocol {

inline constexpr std::string_view kLevelRequest = "VOL";
inline constexpr std::int32_t kFullScale = 8388608;  // 2^23, magnitude of the most negative sample
inline constexpr std::size_t kSampleBytes = 3;

// Each sample limited to the 24-bit range.
std::vector<std::uint8_t> encodeLevelReply(std::span<const std::int32_t> samples);
// The signed sample number `index` of a reply (the caller keeps index below size / 3).
std::int32_t levelSample(std::span<const std::uint8_t> reply, std::size_t index);
// The largest magnitude of the reply's whole samples (0 to 8388608).
std::int32_t levelPeak(std::span<const std::uint8_t> reply);

}  // namespace nms::protocol
