#include "editor/operator_settings.h"

#include "editor/role_captions.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::editor {

namespace {

namespace rec = store::record;

std::string accepted(const ports::ListControl& list) {
    std::string out;
    for (int i = 0; i < list.listCount(); ++i)
        out += (i ? ", " : "") + std::to_string(i) + " (" +
               list.items()[static_cast<std::size_t>(i)] + ")";
    return out;
}

// One setting as the operator gives it: the record's key, the value typed, and how to take it.
struct Typed {
    const std::string& key;
    const std::string& value;
    OperatorSetting how;
};

constexpr auto op = ports::Origin::Operator;

std::optional<std::string> chooseInList(ports::ListControl& control, const Typed& t) {
    long long n = 0;
    if (t.how.leaveOutWhatDoesNotApply && !control.enabled()) return std::nullopt;
    if (!protocol::text::parseInteger(t.value, n) || n < 0 || n >= control.listCount())
        return t.key + " takes one of: " + accepted(control);
    control.setListIndex(static_cast<int>(n), op);
    return std::nullopt;
}

std::optional<std::string> moveBar(ports::ScrollBar& control, const Typed& t) {
    long long n = 0;
    if (!control.enabled()) {
        if (t.how.leaveOutWhatDoesNotApply) return std::nullopt;
        return t.key + " does not apply to this element";
    }
    if (!protocol::text::parseInteger(t.value, n) || n < control.min() || n > control.max())
        return t.key + " takes a whole number from " + std::to_string(control.min()) + " to " +
               std::to_string(control.max());
    control.setValue(static_cast<int>(n), op);
    return std::nullopt;
}

std::optional<std::string> tick(ports::CheckBox& control, const Typed& t) {
    if (t.how.leaveOutWhatDoesNotApply && !control.enabled()) return std::nullopt;
    if (t.value != "0" && t.value != "1") return t.key + " takes 0 or 1";
    control.setValue(t.value == "1" ? 1 : 0, op);
    return std::nullopt;
}

std::optional<std::string> typeInto(ports::TextBox& control, const std::string& v, const Typed& t) {
    if (protocol::text::length(v) > static_cast<std::size_t>(control.maxLength))
        return t.key + " takes at most " + std::to_string(control.maxLength) + " characters";
    control.gotFocus();
    control.setText(v, op);
    control.lostFocus();
    return std::nullopt;
}

// The audio type by its code: the row of the list and the narrow band flag; the FLAC flag
// follows the element.
std::optional<std::string> chooseAudioType(PropertiesPanel& p, ElementEditor& editor,
                                           const protocol::AudioTypeTable& types, const Typed& t) {
    long long n = 0;
    std::string codes;
    int row = -1;
    const bool number = protocol::text::parseInteger(t.value, n) && n >= 0 && n <= 255;
    if (number && t.how.keepFlacFlag)
        n = (n & ~static_cast<long long>(protocol::kTypeFlac)) |
            (p.chkEnableFLAC.checked() ? protocol::kTypeFlac : 0);
    for (int r = 0; r < protocol::kAudioTypesInUse; ++r) {
        codes += (r ? ", " : "") + std::to_string(types.row(r).code) + " (" +
                 std::string(types.row(r).name) + ")";
        if (number && types.row(r).code == (n & protocol::kTypeCodeMask)) row = row < 0 ? r : row;
    }
    if (row < 0)
        return "type takes an audio type code, plus 64 for narrowband (and the stored FLAC "
               "flag 128): " +
               codes;
    if (((n & protocol::kTypeFlac) != 0) != p.chkEnableFLAC.checked())
        return std::string(
                   "type: the FLAC flag (128) follows the element and cannot be changed here "
                   "(it is ") +
               (p.chkEnableFLAC.checked() ? "set" : "clear") + ")";
    p.cmbAudioType.setListIndex(row, op);
    p.chkNarrowBand.setChecked((n & protocol::kTypeNarrowBand) != 0, op);
    if (protocol::AudioTypeTable::isAes67Row(row)) editor.ResolveAES67Multicast();
    return std::nullopt;
}

// The stream's other end: the remote address of a unicast stream, or the multicast group.
std::optional<std::string> typeStreamAddress(PropertiesPanel& p, const Typed& t) {
    const bool decoder = p.lblElementType.caption() == captions::kDecoder;
    const bool multicast =
        rec::streamAddressKey(p.cmbAudioTX.listIndex(),
                              decoder ? rec::kRoleDecoder : rec::kRoleEncoder) == rec::kMulticast;
    if ((t.key == rec::kMulticast) != multicast) {
        if (t.how.leaveOutWhatDoesNotApply) return std::nullopt;
        return t.key + " does not apply: this element " +
               (multicast ? "sends or receives multicast (use multi)"
                          : "sends unicast (use remote)");
    }
    if (!p.txtRemoteIP.enabled()) {
        if (t.how.leaveOutWhatDoesNotApply) return std::nullopt;
        return t.key + " follows the AES67 channel of the audio type";
    }
    return typeInto(p.txtRemoteIP, t.value, t);
}

}  // namespace

const std::vector<std::string_view>& settableKeys() {
    static const std::vector<std::string_view> keys = {
        rec::kName,   rec::kIp,          rec::kMask,         rec::kGateway,     rec::kInput,
        rec::kType,   rec::kTx,          rec::kMulticast,    rec::kRemote,      rec::kSfn,
        rec::kBuffer, rec::kSilenceMode, rec::kSilenceLevel, rec::kSilenceTime, rec::kLowLatency};
    return keys;
}

std::optional<std::string> setAsOperator(PropertiesPanel& p, ElementEditor& editor,
                                         const protocol::AudioTypeTable& types,
                                         std::string_view keyView, const std::string& value,
                                         OperatorSetting how) {
    const std::string key(keyView);
    const Typed t{key, value, how};
    // A record keeps the name padded to its full width; the operator types it without.
    if (key == rec::kName)
        return typeInto(p.txtElementName,
                        how.leaveOutWhatDoesNotApply ? protocol::text::trim(value) : value, t);
    if (key == rec::kIp) return typeInto(p.txtElementIP, value, t);
    if (key == rec::kMask) return typeInto(p.txtElementMask, value, t);
    if (key == rec::kGateway) return typeInto(p.txtElementGW, value, t);
    if (key == rec::kInput) return chooseInList(p.cmbAudioInput, t);
    if (key == rec::kTx) return chooseInList(p.cmbAudioTX, t);
    if (key == rec::kSilenceMode) return chooseInList(p.cmbSilDetMode, t);
    if (key == rec::kBuffer) return moveBar(p.scrlBuffer, t);
    if (key == rec::kSilenceLevel) return moveBar(p.scrlSilDetLevel, t);
    if (key == rec::kSilenceTime) return moveBar(p.scrlSilDetTime, t);
    if (key == rec::kSfn) return tick(p.chkSFNEnabled, t);
    if (key == rec::kLowLatency) return tick(p.chkLowLatency, t);
    if (key == rec::kType) return chooseAudioType(p, editor, types, t);
    if (key == rec::kRemote || key == rec::kMulticast) return typeStreamAddress(p, t);
    return std::nullopt;
}

}  // namespace nms::editor
