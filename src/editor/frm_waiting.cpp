#include "editor/frm_waiting.h"

#include <utility>

namespace nms::editor {

frmWaiting::frmWaiting(ports::Scheduler& scheduler, ports::EventGate& gate, Steps steps)
    : timerGetMAC(scheduler, gate, 1000), steps_(std::move(steps)) {
    form.setCaption("Waiting remote response...");
    lblWaitTimeout.setCaption("Please wait while retrieving response from remote element....");
    timerGetMAC.onTimer = [this] { timerGetMAC_Timer(); };
    form.onOperatorClose = [this] { closeByOperator(); };
}

void frmWaiting::open(std::uint8_t timeout, std::function<void()> closed) {
    getMACTimeout_ = timeout;
    closed_ = std::move(closed);
    form.show();
    timerGetMAC.setEnabled(true);
}

void frmWaiting::timerGetMAC_Timer() {
    ++getMACTimeoutCount_;
    steps_.ping();
    if (getMACTimeoutCount_ > getMACTimeout_) {
        timerGetMAC.setEnabled(false);
        getMACTimeoutCount_ = 0;
        form.hide();
    }
    // The look-up runs on the tick that passed the limit too, so a wait makes at most 21.
    if (steps_.lookUpMac()) {
        timerGetMAC.setEnabled(false);
        getMACTimeoutCount_ = 0;
        form.hide();
    }
    if (!form.shown()) close();
}

void frmWaiting::closeByOperator() {
    if (!form.shown()) return;
    timerGetMAC.setEnabled(false);
    getMACTimeoutCount_ = 0;
    form.hide();
    close();
}

void frmWaiting::close() {
    if (auto done = std::move(closed_)) done();
}

}  // namespace nms::editor
