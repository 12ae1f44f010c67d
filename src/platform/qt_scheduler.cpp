#include "platform/qt_scheduler.h"

#include <QDateTime>
#include <QTimerEvent>

#include <algorithm>
#include <limits>

namespace nms::platform {

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {}

QtScheduler::~QtScheduler() {
    for (const auto& [id, task] : tasks_) killTimer(task.qtTimer);
}

ports::Scheduler::TaskId QtScheduler::callAfter(std::int64_t delayMs, std::function<void()> task) {
    const auto ms = static_cast<int>(std::clamp<std::int64_t>(delayMs, 0, std::numeric_limits<int>::max()));
    // Precise timers: the station's intervals (50 ms level polling, 1 s countdowns) are short
    // enough that the coarse timer's 5% slack would show.
    const int qtTimer = startTimer(ms, Qt::PreciseTimer);
    if (qtTimer == 0) return 0;
    const TaskId id = nextId_++;
    tasks_.emplace(id, Task{qtTimer, std::move(task)});
    byQtTimer_.emplace(qtTimer, id);
    return id;
}

void QtScheduler::cancel(TaskId id) {
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return;
    killTimer(it->second.qtTimer);
    byQtTimer_.erase(it->second.qtTimer);
    tasks_.erase(it);
}

std::int64_t QtScheduler::unixTimeMs() const { return QDateTime::currentMSecsSinceEpoch(); }

std::int64_t QtScheduler::monotonicMs() const {
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

void QtScheduler::timerEvent(QTimerEvent* event) {
    auto byTimer = byQtTimer_.find(event->timerId());
    if (byTimer == byQtTimer_.end()) return;
    const TaskId id = byTimer->second;
    byQtTimer_.erase(byTimer);
    killTimer(event->timerId());
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return;
    // Taken out first: the task may schedule or cancel others, or this one again.
    auto run = std::move(it->second.run);
    tasks_.erase(it);
    if (run) run();
}

}  // namespace nms::platform
