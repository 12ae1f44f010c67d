#pragma once

#include <string>

#include "ports/journal.h"

struct sqlite3;

namespace nms::platform {

// The event journal in an SQLite file beside nms.ini: write-ahead logging, one transaction per
// batch (a crash keeps whole batches only). The file is made only when there is something to
// write. A file that cannot be opened leaves the journal closed: every append fails with the
// reason, and the station goes on without it.
class SqliteJournal : public ports::EventJournal {
public:
    explicit SqliteJournal(const std::string& path);
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    const std::string& path() const { return path_; }
    bool append(const std::vector<ports::JournalEvent>& batch) override;
    std::vector<ports::JournalEvent> query(std::int64_t sinceUnixMs,
                                           const std::string& mac) override;
    void prune(std::int64_t beforeUnixMs) override;
    const std::string& error() const override { return error_; }

private:
    bool open(bool create);
    bool exec(const char* sql);
    std::string path_;
    bool tried_ = false;
    sqlite3* db_ = nullptr;
    std::string error_;
};

}  // namespace nms::platform
