#pragma once

#include <cstdint>
#include <functional>

namespace nms::ports {

// Time as the station sees it. The real clock is the system's monotonic clock; tests use a
// virtual one that they advance by hand.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale with an arbitrary origin.
    virtual std::int64_t monotonicMs() const = 0;
    // Milliseconds since 1970-01-01 UTC, for time stamps an operator reads (exports, journals).
    virtual std::int64_t unixTimeMs() const = 0;
    // A 32-bit millisecond tick count that wraps after about 49.7 days.
    std::uint32_t tickCount() const { return static_cast<std::uint32_t>(monotonicMs()); }
};

// One-shot callbacks after a delay. Timer controls and the in-process network are built on it.
// Callbacks run on the station's one thread, never from inside callAfter().
class Scheduler {
public:
    using TaskId = std::uint64_t;
    virtual ~Scheduler() = default;
    virtual TaskId callAfter(std::int64_t delayMs, std::function<void()> task) = 0;
    // Cancelling a task that already ran or was never scheduled is harmless.
    virtual void cancel(TaskId id) = 0;
};

}  // namespace nms::ports
