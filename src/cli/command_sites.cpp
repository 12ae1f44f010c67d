// nms-cli sites: the plant's routed sites, each a name and its subnets.

#include <cstdio>

#include "cli/cli.h"
#include "plant/json_reader.h"
#include "station/sites.h"

namespace nms::cli {
namespace {

void printSites(const station::Sites& sites, bool json) {
    if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < sites.size(); ++i) {
            std::string subnets;
            for (const auto& s : sites[i].subnets) subnets += (subnets.empty() ? "" : ", ") + plant::json::quote(s.text());
            std::printf("%s\n  {\"name\": %s, \"subnets\": [%s], \"addresses\": %llu}", i ? "," : "",
                        plant::json::quote(sites[i].name).c_str(), subnets.c_str(),
                        static_cast<unsigned long long>(sites[i].hostCount()));
        }
        std::printf("%s]\n", sites.empty() ? "" : "\n");
        return;
    }
    for (const auto& site : sites) {
        std::string subnets;
        for (const auto& s : site.subnets) subnets += (subnets.empty() ? "" : " ") + s.text();
        std::printf("%-24s  %s\n", site.name.c_str(), subnets.c_str());
    }
    std::printf("%zu site%s\n", sites.size(), sites.size() == 1 ? "" : "s");
}

int runSites(Session& session, const Arguments& args) {
    auto& settings = session.env().settings;
    auto sites = station::loadSites(settings);
    const auto& words = args.positional;
    const std::string action = words.empty() ? "list" : words[0];
    if (action == "list" && words.size() <= 1) {
        printSites(sites, args.json);
        return 0;
    }
    if (action == "add" && words.size() >= 3) {
        const std::vector<std::string> subnets(words.begin() + 2, words.end());
        if (const auto refusal = station::addSite(sites, words[1], subnets); !refusal.empty()) {
            std::fprintf(stderr, "nms-cli: %s; the sites were not changed\n", refusal.c_str());
            return kExitRefused;
        }
        station::saveSites(settings, sites);
        printSites(sites, args.json);
        return 0;
    }
    if (action == "remove" && words.size() == 2) {
        if (!station::removeSite(sites, words[1])) {
            std::fprintf(stderr, "nms-cli: no site is named %s\n", words[1].c_str());
            return kExitRefused;
        }
        // The records of its elements stay: a site declared again finds them by their serial numbers.
        station::saveSites(settings, sites);
        printSites(sites, args.json);
        return 0;
    }
    std::fprintf(stderr, "nms-cli: sites takes list, add NAME CIDR..., or remove NAME\n");
    return kExitUsage;
}

constexpr CommandUsage kSitesUsage[] = {
    {"[list] [--json]", "print the declared sites and their subnets"},
    {"add NAME CIDR...", "declare a site behind a router, or add subnets to it (10.1.2.0/24)"},
    {"remove NAME", "forget a site (the records of its elements are kept)"}};

}  // namespace

extern const Command kSitesCommand = Command("sites", runSites, kSitesUsage)
                                         .readingOnly()
                                         .needingNoDatabase()
                                         .taking("[list | add NAME CIDR... | remove NAME]", 0, -1);

}  // namespace nms::cli
