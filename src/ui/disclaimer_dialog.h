#pragma once

#include "ui/form_dialog.h"

namespace nms::ui {

// frmDisclaimer: the important notice, with the "do not show again" box and the close button.
class DisclaimerDialog : public FormDialog {
public:
    struct Model {
        ports::Form& form;
        ports::Label& Label1;
        ports::Label& Label2;
        ports::Label& Label3;
        ports::CheckBox& chkAgree;
        ports::Button& cmdClose;
    };
    DisclaimerDialog(const Model& model, ports::EventGate& gate, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace nms::ui
