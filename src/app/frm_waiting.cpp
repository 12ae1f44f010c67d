#include "app/frm_waiting.h"

#include "app/frm_main.h"

namespace nms::app {

frmWaiting::frmWaiting(frmMain& main)
    : timerGetMAC(main.env().scheduler, main.env().gate, 1000), main_(main) {
    form.setCaption("Waiting remote response...");
    lblWaitTimeout.setCaption("Please wait while retrieving response from remote element....");
    timerGetMAC.onTimer = [this] { timerGetMAC_Timer(); };
    form.onOperatorClose = [this] { closeByOperator(); };
}

void frmWaiting::open(std::function<void()> closed) {
    closed_ = std::move(closed);
    form.show();
    timerGetMAC.setEnabled(true);
}

void frmWaiting::timerGetMAC_Timer() {
    ++main_.getMACTimeoutCount;
    main_.mySilentPing(main_.UDP_Response_IP);
    if (main_.getMACTimeoutCount > main_.getMACTimeout) {
        timerGetMAC.setEnabled(false);
        main_.getMACTimeoutCount = 0;
        form.hide();
    }
    // The look-up runs on the tick that passed the limit too, so a wait makes at most 21.
    std::string mac;
    if (main_.LookupMAC(main_.UDP_Response_IP, mac, ":")) {
        timerGetMAC.setEnabled(false);
        main_.getMACTimeoutCount = 0;
        form.hide();
    }
    if (!form.shown()) close();
}

void frmWaiting::closeByOperator() {
    if (!form.shown()) return;
    timerGetMAC.setEnabled(false);
    main_.getMACTimeoutCount = 0;
    form.hide();
    close();
}

void frmWaiting::close() {
    if (auto done = std::move(closed_)) done();
}

}  // namespace nms::app
