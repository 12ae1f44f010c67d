#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editor/properties_panel.h"
#include "ports/controls.h"
#include "ports/event_gate.h"
#include "ui/disclaimer_dialog.h"
#include "ui/paging_dialog.h"

class QScrollArea;
class QSplitter;

namespace nms::app {
class frmMain;
}
namespace nms::stats {
class frmStatistics;
}
namespace nms::sfn {
class frmAdjust;
}

namespace nms::ui {

class WaitingDialog;
class StatisticsDialog;
class AdjustDialog;
class MonitorView;

// The station's main window drawn for frmMain: the toolbar with the interface list, the element
// tree on the left and the properties and diagnostics frames on the right, with the windows
// that open over it (paging, MAC wait, notice). Every widget carries its control's name as its
// object name.
class MainWindow : public QMainWindow {
public:
    // The controls the window draws, for a window that is not built on a whole frmMain.
    struct Model {
        ports::Label& caption;
        ports::Toolbar& Toolbar1;
        ports::Label& frmTreeView;
        ports::TreeView& TreeView1;
        ports::Label& lblNMSIPAddr;
        ports::ListControl& cmbNMSIPAddr;
        editor::PropertiesPanel& panel;
        std::optional<PagingDialog::Model> paging;
        ports::Form* waitingForm = nullptr;
        ports::Label* lblWaitTimeout = nullptr;
        std::optional<DisclaimerDialog::Model> disclaimer;
        stats::frmStatistics* statistics = nullptr;
        sfn::frmAdjust* adjust = nullptr;
        // The whole main window, for what draws more than its controls (the plant monitor).
        app::frmMain* main = nullptr;
    };

    MainWindow(app::frmMain& model, ports::EventGate& gate, QWidget* parent = nullptr);
    MainWindow(const Model& model, ports::EventGate& gate, QWidget* parent = nullptr);
    ~MainWindow() override;

    static Model modelOf(app::frmMain& main);

    // The widget drawn for the control of that name, or null.
    template <class T>
    T* control(const char* name) const {
        return findChild<T*>(QString::fromLatin1(name));
    }
    // The windows over this one, built on first use (null for one the model lacks).
    PagingDialog* pagingDialog();
    WaitingDialog* waitingDialog();
    DisclaimerDialog* disclaimerDialog();
    StatisticsDialog* statisticsDialog();
    AdjustDialog* adjustDialog();
    MonitorView* monitorView() const { return monitor_; }
    // A permanent mark in the status bar that this window drives the simulated plant.
    void markSimulated();
    QSplitter* splitter() const { return splitter_; }
    // False once the panel is too narrow for its rows side by side and shows them one above the other.
    bool panelInTwoColumns() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Columns;
    void buildToolbar(const Model& model, ports::EventGate& gate);
    QWidget* buildTreePane(const Model& model, ports::EventGate& gate);
    QWidget* buildPanel(editor::PropertiesPanel& panel, ports::EventGate& gate);
    void buildWhenShown(ports::Form& form, std::function<void()> build);

    QSplitter* splitter_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    std::vector<Columns*> columns_;
    PagingDialog* paging_ = nullptr;
    WaitingDialog* waiting_ = nullptr;
    DisclaimerDialog* disclaimer_ = nullptr;
    StatisticsDialog* statistics_ = nullptr;
    AdjustDialog* adjust_ = nullptr;
    MonitorView* monitor_ = nullptr;
    ports::EventGate* gate_ = nullptr;
    std::optional<PagingDialog::Model> pagingModel_;
    ports::Form* waitingForm_ = nullptr;
    ports::Label* lblWaitTimeout_ = nullptr;
    std::optional<DisclaimerDialog::Model> disclaimerModel_;
    stats::frmStatistics* statisticsModel_ = nullptr;
    sfn::frmAdjust* adjustModel_ = nullptr;
};

}  // namespace nms::ui
