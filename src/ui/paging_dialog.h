#pragma once

#include "ui/form_dialog.h"

class QLabel;
class QPushButton;

namespace nms::ui {

// frmPaging: "Please wait <seconds> seconds while paging the network." with the button that
// changes the scan time.
class PagingDialog : public FormDialog {
public:
    struct Model {
        ports::Form& form;
        ports::Label& lblPleaseWait;
        ports::Label& lblTimeout;
        ports::Label& lblSeconds;
        ports::Button& cmdChangeTimeout;
        // A scan of sites can be cancelled; the broadcast's window hides it.
        ports::Button* cmdCancel = nullptr;
    };
    PagingDialog(const Model& model, ports::EventGate& gate, QWidget* parent = nullptr);

    QLabel* lblTimeout() const { return lblTimeout_; }
    QPushButton* cmdChangeTimeout() const { return cmdChangeTimeout_; }

private:
    QLabel* lblTimeout_;
    QPushButton* cmdChangeTimeout_;
};

}  // namespace nms::ui
