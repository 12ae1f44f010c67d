#include "ui/main_window.h"

#include "ui/main_window_columns.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/frm_disclaimer.h"
#include "app/frm_main.h"
#include "editor/frm_waiting.h"
#include "sfn/frm_adjust.h"
#include "stats/frm_statistics.h"
#include "discovery/paging.h"
#include "ui/bindings.h"
#include "ui/widget_names.h"
#include "ui/level_bar.h"
#include "ui/adjust_dialog.h"
#include "ui/monitor_controls.h"
#include "ui/monitor_view.h"
#include "ui/change_markers.h"
#include "ui/help_window.h"
#include "ui/statistics_dialog.h"
#include "ui/waiting_dialog.h"
#include "ui/wheel_guard.h"
#include "ui/window_layout.h"
#include "platform/qt_text.h"
#include "protocol/element_key.h"
#include "store/element_record.h"

namespace nms::ui {

namespace {

// The tree's columns beside a node: what the element's stored record says of it.
std::function<QStringList(const ports::TreeView::Node&)> recordColumns(app::frmMain& main) {
    return [&main](const ports::TreeView::Node& node) {
        namespace rec = store::record;
        const std::string section = protocol::ElementKey(node.key);
        // A row is drawn outside the station's events: its values are one version of the file.
        const store::ProfileStore::ReadTurn turn(main.db());
        auto read = [&](std::string_view key) {
            return platform::fromModel(
                main.db().ReadFromINI(section, std::string(key), main.databasePath(), "")).trimmed();
        };
        return QStringList{read(rec::kIp), read(rec::kVersion), read(rec::kSerial)};
    };
}

}  // namespace

MainWindow::Model MainWindow::modelOf(app::frmMain& main) {
    auto& paging = main.paging();
    auto& waiting = main.waiting();
    auto& notice = main.disclaimer();
    return Model{
        main.caption,
        main.Toolbar1,
        main.frmTreeView,
        main.TreeView1,
        main.lblNMSIPAddr,
        main.cmbNMSIPAddr,
        main.panel,
        DialogModels{
            PagingDialog::Model{paging.frmPaging, paging.lblPleaseWait, paging.lblTimeout, paging.lblSeconds,
                                paging.cmdChangeTimeout, &paging.cmdCancel},
            &waiting.form,
            &waiting.lblWaitTimeout,
            DisclaimerDialog::Model{notice.form, notice.Label1, notice.Label2, notice.Label3, notice.chkAgree,
                                    notice.cmdClose},
            &main.statistics(),
            &main.adjust(),
        },
        &main.plantMonitor(),
        [&main](bool on) { main.setPlantMonitoring(on); },
        &main.AudioTypes,
        [&main](std::string_view key, std::string_view fallback) {
            return main.context().readShown(key, fallback);
        },
        recordColumns(main),
        main.databasePath(),
        plantLinksOf(main),
    };
}

MainWindow::MainWindow(app::frmMain& model, ports::EventGate& gate, QWidget* parent)
    : MainWindow(modelOf(model), gate, parent) {}

MainWindow::MainWindow(const Model& model, ports::EventGate& gate, QWidget* parent)
    : QMainWindow(parent), dialogModels_(model.dialogs) {
    setObjectName(QStringLiteral("frmMain"));
    // The window's menus are fixed: no menu to hide the toolbar.
    setContextMenuPolicy(Qt::NoContextMenu);
    bindTitle(this, model.caption);
    buildToolbar(model, gate);
    buildPanes(model, gate);
    about_.databasePath = platform::fromModel(model.databasePath);
    buildDialogsWhenShown(model, gate);
    if (model.plant) plant_ = new PlantWindows(*model.plant, gate, this);
    buildMenus(model);
    if (model.plantMonitor) buildMonitorControls(model);
    finishTabOrder();
    resize(1280, 800);
}

// The tree on the left; on the right the panel, and under it the plant monitor's events.
void MainWindow::buildPanes(const Model& model, ports::EventGate& gate) {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(6);
    splitter_->addWidget(buildTreePane(model, gate));

    auto* scroll = new QScrollArea(splitter_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // The panel's fields take the focus, not the area around them.
    scroll->setFocusPolicy(Qt::NoFocus);
    QWidget* content = buildPanel(model, gate);
    scroll->setWidget(content);
    scrollViewport_ = scroll->viewport();
    scrollViewport_->installEventFilter(this);
    if (model.plantMonitor) {
        splitter_->addWidget(buildEventsPane(model, gate, scroll));
    } else {
        splitter_->addWidget(scroll);
    }
    // The tree's columns want room on a wide window; a narrow one takes most from the panel's
    // side, which flows into one column.
    splitter_->setStretchFactor(0, model.nodeColumns ? 1 : 0);
    splitter_->setStretchFactor(1, model.nodeColumns ? 2 : 1);
    splitter_->setSizes({model.nodeColumns ? 460 : 340, model.nodeColumns ? 820 : 940});
    setCentralWidget(splitter_);
}

// The plant monitor's events under the properties and diagnostics, in a split of their own that
// the operator moves: at 1280x800 the panel shows a dozen rows, and scrolling the properties
// never scrolls the events away.
QWidget* MainWindow::buildEventsPane(const Model& model, ports::EventGate& gate, QWidget* panel) {
    auto* panes = new QSplitter(Qt::Vertical, splitter_);
    panes->setObjectName(QStringLiteral("eventsPaneSplitter"));
    panes->setChildrenCollapsible(false);
    panes->setHandleWidth(6);
    panes->addWidget(panel);
    monitor_ =
        new MonitorView(*model.plantMonitor, model.setPlantMonitoring, gate,
                        control<QToolBar>("Toolbar1"), control<QTreeView>("TreeView1"), panes);
    // A window made small squeezes the panel rather than growing to the panel's least size.
    monitor_->setMinimumSize(240, 160);
    panes->addWidget(monitor_);
    panes->setStretchFactor(0, 1);
    panes->setStretchFactor(1, 1);
    panes->setSizes({330, 380});
    return panes;
}

// The windows that open over this one are built when they first open: most sessions never open
// most of them, and building them all would lengthen every start.
void MainWindow::buildDialogsWhenShown(const Model& model, ports::EventGate& gate) {
    gate_ = &gate;
    const DialogModels& d = model.dialogs;
    if (d.paging) buildWhenShown(d.paging->form, [this] { pagingDialog(); });
    if (d.waitingForm && d.lblWaitTimeout) buildWhenShown(*d.waitingForm, [this] { waitingDialog(); });
    if (d.disclaimer) buildWhenShown(d.disclaimer->form, [this] { disclaimerDialog(); });
    if (d.statistics) buildWhenShown(d.statistics->form, [this] { statisticsDialog(); });
    if (d.adjust) buildWhenShown(d.adjust->form, [this] { adjustDialog(); });
}

void MainWindow::buildMonitorControls(const Model& model) {
    monitorControls_ = new MonitorControls(this, *model.plantMonitor,
                                           model.plant ? &model.plant->context : nullptr, monitor_,
                                           control<QTreeView>("TreeView1"));
    monitorControls_->onTimesInUtc = [this](bool utc) {
        if (monitor_) monitor_->setTimesInUtc(utc);
    };
    auto* station = findChild<QMenu*>(QStringLiteral("menuStation"));
    monitorControls_->addTo(station, findChild<QMenu*>(QStringLiteral("menuElement")), true);
}

namespace {

// Access keys of the captions, unique in the window (Alt+S, E and H open the menus); each moves
// to its field, or clicks its button. A field whose caption holds no free letter is reached with
// Tab. The element list's key is its frame's.
struct AccessKey {
    const char* caption;
    char key;
    const char* field;
};
constexpr AccessKey kAccessKeys[] = {
    {"lblNMSIPAddr", 'n', "cmbNMSIPAddr"},       {"lblCapElementName", 'm', "txtElementName"},
    {"lblCapElementMask", 'k', "txtElementMask"}, {"lblCapElementGW", 'g', "txtElementGW"},
    {"lblCapVLANAudio", 'u', "txtVLAN_Audio"},   {"lblCapVLANOM", 'o', "txtVLAN_OM"},
    {"Label9", 'a', "cmbAudioInput"},            {"lblCapAudioType", 't', "cmbAudioType"},
    {"lblCapCompression", 'c', "chkEnableFLAC"}, {"lblCapNarrowBand", 'w', "chkNarrowBand"},
    {"Label10", 'x', "cmbAudioTX"},              {"Label27", '6', "txtAES67Channel"},
    {"lblCapEncoders", 'b', "cmbEncoders"},      {"lblCapSFN", 'f', "chkSFNEnabled"},
    {"lblCapLowLatency", 'y', "chkLowLatency"},  {"Label16", 'v', "scrlAtten"},
    {"Label20", 'z', "scrlBuffer"},              {"Label22", 'r', "cmbSilDetMode"},
    {"lblCapPing", 'p', "cmdPing"},              {"lblCapStats", 'i', "cmdGetStats"},
    {"lblCapAdjust", 'd', "cmdAdjust"},
};
constexpr char kTreeAccessKey = 'l';

}  // namespace

void MainWindow::finishTabOrder() {
    for (const AccessKey& k : kAccessKeys) {
        auto* caption = findChild<QLabel*>(QLatin1String(k.caption));
        auto* field = findChild<QWidget*>(QLatin1String(k.field));
        if (caption && field) setAccessKey(caption, QLatin1Char(k.key), field);
    }
    if (auto* frame = findChild<QGroupBox*>(QStringLiteral("frmTreeView")))
        setAccessKey(frame, QLatin1Char(kTreeAccessKey));
    // The order a reader takes: the toolbar's interface list, the element list, then the panel
    // column by column, top to bottom.
    for (std::size_t i = 1; i < tabChain_.size(); ++i)
        QWidget::setTabOrder(tabChain_[i - 1], tabChain_[i]);
}

void MainWindow::setInterfaceNames(std::function<QString(const QString&)> names) {
    interfaceNames_ = std::move(names);
    if (interfaceList_ && interfaceList_->onViewChanged) interfaceList_->onViewChanged();
}

void MainWindow::setAboutFacts(const AboutFacts& facts) {
    const QString database = about_.databasePath;
    about_ = facts;
    if (about_.databasePath.isEmpty()) about_.databasePath = database;
}

void MainWindow::useLayout(const QString& file) {
    layout_ = std::make_unique<WindowLayout>(file);
    about_.layoutPath = file;
    for (FormDialog* dialog : std::initializer_list<FormDialog*>{statistics_, adjust_}) {
        if (dialog) dialog->rememberIn(layout_.get());
    }
    layout_->restore(objectName(), this);
    const QByteArray splitter = layout_->state(QStringLiteral("splitter"));
    if (!splitter.isEmpty()) splitter_->restoreState(splitter);
    // The events under the properties, and the table beside the event's details.
    for (QSplitter* split : {findChild<QSplitter*>(QStringLiteral("eventsPaneSplitter")),
                             monitor_ ? monitor_->splitter() : nullptr}) {
        const QByteArray state = split ? layout_->state(split->objectName()) : QByteArray();
        if (!state.isEmpty()) split->restoreState(state);
    }
}

void MainWindow::saveLayout() const {
    if (!layout_) return;
    layout_->save(objectName(), this);
    layout_->saveState(QStringLiteral("splitter"), splitter_->saveState());
    for (QSplitter* split : {findChild<QSplitter*>(QStringLiteral("eventsPaneSplitter")),
                             monitor_ ? monitor_->splitter() : nullptr}) {
        if (split) layout_->saveState(split->objectName(), split->saveState());
    }
    if (help_ && help_->isVisible()) layout_->save(help_->objectName(), help_.get());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveLayout();
    if (help_) help_->close();
    QMainWindow::closeEvent(event);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWhenShown(ports::Form& form, std::function<void()> build) {
    // The dialog, once built, takes the form's hook over and shows itself as the form stands.
    QPointer<MainWindow> self(this);
    if (form.shown()) {
        build();
        return;
    }
    form.onViewChanged = [self, &form, build = std::move(build)] {
        if (self && form.shown()) build();
    };
}

PagingDialog* MainWindow::pagingDialog() {
    if (!paging_ && dialogModels_.paging) paging_ = new PagingDialog(*dialogModels_.paging, *gate_, this);
    return paging_;
}

WaitingDialog* MainWindow::waitingDialog() {
    const auto& d = dialogModels_;
    if (!waiting_ && d.waitingForm && d.lblWaitTimeout)
        waiting_ = new WaitingDialog(*d.waitingForm, *d.lblWaitTimeout, *gate_, this);
    return waiting_;
}

DisclaimerDialog* MainWindow::disclaimerDialog() {
    if (!disclaimer_ && dialogModels_.disclaimer)
        disclaimer_ = new DisclaimerDialog(*dialogModels_.disclaimer, *gate_, this);
    return disclaimer_;
}

// A dialog built after the layout was chosen remembers its place there too.
StatisticsDialog* MainWindow::statisticsDialog() {
    if (!statistics_ && dialogModels_.statistics) {
        statistics_ = new StatisticsDialog(*dialogModels_.statistics, *gate_, this);
        if (layout_) statistics_->rememberIn(layout_.get());
    }
    return statistics_;
}

AdjustDialog* MainWindow::adjustDialog() {
    if (!adjust_ && dialogModels_.adjust) {
        adjust_ = new AdjustDialog(*dialogModels_.adjust, *gate_, this);
        if (layout_) adjust_->rememberIn(layout_.get());
    }
    return adjust_;
}

void MainWindow::markSimulated() {
    auto* mark = new QLabel(tr("Simulated network"), this);
    mark->setObjectName(QStringLiteral("simulatedNetwork"));
    QFont bold = mark->font();
    bold.setBold(true);
    mark->setFont(bold);
    mark->setStyleSheet(QStringLiteral("QLabel { background: #ffd54f; color: #000; padding: 2px 10px; }"));
    mark->setToolTip(tr("This window drives the built-in demo plant: nothing goes to a real network."));
    statusBar()->addPermanentWidget(mark);
    mark->show();
    statusBar()->show();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The viewport as it was when the filter was installed: it may still send events while the
    // scroll area around it is being destroyed.
    if (scrollViewport_ && watched == scrollViewport_ && event->type() == QEvent::Resize) {
        for (Columns* columns : columns_) columns->fitTo(scrollViewport_->width());
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::panelInTwoColumns() const {
    for (Columns* columns : columns_) {
        if (!columns->twoColumns()) return false;
    }
    return true;
}

void MainWindow::buildToolbar(const Model& model, ports::EventGate& gate) {
    auto* toolbar = named(new QToolBar(this), model.Toolbar1);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(24, 24));
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, toolbar);
    bind(toolbar, model.Toolbar1, gate);

    // The interface every socket binds to, at the toolbar's far end.
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    auto* interfaceBox = new QWidget(toolbar);
    auto* row = new QHBoxLayout(interfaceBox);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(8);
    auto* caption = named(new QLabel(interfaceBox), model.lblNMSIPAddr);
    auto* list = named(new QComboBox(interfaceBox), model.cmbNMSIPAddr);
    list->setMinimumWidth(170);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(caption);
    row->addWidget(list);
    toolbar->addWidget(interfaceBox);
    bind(caption, model.lblNMSIPAddr);
    // Each address with its interface's name; the address stays the entry's value.
    interfaceList_ = &model.cmbNMSIPAddr;
    bind(list, model.cmbNMSIPAddr, gate, [this](const std::string& item) {
        const QString address = platform::fromModel(item);
        if (address == QLatin1String("0.0.0.0")) return tr("%1 (all interfaces)").arg(address);
        const QString name = interfaceNames_ ? interfaceNames_(address) : QString();
        return name.isEmpty() ? address : QStringLiteral("%1 (%2)").arg(address, name);
    });
    // Choosing another interface moves every socket: never by a passing wheel.
    guardWheel(list);
    tabChain_.push_back(list);
    toolbar_ = toolbar;
}

QWidget* MainWindow::buildTreePane(const Model& model, ports::EventGate& gate) {
    auto* frame = named(new QGroupBox(), model.frmTreeView);
    auto* tree = named(new QTreeView(frame), model.TreeView1);
    tree->setIconSize(QSize(20, 20));
    // Names are stored blank-padded to a fixed width: a fixed-pitch font lines the addresses up.
    tree->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    tree->setMinimumWidth(240);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(tree);
    bind(frame, model.frmTreeView);
    TreeColumns columns;
    if (model.nodeColumns) {
        columns.headers = {tr("Element"), tr("IP address"), tr("Firmware"), tr("Serial")};
        columns.values = model.nodeColumns;
        columns.widest = {QStringLiteral("255.255.255.255"), QStringLiteral("99.99"), QStringLiteral("4294967295")};
    }
    bind(tree, model.TreeView1, gate, std::move(columns));
    tabChain_.push_back(tree);
    return frame;
}

}  // namespace nms::ui
