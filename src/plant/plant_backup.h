#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ports/file_store.h"
#include "station/settings_keys.h"
#include "store/element_record.h"

namespace nms::ports {
class SettingsStore;
}
namespace nms::store {
class ProfileStore;
}

// Plant backups: every record of the database and the station's settings that describe the plant,
// in one versioned JSON file; and the check of such a file before it replaces the database.
namespace nms::plant {

inline constexpr int kBackupFormatVersion = 1;

// One element's record as it stands in the database: its section name (the element key) and
// every key of it in file order, with its text exactly, including keys this station does not know.
struct BackupRecord {
    std::string key;
    std::vector<std::pair<std::string, std::string>> values;
    // The typed view of the keys the station knows (filled when the record was checked).
    store::ElementRecord element;
};

struct BackupSetting {
    std::string section, name, value;
};

struct PlantBackup {
    int formatVersion = kBackupFormatVersion;
    std::string time;     // ISO 8601, UTC
    std::string station;  // the host that made it
    std::string program;  // the program version that made it
    std::vector<BackupSetting> settings;
    std::vector<BackupRecord> records;
};

// The settings that describe the plant rather than this desk: the interface the station works on,
// the scan time-out, the monitor and its journal, the SFN window's counter clearing.
std::span<const station::settings::Key> plantSettingKeys();
// Their values as stored (a setting never stored is left out: it is its default anywhere).
std::vector<BackupSetting> plantSettings(const ports::SettingsStore& settings);

// The records of a database's text, in file order (a section shadowed by an earlier one of the
// same name, a key given twice and comment lines are not records: the station never reads them).
std::vector<BackupRecord> recordsOfDatabase(std::string_view iniText);
// The database text those records make: what the station writes for them, byte for byte.
std::string databaseText(const std::vector<BackupRecord>& records);

// The first value of a record that no element could be given, in words naming the key and the
// value ("\"DLY\" is \"999999\", outside 0 to 25000"); nothing when every value could. The same
// checks for a backup restored, a plant imported and a record applied to a replacement unit.
// A record restored into the database is held to what an element can report of itself (a byte
// where it sends a byte; a delay of 0 to 25000 steps, a name of 16 characters); one applied to an
// element through the editor, to what the editor's controls take and the save's address checks.
enum class RecordUse { Stored, ForTheEditor };
std::optional<std::string> recordValueRefusal(
    const std::vector<std::pair<std::string, std::string>>& values, RecordUse use);

// The backup as JSON text: whole-number values as numbers, other values as strings.
std::string backupJson(const PlantBackup& backup);

// The backup in a file's text, checked whole; or the first thing wrong with it, named.
struct BackupReading {
    std::optional<PlantBackup> backup;
    std::string error;
};
BackupReading readBackup(std::string_view text);

// What a restore of `backup` would replace, for the operator's confirmation.
std::string replacementSummary(const std::vector<BackupRecord>& current, const PlantBackup& backup,
                               const std::string& databasePath);

// Replaces the database at `path` with the backup's records, atomically, after keeping the
// previous file beside it as `path`.bak. On failure nothing was changed and `error` says why.
// `keptCopy` says whether there was a previous file to keep.
ports::WriteResult restoreDatabase(store::ProfileStore& db, const std::string& path,
                                   const PlantBackup& backup, bool* keptCopy = nullptr);

}  // namespace nms::plant
