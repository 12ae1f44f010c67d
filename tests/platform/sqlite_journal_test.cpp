// The event journal in its SQLite file: batches whole or not at all, newest first, pruned by age,
// a file that cannot be made said once, and a kill during writing leaves whole batches only.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

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
};

TEST_F(SqliteJournalTest, NothingIsMadeUntilSomethingIsWritten) {
    SqliteJournal j(path());
    EXPECT_TRUE(j.query(0, "").empty());
    j.prune(1000);
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
    j.prune(5000);
    EXPECT_EQ(j.query(0, "").size(), 3u);
}

TEST_F(SqliteJournalTest, AFileThatCannotBeMadeIsSaidAndNothingElseHappens) {
    SqliteJournal j(dir_ + "/no/such/folder/nms-events.sqlite");
    EXPECT_FALSE(j.append(batch(1, 1)));
    EXPECT_NE(j.error().find("no/such/folder"), std::string::npos) << j.error();
    EXPECT_FALSE(j.append(batch(2, 1)));
    EXPECT_TRUE(j.query(0, "").empty());
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

}  // namespace
}  // namespace nms::platform
