#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace nms::ui {

// The station's settings an operator changes while it runs: the plant monitor's interval, how
// much its journal keeps, and whether the Events panel shows times in UTC.
class StationSettingsDialog : public QDialog {
public:
    struct Values {
        int intervalSeconds = 10;
        int journalDays = 90;
        int journalMegabytes = 256;
        bool timesInUtc = false;
    };
    explicit StationSettingsDialog(QWidget* parent = nullptr);
    void setValues(const Values& values);
    Values values() const;

    QSpinBox* interval() const { return interval_; }

private:
    QSpinBox* interval_;
    QSpinBox* days_;
    QSpinBox* megabytes_;
    QCheckBox* utc_;
};

}  // namespace nms::ui
