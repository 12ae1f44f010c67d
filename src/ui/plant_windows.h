#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "plant/replacement_unit.h"
#include "station/sites.h"

class QWidget;

namespace nms::app {
class frmMain;
}
namespace nms::plant {
class SfnOverview;
}
namespace nms::ports {
class EventGate;
}

namespace nms::ui {

class SfnOverviewWindow;
class SitesDialog;

// What the plant's operations reach of the station.
struct PlantLinks {
    station::StationContext& context;
    plant::ReplacementUnit::Links replacement;
    // The element tree built again from the database (the shown element cleared).
    std::function<void()> reloadTree;
    // A scan of these subnets at this pace (the paging window shows it); whether one runs.
    std::function<void(std::vector<station::Subnet>, int)> scanSites;
    std::function<bool()> scanning;
};
PlantLinks plantLinksOf(app::frmMain& main);

// The operations on the whole plant behind the Station and Element menus: the SFN overview
// window, a plant backup written and read back, and a replacement unit set up from the record
// of the unit it replaces.
class PlantWindows : public QObject {
public:
    PlantWindows(const PlantLinks& links, ports::EventGate& gate, QWidget* parent);
    ~PlantWindows() override;

    void showSfnOverview();
    void exportPlant();
    void importPlant();
    void applySettingsFrom();
    // Station > Sites... and Scan sites...: the routed sites, and a scan of all of them.
    void showSites();
    void scanAllSites();
    // Asks with what the scan pages and how long it takes, then starts it (names empty: all).
    void scanSites(const std::vector<std::string>& names);

    SfnOverviewWindow* sfnOverviewWindow() const { return overviewWindow_; }
    plant::ReplacementUnit& replacementUnit() { return *replacement_; }

    // The file the operator picks (empty: none), and the record picked from a list (-1: none).
    // File and list dialogs by default; a test gives its own answers.
    std::function<QString(bool forSaving, const QString& title, const QString& proposed)>
        chooseFile;
    std::function<int(const QString& title, const QStringList& items)> chooseItem;

private:
    void operatorDoes(std::function<void()> action);
    bool busyElsewhere(const std::string& what);
    void say(const std::string& text, bool problem);
    // The checked backup in that file, or nothing (said, with what was left unchanged).
    std::optional<plant::PlantBackup> readBackupFile(const QString& file,
                                                     const std::string& unchanged);

    PlantLinks links_;
    ports::EventGate& gate_;
    QWidget* parent_;
    std::unique_ptr<plant::SfnOverview> overview_;
    SfnOverviewWindow* overviewWindow_ = nullptr;
    SitesDialog* sites_ = nullptr;
    std::unique_ptr<plant::ReplacementUnit> replacement_;
};

}  // namespace nms::ui
