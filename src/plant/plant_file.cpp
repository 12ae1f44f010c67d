#include "plant/plant_file.h"

#include "plant/json_reader.h"
#include "ports/file_store.h"
#include "ports/settings.h"
#include "station/settings_keys.h"
#include "station/sites.h"
#include "store/profile_store.h"

namespace nms::plant {

PlantExport exportPlant(store::ProfileStore& db, const std::string& databasePath,
                        const ports::SettingsStore& settings, const std::string& path,
                        const BackupOrigin& origin) {
    PlantExport out;
    std::optional<std::string> text;
    if (!db.snapshot(databasePath, text)) {
        out.end = PlantExport::End::DatabaseUnreadable;
        return out;
    }
    PlantBackup backup;
    backup.time = origin.time;
    backup.station = origin.station;
    backup.program = origin.program;
    backup.settings = plantSettings(settings);
    backup.records = recordsOfDatabase(text.value_or(std::string()));
    out.records = backup.records.size();
    out.settings = backup.settings.size();
    const std::string json = backupJson(backup);
    if (const auto check = readBackup(json); !check.backup) out.refusal = check.error;
    if (const auto written = db.replaceFile(path, json); !written.ok) {
        out.end = PlantExport::End::NotWritten;
        out.error = written.error;
    }
    return out;
}

BackupFile readBackupFile(ports::FileStore& files, const std::string& path) {
    BackupFile out;
    auto read = files.readAtMost(path, json::kMaxBytes);
    if (read.size > static_cast<std::int64_t>(json::kMaxBytes)) {
        out.problem = BackupFile::Problem::TooLarge;
        return out;
    }
    if (!read.content) {
        out.problem = BackupFile::Problem::Unreadable;
        out.why = std::move(read.error);
        return out;
    }
    auto checked = readBackup(*read.content);
    if (!checked.backup) {
        out.problem = BackupFile::Problem::NotABackup;
        out.why = std::move(checked.error);
        return out;
    }
    out.backup = std::move(checked.backup);
    return out;
}

std::optional<std::vector<BackupRecord>> recordsNow(store::ProfileStore& db,
                                                    const std::string& path) {
    std::optional<std::string> text;
    if (!db.snapshot(path, text)) return std::nullopt;
    return recordsOfDatabase(text.value_or(std::string()));
}

bool restoreSites(ports::SettingsStore& settings, const PlantBackup& backup) {
    namespace keys = station::settings;
    bool changed = false;
    for (const auto& s : backup.settings) {
        for (const auto* key : {&keys::kSites, &keys::kSiteScanRate}) {
            if (s.section != key->section || s.name != key->name) continue;
            // Written back as this station reads it: a part it cannot read is not kept.
            const std::string value = key == &keys::kSites ? station::sitesText(station::readSites(s.value)) : s.value;
            if (settings.getOr(keys::kApp, key->section, key->name, "") != value) changed = true;
            settings.set(keys::kApp, key->section, key->name, value);
        }
    }
    return changed;
}

}  // namespace nms::plant
