#include "ui/monitor_view.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include "monitor/plant_monitor.h"
#include "platform/qt_text.h"
#include "protocol/text.h"
#include "ui/health_marks.h"
#include "ui/icons.h"

namespace nms::ui {

MonitorView::MonitorView(monitor::PlantMonitor& monitor, std::function<void(bool on)> setMonitoring,
                         ports::EventGate& gate, QToolBar* toolbar, QTreeView* tree, QWidget* parent)
    : QGroupBox(tr("Events"), parent),
      monitor_(monitor),
      setMonitoring_(std::move(setMonitoring)),
      gate_(gate),
      tree_(tree) {
    setObjectName(QStringLiteral("monitorEvents"));
    if (tree_) tree_->setItemDelegateForColumn(0, new HealthMarks(monitor, tree_));

    toggle_ = new QAction(tr("Monitor plant"), this);
    toggle_->setObjectName(QStringLiteral("actionMonitorPlant"));
    toggle_->setCheckable(true);
    toggle_->setChecked(monitor.running());
    toggle_->setToolTip(tr("Ask every element for its statistics in cycles and show its health"));
    // The station's own picture: a style's stock icon would be looked up in the desktop's icon
    // theme on every start, which costs more than the rest of this panel.
    toggle_->setIcon(pictureIcon(kPicturePlant));
    if (toolbar) {
        // After the station's own buttons, before the interface list at the far end.
        const auto actions = toolbar->actions();
        QAction* before = actions.size() > 7 ? actions[7] : nullptr;
        toolbar->insertSeparator(before);
        toolbar->insertAction(before, toggle_);
    }
    connect(toggle_, &QAction::toggled, this, [this](bool on) {
        gate_.dispatch(ports::EventGate::Kind::Operator, [this, on] {
            setMonitoring_(on);
            refresh();
        });
    });

    element_ = new QComboBox(this);
    element_->setObjectName(QStringLiteral("eventsElement"));
    severity_ = new QComboBox(this);
    severity_->setObjectName(QStringLiteral("eventsSeverity"));
    severity_->addItems(
        {tr("All"), QStringLiteral("alarm"), QStringLiteral("warning"), QStringLiteral("info")});
    export_ = new QPushButton(tr("Export CSV..."), this);
    export_->setObjectName(QStringLiteral("cmdExportEvents"));
    export_->setAutoDefault(false);
    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName(QStringLiteral("eventsTable"));
    table_->setHorizontalHeaderLabels(
        {tr("Time (UTC)"), tr("Element"), tr("What"), tr("From → to"), tr("Why")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setMinimumHeight(140);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("monitorStatus"));
    auto* filters = new QHBoxLayout;
    auto* elementCaption = new QLabel(tr("Events of:"), this);
    elementCaption->setBuddy(element_);
    auto* severityCaption = new QLabel(tr("Severity:"), this);
    severityCaption->setBuddy(severity_);
    filters->addWidget(elementCaption);
    filters->addWidget(element_, 1);
    filters->addWidget(severityCaption);
    filters->addWidget(severity_);
    filters->addStretch();
    filters->addWidget(export_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);

    connect(element_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(severity_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(export_, &QPushButton::clicked, this, [this] { exportCsv(); });
    // At the end of what is shown, the next page down.
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value < table_->verticalScrollBar()->maximum() || !older_) return;
        wantOlder_ = true;
        if (!reading_) follow();
    });
    // What the monitor shows is redrawn when it changed (a health, a status); the journal is read
    // only when something was appended to it, and then only what came since.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { follow(); });
    timer->start(500);
    refresh();
}

MonitorView::~MonitorView() {
    auto& journal = monitor_.journal();
    if (reading_) journal.cancel(readId_);
    if (exportId_ != 0) journal.cancel(exportId_);
}

void MonitorView::showState() {
    auto& monitor = monitor_;
    shownRevision_ = monitor.revision();
    // Elements to filter by, as the monitor knows them.
    if (element_->count() != static_cast<int>(monitor.elements().size()) + 1) {
        const QString chosen = element_->currentData().toString();
        const QSignalBlocker block(element_);
        element_->clear();
        element_->addItem(tr("All"), QString());
        for (const auto& e : monitor.elements())
            element_->addItem(platform::fromModel(e.name) + QStringLiteral(" [") +
                                  QString::fromStdString(e.mac) + "]",
                              QString::fromStdString(e.mac));
        const int at = element_->findData(chosen);
        element_->setCurrentIndex(at < 0 ? 0 : at);
        // The element chosen has gone: the panel shows all of them again.
        if (at < 0 && !chosen.isEmpty()) read(Reading::Newest, filter());
    }
    toggle_->setChecked(monitor_.running());
    // Said once, in the panel: a port that cannot be used or a journal that cannot be written.
    const std::string& journal = monitor.journalProblem();
    status_->setText(
        platform::fromModel(journal.empty() ? monitor.status() : monitor.status() + " " + journal));
    if (tree_) tree_->viewport()->update();
}

void MonitorView::refresh() {
    showState();
    read(Reading::Newest, filter());
}

void MonitorView::follow() {
    if (monitor_.revision() != shownRevision_ || toggle_->isChecked() != monitor_.running())
        showState();
    if (reading_) return;
    if (monitor_.journal().appended() != shownAppends_) {
        auto q = filter();
        if (!shown_.empty()) q.after = shown_.front();
        read(Reading::Newer, q);
    } else if (wantOlder_ && older_ && !shown_.empty()) {
        auto q = filter();
        q.before = shown_.back();
        read(Reading::Older, q);
    }
}

ports::JournalQuery MonitorView::filter() const {
    ports::JournalQuery q;
    q.mac = element_->currentData().toString().toStdString();
    if (severity_->currentIndex() > 0) q.severity = severity_->currentText().toStdString();
    return q;
}

void MonitorView::read(Reading kind, const ports::JournalQuery& query) {
    auto& journal = monitor_.journal();
    // A new filter makes the read under way pointless.
    if (reading_) journal.cancel(readId_);
    if (kind == Reading::Newest) {
        keep_ = kPageRows;
        wantOlder_ = false;
    }
    auto q = query;
    q.limit = kind == Reading::Older ? kPageRows : keep_;
    if (kind != Reading::Older) shownAppends_ = journal.appended();
    const std::uint64_t ticket = ++ticket_;
    reading_ = true;
    QPointer<MonitorView> self(this);
    const auto id =
        journal.readLater(q, [self, ticket, kind, asked = q.limit](ports::JournalPage page) {
            if (!self) return;
            // The page arrives as an event of the station's, after whatever runs now.
            self->gate_.dispatch(ports::EventGate::Kind::Posted,
                                 [self, ticket, kind, asked, page = std::move(page)] {
                                     if (!self || ticket != self->ticket_) return;
                                     self->reading_ = false;
                                     self->showPage(kind, page, asked);
                                 });
        });
    // A journal that reads at once may have shown the page already.
    if (ticket == ticket_ && reading_) readId_ = id;
}

void MonitorView::putRows(int at, const ports::JournalPage& page, std::size_t from,
                          std::size_t count) {
    if (count == 0) return;
    table_->model()->insertRows(at, static_cast<int>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const auto& e = page.events[from + i];
        const int row = at + static_cast<int>(i);
        const QString change =
            e.from.empty()
                ? platform::fromModel(e.to)
                : platform::fromModel(e.from) + QStringLiteral(" → ") + platform::fromModel(e.to);
        const QString cells[] = {
            platform::fromModel(protocol::text::isoUtcTime(e.unixTimeMs, false)),
            platform::fromModel(e.name), platform::fromModel(e.what), change,
            platform::fromModel(e.detail)};
        for (int c = 0; c < 5; ++c) table_->setItem(row, c, new QTableWidgetItem(cells[c]));
        if (e.severity == "alarm") table_->item(row, 2)->setForeground(QColor(0xd0, 0x20, 0x20));
    }
    shown_.insert(shown_.begin() + at, count, ports::JournalPosition{});
    for (std::size_t i = 0; i < count; ++i)
        shown_[static_cast<std::size_t>(at) + i] = page.at(from + i);
}

void MonitorView::showPage(Reading kind, const ports::JournalPage& page, std::size_t asked) {
    // A journal that cannot be read shows nothing for a new filter, and keeps what it showed
    // otherwise; the status says why it cannot be written.
    if (!page.error.empty() && kind != Reading::Newest) return;
    const std::size_t n = page.events.size();
    table_->setUpdatesEnabled(false);
    switch (kind) {
        case Reading::Newest:
            table_->setRowCount(0);
            shown_.clear();
            putRows(0, page, 0, n);
            older_ = n == asked;
            break;
        case Reading::Newer:
            // As many as the panel keeps came since: none of the rows shown stays.
            if (n >= keep_) {
                table_->setRowCount(0);
                shown_.clear();
                older_ = true;
            }
            putRows(0, page, 0, std::min(n, keep_));
            if (shown_.size() > keep_) {
                table_->model()->removeRows(static_cast<int>(keep_),
                                            static_cast<int>(shown_.size() - keep_));
                shown_.resize(keep_);
                older_ = true;
            }
            break;
        case Reading::Older:
            wantOlder_ = false;
            putRows(static_cast<int>(shown_.size()), page, 0, n);
            keep_ += n;
            older_ = n == asked;
            break;
    }
    // The columns take the width of what they first show, once: sized again with every row
    // they would cost more than the rows. "Why" is left to stretch over the rest of the width,
    // whatever the first rows held (sized to an empty reason, it cut every later one).
    if (!columnsSized_ && table_->rowCount() > 0) {
        for (int c = 0; c + 1 < table_->columnCount(); ++c) table_->resizeColumnToContents(c);
        columnsSized_ = true;
    }
    table_->setUpdatesEnabled(true);
}

namespace {

QByteArray csvHeader() {
    return QByteArrayLiteral("time_utc,mac,name,severity,what,from,to,detail\r\n");
}

QByteArray csvRows(const ports::JournalPage& page) {
    auto quoted = [](const std::string& v) {
        QString s = platform::fromModel(v);
        s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + s + QLatin1Char('"');
    };
    QString out;
    for (const auto& e : page.events)
        out += quoted(protocol::text::isoUtcTime(e.unixTimeMs, true)) + ',' + quoted(e.mac) + ',' +
               quoted(e.name) + ',' + quoted(e.severity) + ',' + quoted(e.what) + ',' +
               quoted(e.from) + ',' + quoted(e.to) + ',' + quoted(e.detail) +
               QStringLiteral("\r\n");
    return out.toUtf8();
}

}  // namespace

QString MonitorView::csv() const {
    QByteArray out = csvHeader();
    ports::JournalQuery q;
    q.limit = kExportRows;
    for (;;) {
        const auto page = monitor_.journal().read(q);
        out += csvRows(page);
        if (page.events.size() < q.limit) break;
        q.before = page.at(page.events.size() - 1);
    }
    return QString::fromUtf8(out);
}

void MonitorView::exportCsv() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export the events"), QStringLiteral("nms-events.csv"), tr("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    auto f = std::make_shared<QFile>(path);
    if (!f->open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    f->write(csvHeader());
    // A page at a time, each written as it arrives: the journal is never all in memory, and
    // the window goes on between pages.
    export_->setEnabled(false);
    exportPage(std::move(f), std::nullopt);
}

void MonitorView::exportPage(std::shared_ptr<QFile> file,
                             std::optional<ports::JournalPosition> before) {
    ports::JournalQuery q;
    q.limit = kExportRows;
    q.before = before;
    QPointer<MonitorView> self(this);
    exportId_ = monitor_.journal().readLater(q, [self, file](ports::JournalPage page) {
        if (!self) return;
        self->exportId_ = 0;
        file->write(csvRows(page));
        if (!page.error.empty() || page.events.size() < kExportRows) {
            file->close();
            self->export_->setEnabled(true);
            return;
        }
        const auto last = page.at(page.events.size() - 1);
        // The next page on the next turn of the event loop, not from inside this one.
        QTimer::singleShot(0, self, [self, file, last] {
            if (self) self->exportPage(file, last);
        });
    });
}

}  // namespace nms::ui
