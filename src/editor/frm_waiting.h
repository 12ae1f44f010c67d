#pragma once

#include <cstdint>
#include <functional>

#include "ports/controls.h"
#include "ports/event_gate.h"
#include "ports/scheduler.h"

namespace nms::editor {

// The MAC wait: after an element answered a configuration, the station looks up the element's
// MAC address once a second, pinging it before each look-up, for at most about 21 seconds. A
// state driven by its timer; the window is modal over the main window while it lasts.
class frmWaiting {
public:
    // What each tick does: ping the element that answered, then look its MAC address up (true
    // once it is found).
    struct Steps {
        std::function<void()> ping;
        std::function<bool()> lookUpMac;
    };
    frmWaiting(ports::Scheduler& scheduler, ports::EventGate& gate, Steps steps);

    ports::Form form{"frmWaiting"};
    ports::Label lblWaitTimeout{"lblWaitTimeout"};
    ports::Timer timerGetMAC;

    // Form_Load: starts the timer for at most `timeout` ticks after the first. `closed` runs once
    // when the window has closed.
    void open(std::uint8_t timeout, std::function<void()> closed);
    void timerGetMAC_Timer();
    // The operator closed the window by hand: the wait ends as if it had timed out.
    void closeByOperator();
    bool isOpen() const { return form.shown(); }
    // The ticks of the wait in progress (0 when none).
    std::uint8_t getMACTimeoutCount() const { return getMACTimeoutCount_; }

private:
    void close();
    Steps steps_;
    std::uint8_t getMACTimeout_ = 0;
    std::uint8_t getMACTimeoutCount_ = 0;
    std::function<void()> closed_;
};

}  // namespace nms::editor
