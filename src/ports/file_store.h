#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nms::ports {

// Identity of a file's current content, cheap to take: a changed stamp means the file must be
// read again. Two stamps are equal only if the file was not replaced or rewritten in between.
struct FileStamp {
    bool exists = false;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    std::int64_t size = 0;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    bool operator==(const FileStamp&) const = default;
};

// Result of a write. On failure the old file is untouched and `error` says what failed, in the
// words of the system (with the step: "write", "sync", "rename", ...).
struct WriteResult {
    bool ok = true;
    std::string error;
};

// What a bounded read of a file found.
struct BoundedRead {
    std::optional<std::string> content;  // nothing: not read
    std::int64_t size = 0;               // as the file system gave it before the read (0: none)
    std::string error;                   // why it could not be read, in the system's words
};

// Whole-file access for the element database. replace() is atomic: readers see the old content
// or the new one, never a mix, and after it returns successfully the new content is on disk.
class FileStore {
public:
    virtual ~FileStore() = default;
    virtual FileStamp stamp(const std::string& path) = 0;
    // The content and its stamp, or nothing when the file does not exist or cannot be read.
    virtual std::optional<std::string> read(const std::string& path, FileStamp* stampOut) = 0;
    // A file an operator names (a plant backup) rather than the database: at most `maxBytes` of
    // it and one byte more, so that a device or an endless file is never read whole. A file
    // whose size is beyond `maxBytes` is not read at all.
    virtual BoundedRead readAtMost(const std::string& path, std::size_t maxBytes) = 0;
    virtual WriteResult replace(const std::string& path, std::string_view content) = 0;
    // A file made read-only, which replace() refuses: asked before a step that must not be taken
    // unless the replace can follow.
    virtual bool isReadOnly(const std::string& /*path*/) { return false; }
    virtual WriteResult remove(const std::string& path) = 0;
    // Creates the folder (and its parents) if needed; false when it cannot be created or written.
    virtual WriteResult ensureWritableFolder(const std::string& folder) = 0;
    // Removes temporary files that an interrupted replace() of `path` left beside it.
    virtual void removeStaleTemporaries(const std::string& path) = 0;
};

}  // namespace nms::ports
