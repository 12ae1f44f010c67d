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
    const auto op = ports::Origin::Operator;
    long long n = 0;
    auto list = [&](ports::ListControl& control) -> std::optional<std::string> {
        if (how.leaveOutWhatDoesNotApply && !control.enabled()) return std::nullopt;
        if (!protocol::text::parseInteger(value, n) || n < 0 || n >= control.listCount())
            return key + " takes one of: " + accepted(control);
        control.setListIndex(static_cast<int>(n), op);
        return std::nullopt;
    };
    auto bar = [&](ports::ScrollBar& control) -> std::optional<std::string> {
        if (!control.enabled()) {
            if (how.leaveOutWhatDoesNotApply) return std::nullopt;
            return key + " does not apply to this element";
        }
        if (!protocol::text::parseInteger(value, n) || n < control.min() || n > control.max())
            return key + " takes a whole number from " + std::to_string(control.min()) + " to " +
                   std::to_string(control.max());
        control.setValue(static_cast<int>(n), op);
        return std::nullopt;
    };
    auto check = [&](ports::CheckBox& control) -> std::optional<std::string> {
        if (how.leaveOutWhatDoesNotApply && !control.enabled()) return std::nullopt;
        if (value != "0" && value != "1") return key + " takes 0 or 1";
        control.setValue(value == "1" ? 1 : 0, op);
        return std::nullopt;
    };
    auto text = [&](ports::TextBox& control, const std::string& v) -> std::optional<std::string> {
        if (protocol::text::length(v) > static_cast<std::size_t>(control.maxLength))
            return key + " takes at most " + std::to_string(control.maxLength) + " characters";
        control.gotFocus();
        control.setText(v, op);
        control.lostFocus();
        return std::nullopt;
    };

    // A record keeps the name padded to its full width; the operator types it without.
    if (key == rec::kName)
        return text(p.txtElementName,
                    how.leaveOutWhatDoesNotApply ? protocol::text::trim(value) : value);
    if (key == rec::kIp) return text(p.txtElementIP, value);
    if (key == rec::kMask) return text(p.txtElementMask, value);
    if (key == rec::kGateway) return text(p.txtElementGW, value);
    if (key == rec::kInput) return list(p.cmbAudioInput);
    if (key == rec::kTx) return list(p.cmbAudioTX);
    if (key == rec::kSilenceMode) return list(p.cmbSilDetMode);
    if (key == rec::kBuffer) return bar(p.scrlBuffer);
    if (key == rec::kSilenceLevel) return bar(p.scrlSilDetLevel);
    if (key == rec::kSilenceTime) return bar(p.scrlSilDetTime);
    if (key == rec::kSfn) return check(p.chkSFNEnabled);
    if (key == rec::kLowLatency) return check(p.chkLowLatency);
    if (key == rec::kType) {
        std::string codes;
        int row = -1;
        const bool number = protocol::text::parseInteger(value, n) && n >= 0 && n <= 255;
        if (number && how.keepFlacFlag)
            n = (n & ~static_cast<long long>(protocol::kTypeFlac)) |
                (p.chkEnableFLAC.checked() ? protocol::kTypeFlac : 0);
        for (int r = 0; r < protocol::kAudioTypesInUse; ++r) {
            codes += (r ? ", " : "") + std::to_string(types.row(r).code) + " (" +
                     std::string(types.row(r).name) + ")";
            if (number && types.row(r).code == (n & protocol::kTypeCodeMask))
                row = row < 0 ? r : row;
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
    if (key == rec::kRemote || key == rec::kMulticast) {
        const bool decoder = p.lblElementType.caption() == captions::kDecoder;
        const bool multicast =
            rec::streamAddressKey(p.cmbAudioTX.listIndex(),
                                  decoder ? rec::kRoleDecoder : rec::kRoleEncoder) ==
            rec::kMulticast;
        if ((key == rec::kMulticast) != multicast) {
            if (how.leaveOutWhatDoesNotApply) return std::nullopt;
            return key + " does not apply: this element " +
                   (multicast ? "sends or receives multicast (use multi)"
                              : "sends unicast (use remote)");
        }
        if (!p.txtRemoteIP.enabled()) {
            if (how.leaveOutWhatDoesNotApply) return std::nullopt;
            return key + " follows the AES67 channel of the audio type";
        }
        return text(p.txtRemoteIP, value);
    }
    return std::nullopt;
}

}  // namespace nms::editor
