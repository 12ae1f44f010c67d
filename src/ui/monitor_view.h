#pragma once

#include <QGroupBox>

#include <cstdint>

class QAction;
class QComboBox;
class QLabel;
class QTableWidget;
class QToolBar;
class QTreeWidget;

namespace nms::app {
class frmMain;
}

namespace nms::ui {

// What the plant monitor shows in the main window: the "Monitor plant" toggle on the toolbar, a
// health mark beside each element of the tree (its tool tip says why), and the "Events" panel
// with the journal, newest first, filtered by element and severity, exported as CSV.
class MonitorView : public QGroupBox {
public:
    MonitorView(app::frmMain& main, QToolBar* toolbar, QTreeWidget* tree,
                QWidget* parent = nullptr);

    QAction* toggle() const { return toggle_; }
    // Reads the journal again and redraws the marks.
    void refresh();
    // The events as CSV (what "Export CSV..." writes).
    QString csv() const;

private:
    void exportCsv();
    app::frmMain& main_;
    QTreeWidget* tree_;
    QAction* toggle_ = nullptr;
    QComboBox* element_ = nullptr;
    QComboBox* severity_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    std::uint64_t shownRevision_ = ~std::uint64_t{0};
};

}  // namespace nms::ui
