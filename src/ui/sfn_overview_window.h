#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "ui/call_once_later.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QTableWidget;

namespace nms::plant {
class SfnOverview;
}
namespace nms::ports {
class EventGate;
}

namespace nms::ui {

class SfnGroupPlot;

// "SFN overview": every SFN decoder of the database, one table per stream they receive, measured
// together, aligned on the slowest path and set in one step, with the plot of the chosen group.
// The overview model decides everything; the window draws it and passes the operator's clicks on.
class SfnOverviewWindow : public QDialog {
public:
    SfnOverviewWindow(plant::SfnOverview& model, ports::EventGate& gate, QWidget* parent = nullptr);
    ~SfnOverviewWindow() override;

    // The groups again from the database (on every opening).
    void reload();
    QTabWidget* groups() const { return tabs_; }
    QTableWidget* table(int group) const;
    SfnGroupPlot* plot() const { return plot_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QSplitter* makeGroupsAndPlot();
    void makeControls();
    void layOut(QSplitter* split);
    void connectControls();
    void operatorDoes(std::function<void()> action);
    void refresh();
    void refreshSoon();
    void rebuildTabs();
    void exportGroup();
    std::size_t currentGroup() const;

    plant::SfnOverview& model_;
    ports::EventGate& gate_;
    QTabWidget* tabs_ = nullptr;
    SfnGroupPlot* plot_ = nullptr;
    QSpinBox* seconds_ = nullptr;
    QSpinBox* margin_ = nullptr;
    QPushButton* measure_ = nullptr;
    QPushButton* align_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    // What the last export did, said in the status line until the overview has news of its own.
    QString exportNote_;
    std::string statusAtExport_;
    CallOnceLater refresh_;
    // Redraws the plot only when what it shows can have changed, not on every reply.
    int plottedGroup_ = -1;
    std::string plottedKey_;
    std::shared_ptr<SfnOverviewWindow*> self_;
};

}  // namespace nms::ui
