#include "app/frm_disclaimer.h"

#include "station/settings_keys.h"

namespace nms::app {

frmDisclaimer::frmDisclaimer(ports::SettingsStore& settings) : settings_(settings) {
    form.setCaption("Vantrelo NMS");
    Label1.setCaption("IMPORTANT NOTICE!");
    Label2.setCaption(
        "Since NMS version 3.4.2, we made many significant changes. DO NOT use NMS v.3.4.2 to manage Vantrelo "
        "equipment with older firmware, or they will become unusable.");
    Label3.setCaption(
        "If you are not sure which version your Vantrelo equipment has, please consult your local dealer, or "
        "contact our support at support@kestrova-broadcast.example");
    chkAgree.setCaption("I have read and understood all the above. Do not show this notification again.");
    cmdClose.setCaption("&Close");
    chkAgree.onClick = [this](ports::Origin) { chkAgree_Click(); };
    cmdClose.onClick = [this] { cmdClose_Click(); };
    form.onOperatorClose = [this] { cmdClose_Click(); };
}

void frmDisclaimer::open(std::function<void()> closed) {
    closed_ = std::move(closed);
    chkAgree.setValue(0);
    form.show();
}

void frmDisclaimer::chkAgree_Click() {
    settings_.set(station::settings::kApp, station::settings::kNoticeAccepted.section, station::settings::kNoticeAccepted.name, std::to_string(chkAgree.value()));
}

void frmDisclaimer::cmdClose_Click() {
    if (!form.shown()) return;
    form.hide();
    if (auto done = std::move(closed_)) done();
}

}  // namespace nms::app
