// The feedback handler: an element's answer to the paging request or to a configuration.

#include "app/frm_main.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "app/frm_waiting.h"
#include "diag/level_meter.h"
#include "discovery/paging.h"
#include "protocol/address.h"
#include "protocol/dispatch.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::app {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;
namespace rec = store::record;
namespace txt = protocol::text;

namespace {
constexpr const char* kCorrupted = "Feedback is corrupted.";
std::string retrieving(const char* setting) { return std::string("An error occured while retrieving '") + setting + "':"; }
std::string saving(const char* setting) { return std::string("An error occured while saving '") + setting + "':"; }

struct Rejection {
    std::string firstLine, secondLine;
};

// The checks of a decoded feedback, in order; the first that fails names the message.
std::optional<Rejection> checkFeedback(const protocol::FeedbackRecord& f) {
    const struct {
        const std::string& value;
        const char* setting;
    } addresses[] = {{f.ip, "Element IP"},
                     {f.mask, "Element Mask"},
                     {f.gateway, "Element GW"},
                     {f.remote, "Remote / Multicast IP"}};
    for (const auto& a : addresses)
        if (!protocol::IsValidIP(a.value)) return Rejection{retrieving(a.setting), kCorrupted};
    if (f.type >= 2 && f.type <= 15) return Rejection{retrieving("Audio Type"), kCorrupted};
    if (f.tx > 1)
        return Rejection{retrieving("TX Type"), "Feedback is corrupted. (" + std::to_string(f.tx) + ")"};
    if (f.role > 2) return Rejection{retrieving("Element Type"), kCorrupted};
    if (f.sn < 1) return Rejection{retrieving("Serial Number"), kCorrupted};
    return std::nullopt;
}

std::string lateRejectionsText(std::uint64_t count) {
    if (count == 1) return "1 more answer was rejected while this message was open.";
    return std::to_string(count) + " more answers were rejected while this message was open.";
}
}  // namespace

// Late feedback. While a feedback has a box or the MAC wait open, the event loop keeps running
// and the socket keeps delivering; a host that sprays the port could otherwise queue thousands of
// answers, each with a box or a 21-second wait of its own. So while one is open:
// - a feedback that would fail the checks is counted as it arrives and never queued;
// - the rest wait in the gate's queue (bounded), and once the open feedback has been handled
//   they are handled as a run: a failure among them is counted instead of shown, the MAC is
//   looked up once instead of waited for, and the tree is rebuilt once at the end of the run;
// - at the end of the run the count is said in one box.
// A feedback that arrives alone is handled exactly as before.

bool frmMain::acceptMainPortDatagram(const ports::Datagram& datagram) {
    const auto route = protocol::routeOnMainPort(datagram.bytes.size());
    if (route == protocol::MainPortRoute::Drop) return false;
    // Without monitoring a level reply would only show silence, which the meter shows already.
    if (route == protocol::MainPortRoute::LevelReply) return meter_->tmrVolume.enabled();
    if (route == protocol::MainPortRoute::Feedback && (feedbackInProgress_ || lateCountOpen_) &&
        checkFeedback(protocol::decodeFeedback(datagram.bytes, feedback_))) {
        ++lateRejected_;
        return false;
    }
    return true;
}

void frmMain::endLateRun() {
    if (--lateRuns_ > 0 || ended()) return;
    if (std::exchange(lateTreeRebuild_, false) && !AutoDiscoverAwaiting) Load_Config();
    if (lateRejected_ == 0 || ended()) return;
    lateCountOpen_ = true;
    msgBox(lateRejectionsText(std::exchange(lateRejected_, 0)), MessageIcon::Exclamation, MessageButtons::Ok,
           Answer::Ok);
    lateCountOpen_ = false;
    // What arrived while this box was open is a run of its own.
    if (lateRejected_ > 0 || context_->gate().queued(ports::EventGate::Kind::Datagram) > 0) {
        ++lateRuns_;
        context_->gate().dispatch(ports::EventGate::Kind::Posted, [this] { endLateRun(); });
    }
}

void frmMain::feedbackFailed(const std::string& firstLine, const std::string& secondLine) {
    if (lateRuns_ > 0) {
        ++lateRejected_;
        return;
    }
    feedbackWaited_ = true;
    msgBox(firstLine + "\r" + secondLine, MessageIcon::Critical, MessageButtons::Ok, Answer::Ok);
}

void frmMain::ProcessFeedback(const std::vector<std::uint8_t>& datagram) {
    // Decoding: a byte the datagram does not reach leaves its field as it was.
    feedback_ = protocol::decodeFeedback(datagram, feedback_);
    UDP_Response_IP = feedback_.ip;
    feedbackInProgress_ = true;
    feedbackWaited_ = false;

    if (const auto rejected = checkFeedback(feedback_)) {
        feedbackFailed(rejected->firstLine, rejected->secondLine);
        return finishFeedback();
    }

    // Accepted: the reply time-out of a configuration send is over.
    endConfigurationWait();

    // The element's MAC address names its record. During a scan the scan finds it (resolving it
    // on the network while the scan goes on, if need be). An element that has just answered is
    // in the neighbour table, so a late feedback gets one look-up rather than a wait of its own.
    if (AutoDiscoverAwaiting) {
        paging_->takeAnswer(UDP_Response_IP, feedback_);
        return finishFeedback();
    }
    if (lateRuns_ > 0) {
        std::string mac;
        sRemoteMacAddress2.clear();
        LookupMAC(UDP_Response_IP, mac, ":");
        continueFeedbackWithMac(mac);
        return;
    }
    sRemoteMacAddress2.clear();
    getMACTimeout = 20;
    feedbackWaited_ = true;
    // Datagrams wait until this feedback has been handled to its end.
    context_->gate().hold(ports::EventGate::Kind::Datagram);
    waiting_->open([this] {
        const std::string mac = sRemoteMacAddress2;
        continueFeedbackWithMac(mac);
        context_->gate().release(ports::EventGate::Kind::Datagram);
    });
}

void frmMain::continueFeedbackWithMac(const std::string& mac) {
    if (ended()) return;
    if (mac.empty()) {
        feedbackFailed(retrieving("Element MAC"), kCorrupted);
        return finishFeedback();
    }
    const std::string section = protocol::Encode_MAC(mac);
    if (AutoDiscoverAwaiting) {
        paging_->storeAnswer(UDP_Response_IP, mac, feedback_);
    } else if (mac != panel.lblElementMAC.caption()) {
        feedbackFailed("The response received does not match the selected element.", "Cannot save this element info.");
    } else if (context_->db().GetSectionKeyCount(section, context_->databasePath()) >= rec::kMaxKeysForFeedback) {
        feedbackFailed("The data stored in your computer about this element, is corrupted.",
                       "Cannot save this element info.");
    } else {
        confirmSelectedElement(section);
    }
    finishFeedback();
}

void frmMain::finishFeedback() {
    feedbackInProgress_ = false;
    if (ended()) return;
    if (!AutoDiscoverAwaiting) {
        if (lateRuns_ > 0) lateTreeRebuild_ = true;
        else Load_Config();
    }
    if (ended() || !std::exchange(feedbackWaited_, false)) return;
    // What arrived while this feedback had a box or the wait open is queued behind it, or was
    // counted; the run of it ends with this marker.
    if (lateRejected_ > 0 || context_->gate().queued(ports::EventGate::Kind::Datagram) > 0) {
        ++lateRuns_;
        context_->gate().dispatch(ports::EventGate::Kind::Posted, [this] { endLateRun(); });
    }
}

void frmMain::confirmSelectedElement(const std::string& section) {
    auto& f = feedback_;
    auto& ui = panel;
    const auto& path = context_->databasePath();
    auto put = [&](std::string_view key, const std::string& value) { context_->db().WriteToINI(section, std::string(key), value, path); };
    auto num = [](long long v) { return std::to_string(v); };
    bool confirmed = true;
    auto mismatch = [&](const char* setting) {
        confirmed = false;
        feedbackFailed(saving(setting), kCorrupted);
    };

    if (txt::toUpper(txt::trim(f.name)) == txt::toUpper(txt::trim(ui.txtElementName.text())))
        put(rec::kName, protocol::FormatElementName(ui.txtElementName.text()));
    else
        mismatch("Element Name");
    if (UDP_Response_IP == ui.txtElementIP.text()) put(rec::kIp, ui.txtElementIP.text());
    else mismatch("Element IP");
    if (f.mask == ui.txtElementMask.text()) put(rec::kMask, ui.txtElementMask.text());
    else mismatch("Element Mask");
    if (f.gateway == ui.txtElementGW.text()) put(rec::kGateway, ui.txtElementGW.text());
    else mismatch("Element GW");
    if (f.input == ui.cmbAudioInput.listIndex()) put(rec::kInput, num(ui.cmbAudioInput.listIndex()));
    else mismatch("Audio Input");
    const int row = ui.cmbAudioType.listIndex();
    if (row >= 0 && row < protocol::kAudioTypeRows && (f.type & protocol::kTypeCodeMask) == AudioTypes.row(row).code)
        put(rec::kType, num(f.type));
    else
        mismatch("Audio Type");
    if (f.tx == ui.cmbAudioTX.listIndex()) put(rec::kTx, num(ui.cmbAudioTX.listIndex()));
    else mismatch("Audio TX");

    put(rec::kRole, num(f.role));
    if (f.role == rec::kRoleEncoder) {
        ui.lblElementType.setCaption("ENCODER");
    } else if (f.role == rec::kRoleDecoder) {
        ui.lblElementType.setCaption("DECODER");
    } else {
        ui.lblElementType.setCaption("UNKNOWN");
        confirmed = false;
    }

    if (f.remote == ui.txtRemoteIP.text()) {
        put(rec::streamAddressKey(f.tx, f.role), f.remote);
    } else {
        mismatch(f.tx != 0 ? "Multicast IP" : "Remote IP");
    }

    ui.lblSerialNumber.setCaption(num(f.sn));
    put(rec::kSerial, num(f.sn));
    ui.lblVersion.setCaption(f.versionText());
    put(rec::kVersion, f.versionText());

    if (f.att < ui.scrlAtten.min()) f.att = static_cast<std::uint8_t>(ui.scrlAtten.min());
    ui.scrlAtten.setValue(f.att);
    put(rec::kAttenuation, num(f.att));
    if (f.buf > ui.scrlBuffer.max()) f.buf = static_cast<std::uint8_t>(ui.scrlBuffer.max());
    ui.scrlBuffer.setValue(f.buf);
    put(rec::kBuffer, num(f.buf));
    if (f.sfn > 1) f.sfn = 0;
    put(rec::kSfn, num(f.sfn));
    ui.cmbSilDetMode.setListIndex(f.sdm);
    put(rec::kSilenceMode, num(f.sdm));
    f.sdl = static_cast<std::uint8_t>(std::clamp<int>(f.sdl, ui.scrlSilDetLevel.min(), ui.scrlSilDetLevel.max()));
    ui.scrlSilDetLevel.setValue(f.sdl);
    put(rec::kSilenceLevel, num(f.sdl));
    f.sdt = static_cast<std::uint8_t>(std::clamp<int>(f.sdt, ui.scrlSilDetTime.min(), ui.scrlSilDetTime.max()));
    ui.scrlSilDetTime.setValue(f.sdt);
    put(rec::kSilenceTime, num(f.sdt));
    if (f.llo > 1) f.llo = 0;
    put(rec::kLowLatency, num(f.llo));

    if (!confirmed) return;
    editor_->reloadShown();
    feedbackWaited_ = true;
    context_->noteOperatorChange("configuration saved", protocol::text::trim(f.name));
    msgBox("New configuration has been sucessfuly saved and loaded!", MessageIcon::Information, MessageButtons::Ok,
           Answer::Ok, "Configuration changed");
}

}  // namespace nms::app
