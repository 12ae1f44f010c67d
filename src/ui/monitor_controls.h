#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QMainWindow;
class QMenu;
class QTreeView;

namespace nms::monitor {
class PlantMonitor;
}
namespace nms::station {
class StationContext;
}

namespace nms::ui {

class MonitorView;
class StationSettingsDialog;

// The plant monitor as a command of the main window, beside its Events panel: "Station > Plant
// monitor" (the toolbar's toggle again, with a shortcut), "Station > Settings..." (its interval,
// the journal's bounds, times in UTC), "Element > Acknowledge alarm", "Station > Group list by"
// (health or role, remembered), and in the status bar what the monitor does and how many
// elements stand at each health. The list's header explains the marks in its tool tip.
class MonitorControls : public QObject {
public:
    // `context` may be null (a window on a bare model): the settings are then not stored.
    MonitorControls(QMainWindow* window, monitor::PlantMonitor& monitor,
                    station::StationContext* context, MonitorView* view, QTreeView* tree);

    // The items, put in the window's menus (with the list's grouping when there is a list).
    void addTo(QMenu* station, QMenu* element, bool list);

    QAction* monitorAction() const { return monitor_; }
    QAction* settingsAction() const { return settings_; }
    QAction* acknowledgeAction() const { return acknowledge_; }
    QLabel* stateLabel() const { return state_; }
    QLabel* countsLabel() const { return counts_; }
    StationSettingsDialog* settingsDialog() const { return dialog_; }
    // "" (not grouped), "health" or "role".
    void groupBy(const QString& grouping);
    QString grouping() const { return grouping_; }
    // The status bar's counts, as they read: "4 online · 1 warning · 1 alarm · 0 offline".
    static QString countsText(int online, int warning, int alarm, int offline, int acknowledged);

    // Shows what changed since it last looked: a timer calls it twice a second.
    void follow();
    // Told when the settings change whether the Events panel shows times in UTC.
    std::function<void(bool utc)> onTimesInUtc;

protected:
    // The marks' legend is drawn (five pictures, encoded) when a tool tip first asks for it,
    // not while the window is being built.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeMonitorAction();
    void makeSettingsAction();
    void makeAcknowledgeAction();
    void makeGroupingActions();
    void makeStatusBar();
    void showSettings();
    std::string selectedMac() const;
    void acknowledgeSelected();

    QMainWindow* window_;
    monitor::PlantMonitor& monitor_model_;
    station::StationContext* context_;
    MonitorView* view_;
    QTreeView* tree_;
    QAction* monitor_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* acknowledge_ = nullptr;
    QActionGroup* groups_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* counts_ = nullptr;
    StationSettingsDialog* dialog_ = nullptr;
    QString grouping_;
    std::uint64_t shownRevision_ = ~std::uint64_t{0};
    bool shownRunning_ = false;
    bool shownPaused_ = false;
};

}  // namespace nms::ui
