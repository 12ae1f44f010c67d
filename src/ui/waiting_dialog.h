#pragma once

#include "ui/form_dialog.h"

class QLabel;

namespace nms::ui {

// frmWaiting: the MAC wait after an element answered, one label and a busy bar.
class WaitingDialog : public FormDialog {
public:
    WaitingDialog(ports::Form& form, ports::Label& lblWaitTimeout, ports::EventGate& gate, QWidget* parent = nullptr);

    QLabel* lblWaitTimeout() const { return lblWaitTimeout_; }

private:
    QLabel* lblWaitTimeout_;
};

}  // namespace nms::ui
