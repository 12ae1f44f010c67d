#pragma once

#include <QGroupBox>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "ports/event_gate.h"
#include "ports/journal.h"

class QAction;
class QComboBox;
class QFile;
class QLabel;
class QPushButton;
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
//
// The panel reads the journal only when it changed, and only what it shows: the newest page, the
// events since its newest row (put on top, the oldest going at the bottom), a further page when
// the operator scrolls to the end. A journal that can read beside the station does, so that a
// read never holds the window however large the journal is; the export reads and writes a page
// at a time.
class MonitorView : public QGroupBox {
public:
    // `setMonitoring` turns the monitor on or off (and remembers it), run as the operator's event.
    MonitorView(monitor::PlantMonitor& monitor, std::function<void(bool on)> setMonitoring,
                ports::EventGate& gate, QToolBar* toolbar, QTreeView* tree,
                QWidget* parent = nullptr);
    ~MonitorView() override;

    // Rows in a page of the panel, and in a page of the export.
    static constexpr int kPageRows = 500;
    static constexpr int kExportRows = 1000;

    QAction* toggle() const { return toggle_; }
    // Reads the newest page of the journal again and redraws the marks.
    void refresh();
    // Shows what changed since it last looked, if anything: the panel's timer calls it every
    // half second.
    void follow();
    // The events as CSV (what "Export CSV..." writes).
    QString csv() const;

private:
    enum class Reading { Newest, Newer, Older };
    void showState();
    ports::JournalQuery filter() const;
    void read(Reading kind, const ports::JournalQuery& query);
    void showPage(Reading kind, const ports::JournalPage& page, std::size_t asked);
    void putRows(int at, const ports::JournalPage& page, std::size_t from, std::size_t count);
    void exportCsv();
    void exportPage(std::shared_ptr<QFile> file, std::optional<ports::JournalPosition> before);
    monitor::PlantMonitor& monitor_;
    std::function<void(bool on)> setMonitoring_;
    ports::EventGate& gate_;
    QTreeView* tree_;
    QAction* toggle_ = nullptr;
    QComboBox* element_ = nullptr;
    QComboBox* severity_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* export_ = nullptr;
    std::uint64_t shownRevision_ = ~std::uint64_t{0};
    // What the table shows: where each row stands in the journal, top to bottom; how many rows
    // it keeps; whether older ones may follow; what the journal had appended when last asked.
    std::deque<ports::JournalPosition> shown_;
    std::size_t keep_ = kPageRows;
    bool older_ = false;
    bool wantOlder_ = false;
    std::uint64_t shownAppends_ = 0;
    bool columnsSized_ = false;
    // The read under way: a page that arrives for an earlier ticket is not shown.
    bool reading_ = false;
    std::uint64_t ticket_ = 0;
    ports::EventJournal::ReadId readId_ = 0;
    ports::EventJournal::ReadId exportId_ = 0;
};

}  // namespace nms::ui
