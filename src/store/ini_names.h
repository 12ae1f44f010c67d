#pragma once

#include <string>
#include <string_view>

namespace nms::store {

// Names as they stand in the database file. The reader trims them, so a written name is trimmed
// too; a name the station itself uses (printable ASCII, no blank at either end) stands as it is.

// A section's name.
std::string sectionName(std::string_view s);
// A key as it stands in the file; empty when nothing of it can stand there (an empty name, or
// one made only of blanks, "=" and "["), which no operation accepts.
std::string keyName(std::string_view k);
// A key as it is written: as keyName, in capitals.
std::string upperKey(std::string_view k);

}  // namespace nms::store
