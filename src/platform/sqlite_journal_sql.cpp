#include "platform/sqlite_journal_sql.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

namespace nms::platform::journal_sql {

std::string column(sqlite3_stmt* s, int i) {
    const auto* text = sqlite3_column_text(s, i);
    return text ? reinterpret_cast<const char*>(text) : "";
}

Holds whatFileHolds(sqlite3* db, std::string& why) {
    // The first read of the file: a file that is no database fails here.
    Statement kind(db, "SELECT type FROM sqlite_master WHERE name = 'events'");
    if (!kind) {
        why = sqlite3_errmsg(db);
        return Holds::Other;
    }
    const int rc = sqlite3_step(kind.get());
    if (rc == SQLITE_ROW) {
        const std::string type = column(kind.get(), 0);
        if (type == "table") return Holds::Journal;
        why = "not an event journal (events is a " + type + ")";
        return Holds::Other;
    }
    if (rc != SQLITE_DONE) {
        why = sqlite3_errmsg(db);
        return Holds::Other;
    }
    // No events at all: a database with nothing in it is a journal not written yet.
    Statement count(db, "SELECT count(*) FROM sqlite_master");
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW) {
        why = sqlite3_errmsg(db);
        return Holds::Other;
    }
    if (sqlite3_column_int64(count.get(), 0) == 0) return Holds::Nothing;
    why = "not an event journal (no table events)";
    return Holds::Other;
}

bool fileToRead(const std::string& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "is a folder, not an event journal" : "is not a file";
        return false;
    }
    return true;
}

Layout layoutOf(sqlite3* db) {
    Statement kinds(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'kinds'");
    return kinds && sqlite3_step(kinds.get()) == SQLITE_ROW ? Layout::Compact : Layout::Texts;
}

namespace {

// The id a compact journal gives `text`; nullopt when no event refers to it.
std::optional<std::int64_t> idOf(sqlite3* db, const std::string& text) {
    Statement find(db, "SELECT id FROM texts WHERE text = ?");
    find.text(1, text);
    if (!find || sqlite3_step(find.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(find.get(), 0);
}

// What a compact journal's rows refer to, each looked up once per read: a read refers to few.
class KindsOf {
public:
    explicit KindsOf(sqlite3* db)
        : text_(db, "SELECT text FROM texts WHERE id = ?"),
          kind_(db,
                "SELECT name, severity, what, from_state, to_state, detail FROM kinds WHERE "
                "id = ?") {}
    const std::string& text(std::int64_t id) {
        const auto it = texts_.find(id);
        if (it != texts_.end()) return it->second;
        std::string text;
        if (text_) {
            sqlite3_bind_int64(text_.get(), 1, id);
            if (sqlite3_step(text_.get()) == SQLITE_ROW) text = column(text_.get(), 0);
            sqlite3_reset(text_.get());
        }
        return texts_.emplace(id, std::move(text)).first->second;
    }
    // The event of time `t` at `mac` of the kind `id`.
    ports::JournalEvent event(std::int64_t t, std::int64_t mac, std::int64_t id) {
        auto it = kinds_.find(id);
        if (it == kinds_.end()) {
            std::array<std::int64_t, 6> ids{};
            if (kind_) {
                sqlite3_bind_int64(kind_.get(), 1, id);
                if (sqlite3_step(kind_.get()) == SQLITE_ROW)
                    for (int c = 0; c < 6; ++c) ids[c] = sqlite3_column_int64(kind_.get(), c);
                sqlite3_reset(kind_.get());
            }
            it = kinds_.emplace(id, ids).first;
        }
        const auto& k = it->second;
        return {t,          text(mac),  text(k[0]), text(k[1]),
                text(k[2]), text(k[3]), text(k[4]), text(k[5])};
    }

private:
    Statement text_, kind_;
    std::unordered_map<std::int64_t, std::string> texts_;
    std::unordered_map<std::int64_t, std::array<std::int64_t, 6>> kinds_;
};

// The ids of the texts a compact journal is asked by.
struct AskedIds {
    std::optional<std::int64_t> mac, severity;
    std::vector<std::int64_t> severities;
};

// False when the journal holds a text the query names nowhere: then no event matches.
bool askedIds(sqlite3* db, const ports::JournalQuery& q, AskedIds& ids) {
    if (!q.mac.empty() && !(ids.mac = idOf(db, q.mac))) return false;
    if (!q.severity.empty() && !(ids.severity = idOf(db, q.severity))) return false;
    for (const auto& s : q.severities)
        if (const auto id = idOf(db, s)) ids.severities.push_back(*id);
    if (!q.severities.empty() && ids.severities.empty()) return false;
    return true;
}

// The parameters: 1 since, 2 mac, 3 severity, 4 and 5 before, 6 and 7 after, 8 the limit, then
// one to a severity of the list, then the row written after.
constexpr int kFirstSeverity = 9;

std::string selectSql(const ports::JournalQuery& q, bool compact, std::size_t severities) {
    std::string sql = compact ? "SELECT rowid, time_ms, mac, kind FROM events WHERE time_ms >= ?1"
                              : "SELECT rowid, time_ms, mac, name, severity, what, from_state, "
                                "to_state, detail FROM events WHERE time_ms >= ?1";
    // The severity of a compact journal's event is its kind's: the kinds of that severity, asked
    // once per read.
    const std::string severityIs =
        compact ? " AND kind IN (SELECT id FROM kinds WHERE severity" : " AND severity";
    const std::string close = compact ? ")" : "";
    if (!q.mac.empty()) sql += " AND mac = ?2";
    if (!q.severity.empty()) sql += severityIs + " = ?3" + close;
    // A plain list of values: the walk by time or by element stays on its index.
    if (severities > 0) {
        sql += severityIs + " IN (";
        for (std::size_t i = 0; i < severities; ++i)
            sql += (i ? ", ?" : "?") + std::to_string(kFirstSeverity + static_cast<int>(i));
        sql += ")" + close;
    }
    if (q.before) sql += " AND time_ms <= ?4 AND (time_ms < ?4 OR rowid < ?5)";
    if (q.after) sql += " AND time_ms >= ?6 AND (time_ms > ?6 OR rowid > ?7)";
    // What was written since: a walk of the rows' own order, however few they are.
    const int writtenAfterAt = kFirstSeverity + static_cast<int>(severities);
    if (q.writtenAfter) sql += " AND rowid > ?" + std::to_string(writtenAfterAt);
    sql += q.writtenAfter ? " ORDER BY rowid DESC" : " ORDER BY time_ms DESC, rowid DESC";
    if (q.limit > 0) sql += " LIMIT ?8";
    return sql;
}

void bindQuery(Statement& select, const ports::JournalQuery& q, bool compact, const AskedIds& ids,
               std::size_t severities) {
    auto* s = select.get();
    sqlite3_bind_int64(s, 1, q.sinceUnixMs);
    if (compact) {
        if (ids.mac) sqlite3_bind_int64(s, 2, *ids.mac);
        if (ids.severity) sqlite3_bind_int64(s, 3, *ids.severity);
        for (std::size_t i = 0; i < ids.severities.size(); ++i)
            sqlite3_bind_int64(s, kFirstSeverity + static_cast<int>(i), ids.severities[i]);
    } else {
        if (!q.mac.empty()) select.text(2, q.mac);
        if (!q.severity.empty()) select.text(3, q.severity);
        for (std::size_t i = 0; i < q.severities.size(); ++i)
            select.text(kFirstSeverity + static_cast<int>(i), q.severities[i]);
    }
    if (q.before) {
        sqlite3_bind_int64(s, 4, q.before->unixTimeMs);
        sqlite3_bind_int64(s, 5, q.before->seq);
    }
    if (q.after) {
        sqlite3_bind_int64(s, 6, q.after->unixTimeMs);
        sqlite3_bind_int64(s, 7, q.after->seq);
    }
    const int writtenAfterAt = kFirstSeverity + static_cast<int>(severities);
    if (q.writtenAfter) sqlite3_bind_int64(s, writtenAfterAt, *q.writtenAfter);
    if (q.limit > 0)
        sqlite3_bind_int64(s, 8,
                           static_cast<std::int64_t>(std::min<std::size_t>(
                               q.limit, std::numeric_limits<std::int64_t>::max())));
}

}  // namespace

bool readRows(sqlite3* db, Layout layout, const ports::JournalQuery& q, ports::JournalPage& page,
              std::string& why) {
    // A compact journal is asked by the ids of the texts; a text it does not hold is no event.
    const bool compact = layout == Layout::Compact;
    AskedIds ids;
    if (compact && !askedIds(db, q, ids)) return true;
    const std::size_t severities = compact ? ids.severities.size() : q.severities.size();
    const std::string sql = selectSql(q, compact, severities);
    Statement select(db, sql.c_str());
    if (!select) {
        why = std::string("not an event journal (") + sqlite3_errmsg(db) + ")";
        return false;
    }
    bindQuery(select, q, compact, ids, severities);
    auto* s = select.get();
    KindsOf kinds(db);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        page.seqs.push_back(sqlite3_column_int64(s, 0));
        if (compact)
            page.events.push_back(kinds.event(sqlite3_column_int64(s, 1),
                                              sqlite3_column_int64(s, 2),
                                              sqlite3_column_int64(s, 3)));
        else
            page.events.push_back({sqlite3_column_int64(s, 1), column(s, 2), column(s, 3),
                                   column(s, 4), column(s, 5), column(s, 6), column(s, 7),
                                   column(s, 8)});
    }
    if (rc == SQLITE_DONE) return true;
    page.events.clear();
    page.seqs.clear();
    why = sqlite3_errmsg(db);
    return false;
}

}  // namespace nms::platform::journal_sql
