// nms-cli scan: the plant's routed sites paged address by address, merged into the database.

#include <cstdio>

#include "cli/cli.h"
#include "discovery/paging.h"
#include "protocol/element_key.h"
#include "protocol/text.h"
#include "station/settings_keys.h"

namespace nms::cli {

void printElements(app::frmMain& main, const std::vector<std::string>& sections, bool json);

namespace {

const char* rateRefused(const std::string& value) {
    long long rate = 0;
    namespace keys = station::settings;
    return protocol::text::parseInteger(value, rate) && rate >= keys::kSiteScanRate.low &&
                   rate <= keys::kSiteScanRate.high
               ? nullptr
               : "--rate takes paging requests a second from 1 to 10000";
}

constexpr CommandOption kScanOptions[] = {{"--rate", true, rateRefused}, {"--timeout", true, timeoutRefused}};

}  // namespace

int runScan(Session& session, const Arguments& args) {
    auto& main = session.main();
    auto& ctx = main.context();
    auto& paging = main.paging();
    const auto sites = station::loadSites(session.env().settings);
    if (sites.empty()) {
        std::fprintf(stderr, "nms-cli: no site is declared (nms-cli sites add NAME CIDR...)\n");
        return kExitRefused;
    }
    long long rate = ctx.numberSetting(station::settings::kSiteScanRate);
    if (args.given("--rate")) protocol::text::parseInteger(args.value("--rate"), rate);
    double listen = protocol::text::leadingNumber(args.value("--timeout"));
    if (listen <= 0) discovery::Paging::acceptableTimeout(paging.scanTimeoutText(), &listen);
    if (args.given("--timeout")) paging.overrideDuration(listen);

    const auto plan = discovery::planSiteScan(sites, args.positional, static_cast<int>(rate), listen);
    if (!plan.unknown.empty()) {
        std::fprintf(stderr, "nms-cli: no site is named %s\n", plan.unknown.c_str());
        return kExitRefused;
    }
    std::string summary = plan.summary();
    for (auto& c : summary)
        if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", summary.c_str());
    if (!plan.large.empty() && !args.yes) {
        std::fprintf(stderr, "Nothing was sent (--yes pages them).\n");
        return kExitRefused;
    }

    bool ended = false, saved = false;
    paging.scanEnded.connect([&] {
        saved = session.env().db.flush();
        ended = true;
    });
    session.env().gate.dispatch(ports::EventGate::Kind::Operator, [&paging, &plan] {
        paging.StartSiteScan(plan.subnets, plan.rate);
    });
    session.runUntil([&] { return ended || stopRequested(); }, static_cast<int>(plan.seconds * 1000) + 30000);
    // Ctrl+C stops the requests; what answered so far is kept, since a site scan only adds.
    if (!ended) {
        session.env().gate.dispatch(ports::EventGate::Kind::Operator, [&paging] { paging.cancelScan(); });
        session.runUntil([&] { return ended; }, 5000);
        if (stopRequested()) {
            std::fprintf(stderr, "nms-cli: scan interrupted; what answered so far is kept\n");
            return kExitInterrupted;
        }
        return 1;
    }
    if (!saved) return 1;
    printElements(main, paging.answered(), args.json);
    std::fprintf(stderr, "nms-cli: %llu requests sent%s; %zu answered: %zu new, %zu at another address, %zu not found (kept)\n",
                 static_cast<unsigned long long>(paging.requestsSent()),
                 paging.requestsRefused() ? (", " + std::to_string(paging.requestsRefused()) + " refused by the network").c_str() : "",
                 paging.answered().size(), paging.mergedNew().size(), paging.moved().size(), paging.notFound().size());
    for (const auto& section : paging.notFound())
        std::fprintf(stderr, "nms-cli: not found, kept: %s\n", protocol::ElementIdentity(section).c_str());
    return 0;
}

constexpr CommandUsage kScanUsage[] = {
    {"[SITE...] [--rate N] [--timeout S] [--yes] [--json]",
     "page every address of the named sites (all when none is named) by unicast, N a second\n"
     "(500 by default), and merge the elements that answer into the database"}};

extern const Command kScanCommand = Command("scan", runScan, kScanUsage, kScanOptions)
                                        .needingNoDatabase()
                                        .taking("[SITE...]", 0, -1);

}  // namespace nms::cli
