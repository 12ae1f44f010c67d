#pragma once

#include <functional>

#include "ports/controls.h"
#include "ports/settings.h"

namespace nms::app {

// The important notice shown at start-up until the operator ticks "do not show again".
class frmDisclaimer {
public:
    explicit frmDisclaimer(ports::SettingsStore& settings);

    ports::Form form{"frmDisclaimer"};
    ports::Label Label1{"Label1"};
    ports::Label Label2{"Label2"};
    ports::Label Label3{"Label3"};
    ports::CheckBox chkAgree{"chkAgree"};
    ports::Button cmdClose{"cmdClose"};

    // Shows the window; `closed` runs once it has been closed (by the button or by hand).
    void open(std::function<void()> closed);
    void chkAgree_Click();
    void cmdClose_Click();

private:
    ports::SettingsStore& settings_;
    std::function<void()> closed_;
};

}  // namespace nms::app
