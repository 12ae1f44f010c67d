// nms-cli set: the window's "Save changes" from a shell. The element is loaded as a tree click
// loads it, each KEY=VALUE goes to its control as an operator's change (so every rule of the
// editor runs), then the save's checks, its confirmation and the wait for the element's answer.

#include <algorithm>
#include <cstdio>
#include <map>

#include "editor/configuration_exchange.h"
#include "cli/cli.h"
#include "editor/save_configuration.h"
#include "station/main_toolbar.h"
#include "protocol/audio_types.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::cli {
namespace {

namespace rec = store::record;

// The keys a configuration carries, in the record's order: the type and the kind of stream come
// before the address they decide.
const std::vector<std::string_view> kSettableKeys = {
    rec::kName,   rec::kIp,          rec::kMask,         rec::kGateway,     rec::kInput,
    rec::kType,   rec::kTx,          rec::kMulticast,    rec::kRemote,      rec::kSfn,
    rec::kBuffer, rec::kSilenceMode, rec::kSilenceLevel, rec::kSilenceTime, rec::kLowLatency};

std::string accepted(const ports::ListControl& list) {
    std::string out;
    for (int i = 0; i < list.listCount(); ++i)
        out += (i ? ", " : "") + std::to_string(i) + " (" +
               list.items()[static_cast<std::size_t>(i)] + ")";
    return out;
}

bool wholeNumber(const std::string& text, long long& out) {
    return protocol::text::parseInteger(text, out);
}

// Applies one setting to its control; the refusal's words when the control cannot take it.
std::optional<std::string> apply(app::frmMain& main, const std::string& key,
                                 const std::string& value) {
    auto& p = main.panel;
    const auto op = ports::Origin::Operator;
    long long n = 0;
    auto list = [&](ports::ListControl& control) -> std::optional<std::string> {
        if (!wholeNumber(value, n) || n < 0 || n >= control.listCount())
            return key + " takes one of: " + accepted(control);
        control.setListIndex(static_cast<int>(n), op);
        return std::nullopt;
    };
    auto bar = [&](ports::ScrollBar& control) -> std::optional<std::string> {
        if (!control.enabled()) return key + " does not apply to this element";
        if (!wholeNumber(value, n) || n < control.min() || n > control.max())
            return key + " takes a whole number from " + std::to_string(control.min()) + " to " +
                   std::to_string(control.max());
        control.setValue(static_cast<int>(n), op);
        return std::nullopt;
    };
    auto check = [&](ports::CheckBox& control) -> std::optional<std::string> {
        if (value != "0" && value != "1") return key + " takes 0 or 1";
        control.setValue(value == "1" ? 1 : 0, op);
        return std::nullopt;
    };
    auto text = [&](ports::TextBox& control) -> std::optional<std::string> {
        if (protocol::text::length(value) > static_cast<std::size_t>(control.maxLength))
            return key + " takes at most " + std::to_string(control.maxLength) + " characters";
        control.gotFocus();
        control.setText(value, op);
        control.lostFocus();
        return std::nullopt;
    };

    if (key == rec::kName) return text(p.txtElementName);
    if (key == rec::kIp) return text(p.txtElementIP);
    if (key == rec::kMask) return text(p.txtElementMask);
    if (key == rec::kGateway) return text(p.txtElementGW);
    if (key == rec::kInput) return list(p.cmbAudioInput);
    if (key == rec::kTx) return list(p.cmbAudioTX);
    if (key == rec::kSilenceMode) return list(p.cmbSilDetMode);
    if (key == rec::kBuffer) return bar(p.scrlBuffer);
    if (key == rec::kSilenceLevel) return bar(p.scrlSilDetLevel);
    if (key == rec::kSilenceTime) return bar(p.scrlSilDetTime);
    if (key == rec::kSfn) return check(p.chkSFNEnabled);
    if (key == rec::kLowLatency) return check(p.chkLowLatency);
    if (key == rec::kType) {
        const auto& types = main.AudioTypes;
        std::string codes;
        int row = -1;
        for (int r = 0; r < protocol::kAudioTypesInUse; ++r) {
            codes += (r ? ", " : "") + std::to_string(types.row(r).code) + " (" +
                     std::string(types.row(r).name) + ")";
            if (wholeNumber(value, n) && n >= 0 && n <= 255 &&
                types.row(r).code == (n & protocol::kTypeCodeMask))
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
        if (protocol::AudioTypeTable::isAes67Row(row)) main.editor().ResolveAES67Multicast();
        return std::nullopt;
    }
    if (key == rec::kRemote || key == rec::kMulticast) {
        const bool decoder = p.lblElementType.caption() == "DECODER";
        const bool multicast =
            rec::streamAddressKey(p.cmbAudioTX.listIndex(),
                                  decoder ? rec::kRoleDecoder : rec::kRoleEncoder) ==
            rec::kMulticast;
        if ((key == rec::kMulticast) != multicast)
            return key + " does not apply: this element " +
                   (multicast ? "sends or receives multicast (use multi)"
                              : "sends unicast (use remote)");
        if (!p.txtRemoteIP.enabled()) return key + " follows the AES67 channel of the audio type";
        return text(p.txtRemoteIP);
    }
    return std::nullopt;
}

bool said(const ConsoleDialogs& dialogs, std::size_t from, std::string_view part) {
    const auto& boxes = dialogs.said();
    for (std::size_t i = from; i < boxes.size(); ++i)
        if (boxes[i].text.find(part) != std::string::npos) return true;
    return false;
}

std::string keyList() {
    std::string out;
    for (auto k : kSettableKeys) out += (out.empty() ? "" : " ") + std::string(k);
    return out;
}

}  // namespace

int runSet(Session& session, const Arguments& args) {
    if (args.positional.size() < 2) {
        std::fprintf(stderr, "nms-cli: set takes a MAC and one or more KEY=VALUE (keys: %s)\n",
                     keyList().c_str());
        return kExitUsage;
    }
    std::map<std::string, std::string> settings;
    for (std::size_t i = 1; i < args.positional.size(); ++i) {
        const std::string& a = args.positional[i];
        const auto eq = a.find('=');
        const std::string key = protocol::text::toLower(a.substr(0, eq));
        if (eq == std::string::npos ||
            std::find(kSettableKeys.begin(), kSettableKeys.end(), key) == kSettableKeys.end()) {
            std::fprintf(stderr, "nms-cli: unknown setting %s (keys: %s)\n", a.c_str(),
                         keyList().c_str());
            return kExitRefused;
        }
        settings[key] = a.substr(eq + 1);
    }
    if (!session.showElement(args.positional[0])) return kExitRefused;
    auto& main = session.main();
    auto& ctx = main.context();

    std::vector<std::string> refusals;
    for (auto key : kSettableKeys) {
        const auto it = settings.find(std::string(key));
        if (it == settings.end()) continue;
        std::optional<std::string> refusal;
        session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                    [&] { refusal = apply(main, it->first, it->second); });
        if (refusal) refusals.push_back(*refusal);
    }
    for (const auto& r : refusals) std::fprintf(stderr, "nms-cli: %s\n", r.c_str());
    if (!refusals.empty()) return kExitRefused;

    const auto changes = editor::configurationChanges(
        main.panel, main.AudioTypes, [&ctx](std::string_view key, std::string_view fallback) {
            return ctx.readShown(key, fallback);
        });
    const std::size_t firstBox = session.dialogs().said().size();
    session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                [&main] { main.Toolbar1_ButtonClick(station::toolbar::kSave); });
    const bool sent = main.exchange().awaitingConfigurationAnswer();
    bool confirmed = false, rejected = false, timedOut = false;
    if (sent) {
        // The answer, the MAC wait (up to about 21 s) and the comparison, or the time-out.
        session.runUntil(
            [&] {
                confirmed = said(session.dialogs(), firstBox, "sucessfuly saved");
                timedOut = said(session.dialogs(), firstBox, "timed out");
                rejected = said(session.dialogs(), firstBox, "An error occured") ||
                           said(session.dialogs(), firstBox, "does not match") ||
                           said(session.dialogs(), firstBox, "corrupted");
                return !main.exchange().awaitingConfigurationAnswer() && !main.waiting().isOpen() &&
                       (confirmed || timedOut || rejected);
            },
            40000);
    }
    if (main.ended()) return session.endedStatus();
    if (args.json) {
        std::string changeList, messages;
        for (const auto& c : changes)
            changeList += std::string(changeList.empty() ? "" : ", ") +
                          "{\"key\": " + jsonString(c.key) + ", \"from\": " + jsonString(c.from) +
                          ", \"to\": " + jsonString(c.to) + "}";
        const auto& boxes = session.dialogs().said();
        for (std::size_t i = firstBox; i < boxes.size(); ++i)
            messages += std::string(messages.empty() ? "" : ", ") + jsonString(boxes[i].text);
        std::printf(
            "{\"mac\": %s, \"sent\": %s, \"confirmed\": %s, \"changes\": [%s], \"messages\": "
            "[%s]}\n",
            jsonString(main.panel.lblElementMAC.caption()).c_str(), sent ? "true" : "false",
            confirmed && !rejected ? "true" : "false", changeList.c_str(), messages.c_str());
    }
    // A send the network refused (no route, link down) is a failure, not a refusal.
    if (!sent && said(session.dialogs(), firstBox, "101 - Unable to use UDP port 2976: ") &&
        !said(session.dialogs(), firstBox, "no valid address is stored"))
        return 1;
    if (!sent) return kExitRefused;
    if (rejected) return kExitNotConfirmed;
    if (confirmed) return 0;
    return kExitTimedOut;
}

extern const Command kSetCommand{.name = "set", .run = runSet};

}  // namespace nms::cli
