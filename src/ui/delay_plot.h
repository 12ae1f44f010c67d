#pragma once

#include <QWidget>

#include <cstdint>

class QChart;
class QPalette;
class QChartView;
class QLineSeries;
class QAreaSeries;
class QValueAxis;
class QDateTimeAxis;

namespace nms::sfn {
class frmAdjust;
}

namespace nms::ui {

// Paints a chart's background, title, legend and every axis it has in the colours of this
// palette, so that the station's plots read the same on a light and a dark desktop.
void paintChart(QChart* chart, const QPalette& palette);

// The delay of the decoder over time: the band from minimum to maximum with the average line,
// the additional delay in effect as a line of its own, and the latency summary on a second axis.
// Jitter and headroom at a glance. It follows the window's history as replies arrive.
class DelayPlot : public QWidget {
public:
    DelayPlot(sfn::frmAdjust& model, QWidget* parent = nullptr);
    // Redraws from the history (also called by its own timer when the history grew).
    void refresh();

protected:
    void changeEvent(QEvent* event) override;

private:
    // The chart's sheet, texts and lines in the window's colours (a white sheet in a dark theme
    // would glare, and the dark blue average would vanish on a dark one).
    void followPalette();
    sfn::frmAdjust& model_;
    QChartView* view_ = nullptr;
    QLineSeries* minimum_ = nullptr;
    QLineSeries* maximum_ = nullptr;
    QLineSeries* average_ = nullptr;
    QLineSeries* additional_ = nullptr;
    QLineSeries* summary_ = nullptr;
    QAreaSeries* band_ = nullptr;
    QDateTimeAxis* time_ = nullptr;
    QValueAxis* delay_ = nullptr;
    QValueAxis* latency_ = nullptr;
    std::size_t shownCount_ = 0;
    std::int64_t shownLast_ = -1;
};

}  // namespace nms::ui
