// What the panel shows of an element's answer to a configuration it was sent.

#include <algorithm>
#include <string>

#include "editor/element_editor.h"
#include "editor/role_captions.h"
#include "store/element_record.h"

namespace nms::editor {

bool ElementEditor::showConfirmedRole(int role) {
    if (role == store::record::kRoleEncoder) {
        ui_.lblElementType.setCaption(std::string(captions::kEncoder));
    } else if (role == store::record::kRoleDecoder) {
        ui_.lblElementType.setCaption(std::string(captions::kDecoder));
    } else {
        ui_.lblElementType.setCaption(std::string(captions::kUnknown));
        return false;
    }
    return true;
}

void ElementEditor::showConfirmedAnswer(protocol::FeedbackRecord& f) {
    ui_.lblSerialNumber.setCaption(std::to_string(f.sn));
    ui_.lblVersion.setCaption(f.versionText());
    if (f.att < ui_.scrlAtten.min()) f.att = static_cast<std::uint8_t>(ui_.scrlAtten.min());
    ui_.scrlAtten.setValue(f.att);
    if (f.buf > ui_.scrlBuffer.max()) f.buf = static_cast<std::uint8_t>(ui_.scrlBuffer.max());
    ui_.scrlBuffer.setValue(f.buf);
    ui_.cmbSilDetMode.setListIndex(f.sdm);
    f.sdl = static_cast<std::uint8_t>(
        std::clamp<int>(f.sdl, ui_.scrlSilDetLevel.min(), ui_.scrlSilDetLevel.max()));
    ui_.scrlSilDetLevel.setValue(f.sdl);
    f.sdt = static_cast<std::uint8_t>(
        std::clamp<int>(f.sdt, ui_.scrlSilDetTime.min(), ui_.scrlSilDetTime.max()));
    ui_.scrlSilDetTime.setValue(f.sdt);
}

}  // namespace nms::editor
