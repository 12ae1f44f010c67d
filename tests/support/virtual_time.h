#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "ports/scheduler.h"

namespace nms::testing {

// Virtual time: a clock and a scheduler that move only when a test advances them. Tasks due at
// the same moment run in the order they were scheduled.
class VirtualTime : public ports::Scheduler, public ports::Clock {
public:
    std::int64_t monotonicMs() const override { return now_; }
    // Virtual time starts at 2026-01-01 00:00:00 UTC.
    static constexpr std::int64_t kEpochMs = 1767225600000;
    std::int64_t unixTimeMs() const override { return kEpochMs + now_; }
    TaskId callAfter(std::int64_t delayMs, std::function<void()> task) override;
    void cancel(TaskId id) override;

    // Runs every task due up to now + ms, in time order, then sets the clock to now + ms.
    void advance(std::int64_t ms);
    // Runs tasks due now (delay 0) without moving the clock.
    void runDue() { advance(0); }
    // Advances to the next pending task and runs it; false when nothing is pending.
    bool step();
    std::size_t pending() const { return tasks_.size(); }
    // Time of the next pending task, or -1.
    std::int64_t nextDue() const { return tasks_.empty() ? -1 : tasks_.begin()->first.first; }

private:
    std::int64_t now_ = 0;
    TaskId nextId_ = 1;
    // (due time, id) → task; ids grow, so equal due times keep their order.
    std::map<std::pair<std::int64_t, TaskId>, std::function<void()>> tasks_;
    std::map<TaskId, std::int64_t> dueOf_;
};

}  // namespace nms::testing
