#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The profile file as text lines: sections of key=value entries, in file order. The reader is
// total (any bytes give a document) and the writer's output reads back as the same document.
namespace nms::store {

// One line of a section. The key and the value are held as one text, the key's characters
// followed by the value's: a database of ten thousand records holds some two hundred thousand
// entries, and most lines of a record are short enough to need no allocation of their own.
struct IniEntry {
private:
    std::string text_;
    std::uint32_t keySize_ = 0;

public:
    bool raw = false;      // a comment or other line kept as it stood, never listed
    bool touched = false;  // written by us since the last save

    IniEntry() = default;
    IniEntry(std::string_view key, std::string_view value, bool touch = false)
        : text_(key), keySize_(static_cast<std::uint32_t>(key.size())), touched(touch) {
        text_ += value;
    }
    static IniEntry rawLine(std::string_view line) {
        IniEntry e({}, line);
        e.raw = true;
        return e;
    }
    // Trimmed, never empty; empty for a raw line.
    std::string_view key() const { return std::string_view(text_).substr(0, keySize_); }
    // Everything after the first "=", kept exactly; the whole line when raw.
    std::string_view value() const { return std::string_view(text_).substr(keySize_); }
    void setKey(std::string_view key) {
        text_.replace(0, keySize_, key);
        keySize_ = static_cast<std::uint32_t>(key.size());
    }
    void setValue(std::string_view value) { text_.replace(keySize_, std::string::npos, value); }
};

struct IniSection {
    std::string name;
    std::vector<IniEntry> entries;
    bool touched = false;  // holds a touched entry
    // An earlier section has the same name (only the first is ever found). Kept by the document's
    // index, which is rebuilt after a section is renamed or removed.
    mutable bool shadowed = false;
    std::size_t keyCount() const;
};

bool sameNameSlow(std::string_view a, std::string_view b);

// Case-insensitive comparison of names: ASCII and the Latin-1 letters, as the station matches.
// Inline, because a record's keys are compared with it on every read and write.
inline bool sameName(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca == cb) {
            if (ca >= 0x80) return sameNameSlow(a, b);
            continue;
        }
        if ((ca | cb) >= 0x80) return sameNameSlow(a, b);
        if ((ca | 0x20) != (cb | 0x20) || (ca | 0x20) < 'a' || (ca | 0x20) > 'z') return false;
    }
    // One is a prefix of the other; what remains of the longer one cannot fold to nothing.
    return a.size() == b.size();
}
// The folded form of a name.
std::string foldName(std::string_view name);

// Hashing and equality of names without regard to case, for lookups by std::string_view.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return sameName(a, b); }
};

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
    // Each returns whether the document changed; an empty key name changes nothing. `touch` marks the entry as ours to keep when
    // the file is merged with another program's version of it.
    bool set(std::string_view section, std::string key, std::string value, bool touch = false);
    bool removeKey(std::string_view section, std::string_view key);
    bool removeSection(std::string_view section);
    // Renames a key or section in place, keeping its position; the new name must not clash.
    bool renameKeyInPlace(std::string_view section, std::string_view key, std::string_view newKey);
    bool renameSectionInPlace(std::string_view section, std::string_view newSection);
    void clear();
    // Sets every touched entry of `other` here, marked touched, in the order of `other`.
    void applyTouchedFrom(const IniDocument& other);
    void clearTouched();

private:
    IniSection* findMutable(std::string_view section);
    void rebuildIndex() const;

    std::vector<std::string> preamble_;
    std::vector<IniSection> sections_;
    // Name → position of the first section of that name, without an allocation or a copy of the
    // name per section (a database holds thousands): open addressing over positions, the names
    // read from the sections themselves.
    class SectionIndex {
    public:
        void clear() {
            slots_.clear();
            used_ = 0;
        }
        void reserve(std::size_t names, const std::vector<IniSection>& sections);
        // Adds `position` unless its name is there already; whether it was added.
        bool insert(std::size_t position, const std::vector<IniSection>& sections);
        // The position, or npos.
        std::size_t find(std::string_view name, const std::vector<IniSection>& sections) const;

    private:
        void grow(std::size_t slots, const std::vector<IniSection>& sections);
        std::vector<std::uint32_t> slots_;  // position + 1; 0 is an empty slot
        std::size_t used_ = 0;
    };

    // Rebuilt lazily after a section is removed or renamed.
    mutable SectionIndex index_;
    mutable bool indexValid_ = true;
    // The section found last: a record is read or written key after key.
    mutable std::size_t last_ = static_cast<std::size_t>(-1);
};

}  // namespace nms::store
