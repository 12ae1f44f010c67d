// A plant backup under arbitrary file content: the reader never fails badly and bounds what a
// file can cost (no input runs it out of memory or stack), and what it accepts it writes back as
// a backup that reads as the same records.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plant/plant_backup.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = nms::plant::readBackup(text);
    if (!read.backup) {
        check(!read.error.empty());
        return 0;
    }
    const auto& first = *read.backup;
    const auto again = nms::plant::readBackup(nms::plant::backupJson(first));
    check(again.backup.has_value());
    check(again.backup->records.size() == first.records.size());
    check(again.backup->settings.size() == first.settings.size());
    for (std::size_t i = 0; i < first.records.size(); ++i) {
        check(again.backup->records[i].key == first.records[i].key);
        check(again.backup->records[i].values == first.records[i].values);
        // Every record accepted is one an element could be given.
        check(!nms::plant::recordValueRefusal(first.records[i].values,
                                              nms::plant::RecordUse::Stored));
    }
    return 0;
}
