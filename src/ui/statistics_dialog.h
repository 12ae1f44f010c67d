#pragma once

#include "ui/form_dialog.h"

namespace nms::stats {
class frmStatistics;
}

namespace nms::ui {

// frmStatistics ("Status"): the element's counters, PTP figures and the four indicators, with
// the buttons that fetch, clear and copy them.
class StatisticsDialog : public FormDialog {
public:
    StatisticsDialog(stats::frmStatistics& model, ports::EventGate& gate,
                     QWidget* parent = nullptr);
};

}  // namespace nms::ui
