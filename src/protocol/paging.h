#pragma once

#include <cstdint>
#include <string_view>

namespace nms::protocol {

// The paging request: 32 ASCII bytes, broadcast to port 1901; every element answers it with a
// feedback packet to the sender's port 2976.
inline constexpr std::string_view kPagingRequest = "IPMPXSTL KESTROVA PAGING REQUEST";
static_assert(kPagingRequest.size() == 32);

inline constexpr std::uint16_t kPortFeedback = 2976;  // station's main socket; element's configuration port
inline constexpr std::uint16_t kPortPaging = 1901;
inline constexpr std::uint16_t kPortLevelAndDecoderCommand = 2977;
inline constexpr std::uint16_t kPortEncoderCommand = 2979;
inline constexpr std::uint16_t kPortStatistics = 2978;
inline constexpr std::string_view kBroadcastAddress = "255.255.255.255";

}  // namespace nms::protocol
