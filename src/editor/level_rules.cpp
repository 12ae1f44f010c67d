// The level, buffer and silence detector controls. Only the level acts on the element at
// once; the other values wait for the save.
#include "editor/control_groups.h"
#include "editor/element_editor.h"
#include "editor/level_labels.h"
#include "editor/record_values.h"
#include "editor/role_captions.h"
#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/paging.h"
#include "store/element_record.h"

namespace nms::editor {

void ElementEditor::ShowAttenuation() {
    const std::string& role = ui_.lblElementType.caption();
    const bool decoder = role == captions::kDecoder;
    if (!decoder && role != captions::kEncoder) return;
    ui_.lblAttenDB.setCaption(
        labels::attenuation(ui_.scrlAtten.value(), ui_.scrlAtten.min(), decoder));
}

// A value the program sets (loading an element) is only shown; the element and its record
// follow the operator's moves alone.
void ElementEditor::scrlAtten_Change(ports::Origin origin) {
    ShowAttenuation();
    if (origin != ports::Origin::Operator) return;
    const std::string& role = ui_.lblElementType.caption();
    const int v = ui_.scrlAtten.value();
    bool sent = false;
    if (role == captions::kDecoder) {
        sent = SendCommandByte(static_cast<std::uint8_t>(v), protocol::kPortLevelAndDecoderCommand);
    } else if (role == captions::kEncoder) {
        // The encoder counts the other way: 0 is full level.
        sent = SendCommandByte(static_cast<std::uint8_t>(255 - v), protocol::kPortEncoderCommand);
    }
    // Only a level the element was sent is stored.
    if (!sent) return;
    const std::string section = shownSection();
    if (section.empty()) return;
    // The level before is the one last stored: the one the element was last sent.
    const auto before = values::readNumber(context_.db().ReadFromINI(
        section, std::string(store::record::kAttenuation), context_.databasePath(), ""));
    const std::string from =
        before ? labels::attenuation(static_cast<int>(values::roundHalfEven(*before)),
                                     ui_.scrlAtten.min(), role == captions::kDecoder)
               : std::string();
    context_.db().WriteToINI(section, std::string(store::record::kAttenuation), std::to_string(v),
                             context_.databasePath());
    context_.noteOperatorChange("level", from, ui_.lblAttenDB.caption());
}

bool ElementEditor::SendCommandByte(std::uint8_t value, std::uint16_t remotePort) {
    const std::string prefix = "103 - Unable to use UDP port " + std::to_string(remotePort) + ": ";
    const auto bytes = protocol::encodeCommandByte(value);
    const auto result = links_.mainSocket.sendToShown(bytes, remotePort, {prefix, true});
    if (result == station::ElementSocket::Result::NoAddress) links_.mainSocket.sayNoAddress(prefix);
    return result == station::ElementSocket::Result::Sent;
}

void ElementEditor::scrlBuffer_Change() {
    ui_.lblLatency.setCaption(labels::latency(ui_.scrlBuffer.value(),
                                              context_.GpsdoVersion || ui_.chkSFNEnabled.checked(),
                                              context_.LowLatencyOption));
}

void ElementEditor::chkLowLatency_Click() {
    context_.LowLatencyOption = ui_.chkLowLatency.checked();
    scrlBuffer_Change();
}

void ElementEditor::cmbSilDetMode_Click() {
    const bool listOn = ui_.cmbSilDetMode.enabled();
    const int mode = ui_.cmbSilDetMode.listIndex();
    const bool threshold = listOn && mode == 0;
    const bool timeout = listOn && (mode == 0 || mode == 3);
    enable({&ui_.scrlSilDetLevel, &ui_.lblSilDetLevel, &ui_.Label24}, threshold);
    enable({&ui_.scrlSilDetTime, &ui_.lblSilDetTime, &ui_.Label26}, timeout);
}

void ElementEditor::scrlSilDetLevel_Change() {
    ui_.lblSilDetLevel.setCaption(labels::silenceLevel(ui_.scrlSilDetLevel.value()));
}

void ElementEditor::scrlSilDetTime_Change() {
    ui_.lblSilDetTime.setCaption(labels::silenceTime(ui_.scrlSilDetTime.value()));
}

}  // namespace nms::editor
