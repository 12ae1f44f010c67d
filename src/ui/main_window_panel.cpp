// The main window's right-hand side: the properties and diagnostics frames, laid out in rows.

#include "ui/main_window.h"

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
#include "editor/frm_waiting.h"
#include "sfn/frm_adjust.h"
#include "stats/frm_statistics.h"
#include "discovery/paging.h"
#include "ui/bindings.h"
#include "ui/widget_names.h"
#include "ui/level_bar.h"
#include "ui/adjust_dialog.h"
#include "ui/monitor_view.h"
#include "ui/change_markers.h"
#include "ui/help_window.h"
#include "ui/statistics_dialog.h"
#include "ui/waiting_dialog.h"
#include "ui/wheel_guard.h"
#include "ui/window_layout.h"
#include "platform/qt_text.h"
#include "protocol/address.h"
#include "store/element_record.h"

#include "ui/main_window_columns.h"

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

    // A row's mark of an unsaved edit stands in a narrow last column.
    void add(ports::Label& captionModel, QWidget* field, QWidget* unit = nullptr,
             QWidget* mark = nullptr) {
        add(caption(captionModel), field, unit, mark);
    }
    void add(QLabel* captionLabel, QWidget* field, QWidget* unit = nullptr, QWidget* mark = nullptr) {
        captionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid_->addWidget(captionLabel, row_, 0);
        if (unit) {
            grid_->addWidget(field, row_, 1);
            grid_->addWidget(unit, row_, 2);
            if (mark) grid_->addWidget(mark, row_, 3);
        } else if (mark) {
            // The mark right beside the field, however wide the column is.
            auto* line = new QHBoxLayout;
            line->setSpacing(6);
            line->addWidget(field, 1);
            line->addWidget(mark);
            line->addStretch(0);
            grid_->addLayout(line, row_, 1, 1, 2);
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

}  // namespace

// Makes the panel's widgets, each named after its control and bound to it; those the operator
// edits join the tab chain in the order they are made.
class PanelWidgets {
public:
    PanelWidgets(ports::EventGate& gate, std::vector<QWidget*>& chain, ChangeMarkers* markers)
        : gate_(gate), chain_(chain), markers_(markers) {}

    // The mark of an unsaved edit beside `field`, when the panel shows them.
    QWidget* mark(QWidget* parent, const ports::Control& field) {
        return markers_ ? markers_->markFor(field, parent) : nullptr;
    }
    static QLabel* label(QWidget* parent, ports::Label& model) {
        auto* w = named(new QLabel(parent), model);
        bind(w, model);
        return w;
    }
    // A value the station shows but the operator does not edit; it can still be copied.
    static QLabel* value(QWidget* parent, ports::Label& model) {
        auto* w = label(parent, model);
        w->setTextInteractionFlags(Qt::TextSelectableByMouse);
        w->setMinimumWidth(140);
        return w;
    }
    QLineEdit* text(QWidget* parent, ports::TextBox& model, int width = kFieldWidth) {
        auto* w = named(new QLineEdit(parent), model);
        w->setMaximumWidth(width);
        bind(w, model, gate_);
        chain_.push_back(w);
        return w;
    }
    // Lists and scroll bars take the wheel only with the focus: a wheel over the form scrolls it.
    QComboBox* list(QWidget* parent, ports::ListControl& model) {
        auto* w = named(new QComboBox(parent), model);
        w->setMaximumWidth(kFieldWidth + 60);
        w->setMinimumWidth(kFieldWidth);
        w->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        bind(w, model, gate_);
        guardWheel(w);
        chain_.push_back(w);
        return w;
    }
    QCheckBox* check(QWidget* parent, ports::CheckBox& model) {
        auto* w = named(new QCheckBox(parent), model);
        bind(w, model, gate_);
        chain_.push_back(w);
        return w;
    }
    QScrollBar* scroll(QWidget* parent, ports::ScrollBar& model) {
        auto* w = named(new QScrollBar(Qt::Horizontal, parent), model);
        w->setMinimumWidth(160);
        // The arrow keys move the thumb the way they point, as on a slider (a scroll bar's
        // keys otherwise run as a page's would).
        w->setInvertedControls(false);
        bind(w, model, gate_);
        guardWheel(w);
        chain_.push_back(w);
        return w;
    }
    static QLabel* unit(QWidget* parent, ports::Label& model) {
        auto* w = label(parent, model);
        w->setMinimumWidth(64);
        w->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return w;
    }
    QPushButton* button(QWidget* parent, ports::Button& model) {
        auto* w = named(new QPushButton(parent), model);
        w->setAutoDefault(false);
        bind(w, model, gate_);
        chain_.push_back(w);
        return w;
    }
    // Two check boxes on one row, each with its mark beside it.
    static QHBoxLayout* pair(QWidget* first, QWidget* firstMark, QLabel* secondCaption,
                             QWidget* second, QWidget* secondMark) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(first);
        if (firstMark) row->addWidget(firstMark);
        row->addSpacing(16);
        row->addWidget(secondCaption);
        row->addWidget(second);
        if (secondMark) row->addWidget(secondMark);
        row->addStretch();
        return row;
    }

private:
    ports::EventGate& gate_;
    std::vector<QWidget*>& chain_;
    ChangeMarkers* markers_;
};

namespace {

// What the element is, its name and addresses, its VLANs and its firmware.
Rows elementRows(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* properties) {
    Rows element(properties);
    auto* type = make.value(properties, p.lblElementType);
    QFont bold = type->font();
    bold.setBold(true);
    type->setFont(bold);
    element.add(p.lblCapElementType, type);
    element.add(p.lblCapElementMAC, make.value(properties, p.lblElementMAC));
    element.add(p.lblCapSerialNumber, make.value(properties, p.lblSerialNumber));
    element.add(p.lblCapVersion, make.value(properties, p.lblVersion));
    element.addSeparator();
    element.add(p.lblCapElementName, make.text(properties, p.txtElementName), nullptr,
                make.mark(properties, p.txtElementName));
    element.add(p.lblCapElementIP, make.text(properties, p.txtElementIP), nullptr,
                make.mark(properties, p.txtElementIP));
    element.add(p.lblCapElementMask, make.text(properties, p.txtElementMask), nullptr,
                make.mark(properties, p.txtElementMask));
    element.add(p.lblCapElementGW, make.text(properties, p.txtElementGW), nullptr,
                make.mark(properties, p.txtElementGW));
    auto* vlan = new QHBoxLayout;
    vlan->setSpacing(8);
    vlan->addWidget(make.label(properties, p.lblCapVLANAudio));
    vlan->addWidget(make.text(properties, p.txtVLAN_Audio, 64));
    vlan->addSpacing(12);
    vlan->addWidget(make.label(properties, p.lblCapVLANOM));
    vlan->addWidget(make.text(properties, p.txtVLAN_OM, 64));
    vlan->addStretch();
    element.addLayout(element.caption(p.lblCapVLAN), vlan);
    element.addSeparator();
    auto* firmware = new QHBoxLayout;
    firmware->addWidget(make.button(properties, p.cmdBrowseFW));
    firmware->addStretch();
    element.addLayout(element.caption(p.lblCapUploadFW), firmware);
    element.finish();
    return element;
}

// The audio's input, type, compression and stream, and SFN.
Rows audioRows(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* properties) {
    Rows audio(properties);
    audio.add(p.Label9, make.list(properties, p.cmbAudioInput), nullptr,
              make.mark(properties, p.cmbAudioInput));
    audio.add(p.lblCapAudioType, make.list(properties, p.cmbAudioType), nullptr,
              make.mark(properties, p.cmbAudioType));
    auto* compression = audio.caption(p.lblCapCompression);
    auto* flac = make.check(properties, p.chkEnableFLAC);
    auto* narrowCaption = make.label(properties, p.lblCapNarrowBand);
    audio.addLayout(compression, PanelWidgets::pair(flac, nullptr, narrowCaption,
                                                    make.check(properties, p.chkNarrowBand),
                                                    make.mark(properties, p.chkNarrowBand)));
    audio.add(p.Label10, make.list(properties, p.cmbAudioTX), nullptr,
              make.mark(properties, p.cmbAudioTX));
    audio.add(p.Label7, make.text(properties, p.txtRemoteIP), nullptr,
              make.mark(properties, p.txtRemoteIP));
    audio.add(p.Label27, make.text(properties, p.txtAES67Channel));
    audio.add(p.lblCapEncoders, make.list(properties, p.cmbEncoders));
    audio.addSeparator();
    auto* sfnCaption = audio.caption(p.lblCapSFN);
    auto* sfn = make.check(properties, p.chkSFNEnabled);
    auto* sfnMark = make.mark(properties, p.chkSFNEnabled);
    auto* lowCaption = make.label(properties, p.lblCapLowLatency);
    audio.addLayout(sfnCaption, PanelWidgets::pair(sfn, sfnMark, lowCaption,
                                                   make.check(properties, p.chkLowLatency),
                                                   make.mark(properties, p.chkLowLatency)));
    audio.finish();
    return audio;
}

// The level and the buffer.
Rows levelRows(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* properties) {
    Rows level(properties);
    level.add(p.Label16, make.scroll(properties, p.scrlAtten), make.unit(properties, p.lblAttenDB));
    level.add(p.Label20, make.scroll(properties, p.scrlBuffer), make.unit(properties, p.lblLatency),
              make.mark(properties, p.scrlBuffer));
    level.finish();
    return level;
}

// The silence detector.
Rows silenceRows(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* properties) {
    Rows silence(properties);
    silence.add(p.Label22, make.list(properties, p.cmbSilDetMode), nullptr,
                make.mark(properties, p.cmbSilDetMode));
    silence.add(p.Label24, make.scroll(properties, p.scrlSilDetLevel),
                make.unit(properties, p.lblSilDetLevel), make.mark(properties, p.scrlSilDetLevel));
    silence.add(p.Label26, make.scroll(properties, p.scrlSilDetTime),
                make.unit(properties, p.lblSilDetTime), make.mark(properties, p.scrlSilDetTime));
    silence.finish();
    return silence;
}

// The ping and the level meter.
Rows pingAndMeterRows(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* diagnostics) {
    Rows rows(diagnostics);
    auto* ping = make.button(diagnostics, p.cmdPing);
    ping->setMinimumWidth(170);
    auto* pingRow = new QHBoxLayout;
    pingRow->addWidget(ping);
    pingRow->addStretch();
    rows.addLayout(rows.caption(p.lblCapPing), pingRow);
    auto* meterRow = new QHBoxLayout;
    meterRow->setSpacing(10);
    auto* meter = named(new LevelBar(diagnostics), p.VUMeter);
    bind(meter, p.VUMeter);
    meterRow->addWidget(meter);
    auto* volume = make.label(diagnostics, p.lblVolume);
    // A fixed size: a new level is then a repaint of the label alone, never a new layout of the
    // panel (twenty times a second while monitoring).
    volume->setFixedSize(
        std::max(80, volume->fontMetrics().horizontalAdvance(QStringLiteral("-138.5dBFS")) + 8),
        volume->sizeHint().height());
    meterRow->addWidget(volume);
    meterRow->addWidget(make.check(diagnostics, p.chkGetVolume));
    meterRow->addStretch();
    rows.addLayout(rows.caption(p.lblCapVolume), meterRow);
    return rows;
}

// The statistics and SFN windows' buttons.
Rows windowRows(PanelWidgets& make, editor::PropertiesPanel& p, QWidget* diagnostics) {
    Rows rows(diagnostics);
    auto* stats = new QHBoxLayout;
    stats->addWidget(make.button(diagnostics, p.cmdGetStats));
    stats->addStretch();
    rows.addLayout(rows.caption(p.lblCapStats), stats);
    auto* adjust = new QHBoxLayout;
    adjust->addWidget(make.button(diagnostics, p.cmdAdjust));
    adjust->addStretch();
    rows.addLayout(rows.caption(p.lblCapAdjust), adjust);
    return rows;
}

// The panel's frames keep the same margin around their columns.
QVBoxLayout* frameLayout(QGroupBox* frame) {
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(14, 14, 14, 14);
    return layout;
}

}  // namespace

QWidget* MainWindow::buildPanel(const Model& m, ports::EventGate& gate) {
    editor::PropertiesPanel& p = m.panel;
    auto* content = new QWidget();
    content->setObjectName(QStringLiteral("propertiesPanel"));
    if (m.audioTypes) markers_ = new ChangeMarkers(p, *m.audioTypes, m.storedRecord, this);
    PanelWidgets make(gate, tabChain_, markers_);
    auto* properties = buildProperties(make, p, content);
    auto* diagnostics = buildDiagnostics(make, p, content);

    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->setSpacing(10);
    layout->addWidget(properties);
    layout->addWidget(diagnostics);
    layout->addStretch(1);

    if (markers_) {
        markers_->setFrame(properties);
        markers_->watch({&p.frmProperties, &p.lblElementMAC, &p.lblElementType, &p.txtElementName,
                         &p.txtElementIP, &p.txtElementMask, &p.txtElementGW, &p.cmbAudioInput,
                         &p.cmbAudioType, &p.chkNarrowBand, &p.cmbAudioTX, &p.txtRemoteIP,
                         &p.chkSFNEnabled, &p.chkLowLatency, &p.scrlBuffer, &p.cmbSilDetMode,
                         &p.scrlSilDetLevel, &p.scrlSilDetTime, &m.TreeView1});
    }
    return content;
}

// The element's properties: what it is and its addresses beside its audio, then its level
// beside its silence detector.
QGroupBox* MainWindow::buildProperties(PanelWidgets& make, editor::PropertiesPanel& p,
                                       QWidget* content) {
    auto* properties = boundGroupBox(p.frmProperties, content);
    const Rows element = elementRows(make, p, properties);
    const Rows audio = audioRows(make, p, properties);
    const Rows level = levelRows(make, p, properties);
    const Rows silence = silenceRows(make, p, properties);

    auto* propertiesLayout = frameLayout(properties);
    propertiesLayout->setSpacing(10);
    addColumns(propertiesLayout, element.layout(), audio.layout(), properties);
    propertiesLayout->addWidget(separator(properties));
    addColumns(propertiesLayout, level.layout(), silence.layout(), properties);
    return properties;
}

// The diagnostics: the ping and the meter beside the statistics and SFN windows.
QGroupBox* MainWindow::buildDiagnostics(PanelWidgets& make, editor::PropertiesPanel& p,
                                        QWidget* content) {
    auto* diagnostics = boundGroupBox(p.frmDiagnostics, content);
    const Rows left = pingAndMeterRows(make, p, diagnostics);
    const Rows right = windowRows(make, p, diagnostics);
    addColumns(frameLayout(diagnostics), left.layout(), right.layout(), diagnostics);
    return diagnostics;
}

// Two columns of rows side by side, kept so that the panel can stack them when it is narrow.
void MainWindow::addColumns(QVBoxLayout* to, QLayout* left, QLayout* right, QWidget* owner) {
    columns_.push_back(new Columns(left, right, owner));
    to->addWidget(columns_.back());
}

}  // namespace nms::ui
