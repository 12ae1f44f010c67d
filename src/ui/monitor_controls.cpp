#include "ui/monitor_controls.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

#include "monitor/plant_monitor.h"
#include "platform/operator_name.h"
#include "platform/qt_text.h"
#include "protocol/element_key.h"
#include "protocol/text.h"
#include "station/main_toolbar.h"
#include "station/sites.h"
#include "station/station_context.h"
#include "ui/bindings.h"
#include "ui/health_marks.h"
#include "ui/monitor_view.h"
#include "ui/plain_text.h"
#include "ui/settings_dialog.h"

namespace nms::ui {
namespace {

using monitor::Health;
namespace keys = station::settings;

// A window on a bare model has no settings: the declared fallback.
int numberSetting(const station::StationContext* context, const keys::Key& key) {
    long long fallback = 0;
    protocol::text::parseInteger(key.fallback, fallback);
    return static_cast<int>(context ? context->numberSetting(key) : fallback);
}

// Worst first: what needs attention stands at the top of a list grouped by health.
TreeGroup healthGroup(const monitor::PlantMonitor& monitor, const ports::TreeView::Node& node) {
    const auto* e = monitor.running() ? monitor.find(node.key) : nullptr;
    const Health health = e ? e->health : Health::Unknown;
    if (health == Health::Unknown) return {4, QStringLiteral("Not monitored")};
    // By the health's number: online, warning, alarm, offline.
    constexpr int kRank[] = {4, 3, 2, 0, 1};
    return {kRank[static_cast<int>(health)], healthText(health)};
}

TreeGroup roleGroup(const ports::TreeView::Node& node) {
    if (node.image == station::toolbar::kPictureEncoder) return {0, QStringLiteral("Encoders")};
    if (node.image == station::toolbar::kPictureDecoder) return {1, QStringLiteral("Decoders")};
    return {2, QStringLiteral("Other")};
}

}  // namespace

QString MonitorControls::countsText(int online, int warning, int alarm, int offline,
                                    int acknowledged) {
    QString text = QStringLiteral("%1 online · %2 warning · %3 alarm · %4 offline")
                       .arg(online)
                       .arg(warning)
                       .arg(alarm)
                       .arg(offline);
    if (acknowledged > 0) text += QStringLiteral(" (%1 acknowledged)").arg(acknowledged);
    return text;
}

MonitorControls::MonitorControls(QMainWindow* window, monitor::PlantMonitor& monitor,
                                 station::StationContext* context, MonitorView* view,
                                 QTreeView* tree)
    : QObject(window),
      window_(window),
      monitor_model_(monitor),
      context_(context),
      view_(view),
      tree_(tree) {
    makeMonitorAction();
    makeSettingsAction();
    makeAcknowledgeAction();
    makeGroupingActions();
    makeStatusBar();
    if (context_) groupBy(QString::fromStdString(context_->setting(keys::kTreeGrouping)));
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { follow(); });
    timer->start(500);
    if (tree_)
        connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this] { follow(); });
    follow();
}

void MonitorControls::makeMonitorAction() {
    monitor_ = new QAction(tr("Plant &monitor"), this);
    monitor_->setObjectName(QStringLiteral("actionPlantMonitor"));
    monitor_->setCheckable(true);
    monitor_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    monitor_->setShortcutContext(Qt::WindowShortcut);
    monitor_->setToolTip(tr("Ask every element for its statistics in cycles and show its health"));
    monitor_->setChecked(monitor_model_.running());
    window_->addAction(monitor_);
    // The toolbar's toggle is the one switch: the menu item follows it and works it.
    if (view_) {
        QAction* toggle = view_->toggle();
        connect(monitor_, &QAction::triggered, toggle, [toggle](bool on) {
            if (toggle->isChecked() != on) toggle->setChecked(on);
        });
        connect(toggle, &QAction::toggled, monitor_, [this](bool on) {
            monitor_->setChecked(on);
            // The status bar says so as soon as the switch has run, not at the next look.
            QTimer::singleShot(0, this, [this] { follow(); });
        });
    }
}

void MonitorControls::makeSettingsAction() {
    settings_ = new QAction(tr("S&ettings..."), this);
    settings_->setObjectName(QStringLiteral("actionSettings"));
    settings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings_->setShortcutContext(Qt::WindowShortcut);
    window_->addAction(settings_);
    connect(settings_, &QAction::triggered, this, [this] { showSettings(); });
}

void MonitorControls::makeAcknowledgeAction() {
    acknowledge_ = new QAction(tr("A&cknowledge alarm"), this);
    acknowledge_->setObjectName(QStringLiteral("actionAcknowledge"));
    acknowledge_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    acknowledge_->setShortcutContext(Qt::WindowShortcut);
    acknowledge_->setToolTip(
        tr("The chosen element's warning, alarm or offline is seen: its mark stops calling until "
           "its health changes again"));
    acknowledge_->setEnabled(false);
    window_->addAction(acknowledge_);
    connect(acknowledge_, &QAction::triggered, this, [this] { acknowledgeSelected(); });
}

// The tree's groupings, one checked at a time.
void MonitorControls::makeGroupingActions() {
    groups_ = new QActionGroup(this);
    groups_->setExclusive(true);
    const struct {
        const char* name;
        QString text;
        const char* grouping;
    } groupings[] = {{"actionGroupNone", tr("&Not grouped"), ""},
                     {"actionGroupHealth", tr("By &health"), "health"},
                     {"actionGroupRole", tr("By &role"), "role"},
                     {"actionGroupSite", tr("By &site"), "site"}};
    for (const auto& g : groupings) {
        auto* item = groups_->addAction(g.text);
        item->setObjectName(QLatin1String(g.name));
        item->setCheckable(true);
        item->setData(QString::fromLatin1(g.grouping));
        window_->addAction(item);
    }
    connect(groups_, &QActionGroup::triggered, this,
            [this](QAction* item) { groupBy(item->data().toString()); });
}

// The monitor's state and the health counts in the status bar, with the legend as their tip.
void MonitorControls::makeStatusBar() {
    state_ = new QLabel(window_);
    state_->setObjectName(QStringLiteral("monitorState"));
    counts_ = new QLabel(window_);
    counts_->setObjectName(QStringLiteral("healthCounts"));
    counts_->installEventFilter(this);
    window_->statusBar()->addWidget(state_);
    window_->statusBar()->addWidget(counts_);
    window_->statusBar()->show();
    if (tree_ && !tree_->isHeaderHidden()) tree_->header()->installEventFilter(this);
}

bool MonitorControls::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->toolTip().isEmpty()) {
            static const QString legend = healthLegend();
            widget->setToolTip(legend);
        }
        watched->removeEventFilter(this);
    }
    return false;
}

void MonitorControls::addTo(QMenu* station, QMenu* element, bool list) {
    if (station) {
        // Before the web status, which shows the monitor's state on the network.
        QAction* before = nullptr;
        for (QAction* a : station->actions())
            if (a->objectName() == QLatin1String("actionWebStatus")) before = a;
        station->insertAction(before, monitor_);
        if (list) {
            QMenu* group = new QMenu(tr("&Group list by"), station);
            group->setObjectName(QStringLiteral("menuGroupBy"));
            group->addActions(groups_->actions());
            station->insertMenu(before, group);
        }
        station->insertAction(before, settings_);
    }
    if (element) element->addAction(acknowledge_);
}

void MonitorControls::groupBy(const QString& grouping) {
    const QString chosen = grouping == QLatin1String("health") || grouping == QLatin1String("role") ||
                                   grouping == QLatin1String("site")
                               ? grouping
                               : QString();
    for (QAction* item : groups_->actions()) item->setChecked(item->data().toString() == chosen);
    const bool changed = chosen != grouping_;
    grouping_ = chosen;
    if (context_ && changed) context_->setSetting(keys::kTreeGrouping, chosen.toStdString());
    if (!tree_) return;
    if (chosen == QLatin1String("health")) {
        const monitor::PlantMonitor& monitor = monitor_model_;
        groupTree(tree_, [&monitor](const ports::TreeView::Node& n) { return healthGroup(monitor, n); });
    } else if (chosen == QLatin1String("role")) {
        groupTree(tree_, roleGroup);
    } else if (chosen == QLatin1String("site") && context_) {
        // The declared sites in their order, the station's own segment after them. The tree keeps
        // this grouping across rebuilds, so the sites are read again once they have changed.
        auto* ctx = context_;
        groupTree(tree_, [ctx, declared = std::string(), sites = station::Sites()](
                             const ports::TreeView::Node& n) mutable {
            if (std::string now = ctx->setting(station::settings::kSites); now != declared) {
                sites = station::readSites(now);
                declared = std::move(now);
            }
            // A row is grouped outside the station's events: its values are one version of the file.
            const store::ProfileStore::ReadTurn turn(ctx->db());
            const std::string ip = protocol::text::trim(
                ctx->db().ReadFromINI(protocol::ElementKey(n.key), "ip", ctx->databasePath(), ""));
            if (const auto* site = station::siteOf(sites, ip))
                return TreeGroup{static_cast<int>(site - sites.data()), QString::fromStdString(site->name)};
            return TreeGroup{static_cast<int>(sites.size()), QStringLiteral("This segment")};
        });
    } else {
        groupTree(tree_, {});
    }
}

void MonitorControls::follow() {
    const auto& monitor = monitor_model_;
    const bool running = monitor.running();
    const bool paused = monitor.paused();
    if (monitor.revision() != shownRevision_ || running != shownRunning_ || paused != shownPaused_) {
        shownRevision_ = monitor.revision();
        shownRunning_ = running;
        shownPaused_ = paused;
        if (!running) {
            state_->setText(tr("Plant monitor: off"));
        } else if (paused) {
            state_->setText(tr("Plant monitor: paused while a window uses port 2978"));
        } else {
            state_->setText(tr("Plant monitor: every %1 s").arg(monitor.interval()));
        }
        state_->setToolTip(plainToolTip(platform::fromModel(monitor.status())));
        const auto c = monitor.counts();
        counts_->setText(countsText(c.online, c.warning, c.alarm, c.offline, c.acknowledged));
        counts_->setVisible(running);
        if (grouping_ == QLatin1String("health") && tree_) regroupTree(tree_);
    }
    if (monitor_->isChecked() != running) monitor_->setChecked(running);
    acknowledge_->setEnabled(running && monitor.acknowledgeable(selectedMac()));
}

std::string MonitorControls::selectedMac() const {
    if (!tree_) return {};
    return tree_->currentIndex().siblingAtColumn(0).data(Qt::UserRole).toString().toStdString();
}

void MonitorControls::acknowledgeSelected() {
    const std::string mac = selectedMac();
    if (mac.empty()) return;
    monitor_model_.acknowledge(mac, platform::operatorName());
    if (tree_) tree_->viewport()->update();
    follow();
}

void MonitorControls::showSettings() {
    if (!dialog_) {
        dialog_ = new StationSettingsDialog(window_);
        connect(dialog_, &QDialog::accepted, this, [this] {
            const auto v = dialog_->values();
            monitor_model_.setInterval(v.intervalSeconds);
            if (context_) {
                context_->setSetting(keys::kMonitorInterval, std::to_string(v.intervalSeconds));
                context_->setSetting(keys::kJournalDays, std::to_string(v.journalDays));
                context_->setSetting(keys::kJournalMegabytes, std::to_string(v.journalMegabytes));
                context_->setSetting(keys::kEventTimesUtc, v.timesInUtc ? "1" : "0");
            }
            if (onTimesInUtc) onTimesInUtc(v.timesInUtc);
            shownRevision_ = ~std::uint64_t{0};
            follow();
        });
    }
    using monitor::PlantMonitor;
    StationSettingsDialog::Values v;
    v.intervalSeconds = monitor_model_.interval();
    v.journalDays = numberSetting(context_, keys::kJournalDays);
    v.journalMegabytes = numberSetting(context_, keys::kJournalMegabytes);
    v.timesInUtc = context_ && context_->setting(keys::kEventTimesUtc) == "1";
    dialog_->setValues(v);
    dialog_->open();
}

}  // namespace nms::ui
