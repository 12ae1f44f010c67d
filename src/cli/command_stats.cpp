// nms-cli stats: one "GetStats" through the statistics window's own code, printed as the window
// shows it (or as JSON), or a counter reset.

#include <cstdio>

#include "cli/cli.h"
#include "protocol/text.h"
#include "stats/frm_statistics.h"
#include "store/element_record.h"

namespace nms::cli {
namespace {

const char* stateWord(stats::IndicatorState s) {
    switch (s) {
        case stats::IndicatorState::Red:
            return "red";
        case stats::IndicatorState::Green:
            return "green";
        case stats::IndicatorState::Neutral:
            break;
    }
    return "neutral";
}

std::string indicatorJson(const stats::Indicator& i, bool withCaption) {
    std::string out = "{\"state\": \"" + std::string(stateWord(i.state)) +
                      "\", \"tip\": " + jsonString(i.toolTip);
    if (withCaption) out += ", \"caption\": " + jsonString(protocol::text::trim(i.caption));
    return out + "}";
}

constexpr CommandOption kStatsOptions[] = {{"--reset", false}};

// A rate needs two readings of the same element; the window's first one is measured from
// nothing (tick 0, count 0) and says 0 for a decoder receiving a thousand frames a second. One
// call of nms-cli is one reading: it gives no rate rather than a wrong one.
std::string withoutRate(std::string figure) {
    const auto at = figure.rfind(" (");
    if (at != std::string::npos && figure.size() > 5 &&
        figure.compare(figure.size() - 5, 5, " pps)") == 0)
        figure.erase(at);
    return figure;
}

// The reset: only the operator's Yes (--yes) sends "RstStats".
int resetCounters(Session& session, stats::frmStatistics& window) {
    const auto before = session.dialogs().questionsRefused();
    session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                [&window] { window.cmdResetStats_Click(); });
    window.Form_Unload();
    if (session.dialogs().questionsRefused() > before) return kExitRefused;
    std::fprintf(stderr, "nms-cli: counters reset\n");
    return 0;
}

// The figures and indicators as the window shows them.
void printText(app::frmMain& main, stats::frmStatistics& window, const std::string& name) {
    const auto& v = *window.lastView();
    std::printf("%s [%s]\n", name.c_str(), main.context().shownElementMac().c_str());
    for (const auto& row : window.figureRows())
        std::printf("  %-20s %s\n", row.caption.caption().c_str(),
                    withoutRate(row.figure.caption()).c_str());
    const struct {
        const char* name;
        const stats::Indicator& indicator;
    } indicators[] = {{"AUDIO", v.audio}, {"10MHz", v.clock}, {"1PPS", v.pps}, {"ETH", v.ethernet}};
    for (const auto& i : indicators) {
        // The Ethernet indicator shows the link's speed and duplex in place of its name.
        std::string label = i.name;
        const std::string shown = protocol::text::trim(i.indicator.caption);
        if (!shown.empty() && shown != label) label += " (" + shown + ")";
        std::printf("  %-20s %-7s %s\n", label.c_str(), stateWord(i.indicator.state),
                    i.indicator.toolTip.c_str());
    }
    if (v.alarmsList)
        std::printf("  %-20s %s\n", window.lblCapOMAlarmsList.caption().c_str(),
                    v.alarmsList->c_str());
}

// The reading as JSON, with the indicators as the window shows them: what the element's role
// and SFN flag leave out is null.
void printJson(app::frmMain& main, stats::frmStatistics& window, const std::string& name,
               const stats::ElementFacts& facts, const stats::StatisticsReading& reading) {
    const auto& v = *window.lastView();
    const char* role = facts.role == store::record::kRoleEncoder   ? "ENCODER"
                       : facts.role == store::record::kRoleDecoder ? "DECODER"
                                                                   : "UNKNOWN";
    std::printf("{\"mac\": %s, \"name\": %s, \"role\": \"%s\", %s, "
                "\"indicators\": {\"audio\": %s, \"clock\": %s, \"pps\": %s, \"ethernet\": %s}, "
                "\"alarm_code\": %s, \"ignored_replies\": %llu}\n",
                jsonString(main.context().shownElementMac()).c_str(), jsonString(name).c_str(), role,
                stats::readingJsonMembers(reading, true).c_str(), indicatorJson(v.audio, false).c_str(),
                indicatorJson(v.clock, false).c_str(), indicatorJson(v.pps, false).c_str(),
                indicatorJson(v.ethernet, true).c_str(), v.alarmsList ? v.alarmsList->c_str() : "null",
                static_cast<unsigned long long>(window.ignoredReplies()));
}

}  // namespace

int runStats(Session& session, const Arguments& args) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "nms-cli: stats takes one MAC\n");
        return kExitUsage;
    }
    if (!session.showElement(args.positional[0])) return kExitRefused;
    auto& main = session.main();
    auto& window = main.statistics();

    std::optional<stats::StatisticsReading> reading;
    window.replied.connect([&reading](const stats::StatisticsReading& r) { reading = r; });
    session.env().gate.dispatch(ports::EventGate::Kind::Operator, [&window] { window.open(); });
    if (main.ended()) return session.endedStatus();
    if (window.lastSend() == station::ElementSocket::Result::NoAddress) {
        std::fprintf(stderr, "nms-cli: %s\n", window.lblStatus.caption().c_str());
        window.Form_Unload();
        return 1;
    }
    if (args.given("--reset")) return resetCounters(session, window);

    session.runUntil([&] { return reading.has_value(); }, 1000);
    const auto facts = window.shownElementFacts();
    window.Form_Unload();
    if (!reading) {
        std::fprintf(stderr, "nms-cli: no statistics reply from %s within 1 s%s\n",
                     main.context().shownElement().ip.c_str(),
                     ignoredNote(window.ignoredReplies()).c_str());
        return kExitTimedOut;
    }
    const std::string name = main.context().shownElement().name;
    if (args.json)
        printJson(main, window, name, facts, *reading);
    else
        printText(main, window, name);
    return 0;
}

constexpr CommandUsage kStatsUsage[] = {
    {"MAC [--json] [--reset --yes]",
     "fetch an element's counters, alarms and link state (or reset its counters)"}};

extern const Command kStatsCommand =
    Command("stats", runStats, kStatsUsage, kStatsOptions).taking("MAC", 1, 1);

}  // namespace nms::cli
