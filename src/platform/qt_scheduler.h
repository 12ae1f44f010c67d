#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <unordered_map>

#include "ports/scheduler.h"

namespace nms::platform {

// Timers and the clock on Qt's event loop. Every task is a one-shot timer of its own; it runs
// from the event loop, never from inside callAfter().
class QtScheduler : public QObject, public ports::Scheduler, public ports::Clock {
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    TaskId callAfter(std::int64_t delayMs, std::function<void()> task) override;
    void cancel(TaskId id) override;
    // The monotonic clock's milliseconds since its reference (on Linux: since boot), so that the
    // tick count behaves like the system's.
    std::int64_t monotonicMs() const override;
    std::int64_t unixTimeMs() const override;

    std::size_t pending() const { return tasks_.size(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Task {
        int qtTimer = 0;
        std::function<void()> run;
    };
    TaskId nextId_ = 1;
    std::unordered_map<TaskId, Task> tasks_;
    std::unordered_map<int, TaskId> byQtTimer_;
};

}  // namespace nms::platform
