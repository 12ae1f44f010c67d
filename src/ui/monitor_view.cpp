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
#include <QPushButton>
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
#include "ui/icons.h"

namespace nms::ui {
namespace {

using monitor::Health;

QColor colourOf(Health h) {
    switch (h) {
        case Health::Online:
            return QColor(0x2e, 0xb8, 0x4b);
        case Health::Warning:
            return QColor(0xf0, 0xa8, 0x18);
        case Health::Alarm:
            return QColor(0xe0, 0x20, 0x20);
        case Health::Offline:
            return QColor(0x9a, 0x5a, 0x5a);
        case Health::Unknown:
            break;
    }
    return {};
}

QString wordOf(Health h) {
    switch (h) {
        case Health::Online:
            return QStringLiteral("Online");
        case Health::Warning:
            return QStringLiteral("Warning");
        case Health::Alarm:
            return QStringLiteral("Alarm");
        case Health::Offline:
            return QStringLiteral("Offline");
        case Health::Unknown:
            break;
    }
    return QStringLiteral("Unknown");
}

// Draws the health mark at the right end of a node and says why in its tool tip.
class HealthMarks : public QStyledItemDelegate {
public:
    HealthMarks(const monitor::PlantMonitor& monitor, QObject* parent) : QStyledItemDelegate(parent), monitor_(monitor) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() != 0 || !monitor_.running()) return;
        const auto* e = element(index);
        if (!e || e->health == Health::Unknown) return;
        const int d = std::max(8, option.rect.height() / 2);
        const QRect dot(option.rect.right() - d - 6, option.rect.center().y() - d / 2, d, d);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option.palette.color(QPalette::Text), 1));
        painter->setBrush(colourOf(e->health));
        painter->drawEllipse(dot);
        painter->restore();
    }

    // Room for the mark whether the monitor is on or not: the column is sized when the tree is
    // built, and the mark must not cover the end of a node's text once monitoring starts.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.column() == 0) size.rwidth() += std::max(8, size.height() / 2) + 12;
        return size;
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        const auto* e = element(index);
        if (!e || !monitor_.running())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QToolTip::showText(
            event->globalPos(),
            wordOf(e->health) + QStringLiteral(": ") + platform::fromModel(e->reason), view);
        return true;
    }

private:
    const monitor::PlantMonitor::Element* element(const QModelIndex& index) const {
        // A node's key is its element's MAC text, as the monitor knows it.
        const QString mac = index.siblingAtColumn(0).data(Qt::UserRole).toString();
        return mac.isEmpty() ? nullptr : monitor_.find(mac.toStdString());
    }
    const monitor::PlantMonitor& monitor_;
};

}  // namespace

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
    auto* exportButton = new QPushButton(tr("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("cmdExportEvents"));
    exportButton->setAutoDefault(false);
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
    filters->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);

    connect(element_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(severity_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
    // The journal is read again only when the monitor has something new to show: a cycle that
    // changed a health, the operator's own change between cycles, a new status.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (monitor_.revision() != shownRevision_ || toggle_->isChecked() != monitor_.running())
            refresh();
    });
    timer->start(500);
    refresh();
}

void MonitorView::refresh() {
    auto& monitor = monitor_;
    shownRevision_ = monitor.revision();
    // Elements to filter by, as the monitor knows them.
    const QString chosen = element_->currentData().toString();
    if (element_->count() != static_cast<int>(monitor.elements().size()) + 1) {
        const QSignalBlocker block(element_);
        element_->clear();
        element_->addItem(tr("All"), QString());
        for (const auto& e : monitor.elements())
            element_->addItem(platform::fromModel(e.name) + QStringLiteral(" [") +
                                  QString::fromStdString(e.mac) + "]",
                              QString::fromStdString(e.mac));
        const int at = element_->findData(chosen);
        element_->setCurrentIndex(at < 0 ? 0 : at);
    }
    const auto events =
        monitor.journal().query(0, element_->currentData().toString().toStdString());
    const QString severity = severity_->currentIndex() > 0 ? severity_->currentText() : QString();
    table_->setRowCount(0);
    int row = 0;
    for (const auto& e : events) {
        if (!severity.isEmpty() && QString::fromStdString(e.severity) != severity) continue;
        if (row >= 500) break;  // the export has everything; the panel the latest
        table_->insertRow(row);
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
        ++row;
    }
    table_->resizeColumnsToContents();
    toggle_->setChecked(monitor_.running());
    // Said once, in the panel: a port that cannot be used or a journal that cannot be written.
    const std::string& journal = monitor.journalProblem();
    status_->setText(
        platform::fromModel(journal.empty() ? monitor.status() : monitor.status() + " " + journal));
    if (tree_) tree_->viewport()->update();
}

QString MonitorView::csv() const {
    auto quoted = [](const std::string& v) {
        QString s = platform::fromModel(v);
        s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + s + QLatin1Char('"');
    };
    QString out = QStringLiteral("time_utc,mac,name,severity,what,from,to,detail\r\n");
    for (const auto& e : monitor_.journal().query(0, {}))
        out += quoted(protocol::text::isoUtcTime(e.unixTimeMs, true)) + ',' + quoted(e.mac) + ',' +
               quoted(e.name) + ',' + quoted(e.severity) + ',' + quoted(e.what) + ',' +
               quoted(e.from) + ',' + quoted(e.to) + ',' + quoted(e.detail) +
               QStringLiteral("\r\n");
    return out;
}

void MonitorView::exportCsv() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export the events"), QStringLiteral("nms-events.csv"), tr("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(csv().toUtf8());
}

}  // namespace nms::ui
