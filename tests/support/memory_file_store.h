#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ports/file_store.h"

namespace nms::testing {

// Files held in memory. Each content change gets a new stamp, as a real rename would. A test can
// make the next replace() fail at one of its steps, edit a file "from another program", and count
// what the store did.
class MemoryFileStore : public ports::FileStore {
public:
    enum class Step { None, Write, Sync, Rename, Remove, Folder };

    ports::FileStamp stamp(const std::string& path) override;
    std::optional<std::string> read(const std::string& path, ports::FileStamp* stampOut) override;
    ports::BoundedRead readAtMost(const std::string& path, std::size_t maxBytes) override;
    ports::WriteResult replace(const std::string& path, std::string_view content) override;
    ports::WriteResult remove(const std::string& path) override;
    ports::WriteResult ensureWritableFolder(const std::string& folder) override;
    void removeStaleTemporaries(const std::string& path) override;

    // Another program's change: new content (or removal) with a new stamp.
    void editExternally(const std::string& path, const std::string& content);
    void removeExternally(const std::string& path);
    bool exists(const std::string& path) const { return files_.count(path) != 0; }
    // The content, or "" for a missing file.
    std::string content(const std::string& path) const;

    // Every later call fails at `step` until cleared with Step::None; `times` limits it.
    void failAt(Step step, int times = -1) {
        failStep = step;
        failTimes = times;
    }

    int replaces = 0;
    int removes = 0;
    int reads = 0;
    int stamps = 0;
    std::vector<std::string> staleCleanups;
    Step failStep = Step::None;
    int failTimes = -1;

private:
    bool failing(Step step);
    struct File {
        std::string content;
        std::uint64_t generation;
    };
    std::map<std::string, File> files_;
    std::uint64_t nextGeneration_ = 1;
};

}  // namespace nms::testing
