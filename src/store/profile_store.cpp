#include "store/profile_store.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>
#include <unordered_map>

#include "store/ini_document.h"
#include "store/ini_names.h"

namespace nms::store {
namespace {

// The longest a burst of writes waits before it reaches the file.
constexpr std::int64_t kFlushDelayMs = 50;

// A change other than setting a value. Values set since the last save are marked in the model
// itself (IniEntry::touched), which keeps a burst of writes cheap; these rarer changes are kept
// in order, so that both can be applied again to a file another program changed meanwhile.
struct Op {
    enum class Kind { RemoveKey, RemoveSection, RenameKey, RenameSection };
    Kind kind;
    std::string section;
    std::string key;    // also the new section name of RenameSection
    std::string value;  // the new key name of RenameKey
};

bool apply(IniDocument& doc, const Op& op) {
    switch (op.kind) {
        case Op::Kind::RemoveKey: return doc.removeKey(op.section, op.key);
        case Op::Kind::RemoveSection: return doc.removeSection(op.section);
        case Op::Kind::RenameKey: return doc.renameKeyInPlace(op.section, op.key, op.value);
        case Op::Kind::RenameSection: return doc.renameSectionInPlace(op.section, op.key);
    }
    return false;
}

struct FileState {
    IniDocument doc;         // the file as it should be: the disk's content with our changes
    bool exists = false;     // whether the file should exist
    bool loaded = false;
    ports::FileStamp disk;   // stamp of the content `doc` was read from or last written as
    bool dirty = false;      // changes are waiting to be saved
    bool anySet = false;     // a value was set since the last save (so the file must exist)
    bool reset = false;      // the file was deleted or emptied since the last save: the disk's
                             // content no longer matters
    std::vector<Op> ops;     // changes other than sets since the last save, in order
    bool failing = false;    // the last save failed and was reported
    std::uint64_t checkedTurn = 0;  // the turn in which the disk was last checked (0: none)
};

}  // namespace

struct ProfileStore::Impl {
    ProfileStore& owner;
    ports::FileStore& files;
    ports::Scheduler& scheduler;
    std::unordered_map<std::string, FileState> states;
    std::optional<ports::Scheduler::TaskId> flushTask;
    FileState* lastState = nullptr;  // unordered_map nodes never move
    std::string lastPath;
    const ports::EventGate* gate = nullptr;
    int readTurnDepth = 0;
    std::uint64_t readTurns = 0;  // read turns opened so far
    std::unordered_map<std::string, std::future<ReadAhead>> ahead;

    Impl(ProfileStore& o, ports::FileStore& f, ports::Scheduler& s) : owner(o), files(f), scheduler(s) {}

    void reload(FileState& st, const std::string& path) {
        ReadAhead got = readAhead(path);
        auto& content = got.content;
        IniDocument fresh = std::move(got.doc);
        st.disk = content ? got.stamp : ports::FileStamp{};
        st.loaded = true;
        // Our own changes that have not reached the file yet go on top of what is there now.
        for (const auto& op : st.ops) apply(fresh, op);
        fresh.applyTouchedFrom(st.doc);
        st.doc = std::move(fresh);
        st.exists = content.has_value() || st.anySet;
    }

    // The file as it stands: what was read ahead when it is still current, or read now.
    ReadAhead readAhead(const std::string& path) {
        if (auto it = ahead.find(path); it != ahead.end()) {
            std::future<ReadAhead> pending = std::move(it->second);
            ahead.erase(it);
            if (pending.valid()) {
                try {
                    ReadAhead got = pending.get();
                    const ports::FileStamp now = files.stamp(path);
                    if (got.content ? got.stamp == now : !now.exists) return got;
                } catch (const std::exception&) {
                    // A read-ahead that failed (out of memory on its thread) is only a lost head start.
                }
            }
        }
        return ProfileStore::readAndParse(files, path);
    }

    // Brings the model up to date with the disk, unless our own emptying of the file since the
    // last save makes the disk's content moot.
    void refresh(FileState& st, const std::string& path, const ports::FileStamp& now) {
        if (now == st.disk) return;
        if (st.reset) return;
        reload(st, path);
    }

    // The turn reads are made in: the gate's event (even numbers), else the open read turn (odd
    // numbers), else none (0), in which every read checks.
    std::uint64_t turnNow() const {
        if (gate && gate->busy()) return gate->turn() * 2;
        if (readTurnDepth > 0) return readTurns * 2 + 1;
        return 0;
    }

    // The model of a file. With `checkDisk`, a file that changed since it was read is read again.
    FileState& state(const std::string& path, bool checkDisk) {
        FileState& st = find(path);
        const std::uint64_t turn = turnNow();
        if (!st.loaded) {
            files.removeStaleTemporaries(path);
            reload(st, path);
            st.checkedTurn = turn;
        } else if (checkDisk) {
            // Within one turn the file was checked already.
            if (turn != 0 && st.checkedTurn == turn) return st;
            refresh(st, path, files.stamp(path));
            st.checkedTurn = turn;
        }
        return st;
    }

    // The state of a path; the station uses one path, so the last one is remembered.
    FileState& find(const std::string& path) {
        if (lastState && lastPath == path) return *lastState;
        lastState = &states[path];
        lastPath = path;
        return *lastState;
    }

    FileState& current(const std::string& path) { return state(path, true); }

    // A clean model is checked against the disk first, so that a change is judged against the
    // file as it stands; while changes are pending the save reconciles instead.
    FileState& forChange(const std::string& path) {
        const FileState& known = find(path);
        return state(path, !known.loaded || !known.dirty);
    }

    void set(const std::string& path, const std::string& section, std::string key, std::string value) {
        FileState& st = forChange(path);
        if (!st.dirty && st.exists) {
            const IniEntry* e = st.doc.find(section, key);
            if (e && e->value() == value) return;  // nothing to save
        }
        st.doc.set(section, std::move(key), std::move(value), true);
        st.exists = true;
        st.anySet = true;
        changed(st);
    }

    // An empty key never names an entry, whatever the file holds.
    static const IniEntry* findKey(const FileState& st, std::string_view section, std::string_view key) {
        if (key.empty()) return nullptr;
        return st.doc.find(section, key);
    }

    void structural(const std::string& path, Op op) {
        FileState& st = forChange(path);
        if (!apply(st.doc, op) && !st.dirty) return;
        st.ops.push_back(std::move(op));
        changed(st);
    }

    void resetFile(const std::string& path, bool exists) {
        FileState& st = forChange(path);
        const bool empty = st.doc.sections().empty() && st.doc.preamble().empty();
        if (!st.dirty && st.exists == exists && (empty || !exists)) return;
        st.doc.clear();
        st.exists = exists;
        // Whatever came before is replaced.
        st.ops.clear();
        st.anySet = false;
        st.reset = true;
        changed(st);
    }

    void changed(FileState& st) {
        st.dirty = true;
        if (!flushTask) flushTask = scheduler.callAfter(kFlushDelayMs, [this] {
            flushTask.reset();
            flushAll(true);
        });
    }

    bool save(const std::string& path, FileState& st, bool report) {
        const ports::FileStamp now = files.stamp(path);
        refresh(st, path, now);
        ports::WriteResult r;
        if (st.exists) r = files.replace(path, st.doc.serialize());
        else if (now.exists) r = files.remove(path);
        if (!r.ok) {
            // Marked before it is reported: the report may show a message box, whose flush
            // comes back here.
            const bool firstFailure = !st.failing;
            st.failing = true;
            if (report && firstFailure && owner.onWriteFailed) owner.onWriteFailed(path, r.error);
            return false;
        }
        st.doc.clearTouched();
        st.ops.clear();
        st.dirty = st.anySet = st.reset = st.failing = false;
        st.disk = files.stamp(path);
        return true;
    }

    bool flushAll(bool report) {
        if (flushTask) {
            scheduler.cancel(*flushTask);
            flushTask.reset();
        }
        bool ok = true;
        for (auto& [path, st] : states)
            if (st.dirty) ok = save(path, st, report) && ok;
        return ok;
    }
};

ProfileStore::ProfileStore(ports::FileStore& files, ports::Scheduler& scheduler)
    : impl_(std::make_unique<Impl>(*this, files, scheduler)) {}

void ProfileStore::followEvents(const ports::EventGate& gate) { impl_->gate = &gate; }

ProfileStore::ReadTurn::ReadTurn(ProfileStore& store) : store_(store) {
    if (store_.impl_->readTurnDepth++ == 0) ++store_.impl_->readTurns;
}

ProfileStore::ReadTurn::~ReadTurn() { --store_.impl_->readTurnDepth; }

void ProfileStore::readAhead(const std::string& path, std::future<ReadAhead> ahead) {
    impl_->ahead[path] = std::move(ahead);
}

ProfileStore::ReadAhead ProfileStore::readAndParse(ports::FileStore& files, const std::string& path) {
    ReadAhead got;
    got.content = files.read(path, &got.stamp);
    if (got.content) {
        got.doc = IniDocument::parse(*got.content);
        // The text itself is not needed once parsed; a large one is let go at once.
        std::string().swap(*got.content);
    }
    return got;
}

ProfileStore::~ProfileStore() {
    // The owner may be half gone by now, so a failure here is not reported.
    impl_->flushAll(false);
}

std::string ProfileStore::ReadFromINI(const std::string& strSection, const std::string& strkey,
                                      const std::string& strfullpath, const std::string& strDefault) {
    const FileState& st = impl_->current(strfullpath);
    // Keys are matched without regard to case, so the lookup needs no lower-cased copy.
    const IniEntry* e = impl_->findKey(st, sectionName(strSection), keyName(strkey));
    return e ? std::string(e->value()) : strDefault;
}

void ProfileStore::WriteToINI(const std::string& strSection, const std::string& strkey,
                              const std::string& strkeyvalue, const std::string& strfullpath) {
    std::string key = upperKey(strkey);
    // A line "=value" would read back as no key at all.
    if (key.empty()) return;
    impl_->set(strfullpath, sectionName(strSection), std::move(key), sanitizeText(strkeyvalue));
}

void ProfileStore::LoadIniSectionsLB(std::vector<std::string>& lstB, const std::string& strfullpath) {
    const FileState& st = impl_->current(strfullpath);
    lstB.reserve(lstB.size() + st.doc.sections().size());
    for (const auto& s : st.doc.sections())
        if (!s.name.empty()) lstB.push_back(s.name);
}

std::int16_t ProfileStore::GetSectionKeyCount(const std::string& strSection, const std::string& strfullpath) {
    const IniSection* s = impl_->current(strfullpath).doc.find(sectionName(strSection));
    if (!s) return 0;
    return static_cast<std::int16_t>(
        std::min<std::size_t>(s->keyCount(), static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())));
}

void ProfileStore::DeleteIniSection(const std::string& strSection, const std::string& strfullpath) {
    impl_->structural(strfullpath, Op{Op::Kind::RemoveSection, sectionName(strSection), {}, {}});
}

void ProfileStore::DeleteIniKey(const std::string& strSection, const std::string& strKeyname,
                                const std::string& strfullpath) {
    std::string key = keyName(strKeyname);
    if (key.empty()) return;
    impl_->structural(strfullpath, Op{Op::Kind::RemoveKey, sectionName(strSection), std::move(key), {}});
}

bool ProfileStore::CheckIfIniKeyExists(const std::string& strSection, const std::string& strKeyname,
                                       const std::string& strfullpath) {
    const FileState& st = impl_->current(strfullpath);
    return impl_->findKey(st, sectionName(strSection), keyName(strKeyname)) != nullptr;
}

bool ProfileStore::CheckIfIniSectionExists(const std::string& strSection, const std::string& strfullpath) {
    // A section without entries counts as missing, as the station has always judged it.
    const IniSection* s = impl_->current(strfullpath).doc.find(sectionName(strSection));
    return s && s->keyCount() > 0;
}

std::int32_t ProfileStore::GetLongFromINI(const std::string& strSection, const std::string& strKeyname,
                                          const std::string& strfullpath, std::int32_t lngDefault) {
    const FileState& st = impl_->current(strfullpath);
    const IniEntry* e = impl_->findKey(st, sectionName(strSection), keyName(strKeyname));
    if (!e) return lngDefault;
    // Leading blanks, an optional sign and the leading decimal digits; text without digits gives
    // the default, and a number beyond 32 bits is held at the nearest limit.
    const std::string_view v = e->value();
    std::size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    const std::size_t digitsFrom = i;
    long long n = 0;
    constexpr long long kLimit = static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = std::min(kLimit, n * 10 + (v[i] - '0'));
    if (i == digitsFrom) return lngDefault;
    if (negative) n = -n;
    return static_cast<std::int32_t>(std::clamp<long long>(n, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max()));
}

void ProfileStore::RenameIniKey(const std::string& strSection, const std::string& strKeyname,
                                const std::string& strNewKeyname, const std::string& strfullpath) {
    if (!CheckIfIniKeyExists(strSection, strKeyname, strfullpath)) return;
    // A new name that cannot be written would leave the value nowhere once the old key is gone.
    if (keyName(strNewKeyname).empty()) return;
    if (sameName(keyName(strKeyname), keyName(strNewKeyname))) {
        // Writing the new name and deleting the old one would delete the key itself.
        impl_->structural(strfullpath, Op{Op::Kind::RenameKey, sectionName(strSection), keyName(strKeyname),
                                      upperKey(strNewKeyname)});
        return;
    }
    const std::string value = ReadFromINI(strSection, strKeyname, strfullpath, "");
    WriteToINI(strSection, strNewKeyname, value, strfullpath);
    DeleteIniKey(strSection, strKeyname, strfullpath);
}

void ProfileStore::RenameIniSection(const std::string& strSection, const std::string& strNewSection,
                                    const std::string& strfullpath) {
    const std::string from = sectionName(strSection);
    const std::string to = sectionName(strNewSection);
    if (sameName(from, to)) {
        // Copying into itself and then deleting would lose the whole section.
        impl_->structural(strfullpath, Op{Op::Kind::RenameSection, from, to, {}});
        return;
    }
    const IniSection* s = impl_->current(strfullpath).doc.find(from);
    std::vector<std::pair<std::string, std::string>> entries;
    if (s)
        for (const auto& e : s->entries)
            if (!e.raw) entries.emplace_back(e.key(), e.value());
    // Each value is copied whole, "=" signs included.
    for (const auto& [k, v] : entries) WriteToINI(to, k, v, strfullpath);
    DeleteIniSection(from, strfullpath);
}

void ProfileStore::LoadIniSectionKeysLB(const std::string& strSection, std::vector<std::string>& lstB,
                                        const std::string& strfullpath) {
    const IniSection* s = impl_->current(strfullpath).doc.find(sectionName(strSection));
    if (!s) return;
    lstB.reserve(lstB.size() + s->entries.size());
    for (const auto& e : s->entries)
        if (!e.raw) lstB.emplace_back(e.key());
}

void ProfileStore::forEachKey(const std::string& section, const std::string& path,
                              const std::function<bool(std::string_view, std::string_view)>& visit) {
    const IniSection* s = impl_->current(path).doc.find(sectionName(section));
    if (!s) return;
    const auto& entries = s->entries;
    // A key given twice reads as its first line, as a lookup finds it. Keys seen so far are
    // marked by length and folded first and last letters, so that the earlier lines are
    // searched only for a key that may repeat one (a record rarely has one).
    auto mark = [](std::string_view key) {
        const unsigned first = static_cast<unsigned char>(key.front()) | 0x20u;
        const unsigned last = static_cast<unsigned char>(key.back()) | 0x20u;
        return std::uint64_t{1} << ((key.size() * 7 + first * 3 + last) % 64);
    };
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].raw) continue;
        const std::string_view key = entries[i].key();
        std::string_view value = entries[i].value();
        const std::uint64_t m = mark(key);
        if (seen & m) {
            for (std::size_t j = 0; j < i; ++j)
                if (!entries[j].raw && sameName(entries[j].key(), key)) {
                    value = entries[j].value();
                    break;
                }
        }
        seen |= m;
        if (!visit(key, value)) return;
    }
}

bool ProfileStore::fileExists(const std::string& path) { return impl_->current(path).exists; }

void ProfileStore::deleteFile(const std::string& path) { impl_->resetFile(path, false); }

void ProfileStore::createEmptyFile(const std::string& path) { impl_->resetFile(path, true); }

bool ProfileStore::flush() { return impl_->flushAll(true); }

bool ProfileStore::snapshot(const std::string& path, std::optional<std::string>& content) {
    impl_->flushAll(true);
    ports::FileStamp stamp;
    content = impl_->files.read(path, &stamp);
    return content.has_value() || !impl_->files.stamp(path).exists;
}

bool ProfileStore::isReadOnly(const std::string& path) { return impl_->files.isReadOnly(path); }

ports::FileStore& ProfileStore::files() { return impl_->files; }

ports::WriteResult ProfileStore::replaceFile(const std::string& path, const std::optional<std::string>& content) {
    auto& files = impl_->files;
    ports::WriteResult r;
    if (content) r = files.replace(path, *content);
    else if (files.stamp(path).exists) r = files.remove(path);
    // The model is read again from the new file at its next use.
    if (r.ok) impl_->find(path) = FileState{};
    return r;
}

}  // namespace nms::store
