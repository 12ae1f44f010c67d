// nms-cli backup and restore: the whole plant (every record of the database and the settings
// that describe the plant) to one JSON file, and that file checked whole and put back.

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "plant/plant_backup.h"
#include "plant/plant_file.h"

namespace nms::cli {

namespace {

std::string absolute(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

void sayDatabaseUnreadable(const station::StationEnv& env) {
    std::fprintf(stderr, "nms-cli: %s cannot be read\n", env.databasePath.c_str());
}

}  // namespace

std::optional<plant::PlantBackup> readBackupFile(Session& session, const std::string& path,
                                                 const char* unchanged) {
    auto read = plant::readBackupFile(session.env().db.files(), path);
    switch (read.problem) {
        case plant::BackupFile::Problem::None:
            break;
        case plant::BackupFile::Problem::TooLarge:
            std::fprintf(stderr, "nms-cli: %s is too large to be a plant backup\n%s\n",
                         path.c_str(), unchanged);
            break;
        case plant::BackupFile::Problem::Unreadable:
            std::fprintf(stderr, "nms-cli: unable to read %s: %s\n%s\n", path.c_str(),
                         read.why.c_str(), unchanged);
            break;
        case plant::BackupFile::Problem::NotABackup:
            std::fprintf(stderr, "nms-cli: %s: %s\n%s\n", path.c_str(), read.why.c_str(),
                         unchanged);
            break;
    }
    return std::move(read.backup);
}

int runBackup(Session& session, const Arguments& args) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "nms-cli: backup takes the FILE to write\n");
        return kExitUsage;
    }
    auto& env = session.env();
    const std::string file = absolute(args.positional[0]);
    const auto done =
        plant::exportPlant(env.db, env.databasePath, env.settings, file,
                           {QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString(),
                            QSysInfo::machineHostName().toStdString(), NMS_VERSION});
    if (done.end == plant::PlantExport::End::DatabaseUnreadable) {
        sayDatabaseUnreadable(env);
        return 1;
    }
    if (!done.refusal.empty())
        std::fprintf(stderr,
                     "nms-cli: warning: the database holds a record a restore would refuse: %s\n",
                     done.refusal.c_str());
    if (done.end == plant::PlantExport::End::NotWritten) {
        std::fprintf(stderr, "nms-cli: unable to write %s: %s\n", file.c_str(), done.error.c_str());
        return 1;
    }
    std::printf("%zu element%s and %zu setting%s written to %s\n", done.records,
                done.records == 1 ? "" : "s", done.settings, done.settings == 1 ? "" : "s",
                file.c_str());
    return 0;
}

int runRestore(Session& session, const Arguments& args) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "nms-cli: restore takes the backup FILE to read\n");
        return kExitUsage;
    }
    const std::string file = absolute(args.positional[0]);
    const auto backup = readBackupFile(session, file, "The database was not changed.");
    if (!backup) return 1;
    auto& env = session.env();
    const auto current = plant::recordsNow(env.db, env.databasePath);
    if (!current) {
        sayDatabaseUnreadable(env);
        return 1;
    }
    std::printf("%s\n", plant::replacementSummary(*current, *backup, env.databasePath).c_str());
    if (!args.yes) {
        std::printf("Nothing was changed (--yes replaces it).\n");
        return kExitRefused;
    }
    bool keptCopy = false;
    if (const auto done = plant::restoreDatabase(env.db, env.databasePath, *backup, &keptCopy);
        !done.ok) {
        std::fprintf(stderr, "nms-cli: %s\nThe database was not changed.\n", done.error.c_str());
        return 1;
    }
    if (plant::restoreSites(env.settings, *backup))
        std::printf("The sites behind routers are those of the backup.\n");
    if (keptCopy)
        std::printf("The database was replaced; the previous one is kept as %s.bak.\n",
                    env.databasePath.c_str());
    else
        std::printf("The database %s was written from the backup.\n", env.databasePath.c_str());
    return 0;
}

constexpr CommandUsage kBackupUsage[] = {
    {"FILE", "write every record of the database and the plant settings to one JSON file"}};
constexpr CommandUsage kRestoreUsage[] = {
    {"FILE [--yes]",
     "check a backup whole, say what it replaces, and with --yes replace the database\n"
     "with it (the previous one is kept as nms.ini.bak)"}};

extern const Command kBackupCommand =
    Command("backup", runBackup, kBackupUsage).readingOnly().taking("FILE", 1, 1);
extern const Command kRestoreCommand =
    Command("restore", runRestore, kRestoreUsage).needingNoDatabase().taking("FILE [--yes]", 1, 1);

}  // namespace nms::cli
