#include "plant/source_record.h"

#include <algorithm>

#include "protocol/element_key.h"
#include "protocol/text.h"
#include "store/element_record.h"
#include "store/profile_store.h"

namespace nms::plant {

namespace rec = store::record;

std::optional<long long> wholeNumberOf(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    long long n = 0;
    if (!protocol::text::parseInteger(protocol::text::trim(*text), n)) return std::nullopt;
    return n;
}

std::optional<std::string> SourceRecord::value(std::string_view key) const {
    const std::string wanted = protocol::text::toLower(key);
    for (const auto& [k, v] : values)
        if (protocol::text::toLower(k) == wanted) return v;
    return std::nullopt;
}

std::string SourceRecord::name() const {
    const std::string n = protocol::text::trim(value(rec::kName).value_or(""));
    return (n.empty() ? "" : n + " ") + "(" + protocol::ElementIdentity(key) + ")";
}

std::optional<SourceRecord> recordFromDatabase(store::ProfileStore& db, const std::string& path,
                                               const std::string& section) {
    if (!db.fileExists(path)) return std::nullopt;
    std::vector<std::string> sections;
    db.LoadIniSectionsLB(sections, path);
    const auto it = std::find_if(sections.begin(), sections.end(), [&](const std::string& s) {
        return protocol::text::toUpper(s) == protocol::text::toUpper(section);
    });
    if (it == sections.end()) return std::nullopt;
    return recordOfSection(db, path, *it);
}

SourceRecord recordOfSection(store::ProfileStore& db, const std::string& path,
                             const std::string& listedSection) {
    SourceRecord r{listedSection, {}, std::string(kFromDatabase)};
    std::vector<std::string> keys;
    db.LoadIniSectionKeysLB(listedSection, keys, path);
    for (const auto& k : keys) r.values.emplace_back(k, db.ReadFromINI(listedSection, k, path, ""));
    return r;
}

std::optional<SourceRecord> recordFromBackup(const PlantBackup& backup, const std::string& section,
                                             const std::string& file) {
    for (const auto& b : backup.records)
        if (protocol::text::toUpper(b.key) == protocol::text::toUpper(section))
            return SourceRecord{b.key, b.values, file};
    return std::nullopt;
}

std::vector<SourceRecord> candidatesOf(std::vector<SourceRecord> records, int role,
                                       const std::string& shownSection) {
    std::erase_if(records, [&](const SourceRecord& r) {
        return wholeNumberOf(r.value(rec::kRole)) != role ||
               protocol::text::toUpper(r.key) == protocol::text::toUpper(shownSection);
    });
    return records;
}

}  // namespace nms::plant
