#include "editor/element_editor.h"

#include "editor/control_groups.h"
#include "editor/level_labels.h"
#include "editor/record_values.h"
#include "editor/role_captions.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/text.h"
#include "station/main_toolbar.h"
#include "store/element_record.h"

namespace nms::editor {

namespace rec = store::record;
namespace def = store::record::defaults;

namespace {

constexpr int kStartMonitoring = station::toolbar::kStartMonitoring;
constexpr int kStopMonitoring = station::toolbar::kStopMonitoring;
// Firmware from this version on takes the encoder's level command.
constexpr float kEncoderLevelFirmware = 3.7f;

double defaultNumber(std::string_view text) {
    return values::readNumber(text).value_or(0);
}

}  // namespace

ElementEditor::ElementEditor(PropertiesPanel& panel, station::StationContext& context, EditorLinks links)
    : ui_(panel), context_(context), links_(links) {
    wire();
}

void ElementEditor::wire() {
    using ports::Origin;
    ui_.lblElementType.onChange = [this] { ApplyElementTypeLayout(); };
    ui_.cmbAudioType.onClick = [this](Origin) { cmbAudioType_Click(); };
    ui_.cmbAudioTX.onClick = [this](Origin) { cmbAudioTX_Click(); };
    ui_.txtAES67Channel.onKeyUp = [this] { txtAES67Channel_KeyUp(); };

    for (ports::TextBox* box : {&ui_.txtElementName, &ui_.txtElementIP, &ui_.txtElementMask,
                                &ui_.txtElementGW, &ui_.txtRemoteIP}) {
        // Entering a field selects its content, so that typing replaces it.
        box->onGotFocus = [box] {
            box->setSelection(0, static_cast<int>(protocol::text::length(box->text())));
        };
    }
    ui_.txtElementName.onLostFocus = [this] { txtElementName_LostFocus(); };
    ui_.txtElementIP.onChange = [this](Origin) { txtElementIP_Change(); };
    ui_.txtElementMask.onChange = [this](Origin) { txtElementMask_Change(); };
    ui_.txtElementGW.onChange = [this](Origin) { txtElementGW_Change(); };
    ui_.txtRemoteIP.onChange = [this](Origin) { txtRemoteIP_Change(); };

    ui_.scrlAtten.onChange = [this](Origin origin) { scrlAtten_Change(origin); };
    ui_.scrlBuffer.onChange = [this](Origin) { scrlBuffer_Change(); };
    ui_.chkLowLatency.onClick = [this](Origin) { chkLowLatency_Click(); };
    ui_.cmbSilDetMode.onClick = [this](Origin) { cmbSilDetMode_Click(); };
    ui_.scrlSilDetLevel.onChange = [this](Origin) { scrlSilDetLevel_Change(); };
    ui_.scrlSilDetTime.onChange = [this](Origin) { scrlSilDetTime_Change(); };
}

std::string ElementEditor::shownSection() const {
    return context_.shownSection();
}

std::string ElementEditor::readFrom(const std::string& section, std::string_view key,
                                    std::string_view fallback) {
    return context_.db().ReadFromINI(section, std::string(key), context_.databasePath(),
                                     std::string(fallback));
}

std::string ElementEditor::readShown(std::string_view key, std::string_view fallback) {
    return readFrom(shownSection(), key, fallback);
}

bool ElementEditor::isAes67TypeSelected() const {
    return protocol::AudioTypeTable::isAes67Row(ui_.cmbAudioType.listIndex());
}

// Selecting an element reads its record only; nothing goes to the element. Every assignment
// below runs its control's rule, exactly as if the operator had made it, and the order of the
// steps is what the later ones rely on.
void ElementEditor::TreeView1_NodeClick(const ports::TreeView::Node& node) {
    ui_.cmdPing.setBackColor(ports::kLightYellow);
    links_.toolbar.setButtonEnabled(kStartMonitoring, false);
    links_.toolbar.setButtonEnabled(kStopMonitoring, false);
    // Monitoring never survives a change of selection; the switch's own rule stops it.
    ui_.chkGetVolume.setChecked(false);

    if (node.text.empty()) {
        ui_.cmdGetStats.setEnabled(false);
        return;
    }

    const std::string section = protocol::ElementKey(node.key);
    if (context_.db().GetSectionKeyCount(section, context_.databasePath()) > rec::kMaxKeysForLoad) {
        // No title: the dialogs show the application's own.
        context_.dialogs().messageBox(
            {"The data stored in your computer about this element, is corrupted (1).\r"
             "Cannot load this element info.",
             "", ports::MessageIcon::Critical, ports::MessageButtons::Ok, ports::Answer::Ok});
        return;
    }

    ui_.txtElementName.setText(readFrom(section, rec::kName, ""));
    ui_.txtElementIP.setText(readFrom(section, rec::kIp, ""));
    ui_.txtElementMask.setText(readFrom(section, rec::kMask, ""));
    ui_.txtElementGW.setText(readFrom(section, rec::kGateway, ""));

    ui_.cmbAudioInput.setListIndex(
        values::listIndexFrom(readFrom(section, rec::kInput, ""), ui_.cmbAudioInput.listCount()));

    // A type value that is no byte shows no type and neither flag.
    const auto type = values::readNumber(readFrom(section, rec::kType, ""));
    const double typeByte = type ? values::roundHalfEven(*type) : -1;
    if (typeByte >= 0 && typeByte <= 255) {
        const auto byte = static_cast<std::uint8_t>(typeByte);
        ui_.cmbAudioType.setListIndex(context_.AudioTypes.rowForTypeByte(byte));
        ui_.chkEnableFLAC.setChecked((byte & protocol::kTypeFlac) != 0);
        ui_.chkNarrowBand.setChecked((byte & protocol::kTypeNarrowBand) != 0);
    } else {
        ui_.cmbAudioType.setListIndex(-1);
        ui_.chkEnableFLAC.setChecked(false);
        ui_.chkNarrowBand.setChecked(false);
    }

    ui_.cmbAudioTX.setListIndex(
        values::listIndexFrom(readFrom(section, rec::kTx, ""), ui_.cmbAudioTX.listCount()));
    ui_.lblVersion.setCaption(readFrom(section, rec::kVersion, def::kVersionShown));
    ui_.cmbEncoders.setListIndex(values::listIndexFrom(readFrom(section, rec::kBound, def::kBound),
                                                       ui_.cmbEncoders.listCount()));
    ui_.cmdGetStats.setEnabled(true);

    const auto role = store::readElementRecord(context_.db(), context_.databasePath(), section).role;
    if (role == store::Role::Encoder)
        loadEncoder(section);
    else if (role == store::Role::Decoder)
        loadDecoder(section);
    else
        ui_.lblElementType.setCaption(std::string(captions::kUnknown));

    ui_.lblElementMAC.setCaption(node.key);
    context_.setShownElement(node.key);
    ui_.lblSerialNumber.setCaption(readFrom(section, rec::kSerial, ""));
    ui_.chkSFNEnabled.setValue(values::checkValueFrom(readFrom(section, rec::kSfn, def::kSfn)));
    ui_.chkLowLatency.setValue(
        values::checkValueFrom(readFrom(section, rec::kLowLatency, def::kLowLatency)));
    context_.LowLatencyOption = ui_.chkLowLatency.checked();
    scrlBuffer_Change();
    ui_.cmdAdjust.setEnabled(ui_.lblElementType.caption() == captions::kDecoder &&
                             ui_.chkSFNEnabled.value() == 1);
    ApplyElementTypeLayout();
    cmbSilDetMode_Click();
    ui_.cmdPing.setCaption("<Click to test>");
    cmbAudioType_Click();
    if (isAes67TypeSelected()) ResolveAES67Multicast();
}

void ElementEditor::reloadShown() {
    const std::string mac = context_.shownElementMac();
    if (shownSection().empty()) return;
    TreeView1_NodeClick({mac, mac});
}

void ElementEditor::showBinding() {
    if (shownSection().empty()) return;
    ui_.cmbEncoders.setListIndex(
        values::listIndexFrom(readShown(rec::kBound, def::kBound), ui_.cmbEncoders.listCount()));
}

void ElementEditor::loadEncoder(const std::string& section) {
    ui_.lblElementType.setCaption(std::string(captions::kEncoder));
    links_.toolbar.setButtonEnabled(kStartMonitoring, true);

    // The version is read as one decimal number, so 3.10 is 3.1 and older than 3.7.
    const auto version =
        static_cast<float>(protocol::text::leadingNumber(ui_.lblVersion.caption()));
    if (version >= kEncoderLevelFirmware) {
        enable({&ui_.scrlAtten, &ui_.Label16, &ui_.lblAttenDB}, true);
        ui_.scrlAtten.setValue(values::scrollValueFrom(
            readFrom(section, rec::kAttenuation, def::kAttenuationEncoder),
            defaultNumber(def::kAttenuationEncoder), ui_.scrlAtten.min(), ui_.scrlAtten.max()));
        ShowAttenuation();
    } else {
        // Older firmware has no level command; the bar keeps whatever it showed.
        enable({&ui_.scrlAtten, &ui_.Label16, &ui_.lblAttenDB}, false);
    }

    if (ui_.cmbAudioTX.listIndex() < 1) {
        ui_.Label7.setCaption(std::string(captions::kDecoderIP));
        ui_.txtRemoteIP.setText(readFrom(section, rec::kRemote, def::kRemote));
    } else {
        ui_.Label7.setCaption(std::string(captions::kMulticastIP));
        ui_.txtRemoteIP.setText(readFrom(section, rec::kMulticast, def::kMulticast));
    }
}

void ElementEditor::loadDecoder(const std::string& section) {
    const double attDefault = defaultNumber(def::kAttenuationDecoder);
    // A decoder's level below the bar's minimum is raised to it in the record, so that the
    // element and the database agree with what the bar can show.
    const double stored =
        values::readNumber(readFrom(section, rec::kAttenuation, def::kAttenuationDecoder))
            .value_or(attDefault);
    if (stored < ui_.scrlAtten.min())
        context_.db().WriteToINI(section, std::string(rec::kAttenuation),
                                 std::to_string(ui_.scrlAtten.min()), context_.databasePath());

    ui_.lblElementType.setCaption(std::string(captions::kDecoder));
    ui_.scrlAtten.setValue(
        values::scrollValueFrom(readFrom(section, rec::kAttenuation, def::kAttenuationDecoder),
                                attDefault, ui_.scrlAtten.min(), ui_.scrlAtten.max()));
    // The caption and unit label go with the bar: an older encoder shown before may have
    // greyed them.
    enable({&ui_.scrlAtten, &ui_.Label16, &ui_.lblAttenDB}, true);
    ShowAttenuation();

    ui_.Label7.setCaption(std::string(captions::kMulticastIP));
    ui_.txtRemoteIP.setText(readFrom(section, rec::kMulticast, def::kMulticast));

    auto& buf = ui_.scrlBuffer;
    buf.setValue(values::scrollValueFrom(readFrom(section, rec::kBuffer, def::kBuffer),
                                         defaultNumber(def::kBuffer), buf.min(), buf.max()));
    // The silence detector's values start at 1; 0 or less shows 1.
    auto& level = ui_.scrlSilDetLevel;
    level.setValue(
        values::scrollValueFrom(readFrom(section, rec::kSilenceLevel, def::kSilenceLevel),
                                defaultNumber(def::kSilenceLevel), level.min(), level.max()));
    auto& time = ui_.scrlSilDetTime;
    time.setValue(values::scrollValueFrom(readFrom(section, rec::kSilenceTime, def::kSilenceTime),
                                          defaultNumber(def::kSilenceTime), time.min(),
                                          time.max()));
    // The labels follow their bars even when the stored value equals the one shown before (a
    // change event alone would leave the cleared panel's "0dBu" beside a threshold of 1).
    scrlSilDetLevel_Change();
    scrlSilDetTime_Change();
    ui_.cmbSilDetMode.setListIndex(values::listIndexFrom(
        readFrom(section, rec::kSilenceMode, def::kSilenceMode), ui_.cmbSilDetMode.listCount()));

    ApplyElementTypeLayout();
    cmbSilDetMode_Click();
}

void ElementEditor::ApplyElementTypeLayout() {
    const std::string& role = ui_.lblElementType.caption();
    const bool encoder = role == captions::kEncoder;
    if (!encoder && role != captions::kDecoder) return;

    links_.levelTimer.setEnabled(false);
    ui_.chkGetVolume.setChecked(false);
    ui_.chkGetVolume.setVisible(false);
    // Only an encoder has a level to monitor.
    links_.toolbar.setButtonEnabled(kStartMonitoring, encoder);
    links_.toolbar.setButtonEnabled(kStopMonitoring, false);
    ui_.lblVolume.setCaption("-oodBFS");
    ui_.VUMeter.setEnabled(encoder);
    ui_.VUMeter.setWidth(0);

    enable({&ui_.Label9, &ui_.cmbAudioInput, &ui_.Label10, &ui_.cmbAudioTX}, encoder);

    if (encoder) {
        enable({&ui_.Label20, &ui_.scrlBuffer}, false);
        ui_.scrlBuffer.setValue(0);
        ui_.lblLatency.setEnabled(false);
        ui_.lblLatency.setCaption(ui_.chkLowLatency.checked() ? "1.25mS" : "2.5mS");
    } else {
        enable({&ui_.Label20, &ui_.scrlBuffer, &ui_.lblLatency}, true);
        ui_.lblLatency.setCaption(labels::latency(
            ui_.scrlBuffer.value(), context_.GpsdoVersion || ui_.chkSFNEnabled.checked(),
            context_.LowLatencyOption));
    }

    enable({&ui_.Label22, &ui_.cmbSilDetMode, &ui_.Label24, &ui_.scrlSilDetLevel,
            &ui_.lblSilDetLevel, &ui_.Label26, &ui_.scrlSilDetTime, &ui_.lblSilDetTime},
           !encoder);
}

void ElementEditor::ClearElementPanel() {
    ui_.lblElementType.setCaption(std::string(captions::kNoElement));
    ui_.lblElementMAC.setCaption(std::string(captions::kNoElement));
    context_.setShownElement(std::string(captions::kNoElement));
    ui_.lblSerialNumber.setCaption("-");
    ui_.lblVersion.setCaption("-");
    ui_.cmdPing.setCaption("<Unknown>");

    ui_.Label7.setCaption(std::string(captions::kDecoderIP));
    for (auto* box :
         {&ui_.chkSFNEnabled, &ui_.chkLowLatency, &ui_.chkNarrowBand, &ui_.chkEnableFLAC})
        box->setChecked(false);
    ui_.scrlAtten.setEnabled(false);
    ui_.lblAttenDB.setCaption("dB");
    ui_.scrlBuffer.setValue(0);
    ui_.scrlSilDetLevel.setValue(1);
    ui_.scrlSilDetTime.setValue(1);
    enable({&ui_.scrlBuffer, &ui_.scrlSilDetLevel, &ui_.scrlSilDetTime}, false);
    // The unit labels are set after the bars: resetting a bar runs its rule, which would
    // otherwise leave a figure for an element that is no longer shown.
    ui_.lblLatency.setCaption("0mS");
    ui_.lblSilDetLevel.setCaption("0dBu");
    ui_.lblSilDetTime.setCaption("0Sec");

    ui_.cmdAdjust.setEnabled(false);
    ui_.cmdPing.setBackColor(ports::kLightYellow);

    for (auto* box : {&ui_.txtElementName, &ui_.txtElementIP, &ui_.txtElementMask,
                      &ui_.txtElementGW, &ui_.txtRemoteIP})
        box->setText("");
    ui_.txtRemoteIP.setVisible(true);
    ui_.txtAES67Channel.setEnabled(false);

    for (auto* list : {&ui_.cmbAudioInput, &ui_.cmbAudioType, &ui_.cmbAudioTX, &ui_.cmbSilDetMode})
        list->setListIndex(-1);
}

}  // namespace nms::editor
