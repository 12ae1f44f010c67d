// The save flow: the checks in front of a configuration send, the confirmation, the send.

#include "app/frm_main.h"

namespace nms::app {

void frmMain::SaveConfiguration() {
    if (panel.lblElementMAC.caption() == "-")
        msgBox("No Network Element selected!\rCannot save.", ports::MessageIcon::Critical, ports::MessageButtons::Ok,
               ports::Answer::Ok, "Error!");
}

void frmMain::SendConfiguration() {}

}  // namespace nms::app
