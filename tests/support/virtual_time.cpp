#include "support/virtual_time.h"

#include <algorithm>

namespace nms::testing {

ports::Scheduler::TaskId VirtualTime::callAfter(std::int64_t delayMs, std::function<void()> task) {
    const TaskId id = nextId_++;
    const std::int64_t due = now_ + (delayMs < 0 ? 0 : delayMs);
    tasks_.emplace(std::make_pair(due, id), std::move(task));
    dueOf_.emplace(id, due);
    return id;
}

void VirtualTime::cancel(TaskId id) {
    auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    tasks_.erase({it->second, id});
    dueOf_.erase(it);
}

void VirtualTime::advance(std::int64_t ms) {
    const std::int64_t target = now_ + (ms < 0 ? 0 : ms);
    // A task may advance the clock itself (a test acting while a box is open): time never runs
    // back when the outer advance goes on, or a timer armed in between would be pushed past
    // everything the test waits for.
    while (!tasks_.empty() && tasks_.begin()->first.first <= std::max(target, now_)) {
        auto node = tasks_.extract(tasks_.begin());
        dueOf_.erase(node.key().second);
        now_ = std::max(now_, node.key().first);
        node.mapped()();
    }
    now_ = std::max(now_, target);
}

bool VirtualTime::step() {
    if (tasks_.empty()) return false;
    advance(tasks_.begin()->first.first - now_);
    return true;
}

}  // namespace nms::testing
