// nms-cli delay and set-delay: the SFN window's own code, without the window.

#include <cstdio>

#include "cli/cli.h"
#include "protocol/text.h"
#include "sfn/frm_adjust.h"
#include "store/element_record.h"

namespace nms::cli {
namespace {

bool isSfnDecoder(Session& session) {
    const auto shown = session.main().context().shownElement();
    return shown.isDecoder() && shown.sfnEnabled();
}

// Opens the window for the shown element and waits for its replies: the last one read whole is
// kept in `reading`, the count of them in `replies`.
struct AdjustRun {
    Session& session;
    sfn::frmAdjust& window;
    sfn::DelayReading reading;
    int replies = 0;

    explicit AdjustRun(Session& s) : session(s), window(s.main().adjust()) {
        window.replied.connect([this](const sfn::DelayReading& r) {
            reading = r;
            ++replies;
        });
    }
    bool open() {
        session.env().gate.dispatch(ports::EventGate::Kind::Operator, [this] { window.open(); });
        if (session.main().ended()) return false;
        if (window.lastSend() == station::ElementSocket::Result::NoAddress) {
            std::fprintf(stderr, "nms-cli: %s\n", window.lblStatus.caption().c_str());
            return false;
        }
        return true;
    }
    bool awaitReply(int count, int ms) {
        return session.runUntil([&] { return replies >= count; }, ms);
    }
};

void printDelays(Session& session, const AdjustRun& run, bool json) {
    const auto& w = run.window;
    const auto& r = run.reading;
    if (json) {
        const auto shown = session.main().context().shownElement();
        std::printf(
            "{\"mac\": %s, \"name\": %s, \"min_ns\": %d, \"avg_ns\": %d, \"max_ns\": %d, "
            "\"additional_delay_ns\": %d, \"servo\": %s, \"servo_ns\": %d, \"summary_min_ns\": %d, "
            "\"summary_avg_ns\": %d, \"summary_max_ns\": %d, \"ignored_replies\": %llu}\n",
            jsonString(session.main().context().shownElementMac()).c_str(), jsonString(shown.name).c_str(),
            r.latencyMinNs, r.latencyAvgNs, r.latencyMaxNs, r.additionalNs, r.autoServo ? "true" : "false",
            r.servoCorrectionNs, r.summaryMinNs, r.summaryAvgNs, r.summaryMaxNs,
            static_cast<unsigned long long>(w.ignoredReplies()));
    } else {
        // A line per figure, as the window shows them: its caption, then its value.
        auto line = [](const std::string& caption, const std::string& value) {
            std::printf("%-26s %s\n", caption.c_str(), value.c_str());
        };
        auto shown = [&line](const auto& caption, const auto& value) {
            line(caption.caption(), value.caption());
        };
        shown(w.lblCapDelayMIN, w.lblCurrentDelayMIN);
        shown(w.lblCapDelayMAX, w.lblCurrentDelayMAX);
        shown(w.lblCapDelayAVG, w.lblCurrentDelayAVG);
        shown(w.lblCapAdditionalDelay, w.lblAdditionalDelay);
        line("Auto delay compensation:",
             r.autoServo ? "on, " + sfn::FormatDelay(r.servoCorrectionNs) : "off");
        shown(w.lblCapDelaySumMIN, w.lblDelaySumMIN);
        shown(w.lblCapDelaySumMAX, w.lblDelaySumMAX);
        shown(w.lblCapDelaySumAVG, w.lblDelaySumAVG);
    }
    std::fflush(stdout);
}

bool showSfnDecoder(Session& session, const Arguments& args, std::size_t positional) {
    if (args.positional.size() != positional) {
        std::fprintf(stderr, "nms-cli: %s takes %s\n", args.command.c_str(),
                     positional == 1 ? "one MAC" : "a MAC and a number of steps");
        return false;
    }
    if (!session.showElement(args.positional[0])) return false;
    if (!isSfnDecoder(session)) {
        std::fprintf(stderr,
                     "nms-cli: %s is not a decoder with SFN on: it reports no network delay\n",
                     args.positional[0].c_str());
        return false;
    }
    return true;
}

const char* watchRefused(const std::string& value) {
    const double seconds = protocol::text::leadingNumber(value);
    return seconds < 1 || seconds > 86400 ? "--watch takes seconds from 1 to 86400" : nullptr;
}

const char* servoRefused(const std::string& value) {
    return value != "on" && value != "off" ? "--servo takes on or off" : nullptr;
}

constexpr CommandOption kDelayOptions[] = {{"--watch", true, watchRefused}};
constexpr CommandOption kSetDelayOptions[] = {{"--servo", true, servoRefused},
                                              {"--clear-counters", false}};

}  // namespace

int runDelay(Session& session, const Arguments& args) {
    if (!showSfnDecoder(session, args, 1)) return kExitRefused;
    AdjustRun run(session);
    if (!run.open()) return session.main().ended() ? session.endedStatus() : 1;
    int status = 0;
    if (!run.awaitReply(1, 1000)) {
        // An interrupted wait is no missing reply: nms-cli says it was interrupted.
        if (!stopRequested())
            std::fprintf(stderr, "nms-cli: no delay reply within 1 s%s\n",
                         ignoredNote(run.window.ignoredReplies()).c_str());
        status = kExitTimedOut;
    } else {
        printDelays(session, run, args.json);
        // Every second for the time asked, as the window's "&Auto" does.
        const int watch = static_cast<int>(protocol::text::leadingNumber(args.value("--watch")));
        for (int second = 1; second < watch; ++second) {
            session.runFor(1000);
            if (stopRequested()) break;  // the figures printed so far are the last
            const int before = run.replies;
            session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                        [&run] { run.window.cmdRefresh_Click(); });
            if (run.awaitReply(before + 1, 1000))
                printDelays(session, run, args.json);
            else if (!stopRequested())
                std::fprintf(stderr, "nms-cli: no delay reply within 1 s\n");
            if (session.main().ended()) return session.endedStatus();
        }
    }
    run.window.Form_Unload();
    return status;
}

int runSetDelay(Session& session, const Arguments& args) {
    long long steps = -1;
    if (args.positional.size() == 2 &&
        (!protocol::text::parseInteger(args.positional[1], steps) || steps < 0 || steps > 25000)) {
        std::fprintf(stderr,
                     "nms-cli: STEPS is a whole number of 100 ns steps from 0 to 25000, not %s\n",
                     args.positional[1].c_str());
        return kExitUsage;
    }
    if (!showSfnDecoder(session, args, 2)) return kExitRefused;
    if (!args.yes) {
        std::fprintf(stderr,
                     "nms-cli: set-delay changes the element on air; give --yes to send it\n");
        return kExitRefused;
    }
    AdjustRun run(session);
    if (!run.open()) return session.main().ended() ? session.endedStatus() : 1;
    // The window's controls follow the element's first reply; the new values go in after it.
    run.awaitReply(1, 1000);
    if (stopRequested()) {  // interrupted before sending: nothing changes on air
        run.window.Form_Unload();
        return kExitInterrupted;
    }
    auto& w = run.window;
    auto& ctx = session.main().context();
    const std::string autoClearBefore = ctx.setting(station::settings::kAutoClearCounters);
    auto operatorDoes = [&session](std::function<void()> action) {
        session.env().gate.dispatch(ports::EventGate::Kind::Operator, std::move(action));
    };
    operatorDoes(
        [&] { w.scrlAdditionalDelay.setValue(static_cast<int>(steps), ports::Origin::Operator); });
    const std::string servoChoice = args.value("--servo");
    const bool clearCounters = args.given("--clear-counters");
    if (!servoChoice.empty())
        operatorDoes(
            [&] { w.chkAutoServo.setChecked(servoChoice == "on", ports::Origin::Operator); });
    operatorDoes([&] { w.chkAutoClear.setChecked(clearCounters, ports::Origin::Operator); });
    operatorDoes([&] { w.cmdSet_Click(); });
    if (session.main().ended()) return session.endedStatus();
    if (clearCounters) session.runUntil([&] { return !w.Timer1.enabled(); }, 1000);
    // The window's setting is the operator's; a script's choice for one call does not change it.
    ctx.setSetting(station::settings::kAutoClearCounters, autoClearBefore);
    const bool sent = w.UnsavedParameters;
    if (!sent) {
        w.Form_Unload();
        return 1;
    }
    const bool servo = w.chkAutoServo.checked();
    std::fprintf(stderr, "nms-cli: additional delay %s, auto delay compensation %s sent\n",
                 sfn::FormatDelay(static_cast<std::int32_t>(steps * 100)).c_str(), servo ? "on" : "off");
    // The set has no answer of its own: what the element holds now is asked for ("GetDel"), so
    // that a set it did not take is not reported as done.
    const int before = run.replies;
    operatorDoes([&] { w.cmdRefresh_Click(); });
    const bool answered = run.awaitReply(before + 1, 1000);
    w.Form_Unload();  // stores dly and srv, as closing the window does
    if (session.main().ended()) return session.endedStatus();
    if (!answered) {
        std::fprintf(stderr, "nms-cli: no delay reply within 1 s: the new delay is not confirmed\n");
        return kExitTimedOut;
    }
    const std::int64_t reported = run.reading.additionalNs;
    const bool reportedServo = run.reading.autoServo;
    if (reported != steps * 100 || reportedServo != servo) {
        std::fprintf(stderr, "nms-cli: the element reports additional delay %s, auto delay compensation %s\n",
                     sfn::FormatDelay(static_cast<std::int32_t>(reported)).c_str(), reportedServo ? "on" : "off");
        return kExitNotConfirmed;
    }
    return 0;
}

constexpr CommandUsage kDelayUsage[] = {
    {"MAC [--json] [--watch S]",
     "measure an SFN decoder's network delay once, or every second for S seconds"}};
constexpr CommandUsage kSetDelayUsage[] = {
    {"MAC STEPS [--servo on|off] [--clear-counters] --yes",
     "set an SFN decoder's additional delay (STEPS of 100 ns, 0 to 25000)"}};

extern const Command kDelayCommand =
    Command("delay", runDelay, kDelayUsage, kDelayOptions).taking("MAC [--watch S]", 1, 1);
extern const Command kSetDelayCommand =
    Command("set-delay", runSetDelay, kSetDelayUsage, kSetDelayOptions)
        .taking("MAC STEPS [--servo on|off] --yes", 2, 2);

}  // namespace nms::cli
