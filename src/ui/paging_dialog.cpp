#include "ui/paging_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/bindings.h"
#include "ui/icons.h"

namespace nms::ui {

PagingDialog::PagingDialog(const Model& model, ports::EventGate& gate, QWidget* parent)
    : FormDialog(model.form, gate, parent) {
    setObjectName(QStringLiteral("frmPaging"));
    auto* pleaseWait = new QLabel(this);
    lblTimeout_ = new QLabel(this);
    auto* seconds = new QLabel(this);
    cmdChangeTimeout_ = new QPushButton(this);
    lblTimeout_->setObjectName(QStringLiteral("lblTimeout"));
    cmdChangeTimeout_->setObjectName(QStringLiteral("cmdChangeTimeout"));
    cmdChangeTimeout_->setAutoDefault(false);

    QFont bold = lblTimeout_->font();
    bold.setBold(true);
    lblTimeout_->setFont(bold);

    auto* picture = new QLabel(this);
    picture->setPixmap(pictureIcon(1).pixmap(32, 32));

    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);  // no known end: the scan listens until its timer ends it
    busy->setTextVisible(false);
    busy->setMaximumHeight(8);

    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    line->addWidget(pleaseWait);
    line->addWidget(lblTimeout_);
    line->addWidget(seconds);
    line->addStretch();

    auto* text = new QVBoxLayout;
    text->addLayout(line);
    text->addWidget(busy);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdChangeTimeout_);
    if (model.cmdCancel) {
        auto* cancel = new QPushButton(this);
        cancel->setObjectName(QStringLiteral("cmdCancel"));
        cancel->setAutoDefault(false);
        buttons->addWidget(cancel);
        bind(cancel, *model.cmdCancel, gate);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(12);
    layout->addLayout(top);
    layout->addLayout(buttons);

    bind(pleaseWait, model.lblPleaseWait);
    bind(lblTimeout_, model.lblTimeout);
    bind(seconds, model.lblSeconds);
    bind(cmdChangeTimeout_, model.cmdChangeTimeout, gate);
    // "Change..." has no access key of its own.
    addShortcut(cmdChangeTimeout_, QKeySequence(Qt::CTRL | Qt::Key_T));
    setMinimumWidth(380);
    mirrorForm();
}

}  // namespace nms::ui
