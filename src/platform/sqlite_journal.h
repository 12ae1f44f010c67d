#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "ports/journal.h"

class QObject;
struct sqlite3;

namespace nms::platform {

// The event journal in an SQLite file beside nms.ini: write-ahead logging, one transaction per
// batch (a crash keeps whole batches only). The file is made only when there is something to
// write. A file that cannot be opened or written makes that append fail with the reason; the
// next append tries again from the start, so a journal that another program held locked is
// written once it lets go.
//
// Appends and prunes run on a thread of their own with a connection of their own, one at a time
// in the order given, so that a burst written into a large journal never holds the station:
// appendLater() and pruneLater() return at once, append() and prune() wait for theirs (and for
// those given before). The write-ahead log is copied back into the file on that thread too (a
// checkpoint waits for the disk), after the write that grew it by kCheckpointPages. A process
// that can start no more threads writes on the caller's.
//
// Every call waits at most kBusyWaitMs in all for a lock that another program holds, so that a
// locked journal never stalls the station's one thread for longer; the writing thread keeps to
// the same wait, so that a locked journal fails a batch as soon: what cannot be written then
// waits for the caller's next try.
//
// The journal stays within a size: beyond it the oldest events go, and the file gives back
// the room they took (incremental vacuum), a bounded number of rows and pages per prune so
// that a prune stays short; a journal grown far beyond its bound shrinks over several.
// Reads are served by an index on the time (newest first, since a time) and one on the element.
// Each text (a name, a MAC, a reason) is kept once, and each kind of event (its name, severity,
// what, states and reason together) once, referring to its texts; an event is its time, its
// element's MAC and its kind, a few dozen bytes with its indexes. A text or kind goes once no
// event kept refers to it.
//
// read() reads on the caller's thread with a connection of its own. A read later runs on a
// thread of its own with a connection of its own (write-ahead logging lets both read while the
// journal is written), one read at a time in the order asked; its page comes back through the Qt
// event loop of the thread that asked. A cancelled read that is running is interrupted.
//
// A reader for another thread (openReader) is a journal of its own on the same file, its reads
// taken one at a time: it neither waits on this connection's calls nor holds them.
//
// A read says why it could not read (error() is empty after a read that worked): a file that is
// not an SQLite database, or holds no journal of ours, is an error; a journal that does not
// exist yet is empty.
class SqliteJournal : public ports::EventJournal {
public:
    static constexpr int kBusyWaitMs = 30;
    // At most this many rows and free pages go in one prune. A row costs its prune about the
    // same however small it is (its entry in the index by element is anywhere in it).
    static constexpr int kPruneStepRows = 2000;
    static constexpr int kVacuumStepPages = 256;
    // A prune by size forgets down to this share of the bound, so that it runs now and then
    // rather than at every batch; the rest leaves room for the write-ahead log.
    static constexpr double kPruneToShare = 0.9;
    // The write-ahead log is cut back to this after a checkpoint.
    static constexpr int kWalLimitBytes = 4 * 1024 * 1024;
    // The write-ahead log is copied back into the file once it holds this many pages, after the
    // write that filled it and before the next: the log is cut back only when a write finds it
    // copied back whole.
    static constexpr int kCheckpointPages = 1000;
    // The room a bound leaves for the log: a batch may grow it beyond kCheckpointPages before it
    // is copied back. A tight bound copies it back sooner, at a quarter of the bound.
    static constexpr int kForceCheckpointPages = 4 * kCheckpointPages;
    // A journal without incremental vacuum, or with every text in every row, up to this size is
    // rebuilt when first written; a larger one is read and written as it is.
    static constexpr std::int64_t kConvertBelowBytes = 4 * 1024 * 1024;

    explicit SqliteJournal(const std::string& path);
    // What was given to write is written first.
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    const std::string& path() const { return path_; }
    bool append(const std::vector<ports::JournalEvent>& batch) override;
    void appendLater(std::vector<ports::JournalEvent> batch,
                     std::function<void(bool)> done) override;
    void settle() override;
    std::uint64_t appended() const override { return appended_; }
    ports::JournalPage read(const ports::JournalQuery& query) override;
    ReadId readLater(const ports::JournalQuery& query,
                     std::function<void(ports::JournalPage)> done) override;
    void cancel(ReadId id) override;
    std::unique_ptr<ports::JournalReader> openReader() override;
    void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) override;
    void pruneLater(std::int64_t beforeUnixMs, std::int64_t maxBytes) override;
    // Bytes the journal's pages take, whether in use or free (0 when it has not been written or
    // pruned yet), once what was given to write is written.
    std::int64_t fileBytes();
    const std::string& error() const override { return error_; }

private:
    class Reader;
    class Writer;
    class Writing;

    // The connection of read(), opened when first needed.
    bool openToRead();
    // Says why, with the path, and closes it: the next read starts afresh.
    bool failRead(const std::string& why);
    void startCall();
    static int busy(void* self, int count);
    void delivered(ReadId id, ports::JournalPage page);
    bool startReader();
    // Runs `job` on the writing thread, started when first needed, after what was given before
    // (on this thread when none can be had); `wait`: returns once it has run.
    void write(std::function<void(Writer&)> job, bool wait);
    // Hands the appends written since to their `done`, on this thread.
    void deliverWrites();

    std::string path_;
    sqlite3* db_ = nullptr;
    std::int64_t deadlineMs_ = 0;  // of the current read, on the monotonic clock
    std::string error_;
    std::uint64_t appended_ = 0;
    // Reads later: the pages come back to `receiver_`, and go to the `done` of reads not
    // cancelled. The reader goes first: nothing is delivered once the receiver has gone.
    std::unique_ptr<QObject> receiver_;
    std::unique_ptr<Reader> reader_;
    std::unordered_map<ReadId, std::function<void(ports::JournalPage)>> waiting_;
    ReadId nextRead_ = 1;
    // Writes: the writer's connection is used by one thread at a time, the writing thread's
    // (or this one without it). What an append later gave is put in `written_` there and
    // handed to its `done` here, through `receiver_`.
    std::unique_ptr<Writer> writer_;
    std::unique_ptr<Writing> writing_;
    struct Written {
        std::uint64_t id = 0;
        bool ok = false;
        std::string error;
    };
    std::mutex writtenMutex_;
    std::deque<Written> written_;
    std::unordered_map<std::uint64_t, std::function<void(bool)>> writes_;
    std::uint64_t nextWrite_ = 1;
};

}  // namespace nms::platform
