#include "ui/monitor_view.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "monitor/plant_monitor.h"
#include "platform/qt_text.h"
#include "station/settings_keys.h"
#include "station/station_context.h"
#include "ui/health_marks.h"
#include "ui/icons.h"
#include "ui/widget_names.h"

namespace nms::ui {

namespace {

// The locale's short date and time, with the seconds its short time leaves out.
QString shortFormatWithSeconds(const QLocale& locale) {
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains(QLatin1Char('s'))) {
        const auto minutes = time.indexOf(QStringLiteral("mm"));
        // With the separator the locale puts before the minutes ("H.mm" gives "H.mm.ss").
        const QChar separator =
            minutes > 0 && !time[minutes - 1].isLetter() ? time[minutes - 1] : QLatin1Char(':');
        if (minutes >= 0) time.insert(minutes + 2, separator + QStringLiteral("ss"));
    }
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time;
}

}  // namespace

MonitorView::MonitorView(monitor::PlantMonitor& monitor, std::function<void(bool on)> setMonitoring,
                         ports::EventGate& gate, QToolBar* toolbar, QTreeView* tree,
                         QWidget* parent)
    : QGroupBox(tr("Events"), parent),
      monitor_(monitor),
      setMonitoring_(std::move(setMonitoring)),
      gate_(gate),
      tree_(tree),
      localFormat_(shortFormatWithSeconds(locale_)) {
    setObjectName(QStringLiteral("monitorEvents"));
    timesInUtc_ = monitor.context().setting(station::settings::kEventTimesUtc) == "1";
    if (tree_) tree_->setItemDelegateForColumn(0, new HealthMarks(monitor, tree_));

    addToggle(toolbar);
    makeFilters();
    makeEvents();
    setTimesInUtc(timesInUtc_);
    layOut();
    connectControls();
    refresh();
}

// The switch of the monitor, in the main window's toolbar.
void MonitorView::addToggle(QToolBar* toolbar) {
    toggle_ = new QAction(tr("Monitor plant"), this);
    toggle_->setObjectName(QStringLiteral("actionMonitorPlant"));
    toggle_->setCheckable(true);
    toggle_->setChecked(monitor_.running());
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
}

// The filters of the events, the export and the acknowledgement.
void MonitorView::makeFilters() {
    element_ = new QComboBox(this);
    element_->setObjectName(QStringLiteral("eventsElement"));
    severity_ = new QComboBox(this);
    severity_->setObjectName(QStringLiteral("eventsSeverity"));
    // At least this severity: offline is written as an alarm, so "Alarm" holds it too.
    severity_->addItems({tr("All"), tr("Warning or worse"), tr("Alarm")});
    severity_->setToolTip(tr("Show events of at least this severity"));
    export_ = new QPushButton(tr("Export CSV..."), this);
    export_->setObjectName(QStringLiteral("cmdExportEvents"));
    export_->setAutoDefault(false);
    export_->setToolTip(tr("Write the events the filters show, all of them, to a CSV file"));
    acknowledge_ = new QPushButton(tr("Acknowledge"), this);
    acknowledge_->setObjectName(QStringLiteral("cmdAcknowledgeEvent"));
    acknowledge_->setAutoDefault(false);
    acknowledge_->setEnabled(false);
    acknowledge_->setToolTip(
        tr("The selected event's element needs attention and you have seen it: its mark and its "
           "alarms stop calling until its health changes again"));
}

// The events, what the panel last did under them, and the selected event whole beside them.
void MonitorView::makeEvents() {
    split_ = new QSplitter(Qt::Horizontal, this);
    split_->setObjectName(QStringLiteral("eventsSplitter"));
    split_->setChildrenCollapsible(false);
    // The events, and under them what the panel last did (an export written or not).
    auto* events = new QWidget(split_);
    table_ = new QTableWidget(0, kColumns, events);
    table_->setObjectName(QStringLiteral("eventsTable"));
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    // One line a row, cut with "…" where the column ends; the cell's tool tip and the details
    // pane hold the whole text.
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    // Never sideways: the columns share the width, "Why" keeps a third of it at least.
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->viewport()->installEventFilter(this);
    table_->setMinimumHeight(120);
    // The selected event whole, and what can be done about it, beside the table.
    auto* side = new QWidget(split_);
    details_ = new QLabel(side);
    details_->setObjectName(QStringLiteral("eventDetails"));
    details_->setTextFormat(Qt::RichText);
    details_->setWordWrap(true);
    details_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details_->setFrameShape(QFrame::StyledPanel);
    details_->setMargin(6);
    details_->setMinimumWidth(230);
    auto* sideColumn = new QVBoxLayout(side);
    sideColumn->setContentsMargins(0, 0, 0, 0);
    sideColumn->addWidget(details_, 1);
    sideColumn->addWidget(acknowledge_, 0, Qt::AlignRight);
    note_ = new QLabel(events);
    note_->setObjectName(QStringLiteral("eventsNote"));
    note_->setTextFormat(Qt::PlainText);  // it names the export's file
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* eventsColumn = new QVBoxLayout(events);
    eventsColumn->setContentsMargins(0, 0, 0, 0);
    eventsColumn->addWidget(table_, 1);
    eventsColumn->addWidget(note_);
    split_->addWidget(events);
    split_->addWidget(side);
    split_->setStretchFactor(0, 3);
    split_->setStretchFactor(1, 1);
    split_->setSizes({560, 240});
}

// The monitor's status, the filters' row, and the events under them.
void MonitorView::layOut() {
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("monitorStatus"));
    status_->setTextFormat(Qt::PlainText);
    auto* filters = new QHBoxLayout;
    filters->addWidget(captionFor(element_, tr("Events of:"), this));
    filters->addWidget(element_, 1);
    filters->addWidget(captionFor(severity_, tr("Severity:"), this));
    filters->addWidget(severity_);
    filters->addStretch();
    filters->addWidget(export_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addLayout(filters);
    layout->addWidget(split_, 1);
    // Tab reads as the eye does: the filters, the export, the events, then what to do about one.
    QWidget::setTabOrder(table_, acknowledge_);
    showDetails();
}

// What the filters, the buttons, the table and its scroll bar do, and the look at the monitor
// every half second.
void MonitorView::connectControls() {
    connect(element_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(severity_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(export_, &QPushButton::clicked, this,
            [this] { gate_.dispatch(ports::EventGate::Kind::Operator, [this] { exportCsv(); }); });
    connect(acknowledge_, &QPushButton::clicked, this, [this] {
        gate_.dispatch(ports::EventGate::Kind::Operator, [this] { acknowledgeSelected(); });
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { showDetails(); });
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
    // An acknowledgement made anywhere (the menu, another view) calms this panel's rows too.
    bool seen = false;
    for (const auto& e : monitor.elements())
        if (e.acknowledged) seen = learnSeen(e.mac, e.acknowledgedAtUnixMs) || seen;
    if (seen)
        for (int row = 0; row < table_->rowCount(); ++row) showCalm(row);
    showDetails();
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
        // What was written since the newest row read, whatever its time says: after the clock
        // was stepped back, new events are older than the rows on top and would never show.
        if (newestSeq_ >= 0) q.writtenAfter = newestSeq_;
        read(Reading::Newer, q);
    } else if (wantOlder_ && older_ && !rows_.empty()) {
        auto q = filter();
        q.before = rows_.back().at;
        read(Reading::Older, q);
    }
}

ports::JournalQuery MonitorView::filter() const {
    ports::JournalQuery q;
    q.mac = element_->currentData().toString().toStdString();
    switch (severity_->currentIndex()) {
        case 1:
            q.severities = {"warning", "alarm"};
            break;
        case 2:
            q.severities = {"alarm"};
            break;
        default:
            break;
    }
    return q;
}

void MonitorView::setTimesInUtc(bool utc) {
    timesInUtc_ = utc;
    table_->setHorizontalHeaderLabels({utc ? tr("Time (UTC)") : tr("Time"), tr("Element"),
                                       tr("What"), tr("From → to"), tr("Why")});
    for (int row = 0; row < table_->rowCount(); ++row) showTime(row);
    if (table_->rowCount() > 0 && columnsSized_) {
        table_->resizeColumnToContents(kTime);
        natural_[kTime] = table_->columnWidth(kTime);
        fitColumns();
    }
    showDetails();
}

bool MonitorView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && table_ && watched == table_->viewport()) fitColumns();
    return QGroupBox::eventFilter(watched, event);
}

void MonitorView::fitColumns() {
    if (!columnsSized_) return;
    // The time, the element and what happened whole: they are short, and a row cut to "he…" says
    // nothing. The change takes what it would like of what is left once "Why" has a dozen
    // letters, never fewer than a few; "Why" stretches over the rest. A panel too narrow for
    // even that scrolls sideways (the tool tips hold every text whole).
    const int width = table_->viewport()->width();
    const int letter = table_->fontMetrics().averageCharWidth();
    int whole = 0;
    for (const int c : {kTime, kElement, kWhat}) {
        table_->setColumnWidth(c, natural_[static_cast<std::size_t>(c)]);
        whole += natural_[static_cast<std::size_t>(c)];
    }
    const int least = std::min(natural_[kChange], 6 * letter);
    table_->setColumnWidth(
        kChange, std::max(least, std::min(natural_[kChange], width - whole - 12 * letter)));
}

}  // namespace nms::ui
