#pragma once

#include <QGroupBox>

#include <cstdint>
#include <functional>

#include "ports/event_gate.h"

class QAction;
class QComboBox;
class QLabel;
class QTableWidget;
class QToolBar;
class QTreeView;

namespace nms::monitor {
class PlantMonitor;
}

namespace nms::ui {

// What the plant monitor shows in the main window: the "Monitor plant" toggle on the toolbar, a
// health mark beside each element of the tree (its tool tip says why), and the "Events" panel
// with the journal, newest first, filtered by element and severity, exported as CSV.
class MonitorView : public QGroupBox {
public:
    // `setMonitoring` turns the monitor on or off (and remembers it), run as the operator's event.
    MonitorView(monitor::PlantMonitor& monitor, std::function<void(bool on)> setMonitoring,
                ports::EventGate& gate, QToolBar* toolbar, QTreeView* tree,
                QWidget* parent = nullptr);

    QAction* toggle() const { return toggle_; }
    // Reads the journal again and redraws the marks.
    void refresh();
    // The events as CSV (what "Export CSV..." writes).
    QString csv() const;

private:
    void exportCsv();
    monitor::PlantMonitor& monitor_;
    std::function<void(bool on)> setMonitoring_;
    ports::EventGate& gate_;
    QTreeView* tree_;
    QAction* toggle_ = nullptr;
    QComboBox* element_ = nullptr;
    QComboBox* severity_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    std::uint64_t shownRevision_ = ~std::uint64_t{0};
};

}  // namespace nms::ui
