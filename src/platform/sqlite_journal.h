#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "ports/journal.h"

class QObject;
struct sqlite3;
struct sqlite3_stmt;

namespace nms::platform {

// The event journal in an SQLite file beside nms.ini: write-ahead logging, one transaction per
// batch (a crash keeps whole batches only). The file is made only when there is something to
// write. A file that cannot be opened or written makes that append fail with the reason; the
// next append tries again from the start, so a journal that another program held locked is
// written once it lets go.
//
// Every call waits at most kBusyWaitMs in all for a lock that another program holds, so that a
// locked journal never stalls the station's one thread for longer: what cannot be written then
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
// A read later runs on a thread of its own with a connection of its own (write-ahead logging
// lets it read while the station writes), one read at a time in the order asked; its page comes
// back through the Qt event loop of the thread that asked. A cancelled read that is running is
// interrupted. The write-ahead log is copied back into the file on that thread too (a checkpoint
// waits for the disk), once it has grown by kCheckpointPages; only a log that writes without a
// pause keep from being cut back is copied back by the writer itself (kForceCheckpointPages).
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
    // The write-ahead log is copied back into the file, on the reading thread, once it holds
    // this many pages.
    static constexpr int kCheckpointPages = 1000;
    // The log is cut back only when a write finds it copied back whole; writes that follow each
    // other without a pause (a burst, a long prune) keep it from ever being so, and it grows
    // without end. Beyond this many pages the writer copies it back itself, before its next
    // write, whatever that costs it.
    static constexpr int kForceCheckpointPages = 4 * kCheckpointPages;
    // A journal without incremental vacuum, or with every text in every row, up to this size is
    // rebuilt when first written; a larger one is read and written as it is.
    static constexpr std::int64_t kConvertBelowBytes = 4 * 1024 * 1024;

    explicit SqliteJournal(const std::string& path);
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    const std::string& path() const { return path_; }
    bool append(const std::vector<ports::JournalEvent>& batch) override;
    std::uint64_t appended() const override { return appended_; }
    ports::JournalPage read(const ports::JournalQuery& query) override;
    ReadId readLater(const ports::JournalQuery& query,
                     std::function<void(ports::JournalPage)> done) override;
    void cancel(ReadId id) override;
    std::unique_ptr<ports::JournalReader> openReader() override;
    void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) override;
    // Bytes the journal's pages take, whether in use or free (0 when it is not open).
    std::int64_t fileBytes();
    const std::string& error() const override { return error_; }

private:
    bool open(bool create);
    bool ensureTable();
    bool makeTables();
    // Rewrites a journal with every text in every row into the compact one, in the open
    // transaction.
    bool compactTexts();
    // The id of `text`, kept at least until an event of time `t` goes; 0 when it cannot be kept.
    std::int64_t textId(const std::string& text, std::int64_t t);
    // The id of the kind of `e`, the same way.
    std::int64_t kindId(const ports::JournalEvent& e);
    // Whether the file holds our table; `empty` when it holds nothing at all.
    bool holdsJournal(bool& empty);
    bool exec(const char* sql);
    // The first column of the first row of `sql`; -1 when there is none.
    std::int64_t pragma(const char* sql);
    // The journal is ours: it may be written and pruned.
    void ready();
    // Says why, with the path, and closes: the next call starts afresh.
    bool fail(const std::string& why);
    void startCall();
    static int busy(void* self, int count);
    void delivered(ReadId id, ports::JournalPage page);
    bool startReader();
    void checkpointLater();

    class Reader;

    std::string path_;
    sqlite3* db_ = nullptr;
    bool tableReady_ = false;
    bool compact_ = true;  // each text kept once (or in every row, as the first journals did)
    struct Text {
        std::int64_t id = 0;
        std::int64_t keptUntilMs = 0;  // what the file says; an hour ahead of its last use
    };
    static std::optional<Text> keptRow(sqlite3_stmt* upsert);
    // The texts and kinds this connection knows the ids of; forgotten whenever the file may
    // differ.
    std::unordered_map<std::string, Text> texts_;
    std::map<std::array<std::int64_t, 6>, Text> kinds_;
    // Their statements, prepared once per connection: a write after the hour turns asks for
    // every text and kind again.
    sqlite3_stmt* keepText_ = nullptr;
    sqlite3_stmt* keepKind_ = nullptr;
    // Finalizes them, before the connection closes.
    void forgetStatements();
    std::int64_t deadlineMs_ = 0;  // of the current call, on the monotonic clock
    std::string error_;
    std::uint64_t appended_ = 0;
    int walPages_ = 0;  // in the write-ahead log after the last write
    int forcePages_ = kForceCheckpointPages;  // the writer copies the log back itself beyond
    // Reads later: the pages come back to `receiver_`, and go to the `done` of reads not
    // cancelled. The reader goes first: nothing is delivered once the receiver has gone.
    std::unique_ptr<QObject> receiver_;
    std::unique_ptr<Reader> reader_;
    std::unordered_map<ReadId, std::function<void(ports::JournalPage)>> waiting_;
    ReadId nextRead_ = 1;
};

}  // namespace nms::platform
