#include "ui/adjust_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "platform/qt_text.h"
#include "protocol/text.h"
#include "sfn/delay_chart.h"
#include "sfn/frm_adjust.h"
#include "store/element_record.h"
#include "ui/bindings.h"
#include "ui/chart_export.h"
#include "ui/delay_plot.h"
#include "ui/widget_names.h"

namespace nms::ui {

namespace {

QLabel* caption(ports::Label& model, QWidget* owner) {
    return boundLabel(model, owner);
}
QLabel* figure(ports::Label& model, QWidget* owner) {
    return boundFigure(model, owner, 170);
}

QPushButton* pushButton(ports::Button& model, QWidget* owner, ports::EventGate& gate) {
    auto* w = named(new QPushButton(owner), model);
    w->setAutoDefault(false);
    bind(w, model, gate);
    return w;
}

QCheckBox* checkBox(ports::CheckBox& model, QWidget* owner, ports::EventGate& gate) {
    auto* w = named(new QCheckBox(owner), model);
    bind(w, model, gate);
    return w;
}

}  // namespace

AdjustDialog::AdjustDialog(sfn::frmAdjust& m, ports::EventGate& gate, QWidget* parent)
    : FormDialog(m.form, gate, parent), model_(m) {
    setObjectName(QStringLiteral("frmAdjust"));
    auto* frame1 = buildMeasurements(gate);
    auto* frame2 = buildAdjustments(gate);

    // --- The delay over time
    plot_ = new DelayPlot(m, this);
    plot_->setObjectName(QStringLiteral("delayPlot"));

    auto* bottom = buildStatusRow(gate);
    auto* top = new QHBoxLayout;
    top->addWidget(frame1, 1);
    top->addWidget(frame2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(10);
    layout->addLayout(top);
    layout->addWidget(plot_, 1);
    layout->addLayout(bottom);

    m.onExport = [this] { exportHistory(); };
    resize(900, 640);
    mirrorForm();
}

// The measured delays and latency summaries, a caption and a figure to a row, and under them
// the automatic update, the reset and the refresh.
QGroupBox* AdjustDialog::buildMeasurements(ports::EventGate& gate) {
    auto& m = model_;
    auto* frame1 = boundGroupBox(m.Frame1, this);
    auto* grid = new QGridLayout(frame1);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(5);
    const struct {
        ports::Label& caption;
        ports::Label& figure;
    } rows[] = {{m.lblCapDelayMIN, m.lblCurrentDelayMIN},
                {m.lblCapDelayMAX, m.lblCurrentDelayMAX},
                {m.lblCapDelayAVG, m.lblCurrentDelayAVG},
                {m.lblCapFixedLatencyMAC, m.lblFixedLatencyMAC},
                {m.lblCapFixedLatencyAUDIO, m.lblFixedLatencyAUDIO},
                {m.lblCapDelaySumMIN, m.lblDelaySumMIN},
                {m.lblCapDelaySumMAX, m.lblDelaySumMAX},
                {m.lblCapDelaySumAVG, m.lblDelaySumAVG}};
    int row = 0;
    for (const auto& r : rows) {
        grid->addWidget(caption(r.caption, frame1), row, 0);
        grid->addWidget(figure(r.figure, frame1), row, 1);
        ++row;
    }
    auto* measureButtons = new QHBoxLayout;
    measureButtons->addWidget(checkBox(m.chkAutoUpdate, frame1, gate));
    measureButtons->addStretch();
    measureButtons->addWidget(pushButton(m.cmdResetStats, frame1, gate));
    measureButtons->addWidget(pushButton(m.cmdRefresh, frame1, gate));
    grid->addLayout(measureButtons, row, 0, 1, 2);
    return frame1;
}

// The additional delay with its bar, the servo, and "Set" with the automatic clear.
QGroupBox* AdjustDialog::buildAdjustments(ports::EventGate& gate) {
    auto& m = model_;
    auto* frame2 = boundGroupBox(m.Frame2, this);
    auto* adjust = new QGridLayout(frame2);
    adjust->setHorizontalSpacing(12);
    auto* bar = named(new QScrollBar(Qt::Horizontal, frame2), m.scrlAdditionalDelay);
    bar->setMinimumWidth(220);
    bind(bar, m.scrlAdditionalDelay, gate);
    adjust->addWidget(caption(m.lblCapAdditionalDelay, frame2), 0, 0);
    adjust->addWidget(bar, 0, 1);
    adjust->addWidget(figure(m.lblAdditionalDelay, frame2), 0, 2);
    adjust->addWidget(checkBox(m.chkAutoServo, frame2, gate), 1, 0, 1, 3);
    auto* setRow = new QHBoxLayout;
    setRow->addWidget(checkBox(m.chkAutoClear, frame2, gate));
    setRow->addStretch();
    setRow->addWidget(pushButton(m.cmdSet, frame2, gate));
    adjust->addLayout(setRow, 2, 0, 1, 3);
    return frame2;
}

// The status line and "Export...".
QHBoxLayout* AdjustDialog::buildStatusRow(ports::EventGate& gate) {
    auto* status = caption(model_.lblStatus, this);
    status->setWordWrap(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status, 1);
    auto* exportButton = pushButton(model_.cmdExport, this, gate);
    bottom->addWidget(exportButton);
    // "Export..." has no access key of its own.
    addShortcut(exportButton, QKeySequence(Qt::CTRL | Qt::Key_E));
    return bottom;
}

void AdjustDialog::exportHistory() {
    auto& context = model_.context();
    plot_->refresh();
    const std::string name = protocol::text::trim(context.readShown(store::record::kName, ""));
    // The picture's title gives the time the plot shows; the CSV keeps the whole history.
    const auto shown =
        sfn::delayPlotData(model_.history.points(), DelayPlot::kShownPoints, DelayPlot::kPeriodMs);
    ChartExport what;
    what.dialogTitle = "Export the delay history";
    what.baseName = sfn::exportBaseName("sfn-delay", name, context.clock().unixTimeMs());
    what.title = shown.samples.empty() ? name
                                       : sfn::plotTitle(name, shown.samples.front().unixTimeMs,
                                                        shown.samples.back().unixTimeMs);
    what.csv = [this]() -> std::optional<std::string> { return model_.history.csv(); };
    const QString said = exportChart(context, plot_, what);
    if (!said.isEmpty()) model_.lblStatus.setCaption(platform::toModel(said));
}

}  // namespace nms::ui
