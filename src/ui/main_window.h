#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editor/properties_panel.h"
#include "editor/save_configuration.h"
#include "ports/controls.h"
#include "ports/event_gate.h"
#include "ui/about_dialog.h"
#include "ui/disclaimer_dialog.h"
#include "ui/paging_dialog.h"
#include "ui/plant_windows.h"

class QAbstractButton;
class QAction;
class QGroupBox;
class QLayout;
class QMenuBar;
class QSplitter;
class QToolBar;
class QVBoxLayout;

namespace nms::app {
class frmMain;
}
namespace nms::monitor {
class PlantMonitor;
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
class MonitorControls;
class ChangeMarkers;
class HelpWindow;
class WindowLayout;
class PanelWidgets;

// The station's main window drawn for frmMain: the toolbar with the interface list, the element
// tree on the left and the properties and diagnostics frames on the right, with the windows
// that open over it (paging, MAC wait, notice). Every widget carries its control's name as its
// object name. Around the station's own controls it adds what any desktop program has: a menu
// bar holding the toolbar's actions with their shortcuts, help and an About window, access keys
// and a Tab order in reading order, marks on unsaved edits, and a remembered place on screen.
class MainWindow : public QMainWindow {
public:
    // The windows that open over this one, each when its model is there.
    struct DialogModels {
        std::optional<PagingDialog::Model> paging;
        ports::Form* waitingForm = nullptr;
        ports::Label* lblWaitTimeout = nullptr;
        std::optional<DisclaimerDialog::Model> disclaimer;
        stats::frmStatistics* statistics = nullptr;
        sfn::frmAdjust* adjust = nullptr;
    };

    // The controls the window draws, for a window that is not built on a whole frmMain.
    struct Model {
        ports::Label& caption;
        ports::Toolbar& Toolbar1;
        ports::Label& frmTreeView;
        ports::TreeView& TreeView1;
        ports::Label& lblNMSIPAddr;
        ports::ListControl& cmbNMSIPAddr;
        editor::PropertiesPanel& panel;
        DialogModels dialogs;
        // The plant monitor and its switch (remembered for the next start).
        monitor::PlantMonitor* plantMonitor = nullptr;
        std::function<void(bool on)> setPlantMonitoring;
        // For the marks on unsaved edits: the audio type table and the shown element's record.
        const protocol::AudioTypeTable* audioTypes = nullptr;
        editor::RecordReader storedRecord;
        // Values shown beside each node of the tree, one per column after the node's text.
        std::function<QStringList(const ports::TreeView::Node&)> nodeColumns;
        std::string databasePath;
        // The plant's operations (SFN overview, plant backup, settings from another record).
        std::optional<PlantLinks> plant;
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
    MonitorControls* monitorControls() const { return monitorControls_; }
    PlantWindows* plantWindows() const { return plant_; }
    // A permanent mark in the status bar that this window drives the simulated plant.
    void markSimulated();

    // The host's interface names by address, shown beside each address in the interface list
    // (the address stays the value chosen). An address without a name is shown alone.
    void setInterfaceNames(std::function<QString(const QString& address)> names);
    // The paths the About window shows (the database's is known from the model).
    void setAboutFacts(const AboutFacts& facts);
    const AboutFacts& aboutFacts() const { return about_; }

    // Keeps the window's place, its splitter and its dialogs' places in this file; places the
    // window where it was left (fitted to a screen that can show it). Call before showing.
    void useLayout(const QString& file);
    void saveLayout() const;
    const WindowLayout* layout() const { return layout_.get(); }

    // The menu bar's item of that object name ("actionDiscover", ...), or null.
    QAction* menuAction(const QString& name) const;
    // The help window and the About window, once opened.
    HelpWindow* helpWindow() const { return help_.get(); }
    AboutDialog* aboutDialog() const { return aboutDialog_; }
    // The help at the section of the window or panel that has the focus.
    void showHelp();
    // The help at the section of the window or panel that holds `focus` (F1 in any window of
    // the station comes here).
    void showHelpFor(const QWidget* focus);
    void showAbout();
    ChangeMarkers* changeMarkers() const { return markers_; }
    // Every control the Tab key reaches, in reading order.
    const std::vector<QWidget*>& tabChain() const { return tabChain_; }
    QSplitter* splitter() const { return splitter_; }
    // False once the panel is too narrow for its rows side by side and shows them one above the other.
    bool panelInTwoColumns() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Columns;
    void buildToolbar(const Model& model, ports::EventGate& gate);
    void buildPanes(const Model& model, ports::EventGate& gate);
    QWidget* buildEventsPane(const Model& model, ports::EventGate& gate, QWidget* panel);
    void buildDialogsWhenShown(const Model& model, ports::EventGate& gate);
    void buildMonitorControls(const Model& model);
    QWidget* buildTreePane(const Model& model, ports::EventGate& gate);
    QWidget* buildPanel(const Model& model, ports::EventGate& gate);
    QGroupBox* buildProperties(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* content);
    QGroupBox* buildDiagnostics(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* content);
    void addColumns(QVBoxLayout* to, QLayout* left, QLayout* right, QWidget* owner);
    class MenuItems;
    void buildMenus(const Model& model);
    void buildStationMenu(QMenuBar* bar, MenuItems& items);
    void buildElementMenu(QMenuBar* bar, MenuItems& items);
    void buildHelpMenu(QMenuBar* bar, MenuItems& items);
    void finishTabOrder();
    void buildWhenShown(ports::Form& form, std::function<void()> build);

    ports::ListControl* interfaceList_ = nullptr;
    std::function<QString(const QString&)> interfaceNames_;
    std::vector<QWidget*> tabChain_;
    ChangeMarkers* markers_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    // A window of its own, without a parent: a dialog that is modal over this window leaves it
    // readable and scrollable beside.
    std::unique_ptr<HelpWindow> help_;
    AboutDialog* aboutDialog_ = nullptr;
    AboutFacts about_;
    std::unique_ptr<WindowLayout> layout_;

    QSplitter* splitter_ = nullptr;
    QWidget* scrollViewport_ = nullptr;
    std::vector<Columns*> columns_;
    PagingDialog* paging_ = nullptr;
    WaitingDialog* waiting_ = nullptr;
    DisclaimerDialog* disclaimer_ = nullptr;
    StatisticsDialog* statistics_ = nullptr;
    AdjustDialog* adjust_ = nullptr;
    MonitorView* monitor_ = nullptr;
    MonitorControls* monitorControls_ = nullptr;
    PlantWindows* plant_ = nullptr;
    ports::EventGate* gate_ = nullptr;
    DialogModels dialogModels_;
};

}  // namespace nms::ui
