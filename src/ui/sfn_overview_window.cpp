#include "ui/sfn_overview_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "plant/sfn_overview.h"
#include "plant/sfn_overview_view.h"
#include "platform/qt_text.h"
#include "ports/event_gate.h"
#include "sfn/delay_chart.h"
#include "ui/chart_export.h"
#include "ui/plain_text.h"
#include "ui/sfn_group_plot.h"
#include "ui/widget_names.h"

namespace nms::ui {

namespace {

QPushButton* button(const QString& text, const char* name, QWidget* owner) {
    auto* b = new QPushButton(text, owner);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

// The figures, but not the latency summary's three in one cell nor the servo's state.
bool rightAligned(int column) {
    const auto& heading = plant::overviewColumns()[static_cast<std::size_t>(column)];
    return column >= 2 && heading != "Latency summary (MIN / AVG / MAX)" && heading != "Servo" &&
           heading != "State";
}

}  // namespace

SfnOverviewWindow::SfnOverviewWindow(plant::SfnOverview& model, ports::EventGate& gate,
                                     QWidget* parent)
    : QDialog(parent),
      model_(model),
      gate_(gate),
      self_(std::make_shared<SfnOverviewWindow*>(this)) {
    setObjectName(QStringLiteral("frmSfnOverview"));
    setWindowTitle(tr("SFN overview"));

    auto* split = makeGroupsAndPlot();
    makeControls();
    layOut(split);
    connectControls();

    model_.onChanged = [this, alive = std::weak_ptr<SfnOverviewWindow*>(self_)] {
        if (!alive.expired()) refreshSoon();
    };
    resize(1100, 720);
    reload();
}

// A tab to a group, over the plot of the chosen group.
QSplitter* SfnOverviewWindow::makeGroupsAndPlot() {
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("groups"));
    plot_ = new SfnGroupPlot(this);
    plot_->setObjectName(QStringLiteral("groupPlot"));
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(tabs_);
    split->addWidget(plot_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    return split;
}

void SfnOverviewWindow::makeControls() {
    seconds_ = new QSpinBox(this);
    seconds_->setObjectName(QStringLiteral("seconds"));
    seconds_->setRange(1, 3600);
    seconds_->setValue(plant::SfnOverview::kDefaultSeconds);
    seconds_->setSuffix(tr(" s"));
    margin_ = new QSpinBox(this);
    margin_->setObjectName(QStringLiteral("marginUs"));
    margin_->setRange(0, 2500);
    margin_->setValue(static_cast<int>(plant::kDefaultMarginNs / 1000));
    margin_->setSuffix(tr(" µs"));
    measure_ = button(tr("&Measure"), "cmdMeasure", this);
    cancel_ = button(tr("&Cancel"), "cmdCancel", this);
    align_ = button(tr("A&lign"), "cmdAlign", this);
    apply_ = button(tr("A&pply..."), "cmdApply", this);
    export_ = button(tr("&Export..."), "cmdExport", this);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 100);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setTextFormat(Qt::PlainText);  // it names streams, decoders and files
    status_->setWordWrap(true);
}

// The measuring row, the aligning row, the groups and the status line, top to bottom.
void SfnOverviewWindow::layOut(QSplitter* split) {
    auto* measureRow = new QHBoxLayout;
    measureRow->addWidget(captionFor(seconds_, tr("Measure &for"), this));
    measureRow->addWidget(seconds_);
    measureRow->addWidget(measure_);
    measureRow->addWidget(progress_, 1);
    measureRow->addWidget(cancel_);
    auto* alignRow = new QHBoxLayout;
    alignRow->addWidget(captionFor(margin_, tr("Ma&rgin"), this));
    alignRow->addWidget(margin_);
    alignRow->addWidget(align_);
    alignRow->addWidget(apply_);
    alignRow->addStretch();
    alignRow->addWidget(export_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(8);
    layout->addLayout(measureRow);
    layout->addLayout(alignRow);
    layout->addWidget(split, 1);
    layout->addWidget(status_);
}

void SfnOverviewWindow::connectControls() {
    const auto marginNs = [this] { return std::int64_t{margin_->value()} * 1000; };
    connect(measure_, &QPushButton::clicked, this, [this] {
        const auto g = currentGroup();
        const int s = seconds_->value();
        operatorDoes([this, g, s] { model_.measure(g, s); });
    });
    connect(cancel_, &QPushButton::clicked, this,
            [this] { operatorDoes([this] { model_.cancel(); }); });
    connect(align_, &QPushButton::clicked, this, [this, marginNs] {
        const auto g = currentGroup();
        operatorDoes([this, g, m = marginNs()] { model_.align(g, m); });
    });
    connect(apply_, &QPushButton::clicked, this, [this] {
        const auto g = currentGroup();
        operatorDoes([this, g] { model_.apply(g); });
    });
    connect(export_, &QPushButton::clicked, this, [this] { exportGroup(); });
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { refresh(); });
}

SfnOverviewWindow::~SfnOverviewWindow() {
    model_.onChanged = nullptr;
}

void SfnOverviewWindow::operatorDoes(std::function<void()> action) {
    gate_.dispatch(ports::EventGate::Kind::Operator, std::move(action));
    refresh();
}

void SfnOverviewWindow::reload() {
    exportNote_.clear();
    operatorDoes([this] {
        if (!model_.busy()) model_.reload();
    });
    rebuildTabs();
    refresh();
}

std::size_t SfnOverviewWindow::currentGroup() const {
    return tabs_->currentIndex() < 0 ? 0 : static_cast<std::size_t>(tabs_->currentIndex());
}

QTableWidget* SfnOverviewWindow::table(int group) const {
    auto* page = tabs_->widget(group);
    return page ? page->findChild<QTableWidget*>() : nullptr;
}

void SfnOverviewWindow::rebuildTabs() {
    // The tabs come and go without each change redrawing a window half rebuilt.
    const QSignalBlocker quiet(tabs_);
    while (tabs_->count() > 0) {
        QWidget* page = tabs_->widget(0);
        tabs_->removeTab(0);
        delete page;
    }
    QStringList headings;
    for (const auto& c : plant::overviewColumns()) headings << platform::fromModel(c);
    for (const auto& g : model_.groups()) {
        auto* page = new QWidget;
        auto* summary = new QLabel(page);
        summary->setObjectName(QStringLiteral("lblSummary"));
        summary->setTextFormat(Qt::PlainText);
        summary->setWordWrap(true);
        auto* table = new QTableWidget(static_cast<int>(g.decoders.size()),
                                       static_cast<int>(headings.size()), page);
        table->setObjectName(QStringLiteral("decoders"));
        table->setHorizontalHeaderLabels(headings);
        const auto& tips = plant::overviewColumnTips();
        for (int c = 0; c < table->columnCount(); ++c)
            table->horizontalHeaderItem(c)->setToolTip(
                plainToolTip(platform::fromModel(tips[static_cast<std::size_t>(c)])));
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->verticalHeader()->setVisible(false);
        table->horizontalHeader()->setStretchLastSection(true);
        auto* column = new QVBoxLayout(page);
        column->setContentsMargins(6, 6, 6, 6);
        column->addWidget(summary);
        column->addWidget(table, 1);
        tabs_->addTab(page, tr("Stream %1").arg(platform::fromModel(g.stream)));
    }
    plottedGroup_ = -1;
}

void SfnOverviewWindow::refreshSoon() {
    // Replies come one after another; the window draws once for all that arrived meanwhile.
    refresh_.ask(this, [this] { refresh(); });
}

void SfnOverviewWindow::refresh() {
    if (tabs_->count() != static_cast<int>(model_.groups().size())) rebuildTabs();
    for (int gi = 0; gi < tabs_->count(); ++gi) {
        const auto& g = model_.groups()[static_cast<std::size_t>(gi)];
        auto* t = table(gi);
        const auto rows = plant::overviewRows(g);
        for (int r = 0; r < static_cast<int>(rows.size()) && r < t->rowCount(); ++r) {
            const auto& row = rows[static_cast<std::size_t>(r)];
            for (int c = 0; c < static_cast<int>(row.cells.size()); ++c) {
                auto* item = t->item(r, c);
                if (!item) {
                    item = new QTableWidgetItem;
                    if (rightAligned(c)) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                    t->setItem(r, c, item);
                }
                item->setText(platform::fromModel(row.cells[static_cast<std::size_t>(c)]));
                const bool warn = row.outOfRange || row.problem || (g.measured && !row.answered);
                item->setForeground(warn ? QBrush(QColor(190, 40, 30)) : QBrush());
            }
        }
        if (auto* summary = tabs_->widget(gi)->findChild<QLabel*>(QStringLiteral("lblSummary")))
            summary->setText(platform::fromModel(plant::overviewSummary(g)));
    }
    if (model_.groups().empty())
        status_->setText(tr("The database holds no SFN decoder (a decoder with SFN on)."));
    else if (!exportNote_.isEmpty() && model_.status() == statusAtExport_)
        status_->setText(exportNote_);
    else
        status_->setText(platform::fromModel(model_.status()));

    const auto g = currentGroup();
    const auto can = plant::overviewActions(model_, g);
    measure_->setEnabled(can.measure);
    align_->setEnabled(can.align);
    apply_->setEnabled(can.apply);
    cancel_->setEnabled(can.cancel);
    export_->setEnabled(can.exportData);
    seconds_->setEnabled(!model_.busy());
    if (g >= model_.groups().size()) return;
    const auto& group = model_.groups()[g];
    // A finished measurement stays at its end, not back at nothing.
    progress_->setValue(model_.busy() ? model_.progress() : (group.measured ? 100 : 0));
    const std::string key = std::to_string(static_cast<int>(model_.state())) + "/" +
                            std::to_string(group.measured) + std::to_string(group.aligned) +
                            std::to_string(group.applied) + "/" +
                            std::to_string(group.alignment.targetNs) + "/" +
                            std::to_string(group.spreadAchievedNs.value_or(-1));
    if (plottedGroup_ != static_cast<int>(g) || plottedKey_ != key) {
        plottedGroup_ = static_cast<int>(g);
        plottedKey_ = key;
        plot_->show(plant::overviewPlot(group));
        // Figures arrive at the end of a measurement: the columns make room for them then.
        if (!model_.busy()) table(static_cast<int>(g))->resizeColumnsToContents();
    }
}

void SfnOverviewWindow::exportGroup() {
    const auto g = currentGroup();
    if (g >= model_.groups().size()) return;
    // The stream chosen, not its place: the groups may be read again before the export runs
    // (the event waits behind another), or while the save dialog is open.
    operatorDoes([this, stream = model_.groups()[g].stream] {
        auto& context = model_.context();
        const auto groupOf = [this, &stream]() -> const plant::SfnOverview::Group* {
            for (const auto& group : model_.groups())
                if (group.stream == stream) return &group;
            return nullptr;
        };
        if (!groupOf()) return;
        const auto now = context.clock().unixTimeMs();
        ChartExport what;
        what.dialogTitle = "Export the SFN group";
        what.baseName = sfn::exportBaseName("sfn-overview", stream, now);
        what.title = "SFN group of stream " + stream + ", exported " + sfn::utcTimeText(now);
        // The group as it is once the operator chose the file; gone, nothing is written.
        what.csv = [groupOf]() -> std::optional<std::string> {
            const auto* group = groupOf();
            if (!group) return std::nullopt;
            return plant::overviewCsv(*group);
        };
        const QString said = exportChart(context, plot_, what);
        if (said.isEmpty()) return;
        exportNote_ = said;
        statusAtExport_ = model_.status();
    });
}

void SfnOverviewWindow::hideEvent(QHideEvent* event) {
    // A measurement does not outlive its window (closed, or put away with Escape): the port goes
    // back to the plant monitor.
    if (model_.busy()) operatorDoes([this] { model_.cancel(); });
    QDialog::hideEvent(event);
}

}  // namespace nms::ui
