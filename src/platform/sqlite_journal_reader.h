#pragma once

// The thread that reads the event journal later, beside the station and its writes: a private
// part of SqliteJournal, in a file of its own.

#include <sqlite3.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sqlite_journal.h"
#include "platform/sqlite_journal_sql.h"

namespace nms::platform {

// The thread that reads later, with its own connection to the journal.
class SqliteJournal::Reader {
public:
    using Deliver = std::function<void(ReadId, ports::JournalPage)>;
    Reader(std::string path, Deliver deliver)
        : path_(std::move(path)), deliver_(std::move(deliver)), thread_([this] { run(); }) {}
    ~Reader() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            jobs_.clear();
            if (running_ != 0 && db_) sqlite3_interrupt(db_);
        }
        wake_.notify_one();
        thread_.join();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    void ask(ReadId id, const ports::JournalQuery& q) {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back({id, q});
        }
        wake_.notify_one();
    }
    void cancel(ReadId id) {
        const std::lock_guard lock(mutex_);
        std::erase_if(jobs_, [id](const Job& j) { return j.id == id; });
        if (running_ == id && db_) sqlite3_interrupt(db_);
    }

private:
    struct Job {
        ReadId id;
        ports::JournalQuery query;
    };

    void run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (stopping_) break;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                running_ = job.id;
            }
            ports::JournalPage page = read(job.query);
            {
                const std::lock_guard lock(mutex_);
                running_ = 0;
            }
            deliver_(job.id, std::move(page));
        }
        const std::lock_guard lock(mutex_);
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }

    ports::JournalPage read(const ports::JournalQuery& q) {
        ports::JournalPage page;
        std::string why;
        if (!journal_sql::fileToRead(path_, why)) {
            if (!why.empty()) page.error = path_ + ": " + why;
            return page;
        }
        if (!open(why)) {
            page.error = path_ + ": " + why;
            return page;
        }
        // One snapshot: a journal rebuilt compact between the look at its layout and the read
        // is read as it was.
        sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
        const journal_sql::Holds holds = journal_sql::whatFileHolds(db_, why);
        const bool read = holds == journal_sql::Holds::Journal && journal_sql::readRows(db_, journal_sql::layoutOf(db_), q, page, why);
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (read || holds == journal_sql::Holds::Nothing) return page;
        page.error = path_ + ": " + why;
        // Opened afresh next time: the file may have been replaced.
        const std::lock_guard lock(mutex_);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return page;
    }

    bool open(std::string& why) {
        if (db_) return true;
        sqlite3* db = nullptr;
        // Read and write, as the writer opens it, so that it shares the write-ahead log's index
        // whoever made it; it changes nothing.
        if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            why = db ? sqlite3_errmsg(db) : "cannot be opened";
            sqlite3_close_v2(db);
            return false;
        }
        // Off the station's thread a lock held for a while can be waited for.
        sqlite3_busy_timeout(db, 2000);
        sqlite3_exec(db, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
        const std::lock_guard lock(mutex_);
        db_ = db;
        return true;
    }

    const std::string path_;
    const Deliver deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    ReadId running_ = 0;
    bool stopping_ = false;
    sqlite3* db_ = nullptr;  // used by the thread; interrupted from outside under the mutex
    std::thread thread_;     // last: it starts once everything else is there
};

}  // namespace nms::platform
