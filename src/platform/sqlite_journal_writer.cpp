#include "platform/sqlite_journal_writer.h"
#include "platform/sqlite_journal_sql.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>

namespace nms::platform {

namespace {

using namespace journal_sql;

}  // namespace

SqliteJournal::Writer::~Writer() {
    forgetStatements();
    sqlite3_close_v2(db_);
}

void SqliteJournal::Writer::forgetStatements() {
    sqlite3_finalize(keepText_);
    sqlite3_finalize(keepKind_);
    keepText_ = keepKind_ = nullptr;
}

void SqliteJournal::Writer::startCall() {
    deadlineMs_ = monotonicMs() + kBusyWaitMs;
}

int SqliteJournal::Writer::busy(void* self, int) {
    if (monotonicMs() >= static_cast<Writer*>(self)->deadlineMs_) return 0;
    sqlite3_sleep(2);
    return 1;
}

bool SqliteJournal::Writer::fail(const std::string& why) {
    error_ = path_ + ": " + why;
    // Statements still open are finalized by their owners; the connection goes with the last.
    forgetStatements();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    tableReady_ = false;
    texts_.clear();
    kinds_.clear();
    return false;
}

bool SqliteJournal::Writer::open(bool create) {
    if (db_) return true;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK)
        return fail(db_ ? sqlite3_errmsg(db_) : "cannot be opened");
    sqlite3_busy_handler(db_, &Writer::busy, this);
    // The log is copied back after the write that fills it, not within it (checkpointIfDue).
    sqlite3_wal_hook(
        db_,
        [](void* self, sqlite3*, const char*, int pages) {
            static_cast<Writer*>(self)->walPages_ = pages;
            return SQLITE_OK;
        },
        this);
    return true;
}

void SqliteJournal::Writer::checkpointIfDue() {
    if (!db_ || walPages_ < std::min(kCheckpointPages, forcePages_)) return;
    // Only this connection writes: between its writes the copy can end, and the next write
    // starts the log afresh and cuts it back.
    if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) ==
        SQLITE_OK)
        walPages_ = 0;
}

bool SqliteJournal::Writer::adopt() {
    std::string why;
    if (!fileToRead(path_, why) || !open(false)) return false;
    const Holds holds = whatFileHolds(db_, why);
    if (holds == Holds::Other) return fail(why);
    if (holds == Holds::Nothing) return false;
    const Layout layout = layoutOf(db_);
    if (layout != Layout::Compact && fileBytes() <= kConvertBelowBytes) return false;
    compact_ = layout == Layout::Compact;
    ready();
    return true;
}

bool SqliteJournal::Writer::ensureTable() {
    if (tableReady_) return true;
    // Incremental vacuum can only be chosen before the first table: a new journal has it.
    if (!exec("PRAGMA auto_vacuum=INCREMENTAL") || !exec("PRAGMA journal_mode=WAL") ||
        !exec("PRAGMA synchronous=NORMAL") || !exec("BEGIN IMMEDIATE"))
        return fail(error_);
    const bool small =
        pragma("PRAGMA page_count") * pragma("PRAGMA page_size") <= kConvertBelowBytes;
    const bool written = pragma("SELECT count(*) FROM sqlite_master WHERE name = 'events'") > 0;
    compact_ = !written || layoutOf(db_) == Layout::Compact;
    bool ok = true;
    if (compact_) {
        ok = makeTables();
    } else if (small) {
        ok = compactTexts();
        compact_ = ok;
    } else {
        // Too large to rewrite while a batch waits: kept as it is, with its indexes.
        ok = exec("CREATE INDEX IF NOT EXISTS events_by_time ON events (time_ms)") &&
             exec("CREATE INDEX IF NOT EXISTS events_by_element ON events (mac, time_ms)");
    }
    if (!ok || !exec("COMMIT")) {
        const std::string why = error_;
        exec("ROLLBACK");
        return fail(why);
    }
    // A journal made before it had incremental vacuum is rebuilt with it while that is quick;
    // a larger one keeps its size (SQLite reuses its free pages) until it is vacuumed by hand.
    if (pragma("PRAGMA auto_vacuum") != 2 && small) exec("VACUUM");
    ready();
    return true;
}

bool SqliteJournal::Writer::makeTables() {
    // A text's or kind's last use, an hour ahead, says when no event kept can refer to it any
    // more: a prune forgets it then, and a write updates it at most once an hour.
    return exec(
               "CREATE TABLE IF NOT EXISTS texts (id INTEGER PRIMARY KEY, text TEXT NOT NULL "
               "UNIQUE, last_ms INTEGER NOT NULL)") &&
           exec("CREATE INDEX IF NOT EXISTS texts_by_last_use ON texts (last_ms)") &&
           exec(
               "CREATE TABLE IF NOT EXISTS kinds (id INTEGER PRIMARY KEY, name INTEGER NOT NULL, "
               "severity INTEGER NOT NULL, what INTEGER NOT NULL, from_state INTEGER NOT NULL, "
               "to_state INTEGER NOT NULL, detail INTEGER NOT NULL, last_ms INTEGER NOT NULL, "
               "UNIQUE (name, severity, what, from_state, to_state, detail))") &&
           exec("CREATE INDEX IF NOT EXISTS kinds_by_last_use ON kinds (last_ms)") &&
           exec(
               "CREATE TABLE IF NOT EXISTS events (time_ms INTEGER NOT NULL, mac INTEGER NOT "
               "NULL, kind INTEGER NOT NULL)") &&
           exec("CREATE INDEX IF NOT EXISTS events_by_time ON events (time_ms)") &&
           exec("CREATE INDEX IF NOT EXISTS events_by_element ON events (mac, time_ms)");
}

bool SqliteJournal::Writer::compactTexts() {
    // Every event keeps its rowid: a position or a seq a reader holds still means the same.
    texts_.clear();
    kinds_.clear();
    // Each old row with the ids of its texts.
    constexpr const char* kWithIds =
        "WITH o AS (SELECT e.rowid AS r, e.time_ms AS m, "
        "(SELECT id FROM texts WHERE text = coalesce(e.mac, '')) AS mac, "
        "(SELECT id FROM texts WHERE text = coalesce(e.name, '')) AS n, "
        "(SELECT id FROM texts WHERE text = coalesce(e.severity, '')) AS s, "
        "(SELECT id FROM texts WHERE text = coalesce(e.what, '')) AS w, "
        "(SELECT id FROM texts WHERE text = coalesce(e.from_state, '')) AS f, "
        "(SELECT id FROM texts WHERE text = coalesce(e.to_state, '')) AS t, "
        "(SELECT id FROM texts WHERE text = coalesce(e.detail, '')) AS d "
        "FROM events_with_texts AS e) ";
    return exec("DROP INDEX IF EXISTS events_by_time") &&
           exec("DROP INDEX IF EXISTS events_by_element") &&
           exec("ALTER TABLE events RENAME TO events_with_texts") && makeTables() &&
           exec(
               "INSERT INTO texts (text, last_ms) SELECT t, (max(m) / 3600000 + 1) * 3600000 "
               "FROM (SELECT coalesce(mac, '') AS t, time_ms AS m FROM events_with_texts "
               "UNION ALL SELECT coalesce(name, ''), time_ms FROM events_with_texts "
               "UNION ALL SELECT coalesce(severity, ''), time_ms FROM events_with_texts "
               "UNION ALL SELECT coalesce(what, ''), time_ms FROM events_with_texts "
               "UNION ALL SELECT coalesce(from_state, ''), time_ms FROM events_with_texts "
               "UNION ALL SELECT coalesce(to_state, ''), time_ms FROM events_with_texts "
               "UNION ALL SELECT coalesce(detail, ''), time_ms FROM events_with_texts) "
               "GROUP BY t") &&
           exec((std::string(kWithIds) +
                 "INSERT INTO kinds (name, severity, what, from_state, to_state, detail, "
                 "last_ms) SELECT n, s, w, f, t, d, (max(m) / 3600000 + 1) * 3600000 FROM o "
                 "GROUP BY n, s, w, f, t, d")
                    .c_str()) &&
           exec((std::string(kWithIds) +
                 "INSERT INTO events (rowid, time_ms, mac, kind) SELECT o.r, o.m, o.mac, k.id "
                 "FROM o JOIN kinds AS k ON k.name = o.n AND k.severity = o.s AND k.what = o.w "
                 "AND k.from_state = o.f AND k.to_state = o.t AND k.detail = o.d ORDER BY o.r")
                    .c_str()) &&
           exec("DROP TABLE events_with_texts");
}

// The id and the time kept until that an insert-or-update of a text or a kind returned.
std::optional<SqliteJournal::Writer::Text> SqliteJournal::Writer::keptRow(sqlite3_stmt* upsert) {
    std::optional<Text> row;
    if (sqlite3_step(upsert) == SQLITE_ROW)
        row = Text{sqlite3_column_int64(upsert, 0), sqlite3_column_int64(upsert, 1)};
    sqlite3_reset(upsert);
    return row;
}

template <class Cache, class Bind>
std::int64_t SqliteJournal::Writer::keptId(Cache& cache, const typename Cache::key_type& key,
                                           std::int64_t t, sqlite3_stmt*& upsert,
                                           const char* sql, Bind bind) {
    constexpr std::int64_t kHourMs = 3600 * 1000;
    const auto known = cache.find(key);
    if (known != cache.end() && known->second.keptUntilMs > t) return known->second.id;
    if (!upsert && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &upsert,
                                      nullptr) != SQLITE_OK)
        return 0;
    bind(upsert, (t / kHourMs + 1) * kHourMs);
    const auto found = keptRow(upsert);
    sqlite3_clear_bindings(upsert);
    if (!found) return 0;
    // A connection that writes many distinct texts (a reason with figures in it) forgets them
    // rather than holding them all.
    if (cache.size() >= 100000) cache.clear();
    cache[key] = *found;
    return found->id;
}

std::int64_t SqliteJournal::Writer::textId(const std::string& text, std::int64_t t) {
    return keptId(texts_, text, t, keepText_,
                  "INSERT INTO texts (text, last_ms) VALUES (?1, ?2) ON CONFLICT (text) "
                  "DO UPDATE SET last_ms = max(last_ms, excluded.last_ms) RETURNING id, last_ms",
                  [&text](sqlite3_stmt* upsert, std::int64_t keptUntilMs) {
                      sqlite3_bind_text(upsert, 1, text.data(), static_cast<int>(text.size()),
                                        SQLITE_STATIC);
                      sqlite3_bind_int64(upsert, 2, keptUntilMs);
                  });
}

std::int64_t SqliteJournal::Writer::kindId(const ports::JournalEvent& e) {
    const std::int64_t t = e.unixTimeMs;
    // The kind's texts are kept at least as long as the kind: a prune that forgets them has
    // found the kind forgettable too.
    std::array<std::int64_t, 6> ids{};
    int i = 0;
    for (const std::string* text : {&e.name, &e.severity, &e.what, &e.from, &e.to, &e.detail})
        if ((ids[i++] = textId(*text, t)) == 0) return 0;
    return keptId(kinds_, ids, t, keepKind_,
                  "INSERT INTO kinds (name, severity, what, from_state, to_state, detail, "
                  "last_ms) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (name, severity, "
                  "what, from_state, to_state, detail) DO UPDATE SET last_ms = max(last_ms, "
                  "excluded.last_ms) RETURNING id, last_ms",
                  [&ids](sqlite3_stmt* upsert, std::int64_t keptUntilMs) {
                      for (int c = 0; c < 6; ++c) sqlite3_bind_int64(upsert, c + 1, ids[c]);
                      sqlite3_bind_int64(upsert, 7, keptUntilMs);
                  });
}

void SqliteJournal::Writer::ready() {
    tableReady_ = true;
    // The write-ahead log is cut back after a checkpoint instead of keeping its largest size; the
    // next prune sizes both limits to the bound again.
    exec(("PRAGMA journal_size_limit=" + std::to_string(kWalLimitBytes)).c_str());
    forcePages_ = kForceCheckpointPages;
}

std::int64_t SqliteJournal::Writer::pragma(const char* sql) {
    Statement s(db_, sql);
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int64(s.get(), 0);
}

std::int64_t SqliteJournal::Writer::fileBytes() {
    if (!db_) return 0;
    return std::max<std::int64_t>(0, pragma("PRAGMA page_count") * pragma("PRAGMA page_size"));
}

bool SqliteJournal::Writer::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_ = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

bool SqliteJournal::Writer::append(const std::vector<ports::JournalEvent>& batch) {
    if (batch.empty()) return true;
    startCall();
    if (!open(true) || !ensureTable()) return false;
    if (!exec("BEGIN IMMEDIATE")) return fail(error_);
    Statement insert(db_, compact_ ? "INSERT INTO events VALUES (?, ?, ?)"
                                   : "INSERT INTO events VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    bool ok = static_cast<bool>(insert);
    for (const auto& e : batch) {
        if (!ok) break;
        sqlite3_bind_int64(insert.get(), 1, e.unixTimeMs);
        if (compact_) {
            const std::int64_t mac = textId(e.mac, e.unixTimeMs);
            const std::int64_t kind = kindId(e);
            ok = mac > 0 && kind > 0;
            sqlite3_bind_int64(insert.get(), 2, mac);
            sqlite3_bind_int64(insert.get(), 3, kind);
        } else {
            int column = 2;
            for (const std::string* text :
                 {&e.mac, &e.name, &e.severity, &e.what, &e.from, &e.to, &e.detail})
                insert.text(column++, *text);
        }
        ok = ok && sqlite3_step(insert.get()) == SQLITE_DONE;
        sqlite3_reset(insert.get());
    }
    if (!ok || !exec("COMMIT")) {
        const std::string why = ok ? error_ : sqlite3_errmsg(db_);
        exec("ROLLBACK");
        return fail(why);  // and forgets the ids of texts the batch wrote
    }
    error_.clear();
    return true;
}

void SqliteJournal::Writer::prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
    startCall();
    if (!tableReady_ && !adopt()) return;
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
    // The bound holds the write-ahead log too: it is copied back at a quarter of the bound at
    // most, and twice that is left for it.
    if (maxBytes > 0 && pageSize > 0) {
        const int pages = static_cast<int>(
            std::clamp<std::int64_t>(maxBytes / 4 / pageSize, 64, kForceCheckpointPages));
        if (pages != forcePages_) {
            forcePages_ = pages;
            // And what the log is cut back to, no more than it may grow to.
            exec(("PRAGMA journal_size_limit=" +
                  std::to_string(std::min<std::int64_t>(kWalLimitBytes, pages * pageSize)))
                     .c_str());
        }
    }
    const std::int64_t budget = std::max<std::int64_t>(
        maxBytes - 2 * static_cast<std::int64_t>(forcePages_) * std::max<std::int64_t>(pageSize, 0),
        maxBytes / 2);
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
    // Kinds and texts no event kept refers to any more: none is older than the oldest event.
    if (compact_) {
        for (const char* sql :
             {"DELETE FROM kinds WHERE id IN (SELECT id FROM kinds WHERE last_ms <= (SELECT "
              "min(time_ms) FROM events) ORDER BY last_ms LIMIT ?)",
              "DELETE FROM texts WHERE id IN (SELECT id FROM texts WHERE last_ms <= (SELECT "
              "min(time_ms) FROM events) ORDER BY last_ms LIMIT ?)"}) {
            Statement forget(db_, sql);
            if (!forget) continue;
            sqlite3_bind_int(forget.get(), 1, kPruneStepRows);
            if (sqlite3_step(forget.get()) == SQLITE_DONE && sqlite3_changes(db_) > 0) {
                texts_.clear();
                kinds_.clear();
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
