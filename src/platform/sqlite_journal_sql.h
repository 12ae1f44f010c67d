#pragma once

// The SQL of the event journal's table, shared by the journal and its reading thread: a
// statement that is always finalized, what a file holds, and the bounded read of rows.

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "ports/journal.h"

namespace nms::platform::journal_sql {

// The clock a lock wait is measured on, by the station's connection and the writer's alike.
inline std::int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

std::string column(sqlite3_stmt* s, int i);

// What a file holds: our journal, nothing at all yet, or something else (`why` says what).
enum class Holds { Journal, Nothing, Other };
Holds whatFileHolds(sqlite3* db, std::string& why);

// The file at `path`: false when there is none yet (nothing to read) or it cannot be one
// (`why` says so).
bool fileToRead(const std::string& path, std::string& why);

// How a journal keeps its rows. Compact: each text once in `texts`, each kind of event once in
// `kinds`, an event its time, its MAC's id and its kind's id, so that a row takes a few dozen
// bytes and months of a large plant fit the default bound.
// Texts: the layout of the first journals, every text in every row; still read and written, and
// made compact when opened while small (see SqliteJournal::kConvertBelowBytes).
enum class Layout { Compact, Texts };
Layout layoutOf(sqlite3* db);

// Reads what `q` asks into `page`; false with the reason in `why`. One statement per shape of
// query, so that each finds its index: by time, or by element and time, walked newest first
// from the position given and stopped at the limit.
bool readRows(sqlite3* db, Layout layout, const ports::JournalQuery& q, ports::JournalPage& page,
              std::string& why);

}  // namespace nms::platform::journal_sql
