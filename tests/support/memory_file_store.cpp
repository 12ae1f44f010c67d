#include "support/memory_file_store.h"

namespace nms::testing {

bool MemoryFileStore::failing(Step step) {
    if (failStep != step || failTimes == 0) return false;
    if (failTimes > 0 && --failTimes == 0) failStep = Step::None;
    return true;
}

ports::FileStamp MemoryFileStore::stamp(const std::string& path) {
    ++stamps;
    auto it = files_.find(path);
    if (it == files_.end()) return {};
    ports::FileStamp s;
    s.exists = true;
    s.inode = it->second.generation;
    s.mtimeNs = static_cast<std::int64_t>(it->second.generation);
    s.size = static_cast<std::int64_t>(it->second.content.size());
    return s;
}

std::optional<std::string> MemoryFileStore::read(const std::string& path, ports::FileStamp* stampOut) {
    ++reads;
    auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    if (stampOut) *stampOut = stamp(path);
    return it->second.content;
}

ports::BoundedRead MemoryFileStore::readAtMost(const std::string& path, std::size_t maxBytes) {
    ++reads;
    ports::BoundedRead out;
    auto it = files_.find(path);
    if (it == files_.end()) {
        out.error = "No such file or directory";
        return out;
    }
    out.size = static_cast<std::int64_t>(it->second.content.size());
    if (out.size <= static_cast<std::int64_t>(maxBytes)) out.content = it->second.content;
    return out;
}

ports::WriteResult MemoryFileStore::replace(const std::string& path, std::string_view content) {
    ++replaces;
    if (failing(Step::Write)) return {false, "write: " + path + ".tmp: No space left on device"};
    if (failing(Step::Sync)) return {false, "sync: " + path + ".tmp: Input/output error"};
    if (failing(Step::Rename)) return {false, "rename: " + path + ": Permission denied"};
    files_[path] = File{std::string(content), nextGeneration_++};
    return {};
}

ports::WriteResult MemoryFileStore::remove(const std::string& path) {
    ++removes;
    if (failing(Step::Remove)) return {false, "remove: " + path + ": Permission denied"};
    files_.erase(path);
    return {};
}

ports::WriteResult MemoryFileStore::ensureWritableFolder(const std::string& folder) {
    if (failing(Step::Folder)) return {false, "mkdir: " + folder + ": Permission denied"};
    return {};
}

void MemoryFileStore::removeStaleTemporaries(const std::string& path) { staleCleanups.push_back(path); }

void MemoryFileStore::editExternally(const std::string& path, const std::string& content) {
    files_[path] = File{content, nextGeneration_++};
}

void MemoryFileStore::removeExternally(const std::string& path) { files_.erase(path); }

std::string MemoryFileStore::content(const std::string& path) const {
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : it->second.content;
}

}  // namespace nms::testing
