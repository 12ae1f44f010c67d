#pragma once

#include <QWidget>

class QChartView;

namespace nms::plant {
struct OverviewPlot;
}

namespace nms::ui {

// One SFN group at a glance: each decoder's latency summary from minimum to maximum (the top is
// its total) as measured and after the alignment (proposed, or measured once applied), and the
// target line every total should end on.
class SfnGroupPlot : public QWidget {
public:
    explicit SfnGroupPlot(QWidget* parent = nullptr);
    void show(const plant::OverviewPlot& plot);
    QChartView* view() const { return view_; }

private:
    QChartView* view_ = nullptr;
};

}  // namespace nms::ui
