// The audio type, TX type and AES67 channel rules of the panel. An AES67 stream is always
// multicast, and its group address is not typed but derived from a channel number.
#include "editor/control_groups.h"
#include "editor/element_editor.h"
#include "editor/record_values.h"
#include "editor/role_captions.h"
#include "protocol/address.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::editor {

namespace rec = store::record;
namespace def = store::record::defaults;

namespace {

constexpr int kChannelMax = 65535;
constexpr int kMulticastTx = 1;

bool isMpxAes67Row(int row) {
    return row == 11 || row == 12;
}

}  // namespace

void ElementEditor::setAes67ChannelToolTip(const std::string& channel) {
    ui_.txtAES67Channel.setToolTip("AES67 channel " + channel + ", resolves into multicast IP " +
                                   ui_.txtRemoteIP.text());
}

// The group address 239.200.hi.lo (MPX) or 239.192.hi.lo (L/R) of the typed channel. An
// unusable channel only turns the box red; the address keeps its last derived value.
void ElementEditor::ResolveAES67Multicast() {
    auto& box = ui_.txtAES67Channel;
    const auto number = values::readNumber(box.text());
    const double n = number ? values::roundHalfEven(*number) : 0;
    if (!number || n < 1 || n > kChannelMax) {
        box.setBackColor(ports::kLightRed);
        return;
    }
    box.setBackColor(ports::kSystemWindowBackground);
    const int channel = static_cast<int>(n);
    const std::string prefix =
        isMpxAes67Row(ui_.cmbAudioType.listIndex()) ? "239.200." : "239.192.";
    ui_.txtRemoteIP.setText(prefix + std::to_string(channel / 256) + "." +
                            std::to_string(channel % 256));
    setAes67ChannelToolTip(std::to_string(channel));
}

void ElementEditor::txtAES67Channel_KeyUp() {
    ResolveAES67Multicast();
}

// The reverse of the channel rule: the last two parts of the address give the channel. An
// address without usable third and fourth parts gives no channel (an empty, red box) rather
// than a guess.
void ElementEditor::channelFromAddress() {
    const auto parts = protocol::SplitIP(ui_.txtRemoteIP.text());
    long long hi = 0, lo = 0;
    const bool usable = parts.size() >= 4 && protocol::text::parseInteger(parts[2], hi) &&
                        protocol::text::parseInteger(parts[3], lo) && hi >= 0 && hi <= 255 &&
                        lo >= 0 && lo <= 255;
    ui_.txtAES67Channel.setText(usable ? std::to_string(hi * 256 + lo) : std::string());
}

void ElementEditor::cmbAudioType_Click() {
    const int k = ui_.cmbAudioType.listIndex();
    const bool aes67 = protocol::AudioTypeTable::isAes67Row(k);
    const std::string role = ui_.lblElementType.caption();

    if (role != captions::kEncoder) {
        if (aes67) {
            enable({&ui_.txtRemoteIP, &ui_.Label7}, false);
            enable({&ui_.txtAES67Channel, &ui_.Label27}, true);
            ui_.txtRemoteIP.setText(readShown(rec::kMulticast, def::kMulticast));
            channelFromAddress();
            ResolveAES67Multicast();
            setAes67ChannelToolTip(ui_.txtAES67Channel.text());
        } else if (role == captions::kDecoder) {
            enable({&ui_.txtRemoteIP, &ui_.Label7}, true);
            enable({&ui_.txtAES67Channel, &ui_.Label27}, false);
            ui_.txtRemoteIP.setText(readShown(rec::kMulticast, def::kMulticast));
        }
    } else if (aes67) {
        // An AES67 encoder always sends multicast.
        ui_.cmbAudioTX.setEnabled(false);
        if (ui_.cmbAudioTX.listIndex() == kMulticastTx)
            cmbAudioTX_Click();
        else
            ui_.cmbAudioTX.setListIndex(kMulticastTx);
        ResolveAES67Multicast();
    } else {
        // Leaving an AES67 type restores the TX type of the record, not the one last shown.
        ui_.cmbAudioTX.setEnabled(true);
        const int stored =
            values::listIndexFrom(readShown(rec::kTx, ""), ui_.cmbAudioTX.listCount());
        if (stored != ui_.cmbAudioTX.listIndex())
            ui_.cmbAudioTX.setListIndex(stored);
        else
            cmbAudioTX_Click();
    }

    if (k >= 0) ui_.cmbAudioType.setToolTip(std::string(context_.AudioTypes.row(k).description));
}

void ElementEditor::cmbAudioTX_Click() {
    const int t = ui_.cmbAudioTX.listIndex();
    const std::string role = ui_.lblElementType.caption();
    const bool shown = role == captions::kDecoder || role == captions::kEncoder;

    if (t > 0 && shown) {
        ui_.Label7.setCaption(std::string(captions::kMulticastIP));
        if (isAes67TypeSelected()) {
            enable({&ui_.txtRemoteIP, &ui_.Label7}, false);
            enable({&ui_.txtAES67Channel, &ui_.Label27}, true);
            ResolveAES67Multicast();
            setAes67ChannelToolTip(ui_.txtAES67Channel.text());
        } else {
            enable({&ui_.txtRemoteIP, &ui_.Label7}, true);
            enable({&ui_.txtAES67Channel, &ui_.Label27}, false);
        }
        ui_.txtRemoteIP.setText(readShown(rec::kMulticast, def::kMulticast));
        if (ui_.txtAES67Channel.enabled()) channelFromAddress();
    } else if (t <= 0 && role == captions::kEncoder) {
        enable({&ui_.txtRemoteIP, &ui_.Label7}, true);
        ui_.Label7.setCaption(std::string(captions::kDecoderIP));
        enable({&ui_.txtAES67Channel, &ui_.Label27}, false);
        ui_.txtRemoteIP.setText(readShown(rec::kRemote, def::kRemote));
    }
    // A decoder with unicast (or nothing shown) keeps its address and label.
}

}  // namespace nms::editor
