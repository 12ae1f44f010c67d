#include "ui/statistics_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt_text.h"
#include "stats/frm_statistics.h"
#include "ui/bindings.h"
#include "ui/widget_names.h"

namespace nms::ui {
StatisticsDialog::StatisticsDialog(stats::frmStatistics& m, ports::EventGate& gate, QWidget* parent)
    : FormDialog(m.form, gate, parent) {
    setObjectName(QStringLiteral("frmStatistics"));
    auto label = [](ports::Label& model, QWidget* owner) { return boundLabel(model, owner); };
    auto value = [](ports::Label& model, QWidget* owner) { return boundFigure(model, owner, 150); };

    auto* frame = boundGroupBox(m.frmStats, this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    int row = 0;
    for (const auto& r : m.figureRows()) {
        grid->addWidget(label(r.caption, frame), row, 0);
        grid->addWidget(value(r.figure, frame), row, 1);
        ++row;
    }

    auto* indicators = new QHBoxLayout;
    indicators->setSpacing(6);
    for (ports::Label* l : {&m.lblAudio, &m.lblClock, &m.lbl1PPS, &m.lblEthernet}) {
        auto* w = label(*l, frame);
        w->setFrameShape(QFrame::Panel);
        w->setFrameShadow(QFrame::Sunken);
        w->setAlignment(Qt::AlignCenter);
        w->setMinimumWidth(64);
        w->setAutoFillBackground(true);
        indicators->addWidget(w);
    }
    indicators->addStretch();
    grid->addLayout(indicators, row++, 0, 1, 2);
    grid->addWidget(label(m.lblCapOMAlarmsList, frame), row, 0);
    grid->addWidget(value(m.lblOMAlarmsList, frame), row++, 1);
    frame->setLayout(grid);

    auto* status = label(m.lblStatus, this);
    status->setWordWrap(true);
    auto* autoRefresh = named(new QCheckBox(this), m.chkAutoRefresh);
    bind(autoRefresh, m.chkAutoRefresh, gate);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(autoRefresh);
    buttons->addStretch();
    for (ports::Button* b : {&m.cmdCopy, &m.cmdResetStats, &m.cmdRefreshStats}) {
        auto* w = named(new QPushButton(this), *b);
        w->setAutoDefault(false);
        bind(w, *b, gate);
        buttons->addWidget(w);
        // "Copy" has no access key of its own: the usual copy keys press it.
        if (b == &m.cmdCopy) addShortcut(w, QKeySequence::Copy);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(10);
    layout->addWidget(frame);
    layout->addWidget(status);
    layout->addLayout(buttons);

    m.onCopy = [](const std::string& text) {
        QApplication::clipboard()->setText(platform::fromModel(text));
    };
    setMinimumWidth(420);
    mirrorForm();
}

}  // namespace nms::ui
