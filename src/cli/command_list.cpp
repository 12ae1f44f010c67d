// nms-cli list: the database as a table or JSON, sorted by name.

#include <algorithm>
#include <cstdio>

#include "cli/cli.h"
#include "plant/element_listing.h"

namespace nms::cli {
namespace {

// The table shows no more than the first fields; JSON shows the whole record.
std::vector<plant::ElementListing> rowsOf(app::frmMain& main, bool wholeRecords) {
    std::vector<plant::ElementListing> rows;
    rows.reserve(main.lstHidden.items().size());
    for (const auto& section : main.lstHidden.items())
        rows.push_back(
            plant::readElementListing(main.db(), main.databasePath(), section, wholeRecords));
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.name != b.name ? a.name < b.name : a.mac < b.mac;
    });
    return rows;
}

}  // namespace

void printElements(app::frmMain& main, bool json) {
    const auto rows = rowsOf(main, json);
    if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < rows.size(); ++i)
            std::printf("%s\n  %s", i ? "," : "", plant::elementListingJson(rows[i]).c_str());
        std::printf("%s]\n", rows.empty() ? "" : "\n");
        return;
    }
    std::printf("%-16s  %-8s  %-17s  %-15s  %s\n", "NAME", "ROLE", "MAC", "IP", "FIRMWARE");
    for (const auto& r : rows)
        std::printf("%-16s  %-8s  %-17s  %-15s  %s\n", r.name.c_str(), r.role.c_str(),
                    r.mac.c_str(), r.ip.c_str(), r.firmware.c_str());
    std::printf("%zu element%s\n", rows.size(), rows.size() == 1 ? "" : "s");
}

int runList(Session& session, const Arguments& args) {
    printElements(session.main(), args.json);
    return 0;
}

extern const Command kListCommand{.name = "list", .run = runList, .readOnly = true};

}  // namespace nms::cli
