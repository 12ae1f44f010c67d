#include "ui/delay_plot.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QScatterSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

#include "platform/qt_text.h"
#include "sfn/delay_chart.h"
#include "sfn/frm_adjust.h"
#include "ui/icons.h"

namespace nms::ui {

void paintChart(QChart* chart, const QPalette& p) {
    const QColor text = p.color(QPalette::WindowText);
    chart->setBackgroundBrush(darkPalette(p) ? p.color(QPalette::Base).lighter(115)
                                             : QColor(Qt::white));
    chart->setTitleBrush(text);
    chart->legend()->setLabelColor(text);
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsBrush(text);
        axis->setTitleBrush(text);
        QColor grid = text;
        grid.setAlpha(50);
        axis->setGridLineColor(grid);
        axis->setLinePenColor(grid);
    }
}

void numbersInLocale(QChart* chart) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    chart->setLocale(locale);
    chart->setLocalizeNumbers(true);
}

namespace {

// A plot of a few replies still spans this much time, not a sliver.
constexpr std::int64_t kShortestSpanMs = 10000;

const QColor kBand(70, 130, 200);
const QColor kAdditional(200, 110, 20);

}  // namespace

DelayPlot::DelayPlot(sfn::frmAdjust& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* chart = new QChart;
    chart->setTitle(tr("Network latency over time"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    // Room on the right for the label of a tick at the end of the time axis.
    chart->setMargins(QMargins(4, 4, 28, 4));
    numbersInLocale(chart);

    time_ = new QCategoryAxis(chart);
    time_->setTitleText(tr("time (UTC)"));
    time_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    delay_ = new QValueAxis(chart);
    delay_->setTitleText(tr("delay (µs)"));
    chart->addAxis(time_, Qt::AlignBottom);
    chart->addAxis(delay_, Qt::AlignLeft);

    view_ = new QChartView(chart, this);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumHeight(220);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    runs_.push_back(addRun());
    loneMinimum_ = addPoints();
    loneMaximum_ = addPoints();
    loneAverage_ = addPoints();
    loneAdditional_ = addPoints();
    loneSummary_ = addPoints();
    followPalette();

    // The history grows inside the model; a light poll keeps the plot free of any hook there.
    auto* timer = new QTimer(this);
    timer->setInterval(250);
    connect(timer, &QTimer::timeout, this, [this] { refresh(); });
    timer->start();
    refresh();
}

QChart* DelayPlot::chart() const {
    return view_->chart();
}

void DelayPlot::addToChart(QAbstractSeries* series, bool inLegend) {
    QChart* chart = view_->chart();
    chart->addSeries(series);
    series->attachAxis(time_);
    series->attachAxis(delay_);
    // One entry per figure, however many pieces its line is broken into.
    for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(inLegend);
}

DelayPlot::Run DelayPlot::addRun() {
    const bool first = runs_.empty();
    Run r;
    r.minimum = new QLineSeries(this);
    r.maximum = new QLineSeries(this);
    r.band = new QAreaSeries(r.maximum, r.minimum);
    r.band->setName(tr("network latency, min … max"));
    r.average = new QLineSeries;
    r.average->setName(tr("network latency, average"));
    r.additional = new QLineSeries;
    r.additional->setName(tr("additional delay"));
    r.summary = new QLineSeries;
    r.summary->setName(tr("latency summary, average"));
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{r.band, r.average, r.additional, r.summary})
        addToChart(s, first);
    styleRun(r);
    return r;
}

void DelayPlot::removeRun(Run& r) {
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{r.band, r.average, r.additional, r.summary}) {
        view_->chart()->removeSeries(s);
        delete s;
    }
    delete r.minimum;
    delete r.maximum;
}

QScatterSeries* DelayPlot::addPoints() {
    auto* s = new QScatterSeries;
    addToChart(s, false);
    return s;
}

void DelayPlot::styleRun(const Run& r) {
    const bool dark = darkPalette(palette());
    QColor band = kBand;
    band.setAlpha(90);
    r.band->setBrush(band);
    r.band->setPen(QPen(kBand, 1));
    r.average->setPen(QPen(dark ? QColor(110, 170, 255) : QColor(20, 60, 140), 2));
    r.additional->setPen(QPen(kAdditional, 2, Qt::DashLine));
    r.summary->setPen(QPen(dark ? QColor(90, 200, 110) : QColor(40, 150, 60), 2));
}

void DelayPlot::refresh() {
    const auto& points = model_.history.points();
    const std::int64_t last = points.empty() ? -1 : points.back().unixTimeMs;
    if (points.size() == shownCount_ && last == shownLast_) return;
    shownCount_ = points.size();
    shownLast_ = last;

    const auto data = sfn::delayPlotData(points, kShownPoints, kPeriodMs);
    std::vector<sfn::PlotRun> lines;
    for (const auto& run : data.runs)
        if (run.size() > 1) lines.push_back(run);
    while (runs_.size() > std::max<std::size_t>(lines.size(), 1)) {
        removeRun(runs_.back());
        runs_.pop_back();
    }
    while (runs_.size() < lines.size()) runs_.push_back(addRun());

    auto at = [](const sfn::PlotSample& s, double v) {
        return QPointF(static_cast<double>(s.unixTimeMs), v);
    };
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        QList<QPointF> minimum, maximum, average, additional, summary;
        if (i < lines.size())
            for (std::size_t k = lines[i].first; k < lines[i].end; ++k) {
                const auto& s = data.samples[k];
                minimum.append(at(s, s.minimumUs));
                maximum.append(at(s, s.maximumUs));
                average.append(at(s, s.averageUs));
                additional.append(at(s, s.additionalUs));
                summary.append(at(s, s.summaryUs));
            }
        runs_[i].minimum->replace(minimum);
        runs_[i].maximum->replace(maximum);
        runs_[i].average->replace(average);
        runs_[i].additional->replace(additional);
        runs_[i].summary->replace(summary);
    }
    QList<QPointF> minimum, maximum, average, additional, summary;
    for (const auto& run : data.runs) {
        if (run.size() != 1) continue;
        const auto& s = data.samples[run.first];
        minimum.append(at(s, s.minimumUs));
        maximum.append(at(s, s.maximumUs));
        average.append(at(s, s.averageUs));
        additional.append(at(s, s.additionalUs));
        summary.append(at(s, s.summaryUs));
    }
    loneMinimum_->replace(minimum);
    loneMaximum_->replace(maximum);
    loneAverage_->replace(average);
    loneAdditional_->replace(additional);
    loneSummary_->replace(summary);

    for (const QString& label : time_->categoriesLabels()) time_->remove(label);
    if (data.samples.empty()) return;
    const std::int64_t start = data.samples.front().unixTimeMs;
    const std::int64_t end = std::max(data.samples.back().unixTimeMs, start + kShortestSpanMs);
    // A point at either end is drawn whole, not cut in half by the frame.
    const double pad = std::max(kPeriodMs / 2.0, static_cast<double>(end - start) * 0.02);
    time_->setStartValue(static_cast<double>(start) - pad);
    for (const auto& tick : sfn::timeTicks(start, end))
        time_->append(platform::fromModel(tick.label), static_cast<double>(tick.unixTimeMs));
    time_->setRange(static_cast<double>(start) - pad, static_cast<double>(end) + pad);

    // Room above and below the lines, so that none runs along the frame.
    const double room = std::max(0.5, (data.highUs - data.lowUs) * 0.04);
    // Delays that are all positive get no axis below zero.
    const double bottom = data.lowUs >= 0 ? std::max(0.0, data.lowUs - room) : data.lowUs - room;
    const auto ticks = sfn::niceTicks(bottom, data.highUs + room);
    delay_->setRange(ticks.first, ticks.last);
    delay_->setTickCount(ticks.count);
    delay_->setLabelFormat(QStringLiteral("%.%1f").arg(ticks.decimals));
}

void DelayPlot::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && view_) followPalette();
    QWidget::changeEvent(event);
}

void DelayPlot::followPalette() {
    if (runs_.empty()) return;
    const QPalette p = palette();
    paintChart(view_->chart(), p);
    for (const auto& r : runs_) styleRun(r);
    // A reply alone is a point in the colour of the line it would be part of.
    const auto& lines = runs_.front();
    const struct {
        QScatterSeries* points;
        QColor colour;
        qreal size;
        QScatterSeries::MarkerShape shape;
    } lone[] = {
        {loneMinimum_, kBand, 6, QScatterSeries::MarkerShapeRectangle},
        {loneMaximum_, kBand, 6, QScatterSeries::MarkerShapeRectangle},
        {loneAverage_, lines.average->pen().color(), 9, QScatterSeries::MarkerShapeCircle},
        {loneAdditional_, kAdditional, 7, QScatterSeries::MarkerShapeRectangle},
        {loneSummary_, lines.summary->pen().color(), 9, QScatterSeries::MarkerShapeCircle},
    };
    for (const auto& l : lone) {
        l.points->setColor(l.colour);
        l.points->setBorderColor(l.colour);
        l.points->setMarkerSize(l.size);
        l.points->setMarkerShape(l.shape);
    }
}

}  // namespace nms::ui
