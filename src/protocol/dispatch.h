#pragma once

#include <cstddef>

// Where a datagram that arrives on the main socket (port 2976) goes, judged by its length alone:
// an audio level reply is longer than 1201 bytes, a feedback packet holds 1 to 56 bytes but never
// 4, and anything else is not for the station.
namespace nms::protocol {

enum class MainPortRoute { Drop, LevelReply, Feedback };

constexpr std::size_t kLongestFeedback = 56;
constexpr std::size_t kLongestNonLevelReply = 1201;

constexpr MainPortRoute routeOnMainPort(std::size_t length) {
    if (length > kLongestNonLevelReply) return MainPortRoute::LevelReply;
    if (length != 0 && length <= kLongestFeedback && length != 4) return MainPortRoute::Feedback;
    return MainPortRoute::Drop;
}

}  // namespace nms::protocol
