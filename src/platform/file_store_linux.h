#pragma once

#include <map>
#include <string>
#include <unordered_map>

#include "ports/file_store.h"

namespace nms::platform {

// The element database on a Linux file system. replace() writes a complete temporary file beside
// the target, syncs it, renames it over the target and syncs the folder, so that a crash at any
// moment leaves either the old file or the new one, never a torn one.
// removeStaleTemporaries() removes the temporaries of a file whose process is gone: a killed
// save's leftover, never a save in progress in a process that still runs.
//
// stamp() is asked before every read of the database, so it is kept cheap: on a local file
// system the folder is watched with inotify, and while no event has arrived for it the stamp
// taken last still holds. Any event, from another program or from our own saves, sends the next
// stamp() back to the file system. On network file systems, whose changes made elsewhere raise
// no event here, every stamp() asks the file system.
class LinuxFileStore : public ports::FileStore {
public:
    enum class Step { Create, Write, Sync, Close, Rename, SyncFolder };

    LinuxFileStore();
    ~LinuxFileStore() override;
    LinuxFileStore(const LinuxFileStore&) = delete;
    LinuxFileStore& operator=(const LinuxFileStore&) = delete;

    ports::FileStamp stamp(const std::string& path) override;
    std::optional<std::string> read(const std::string& path, ports::FileStamp* stampOut) override;
    ports::BoundedRead readAtMost(const std::string& path, std::size_t maxBytes) override;
    ports::WriteResult replace(const std::string& path, std::string_view content) override;
    bool isReadOnly(const std::string& path) override;
    ports::WriteResult remove(const std::string& path) override;
    ports::WriteResult ensureWritableFolder(const std::string& folder) override;
    void removeStaleTemporaries(const std::string& path) override;

    // The name a temporary file of `path` starts with; the rest is unique to one save.
    static std::string temporaryPrefix(const std::string& path);

    // For tests: the next save fails at `step` with the system error `error`, as if the system had
    // reported it, and then carries on normally.
    void failNextAt(Step step, int error) {
        faultStep_ = step;
        faultError_ = error;
        faultArmed_ = true;
    }

private:
    bool fault(Step step);
    // Reads the pending events; true when the cached stamps can still be trusted.
    bool noEventsSince();
    bool watch(const std::string& folder);
    void forget(const std::string& path);

    int inotify_ = -1;
    std::map<std::string, int> watches_;                   // folder → watch descriptor
    std::unordered_map<std::string, ports::FileStamp> cached_;  // path → last stamp taken
    bool faultArmed_ = false;
    Step faultStep_ = Step::Create;
    int faultError_ = 0;
    unsigned counter_ = 0;
};

}  // namespace nms::platform
