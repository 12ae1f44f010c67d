#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace nms::ports {

// Status codes of an echo, as the station reports them.
namespace echo_status {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kDestNetUnreachable = 11002;
inline constexpr std::int32_t kDestHostUnreachable = 11003;
inline constexpr std::int32_t kDestProtocolUnreachable = 11004;
inline constexpr std::int32_t kDestPortUnreachable = 11005;
inline constexpr std::int32_t kNoResources = 11006;
inline constexpr std::int32_t kPacketTooBig = 11009;
inline constexpr std::int32_t kTimedOut = 11010;
inline constexpr std::int32_t kBadRoute = 11012;
inline constexpr std::int32_t kTtlExpiredTransit = 11013;
inline constexpr std::int32_t kTtlExpiredReassembly = 11014;
inline constexpr std::int32_t kParameterProblem = 11015;
inline constexpr std::int32_t kSourceQuench = 11016;
inline constexpr std::int32_t kBadDestination = 11018;
inline constexpr std::int32_t kGeneralFailure = 11050;
inline constexpr std::int32_t kUnusable = -1;
}  // namespace echo_status

struct EchoResult {
    std::int32_t status = echo_status::kUnusable;
    std::uint32_t roundTripMs = 0;
};

// ICMP echo. Asynchronous: the answer (or the time-out) is delivered later through `done`, on the
// station's thread, never from inside echo().
class Icmp {
public:
    using RequestId = std::uint64_t;
    virtual ~Icmp() = default;
    // False when no ICMP socket can be opened at all (no permission for either kind).
    virtual bool available() = 0;
    // Sends one echo request. Returns 0 (and never calls done) when nothing could be sent.
    virtual RequestId echo(const std::string& ipv4, std::span<const std::uint8_t> payload, int timeoutMs,
                           std::function<void(EchoResult)> done) = 0;
    virtual void cancel(RequestId id) = 0;
};

}  // namespace nms::ports
