#pragma once

#include "ui/form_dialog.h"

class QGroupBox;
class QHBoxLayout;

namespace nms::sfn {
class frmAdjust;
}

namespace nms::ui {

class DelayPlot;

// frmAdjust ("SFN Adjustment - " + name): the measured delays and latency summaries, the
// additional delay and the servo, and under them the delay over time.
class AdjustDialog : public FormDialog {
public:
    AdjustDialog(sfn::frmAdjust& model, ports::EventGate& gate, QWidget* parent = nullptr);
    DelayPlot* plot() const { return plot_; }

private:
    QGroupBox* buildMeasurements(ports::EventGate& gate);
    QGroupBox* buildAdjustments(ports::EventGate& gate);
    QHBoxLayout* buildStatusRow(ports::EventGate& gate);
    void exportHistory();
    sfn::frmAdjust& model_;
    DelayPlot* plot_ = nullptr;
};

}  // namespace nms::ui
