#include "support/virtual_time.h"

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
    while (!tasks_.empty() && tasks_.begin()->first.first <= target) {
        auto node = tasks_.extract(tasks_.begin());
        dueOf_.erase(node.key().second);
        now_ = node.key().first;
        node.mapped()();
    }
    now_ = target;
}

bool VirtualTime::step() {
    if (tasks_.empty()) return false;
    advance(tasks_.begin()->first.first - now_);
    return true;
}

}  // namespace nms::testing
