// nms-cli set: the window's "Save changes" from a shell. The element is loaded as a tree click
// loads it, each KEY=VALUE goes to its control as an operator's change (so every rule of the
// editor runs), then the save's checks, its confirmation and the wait for the element's answer.

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "cli/cli.h"
#include "editor/configuration_exchange.h"
#include "editor/operator_settings.h"
#include "editor/save_configuration.h"
#include "plant/plant_backup.h"
#include "plant/replacement_unit.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/audio_types.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::cli {
namespace {

std::string keyList() {
    std::string out;
    for (auto k : editor::settableKeys()) out += (out.empty() ? "" : " ") + std::string(k);
    return out;
}

constexpr CommandOption kSetOptions[] = {{"--from", true}};

// The source record of --from FILE:MAC or MAC: a backup's record, or the database's; nothing
// (said on standard error, with the status to end with) when it cannot be had.
std::optional<plant::SourceRecord> sourceOf(Session& session, const std::string& from,
                                            int& status) {
    status = kExitRefused;
    std::string file, mac = macFromArgument(from);
    // A file name may hold a colon itself: the MAC is what follows the first colon that leaves
    // a MAC after it.
    for (auto colon = from.find(':'); mac.empty() && colon != std::string::npos;
         colon = from.find(':', colon + 1)) {
        if (const auto m = macFromArgument(from.substr(colon + 1)); !m.empty()) {
            file = from.substr(0, colon);
            mac = m;
        }
    }
    if (mac.empty()) {
        std::fprintf(stderr, "nms-cli: --from takes FILE:MAC (a plant backup) or MAC\n");
        status = kExitUsage;
        return std::nullopt;
    }
    const std::string section = protocol::ElementKey(mac);
    auto& env = session.env();
    if (file.empty()) {
        auto r = plant::recordFromDatabase(env.db, env.databasePath, section);
        if (!r) std::fprintf(stderr, "nms-cli: the database holds no element %s\n", mac.c_str());
        return r;
    }
    const std::string path =
        QFileInfo(QString::fromStdString(file)).absoluteFilePath().toStdString();
    const auto backup = readBackupFile(session, path, "Nothing was changed.");
    if (!backup) {
        status = 1;
        return std::nullopt;
    }
    auto r = plant::recordFromBackup(*backup, section,
                                     QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    if (!r) std::fprintf(stderr, "nms-cli: %s holds no element %s\n", path.c_str(), mac.c_str());
    return r;
}

std::string jsonBool(bool b) {
    return b ? "true" : "false";
}

// set MAC --from FILE:MAC|MAC: another record's settings applied to the element, as "Apply
// settings from..." applies them.
int runSetFrom(Session& session, const Arguments& args) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "nms-cli: set MAC --from FILE:MAC|MAC takes no KEY=VALUE\n");
        return kExitUsage;
    }
    int status = 0;
    const auto source = sourceOf(session, args.value("--from"), status);
    if (!source) return status;
    if (!session.showElement(args.positional[0])) return kExitRefused;
    auto& main = session.main();
    plant::ReplacementUnit unit({main.context(), main.panel, main.editor(), main.exchange(),
                                 [&main] { main.exchange().SaveConfiguration(); }});
    bool finished = false;
    unit.onFinished = [&finished] { finished = true; };
    std::string refusal;
    const std::size_t firstBox = session.dialogs().said().size();
    session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                [&] { refusal = unit.apply(*source); });
    if (!refusal.empty()) {
        std::fprintf(stderr, "nms-cli: %s\n", refusal.c_str());
        return kExitRefused;
    }
    // The answer, the MAC wait (up to about 21 s), then the delay's confirmation.
    if (!finished) session.runUntil([&] { return finished; }, 45000);
    if (main.ended()) return session.endedStatus();
    const auto& s = unit.summary();
    if (args.json) {
        std::string changes, messages;
        for (const auto& c : s.changes)
            changes += std::string(changes.empty() ? "" : ", ") + jsonString(c);
        const auto& boxes = session.dialogs().said();
        for (std::size_t i = firstBox; i < boxes.size(); ++i)
            messages += std::string(messages.empty() ? "" : ", ") + jsonString(boxes[i].text);
        std::printf(
            "{\"mac\": %s, \"source\": %s, \"changes\": [%s], \"configuration_sent\": %s, "
            "\"configuration_confirmed\": %s, \"level\": %s, \"level_sent\": %s, "
            "\"delay_steps\": %s, \"servo\": %s, \"delay_sent\": %s, \"delay_confirmed\": %s, "
            "\"summary\": %s, \"messages\": [%s]}\n",
            jsonString(main.context().shownElementMac()).c_str(), jsonString(s.source).c_str(),
            changes.c_str(), jsonBool(s.configurationSent).c_str(),
            jsonBool(s.configurationConfirmed).c_str(),
            jsonNumber(s.level ? std::optional<long long>(*s.level) : std::nullopt).c_str(),
            jsonBool(s.levelSent).c_str(),
            jsonNumber(s.delaySteps ? std::optional<long long>(*s.delaySteps) : std::nullopt)
                .c_str(),
            s.delaySteps ? jsonBool(s.servo).c_str() : "null", jsonBool(s.delaySent).c_str(),
            jsonBool(s.delayConfirmed).c_str(), jsonString(s.text()).c_str(), messages.c_str());
    } else {
        std::string text = s.text();
        std::replace(text.begin(), text.end(), '\r', '\n');
        std::printf("%s\n", text.c_str());
    }
    if (!finished) return kExitTimedOut;
    if (s.complete()) return 0;
    using End = editor::ConfigurationExchange::SaveEnd;
    if (s.configurationEnd == End::NotSent) return kExitRefused;
    if (s.configurationEnd == End::SendFailed) return 1;
    if (s.configurationEnd == End::NotAnswered) return kExitTimedOut;
    return kExitNotConfirmed;
}

}  // namespace

int runSet(Session& session, const Arguments& args) {
    if (args.given("--from")) return runSetFrom(session, args);
    if (args.positional.size() < 2) {
        std::fprintf(stderr, "nms-cli: set takes a MAC and one or more KEY=VALUE (keys: %s)\n",
                     keyList().c_str());
        return kExitUsage;
    }
    const auto& keys = editor::settableKeys();
    std::map<std::string, std::string> settings;
    for (std::size_t i = 1; i < args.positional.size(); ++i) {
        const std::string& a = args.positional[i];
        const auto eq = a.find('=');
        const std::string key = protocol::text::toLower(a.substr(0, eq));
        if (eq == std::string::npos || std::find(keys.begin(), keys.end(), key) == keys.end()) {
            std::fprintf(stderr, "nms-cli: unknown setting %s (keys: %s)\n", a.c_str(),
                         keyList().c_str());
            return kExitUsage;
        }
        settings[key] = a.substr(eq + 1);
    }
    if (!session.showElement(args.positional[0])) return kExitRefused;
    auto& main = session.main();
    auto& ctx = main.context();

    std::vector<std::string> refusals;
    for (auto key : editor::settableKeys()) {
        const auto it = settings.find(std::string(key));
        if (it == settings.end()) continue;
        std::optional<std::string> refusal;
        session.env().gate.dispatch(ports::EventGate::Kind::Operator, [&] {
            refusal = editor::setAsOperator(main.panel, main.editor(), main.AudioTypes, it->first,
                                            it->second);
        });
        if (refusal) refusals.push_back(*refusal);
    }
    for (const auto& r : refusals) std::fprintf(stderr, "nms-cli: %s\n", r.c_str());
    if (!refusals.empty()) return kExitRefused;

    const auto changes = editor::configurationChanges(
        main.panel, main.AudioTypes, [&ctx](std::string_view key, std::string_view fallback) {
            return ctx.readShown(key, fallback);
        });
    const std::size_t firstBox = session.dialogs().said().size();
    // How the save ended, as the exchange says it: the boxes are for a person to read.
    using End = editor::ConfigurationExchange::SaveEnd;
    auto end = std::make_shared<std::optional<End>>();
    main.exchange().saveEnded.connect([end](End e) { *end = e; });
    session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                [&main] { main.exchange().SaveConfiguration(); });
    const bool sent = main.exchange().awaitingConfigurationAnswer();
    // The answer, the MAC wait (up to about 21 s) and the comparison, or the time-out.
    if (sent) session.runUntil([&] { return end->has_value() && !main.waiting().isOpen(); }, 40000);
    const bool confirmed = *end == End::Confirmed;
    const bool rejected = *end == End::Differs;
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
            confirmed ? "true" : "false", changeList.c_str(), messages.c_str());
    }
    // A send the network refused (no route, link down) is a failure, not a refusal.
    if (*end == End::SendFailed) return 1;
    if (!sent) return kExitRefused;
    if (rejected) return kExitNotConfirmed;
    if (confirmed) return 0;
    return kExitTimedOut;
}

constexpr CommandUsage kSetUsage[] = {
    {"MAC KEY=VALUE... [--yes] [--json]",
     "change settings of an element as the window's \"Save changes\" does; KEY is a key of\n"
     "its record (name ip mask gw input type tx remote multi sfn buf sdm sdl sdt llo)"},
    {"MAC --from FILE:MAC|MAC [--yes] [--json]",
     "give an element (a replacement unit) the settings of another record of the same\n"
     "role, from a plant backup or the database: the configuration as \"Save changes\"\n"
     "sends it, then the audio level and the SFN delay and servo the record holds"}};

extern const Command kSetCommand = Command("set", runSet, kSetUsage, kSetOptions)
                                       .taking("MAC KEY=VALUE... | MAC --from FILE:MAC|MAC", 1, -1);

}  // namespace nms::cli
