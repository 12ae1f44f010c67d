#pragma once

#include <cstdint>
#include <functional>

#include "ports/controls.h"

namespace nms::app {

class frmMain;

// The MAC wait: after an element answered a configuration, the station looks up the element's
// MAC address once a second, pinging it before each look-up, for at most about 21 seconds. A
// state driven by its timer; the window is modal over the main window while it lasts.
class frmWaiting {
public:
    explicit frmWaiting(frmMain& main);

    ports::Form form{"frmWaiting"};
    ports::Label lblWaitTimeout{"lblWaitTimeout"};
    ports::Timer timerGetMAC;

    // Form_Load: starts the timer. `closed` runs once when the window has closed.
    void open(std::function<void()> closed);
    void timerGetMAC_Timer();
    // The operator closed the window by hand: the wait ends as if it had timed out.
    void closeByOperator();
    bool isOpen() const { return form.shown(); }

private:
    void close();
    frmMain& main_;
    std::function<void()> closed_;
};

}  // namespace nms::app
