#pragma once

// The panel's pairs of columns, which fold into one when the panel is narrow. Internal to the
// main window's files.

#include <QGridLayout>
#include <QWidget>

#include "ui/main_window.h"

namespace nms::ui {

// What the frames around a pair of columns take from the panel's width.
inline constexpr int kColumnsFrameAllowance = 48;

inline QWidget* wrap(QLayout* layout) {
    auto* w = new QWidget;
    layout->setContentsMargins(0, 0, 0, 0);
    w->setLayout(layout);
    return w;
}

// Two groups of rows side by side, or one above the other when the panel is too narrow for both.
class MainWindow::Columns : public QWidget {
public:
    Columns(QLayout* left, QLayout* right, QWidget* parent) : QWidget(parent), left_(wrap(left)), right_(wrap(right)) {
        grid_ = new QGridLayout(this);
        grid_->setContentsMargins(0, 0, 0, 0);
        grid_->setHorizontalSpacing(28);
        grid_->setVerticalSpacing(7);
        arrange(true);
    }
    int twoColumnWidth() const {
        return left_->minimumSizeHint().width() + right_->minimumSizeHint().width() + grid_->horizontalSpacing();
    }
    void fitTo(int width) { arrange(width >= twoColumnWidth() + kColumnsFrameAllowance); }
    bool twoColumns() const { return two_; }

private:
    void arrange(bool two) {
        if (two == two_ && grid_->count() == 2) return;
        two_ = two;
        grid_->removeWidget(left_);
        grid_->removeWidget(right_);
        grid_->addWidget(left_, 0, 0);
        grid_->addWidget(right_, two ? 0 : 1, two ? 1 : 0);
        grid_->setColumnStretch(0, 1);
        grid_->setColumnStretch(1, two ? 1 : 0);
        grid_->setVerticalSpacing(two ? 7 : 18);
    }
    QWidget* left_;
    QWidget* right_;
    QGridLayout* grid_ = nullptr;
    bool two_ = false;
};

}  // namespace nms::ui
