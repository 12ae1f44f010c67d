#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "plant/replacement_unit.h"

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

// What the plant's operations reach of the station.
struct PlantLinks {
    station::StationContext& context;
    plant::ReplacementUnit::Links replacement;
    // The element tree built again from the database (the shown element cleared).
    std::function<void()> reloadTree;
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
    std::unique_ptr<plant::ReplacementUnit> replacement_;
};

}  // namespace nms::ui
