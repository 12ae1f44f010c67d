// The profile-file reader and writer under arbitrary file content and arbitrary values: the
// reader never fails, what the writer writes reads back as the same document, and no value
// written through the engine can change the file's structure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/ini_document.h"
#include "store/profile_store.h"
#include "support/memory_file_store.h"

namespace {

class NoScheduler : public nms::ports::Scheduler {
public:
    TaskId callAfter(std::int64_t, std::function<void()>) override { return 1; }
    void cancel(TaskId) override {}
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::size_t keyCount(const nms::store::IniDocument& d) {
    std::size_t n = 0;
    for (const auto& s : d.sections()) n += s.keyCount();
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Reading is total and writing is a fixed point after one round.
    const auto doc = nms::store::IniDocument::parse(text);
    const std::string once = doc.serialize();
    const auto again = nms::store::IniDocument::parse(once);
    check(again.serialize() == once);
    check(again.sections().size() == doc.sections().size());

    // The engine over the same file: list it, read it, then write a value taken from the input.
    nms::testing::MemoryFileStore files;
    NoScheduler scheduler;
    const std::string path = "/fuzz/nms.ini";
    files.editExternally(path, text);
    nms::store::ProfileStore store{files, scheduler};
    std::vector<std::string> names;
    store.LoadIniSectionsLB(names, path);
    for (const auto& n : names) {
        std::vector<std::string> keys;
        store.LoadIniSectionKeysLB(n, keys, path);
        for (const auto& k : keys) (void)store.ReadFromINI(n, k, path, "");
        (void)store.GetSectionKeyCount(n, path);
        (void)store.GetLongFromINI(n, keys.empty() ? "x" : keys.front(), path, 7);
    }

    const std::string value = text.substr(0, 64);
    const auto before = nms::store::IniDocument::parse(store.fileExists(path) ? files.content(path) : "");
    store.WriteToINI("001A2B3C4D5E", "name", value, path);
    check(store.flush());
    const auto after = nms::store::IniDocument::parse(files.content(path));
    const bool existed = before.find("001A2B3C4D5E") != nullptr;
    check(after.sections().size() == before.sections().size() + (existed ? 0 : 1));
    const bool hadKey = before.find("001A2B3C4D5E", "name") != nullptr;
    check(keyCount(after) == keyCount(before) + (hadKey ? 0 : 1));
    check(store.ReadFromINI("001A2B3C4D5E", "NAME", path, "") == nms::store::sanitizeText(value));
    return 0;
}
