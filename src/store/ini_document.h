#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The profile file as text lines: sections of key=value entries, in file order. The reader is
// total (any bytes give a document) and the writer's output reads back as the same document.
namespace nms::store {

struct IniEntry {
    std::string key;    // trimmed; empty together with `raw` for a line that is not an entry
    std::string value;  // everything after the first "=", kept exactly
    bool raw = false;   // a comment or other line kept as it stood, never listed
    std::string rawText;
};

struct IniSection {
    std::string name;
    std::vector<IniEntry> entries;
    std::size_t keyCount() const;
};

// Case-insensitive comparison of names: ASCII and the Latin-1 letters, as the station matches.
bool sameName(std::string_view a, std::string_view b);
// The folded form of a name, used as an index key.
std::string foldName(std::string_view name);

// Text as it may stand in the file: invalid UTF-8 bytes become the Latin-1 character of the same
// code, and every control character (C0, DEL and C1) becomes a blank, so that no value or name
// can open a line, end one or hide in a reader's view of it.
std::string sanitizeText(std::string_view text);

class IniDocument {
public:
    static IniDocument parse(std::string_view text);
    std::string serialize() const;

    const std::vector<IniSection>& sections() const { return sections_; }
    // Lines before the first section header, kept as they stood.
    const std::vector<std::string>& preamble() const { return preamble_; }

    // The first section of that name, or null.
    const IniSection* find(std::string_view section) const;
    const IniEntry* find(std::string_view section, std::string_view key) const;

    // The mutators take names and values as they should stand in the file (already sanitised).
    // Each returns whether the document changed.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    bool removeKey(std::string_view section, std::string_view key);
    bool removeSection(std::string_view section);
    // Renames a key or section in place, keeping its position; the new name must not clash.
    bool renameKeyInPlace(std::string_view section, std::string_view key, std::string_view newKey);
    bool renameSectionInPlace(std::string_view section, std::string_view newSection);
    void clear();

private:
    IniSection* findMutable(std::string_view section);
    void rebuildIndex() const;

    std::vector<std::string> preamble_;
    std::vector<IniSection> sections_;
    // Folded name → index of its first section; rebuilt lazily after a section is removed.
    mutable std::unordered_map<std::string, std::size_t> index_;
    mutable bool indexValid_ = true;
};

}  // namespace nms::store
