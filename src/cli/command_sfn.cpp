// nms-cli sfn: the SFN overview without a window: every SFN decoder of a stream measured at
// once, aligned on the slowest path and, with --apply --yes, set, recorded and measured again.

#include <cstdio>
#include <optional>

#include "cli/cli.h"
#include "plant/sfn_overview.h"
#include "plant/sfn_overview_view.h"
#include "protocol/text.h"
#include "sfn/frm_adjust.h"

namespace nms::cli {

namespace {

constexpr CommandOption kSfnOptions[] = {
    {"--group", true}, {"--seconds", true}, {"--margin-us", true}, {"--apply", false}};

struct SfnChoice {
    std::string group;
    int seconds = plant::SfnOverview::kDefaultSeconds;
    std::int64_t marginNs = plant::kDefaultMarginNs;
    bool apply = false;
};

// The command's options, or a usage message.
std::optional<SfnChoice> sfnChoice(const Arguments& args) {
    SfnChoice c;
    for (const auto& [name, value] : args.commandOptions) {
        long long n = 0;
        if (name == "--group") {
            c.group = value;
        } else if (name == "--seconds") {
            if (!protocol::text::parseInteger(value, n) || n < 1 || n > 3600) {
                std::fprintf(stderr, "nms-cli: --seconds takes seconds from 1 to 3600\n");
                return std::nullopt;
            }
            c.seconds = static_cast<int>(n);
        } else if (name == "--margin-us") {
            if (!protocol::text::parseInteger(value, n) || n < 0 || n > 2500) {
                std::fprintf(stderr, "nms-cli: --margin-us takes microseconds from 0 to 2500\n");
                return std::nullopt;
            }
            c.marginNs = n * 1000;
        } else if (name == "--apply") {
            c.apply = true;
        }
    }
    return c;
}

std::optional<long long> when(bool known, long long v) {
    return known ? std::optional<long long>(v) : std::nullopt;
}

std::string jsonBool(std::optional<bool> v) {
    return v ? (*v ? "true" : "false") : "null";
}

void printJson(const std::vector<const plant::SfnOverview::Group*>& groups, bool applied) {
    std::string out = "{\"groups\": [";
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const auto& g = *groups[gi];
        const auto& a = g.alignment;
        const bool aligned = a.spreadBeforeNs.has_value();
        out += std::string(gi ? ", " : "") + "{\"stream\": " + jsonString(g.stream) +
               ", \"target_ns\": " + jsonNumber(when(aligned, a.targetNs)) +
               ", \"margin_ns\": " + jsonNumber(when(aligned, a.marginNs)) +
               ", \"spread_before_ns\": " + jsonNumber(a.spreadBeforeNs) +
               ", \"spread_after_ns\": " + jsonNumber(a.spreadAfterNs);
        if (applied)
            out +=
                ", \"spread_achieved_ns\": " + jsonNumber(g.spreadAchievedNs) +
                ", \"apply_to_last_confirmation_ms\": " + jsonNumber(g.applyToLastConfirmationMs);
        out += ", \"decoders\": [";
        for (std::size_t i = 0; i < g.decoders.size(); ++i) {
            const auto& d = g.decoders[i];
            const auto& m = d.measured;
            const bool ok = m.answered();
            const plant::AlignmentProposal* p = i < a.proposals.size() ? &a.proposals[i] : nullptr;
            out +=
                std::string(i ? ", " : "") + "{\"mac\": " + jsonString(d.mac) +
                ", \"name\": " + jsonString(d.name) + ", \"ip\": " + jsonString(d.ip) +
                ", \"answered\": " + (ok ? "true" : "false") +
                ", \"network_min_ns\": " + jsonNumber(when(ok, m.networkMinNs)) +
                ", \"network_avg_ns\": " + jsonNumber(when(ok, m.networkAvgNs())) +
                ", \"network_max_ns\": " + jsonNumber(when(ok, m.networkMaxNs)) +
                ", \"additional_steps\": " +
                jsonNumber(when(ok, m.additionalNs / plant::kNsPerStep)) +
                ", \"servo\": " + jsonBool(ok ? std::optional<bool>(m.autoServo) : std::nullopt) +
                ", \"servo_correction_ns\": " + jsonNumber(when(ok, m.servoCorrectionNs)) +
                ", \"path_ns\": " + jsonNumber(when(ok, m.pathNs())) +
                ", \"total_ns\": " + jsonNumber(when(ok, m.totalNs())) + ", \"delay_changed\": " +
                jsonBool(ok ? std::optional<bool>(m.delayChanged) : std::nullopt) +
                ", \"proposed_steps\": " +
                jsonNumber(p && p->steps ? std::optional<long long>(*p->steps) : std::nullopt) +
                ", \"in_range\": " +
                jsonBool(p && p->steps ? std::optional<bool>(p->inRange) : std::nullopt);
            if (applied)
                out += std::string(", \"sent\": ") + (d.sent ? "true" : "false") +
                       ", \"recorded\": " + (d.recorded ? "true" : "false");
            out += "}";
        }
        out += "]}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
}

std::string delayText(std::int64_t ns) {
    return sfn::FormatDelay(static_cast<std::int32_t>(ns));
}

void printText(const plant::SfnOverview::Group& g, bool applied) {
    const auto& a = g.alignment;
    std::printf("Stream %s\n", g.stream.c_str());
    for (std::size_t i = 0; i < g.decoders.size(); ++i) {
        const auto& d = g.decoders[i];
        const auto& m = d.measured;
        if (!m.answered()) {
            std::printf("  %-20s %-15s no answer\n", d.name.c_str(), d.ip.c_str());
            continue;
        }
        // A measurement cut short (Ctrl+C) has figures but no proposal yet.
        const plant::AlignmentProposal* p = i < a.proposals.size() ? &a.proposals[i] : nullptr;
        std::string proposal;
        if (p && p->steps)
            proposal = ", proposed " + std::to_string(*p->steps) + " steps" +
                       (p->inRange ? "" : " (out of range: left out)");
        const std::string servo =
            m.autoServo ? "on (" + delayText(m.servoCorrectionNs) + ")" : std::string("off");
        std::printf(
            "  %-20s %-15s network latency %s / %s / %s, path %s, additional %lld steps, servo "
            "%s, total (path + additional) %s%s%s\n",
            d.name.c_str(), d.ip.c_str(), delayText(m.networkMinNs).c_str(),
            delayText(m.networkAvgNs()).c_str(), delayText(m.networkMaxNs).c_str(),
            delayText(m.pathNs()).c_str(),
            static_cast<long long>(m.additionalNs / plant::kNsPerStep), servo.c_str(),
            delayText(m.totalNs()).c_str(), proposal.c_str(),
            applied ? (d.recorded ? ", set and recorded" : ", not set") : "");
    }
    if (a.spreadBeforeNs)
        std::printf("  target %s, spread before %s, after %s\n", delayText(a.targetNs).c_str(),
                    delayText(*a.spreadBeforeNs).c_str(), delayText(*a.spreadAfterNs).c_str());
    if (g.spreadAchievedNs)
        std::printf("  spread measured after the apply %s\n",
                    delayText(*g.spreadAchievedNs).c_str());
    std::fflush(stdout);
}

}  // namespace

namespace {

// What a measurement found wrong with a decoder, and a delay that changed under it.
void sayMeasured(const plant::SfnOverview::Group& g) {
    for (const auto& d : g.decoders)
        if (!d.measured.problem.empty())
            std::fprintf(stderr, "nms-cli: %s (%s): %s\n", d.name.c_str(), d.ip.c_str(),
                         d.measured.problem.c_str());
    for (const auto& d : g.decoders)
        if (d.measured.delayChanged)
            std::fprintf(stderr, "nms-cli: %s (%s): %s\n", d.name.c_str(), d.ip.c_str(),
                         plant::delayChangedText(d.measured).c_str());
}

// What an apply left undone, decoder by decoder; the worst exit status of it (0: none).
int sayApplied(const plant::SfnOverview::Group& g) {
    int status = 0;
    for (const auto& d : g.decoders) {
        if (!d.applyProblem.empty()) {
            std::fprintf(stderr, "nms-cli: %s (%s): %s\n", d.name.c_str(), d.ip.c_str(),
                         d.applyProblem.c_str());
            status = std::max(status, 1);
        } else if (d.recorded && !d.confirmed) {
            std::fprintf(stderr, "nms-cli: %s (%s) does not report the new delay\n",
                         d.name.c_str(), d.ip.c_str());
            status = std::max(status, kExitNotConfirmed);
        }
    }
    return status;
}

}  // namespace

int runSfn(Session& session, const Arguments& args) {
    const auto choice = sfnChoice(args);
    if (!choice) return kExitUsage;
    if (!args.positional.empty()) {
        std::fprintf(stderr,
                     "nms-cli: sfn takes no MAC: it measures every SFN decoder of a stream\n");
        return kExitUsage;
    }
    if (choice->apply && !args.yes) {
        std::fprintf(stderr,
                     "nms-cli: sfn --apply changes decoders on air; give --yes to send it\n");
        return kExitRefused;
    }
    auto& main = session.main();
    plant::SfnOverview overview(main.context());
    overview.reload();
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < overview.groups().size(); ++i)
        if (choice->group.empty() || overview.groups()[i].stream == choice->group)
            chosen.push_back(i);
    if (chosen.empty()) {
        std::fprintf(stderr, "nms-cli: %s\n",
                     choice->group.empty()
                         ? "the database holds no SFN decoder (a decoder with SFN on)"
                         : ("no SFN decoder receives " + choice->group).c_str());
        return kExitRefused;
    }
    auto operatorDoes = [&session](std::function<void()> action) {
        session.env().gate.dispatch(ports::EventGate::Kind::Operator, std::move(action));
    };
    // Long enough for every round and the last round's answers.
    const int waitMs = choice->seconds * plant::SfnOverview::kRoundMs + 2000;
    auto run = [&](const std::function<bool()>& start) {
        bool started = false;
        operatorDoes([&] { started = start(); });
        if (started) session.runUntil([&] { return !overview.busy(); }, waitMs);
        if (overview.busy()) operatorDoes([&] { overview.cancel(); });
        return started;
    };
    int status = 0;
    for (const std::size_t gi : chosen) {
        auto& g = overview.groups()[gi];
        if (!run([&] { return overview.measure(gi, choice->seconds); })) {
            std::fprintf(stderr, "nms-cli: %s\n", overview.status().c_str());
            return main.ended() ? session.endedStatus() : 1;
        }
        if (stopRequested()) break;
        sayMeasured(g);
        bool anyAnswered = false;
        for (const auto& d : g.decoders) anyAnswered = anyAnswered || d.measured.answered();
        if (!anyAnswered) {
            std::fprintf(stderr, "nms-cli: no decoder of %s answered%s\n", g.stream.c_str(),
                         ignoredNote(overview.ignoredReplies()).c_str());
            status = std::max(status, kExitTimedOut);
            continue;
        }
        overview.align(gi, choice->marginNs);
        if (!g.alignment.error.empty()) {
            std::fprintf(stderr, "nms-cli: %s: %s\n", g.stream.c_str(), g.alignment.error.c_str());
            status = std::max(status, kExitRefused);
            continue;
        }
        if (!choice->apply) continue;
        run([&] { return overview.apply(gi); });
        if (stopRequested()) break;
        status = std::max(status, sayApplied(g));
        if (g.applyToLastConfirmationMs)
            std::fprintf(stderr, "nms-cli: %s: last decoder confirmed %lld ms after the apply\n",
                         g.stream.c_str(), static_cast<long long>(*g.applyToLastConfirmationMs));
    }
    if (main.ended()) return session.endedStatus();
    if (args.json) {
        std::vector<const plant::SfnOverview::Group*> shown;
        for (const std::size_t gi : chosen) shown.push_back(&overview.groups()[gi]);
        printJson(shown, choice->apply);
    } else {
        for (const std::size_t gi : chosen) printText(overview.groups()[gi], choice->apply);
    }
    return status;
}

constexpr CommandUsage kSfnUsage[] = {
    {"[--group ADDR] [--seconds S] [--margin-us N] [--json] [--apply --yes]",
     "measure every SFN decoder of each stream for S seconds (10), propose additional\n"
     "delays that align their totals (margin N us, 100), and with --apply --yes set them"}};

extern const Command kSfnCommand = Command("sfn", runSfn, kSfnUsage, kSfnOptions);

}  // namespace nms::cli
