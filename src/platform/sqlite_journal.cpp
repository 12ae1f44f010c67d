#include "platform/sqlite_journal.h"

#include <sqlite3.h>

namespace nms::platform {

namespace {

// A statement that is finalized whatever happens.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }
    void text(int index, const std::string& value) {
        sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

std::string column(sqlite3_stmt* s, int i) {
    const auto* text = sqlite3_column_text(s, i);
    return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

SqliteJournal::SqliteJournal(const std::string& path) : path_(path) {}

bool SqliteJournal::open(bool create) {
    if (db_) return true;
    // A failed open is not retried on every cycle: it is said once.
    if (tried_ && !error_.empty()) return false;
    tried_ = true;
    const std::string& path = path_;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        error_ = path + ": " + (db_ ? sqlite3_errmsg(db_) : "cannot be opened");
        sqlite3_close(db_);
        db_ = nullptr;
        if (!create) error_.clear(), tried_ = false;  // nothing written yet: not an error
        return false;
    }
    sqlite3_busy_timeout(db_, 2000);
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL") ||
        !exec("CREATE TABLE IF NOT EXISTS events (time_ms INTEGER NOT NULL, mac TEXT NOT NULL, "
              "name TEXT, "
              "severity TEXT, what TEXT, from_state TEXT, to_state TEXT, detail TEXT)") ||
        !exec("CREATE INDEX IF NOT EXISTS events_by_time ON events (time_ms)")) {
        error_ = path + ": " + error_;
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

SqliteJournal::~SqliteJournal() {
    sqlite3_close(db_);
}

bool SqliteJournal::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_ = message ? message : "error";
    sqlite3_free(message);
    return false;
}

bool SqliteJournal::append(const std::vector<ports::JournalEvent>& batch) {
    if (batch.empty()) return true;
    if (!open(true)) return false;
    if (!exec("BEGIN IMMEDIATE")) return false;
    Statement insert(db_, "INSERT INTO events VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    bool ok = static_cast<bool>(insert);
    for (const auto& e : batch) {
        if (!ok) break;
        sqlite3_bind_int64(insert.get(), 1, e.unixTimeMs);
        insert.text(2, e.mac);
        insert.text(3, e.name);
        insert.text(4, e.severity);
        insert.text(5, e.what);
        insert.text(6, e.from);
        insert.text(7, e.to);
        insert.text(8, e.detail);
        ok = sqlite3_step(insert.get()) == SQLITE_DONE;
        sqlite3_reset(insert.get());
    }
    if (!ok) {
        error_ = sqlite3_errmsg(db_);
        exec("ROLLBACK");
        return false;
    }
    if (!exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    error_.clear();
    return true;
}

std::vector<ports::JournalEvent> SqliteJournal::query(std::int64_t sinceUnixMs,
                                                      const std::string& mac) {
    std::vector<ports::JournalEvent> out;
    if (!open(false)) return out;
    Statement select(
        db_,
        "SELECT time_ms, mac, name, severity, what, from_state, to_state, detail FROM events "
        "WHERE time_ms >= ? AND (? = '' OR mac = ?) ORDER BY time_ms DESC, rowid DESC");
    if (!select) return out;
    sqlite3_bind_int64(select.get(), 1, sinceUnixMs);
    select.text(2, mac);
    select.text(3, mac);
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        auto* s = select.get();
        out.push_back({sqlite3_column_int64(s, 0), column(s, 1), column(s, 2), column(s, 3),
                       column(s, 4), column(s, 5), column(s, 6), column(s, 7)});
    }
    return out;
}

void SqliteJournal::prune(std::int64_t beforeUnixMs) {
    if (!db_) return;  // nothing was written by this station yet
    Statement remove(db_, "DELETE FROM events WHERE time_ms < ?");
    if (!remove) return;
    sqlite3_bind_int64(remove.get(), 1, beforeUnixMs);
    sqlite3_step(remove.get());
}

}  // namespace nms::platform
