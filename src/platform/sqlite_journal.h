#pragma once

#include <string>

#include "ports/journal.h"

struct sqlite3;

namespace nms::platform {

// The event journal in an SQLite file beside nms.ini: write-ahead logging, one transaction per
// batch (a crash keeps whole batches only). The file is made only when there is something to
// write. A file that cannot be opened or written makes that append fail with the reason; the
// next append tries again from the start, so a journal that another program held locked is
// written once it lets go.
//
// Every call waits at most kBusyWaitMs in all for a lock that another program holds, so that a
// locked journal never stalls the station's one thread for longer: what cannot be written then
// waits for the caller's next try.
//
// A read says why it could not read (error() is empty after a read that worked): a file that is
// not an SQLite database, or holds no journal of ours, is an error; a journal that does not
// exist yet is empty.
class SqliteJournal : public ports::EventJournal {
public:
    static constexpr int kBusyWaitMs = 30;

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
    bool ensureTable();
    // Whether the file holds our table; `empty` when it holds nothing at all.
    bool holdsJournal(bool& empty);
    bool exec(const char* sql);
    // Says why, with the path, and closes: the next call starts afresh.
    bool fail(const std::string& why);
    void startCall();
    static int busy(void* self, int count);

    std::string path_;
    sqlite3* db_ = nullptr;
    bool tableReady_ = false;
    std::int64_t deadlineMs_ = 0;  // of the current call, on the monotonic clock
    std::string error_;
};

}  // namespace nms::platform
