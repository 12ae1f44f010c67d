#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

class QChart;
class QPalette;
class QChartView;
class QLineSeries;
class QAreaSeries;
class QAbstractSeries;
class QScatterSeries;
class QValueAxis;
class QCategoryAxis;

namespace nms::sfn {
class frmAdjust;
}

namespace nms::ui {

// Paints a chart's background, title, legend and every axis it has in the colours of this
// palette, so that the station's plots read the same on a light and a dark desktop.
void paintChart(QChart* chart, const QPalette& palette);
// Axis labels in the user's number format ("812,5" in a comma locale), without the thousands
// separator that would make "1.208" of 1208 µs read as a fraction.
void numbersInLocale(QChart* chart);

// The delay of the decoder over time, every series on one delay axis in µs against UTC time:
// the band from minimum to maximum with the average network latency, the additional delay in
// effect, and the latency summary (the average and the element's fixed latencies). Lines join
// replies that followed one another; where replies were missing the lines break, and a reply
// alone is a point. It follows the window's history as replies arrive.
class DelayPlot : public QWidget {
public:
    // The plot shows the last ten minutes at one reply a second; the export keeps everything.
    static constexpr std::size_t kShownPoints = 600;
    // The period of the window's automatic refresh, against which missing replies are judged.
    static constexpr std::int64_t kPeriodMs = 1000;

    DelayPlot(sfn::frmAdjust& model, QWidget* parent = nullptr);
    // Redraws from the history (also called by its own timer when the history grew).
    void refresh();
    QChart* chart() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    // The lines of one run of replies without a gap.
    struct Run {
        QLineSeries* minimum = nullptr;
        QLineSeries* maximum = nullptr;
        QAreaSeries* band = nullptr;
        QLineSeries* average = nullptr;
        QLineSeries* additional = nullptr;
        QLineSeries* summary = nullptr;
    };
    Run addRun();
    void removeRun(Run& run);
    void styleRun(const Run& run);
    QScatterSeries* addPoints();
    void addToChart(QAbstractSeries* series, bool inLegend);
    // The chart's sheet, texts and lines in the window's colours (a white sheet in a dark theme
    // would glare, and the dark blue average would vanish on a dark one).
    void followPalette();
    sfn::frmAdjust& model_;
    QChartView* view_ = nullptr;
    // The first run names the series in the legend, even while it has no line to draw.
    std::vector<Run> runs_;
    // Replies alone, one series of points per figure.
    QScatterSeries* loneMinimum_ = nullptr;
    QScatterSeries* loneMaximum_ = nullptr;
    QScatterSeries* loneAverage_ = nullptr;
    QScatterSeries* loneAdditional_ = nullptr;
    QScatterSeries* loneSummary_ = nullptr;
    QCategoryAxis* time_ = nullptr;
    QValueAxis* delay_ = nullptr;
    std::size_t shownCount_ = 0;
    std::int64_t shownLast_ = -1;
};

}  // namespace nms::ui
