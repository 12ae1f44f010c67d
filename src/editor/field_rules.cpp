// The free-text fields: an address that is not a dotted IPv4 text shows light red while it is
// typed; the name is upper case once the operator leaves it. The final check is the save's.
#include "editor/element_editor.h"
#include "protocol/address.h"
#include "protocol/text.h"

namespace nms::editor {

namespace {

// An empty field is not an error yet; only a text that cannot be an address is.
bool acceptable(const ports::TextBox& box) {
    return box.text().empty() || protocol::IsValidIP(box.text());
}

void colourAddress(ports::TextBox& box) {
    box.setBackColor(acceptable(box) ? ports::kSystemWindowBackground : ports::kLightRed);
}

}  // namespace

void ElementEditor::txtElementName_LostFocus() {
    ui_.txtElementName.setText(protocol::text::toUpper(ui_.txtElementName.text()));
}

void ElementEditor::txtElementIP_Change() {
    colourAddress(ui_.txtElementIP);
    // Statistics need an address to ask.
    const std::string& ip = ui_.txtElementIP.text();
    ui_.cmdGetStats.setEnabled(!ip.empty() && protocol::IsValidIP(ip));
}

void ElementEditor::txtElementMask_Change() {
    colourAddress(ui_.txtElementMask);
}
void ElementEditor::txtElementGW_Change() {
    colourAddress(ui_.txtElementGW);
}
void ElementEditor::txtRemoteIP_Change() {
    colourAddress(ui_.txtRemoteIP);
}

}  // namespace nms::editor
