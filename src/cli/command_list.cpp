// nms-cli list: the database as a table or JSON, sorted by name.

#include <algorithm>
#include <cstdio>

#include "cli/cli.h"
#include "plant/element_listing.h"
#include "plant/json_reader.h"
#include "station/sites.h"

namespace nms::cli {
namespace {

// The table shows no more than the first fields; JSON shows the whole record. Sorted by name
// (then MAC) through their positions: moving whole rows costs more than reading them.
std::vector<plant::ElementListing> rowsOf(app::frmMain& main,
                                          const std::vector<std::string>& sections,
                                          bool wholeRecords) {
    std::vector<plant::ElementListing> read;
    read.reserve(sections.size());
    for (const auto& section : sections)
        read.push_back(
            plant::readElementListing(main.db(), main.databasePath(), section, wholeRecords));
    std::vector<std::size_t> order(read.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&read](std::size_t a, std::size_t b) {
        const auto& x = read[a];
        const auto& y = read[b];
        return x.name != y.name ? x.name < y.name : x.mac < y.mac;
    });
    std::vector<plant::ElementListing> rows;
    rows.reserve(read.size());
    for (const std::size_t i : order) rows.push_back(std::move(read[i]));
    return rows;
}

}  // namespace

void printElements(app::frmMain& main, const std::vector<std::string>& sections, bool json) {
    const auto rows = rowsOf(main, sections, json);
    if (json) {
        // With sites declared each element says its own ("" on the station's segment).
        const auto sites = station::loadSites(main.context().env.settings);
        std::printf("[");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::string site;
            if (!sites.empty()) {
                const auto* in = station::siteOf(sites, rows[i].ip);
                site = ", \"site\": " + plant::json::quote(in ? in->name : std::string());
            }
            std::printf("%s\n  %s", i ? "," : "", plant::elementListingJson(rows[i], site).c_str());
        }
        std::printf("%s]\n", rows.empty() ? "" : "\n");
        return;
    }
    // An element behind a router is named by its serial number, wider than a MAC.
    int width = 17;
    for (const auto& r : rows) width = std::max(width, static_cast<int>(r.mac.size()));
    std::printf("%-16s  %-8s  %-*s  %-15s  %s\n", "NAME", "ROLE", width, "MAC", "IP", "FIRMWARE");
    for (const auto& r : rows)
        std::printf("%-16s  %-8s  %-*s  %-15s  %s\n", r.name.c_str(), r.role.c_str(), width,
                    r.mac.c_str(), r.ip.c_str(), r.firmware.c_str());
    std::printf("%zu element%s\n", rows.size(), rows.size() == 1 ? "" : "s");
}

// The records and nothing else: no tree is built for a listing (a tenth of its time at 10,000
// elements), and a record given twice in another case is listed once, as the station reads it.
int runList(Session& session, const Arguments& args) {
    auto& main = session.main();
    auto& ctx = main.context();
    const auto sections = ctx.databaseSections();
    if (sections.empty())
        ctx.msgBox(ctx.db().fileExists(ctx.databasePath())
                       ? "Local database is empty.\rPlease click the 'Auto Discover' icon to probe "
                         "the network."
                       : "Local database is empty.\rPlease click 'Auto Discover' icon to probe the "
                         "network.",
                   ports::MessageIcon::Information, ports::MessageButtons::Ok, ports::Answer::Ok,
                   "Information");
    printElements(main, sections, args.json);
    return 0;
}

constexpr CommandUsage kListUsage[] = {
    {"[--json]", "print the elements of the database, sorted by name"}};

extern const Command kListCommand = Command("list", runList, kListUsage).readingOnly();

}  // namespace nms::cli
