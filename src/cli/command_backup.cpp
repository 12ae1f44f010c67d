// nms-cli backup and restore: the whole plant (every record of the database and the settings
// that describe the plant) to one JSON file, and that file checked whole and put back.

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "plant/json_reader.h"
#include "plant/plant_backup.h"

namespace nms::cli {

namespace {

std::string absolute(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

// The database as it is now (nothing when there is none yet); false, said, when it cannot be read.
bool readDatabase(station::StationEnv& env, std::optional<std::string>& text) {
    if (env.db.snapshot(env.databasePath, text)) return true;
    std::fprintf(stderr, "nms-cli: %s cannot be read\n", env.databasePath.c_str());
    return false;
}

}  // namespace

std::optional<plant::PlantBackup> readBackupFile(const std::string& path, const char* unchanged) {
    QFile in(QString::fromStdString(path));
    if (in.size() > static_cast<qint64>(plant::json::kMaxBytes)) {
        std::fprintf(stderr, "nms-cli: %s is too large to be a plant backup\n%s\n", path.c_str(),
                     unchanged);
        return std::nullopt;
    }
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "nms-cli: unable to read %s: %s\n%s\n", path.c_str(),
                     in.errorString().toStdString().c_str(), unchanged);
        return std::nullopt;
    }
    const QByteArray bytes = in.read(static_cast<qint64>(plant::json::kMaxBytes) + 1);
    auto read = plant::readBackup(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (!read.backup)
        std::fprintf(stderr, "nms-cli: %s: %s\n%s\n", path.c_str(), read.error.c_str(), unchanged);
    return std::move(read.backup);
}

int runBackup(Session& session, const Arguments& args) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "nms-cli: backup takes the FILE to write\n");
        return kExitUsage;
    }
    auto& env = session.env();
    std::optional<std::string> text;
    if (!readDatabase(env, text)) return 1;
    plant::PlantBackup backup;
    backup.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    backup.station = QSysInfo::machineHostName().toStdString();
    backup.program = NMS_VERSION;
    backup.settings = plant::plantSettings(env.settings);
    backup.records = plant::recordsOfDatabase(text.value_or(std::string()));
    const std::string json = plant::backupJson(backup);
    // A backup that its own restore would refuse is said now, not on the day it is needed.
    if (const auto check = plant::readBackup(json); !check.backup)
        std::fprintf(stderr,
                     "nms-cli: warning: the database holds a record a restore would refuse: %s\n",
                     check.error.c_str());
    const std::string file = absolute(args.positional[0]);
    if (const auto written = env.db.replaceFile(file, json); !written.ok) {
        std::fprintf(stderr, "nms-cli: unable to write %s: %s\n", file.c_str(),
                     written.error.c_str());
        return 1;
    }
    std::printf("%zu element%s and %zu setting%s written to %s\n", backup.records.size(),
                backup.records.size() == 1 ? "" : "s", backup.settings.size(),
                backup.settings.size() == 1 ? "" : "s", file.c_str());
    return 0;
}

int runRestore(Session& session, const Arguments& args) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "nms-cli: restore takes the backup FILE to read\n");
        return kExitUsage;
    }
    const std::string file = absolute(args.positional[0]);
    const auto backup = readBackupFile(file, "The database was not changed.");
    if (!backup) return 1;
    auto& env = session.env();
    std::optional<std::string> text;
    if (!readDatabase(env, text)) return 1;
    const auto current = plant::recordsOfDatabase(text.value_or(std::string()));
    std::printf("%s\n", plant::replacementSummary(current, *backup, env.databasePath).c_str());
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
    if (keptCopy)
        std::printf("The database was replaced; the previous one is kept as %s.bak.\n",
                    env.databasePath.c_str());
    else
        std::printf("The database %s was written from the backup.\n", env.databasePath.c_str());
    return 0;
}

extern const Command kBackupCommand{.name = "backup", .run = runBackup, .readOnly = true,
                                    .words = "FILE", .minWords = 1, .maxWords = 1};
extern const Command kRestoreCommand{.name = "restore", .run = runRestore, .withoutDatabase = true,
                                     .words = "FILE [--yes]", .minWords = 1, .maxWords = 1};

}  // namespace nms::cli
