// The event journal in its SQLite file: batches whole or not at all, newest first, pruned by age,
// a lock at the first write that holds only while it lasts, a file that is no journal said why,
// a file that cannot be made said once, and a kill during writing leaves whole batches only.

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "monitor/memory_journal.h"
#include "platform/sqlite_journal.h"

namespace nms::platform {
namespace {

class SqliteJournalTest : public ::testing::Test {
protected:
    SqliteJournalTest() {
        char tmpl[] = "/tmp/nms-journal-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    ~SqliteJournalTest() override { std::filesystem::remove_all(dir_); }
    std::string path() const { return dir_ + "/nms-events.sqlite"; }
    static std::vector<ports::JournalEvent> batch(std::int64_t t, int n) {
        std::vector<ports::JournalEvent> b;
        for (int i = 0; i < n; ++i)
            b.push_back({t + i, "00:1A:2B:00:00:0" + std::to_string(i % 3), "TX", "alarm", "health",
                         "online", "alarm", "1 PPS signal is missing or is constantly HIGH."});
        return b;
    }
    std::string dir_;

    // The application of a test whose answers come back on the event loop.
    struct EventLoop {
        int argc = 1;
        char name[5] = "test";
        char* argv[2] = {name, nullptr};
        QCoreApplication app{argc, argv};
    };
};

TEST_F(SqliteJournalTest, NothingIsMadeUntilSomethingIsWritten) {
    SqliteJournal j(path());
    EXPECT_TRUE(j.query(0, "").empty());
    j.prune(1000, 0);
    EXPECT_FALSE(std::filesystem::exists(path()));
    EXPECT_TRUE(j.error().empty());
}

TEST_F(SqliteJournalTest, BatchesAreReadBackNewestFirstByElementAndPrunedByAge) {
    {
        SqliteJournal j(path());
        ASSERT_TRUE(j.append(batch(1000, 3))) << j.error();
        ASSERT_TRUE(j.append(batch(5000, 3))) << j.error();
    }
    SqliteJournal j(path());
    auto all = j.query(0, "");
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all.front().unixTimeMs, 5002);
    EXPECT_EQ(all.back().unixTimeMs, 1000);
    EXPECT_EQ(all.front().detail, "1 PPS signal is missing or is constantly HIGH.");
    EXPECT_EQ(j.query(0, "00:1A:2B:00:00:01").size(), 2u);
    EXPECT_EQ(j.query(5001, "").size(), 2u);
    j.append({});  // an empty batch is nothing to write
    j.prune(5000, 0);
    EXPECT_EQ(j.query(0, "").size(), 3u);
    // The texts of events gone go too, within the hour, and only those.
    ASSERT_TRUE(j.append({{4000, "00:1A:2B:00:00:09", "SPARE", "info", "health", "", "", "once"}}));
    constexpr std::int64_t kLater = 10 * 3600 * 1000;
    ASSERT_TRUE(j.append(batch(kLater, 1))) << j.error();
    j.prune(kLater, 0);
    EXPECT_EQ(j.query(0, ""), batch(kLater, 1));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* left = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT (SELECT count(*) FROM texts WHERE text IN ('SPARE', 'once', "
                       "'00:1A:2B:00:00:01')), (SELECT count(*) FROM kinds)",
                       -1, &left, nullptr);
    ASSERT_EQ(sqlite3_step(left), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(left, 0), 0);
    EXPECT_EQ(sqlite3_column_int(left, 1), 1);
    sqlite3_finalize(left);
    sqlite3_close(db);
}

// Beyond its size the oldest events go, a bounded number per prune, and the file gives the
// room back: it ends within its bound with the newest events kept.
TEST_F(SqliteJournalTest, PrunesKeepTheJournalWithinItsSizeAndTheFileShrinks) {
    constexpr std::int64_t kBound = 2 * 1024 * 1024;
    SqliteJournal j(path());
    for (int t = 0; t < 60; ++t) ASSERT_TRUE(j.append(batch(t * 1000, 1000))) << j.error();
    const auto grown = j.fileBytes();
    ASSERT_GT(grown, kBound);
    int prunes = 0;
    for (; prunes < 100 && j.fileBytes() > kBound; ++prunes) j.prune(0, kBound);
    EXPECT_GT(prunes, 1);  // a bounded step each
    EXPECT_LE(j.fileBytes(), kBound);
    EXPECT_LE(static_cast<std::int64_t>(std::filesystem::file_size(path())), grown);
    const auto kept = j.query(0, "");
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front().unixTimeMs, 59 * 1000 + 999);
    EXPECT_GT(kept.back().unixTimeMs, 0);
    // Within the bound, prunes by age go on as before, a bounded step each.
    j.prune(59 * 1000, kBound);
    EXPECT_GT(j.query(0, "").size(), 1000u);
    for (int i = 0; i < 20; ++i) j.prune(59 * 1000, kBound);
    EXPECT_EQ(j.query(0, "").size(), 1000u);
    EXPECT_EQ(j.query(0, "00:1A:2B:00:00:01").size(), 333u);
}

// The write-ahead log is copied back into the file beside the writes and cut back, so that file
// and log together stay within the bound of an always-on monitor.
TEST_F(SqliteJournalTest, TheWriteAheadLogIsCopiedBackAndCutBack) {
    EventLoop loop;
    SqliteJournal j(path());
    const auto drain = [&] {
        // Jobs run in the order asked: once this read is back, the copies asked before it ran.
        bool back = false;
        j.readLater({}, [&](ports::JournalPage) { back = true; });
        while (!back) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    for (int t = 0; t < 60; ++t) {
        ASSERT_TRUE(j.append(batch(t * 1000, 5000))) << j.error();
        if (t % 10 == 9) drain();
    }
    drain();
    ASSERT_TRUE(j.append(batch(99000, 1))) << j.error();
    const auto wal = static_cast<std::int64_t>(std::filesystem::file_size(path() + "-wal"));
    EXPECT_LE(wal, SqliteJournal::kWalLimitBytes);
    EXPECT_GT(static_cast<std::int64_t>(std::filesystem::file_size(path())), 2 * wal);
    EXPECT_EQ(j.query(0, "").size(), 300001u);
    // A burst, writes and prunes without a pause: the log is still cut back, file and log
    // together within the bound.
    constexpr std::int64_t kBound = 8 * 1024 * 1024;
    for (int t = 100; t < 300; ++t) {
        ASSERT_TRUE(j.append(batch(t * 1000, 1000))) << j.error();
        j.prune(0, kBound);
    }
    const auto total = static_cast<std::int64_t>(std::filesystem::file_size(path()) +
                                                 std::filesystem::file_size(path() + "-wal"));
    EXPECT_LE(total, kBound + 2 * 1024 * 1024) << "file and log grew past the bound";
    EXPECT_LE(static_cast<std::int64_t>(std::filesystem::file_size(path() + "-wal")), kBound / 2);
}

// Appends later are written beside the caller in the order given, each answered through the
// event loop once it is in the file (read and counted from then on), one that a lock kept out
// with the reason, at once when settled; a prune later follows the appends given before it, and
// what was given is written before the journal goes.
TEST_F(SqliteJournalTest, AppendsLaterAreAnsweredInOrderOnceInTheFile) {
    EventLoop loop;
    SqliteJournal j(path());
    struct Answer {
        bool ok;
        std::string error;
        std::size_t events;  // read then
    };
    std::vector<Answer> answers;
    const auto answer = [&](bool ok) { answers.push_back({ok, j.error(), j.query(0, "").size()}); };
    // Given newest first: the order written is the order given, not the events' times.
    for (int t = 2; t >= 0; --t) j.appendLater(batch(t * 1000, 100), answer);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(j.appended(), 0u);
    while (answers.size() < 3) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        EXPECT_TRUE(answers[i].ok);
        EXPECT_GE(answers[i].events, 100 * (i + 1));
    }
    EXPECT_EQ(j.appended(), 3u);
    ports::JournalQuery lastWritten;
    lastWritten.writtenAfter = 200;
    lastWritten.limit = 1;
    ASSERT_EQ(j.read(lastWritten).events.size(), 1u);
    EXPECT_EQ(j.read(lastWritten).events[0].unixTimeMs, 99);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    j.appendLater(batch(5000, 1), answer);
    j.settle();
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_FALSE(answers[3].ok);
    EXPECT_EQ(answers[3].error, path() + ": database is locked");
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    j.pruneLater(2000, 0);
    j.appendLater(batch(6000, 1), answer);
    j.settle();
    EXPECT_TRUE(answers.back().ok);
    EXPECT_EQ(answers.back().events, 101u);
    {
        SqliteJournal gone(path());
        gone.appendLater(batch(7000, 5), [](bool) { ADD_FAILURE() << "answered after it went"; });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(j.query(0, "").size(), 106u);
}

// A journal written with every text in every row is read as it is, and written on: rebuilt with
// each text once when small, kept as it is when large; its events keep their order and seqs.
TEST_F(SqliteJournalTest, AJournalWithTheTextsInEveryRowIsReadAndWrittenOn) {
    for (const int rows : {10, 40000}) {
        SCOPED_TRACE(rows);
        std::filesystem::remove(path());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
        const std::string fill =
            "CREATE TABLE events (time_ms INTEGER NOT NULL, mac TEXT NOT NULL, name TEXT, "
            "severity TEXT, what TEXT, from_state TEXT, to_state TEXT, detail TEXT); "
            "CREATE INDEX events_by_time ON events (time_ms); "
            "CREATE INDEX events_by_element ON events (mac, time_ms); "
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
            std::to_string(rows) +
            ") INSERT INTO events SELECT 1000 + i, '00:1A:2B:00:00:0' || (i % 3), 'TX', 'alarm', "
            "'health', 'online', 'alarm', 'reason ' || i || ' ' || printf('%.200c', '-') FROM n";
        ASSERT_EQ(sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        const auto before = std::filesystem::file_size(path());
        SqliteJournal j(path());
        ports::JournalQuery newest;
        newest.limit = 2;
        const auto read = j.read(newest);
        ASSERT_EQ(read.error, "");
        ASSERT_EQ(read.seqs, (std::vector<std::int64_t>{rows, rows - 1}));
        EXPECT_EQ(read.events[0].detail.rfind("reason " + std::to_string(rows - 1) + " ---", 0),
                  0u);
        ASSERT_TRUE(j.append(batch(900000, 3))) << j.error();
        const auto all = j.query(0, "");
        ASSERT_EQ(all.size(), static_cast<std::size_t>(rows) + 3);
        EXPECT_EQ(all[3], read.events[0]);
        EXPECT_EQ(all.back().unixTimeMs, 1000);
        EXPECT_EQ(all.back().mac, "00:1A:2B:00:00:00");
        EXPECT_EQ(j.read(newest).seqs, (std::vector<std::int64_t>{rows + 3, rows + 2}));
        EXPECT_EQ(j.query(0, "00:1A:2B:00:00:01").size(), static_cast<std::size_t>(rows / 3 + 1));
        // Rebuilt only while that is quick.
        ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
        sqlite3_stmt* texts = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE name = 'texts'", -1,
                           &texts, nullptr);
        ASSERT_EQ(sqlite3_step(texts), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(texts, 0) == 1, before <= SqliteJournal::kConvertBelowBytes)
            << before;
        sqlite3_finalize(texts);
        sqlite3_close(db);
    }
}

TEST_F(SqliteJournalTest, AFileThatCannotBeMadeIsSaidAndNothingElseHappens) {
    SqliteJournal j(dir_ + "/no/such/folder/nms-events.sqlite");
    EXPECT_FALSE(j.append(batch(1, 1)));
    EXPECT_NE(j.error().find("no/such/folder"), std::string::npos) << j.error();
    EXPECT_FALSE(j.append(batch(2, 1)));
    EXPECT_TRUE(j.query(0, "").empty());
}

// Another program held the file locked as the first batch came: that batch fails with the reason,
// and once the lock is gone the next one is written, instead of the journal staying off.
TEST_F(SqliteJournalTest, AJournalLockedAtTheFirstWriteIsWrittenOnceTheLockIsGone) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE t (x); BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
              SQLITE_OK);
    SqliteJournal j(path());
    EXPECT_FALSE(j.append(batch(1000, 2)));
    EXPECT_EQ(j.error(), path() + ": database is locked");
    EXPECT_FALSE(j.append(batch(2000, 2)));
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_TRUE(j.append(batch(3000, 2))) << j.error();
    EXPECT_TRUE(j.error().empty());
    EXPECT_EQ(j.query(0, "").size(), 2u);
}

// A file that is not our journal is said, with its path and why, never read as "no events";
// a journal not written yet is empty.
TEST_F(SqliteJournalTest, AFileThatIsNotAJournalCannotBeReadAndSaysWhy) {
    {
        SqliteJournal j(path());
        for (int t = 0; t < 200; ++t) ASSERT_TRUE(j.append(batch(t * 10, 10)));
    }
    const auto whole = std::filesystem::file_size(path());
    auto sql = [&](const char* statements) {
        std::filesystem::remove(path());
        sqlite3* db = nullptr;
        sqlite3_open(path().c_str(), &db);
        sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
        sqlite3_close(db);
    };
    const struct {
        const char* what;
        std::function<void()> make;
        const char* reason;  // empty: no events, no error
    } cases[] = {
        {"cut short", [&] { std::filesystem::resize_file(path(), whole / 2); }, "malformed"},
        {"bytes that are no database",
         [&] { std::ofstream(path(), std::ios::trunc) << std::string(8192, '\x5a'); },
         "not a database"},
        {"someone else's events", [&] { sql("CREATE TABLE events (id INTEGER, text TEXT)"); },
         "not an event journal (no such column: time_ms)"},
        {"a view", [&] { sql("CREATE TABLE t (x); CREATE VIEW events AS SELECT x FROM t"); },
         "not an event journal (events is a view)"},
        {"no events table", [&] { sql("CREATE TABLE t (x)"); },
         "not an event journal (no table events)"},
        {"a folder",
         [&] {
             std::filesystem::remove(path());
             std::filesystem::create_directory(path());
         },
         "is a folder"},
        {"an empty file",
         [&] {
             std::filesystem::remove(path());
             std::ofstream{path()};
         },
         ""},
        {"no file", [&] { std::filesystem::remove(path()); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        SqliteJournal j(path());
        EXPECT_TRUE(j.query(0, "").empty());
        if (*c.reason) {
            EXPECT_EQ(j.error().rfind(path() + ": ", 0), 0u) << j.error();
            EXPECT_NE(j.error().find(c.reason), std::string::npos) << j.error();
        } else {
            EXPECT_EQ(j.error(), "");
        }
        std::filesystem::remove_all(path());
    }
}

TEST_F(SqliteJournalTest, AKillDuringWritingLeavesWholeBatches) {
    constexpr int kBatch = 7;
    for (int round = 0; round < 3; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SqliteJournal j(path());
            for (std::int64_t t = 0;; t += kBatch) j.append(batch(t + round * 1000000, kBatch));
        }
        ::usleep(30000 + round * 20000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        SqliteJournal j(path());
        const auto events = j.query(0, "");
        EXPECT_EQ(events.size() % kBatch, 0u) << "round " << round;
        EXPECT_TRUE(j.append(batch(9000000 + round, kBatch))) << j.error();
    }
}

// Pages down from a position, what came since one, one element or severity, bounded: the file
// answers each as the journal kept in memory does, in the same order (ties of a time newest
// written first); a read later gives the same page back through the event loop, and so does a
// reader on another thread.
TEST_F(SqliteJournalTest, BoundedReadsFromAPositionAnswerAsTheMemoryJournalAndLater) {
    SqliteJournal j(path());
    monitor::MemoryJournal memory;
    auto first = batch(1000, 7);
    first[4].severity = "info";
    first[2].severity = "warning";
    first[6].unixTimeMs = 1005;  // two events of one time
    for (auto* journal : std::initializer_list<ports::EventJournal*>{&j, &memory}) {
        ASSERT_TRUE(journal->append(first)) << journal->error();
        ASSERT_TRUE(journal->append(batch(1005, 2))) << journal->error();
        // Written after the clock was stepped back.
        ASSERT_TRUE(journal->append(batch(990, 2))) << journal->error();
    }
    std::vector<ports::JournalQuery> queries(13);
    queries[0].limit = 3;
    queries[1].limit = 3;
    queries[1].before = ports::JournalPosition{1005, 7};
    queries[2].after = ports::JournalPosition{1005, 7};
    queries[3].severity = "info";
    queries[4].mac = "00:1A:2B:00:00:01";
    queries[4].before = ports::JournalPosition{1005, 8};
    queries[5].sinceUnixMs = 1003;
    queries[5].limit = 2;
    queries[5].after = ports::JournalPosition{1001, 2};
    queries[6].before = ports::JournalPosition{1000, 1};
    queries[7].limit = 100;
    // A severity at least: any of a set, alone, by element, from a position.
    queries[8].severities = {"info", "warning"};
    queries[9].severities = {"warning", "alarm"};
    queries[9].mac = "00:1A:2B:00:00:01";
    queries[9].limit = 2;
    queries[10].severities = {"alarm"};
    queries[10].before = ports::JournalPosition{1005, 8};
    queries[10].limit = 3;
    // What was written since the 9th, whatever the clock said: none hides behind older times.
    queries[11].writtenAfter = 9;
    queries[12].writtenAfter = 8;
    queries[12].severities = {"warning", "alarm"};
    queries[12].limit = 2;
    // A reader of each, as the web service's threads use it, answers the same.
    const auto fileReader = j.openReader();
    const auto memoryReader = memory.openReader();
    for (const auto& q : queries) {
        const auto want = memory.read(q);
        const auto got = j.read(q);
        EXPECT_EQ(got.error, "");
        EXPECT_EQ(got.events, want.events);
        EXPECT_EQ(got.seqs, want.seqs);
        std::thread([&] {
            EXPECT_EQ(fileReader->read(q).seqs, want.seqs);
            EXPECT_EQ(memoryReader->read(q).seqs, want.seqs);
        }).join();
    }
    const auto newest = j.read(queries[0]);
    EXPECT_EQ(newest.seqs, (std::vector<std::int64_t>{9, 8, 7}));
    EXPECT_EQ(j.read(queries[8]).seqs, (std::vector<std::int64_t>{5, 3}));
    EXPECT_EQ(j.read(queries[10]).seqs, (std::vector<std::int64_t>{7, 6, 4}));
    EXPECT_EQ(j.read(queries[11]).seqs, (std::vector<std::int64_t>{11, 10}));
    EXPECT_EQ(j.read(queries[12]).seqs, (std::vector<std::int64_t>{11, 10}));

    EventLoop loop;
    std::vector<ports::JournalPage> pages;
    j.readLater(queries[1], [&](ports::JournalPage page) { pages.push_back(std::move(page)); });
    const auto cancelled = j.readLater(queries[0], [&](ports::JournalPage) { ADD_FAILURE(); });
    j.cancel(cancelled);
    j.readLater(queries[2], [&](ports::JournalPage page) { pages.push_back(std::move(page)); });
    while (pages.size() < 2) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(pages[0].events, j.read(queries[1]).events);
    EXPECT_EQ(pages[1].seqs, j.read(queries[2]).seqs);
}

}  // namespace
}  // namespace nms::platform
