#pragma once

#include <string>

#include "ports/file_store.h"

namespace nms::platform {

// The element database on a Linux file system. replace() writes a complete temporary file beside
// the target, syncs it, renames it over the target and syncs the folder, so that a crash at any
// moment leaves either the old file or the new one, never a torn one.
class LinuxFileStore : public ports::FileStore {
public:
    enum class Step { Create, Write, Sync, Close, Rename, SyncFolder };

    ports::FileStamp stamp(const std::string& path) override;
    std::optional<std::string> read(const std::string& path, ports::FileStamp* stampOut) override;
    ports::WriteResult replace(const std::string& path, std::string_view content) override;
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
    bool faultArmed_ = false;
    Step faultStep_ = Step::Create;
    int faultError_ = 0;
    unsigned counter_ = 0;
};

}  // namespace nms::platform
