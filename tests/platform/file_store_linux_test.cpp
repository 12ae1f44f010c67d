#include "platform/file_store_linux.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/profile_store.h"
#include "support/virtual_time.h"

namespace nms::platform {
namespace {

namespace fs = std::filesystem;

// A fresh folder under /tmp, removed with everything in it when the test ends.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/nms-filestore-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made) path_ = made;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class LinuxFileStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.path().empty()); }
    TempFolder dir;
    std::string file = dir.path() + "/nms.ini";
    LinuxFileStore store;
};

TEST_F(LinuxFileStoreTest, ReplaceWritesTheWholeContentAndLeavesNoTemporary) {
    ASSERT_TRUE(store.replace(file, "[A]\nK=1\n").ok);
    EXPECT_EQ(slurp(file), "[A]\nK=1\n");
    ASSERT_TRUE(store.replace(file, "").ok);
    EXPECT_EQ(slurp(file), "");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"nms.ini"});
}

TEST_F(LinuxFileStoreTest, ReadGivesContentAndAStampThatChangesWithEveryReplace) {
    EXPECT_FALSE(store.read(file, nullptr).has_value());
    EXPECT_FALSE(store.stamp(file).exists);
    const std::string big(300000, 'x');
    ASSERT_TRUE(store.replace(file, big).ok);
    ports::FileStamp first;
    EXPECT_EQ(store.read(file, &first), big);
    EXPECT_TRUE(first.exists);
    EXPECT_EQ(first, store.stamp(file));
    ASSERT_TRUE(store.replace(file, big).ok);
    EXPECT_NE(store.stamp(file), first) << "same size and content, but a new file";

    // A file named by hand is read up to a bound and a byte: one larger is not read at all, and
    // a device without end stops there.
    EXPECT_EQ(store.readAtMost(file, big.size()).content, big);
    const auto tooLarge = store.readAtMost(file, big.size() - 1);
    EXPECT_FALSE(tooLarge.content.has_value());
    EXPECT_EQ(tooLarge.size, static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(store.readAtMost("/dev/zero", 100000).content, std::string(100001, '\0'));
    EXPECT_EQ(store.readAtMost(dir.path() + "/none.json", 10).error, std::strerror(ENOENT));
}

// The stamp is served from a cache while the folder is quiet; each kind of outside change must
// still show in the very next stamp.
TEST_F(LinuxFileStoreTest, TheStampSeesEveryKindOfOutsideChangeAtOnce) {
    put(file, "[A]\nK=1\n");
    const auto first = store.stamp(file);
    EXPECT_EQ(store.stamp(file), first) << "a quiet folder keeps its stamp";

    // Rewritten in place, same size: only the modification time tells.
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).seekp(6).put('2');
    const auto inPlace = store.stamp(file);
    EXPECT_NE(inPlace, first);

    // Replaced by rename, as an editor saves.
    put(dir.path() + "/other", "[A]\nK=3\n");
    fs::rename(dir.path() + "/other", file);
    const auto renamed = store.stamp(file);
    EXPECT_NE(renamed, inPlace);

    fs::remove(file);
    EXPECT_FALSE(store.stamp(file).exists);
    put(file, "x");
    EXPECT_TRUE(store.stamp(file).exists);
}

TEST_F(LinuxFileStoreTest, TheStampFollowsTheFolderBeingMovedAndReplaced) {
    const std::string sub = dir.path() + "/db";
    fs::create_directory(sub);
    const std::string path = sub + "/nms.ini";
    put(path, "old");
    const auto before = store.stamp(path);
    fs::rename(sub, dir.path() + "/db-moved");
    EXPECT_FALSE(store.stamp(path).exists);
    fs::create_directory(sub);
    put(path, "new content");
    const auto after = store.stamp(path);
    EXPECT_TRUE(after.exists);
    EXPECT_NE(after, before);
    put(path, "newer content!");
    EXPECT_NE(store.stamp(path), after) << "the new folder is watched again";
}

TEST_F(LinuxFileStoreTest, ReplaceKeepsThePermissionsOfTheOldFile) {
    put(file, "old");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(store.replace(file, "new").ok);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// The rename would replace a file the operator made read-only (it needs only the folder): such
// a file is refused as a read-only folder is, even for root, and stays as it was.
TEST_F(LinuxFileStoreTest, AReadOnlyFileIsNotReplaced) {
    put(file, "old");
    ::chmod(file.c_str(), 0444);
    const auto result = store.replace(file, "new");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(file), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("read-only"), std::string::npos) << result.error;
    EXPECT_EQ(*store.read(file, nullptr), "old");
}

class LinuxFileStoreFaultTest : public LinuxFileStoreTest,
                                public ::testing::WithParamInterface<std::pair<LinuxFileStore::Step, const char*>> {};

TEST_P(LinuxFileStoreFaultTest, AFailedStepKeepsTheOldFileWholeAndSaysWhatFailed) {
    const auto [step, word] = GetParam();
    put(file, "[A]\nK=old\n");
    store.failNextAt(step, EIO);
    const auto r = store.replace(file, "[A]\nK=new\n");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind(std::string(word) + ": ", 0), 0u) << r.error;
    EXPECT_NE(r.error.find(std::strerror(EIO)), std::string::npos) << r.error;
    EXPECT_EQ(slurp(file), "[A]\nK=old\n");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"nms.ini"}) << "the temporary is removed";
    EXPECT_TRUE(store.replace(file, "[A]\nK=new\n").ok) << "the next save works again";
    EXPECT_EQ(slurp(file), "[A]\nK=new\n");
}

INSTANTIATE_TEST_SUITE_P(EachStep, LinuxFileStoreFaultTest,
                         ::testing::Values(std::pair{LinuxFileStore::Step::Create, "create"},
                                           std::pair{LinuxFileStore::Step::Write, "write"},
                                           std::pair{LinuxFileStore::Step::Sync, "sync"},
                                           std::pair{LinuxFileStore::Step::Close, "close"},
                                           std::pair{LinuxFileStore::Step::Rename, "rename"}),
                         [](const auto& param) { return std::string(param.param.second); });

TEST_F(LinuxFileStoreTest, AFailedFolderSyncIsReportedAfterTheNewFileIsInPlace) {
    put(file, "old");
    store.failNextAt(LinuxFileStore::Step::SyncFolder, EIO);
    const auto r = store.replace(file, "new");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("sync folder: ", 0), 0u) << r.error;
    EXPECT_EQ(slurp(file), "new");
}

TEST_F(LinuxFileStoreTest, ARealRenameFailureKeepsTheOldContent) {
    // A folder standing where the file should be cannot be replaced by a file.
    fs::create_directory(file);
    put(file + "/inside", "kept");
    const auto r = store.replace(file, "new");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("rename: ", 0), 0u) << r.error;
    EXPECT_EQ(slurp(file + "/inside"), "kept");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"nms.ini"});
}

TEST_F(LinuxFileStoreTest, ASaveIntoAMissingFolderFailsAtCreate) {
    const auto r = store.replace(dir.path() + "/missing/nms.ini", "x");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("create: "), std::string::npos) << r.error;
}

TEST_F(LinuxFileStoreTest, RemoveDeletesTheFileAndAMissingFileIsNoError) {
    put(file, "x");
    EXPECT_TRUE(store.remove(file).ok);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(store.remove(file).ok);
}

// A temporary names the process that writes it: one whose process is gone is a killed save's
// leftover; one whose process still runs is a save in progress and stays.
TEST_F(LinuxFileStoreTest, StaleTemporariesOfThisFileAreRemovedAndNothingElse) {
    put(file, "x");
    const std::string prefix = LinuxFileStore::temporaryPrefix(file);
    const std::string running = prefix + std::to_string(::getppid()) + "-3";
    put(dir.path() + "/" + prefix + "2147483646-1", "torn");  // above any process number
    put(dir.path() + "/" + prefix + "x", "torn");
    put(dir.path() + "/" + running, "being written");
    put(dir.path() + "/.other.ini.tmp-1-1", "not ours");
    put(dir.path() + "/notes.txt", "keep");
    store.removeStaleTemporaries(file);
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{running, ".other.ini.tmp-1-1", "nms.ini", "notes.txt"}));
}

TEST_F(LinuxFileStoreTest, EnsureWritableFolderCreatesEveryLevel) {
    const std::string deep = dir.path() + "/a/b c/d";
    EXPECT_TRUE(store.ensureWritableFolder(deep).ok);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(fs::is_empty(deep)) << "the write probe is removed";
    EXPECT_TRUE(store.ensureWritableFolder(deep).ok);
}

TEST_F(LinuxFileStoreTest, EnsureWritableFolderFailsBelowAFileWithThePath) {
    put(file, "x");
    const auto r = store.ensureWritableFolder(file + "/sub");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(file), std::string::npos) << r.error;
}

TEST_F(LinuxFileStoreTest, TheDatabaseEngineWorksOnARealFolder) {
    nms::testing::VirtualTime time;
    {
        store::ProfileStore db{store, time};
        db.WriteToINI("001A2B3C4D5E", "name", "STUDIO          ", file);
        db.WriteToINI("001A2B3C4D5E", "ip", "192.168.1.10", file);
        EXPECT_TRUE(db.flush());
    }
    EXPECT_EQ(slurp(file), "[001A2B3C4D5E]\nNAME=STUDIO          \nIP=192.168.1.10\n");
    store::ProfileStore db{store, time};
    put(file, "[X]\nK=edited by hand\n");  // another program, same second, other size
    EXPECT_EQ(db.ReadFromINI("x", "k", file, ""), "edited by hand");
}

}  // namespace
}  // namespace nms::platform
