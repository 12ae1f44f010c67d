#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/event_gate.h"
#include "ports/file_store.h"
#include "ports/scheduler.h"
#include "store/ini_document.h"

namespace nms::store {

// The element database engine: reads and writes the profile file (`nms.ini`) with the semantics
// the station relies on. Section and key names match without regard to case; keys are written
// upper-cased; a write replaces a value in place, appends a new key at the end of its section
// and a new section at the end of the file; sections come back in file order.
//
// Every read sees the latest write, including a change another program made to the file. Writes
// are gathered briefly and reach the file atomically within about 100 ms, or at once on flush();
// the station flushes before it shows any message box and before it ends.
//
// Following the station's events (followEvents), the file is checked for another program's
// change once per event rather than on every read: one event (a tree rebuild of thousands of
// reads) then reads one version of the file, and pays for one check. Work done outside any event
// (a command's listing, the window drawing its rows) opens a ReadTurn for the same. Saves always
// check.
class ProfileStore {
public:
    ProfileStore(ports::FileStore& files, ports::Scheduler& scheduler);
    // From now on, reads made while `gate` runs a handler check the disk once per event. The gate
    // must outlive the store.
    void followEvents(const ports::EventGate& gate);

    // While one is open, reads made outside the gate's events check the disk once: the first read
    // sees the file as it stands, the later ones the same version, whatever another program does
    // meanwhile. The next turn (or a read outside any) checks again, so a turn must end before
    // its owner waits on anything. Turns nest; the outermost one counts. Reads outside any event
    // and any turn check every time.
    class ReadTurn {
    public:
        explicit ReadTurn(ProfileStore& store);
        ~ReadTurn();
        ReadTurn(const ReadTurn&) = delete;
        ReadTurn& operator=(const ReadTurn&) = delete;

    private:
        ProfileStore& store_;
    };
    ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    std::string ReadFromINI(const std::string& strSection, const std::string& strkey,
                            const std::string& strfullpath, const std::string& strDefault);
    void WriteToINI(const std::string& strSection, const std::string& strkey, const std::string& strkeyvalue,
                    const std::string& strfullpath);
    // Appends the section names, in file order, to lstB (not cleared first).
    void LoadIniSectionsLB(std::vector<std::string>& lstB, const std::string& strfullpath);
    std::int16_t GetSectionKeyCount(const std::string& strSection, const std::string& strfullpath);
    void DeleteIniSection(const std::string& strSection, const std::string& strfullpath);
    void DeleteIniKey(const std::string& strSection, const std::string& strKeyname, const std::string& strfullpath);
    bool CheckIfIniKeyExists(const std::string& strSection, const std::string& strKeyname,
                             const std::string& strfullpath);
    bool CheckIfIniSectionExists(const std::string& strSection, const std::string& strfullpath);
    std::int32_t GetLongFromINI(const std::string& strSection, const std::string& strKeyname,
                                const std::string& strfullpath, std::int32_t lngDefault);
    void RenameIniKey(const std::string& strSection, const std::string& strKeyname,
                      const std::string& strNewKeyname, const std::string& strfullpath);
    void RenameIniSection(const std::string& strSection, const std::string& strNewSection,
                          const std::string& strfullpath);
    // Every key of a section in file order, each with the value ReadFromINI gives it (the first
    // of its name), without a copy of either, until `visit` returns false: a listing of
    // thousands of records reads each record once instead of looking each key up. Nothing for a
    // section that is not there.
    void forEachKey(const std::string& section, const std::string& path,
                    const std::function<bool(std::string_view key, std::string_view value)>& visit);
    // Appends the key names of a section, in file order, to lstB.
    void LoadIniSectionKeysLB(const std::string& strSection, std::vector<std::string>& lstB,
                              const std::string& strfullpath);

    // Whole-file operations used by the paging scan.
    bool fileExists(const std::string& path);
    void deleteFile(const std::string& path);
    void createEmptyFile(const std::string& path);
    // The file's bytes as they stand on disk once its pending changes are written (nothing: no
    // file). False when the file exists but cannot be read.
    bool snapshot(const std::string& path, std::optional<std::string>& content);
    // Puts exactly `content` in the file (nothing: removes it), atomically and at once; changes
    // not written yet are dropped, and the next read sees the new file. On failure the file is
    // as it was and nothing is reported: the caller says it in its own words.
    ports::WriteResult replaceFile(const std::string& path, const std::optional<std::string>& content);
    bool isReadOnly(const std::string& path);
    // The file store it works through, for the plant's other files (a backup named by hand).
    ports::FileStore& files();

    // Writes every pending change now. Returns false when the file could not be written; the
    // failure is also reported once through onWriteFailed.
    bool flush();
    // Called with the path and the system's words when a save fails. The station shows it once.
    std::function<void(const std::string& path, const std::string& error)> onWriteFailed;

    // A file read and parsed ahead of its first use, on another thread while the station builds
    // its window: a database of thousands of elements takes as long to parse as the window takes
    // to build. The first use of `path` waits for it and takes it only if the file's stamp is
    // still the one it was read with; otherwise the file is read again as usual.
    struct ReadAhead {
        std::optional<std::string> content;  // nothing: no file (or none that could be read)
        ports::FileStamp stamp;
        IniDocument doc;
    };
    void readAhead(const std::string& path, std::future<ReadAhead> ahead);
    // The reading and parsing that readAhead's thread does.
    static ReadAhead readAndParse(ports::FileStore& files, const std::string& path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace nms::store
