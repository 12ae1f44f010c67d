// nms-cli discover: one paging scan, exactly as the window's "Discover elements".

#include <chrono>
#include <cstdio>

#include "cli/cli.h"
#include "discovery/paging.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/text.h"

namespace nms::cli {

void printElements(app::frmMain& main, const std::vector<std::string>& sections, bool json);

namespace {

constexpr CommandOption kDiscoverOptions[] = {
    {"--timeout", true, timeoutRefused}, {"--stats", false}, {"--merge", false}};

}  // namespace

int runDiscover(Session& session, const Arguments& args) {
    auto& main = session.main();
    auto& paging = main.paging();
    // The scan's seconds, or 0 for the station's own.
    const double timeout = protocol::text::leadingNumber(args.value("--timeout"));
    if (timeout > 0) paging.overrideDuration(timeout);
    paging.setMerge(args.given("--merge"));

    // Figures for scripts that measure a plant: every datagram counted, and the scan's end timed.
    const std::uint64_t receivedBefore = main.udpClient.deliveredDatagrams();
    bool ended = false, saved = false;
    double scanEndMs = 0;
    // The tree is due when the scan's time is up; how late it comes shows a blocked event loop.
    using Steady = std::chrono::steady_clock;
    Steady::time_point scanStarted{}, treeShown{};
    double cpuAtScanStartMs = 0, cpuAtTreeMs = 0;
    Steady::time_point endStarted{};
    paging.scanEnding.connect([&] { endStarted = Steady::now(); });
    paging.scanEnded.connect([&] {
        const auto start = endStarted;
        saved = session.env().db.flush();
        scanEndMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        treeShown = Steady::now();
        cpuAtTreeMs = processCpuMs();
        ended = true;
    });

    scanStarted = Steady::now();
    cpuAtScanStartMs = processCpuMs();
    auto start = discovery::ScanStart::NotSent;
    session.env().gate.dispatch(ports::EventGate::Kind::Operator,
                                [&main, &start] { start = main.StartAutoDiscovery(); });
    const int scanIntervalMs = paging.Timer1.interval();
    if (start == discovery::ScanStart::Declined) return kExitRefused;  // the operator's No (no --yes)
    if (start != discovery::ScanStart::Started) return 1;  // said; the database is as it was
    const double seconds = timeout > 0 ? timeout : 15;
    session.runUntil([&] { return ended || stopRequested(); }, static_cast<int>(seconds * 1000) + 10000);
    // Ctrl+C in the middle of a scan must not leave half a plant as the database.
    if (!ended && stopRequested()) {
        session.env().gate.dispatch(ports::EventGate::Kind::Operator, [&paging] { paging.abandonScan(); });
        std::fprintf(stderr, "nms-cli: discovery interrupted; the database is as it was\n");
        return kExitInterrupted;
    }
    if (!ended) return 1;
    if (!saved) return 1;  // said: the new database could not be written
    printElements(main, main.lstHidden.items(), args.json);
    if (paging.merging()) {
        // What the merge changed, for the log of whoever runs it on a schedule.
        std::fprintf(stderr, "nms-cli: merged: %zu new, %zu not found (kept)\n",
                     paging.mergedNew().size(), paging.notFound().size());
        for (const auto& section : paging.notFound())
            std::fprintf(stderr, "nms-cli: not found, kept: %s\n",
                         protocol::ElementIdentity(section).c_str());
    }
    if (args.given("--stats")) {
        const double dueToTreeMs =
            std::chrono::duration<double, std::milli>(treeShown - scanStarted).count() - scanIntervalMs;
        std::fprintf(stderr,
                     "stats: datagrams received %llu, dropped by the kernel %llu, elements stored %d, scan end to tree "
                     "%s ms, scan due to tree %s ms, cpu during scan %s ms\n",
                     static_cast<unsigned long long>(main.udpClient.deliveredDatagrams() - receivedBefore),
                     static_cast<unsigned long long>(main.udpClient.droppedDatagrams()), main.TreeView1.nodeCount(),
                     protocol::text::fixedNumber(scanEndMs, 1).c_str(),
                     protocol::text::fixedNumber(dueToTreeMs, 1).c_str(),
                     protocol::text::fixedNumber(cpuAtTreeMs - cpuAtScanStartMs, 1).c_str());
        std::fprintf(stderr, "stats: datagrams refused as they arrived %llu, dropped at the full queue %llu\n",
                     static_cast<unsigned long long>(main.udpClient.refusedDatagrams()),
                     static_cast<unsigned long long>(session.env().gate.dropped(ports::EventGate::Kind::Datagram)));
    }
    return 0;
}

constexpr CommandUsage kDiscoverUsage[] = {
    {"[--timeout S] [--yes] [--json] [--stats] [--merge]",
     "page the network once (this replaces the database) and print the elements found"}};

extern const Command kDiscoverCommand =
    Command("discover", runDiscover, kDiscoverUsage, kDiscoverOptions).needingNoDatabase();

}  // namespace nms::cli
