#include "ui/delay_plot.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QLegend>
#include <QLineSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

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
namespace {

// The plot shows the last ten minutes at one reply a second; the export keeps everything.
constexpr std::size_t kShownPoints = 600;
// MAC and audio interface latencies of the element, added to the network delay.
constexpr double kFixedLatencyNs = 396098.0;
constexpr double kNsPerUs = 1000.0;

}  // namespace

DelayPlot::DelayPlot(sfn::frmAdjust& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* chart = new QChart;
    chart->setTitle(tr("Network delay over time"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));

    minimum_ = new QLineSeries(chart);
    maximum_ = new QLineSeries(chart);
    band_ = new QAreaSeries(maximum_, minimum_);
    band_->setName(tr("min … max (µs)"));
    QColor bandColour(70, 130, 200, 90);
    band_->setBrush(bandColour);
    band_->setPen(QPen(QColor(70, 130, 200), 1));
    average_ = new QLineSeries(chart);
    average_->setName(tr("average (µs)"));
    additional_ = new QLineSeries(chart);
    additional_->setName(tr("additional delay (µs)"));
    additional_->setPen(QPen(QColor(200, 110, 20), 2, Qt::DashLine));
    summary_ = new QLineSeries(chart);
    summary_->setName(tr("latency summary, average (µs)"));

    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{band_, average_, additional_, summary_})
        chart->addSeries(s);

    time_ = new QDateTimeAxis(chart);
    time_->setFormat(QStringLiteral("HH:mm:ss"));
    time_->setTitleText(tr("UTC"));
    delay_ = new QValueAxis(chart);
    delay_->setTitleText(tr("delay (µs)"));
    latency_ = new QValueAxis(chart);
    latency_->setTitleText(tr("latency summary (µs)"));
    chart->addAxis(time_, Qt::AlignBottom);
    chart->addAxis(delay_, Qt::AlignLeft);
    chart->addAxis(latency_, Qt::AlignRight);
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{band_, average_, additional_}) {
        s->attachAxis(time_);
        s->attachAxis(delay_);
    }
    summary_->attachAxis(time_);
    summary_->attachAxis(latency_);

    view_ = new QChartView(chart, this);
    followPalette();
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumHeight(220);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    // The history grows inside the model; a light poll keeps the plot free of any hook there.
    auto* timer = new QTimer(this);
    timer->setInterval(250);
    connect(timer, &QTimer::timeout, this, [this] { refresh(); });
    timer->start();
    refresh();
}

void DelayPlot::refresh() {
    const auto& points = model_.history.points();
    const std::int64_t last = points.empty() ? -1 : points.back().unixTimeMs;
    if (points.size() == shownCount_ && last == shownLast_) return;
    shownCount_ = points.size();
    shownLast_ = last;

    QList<QPointF> minimum, maximum, average, additional, summary;
    const std::size_t first = points.size() > kShownPoints ? points.size() - kShownPoints : 0;
    double low = 0, high = 0, sumLow = 0, sumHigh = 0;
    bool any = false;
    for (std::size_t i = first; i < points.size(); ++i) {
        const auto& p = points[i];
        const auto t = static_cast<double>(p.unixTimeMs);
        minimum.append({t, p.minimumNs / kNsPerUs});
        maximum.append({t, p.maximumNs / kNsPerUs});
        average.append({t, p.averageNs / kNsPerUs});
        additional.append({t, p.additionalNs / kNsPerUs});
        const double s = (p.averageNs + kFixedLatencyNs) / kNsPerUs;
        summary.append({t, s});
        const double lo = std::min({p.minimumNs / kNsPerUs, p.additionalNs / kNsPerUs});
        const double hi = std::max({p.maximumNs / kNsPerUs, p.additionalNs / kNsPerUs});
        low = any ? std::min(low, lo) : lo;
        high = any ? std::max(high, hi) : hi;
        sumLow = any ? std::min(sumLow, s) : s;
        sumHigh = any ? std::max(sumHigh, s) : s;
        any = true;
    }
    minimum_->replace(minimum);
    maximum_->replace(maximum);
    average_->replace(average);
    additional_->replace(additional);
    summary_->replace(summary);
    if (!any) return;
    const qint64 start = points[first].unixTimeMs;
    const qint64 end = std::max<qint64>(points.back().unixTimeMs, start + 10000);
    time_->setRange(QDateTime::fromMSecsSinceEpoch(start, Qt::UTC),
                    QDateTime::fromMSecsSinceEpoch(end, Qt::UTC));
    const double margin = std::max(1.0, (high - low) * 0.1);
    delay_->setRange(low - margin, high + margin);
    const double sumMargin = std::max(1.0, (sumHigh - sumLow) * 0.1);
    latency_->setRange(sumLow - sumMargin, sumHigh + sumMargin);
}

void DelayPlot::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && view_) followPalette();
    QWidget::changeEvent(event);
}

void DelayPlot::followPalette() {
    const QPalette p = palette();
    const bool dark = darkPalette(p);
    paintChart(view_->chart(), p);
    average_->setPen(QPen(dark ? QColor(110, 170, 255) : QColor(20, 60, 140), 2));
    summary_->setPen(QPen(dark ? QColor(90, 200, 110) : QColor(40, 150, 60), 1, Qt::DotLine));
}

}  // namespace nms::ui
