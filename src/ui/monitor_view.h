#pragma once

#include <QGroupBox>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "ports/event_gate.h"
#include "ports/journal.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
class QToolBar;
class QTreeView;

namespace nms::monitor {
class PlantMonitor;
}

namespace nms::ui {

class ExportFile;

// What the plant monitor shows in the main window: the "Monitor plant" toggle on the toolbar, a
// health mark beside each element of the tree (its tool tip says why), and the "Events" panel
// with the journal, newest first, filtered by element and by a least severity, the selected
// event whole in a pane beside the table, the element of that event acknowledged from there, and
// what the filters show exported as CSV.
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
    // The columns of the table.
    enum Column { kTime, kElement, kWhat, kChange, kWhy, kColumns };

    QAction* toggle() const { return toggle_; }
    // Reads the newest page of the journal again and redraws the marks.
    void refresh();
    // Shows what changed since it last looked, if anything: the panel's timer calls it every
    // half second.
    void follow();
    // What the filters show, as CSV (what "Export CSV..." writes).
    QString csv() const;
    // Times in UTC instead of the local time (the station's setting, read at start).
    void setTimesInUtc(bool utc);
    bool timesInUtc() const { return timesInUtc_; }
    // The panel's own split of the table and the details pane.
    QSplitter* splitter() const { return split_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The panel built step by step, its widgets made in the order Tab visits them, then laid
    // out and wired.
    void addToggle(QToolBar* toolbar);
    void makeFilters();
    void makeEvents();
    void layOut();
    void connectControls();
    // Shares the table's width out: the columns what they need up to a bound, "Why" the rest.
    void fitColumns();
    enum class Reading { Newest, Newer, Older };
    void showState();
    ports::JournalQuery filter() const;
    void read(Reading kind, const ports::JournalQuery& query);
    void showPage(Reading kind, const ports::JournalPage& page, std::size_t asked);
    void putRows(int at, const ports::JournalPage& page, std::size_t from, std::size_t count);
    void showTime(int row);
    void showCalm(int row);
    // Learns when each element's events were last seen by an operator; true when that changed.
    bool learnSeen(const std::string& mac, std::int64_t unixTimeMs);
    void showDetails();
    const ports::JournalEvent* selectedEvent() const;
    void acknowledgeSelected();
    void exportCsv();
    void exportPage(std::shared_ptr<ExportFile> file, ports::JournalQuery query, std::size_t written);
    void exportEnded(const QString& note);
    monitor::PlantMonitor& monitor_;
    std::function<void(bool on)> setMonitoring_;
    ports::EventGate& gate_;
    QTreeView* tree_;
    QAction* toggle_ = nullptr;
    QComboBox* element_ = nullptr;
    QComboBox* severity_ = nullptr;
    QTableWidget* table_ = nullptr;
    QSplitter* split_ = nullptr;
    QLabel* details_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* acknowledge_ = nullptr;
    std::uint64_t shownRevision_ = ~std::uint64_t{0};
    // What the table shows: where each row stands in the journal and its event, top to bottom;
    // how many rows it keeps; whether older ones may follow; what the journal had appended when
    // last asked.
    struct Row {
        ports::JournalPosition at;
        ports::JournalEvent event;
    };
    std::deque<Row> rows_;
    std::int64_t newestSeq_ = -1;  // the last written of the rows read for these filters
    std::size_t keep_ = kPageRows;
    bool older_ = false;
    bool wantOlder_ = false;
    std::uint64_t shownAppends_ = 0;
    bool columnsSized_ = false;
    // The widths the columns before "Why" took from their first rows.
    std::array<int, kWhy> natural_{};
    bool timesInUtc_ = false;
    // The locale's short date and time, with seconds.
    QLocale locale_;
    QString localFormat_;
    // Per element, the time up to which an operator has seen its events (acknowledged): its
    // alarms until then stop drawing attention.
    std::unordered_map<std::string, std::int64_t> seenUntil_;
    // The read under way: a page that arrives for an earlier ticket is not shown.
    bool reading_ = false;
    std::uint64_t ticket_ = 0;
    ports::EventJournal::ReadId readId_ = 0;
    ports::EventJournal::ReadId exportId_ = 0;
};

}  // namespace nms::ui
