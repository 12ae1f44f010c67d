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


QWidget* MainWindow::buildPanel(const Model& m, ports::EventGate& gate) {
    editor::PropertiesPanel& p = m.panel;
    auto* content = new QWidget();
    content->setObjectName(QStringLiteral("propertiesPanel"));
    if (m.audioTypes) markers_ = new ChangeMarkers(p, *m.audioTypes, m.storedRecord, this);
    auto mark = [this](QWidget* parent, const ports::Control& field) -> QWidget* {
        return markers_ ? markers_->markFor(field, parent) : nullptr;
    };
    auto& chain = tabChain_;

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
    auto text = [&gate, &chain](QWidget* parent, ports::TextBox& model, int width = kFieldWidth) {
        auto* w = named(new QLineEdit(parent), model);
        w->setMaximumWidth(width);
        bind(w, model, gate);
        chain.push_back(w);
        return w;
    };
    // Lists and scroll bars take the wheel only with the focus: a wheel over the form scrolls it.
    auto list = [&gate, &chain](QWidget* parent, ports::ListControl& model) {
        auto* w = named(new QComboBox(parent), model);
        w->setMaximumWidth(kFieldWidth + 60);
        w->setMinimumWidth(kFieldWidth);
        w->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        bind(w, model, gate);
        guardWheel(w);
        chain.push_back(w);
        return w;
    };
    auto check = [&gate, &chain](QWidget* parent, ports::CheckBox& model) {
        auto* w = named(new QCheckBox(parent), model);
        bind(w, model, gate);
        chain.push_back(w);
        return w;
    };
    auto scroll = [&gate, &chain](QWidget* parent, ports::ScrollBar& model) {
        auto* w = named(new QScrollBar(Qt::Horizontal, parent), model);
        w->setMinimumWidth(160);
        // The arrow keys move the thumb the way they point, as on a slider (a scroll bar's
        // keys otherwise run as a page's would).
        w->setInvertedControls(false);
        bind(w, model, gate);
        guardWheel(w);
        chain.push_back(w);
        return w;
    };
    auto unit = [&label](QWidget* parent, ports::Label& model) {
        auto* w = label(parent, model);
        w->setMinimumWidth(64);
        w->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return w;
    };
    auto button = [&gate, &chain](QWidget* parent, ports::Button& model) {
        auto* w = named(new QPushButton(parent), model);
        w->setAutoDefault(false);
        bind(w, model, gate);
        chain.push_back(w);
        return w;
    };
    // Two check boxes on one row, each with its mark beside it.
    auto pair = [](QWidget* first, QWidget* firstMark, QLabel* secondCaption, QWidget* second,
                   QWidget* secondMark) {
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
        element.add(p.lblCapElementName, text(properties, p.txtElementName), nullptr,
                    mark(properties, p.txtElementName));
        element.add(p.lblCapElementIP, text(properties, p.txtElementIP), nullptr,
                    mark(properties, p.txtElementIP));
        element.add(p.lblCapElementMask, text(properties, p.txtElementMask), nullptr,
                    mark(properties, p.txtElementMask));
        element.add(p.lblCapElementGW, text(properties, p.txtElementGW), nullptr,
                    mark(properties, p.txtElementGW));
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
        audio.add(p.Label9, list(properties, p.cmbAudioInput), nullptr,
                  mark(properties, p.cmbAudioInput));
        audio.add(p.lblCapAudioType, list(properties, p.cmbAudioType), nullptr,
                  mark(properties, p.cmbAudioType));
        auto* compression = audio.caption(p.lblCapCompression);
        auto* flac = check(properties, p.chkEnableFLAC);
        auto* narrowCaption = label(properties, p.lblCapNarrowBand);
        audio.addLayout(compression, pair(flac, nullptr, narrowCaption, check(properties, p.chkNarrowBand),
                                          mark(properties, p.chkNarrowBand)));
        audio.add(p.Label10, list(properties, p.cmbAudioTX), nullptr, mark(properties, p.cmbAudioTX));
        audio.add(p.Label7, text(properties, p.txtRemoteIP), nullptr, mark(properties, p.txtRemoteIP));
        audio.add(p.Label27, text(properties, p.txtAES67Channel));
        audio.add(p.lblCapEncoders, list(properties, p.cmbEncoders));
        audio.addSeparator();
        auto* sfnCaption = audio.caption(p.lblCapSFN);
        auto* sfn = check(properties, p.chkSFNEnabled);
        auto* sfnMark = mark(properties, p.chkSFNEnabled);
        auto* lowCaption = label(properties, p.lblCapLowLatency);
        audio.addLayout(sfnCaption, pair(sfn, sfnMark, lowCaption, check(properties, p.chkLowLatency),
                                         mark(properties, p.chkLowLatency)));
        audio.finish();
    }

    Rows level(properties);
    level.add(p.Label16, scroll(properties, p.scrlAtten), unit(properties, p.lblAttenDB));
    level.add(p.Label20, scroll(properties, p.scrlBuffer), unit(properties, p.lblLatency),
              mark(properties, p.scrlBuffer));
    level.finish();

    Rows silence(properties);
    silence.add(p.Label22, list(properties, p.cmbSilDetMode), nullptr,
                mark(properties, p.cmbSilDetMode));
    silence.add(p.Label24, scroll(properties, p.scrlSilDetLevel), unit(properties, p.lblSilDetLevel),
                mark(properties, p.scrlSilDetLevel));
    silence.add(p.Label26, scroll(properties, p.scrlSilDetTime), unit(properties, p.lblSilDetTime),
                mark(properties, p.scrlSilDetTime));
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

}  // namespace nms::ui
