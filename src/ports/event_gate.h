#pragma once

#include <cstdint>
#include <deque>
#include <functional>

namespace nms::ports {

// The one-thread rule of the station: every event (datagram, timer tick, operator action) runs
// to its end before the next one starts. An event that arrives while another is still being
// handled (for instance while a handler waits on a message box, whose nested loop keeps the
// sockets and timers alive) is queued and delivered afterwards, in arrival order.
//
// A wait that is a state rather than a nested loop (the MAC wait) can additionally hold back one
// kind of event until it ends, so that a datagram never overtakes the feedback being processed.
class EventGate {
public:
    enum class Kind : std::uint8_t { Datagram, Timer, Operator, Posted };

    void dispatch(Kind kind, std::function<void()> handler);

    // Hold back (or release) events of one kind; held events keep their place in the queue.
    void hold(Kind kind);
    void release(Kind kind);
    bool isHeld(Kind kind) const { return (heldMask_ & bit(kind)) != 0; }

    // True while a handler runs.
    bool busy() const { return depth_ > 0; }
    // Counts the handlers started while none was running: it changes from one event to the next
    // and stays the same for everything one event does.
    std::uint64_t turn() const { return turn_; }
    std::size_t queued() const { return queue_.size(); }

    // After the program has ended no further event is delivered.
    void shutDown();
    bool isShutDown() const { return shutDown_; }

    // Reports a handler that escaped with an exception; by default it is written to stderr.
    std::function<void(const char* what)> onEscapedException;

private:
    static constexpr std::uint8_t bit(Kind k) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(k)); }
    void run(const std::function<void()>& handler);
    void drain();

    int depth_ = 0;
    std::uint64_t turn_ = 0;
    std::uint8_t heldMask_ = 0;
    bool shutDown_ = false;
    bool draining_ = false;
    std::deque<std::pair<Kind, std::function<void()>>> queue_;
};

}  // namespace nms::ports
