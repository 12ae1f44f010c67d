#include "store/ini_document.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "protocol/text.h"

namespace nms::store {
namespace {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool isControl(std::uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

}  // namespace

std::size_t IniSection::keyCount() const {
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const IniEntry& e) { return !e.raw; }));
}

bool sameNameSlow(std::string_view a, std::string_view b) {
    return protocol::text::toLower(a) == protocol::text::toLower(b);
}

std::size_t NameHash::operator()(std::string_view name) const {
    std::string folded;
    if (!isAscii(name)) {
        folded = protocol::text::toLower(name);
        name = folded;
    }
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (char c : name) {
        h ^= static_cast<unsigned char>(foldAscii(c));
        h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
}

std::string foldName(std::string_view name) {
    if (isAscii(name)) {
        std::string out(name);
        for (auto& c : out) c = foldAscii(c);
        return out;
    }
    return protocol::text::toLower(name);
}

std::string sanitizeText(std::string_view text) {
    // The common case, plain printable ASCII, is copied as it stands.
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7F;
    });
    if (plain) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t cp = protocol::text::nextCodePoint(text, i);
        protocol::text::appendCodePoint(out, isControl(cp) ? ' ' : cp);
    }
    return out;
}

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument doc;
    // Sized once from a count of the lines that may open a section: a database of thousands of
    // records would otherwise grow the section list and its index step by step.
    std::size_t headers = 0;
    for (std::size_t at = text.find('['); at != std::string_view::npos; at = text.find('[', at + 1))
        if (at == 0 || text[at - 1] == '\n') ++headers;
    doc.sections_.reserve(headers);
    doc.index_.reserve(headers, doc.sections_);
    IniSection* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        // CRLF files, and stray CRs before the LF, which could not be written back as they stood.
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        const std::string_view body = trimBlanks(line);
        if (!body.empty() && body.front() == '[') {
            const auto close = body.rfind(']');
            if (close != std::string_view::npos) {
                IniSection s;
                s.name = std::string(trimBlanks(body.substr(1, close - 1)));
                // Room for the lines up to the next section header (within a few kilobytes):
                // a record read whole takes no more than it holds.
                const std::string_view ahead = text.substr(std::min(pos, text.size()), 4096);
                if (!ahead.empty() && ahead.front() != '[') {
                    const std::size_t end = std::min(ahead.find("\n["), ahead.size());
                    const auto lines = std::count(
                        ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(end), '\n');
                    s.entries.reserve(static_cast<std::size_t>(lines) +
                                      (end < ahead.size() || ahead.back() != '\n'));
                }
                doc.sections_.push_back(std::move(s));
                doc.sections_.back().shadowed = !doc.index_.insert(doc.sections_.size() - 1, doc.sections_);
                current = &doc.sections_.back();
                continue;
            }
        }
        if (!current) {
            doc.preamble_.emplace_back(line);
            continue;
        }
        const auto eq = body.find('=');
        // A line without a key name ("=value") names no entry: it is kept as it stood, like a
        // comment, so that no operation ever sees a key without a name.
        if (eq == std::string_view::npos || trimBlanks(body.substr(0, eq)).empty()) {
            current->entries.push_back(IniEntry::rawLine(line));
        } else {
            // The value is kept exactly, trailing blanks included: element names are padded.
            const auto lineEq = line.find('=');
            current->entries.emplace_back(trimBlanks(body.substr(0, eq)), line.substr(lineEq + 1));
        }
    }
    return doc;
}

std::string IniDocument::serialize() const {
    std::size_t size = 0;
    for (const auto& l : preamble_) size += l.size() + 1;
    for (const auto& s : sections_) {
        size += s.name.size() + 3;
        for (const auto& e : s.entries) size += e.key().size() + e.value().size() + 2;
    }
    std::string out;
    out.reserve(size);
    for (const auto& l : preamble_) {
        out += l;
        out += '\n';
    }
    for (const auto& s : sections_) {
        out += '[';
        out += s.name;
        out += "]\n";
        for (const auto& e : s.entries) {
            if (!e.raw) {
                out += e.key();
                out += '=';
            }
            out += e.value();
            out += '\n';
        }
    }
    return out;
}

void IniDocument::SectionIndex::grow(std::size_t slots, const std::vector<IniSection>& sections) {
    std::vector<std::uint32_t> old = std::move(slots_);
    slots_.assign(slots, 0);
    const std::size_t mask = slots - 1;
    for (std::uint32_t entry : old) {
        if (entry == 0) continue;
        std::size_t at = NameHash{}(sections[entry - 1].name) & mask;
        while (slots_[at] != 0) at = (at + 1) & mask;
        slots_[at] = entry;
    }
}

void IniDocument::SectionIndex::reserve(std::size_t names, const std::vector<IniSection>& sections) {
    std::size_t slots = 16;
    while (slots < names * 2) slots *= 2;
    if (slots > slots_.size()) grow(slots, sections);
}

bool IniDocument::SectionIndex::insert(std::size_t position, const std::vector<IniSection>& sections) {
    // At most half full, so that a search meets an empty slot soon.
    if ((used_ + 1) * 2 > slots_.size()) grow(std::max<std::size_t>(16, slots_.size() * 2), sections);
    const std::string_view name = sections[position].name;
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = NameHash{}(name) & mask;
    for (; slots_[at] != 0; at = (at + 1) & mask)
        if (sameName(sections[slots_[at] - 1].name, name)) return false;
    slots_[at] = static_cast<std::uint32_t>(position + 1);
    ++used_;
    return true;
}

std::size_t IniDocument::SectionIndex::find(std::string_view name, const std::vector<IniSection>& sections) const {
    if (slots_.empty()) return std::string_view::npos;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = NameHash{}(name) & mask; slots_[at] != 0; at = (at + 1) & mask)
        if (sameName(sections[slots_[at] - 1].name, name)) return slots_[at] - 1;
    return std::string_view::npos;
}

void IniDocument::rebuildIndex() const {
    index_.clear();
    index_.reserve(sections_.size(), sections_);
    for (std::size_t i = 0; i < sections_.size(); ++i) sections_[i].shadowed = !index_.insert(i, sections_);
    indexValid_ = true;
}

const IniSection* IniDocument::find(std::string_view section) const {
    if (!indexValid_) rebuildIndex();
    if (last_ < sections_.size() && sameName(sections_[last_].name, section)) return &sections_[last_];
    // Records are often read in file order (a tree rebuild): the next section, before the index.
    if (last_ + 1 < sections_.size() && !sections_[last_ + 1].shadowed &&
        sameName(sections_[last_ + 1].name, section))
        return &sections_[++last_];
    const std::size_t at = index_.find(section, sections_);
    if (at == std::string_view::npos) return nullptr;
    last_ = at;
    return &sections_[at];
}

IniSection* IniDocument::findMutable(std::string_view section) {
    return const_cast<IniSection*>(static_cast<const IniDocument*>(this)->find(section));
}

const IniEntry* IniDocument::find(std::string_view section, std::string_view key) const {
    const IniSection* s = find(section);
    if (!s) return nullptr;
    for (const auto& e : s->entries)
        if (!e.raw && sameName(e.key(), key)) return &e;
    return nullptr;
}

bool IniDocument::set(std::string_view section, std::string key, std::string value, bool touch) {
    if (key.empty()) return false;
    IniSection* s = findMutable(section);
    if (!s) {
        IniSection fresh;
        fresh.name = std::string(section);
        fresh.touched = touch;
        fresh.entries.reserve(24);  // a whole record follows, key after key
        fresh.entries.emplace_back(key, value, touch);
        if (!indexValid_) rebuildIndex();
        sections_.push_back(std::move(fresh));
        index_.insert(sections_.size() - 1, sections_);
        return true;
    }
    s->touched |= touch;
    for (auto& e : s->entries) {
        if (!e.raw && sameName(e.key(), key)) {
            e.touched |= touch;
            if (e.value() == value) return false;
            e.setValue(value);
            return true;
        }
    }
    // A new key goes after the section's last entry, before any blank or comment lines that
    // separate it from the next section.
    auto at = s->entries.end();
    while (at != s->entries.begin() && std::prev(at)->raw) --at;
    s->entries.insert(at, IniEntry(key, value, touch));
    return true;
}

bool IniDocument::removeKey(std::string_view section, std::string_view key) {
    IniSection* s = findMutable(section);
    if (!s) return false;
    const auto before = s->entries.size();
    std::erase_if(s->entries, [&](const IniEntry& e) { return !e.raw && sameName(e.key(), key); });
    return s->entries.size() != before;
}

bool IniDocument::removeSection(std::string_view section) {
    const auto before = sections_.size();
    std::erase_if(sections_, [&](const IniSection& s) { return sameName(s.name, section); });
    if (sections_.size() == before) return false;
    indexValid_ = false;
    last_ = static_cast<std::size_t>(-1);
    return true;
}

bool IniDocument::renameKeyInPlace(std::string_view section, std::string_view key, std::string_view newKey) {
    IniSection* s = findMutable(section);
    if (!s) return false;
    for (auto& e : s->entries) {
        if (!e.raw && sameName(e.key(), key)) {
            if (e.key() == newKey) return false;
            e.setKey(newKey);
            return true;
        }
    }
    return false;
}

bool IniDocument::renameSectionInPlace(std::string_view section, std::string_view newSection) {
    IniSection* s = findMutable(section);
    if (!s || s->name == newSection) return false;
    s->name = std::string(newSection);
    indexValid_ = false;
    return true;
}

void IniDocument::applyTouchedFrom(const IniDocument& other) {
    for (const auto& s : other.sections_) {
        if (!s.touched) continue;
        for (const auto& e : s.entries)
            if (e.touched) set(s.name, std::string(e.key()), std::string(e.value()), true);
    }
}

void IniDocument::clearTouched() {
    for (auto& s : sections_) {
        if (!s.touched) continue;
        s.touched = false;
        for (auto& e : s.entries) e.touched = false;
    }
}

void IniDocument::clear() {
    preamble_.clear();
    sections_.clear();
    index_.clear();
    indexValid_ = true;
    last_ = static_cast<std::size_t>(-1);
}

}  // namespace nms::store
