#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plant/plant_backup.h"

namespace nms::store {
class ProfileStore;
}

namespace nms::plant {

// A record to take settings from: the failed unit's, from the database or from a backup.
inline constexpr std::string_view kFromDatabase = "the database";

struct SourceRecord {
    std::string key;  // its element key
    std::vector<std::pair<std::string, std::string>> values;
    std::string origin;  // "the database", or the backup file's name
    // The value of a key (any case), or nothing.
    std::optional<std::string> value(std::string_view key) const;
    std::string name() const;
};

// The record of that MAC or element key in the database; nothing when it holds none.
std::optional<SourceRecord> recordFromDatabase(store::ProfileStore& db, const std::string& path,
                                               const std::string& section);
// The record of a section the database lists, spelt as it lists it (no look-up among the others).
SourceRecord recordOfSection(store::ProfileStore& db, const std::string& path,
                             const std::string& listedSection);
// The record of that element key in a checked backup; nothing when it holds none.
std::optional<SourceRecord> recordFromBackup(const PlantBackup& backup, const std::string& section,
                                             const std::string& file);
// The records of the same role as the shown element, for the operator to pick from (the shown
// element's own record left out).
std::vector<SourceRecord> candidatesOf(std::vector<SourceRecord> records, int role,
                                       const std::string& shownSection);
// A record's value as a whole number (blanks around it allowed); nothing when it is none.
std::optional<long long> wholeNumberOf(const std::optional<std::string>& text);

}  // namespace nms::plant
