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
#include <cstdint>
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

// The span of the latency axis: every band drawn, and the target.
struct Span {
    double low = 0, high = 0;
    bool any = false;
    void extend(double from, double to) {
        low = any ? std::min(low, from) : from;
        high = any ? std::max(high, to) : to;
        any = true;
    }
};

// A box to a decoder, measured and after the alignment, and the decoders' names in order. Only
// what the group has: nothing before a measurement, no "after" before Align; an empty series
// still draws its sets as lines at zero, so it is left out.
std::vector<QAbstractSeries*> bandSeries(const plant::OverviewPlot& plot, QStringList& names,
                                         Span& span) {
    auto* before = new QBoxPlotSeries;
    before->setName(SfnGroupPlot::tr("measured (µs)"));
    before->setBrush(QColor(70, 130, 200, 150));
    auto* after = new QBoxPlotSeries;
    after->setName(plot.afterMeasured ? SfnGroupPlot::tr("measured after the apply (µs)")
                                      : SfnGroupPlot::tr("after Align, proposed (µs)"));
    after->setBrush(QColor(60, 170, 90, 150));
    auto extend = [&](const plant::OverviewBand& b) {
        span.extend(b.minNs / kNsPerUs, b.maxNs / kNsPerUs);
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
    return shown;
}

// The line every total should end on, across all the decoders.
QLineSeries* targetLine(std::int64_t targetNs, qsizetype decoders, Span& span) {
    auto* target = new QLineSeries;
    target->setName(SfnGroupPlot::tr("target (µs)"));
    target->setPen(QPen(QColor(200, 60, 40), 2, Qt::DashLine));
    const double t = static_cast<double>(targetNs) / kNsPerUs;
    target->append(-0.5, t);
    target->append(static_cast<double>(std::max<qsizetype>(decoders, 1)) - 0.5, t);
    span.extend(t, t);
    return target;
}

// The decoders along the bottom and the latency up the side, with room around the span.
void addAxes(QChart* chart, const std::vector<QAbstractSeries*>& shown, const QStringList& names,
             const Span& span) {
    auto* decoders = new QBarCategoryAxis;
    decoders->append(names.isEmpty() ? QStringList{QString()} : names);
    auto* delay = new QValueAxis;
    delay->setTitleText(SfnGroupPlot::tr("latency summary (µs)"));
    if (span.any) {
        const double pad = std::max(0.5, (span.high - span.low) * 0.04);
        const auto ticks = sfn::niceTicks(span.low - pad, span.high + pad);
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

    QStringList names;
    Span span;
    std::vector<QAbstractSeries*> shown = bandSeries(plot, names, span);
    // No target line without a target.
    if (plot.targetNs) shown.push_back(targetLine(*plot.targetNs, names.size(), span));
    for (auto* s : shown) chart->addSeries(s);
    addAxes(chart, shown, names, span);
    paintChart(chart, p);
    QChart* old = view_->chart();
    view_->setChart(chart);
    delete old;
}

}  // namespace nms::ui
