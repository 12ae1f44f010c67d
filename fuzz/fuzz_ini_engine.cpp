// The database engine driven by scripts of operations and checked against a plain model of the
// file: ordered sections of ordered key=value entries, names matched without regard to case.
// Names come from a table that says what each one stands as in the file (or that it cannot stand
// there at all); values are any bytes, control characters standing as blanks. After every step
// the engine must read as the model does, and after a flush a fresh engine must read the file
// back as the same model.
#include <optional>

#include "fuzz_support.h"
#include "store/ini_document.h"
#include "store/profile_store.h"
#include "support/memory_file_store.h"
#include "support/virtual_time.h"

namespace {

using nms::fuzz::check;

struct Name {
    const char* given;
    const char* stands;  // as written (keys upper-cased); nullptr: refused
    const char* same;    // the identity the model compares (folded)
};

// Section names as the station passes them, and as they stand.
const Name kSections[] = {
    {"00AA00000001", "00AA00000001", "00aa00000001"},
    {"00aa00000001", "00aa00000001", "00aa00000001"},
    {"001A2B3C4D5E", "001A2B3C4D5E", "001a2b3c4d5e"},
    {"Sec", "Sec", "sec"},
    {" sec ", "sec", "sec"},
    {"a\nb", "a b", "a b"},
    {"[x]", "[x]", "[x]"},
    {"Élan", "Élan", "élan"},
    {"ÉLAN", "ÉLAN", "élan"},
};
const Name kKeys[] = {
    {"name", "NAME", "name"}, {"NAME", "NAME", "name"},
    {"Ip", "IP", "ip"},       {"att", "ATT", "att"},
    {"k=ey", "K EY", "k ey"}, {"[x]", "X]", "x]"},
    {" sn ", "SN", "sn"},     {"straße", "STRAßE", "straße"},
    {"", nullptr, ""},        {"=", nullptr, ""},
    {"[", nullptr, ""},       {"  ", nullptr, ""},
    {"\t=[", nullptr, ""},    {"é", "É", "é"},
};

struct Entry {
    std::string key, same, value;
};
struct Section {
    std::string name, same;
    std::vector<Entry> entries;
};

class Model {
public:
    Section* find(const std::string& same) {
        for (auto& s : sections)
            if (s.same == same) return &s;
        return nullptr;
    }
    Entry* find(const std::string& section, const std::string& key) {
        Section* s = find(section);
        if (!s) return nullptr;
        for (auto& e : s->entries)
            if (e.same == key) return &e;
        return nullptr;
    }
    void set(const Name& sec, const std::string& stands, const std::string& same,
             std::string value) {
        Section* s = find(sec.same);
        if (!s) {
            sections.push_back({sec.stands, sec.same, {}});
            s = &sections.back();
        }
        for (auto& e : s->entries)
            if (e.same == same) return void(e.value = std::move(value));
        s->entries.push_back({stands, same, std::move(value)});
        exists = true;
    }
    std::vector<Section> sections;
    bool exists = true;
};

// Control characters stand as blanks; the rest of the value is kept exactly.
std::string standing(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (auto b : bytes) out.push_back(b < 0x20 || b == 0x7F ? ' ' : static_cast<char>(b));
    return out;
}

constexpr const char* kPath = "/fuzz/nms.ini";

class Script {
public:
    explicit Script(nms::fuzz::Bytes& in) : in_(in) {}

    void run() {
        for (int step = 0; !in_.empty() && step < 300; ++step) {
            op();
            compare(*store_);
        }
        check(store_->flush(), "flush");
        nms::testing::VirtualTime otherTime;
        nms::store::ProfileStore fresh{files_, otherTime};
        compare(fresh);
    }

private:
    const Name& section() { return kSections[in_.pick(std::size(kSections))]; }
    const Name& key() { return kKeys[in_.pick(std::size(kKeys))]; }
    // ASCII only, so that the model needs no UTF-8 rules; control bytes included.
    std::vector<std::uint8_t> value() {
        auto v = in_.take(in_.byte() % 24);
        for (auto& b : v) b &= 0x7F;
        return v;
    }
    std::string given(const std::vector<std::uint8_t>& v) {
        return std::string(v.begin(), v.end());
    }

    void op() {
        auto& s = *store_;
        switch (in_.pick(9)) {
            case 0: {  // WriteToINI
                const Name& sec = section();
                const Name& k = key();
                const auto v = value();
                s.WriteToINI(sec.given, k.given, given(v), kPath);
                if (k.stands) model_.set(sec, k.stands, k.same, standing(v));
                break;
            }
            case 1: {  // DeleteIniKey
                const Name& sec = section();
                const Name& k = key();
                s.DeleteIniKey(sec.given, k.given, kPath);
                if (Section* m = model_.find(sec.same); m && k.stands)
                    std::erase_if(m->entries, [&](const Entry& e) { return e.same == k.same; });
                break;
            }
            case 2: {  // DeleteIniSection
                const Name& sec = section();
                s.DeleteIniSection(sec.given, kPath);
                std::erase_if(model_.sections,
                              [&](const Section& m) { return m.same == sec.same; });
                break;
            }
            case 3: {  // RenameIniKey
                const Name& sec = section();
                const Name& from = key();
                const Name& to = key();
                s.RenameIniKey(sec.given, from.given, to.given, kPath);
                Entry* e = from.stands ? model_.find(sec.same, from.same) : nullptr;
                if (!e || !to.stands) break;
                if (to.same == from.same) {
                    e->key = to.stands;
                } else {
                    const std::string v = e->value;
                    model_.set(sec, to.stands, to.same, v);
                    Section* m = model_.find(sec.same);
                    std::erase_if(m->entries, [&](const Entry& x) { return x.same == from.same; });
                }
                break;
            }
            case 4: {  // RenameIniSection
                const Name& from = section();
                const Name& to = section();
                s.RenameIniSection(from.given, to.given, kPath);
                Section* m = model_.find(from.same);
                if (to.same == from.same) {
                    if (m) m->name = to.stands;
                    break;
                }
                if (!m) break;
                const auto entries = m->entries;
                for (const auto& e : entries) model_.set(to, e.key, e.same, e.value);
                std::erase_if(model_.sections,
                              [&](const Section& x) { return x.same == from.same; });
                break;
            }
            case 5:
                check(s.flush(), "flush");
                break;
            case 6:
                time_.advance(in_.byte());
                break;
            case 7: {  // the file is emptied, as a scan does
                s.deleteFile(kPath);
                s.createEmptyFile(kPath);
                model_.sections.clear();
                break;
            }
            case 8: {  // reads of single keys, against the model
                const Name& sec = section();
                const Name& k = key();
                const Entry* e = k.stands ? model_.find(sec.same, k.same) : nullptr;
                check(s.ReadFromINI(sec.given, k.given, kPath, "\x01") == (e ? e->value : "\x01"),
                      "read");
                check(s.CheckIfIniKeyExists(sec.given, k.given, kPath) == (e != nullptr),
                      "key exists");
                const Section* m = model_.find(sec.same);
                check(s.GetSectionKeyCount(sec.given, kPath) ==
                          (m ? static_cast<int>(m->entries.size()) : 0),
                      "count");
                check(s.CheckIfIniSectionExists(sec.given, kPath) == (m && !m->entries.empty()),
                      "section exists");
                if (!e)
                    check(s.GetLongFromINI(sec.given, k.given, kPath, -7) == -7, "missing number");
                break;
            }
        }
    }

    void compare(nms::store::ProfileStore& s) {
        std::vector<std::string> names;
        s.LoadIniSectionsLB(names, kPath);
        check(names.size() == model_.sections.size(), "section count");
        for (std::size_t i = 0; i < names.size(); ++i) {
            const Section& m = model_.sections[i];
            check(names[i] == m.name, "section names in file order");
            std::vector<std::string> keys;
            s.LoadIniSectionKeysLB(m.name, keys, kPath);
            check(keys.size() == m.entries.size(), "key count");
            for (std::size_t k = 0; k < keys.size(); ++k) {
                check(keys[k] == m.entries[k].key, "keys in file order, as written");
                check(s.ReadFromINI(m.name, keys[k], kPath, "\x01") == m.entries[k].value, "value");
            }
        }
    }

    nms::fuzz::Bytes& in_;
    nms::testing::MemoryFileStore files_;
    nms::testing::VirtualTime time_;
    std::unique_ptr<nms::store::ProfileStore> store_ =
        std::make_unique<nms::store::ProfileStore>(files_, time_);
    Model model_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);
    Script(in).run();
    return 0;
}
