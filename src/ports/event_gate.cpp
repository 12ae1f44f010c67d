#include "ports/event_gate.h"

#include <cstdio>
#include <exception>

namespace nms::ports {

EventGate::EventGate() { limitOf_[index(Kind::Datagram)] = kDatagramQueueLimit; }

void EventGate::dispatch(Kind kind, std::function<void()> handler) {
    if (shutDown_ || !handler) return;
    if (depth_ > 0 || isHeld(kind) || draining_) {
        enqueue(kind, std::move(handler));
        if (depth_ == 0 && !draining_) drain();
        return;
    }
    run(handler);
    drain();
}

void EventGate::enqueue(Kind kind, std::function<void()> handler) {
    const std::size_t k = index(kind);
    if (limitOf_[k] != 0 && queuedOf_[k] >= limitOf_[k]) {
        ++droppedOf_[k];
        return;
    }
    queue_.emplace_back(kind, std::move(handler));
    ++queuedOf_[k];
}

void EventGate::hold(Kind kind) { heldMask_ |= bit(kind); }

void EventGate::release(Kind kind) {
    heldMask_ &= static_cast<std::uint8_t>(~bit(kind));
    if (depth_ == 0) drain();
}

void EventGate::shutDown() {
    shutDown_ = true;
    queue_.clear();
    queuedOf_ = {};
}

void EventGate::run(const std::function<void()>& handler) {
    if (depth_ == 0) ++turn_;
    ++depth_;
    try {
        handler();
    } catch (const std::exception& e) {
        if (onEscapedException) onEscapedException(e.what());
        else std::fprintf(stderr, "nms: event handler failed: %s\n", e.what());
    } catch (...) {
        if (onEscapedException) onEscapedException("unknown exception");
        else std::fprintf(stderr, "nms: event handler failed\n");
    }
    --depth_;
}

void EventGate::drain() {
    if (draining_) return;
    draining_ = true;
    while (!shutDown_ && depth_ == 0) {
        auto it = queue_.begin();
        while (it != queue_.end() && isHeld(it->first)) ++it;
        if (it == queue_.end()) break;
        auto handler = std::move(it->second);
        --queuedOf_[index(it->first)];
        queue_.erase(it);
        run(handler);
    }
    draining_ = false;
}

}  // namespace nms::ports
