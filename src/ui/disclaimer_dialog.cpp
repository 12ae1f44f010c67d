#include "ui/disclaimer_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/bindings.h"

namespace nms::ui {

DisclaimerDialog::DisclaimerDialog(const Model& model, ports::EventGate& gate, QWidget* parent)
    : FormDialog(model.form, gate, parent) {
    setObjectName(QStringLiteral("frmDisclaimer"));
    auto* heading = new QLabel(this);
    QFont big = heading->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    heading->setFont(big);
    auto* text2 = new QLabel(this);
    auto* text3 = new QLabel(this);
    for (QLabel* label : {text2, text3}) label->setWordWrap(true);
    auto* agree = new QCheckBox(this);
    auto* close = new QPushButton(this);
    close->setDefault(true);

    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(10);
    texts->addWidget(heading);
    texts->addWidget(text2);
    texts->addWidget(text3);
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    // The box's long caption does not wrap: it has a line of its own, the button the next, so
    // that a narrow or scaled screen does not cut it.
    auto* bottom = new QVBoxLayout;
    bottom->setSpacing(10);
    bottom->addWidget(agree);
    bottom->addWidget(close, 0, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addWidget(rule);
    layout->addLayout(bottom);

    bind(heading, model.Label1);
    bind(text2, model.Label2);
    bind(text3, model.Label3);
    bind(agree, model.chkAgree, gate);
    bind(close, model.cmdClose, gate);
    setMinimumWidth(560);
    mirrorForm();
}

void DisclaimerDialog::resizeEvent(QResizeEvent* event) {
    FormDialog::resizeEvent(event);
    // The wrapped paragraphs need their height at the width the window got, which a screen
    // narrower than the window's wish decides: never less, or their lines are cut.
    if (auto* l = layout(); l && l->hasHeightForWidth()) {
        const int needed = l->totalHeightForWidth(width());
        if (minimumHeight() != needed) setMinimumHeight(needed);
    }
}

}  // namespace nms::ui
