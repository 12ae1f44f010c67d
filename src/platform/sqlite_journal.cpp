#include "platform/sqlite_journal.h"
#include "platform/sqlite_journal_reader.h"
#include "platform/sqlite_journal_sql.h"
#include "platform/sqlite_journal_writer.h"

#include <sqlite3.h>
#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <mutex>
#include <system_error>

namespace nms::platform {

namespace {

using namespace journal_sql;

// The same file through a connection of its own, one read at a time.
class OwnConnectionReader : public ports::JournalReader {
public:
    explicit OwnConnectionReader(const std::string& path) : journal_(path) {}
    ports::JournalPage read(const ports::JournalQuery& q) override {
        const std::lock_guard lock(mutex_);
        return journal_.read(q);
    }

private:
    std::mutex mutex_;
    SqliteJournal journal_;
};

}  // namespace

SqliteJournal::SqliteJournal(const std::string& path) : path_(path) {}

SqliteJournal::~SqliteJournal() {
    writing_.reset();
    reader_.reset();
    receiver_.reset();
    sqlite3_close_v2(db_);
    // The writer's connection closes last: it copies the log back and removes it.
    writer_.reset();
}

void SqliteJournal::startCall() {
    deadlineMs_ = monotonicMs() + kBusyWaitMs;
}

int SqliteJournal::busy(void* self, int) {
    if (monotonicMs() >= static_cast<SqliteJournal*>(self)->deadlineMs_) return 0;
    sqlite3_sleep(2);
    return 1;
}

bool SqliteJournal::failRead(const std::string& why) {
    error_ = path_ + ": " + why;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
}

bool SqliteJournal::openToRead() {
    if (db_) return true;
    // Read and write, as the writer opens it, so that it shares the write-ahead log's index
    // whoever made it; it changes nothing.
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return failRead(db_ ? sqlite3_errmsg(db_) : "cannot be opened");
    sqlite3_busy_handler(db_, &SqliteJournal::busy, this);
    sqlite3_exec(db_, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
    return true;
}

bool SqliteJournal::startReader() {
    if (reader_) return true;
    // The pages come back to the thread that asks, through its event loop.
    if (!receiver_) receiver_ = std::make_unique<QObject>();
    try {
        reader_ = std::make_unique<Reader>(
            path_, [receiver = receiver_.get(), this](ReadId id, ports::JournalPage page) {
                QMetaObject::invokeMethod(
                    receiver,
                    [this, id, page = std::move(page)]() mutable { delivered(id, std::move(page)); },
                    Qt::QueuedConnection);
            });
    } catch (const std::system_error&) {
        return false;  // no thread to be had (a process at its limit)
    }
    return true;
}

void SqliteJournal::write(std::function<void(Writer&)> job, bool wait) {
    if (!writer_) writer_ = std::make_unique<Writer>(path_);
    if (!writing_) {
        try {
            writing_ = std::make_unique<Writing>();
        } catch (const std::system_error&) {
            job(*writer_);  // no thread to be had (a process at its limit)
            return;
        }
    }
    writing_->give([job = std::move(job), writer = writer_.get()] { job(*writer); });
    if (wait) writing_->waitIdle();
}

bool SqliteJournal::append(const std::vector<ports::JournalEvent>& batch) {
    if (batch.empty()) return true;
    bool ok = false;
    std::string why;
    write(
        [&](Writer& w) {
            ok = w.append(batch);
            if (!ok) why = w.error();
        },
        true);
    // The copy back does not hold the caller.
    write([](Writer& w) { w.checkpointIfDue(); }, false);
    if (!ok) {
        error_ = why;
        return false;
    }
    error_.clear();
    ++appended_;
    return true;
}

void SqliteJournal::appendLater(std::vector<ports::JournalEvent> batch,
                                std::function<void(bool)> done) {
    if (batch.empty()) {
        done(true);
        return;
    }
    const std::uint64_t id = nextWrite_++;
    writes_.emplace(id, std::move(done));
    // The answer comes back to the thread that asks, through its event loop.
    if (!receiver_) receiver_ = std::make_unique<QObject>();
    write(
        [this, id, receiver = receiver_.get(), batch = std::move(batch)](Writer& w) {
            const bool ok = w.append(batch);
            {
                const std::lock_guard lock(writtenMutex_);
                written_.push_back({id, ok, ok ? std::string() : w.error()});
            }
            QMetaObject::invokeMethod(
                receiver, [this] { deliverWrites(); }, Qt::QueuedConnection);
            // After the answer: the copy back holds nobody who waits for the batch.
            w.checkpointIfDue();
        },
        false);
    // Written on this thread: answered now.
    if (!writing_) deliverWrites();
}

void SqliteJournal::deliverWrites() {
    for (;;) {
        Written w;
        {
            const std::lock_guard lock(writtenMutex_);
            if (written_.empty()) return;
            w = std::move(written_.front());
            written_.pop_front();
        }
        if (w.ok) {
            error_.clear();
            ++appended_;
        } else {
            error_ = w.error;
        }
        const auto it = writes_.find(w.id);
        if (it == writes_.end()) continue;
        auto done = std::move(it->second);
        writes_.erase(it);
        done(w.ok);
    }
}

void SqliteJournal::settle() {
    if (writing_) writing_->waitIdle();
    deliverWrites();
}

void SqliteJournal::prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
    write([=](Writer& w) { w.prune(beforeUnixMs, maxBytes); }, true);
    write([](Writer& w) { w.checkpointIfDue(); }, false);
}

void SqliteJournal::pruneLater(std::int64_t beforeUnixMs, std::int64_t maxBytes) {
    write(
        [=](Writer& w) {
            w.prune(beforeUnixMs, maxBytes);
            w.checkpointIfDue();
        },
        false);
}

std::int64_t SqliteJournal::fileBytes() {
    std::int64_t bytes = 0;
    write([&](Writer& w) { bytes = w.fileBytes(); }, true);
    return bytes;
}

ports::JournalPage SqliteJournal::read(const ports::JournalQuery& q) {
    ports::JournalPage page;
    error_.clear();
    startCall();
    std::string why;
    if (!fileToRead(path_, why)) {
        if (!why.empty()) failRead(why);
        page.error = error_;
        return page;  // not written yet: no events
    }
    if (!openToRead()) {
        page.error = error_;
        return page;
    }
    // One snapshot: a journal rebuilt compact by the writer between the look at its layout and
    // the read is read as it was.
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    const Holds holds = whatFileHolds(db_, why);
    const bool read = holds == Holds::Journal && readRows(db_, layoutOf(db_), q, page, why);
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (!read && holds != Holds::Nothing) {
        failRead(why);
        page.error = error_;
    }
    return page;
}

SqliteJournal::ReadId SqliteJournal::readLater(const ports::JournalQuery& q,
                                               std::function<void(ports::JournalPage)> done) {
    if (!startReader()) {
        done(read(q));
        return 0;
    }
    const ReadId id = nextRead_++;
    waiting_.emplace(id, std::move(done));
    reader_->ask(id, q);
    return id;
}

void SqliteJournal::cancel(ReadId id) {
    if (waiting_.erase(id) == 0) return;
    if (reader_) reader_->cancel(id);
}

std::unique_ptr<ports::JournalReader> SqliteJournal::openReader() {
    return std::make_unique<OwnConnectionReader>(path_);
}

void SqliteJournal::delivered(ReadId id, ports::JournalPage page) {
    auto it = waiting_.find(id);
    if (it == waiting_.end()) return;  // cancelled
    auto done = std::move(it->second);
    waiting_.erase(it);
    done(std::move(page));
}

}  // namespace nms::platform
