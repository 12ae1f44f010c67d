#include "ui/waiting_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "ui/bindings.h"

namespace nms::ui {

WaitingDialog::WaitingDialog(ports::Form& form, ports::Label& lblWaitTimeout, ports::EventGate& gate, QWidget* parent)
    : FormDialog(form, gate, parent) {
    setObjectName(QStringLiteral("frmWaiting"));
    lblWaitTimeout_ = new QLabel(this);
    lblWaitTimeout_->setObjectName(QStringLiteral("lblWaitTimeout"));
    lblWaitTimeout_->setWordWrap(true);

    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setMaximumHeight(8);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(lblWaitTimeout_);
    layout->addWidget(busy);

    bind(lblWaitTimeout_, lblWaitTimeout);
    setMinimumWidth(420);
    mirrorForm();
}

}  // namespace nms::ui
