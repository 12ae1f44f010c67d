#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace nms::ports {

// An event of a model that anyone may watch besides its owner (a script timing it, a second
// front end): watchers are added, never swapped, and run in the order they were added.
template <class... Args>
class Signal {
public:
    void connect(std::function<void(Args...)> watcher) { watchers_.push_back(std::move(watcher)); }
    void operator()(Args... args) const {
        for (const auto& w : watchers_) w(args...);
    }

private:
    std::vector<std::function<void(Args...)>> watchers_;
};

}  // namespace nms::ports
