#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "plant/plant_backup.h"

namespace nms::ports {
class FileStore;
class SettingsStore;
}  // namespace nms::ports
namespace nms::store {
class ProfileStore;
}

// The plant's file as both front ends write and read it: the export of the whole plant, the
// reading of a backup before it replaces the database or gives a record, and the database's
// records as they stand. Each says how it ended; the front ends say it in their own words.
namespace nms::plant {

// What a backup says of the station that made it.
struct BackupOrigin {
    std::string time;     // ISO 8601, UTC
    std::string station;  // the host
    std::string program;  // the program version
};

struct PlantExport {
    enum class End { Written, DatabaseUnreadable, NotWritten };
    End end = End::Written;
    std::string error;  // NotWritten: the system's words
    std::size_t records = 0, settings = 0;
    // The first record the file's own import would refuse, named; written all the same, and
    // said now rather than on the day the file is needed. Empty when there is none.
    std::string refusal;
};

// Writes every record of the database at `databasePath` and the plant's settings to `path`
// (absolute), atomically.
PlantExport exportPlant(store::ProfileStore& db, const std::string& databasePath,
                        const ports::SettingsStore& settings, const std::string& path,
                        const BackupOrigin& origin);

struct BackupFile {
    enum class Problem { None, TooLarge, Unreadable, NotABackup };
    Problem problem = Problem::None;
    // Unreadable: the system's words (may be empty); NotABackup: the first thing wrong, named.
    std::string why;
    std::optional<PlantBackup> backup;
};

// The plant backup in the file at `path`, checked whole. A file beyond json::kMaxBytes is not
// read: a device or a runaway file must not take the station's memory.
BackupFile readBackupFile(ports::FileStore& files, const std::string& path);

// After a restore: the routed sites (and their scan pace) the backup holds replace the station's;
// a backup without them leaves the station's as they are. True when they changed.
bool restoreSites(ports::SettingsStore& settings, const PlantBackup& backup);

// The records of the database at `path` as they stand (none when there is no database yet);
// nothing when it cannot be read.
std::optional<std::vector<BackupRecord>> recordsNow(store::ProfileStore& db,
                                                    const std::string& path);

}  // namespace nms::plant
