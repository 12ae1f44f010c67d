#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "station/sites.h"

class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

namespace nms::ui {

// Station > Sites...: the plant's routed sites, each a name and its subnets, with the pace a scan
// pages them at. Every change is kept at once; "Scan" scans the chosen sites (all when none is
// chosen) through the station's own question.
class SitesDialog : public QDialog {
public:
    struct Links {
        std::function<station::Sites()> load;
        std::function<void(const station::Sites&)> save;
        std::function<int()> rate;
        std::function<void(int)> setRate;
        // Asks and starts the scan of these sites (names; empty: all).
        std::function<void(const std::vector<std::string>&)> scan;
    };
    SitesDialog(Links links, QWidget* parent);

    void reload();

private:
    void add();
    void remove();
    void scanChosen();
    void refuse(const QString& why);

    Links links_;
    QTableWidget* table_;
    QLineEdit* name_;
    QLineEdit* subnets_;
    QSpinBox* rate_;
    QLabel* refusal_;
};

}  // namespace nms::ui
