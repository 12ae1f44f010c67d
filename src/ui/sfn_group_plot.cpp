#include "ui/sfn_group_plot.h"

#include <QBarCategoryAxis>
#include <QBoxPlotSeries>
#include <QBoxSet>
#include <QChart>
#include <QChartView>
#include <QLegend>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <vector>

#include "plant/sfn_overview_view.h"
#include "platform/qt_text.h"
#include "sfn/delay_chart.h"
#include "ui/delay_plot.h"

namespace nms::ui {
namespace {

constexpr double kNsPerUs = 1000.0;

QBoxSet* boxOf(const plant::OverviewBand& b, const QString& label) {
    // The band has no quartiles: its box spans minimum to maximum, the line in it the average.
    auto* set = new QBoxSet(label);
    set->setValue(QBoxSet::LowerExtreme, b.minNs / kNsPerUs);
    set->setValue(QBoxSet::LowerQuartile, b.minNs / kNsPerUs);
    set->setValue(QBoxSet::Median, b.avgNs / kNsPerUs);
    set->setValue(QBoxSet::UpperQuartile, b.maxNs / kNsPerUs);
    set->setValue(QBoxSet::UpperExtreme, b.maxNs / kNsPerUs);
    return set;
}

}  // namespace

SfnGroupPlot::SfnGroupPlot(QWidget* parent) : QWidget(parent) {
    view_ = new QChartView(new QChart, this);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumHeight(220);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void SfnGroupPlot::show(const plant::OverviewPlot& plot) {
    auto* chart = new QChart;
    chart->setTitle(tr("Latency summary of each decoder: MIN … MAX, the top is its total"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    numbersInLocale(chart);
    const QPalette p = palette();

    auto* before = new QBoxPlotSeries;
    before->setName(tr("measured (µs)"));
    before->setBrush(QColor(70, 130, 200, 150));
    auto* after = new QBoxPlotSeries;
    after->setName(plot.afterMeasured ? tr("measured after the apply (µs)")
                                      : tr("after Align, proposed (µs)"));
    after->setBrush(QColor(60, 170, 90, 150));
    QStringList names;
    double low = 0, high = 0;
    bool any = false;
    auto extend = [&](const plant::OverviewBand& b) {
        low = any ? std::min(low, b.minNs / kNsPerUs) : b.minNs / kNsPerUs;
        high = any ? std::max(high, b.maxNs / kNsPerUs) : b.maxNs / kNsPerUs;
        any = true;
    };
    for (const auto& d : plot.decoders) {
        const QString name = platform::fromModel(d.name);
        // The category axis draws its labels as markup.
        names << name.toHtmlEscaped();
        // A decoder without figures keeps its place, empty: it is not guessed.
        before->append(d.before ? boxOf(*d.before, name) : new QBoxSet(name));
        after->append(d.after ? boxOf(*d.after, name) : new QBoxSet(name));
        if (d.before) extend(*d.before);
        if (d.after) extend(*d.after);
    }
    // Only what the group has: nothing before a measurement, no "after" before Align, no target
    // line without a target; an empty series still draws its sets as lines at zero.
    std::vector<QAbstractSeries*> shown;
    for (auto* series : {before, after}) {
        bool filled = false;
        for (const auto& d : plot.decoders)
            filled = filled || (series == before ? d.before : d.after).has_value();
        if (filled)
            shown.push_back(series);
        else
            delete series;
    }
    if (plot.targetNs) {
        auto* target = new QLineSeries;
        target->setName(tr("target (µs)"));
        target->setPen(QPen(QColor(200, 60, 40), 2, Qt::DashLine));
        const double t = static_cast<double>(*plot.targetNs) / kNsPerUs;
        target->append(-0.5, t);
        target->append(static_cast<double>(std::max<qsizetype>(names.size(), 1)) - 0.5, t);
        low = any ? std::min(low, t) : t;
        high = any ? std::max(high, t) : t;
        any = true;
        shown.push_back(target);
    }
    for (auto* s : shown) chart->addSeries(s);

    auto* decoders = new QBarCategoryAxis;
    decoders->append(names.isEmpty() ? QStringList{QString()} : names);
    auto* delay = new QValueAxis;
    delay->setTitleText(tr("latency summary (µs)"));
    if (any) {
        const double pad = std::max(0.5, (high - low) * 0.04);
        const auto ticks = sfn::niceTicks(low - pad, high + pad);
        delay->setRange(ticks.first, ticks.last);
        delay->setTickCount(ticks.count);
        delay->setLabelFormat(QStringLiteral("%.%1f").arg(ticks.decimals));
    }
    if (shown.empty()) {
        // Not measured yet: the title alone, no axes with nothing on them.
        delete decoders;
        delete delay;
    } else {
        chart->addAxis(decoders, Qt::AlignBottom);
        chart->addAxis(delay, Qt::AlignLeft);
        for (QAbstractSeries* s : shown) {
            s->attachAxis(decoders);
            s->attachAxis(delay);
        }
    }
    paintChart(chart, p);
    QChart* old = view_->chart();
    view_->setChart(chart);
    delete old;
}

}  // namespace nms::ui
