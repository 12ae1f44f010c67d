#include "platform/sqlite_journal.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

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

std::int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SqliteJournal::SqliteJournal(const std::string& path) : path_(path) {}

SqliteJournal::~SqliteJournal() {
    sqlite3_close_v2(db_);
}

void SqliteJournal::startCall() {
    deadlineMs_ = monotonicMs() + kBusyWaitMs;
}

int SqliteJournal::busy(void* self, int) {
    if (monotonicMs() >= static_cast<SqliteJournal*>(self)->deadlineMs_) return 0;
    sqlite3_sleep(2);
    return 1;
}

bool SqliteJournal::fail(const std::string& why) {
    error_ = path_ + ": " + why;
    // Statements still open are finalized by their owners; the connection goes with the last.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    tableReady_ = false;
    return false;
}

bool SqliteJournal::open(bool create) {
    if (db_) return true;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK)
        return fail(db_ ? sqlite3_errmsg(db_) : "cannot be opened");
    sqlite3_busy_handler(db_, &SqliteJournal::busy, this);
    return true;
}

bool SqliteJournal::ensureTable() {
    if (tableReady_) return true;
    // Incremental vacuum can only be chosen before the first table: a new journal has it.
    if (!exec("PRAGMA auto_vacuum=INCREMENTAL") || !exec("PRAGMA journal_mode=WAL") ||
        !exec("PRAGMA synchronous=NORMAL") ||
        !exec("CREATE TABLE IF NOT EXISTS events (time_ms INTEGER NOT NULL, mac TEXT NOT NULL, "
              "name TEXT, "
              "severity TEXT, what TEXT, from_state TEXT, to_state TEXT, detail TEXT)") ||
        !exec("CREATE INDEX IF NOT EXISTS events_by_time ON events (time_ms)") ||
        !exec("CREATE INDEX IF NOT EXISTS events_by_element ON events (mac, time_ms)"))
        return fail(error_);
    // A journal made before it had incremental vacuum is rebuilt with it while that is quick;
    // a larger one keeps its size (SQLite reuses its free pages) until it is vacuumed by hand.
    if (pragma("PRAGMA auto_vacuum") != 2 &&
        pragma("PRAGMA page_count") * pragma("PRAGMA page_size") <= kConvertBelowBytes)
        exec("VACUUM");
    ready();
    return true;
}

void SqliteJournal::ready() {
    tableReady_ = true;
    // The write-ahead log is cut back after a checkpoint instead of keeping its largest size.
    exec(("PRAGMA journal_size_limit=" + std::to_string(kWalLimitBytes)).c_str());
}

std::int64_t SqliteJournal::pragma(const char* sql) {
    Statement s(db_, sql);
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int64(s.get(), 0);
}

std::int64_t SqliteJournal::fileBytes() {
    if (!db_) return 0;
    return std::max<std::int64_t>(0, pragma("PRAGMA page_count") * pragma("PRAGMA page_size"));
}

bool SqliteJournal::holdsJournal(bool& empty) {
    empty = false;
    // The first read of the file: a file that is no database fails here.
    Statement kind(db_, "SELECT type FROM sqlite_master WHERE name = 'events'");
    if (!kind) return fail(sqlite3_errmsg(db_));
    const int rc = sqlite3_step(kind.get());
    if (rc == SQLITE_ROW) {
        const std::string type = column(kind.get(), 0);
        if (type != "table") return fail("not an event journal (events is a " + type + ")");
        return true;
    }
    if (rc != SQLITE_DONE) return fail(sqlite3_errmsg(db_));
    // No events at all: a database with nothing in it is a journal not written yet.
    Statement count(db_, "SELECT count(*) FROM sqlite_master");
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW) return fail(sqlite3_errmsg(db_));
    empty = sqlite3_column_int64(count.get(), 0) == 0;
    return empty || fail("not an event journal (no table events)");
}

bool SqliteJournal::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_ = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

bool SqliteJournal::append(const std::vector<ports::JournalEvent>& batch) {
    if (batch.empty()) return true;
    startCall();
    if (!open(true) || !ensureTable()) return false;
    if (!exec("BEGIN IMMEDIATE")) return fail(error_);
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
    if (!ok || !exec("COMMIT")) {
        const std::string why = ok ? error_ : sqlite3_errmsg(db_);
        exec("ROLLBACK");
        return fail(why);
    }
    error_.clear();
    return true;
}

std::vector<ports::JournalEvent> SqliteJournal::query(std::int64_t sinceUnixMs,
                                                      const std::string& mac) {
    std::vector<ports::JournalEvent> out;
    error_.clear();
    startCall();
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT) fail(std::strerror(errno));
        return out;  // not written yet: no events
    }
    if (!S_ISREG(st.st_mode)) {
        fail(S_ISDIR(st.st_mode) ? "is a folder, not an event journal" : "is not a file");
        return out;
    }
    bool empty = false;
    if (!open(false) || !holdsJournal(empty) || empty) return out;
    // One statement each, so that each has its index: by time, or by element and time.
    Statement select(
        db_, mac.empty()
                 ? "SELECT time_ms, mac, name, severity, what, from_state, to_state, detail FROM "
                   "events WHERE time_ms >= ?1 ORDER BY time_ms DESC, rowid DESC"
                 : "SELECT time_ms, mac, name, severity, what, from_state, to_state, detail FROM "
                   "events WHERE mac = ?2 AND time_ms >= ?1 ORDER BY time_ms DESC, rowid DESC");
    if (!select) {
        fail(std::string("not an event journal (") + sqlite3_errmsg(db_) + ")");
        return out;
    }
    if (!tableReady_) ready();  // ours: it may be pruned and written
    sqlite3_bind_int64(select.get(), 1, sinceUnixMs);
    if (!mac.empty()) select.text(2, mac);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        auto* s = select.get();
        out.push_back({sqlite3_column_int64(s, 0), column(s, 1), column(s, 2), column(s, 3),
                       column(s, 4), column(s, 5), column(s, 6), column(s, 7)});
    }
    if (rc != SQLITE_DONE) {
        out.clear();
        fail(sqlite3_errmsg(db_));
    }
    return out;
}

void SqliteJournal::prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
    // Only a journal this station has written to, and found to be ours.
    if (!db_ || !tableReady_) return;
    startCall();
    {
        Statement remove(db_,
                         "DELETE FROM events WHERE rowid IN (SELECT rowid FROM events WHERE "
                         "time_ms < ? ORDER BY time_ms LIMIT ?)");
        if (!remove) return;
        sqlite3_bind_int64(remove.get(), 1, beforeUnixMs);
        sqlite3_bind_int(remove.get(), 2, kPruneStepRows);
        sqlite3_step(remove.get());
    }
    const std::int64_t pageSize = pragma("PRAGMA page_size");
    const std::int64_t used =
        (pragma("PRAGMA page_count") - pragma("PRAGMA freelist_count")) * pageSize;
    // The bound holds the write-ahead log too.
    const std::int64_t budget = std::max<std::int64_t>(maxBytes - kWalLimitBytes, maxBytes / 2);
    if (maxBytes > 0 && pageSize > 0 && used > budget) {
        // Rows are appended in time order and never updated: the oldest have the lowest rowids,
        // and the span of rowids counts the rows without reading them.
        const std::int64_t first = pragma("SELECT min(rowid) FROM events");
        const std::int64_t last = pragma("SELECT max(rowid) FROM events");
        if (first > 0 && last >= first) {
            const double rows = static_cast<double>(last - first + 1);
            const double excess =
                static_cast<double>(used) - kPruneToShare * static_cast<double>(budget);
            const auto n = std::clamp<std::int64_t>(
                static_cast<std::int64_t>(excess / static_cast<double>(used) * rows) + 1, 1,
                kPruneStepRows);
            Statement remove(db_, "DELETE FROM events WHERE rowid < ?");
            if (remove) {
                sqlite3_bind_int64(remove.get(), 1, first + n);
                sqlite3_step(remove.get());
            }
        }
    }
    // The room of what went goes back to the file system.
    const std::int64_t freePages = pragma("PRAGMA freelist_count");
    if (freePages > 0)
        exec(("PRAGMA incremental_vacuum(" +
              std::to_string(std::min<std::int64_t>(freePages, kVacuumStepPages)) + ")")
                 .c_str());
}

}  // namespace nms::platform
