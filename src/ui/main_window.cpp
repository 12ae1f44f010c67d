#include "ui/main_window.h"

#include <algorithm>

#include <QCheckBox>
#include <QEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_disclaimer.h"
#include "app/frm_main.h"
#include "app/frm_waiting.h"
#include "sfn/frm_adjust.h"
#include "stats/frm_statistics.h"
#include "discovery/paging.h"
#include "ui/bindings.h"
#include "ui/widget_names.h"
#include "ui/level_bar.h"
#include "ui/adjust_dialog.h"
#include "ui/monitor_view.h"
#include "ui/statistics_dialog.h"
#include "ui/waiting_dialog.h"

namespace nms::ui {
namespace {

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// One column of "caption: field [unit]" rows.
class Rows {
public:
    explicit Rows(QWidget* parent) : parent_(parent), grid_(new QGridLayout) {
        grid_->setHorizontalSpacing(10);
        grid_->setVerticalSpacing(7);
        grid_->setColumnStretch(1, 1);
        grid_->setColumnMinimumWidth(2, 64);
    }
    QGridLayout* layout() const { return grid_; }

    QLabel* caption(ports::Label& model) {
        auto* label = named(new QLabel(parent_), model);
        bind(label, model);
        return label;
    }

    void add(ports::Label& captionModel, QWidget* field, QWidget* unit = nullptr) {
        add(caption(captionModel), field, unit);
    }
    void add(QLabel* captionLabel, QWidget* field, QWidget* unit = nullptr) {
        captionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid_->addWidget(captionLabel, row_, 0);
        if (unit) {
            grid_->addWidget(field, row_, 1);
            grid_->addWidget(unit, row_, 2);
        } else {
            grid_->addWidget(field, row_, 1, 1, 2);
        }
        ++row_;
    }
    void addLayout(QLabel* captionLabel, QLayout* fields) {
        grid_->addWidget(captionLabel, row_, 0);
        grid_->addLayout(fields, row_, 1, 1, 2);
        ++row_;
    }
    void addSeparator() {
        grid_->addWidget(separator(parent_), row_, 0, 1, 3);
        ++row_;
    }
    void finish() { grid_->setRowStretch(row_, 1); }

private:
    QWidget* parent_;
    QGridLayout* grid_;
    int row_ = 0;
};

constexpr int kFieldWidth = 230;
// What the frames around a pair of columns take from the panel's width.
constexpr int kFrameAllowance = 48;

QWidget* wrap(QLayout* layout) {
    auto* w = new QWidget;
    layout->setContentsMargins(0, 0, 0, 0);
    w->setLayout(layout);
    return w;
}

}  // namespace

// Two groups of rows side by side, or one above the other when the panel is too narrow for both.
class MainWindow::Columns : public QWidget {
public:
    Columns(QLayout* left, QLayout* right, QWidget* parent) : QWidget(parent), left_(wrap(left)), right_(wrap(right)) {
        grid_ = new QGridLayout(this);
        grid_->setContentsMargins(0, 0, 0, 0);
        grid_->setHorizontalSpacing(28);
        grid_->setVerticalSpacing(7);
        arrange(true);
    }
    int twoColumnWidth() const {
        return left_->minimumSizeHint().width() + right_->minimumSizeHint().width() + grid_->horizontalSpacing();
    }
    void fitTo(int width) { arrange(width >= twoColumnWidth() + kFrameAllowance); }
    bool twoColumns() const { return two_; }

private:
    void arrange(bool two) {
        if (two == two_ && grid_->count() == 2) return;
        two_ = two;
        grid_->removeWidget(left_);
        grid_->removeWidget(right_);
        grid_->addWidget(left_, 0, 0);
        grid_->addWidget(right_, two ? 0 : 1, two ? 1 : 0);
        grid_->setColumnStretch(0, 1);
        grid_->setColumnStretch(1, two ? 1 : 0);
        grid_->setVerticalSpacing(two ? 7 : 18);
    }
    QWidget* left_;
    QWidget* right_;
    QGridLayout* grid_ = nullptr;
    bool two_ = false;
};

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
        PagingDialog::Model{paging.frmPaging, paging.lblPleaseWait, paging.lblTimeout, paging.lblSeconds,
                            paging.cmdChangeTimeout},
        &waiting.form,
        &waiting.lblWaitTimeout,
        DisclaimerDialog::Model{notice.form, notice.Label1, notice.Label2, notice.Label3, notice.chkAgree,
                                notice.cmdClose},
        &main.statistics(),
        &main.adjust(),
        &main,
    };
}

MainWindow::MainWindow(app::frmMain& model, ports::EventGate& gate, QWidget* parent)
    : MainWindow(modelOf(model), gate, parent) {}

MainWindow::MainWindow(const Model& model, ports::EventGate& gate, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    // The window's menus are fixed: no menu to hide the toolbar.
    setContextMenuPolicy(Qt::NoContextMenu);
    bindTitle(this, model.caption);
    buildToolbar(model, gate);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(6);
    splitter_->addWidget(buildTreePane(model, gate));

    auto* scroll = new QScrollArea(splitter_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    QWidget* content = buildPanel(model.panel, gate);
    if (model.main) {
        // The empty room under "Diagnostics:" holds the plant monitor's events.
        monitor_ = new MonitorView(*model.main, control<QToolBar>("Toolbar1"), control<QTreeWidget>("TreeView1"), content);
        if (auto* column = qobject_cast<QVBoxLayout*>(content->layout())) column->insertWidget(2, monitor_, 1);
    }
    scroll->setWidget(content);
    scroll_ = scroll;
    scroll->viewport()->installEventFilter(this);
    splitter_->addWidget(scroll);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({340, 940});
    setCentralWidget(splitter_);

    // The windows that open over this one are built when they first open: most sessions never
    // open most of them, and building them all would lengthen every start.
    gate_ = &gate;
    if (model.paging) {
        pagingModel_.emplace(*model.paging);
        buildWhenShown(model.paging->form, [this] { pagingDialog(); });
    }
    if (model.waitingForm && model.lblWaitTimeout) {
        waitingForm_ = model.waitingForm;
        lblWaitTimeout_ = model.lblWaitTimeout;
        buildWhenShown(*model.waitingForm, [this] { waitingDialog(); });
    }
    if (model.disclaimer) {
        disclaimerModel_.emplace(*model.disclaimer);
        buildWhenShown(model.disclaimer->form, [this] { disclaimerDialog(); });
    }
    if (model.statistics) {
        statisticsModel_ = model.statistics;
        buildWhenShown(model.statistics->form, [this] { statisticsDialog(); });
    }
    if (model.adjust) {
        adjustModel_ = model.adjust;
        buildWhenShown(model.adjust->form, [this] { adjustDialog(); });
    }

    resize(1280, 800);
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
    if (!paging_ && pagingModel_) paging_ = new PagingDialog(*pagingModel_, *gate_, this);
    return paging_;
}

WaitingDialog* MainWindow::waitingDialog() {
    if (!waiting_ && waitingForm_) waiting_ = new WaitingDialog(*waitingForm_, *lblWaitTimeout_, *gate_, this);
    return waiting_;
}

DisclaimerDialog* MainWindow::disclaimerDialog() {
    if (!disclaimer_ && disclaimerModel_) disclaimer_ = new DisclaimerDialog(*disclaimerModel_, *gate_, this);
    return disclaimer_;
}

StatisticsDialog* MainWindow::statisticsDialog() {
    if (!statistics_ && statisticsModel_) statistics_ = new StatisticsDialog(*statisticsModel_, *gate_, this);
    return statistics_;
}

AdjustDialog* MainWindow::adjustDialog() {
    if (!adjust_ && adjustModel_) adjust_ = new AdjustDialog(*adjustModel_, *gate_, this);
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
    if (scroll_ && watched == scroll_->viewport() && event->type() == QEvent::Resize) {
        for (Columns* columns : columns_) columns->fitTo(scroll_->viewport()->width());
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
    bind(list, model.cmbNMSIPAddr, gate);
}

QWidget* MainWindow::buildTreePane(const Model& model, ports::EventGate& gate) {
    auto* frame = named(new QGroupBox(), model.frmTreeView);
    auto* tree = named(new QTreeWidget(frame), model.TreeView1);
    tree->setIconSize(QSize(20, 20));
    // Names are stored blank-padded to a fixed width: a fixed-pitch font lines the addresses up.
    tree->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    tree->setMinimumWidth(240);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(tree);
    bind(frame, model.frmTreeView);
    bind(tree, model.TreeView1, gate);
    return frame;
}

QWidget* MainWindow::buildPanel(editor::PropertiesPanel& p, ports::EventGate& gate) {
    auto* content = new QWidget();
    content->setObjectName(QStringLiteral("propertiesPanel"));

    auto label = [](QWidget* parent, ports::Label& model) {
        auto* w = named(new QLabel(parent), model);
        bind(w, model);
        return w;
    };
    // A value the station shows but the operator does not edit; it can still be copied.
    auto value = [&label](QWidget* parent, ports::Label& model) {
        auto* w = label(parent, model);
        w->setTextInteractionFlags(Qt::TextSelectableByMouse);
        w->setMinimumWidth(140);
        return w;
    };
    auto text = [&gate](QWidget* parent, ports::TextBox& model, int width = kFieldWidth) {
        auto* w = named(new QLineEdit(parent), model);
        w->setMaximumWidth(width);
        bind(w, model, gate);
        return w;
    };
    auto list = [&gate](QWidget* parent, ports::ListControl& model) {
        auto* w = named(new QComboBox(parent), model);
        w->setMaximumWidth(kFieldWidth + 60);
        w->setMinimumWidth(kFieldWidth);
        w->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        bind(w, model, gate);
        return w;
    };
    auto check = [&gate](QWidget* parent, ports::CheckBox& model) {
        auto* w = named(new QCheckBox(parent), model);
        bind(w, model, gate);
        return w;
    };
    auto scroll = [&gate](QWidget* parent, ports::ScrollBar& model) {
        auto* w = named(new QScrollBar(Qt::Horizontal, parent), model);
        w->setMinimumWidth(160);
        bind(w, model, gate);
        return w;
    };
    auto unit = [&label](QWidget* parent, ports::Label& model) {
        auto* w = label(parent, model);
        w->setMinimumWidth(64);
        w->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return w;
    };
    auto button = [&gate](QWidget* parent, ports::Button& model) {
        auto* w = named(new QPushButton(parent), model);
        w->setAutoDefault(false);
        bind(w, model, gate);
        return w;
    };
    auto pair = [](QWidget* first, QLabel* secondCaption, QWidget* second) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(first);
        row->addSpacing(16);
        row->addWidget(secondCaption);
        row->addWidget(second);
        row->addStretch();
        return row;
    };

    // --- Element properties
    auto* properties = named(new QGroupBox(content), p.frmProperties);
    bind(properties, p.frmProperties);

    Rows element(properties);
    {
        auto* type = value(properties, p.lblElementType);
        QFont bold = type->font();
        bold.setBold(true);
        type->setFont(bold);
        element.add(p.lblCapElementType, type);
        element.add(p.lblCapElementMAC, value(properties, p.lblElementMAC));
        element.add(p.lblCapSerialNumber, value(properties, p.lblSerialNumber));
        element.add(p.lblCapVersion, value(properties, p.lblVersion));
        element.addSeparator();
        element.add(p.lblCapElementName, text(properties, p.txtElementName));
        element.add(p.lblCapElementIP, text(properties, p.txtElementIP));
        element.add(p.lblCapElementMask, text(properties, p.txtElementMask));
        element.add(p.lblCapElementGW, text(properties, p.txtElementGW));
        auto* vlan = new QHBoxLayout;
        vlan->setSpacing(8);
        vlan->addWidget(label(properties, p.lblCapVLANAudio));
        vlan->addWidget(text(properties, p.txtVLAN_Audio, 64));
        vlan->addSpacing(12);
        vlan->addWidget(label(properties, p.lblCapVLANOM));
        vlan->addWidget(text(properties, p.txtVLAN_OM, 64));
        vlan->addStretch();
        element.addLayout(element.caption(p.lblCapVLAN), vlan);
        element.addSeparator();
        auto* firmware = new QHBoxLayout;
        firmware->addWidget(button(properties, p.cmdBrowseFW));
        firmware->addStretch();
        element.addLayout(element.caption(p.lblCapUploadFW), firmware);
        element.finish();
    }

    Rows audio(properties);
    {
        audio.add(p.Label9, list(properties, p.cmbAudioInput));
        audio.add(p.lblCapAudioType, list(properties, p.cmbAudioType));
        audio.addLayout(audio.caption(p.lblCapCompression),
                        pair(check(properties, p.chkEnableFLAC), label(properties, p.lblCapNarrowBand),
                             check(properties, p.chkNarrowBand)));
        audio.add(p.Label10, list(properties, p.cmbAudioTX));
        audio.add(p.Label7, text(properties, p.txtRemoteIP));
        audio.add(p.Label27, text(properties, p.txtAES67Channel));
        audio.add(p.lblCapEncoders, list(properties, p.cmbEncoders));
        audio.addSeparator();
        audio.addLayout(audio.caption(p.lblCapSFN), pair(check(properties, p.chkSFNEnabled),
                                                         label(properties, p.lblCapLowLatency),
                                                         check(properties, p.chkLowLatency)));
        audio.finish();
    }

    Rows level(properties);
    level.add(p.Label16, scroll(properties, p.scrlAtten), unit(properties, p.lblAttenDB));
    level.add(p.Label20, scroll(properties, p.scrlBuffer), unit(properties, p.lblLatency));
    level.finish();

    Rows silence(properties);
    silence.add(p.Label22, list(properties, p.cmbSilDetMode));
    silence.add(p.Label24, scroll(properties, p.scrlSilDetLevel), unit(properties, p.lblSilDetLevel));
    silence.add(p.Label26, scroll(properties, p.scrlSilDetTime), unit(properties, p.lblSilDetTime));
    silence.finish();

    auto* propertiesLayout = new QVBoxLayout(properties);
    propertiesLayout->setContentsMargins(14, 14, 14, 14);
    propertiesLayout->setSpacing(10);
    columns_.push_back(new Columns(element.layout(), audio.layout(), properties));
    propertiesLayout->addWidget(columns_.back());
    propertiesLayout->addWidget(separator(properties));
    columns_.push_back(new Columns(level.layout(), silence.layout(), properties));
    propertiesLayout->addWidget(columns_.back());

    // --- Diagnostics
    auto* diagnostics = named(new QGroupBox(content), p.frmDiagnostics);
    bind(diagnostics, p.frmDiagnostics);
    Rows diagLeft(diagnostics);
    {
        auto* ping = button(diagnostics, p.cmdPing);
        ping->setMinimumWidth(170);
        auto* pingRow = new QHBoxLayout;
        pingRow->addWidget(ping);
        pingRow->addStretch();
        diagLeft.addLayout(diagLeft.caption(p.lblCapPing), pingRow);
        auto* meterRow = new QHBoxLayout;
        meterRow->setSpacing(10);
        auto* meter = named(new LevelBar(diagnostics), p.VUMeter);
        bind(meter, p.VUMeter);
        meterRow->addWidget(meter);
        auto* volume = label(diagnostics, p.lblVolume);
        // A fixed size: a new level is then a repaint of the label alone, never a new layout of
        // the panel (twenty times a second while monitoring).
        volume->setFixedSize(std::max(80, volume->fontMetrics().horizontalAdvance(QStringLiteral("-138.5dBFS")) + 8),
                             volume->sizeHint().height());
        meterRow->addWidget(volume);
        meterRow->addWidget(check(diagnostics, p.chkGetVolume));
        meterRow->addStretch();
        diagLeft.addLayout(diagLeft.caption(p.lblCapVolume), meterRow);
    }
    Rows diagRight(diagnostics);
    {
        auto* stats = new QHBoxLayout;
        stats->addWidget(button(diagnostics, p.cmdGetStats));
        stats->addStretch();
        diagRight.addLayout(diagRight.caption(p.lblCapStats), stats);
        auto* adjust = new QHBoxLayout;
        adjust->addWidget(button(diagnostics, p.cmdAdjust));
        adjust->addStretch();
        diagRight.addLayout(diagRight.caption(p.lblCapAdjust), adjust);
    }
    auto* diagnosticsLayout = new QVBoxLayout(diagnostics);
    diagnosticsLayout->setContentsMargins(14, 14, 14, 14);
    columns_.push_back(new Columns(diagLeft.layout(), diagRight.layout(), diagnostics));
    diagnosticsLayout->addWidget(columns_.back());

    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->setSpacing(10);
    layout->addWidget(properties);
    layout->addWidget(diagnostics);
    layout->addStretch(1);
    return content;
}

}  // namespace nms::ui
