#pragma once

// The event journal's writes: its writing connection and the thread it is used on, private to
// SqliteJournal, in a file of their own.

#include <sqlite3.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/sqlite_journal.h"

namespace nms::platform {

// The connection that writes the journal and what it knows of the file. One thread at a time
// uses it: the writing thread, or the caller's when no thread can be had.
class SqliteJournal::Writer {
public:
    explicit Writer(std::string path) : path_(std::move(path)) {}
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // The batch in one transaction; false with the reason in error().
    bool append(const std::vector<ports::JournalEvent>& batch);
    // Only a journal found to be ours: one written by this connection, or one already in the
    // layout it is written in (see adopt()).
    void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes);
    // Copies the write-ahead log back into the file once a write has grown it far enough.
    void checkpointIfDue();
    std::int64_t fileBytes();
    const std::string& error() const { return error_; }

private:
    struct Text {
        std::int64_t id = 0;
        std::int64_t keptUntilMs = 0;  // what the file says; an hour ahead of its last use
    };

    bool open(bool create);
    bool ensureTable();
    bool makeTables();
    // Rewrites a journal with every text in every row into the compact one, in the open
    // transaction.
    bool compactTexts();
    // A journal this connection has not written: ours, and compact or too large to rebuild (one
    // that is small enough is rebuilt by its first write instead).
    bool adopt();
    // The id of `text`, kept at least until an event of time `t` goes; 0 when it cannot be kept.
    std::int64_t textId(const std::string& text, std::int64_t t);
    // The id of the kind of `e`, the same way.
    std::int64_t kindId(const ports::JournalEvent& e);
    static std::optional<Text> keptRow(sqlite3_stmt* upsert);
    // The id of `key` in `cache` while it is known to be kept past `t`; otherwise the one the
    // insert-or-update `sql` returned (prepared once into `upsert`; `bind` gives it the key and
    // the end of the hour it is kept until), then known. 0 when it cannot be kept.
    template <class Cache, class Bind>
    std::int64_t keptId(Cache& cache, const typename Cache::key_type& key, std::int64_t t,
                        sqlite3_stmt*& upsert, const char* sql, Bind bind);
    bool exec(const char* sql);
    // The first column of the first row of `sql`; -1 when there is none.
    std::int64_t pragma(const char* sql);
    // The journal is ours: it may be written and pruned.
    void ready();
    // Says why, with the path, and closes: the next call starts afresh.
    bool fail(const std::string& why);
    // Finalizes the statements kept, before the connection closes.
    void forgetStatements();
    void startCall();
    static int busy(void* self, int count);

    const std::string path_;
    sqlite3* db_ = nullptr;
    bool tableReady_ = false;
    bool compact_ = true;  // each text kept once (or in every row, as the first journals did)
    // The texts and kinds this connection knows the ids of; forgotten whenever the file may
    // differ.
    std::unordered_map<std::string, Text> texts_;
    std::map<std::array<std::int64_t, 6>, Text> kinds_;
    // Their statements, prepared once per connection: a write after the hour turns asks for
    // every text and kind again.
    sqlite3_stmt* keepText_ = nullptr;
    sqlite3_stmt* keepKind_ = nullptr;
    std::int64_t deadlineMs_ = 0;  // of the current call, on the monotonic clock
    std::string error_;
    int walPages_ = 0;                        // in the write-ahead log after the last write
    int forcePages_ = kForceCheckpointPages;  // the log's room, in pages, within the bound
};

// The thread that writes: the jobs given run one at a time in the order given. Its end runs what
// was given before it.
class SqliteJournal::Writing {
public:
    using Job = std::function<void()>;
    // Throws std::system_error when no thread can be had.
    Writing() : thread_([this] { run(); }) {}
    ~Writing() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Writing(const Writing&) = delete;
    Writing& operator=(const Writing&) = delete;

    void give(Job job) {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }
    // Returns once every job given so far has run.
    void waitIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return jobs_.empty() && !running_; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // stopping, and everything given has run
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            running_ = true;
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
            running_ = false;
            if (jobs_.empty()) idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> jobs_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once everything else is there
};

}  // namespace nms::platform
