// The configuration exchange: the send of "Save changes" and the feedback that answers it.

#include "editor/configuration_exchange.h"

#include <functional>
#include <optional>
#include <utility>

#include "editor/save_configuration.h"
#include "protocol/address.h"
#include "protocol/arp.h"
#include "protocol/element_key.h"
#include "protocol/paging.h"
#include "protocol/text.h"
#include "station/main_toolbar.h"
#include "store/element_record.h"

namespace nms::editor {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;
namespace rec = store::record;

namespace {
constexpr const char* kCorrupted = "Feedback is corrupted.";
std::string retrieving(const char* setting) {
    return std::string("An error occured while retrieving '") + setting + "':";
}
std::string saving(const char* setting) {
    return std::string("An error occured while saving '") + setting + "':";
}

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
        return Rejection{retrieving("TX Type"),
                         "Feedback is corrupted. (" + std::to_string(f.tx) + ")"};
    if (f.role > 2) return Rejection{retrieving("Element Type"), kCorrupted};
    if (f.sn < 1) return Rejection{retrieving("Serial Number"), kCorrupted};
    return std::nullopt;
}

std::string lateRejectionsText(std::uint64_t count) {
    if (count == 1) return "1 more answer was rejected while this message was open.";
    return std::to_string(count) + " more answers were rejected while this message was open.";
}
}  // namespace

ConfigurationExchange::ConfigurationExchange(PropertiesPanel& panel,
                                             station::StationContext& context, ExchangeLinks links)
    : timerRemoteSent(context.scheduler(), context.gate(), 3000),
      panel_(panel),
      context_(context),
      links_(std::move(links)),
      waiting_(context.scheduler(), context.gate(),
               {[this] { links_.silentPing(UDP_Response_IP); },
                [this] {
                    std::string mac;
                    return LookupMAC(UDP_Response_IP, mac, ":");
                }}) {
    timerRemoteSent.onTimer = [this] { timerRemoteSent_Timer(); };
    context_.atEnd([this] { timerRemoteSent.setEnabled(false); });
}

// ---------------------------------------------------------------------------------------------
// The save flow: the checks in front of a configuration send, the confirmation, the send.

void ConfigurationExchange::SaveConfiguration() {
    auto& ctx = context_;
    // For this save only, whatever becomes of it.
    const std::string allowed = std::exchange(replaced_, {});
    const bool addressAllowed = std::exchange(replacedAddress_, false);
    if (const auto failure = saveCheckFailure(panel_, ctx.db(), ctx.databasePath())) {
        ctx.msgBox(*failure + "\r" + std::string(kCannotSave), MessageIcon::Critical,
                   MessageButtons::Ok, Answer::Ok, std::string(kSaveErrorTitle));
        return saveEnded(SaveEnd::NotSent);
    }
    // Another element's address strands both; the one exception, a replacement unit taking over
    // the address of the unit it replaces, is let through by whoever made sure that unit is gone.
    if (const auto holder = addressHolder(panel_, ctx.db(), ctx.databasePath(),
                                          addressAllowed ? allowed : std::string())) {
        ctx.msgBox(addressTakenRefusal(panel_.txtElementIP.text(), *holder) + "\r" +
                       std::string(kCannotSave),
                   MessageIcon::Critical, MessageButtons::Ok, Answer::Ok,
                   std::string(kSaveErrorTitle));
        return saveEnded(SaveEnd::NotSent);
    }
    if (const auto holder = nameHolder(panel_, ctx.db(), ctx.databasePath(), allowed)) {
        if (ctx.msgBox(sharedNameQuestion(panel_.txtElementName.text(), *holder),
                       MessageIcon::Exclamation, MessageButtons::YesNo, Answer::No,
                       std::string(kSaveConfirmationTitle)) != Answer::Yes)
            return saveEnded(SaveEnd::NotSent);
    }
    // A gateway outside the subnet can be meant (a routed management network), but more often
    // it is a typing error that leaves the element unreachable: only a deliberate Yes sends it.
    if (const auto question = gatewayQuestion(elementAddresses(panel_))) {
        if (ctx.msgBox(*question, MessageIcon::Exclamation, MessageButtons::YesNo, Answer::No,
                       std::string(kSaveConfirmationTitle)) != Answer::Yes)
            return saveEnded(SaveEnd::NotSent);
    }
    // The fixed question, with every setting that is about to change on air unfolded below it.
    const auto changes = configurationChanges(
        panel_, ctx.AudioTypes, [&ctx](std::string_view key, std::string_view fallback) {
            return ctx.readShown(key, fallback);
        });
    const Answer answer =
        ctx.msgBox(std::string(kSaveConfirmation), MessageIcon::Question, MessageButtons::YesNo,
                   Answer::No, std::string(kSaveConfirmationTitle), describeChanges(changes));
    if (answer != Answer::Yes) return saveEnded(SaveEnd::NotSent);
    SendConfiguration();
}

void ConfigurationExchange::SendConfiguration() {
    const float version =
        configurationVersion(context_.readShown(rec::kVersion, rec::defaults::kVersionForSend));
    const auto packet = protocol::encodeConfiguration(
        configurationFromPanel(panel_, context_.AudioTypes), sendsDecoderLayout(panel_), version);
    SendConfigurationBytes(packet);
}

bool ConfigurationExchange::SendConfigurationBytes(std::span<const std::uint8_t> packet) {
    static const std::string kPrefix = "101 - Unable to use UDP port 2976: ";
    auto& socket = links_.mainSocket;
    const auto result =
        socket.sendToShown(packet, protocol::kPortFeedback, {kPrefix, true}, [this] {
            timerRemoteSent.setEnabled(false);
            timerRemoteSent.setEnabled(true);
            // One send at a time: a second one would share this one's time-out.
            links_.toolbar.setButtonEnabled(station::toolbar::kSave, false);
        });
    if (result == station::ElementSocket::Result::NoAddress) socket.sayNoAddress(kPrefix);
    if (result != station::ElementSocket::Result::Sent) {
        if (!ended()) endConfigurationWait();
        if (!ended())
            saveEnded(result == station::ElementSocket::Result::NoAddress ? SaveEnd::NotSent
                                                                         : SaveEnd::SendFailed);
        return false;
    }
    links_.silentPing(socket.client().remoteHost);
    return true;
}

void ConfigurationExchange::endConfigurationWait() {
    timerRemoteSent.setEnabled(false);
    links_.toolbar.setButtonEnabled(station::toolbar::kSave, true);
}

void ConfigurationExchange::timerRemoteSent_Timer() {
    endConfigurationWait();
    context_.msgBox("Waiting for a response from Network Element has timed out!\rCannot save.",
                    MessageIcon::Critical, MessageButtons::Ok, Answer::Ok, "Error!");
    saveEnded(SaveEnd::NotAnswered);
}

bool ConfigurationExchange::LookupMAC(const std::string& ip, std::string& mac,
                                      const std::string& separator) {
    if (!protocol::LookupMAC(context_.network().neighbours(), ip, mac, separator)) return false;
    sRemoteMacAddress2 = mac;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The feedback handler: an element's answer to the paging request or to a configuration.
//
// Late feedback. While a feedback has a box or the MAC wait open, the event loop keeps running
// and the socket keeps delivering; a host that sprays the port could otherwise queue thousands of
// answers, each with a box or a 21-second wait of its own. So while one is open:
// - a feedback that would fail the checks is counted as it arrives and never queued;
// - the rest wait in the gate's queue (bounded), and once the open feedback has been handled
//   they are handled as a run: a failure among them is counted instead of shown, the MAC is
//   looked up once instead of waited for, and the tree is rebuilt once at the end of the run;
// - at the end of the run the count is said in one box.
// A feedback that arrives alone is handled exactly as before.

bool ConfigurationExchange::acceptFeedback(const std::vector<std::uint8_t>& datagram) {
    if ((feedbackInProgress_ || lateCountOpen_) &&
        checkFeedback(protocol::decodeFeedback(datagram, feedback_))) {
        ++lateRejected_;
        return false;
    }
    return true;
}

void ConfigurationExchange::endLateRun() {
    if (--lateRuns_ > 0 || ended()) return;
    if (std::exchange(lateTreeRebuild_, false) && !context_.AutoDiscoverAwaiting)
        links_.rebuildTree();
    if (lateRejected_ == 0 || ended()) return;
    lateCountOpen_ = true;
    context_.msgBox(lateRejectionsText(std::exchange(lateRejected_, 0)), MessageIcon::Exclamation,
                    MessageButtons::Ok, Answer::Ok);
    lateCountOpen_ = false;
    // What arrived while this box was open is a run of its own.
    if (lateRejected_ > 0 || context_.gate().queued(ports::EventGate::Kind::Datagram) > 0) {
        ++lateRuns_;
        context_.gate().dispatch(ports::EventGate::Kind::Posted, [this] { endLateRun(); });
    }
}

void ConfigurationExchange::feedbackFailed(const std::string& firstLine,
                                           const std::string& secondLine) {
    if (lateRuns_ > 0) {
        ++lateRejected_;
        return;
    }
    feedbackWaited_ = true;
    context_.msgBox(firstLine + "\r" + secondLine, MessageIcon::Critical, MessageButtons::Ok,
                    Answer::Ok);
}

void ConfigurationExchange::ProcessFeedback(const std::vector<std::uint8_t>& datagram) {
    // Decoding: a byte the datagram does not reach leaves its field as it was.
    feedback_ = protocol::decodeFeedback(datagram, feedback_);
    UDP_Response_IP = feedback_.ip;
    feedbackInProgress_ = true;
    feedbackWaited_ = false;

    if (const auto rejected = checkFeedback(feedback_)) {
        feedbackFailed(rejected->firstLine, rejected->secondLine);
        if (!context_.AutoDiscoverAwaiting && !ended()) saveEnded(SaveEnd::Differs);
        return finishFeedback();
    }

    // Accepted: the reply time-out of a configuration send is over.
    endConfigurationWait();

    // The element's MAC address names its record. During a scan the scan finds it (resolving it
    // on the network while the scan goes on, if need be). An element that has just answered is
    // in the neighbour table, so a late feedback gets one look-up rather than a wait of its own.
    if (context_.AutoDiscoverAwaiting) {
        links_.scanAnswer(UDP_Response_IP, feedback_);
        return finishFeedback();
    }
    // An element behind a router has no MAC address the station can find: its answer names it
    // by its role and serial number, at once.
    if (protocol::IsSerialKey(context_.shownElementMac())) {
        sRemoteMacAddress2.clear();
        continueFeedbackWithMac(protocol::SerialKey(feedback_.role, feedback_.sn));
        return;
    }
    if (lateRuns_ > 0) {
        std::string mac;
        sRemoteMacAddress2.clear();
        LookupMAC(UDP_Response_IP, mac, ":");
        continueFeedbackWithMac(mac);
        return;
    }
    sRemoteMacAddress2.clear();
    feedbackWaited_ = true;
    // Datagrams wait until this feedback has been handled to its end.
    context_.gate().hold(ports::EventGate::Kind::Datagram);
    waiting_.open(20, [this] {
        const std::string mac = sRemoteMacAddress2;
        continueFeedbackWithMac(mac);
        context_.gate().release(ports::EventGate::Kind::Datagram);
    });
}

void ConfigurationExchange::continueFeedbackWithMac(const std::string& mac) {
    if (ended()) return;
    if (mac.empty()) {
        feedbackFailed(retrieving("Element MAC"), kCorrupted);
        if (!context_.AutoDiscoverAwaiting) saveEnded(SaveEnd::Differs);
        return finishFeedback();
    }
    const std::string section = protocol::ElementKey(mac);
    if (context_.AutoDiscoverAwaiting) {
        links_.scanAnswerWithMac(UDP_Response_IP, mac, feedback_);
    } else if (mac != context_.shownElementMac()) {
        feedbackFailed("The response received does not match the selected element.",
                       "Cannot save this element info.");
        saveEnded(SaveEnd::Differs);
    } else if (context_.db().GetSectionKeyCount(section, context_.databasePath()) >=
               rec::kMaxKeysForFeedback) {
        feedbackFailed("The data stored in your computer about this element, is corrupted.",
                       "Cannot save this element info.");
        saveEnded(SaveEnd::Differs);
    } else {
        confirmSelectedElement(section);
    }
    finishFeedback();
}

void ConfigurationExchange::finishFeedback() {
    feedbackInProgress_ = false;
    if (ended()) return;
    if (!context_.AutoDiscoverAwaiting) {
        if (lateRuns_ > 0)
            lateTreeRebuild_ = true;
        else
            links_.rebuildTree();
    }
    if (ended() || !std::exchange(feedbackWaited_, false)) return;
    // What arrived while this feedback had a box or the wait open is queued behind it, or was
    // counted; the run of it ends with this marker.
    if (lateRejected_ > 0 || context_.gate().queued(ports::EventGate::Kind::Datagram) > 0) {
        ++lateRuns_;
        context_.gate().dispatch(ports::EventGate::Kind::Posted, [this] { endLateRun(); });
    }
}

// The answer is compared with what was sent, setting by setting; what it confirms is stored, and
// the panel shows what the element keeps. What is confirmed before a mismatch is said reaches the
// database before the box, as every change does.
void ConfigurationExchange::confirmSelectedElement(const std::string& section) {
    auto& f = feedback_;
    const auto& ui = panel_;
    // What the save changes, read before the record takes the answer: the journal shows each
    // changed setting as it was and as it is.
    const auto changes = configurationChanges(
        ui, context_.AudioTypes, [&](std::string_view key, std::string_view fallback) {
            return context_.db().ReadFromINI(section, std::string(key), context_.databasePath(),
                                             std::string(fallback));
        });
    store::ElementRecord confirmedFields;
    auto write = [&] {
        store::writeElementRecord(context_.db(), context_.databasePath(), section,
                                  std::exchange(confirmedFields, {}));
    };
    bool confirmed = true;
    auto mismatch = [&](const char* setting) {
        confirmed = false;
        write();
        feedbackFailed(saving(setting), kCorrupted);
    };
    auto& r = confirmedFields;

    // A setting the answer confirms is kept; one that differs is said.
    auto check = [&](bool same, const char* setting, const std::function<void()>& keep) {
        if (same)
            keep();
        else
            mismatch(setting);
    };
    check(protocol::text::toUpper(protocol::text::trim(f.name)) ==
              protocol::text::toUpper(protocol::text::trim(ui.txtElementName.text())),
          "Element Name", [&] { r.name = protocol::FormatElementName(ui.txtElementName.text()); });
    check(UDP_Response_IP == ui.txtElementIP.text(), "Element IP",
          [&] { r.ip = ui.txtElementIP.text(); });
    check(f.mask == ui.txtElementMask.text(), "Element Mask",
          [&] { r.mask = ui.txtElementMask.text(); });
    check(f.gateway == ui.txtElementGW.text(), "Element GW",
          [&] { r.gateway = ui.txtElementGW.text(); });
    check(f.input == ui.cmbAudioInput.listIndex(), "Audio Input",
          [&] { r.input = ui.cmbAudioInput.listIndex(); });
    const int row = ui.cmbAudioType.listIndex();
    check(row >= 0 && row < protocol::kAudioTypeRows &&
              (f.type & protocol::kTypeCodeMask) == context_.AudioTypes.row(row).code,
          "Audio Type", [&] { r.type = f.type; });
    check(f.tx == ui.cmbAudioTX.listIndex(), "Audio TX", [&] { r.tx = ui.cmbAudioTX.listIndex(); });

    r.role = f.role;
    if (!links_.editor.showConfirmedRole(f.role)) confirmed = false;
    check(f.remote == ui.txtRemoteIP.text(), f.tx != 0 ? "Multicast IP" : "Remote IP",
          [&] { r.setStreamAddress(f.tx, f.role, f.remote); });

    // The panel brings the levels, buffer and silence detector into its ranges; the record keeps
    // them as shown.
    links_.editor.showConfirmedAnswer(f);
    if (f.sfn > 1) f.sfn = 0;
    if (f.llo > 1) f.llo = 0;
    r.serial = f.sn;
    r.version = f.versionText();
    r.attenuation = f.att;
    r.buffer = f.buf;
    r.sfn = f.sfn;
    r.silenceMode = f.sdm;
    r.silenceLevel = f.sdl;
    r.silenceTime = f.sdt;
    r.lowLatency = f.llo;
    write();

    if (!confirmed) return saveEnded(SaveEnd::Differs);
    announceConfirmedSave(changes);
}

// Every setting confirmed: the panel shows the record, the journal says what changed, and the
// operator is told.
void ConfigurationExchange::announceConfirmedSave(const std::vector<SettingChange>& changes) {
    links_.editor.reloadShown();
    feedbackWaited_ = true;
    std::string before, after;
    for (const auto& c : changes) {
        before += (before.empty() ? "" : "; ") + c.label + ": " + c.from;
        after += (after.empty() ? "" : "; ") + c.label + ": " + c.to;
    }
    if (changes.empty()) after = describeChanges(changes);
    context_.noteOperatorChange("configuration saved", before, after);
    context_.msgBox("New configuration has been sucessfuly saved and loaded!",
                    MessageIcon::Information, MessageButtons::Ok, Answer::Ok,
                    "Configuration changed");
    if (!ended()) saveEnded(SaveEnd::Confirmed);
}

}  // namespace nms::editor
