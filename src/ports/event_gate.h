#pragma once

#include <array>
#include <cstddef>
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
//
// What waits in the queue is bounded per kind: a box may stay open for hours while a host on the
// segment sends thousands of datagrams a second. Timers coalesce their own ticks and an operator
// is slow, so by default only datagrams have a limit.
class EventGate {
public:
    enum class Kind : std::uint8_t { Datagram, Timer, Operator, Posted };
    static constexpr std::size_t kKinds = 4;
    // Datagrams that may wait at once; a further one is dropped and counted.
    static constexpr std::size_t kDatagramQueueLimit = 64;

    EventGate();

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
    std::size_t queued(Kind kind) const { return queuedOf_[index(kind)]; }

    // At most `limit` events of this kind wait at once (0: no limit).
    void limitQueue(Kind kind, std::size_t limit) { limitOf_[index(kind)] = limit; }
    // Events of this kind dropped because the queue held its limit of them.
    std::uint64_t dropped(Kind kind) const { return droppedOf_[index(kind)]; }

    // After the program has ended no further event is delivered.
    void shutDown();
    bool isShutDown() const { return shutDown_; }

    // Reports a handler that escaped with an exception; by default it is written to stderr.
    std::function<void(const char* what)> onEscapedException;

private:
    static constexpr std::uint8_t bit(Kind k) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(k)); }
    static constexpr std::size_t index(Kind k) { return static_cast<std::size_t>(k); }
    void enqueue(Kind kind, std::function<void()> handler);
    void run(const std::function<void()>& handler);
    void drain();

    int depth_ = 0;
    std::uint64_t turn_ = 0;
    std::uint8_t heldMask_ = 0;
    bool shutDown_ = false;
    bool draining_ = false;
    std::deque<std::pair<Kind, std::function<void()>>> queue_;
    std::array<std::size_t, kKinds> queuedOf_{};
    std::array<std::size_t, kKinds> limitOf_{};
    std::array<std::uint64_t, kKinds> droppedOf_{};
};

}  // namespace nms::ports
