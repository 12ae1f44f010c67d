// nms-cli list: the database as a table or JSON, sorted by name.

#include <algorithm>
#include <cstdio>

#include "cli/cli.h"
#include "protocol/address.h"
#include "protocol/text.h"
#include "store/element_record.h"

namespace nms::cli {
namespace {

struct Row {
    std::string key, mac, name, role, ip, firmware;
    std::vector<std::pair<std::string, std::string>> record;
};

std::string roleWord(const std::string& stored) {
    const double role = protocol::text::leadingNumber(stored);
    if (role == store::record::kRoleEncoder) return "ENCODER";
    if (role == store::record::kRoleDecoder) return "DECODER";
    return "UNKNOWN";
}

std::vector<Row> rowsOf(app::frmMain& main) {
    auto& db = main.db();
    const auto& path = main.databasePath();
    std::vector<Row> rows;
    for (const auto& section : main.lstHidden.items()) {
        Row r;
        r.key = section;
        r.mac = protocol::Decode_MAC(section);
        auto read = [&](std::string_view key) {
            return db.ReadFromINI(section, std::string(key), path, "");
        };
        r.name = protocol::text::trim(read(store::record::kName));
        r.role = roleWord(read(store::record::kRole));
        r.ip = read(store::record::kIp);
        r.firmware = read(store::record::kVersion);
        std::vector<std::string> keys;
        db.LoadIniSectionKeysLB(section, keys, path);
        for (const auto& k : keys) {
            const std::string key = protocol::text::toLower(k);
            if (key.empty()) continue;
            std::string value = db.ReadFromINI(section, key, path, "");
            if (key == store::record::kName) value = protocol::text::trim(value);
            r.record.emplace_back(key, value);
        }
        rows.push_back(std::move(r));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.name != b.name ? a.name < b.name : a.mac < b.mac;
    });
    return rows;
}

}  // namespace

void printElements(app::frmMain& main, bool json) {
    const auto rows = rowsOf(main);
    if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& r = rows[i];
            std::printf(
                "%s\n  {\"key\": %s, \"mac\": %s, \"name\": %s, \"role\": %s, \"ip\": %s, "
                "\"firmware\": %s, "
                "\"record\": {",
                i ? "," : "", jsonString(r.key).c_str(), jsonString(r.mac).c_str(),
                jsonString(r.name).c_str(), jsonString(r.role).c_str(), jsonString(r.ip).c_str(),
                jsonString(r.firmware).c_str());
            for (std::size_t k = 0; k < r.record.size(); ++k) {
                const auto& [key, value] = r.record[k];
                std::printf("%s%s: %s", k ? ", " : "", jsonString(key).c_str(),
                            protocol::text::isWholeNumber(value) ? value.c_str() : jsonString(value).c_str());
            }
            std::printf("}}");
        }
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
