#include "ui/change_markers.h"

#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPointer>

#include <algorithm>

#include "platform/qt_text.h"
#include "store/element_record.h"
#include "ui/bindings.h"
#include "ui/plain_text.h"

namespace nms::ui {

namespace rec = store::record;
using platform::fromModel;

namespace {
// Amber reads on a light and on a dark window alike.
constexpr QRgb kMarkColour = 0xe08a00;
constexpr const char* kMark = "\u25CF";
}  // namespace

ChangeMarkers::ChangeMarkers(editor::PropertiesPanel& panel, const protocol::AudioTypeTable& types,
                             editor::RecordReader stored, QObject* parent)
    : QObject(parent), panel_(panel), types_(types), stored_(std::move(stored)) {}

const ports::Control* ChangeMarkers::fieldOf(const editor::SettingChange& change) const {
    const auto& p = panel_;
    const std::string_view key = change.key;
    if (key == rec::kName) return &p.txtElementName;
    if (key == rec::kIp) return &p.txtElementIP;
    if (key == rec::kMask) return &p.txtElementMask;
    if (key == rec::kGateway) return &p.txtElementGW;
    if (key == rec::kInput) return &p.cmbAudioInput;
    // The type byte holds the audio type and the narrowband bit: two fields of the panel.
    if (key == rec::kType)
        return change.label == "Narrowband" ? static_cast<const ports::Control*>(&p.chkNarrowBand)
                                            : &p.cmbAudioType;
    if (key == rec::kTx) return &p.cmbAudioTX;
    if (key == rec::kMulticast || key == rec::kRemote) return &p.txtRemoteIP;
    if (key == rec::kSfn) return &p.chkSFNEnabled;
    if (key == rec::kLowLatency) return &p.chkLowLatency;
    if (key == rec::kBuffer) return &p.scrlBuffer;
    if (key == rec::kSilenceMode) return &p.cmbSilDetMode;
    if (key == rec::kSilenceLevel) return &p.scrlSilDetLevel;
    if (key == rec::kSilenceTime) return &p.scrlSilDetTime;
    return nullptr;
}

QLabel* ChangeMarkers::markFor(const ports::Control& field, QWidget* parent) {
    const auto& p = panel_;
    const ports::Control* covered[] = {
        &p.txtElementName, &p.txtElementIP,    &p.txtElementMask, &p.txtElementGW,
        &p.cmbAudioInput,  &p.cmbAudioType,    &p.chkNarrowBand,  &p.cmbAudioTX,
        &p.txtRemoteIP,    &p.chkSFNEnabled,   &p.chkLowLatency,  &p.scrlBuffer,
        &p.cmbSilDetMode,  &p.scrlSilDetLevel, &p.scrlSilDetTime,
    };
    if (std::find(std::begin(covered), std::end(covered), &field) == std::end(covered))
        return nullptr;
    auto* mark = new QLabel(parent);
    mark->setObjectName(QString::fromStdString(field.name()) + QStringLiteral("Changed"));
    // A palette and a font rather than a style sheet: each widget with a style sheet of its own
    // gets a style of its own, which made these fifteen marks a noticeable part of a start.
    QPalette palette = mark->palette();
    palette.setColor(QPalette::WindowText, QColor(kMarkColour));
    mark->setPalette(palette);
    QFont bold = mark->font();
    bold.setBold(true);
    mark->setFont(bold);
    mark->setFixedWidth(mark->fontMetrics().horizontalAdvance(QString::fromUtf8(kMark)) + 4);
    mark->setAlignment(Qt::AlignCenter);
    marks_.emplace_back(&field, mark);
    return mark;
}

void ChangeMarkers::watch(std::vector<ports::Control*> controls) {
    QPointer<ChangeMarkers> self(this);
    for (ports::Control* control : controls) {
        // The binding mirrors first; the comparison follows once the whole change is done.
        control->onViewChanged = [previous = std::move(control->onViewChanged), self] {
            if (previous) previous();
            if (self) self->schedule();
        };
    }
    refresh();
}

void ChangeMarkers::schedule() {
    refresh_.ask(this, [this] { refresh(); });
}

void ChangeMarkers::refresh() {
    changes_.clear();
    // Nothing shown ("-"), nothing to compare with.
    if (panel_.lblElementMAC.caption() != "-" && stored_) {
        changes_ = editor::configurationChanges(panel_, types_, stored_);
    }
    for (const auto& [field, mark] : marks_) {
        QStringList stored;
        for (const auto& change : changes_) {
            if (fieldOf(change) == field)
                stored << tr("%1: stored %2").arg(fromModel(change.label), fromModel(change.from));
        }
        mark->setText(stored.isEmpty() ? QString() : QString::fromUtf8(kMark));
        mark->setToolTip(stored.isEmpty() ? QString()
                                          : plainToolTip(tr("Not saved yet.") + QLatin1Char('\n') +
                                                         stored.join(QLatin1Char('\n'))));
        mark->setAccessibleName(stored.isEmpty() ? QString() : tr("changed"));
    }
    if (frame_) {
        const QString caption = withAccessKey(fromModel(panel_.frmProperties.caption()), QChar());
        frame_->setTitle(changes_.empty() ? caption : caption + tr(" (modified)"));
    }
}

std::vector<std::string> ChangeMarkers::markedFields() const {
    std::vector<std::string> names;
    for (const auto& [field, mark] : marks_) {
        if (!mark->text().isEmpty()) names.push_back(field->name());
    }
    return names;
}

}  // namespace nms::ui
