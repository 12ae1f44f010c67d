#include <gtest/gtest.h>

#include <future>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "store/profile_store.h"
#include "support/memory_file_store.h"
#include "support/virtual_time.h"

namespace nms::store {
namespace {

using nms::testing::MemoryFileStore;

const std::string kPath = "/data/nms.ini";

class ProfileStoreSavingTest : public ::testing::Test {
protected:
    ProfileStoreSavingTest() {
        store.onWriteFailed = [this](const std::string& path, const std::string& error) {
            failures.emplace_back(path, error);
        };
    }
    void writeRecord(const std::string& section) {
        for (const char* key : {"name", "ip", "mask", "gw", "input", "type", "tx", "multi", "role", "sn"})
            store.WriteToINI(section, key, std::string("v-") + key, kPath);
    }

    MemoryFileStore files;
    nms::testing::VirtualTime time;
    ProfileStore store{files, time};
    std::vector<std::pair<std::string, std::string>> failures;
};

// --- batching

TEST_F(ProfileStoreSavingTest, ABurstOfWritesCostsOneSaveWithin50Ms) {
    for (int i = 0; i < 20; ++i) writeRecord(std::string("ELEM").append(std::to_string(i)));
    EXPECT_EQ(files.replaces, 0);
    EXPECT_EQ(store.ReadFromINI("ELEM3", "ip", kPath, ""), "v-ip") << "reads see pending writes";
    time.advance(49);
    EXPECT_EQ(files.replaces, 0);
    time.advance(1);
    EXPECT_EQ(files.replaces, 1);
    EXPECT_NE(files.content(kPath).find("[ELEM19]\nNAME=v-name"), std::string::npos);
    time.advance(1000);
    EXPECT_EQ(files.replaces, 1) << "nothing more to save";
}

TEST_F(ProfileStoreSavingTest, SteadyWritesAreNotHeldBackBeyondTheDelay) {
    // One write every 10 ms must not keep postponing the save.
    for (int i = 0; i < 10; ++i) {
        store.WriteToINI("A", std::string("k").append(std::to_string(i)), "v", kPath);
        time.advance(10);
    }
    EXPECT_GE(files.replaces, 2);
    EXPECT_NE(files.content(kPath).find("K4=v"), std::string::npos);
}

TEST_F(ProfileStoreSavingTest, FlushSavesAtOnceAndCancelsTheTimer) {
    store.WriteToINI("A", "k", "v", kPath);
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.replaces, 1);
    EXPECT_EQ(files.content(kPath), "[A]\nK=v\n");
    time.advance(100);
    EXPECT_EQ(files.replaces, 1);
    EXPECT_TRUE(store.flush()) << "a flush with nothing pending succeeds";
    EXPECT_EQ(files.replaces, 1);
}

TEST_F(ProfileStoreSavingTest, WritingTheSameValueAgainCostsNoSave) {
    files.editExternally(kPath, "[A]\nK=v\n");
    store.WriteToINI("A", "k", "v", kPath);
    store.DeleteIniKey("A", "missing", kPath);
    time.advance(100);
    EXPECT_EQ(files.replaces, 0);
}

TEST_F(ProfileStoreSavingTest, DestroyingTheStoreSavesWhatIsPending) {
    {
        ProfileStore local{files, time};
        local.WriteToINI("A", "k", "v", kPath);
    }
    EXPECT_EQ(files.content(kPath), "[A]\nK=v\n");
    time.advance(100);  // the cancelled timer must not run
}

TEST_F(ProfileStoreSavingTest, StaleTemporariesAreClearedOnFirstUseOfAFile) {
    store.ReadFromINI("A", "k", kPath, "");
    store.WriteToINI("A", "k", "v", kPath);
    EXPECT_EQ(files.staleCleanups, std::vector<std::string>{kPath});
}

TEST_F(ProfileStoreSavingTest, EachFileIsKeptApart) {
    store.WriteToINI("A", "k", "1", kPath);
    store.WriteToINI("A", "k", "2", "/other/nms.ini");
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[A]\nK=1\n");
    EXPECT_EQ(files.content("/other/nms.ini"), "[A]\nK=2\n");
}

// --- whole-file operations

TEST_F(ProfileStoreSavingTest, DeleteThenCreateEmptyThenWriteGivesOnlyTheNewRecords) {
    files.editExternally(kPath, "[OLD]\nK=1\n");
    store.deleteFile(kPath);
    EXPECT_FALSE(store.fileExists(kPath));
    EXPECT_EQ(store.ReadFromINI("OLD", "k", kPath, "gone"), "gone");
    store.createEmptyFile(kPath);
    EXPECT_TRUE(store.fileExists(kPath));
    store.WriteToINI("NEW", "k", "2", kPath);
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[NEW]\nK=2\n");
    EXPECT_EQ(files.replaces, 1);
}

TEST_F(ProfileStoreSavingTest, DeletingTheFileReachesTheDisk) {
    files.editExternally(kPath, "[OLD]\nK=1\n");
    store.deleteFile(kPath);
    EXPECT_TRUE(files.exists(kPath)) << "batched like any write";
    EXPECT_TRUE(store.flush());
    EXPECT_FALSE(files.exists(kPath));
}

TEST_F(ProfileStoreSavingTest, CreateEmptyFileEmptiesAnExistingFile) {
    files.editExternally(kPath, "[OLD]\nK=1\n");
    store.createEmptyFile(kPath);
    EXPECT_TRUE(store.flush());
    EXPECT_TRUE(files.exists(kPath));
    EXPECT_EQ(files.content(kPath), "");
}

// --- another program's changes

TEST_F(ProfileStoreSavingTest, AReadSeesAChangeMadeByAnotherProgram) {
    files.editExternally(kPath, "[A]\nK=1\n");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "1");
    files.editExternally(kPath, "[A]\nK=2\n[B]\nK=3\n");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "2");
    EXPECT_EQ(store.ReadFromINI("B", "k", kPath, ""), "3");
    files.removeExternally(kPath);
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, "none"), "none");
}

TEST_F(ProfileStoreSavingTest, AnUnchangedFileIsNotReadAgain) {
    files.editExternally(kPath, "[A]\nK=1\n");
    for (int i = 0; i < 100; ++i) store.ReadFromINI("A", "k", kPath, "");
    EXPECT_EQ(files.reads, 1);
    store.WriteToINI("A", "k", "2", kPath);
    store.flush();
    for (int i = 0; i < 100; ++i) store.ReadFromINI("A", "k", kPath, "");
    EXPECT_EQ(files.reads, 1) << "our own save must not force a re-read";
}

TEST_F(ProfileStoreSavingTest, FollowingEventsTheDiskIsCheckedOncePerEventAndEveryEventSeesTheLatest) {
    ports::EventGate gate;
    store.followEvents(gate);
    files.editExternally(kPath, "[A]\nK=1\n");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "1");

    // One event: one check, one version of the file, whatever happens on disk meanwhile.
    std::vector<std::string> seen;
    gate.dispatch(ports::EventGate::Kind::Timer, [&] {
        const int stampsBefore = files.stamps;
        for (int i = 0; i < 1000; ++i) store.ReadFromINI("A", "k", kPath, "");
        seen.push_back(store.ReadFromINI("A", "k", kPath, ""));
        files.editExternally(kPath, "[A]\nK=2\n");
        seen.push_back(store.ReadFromINI("A", "k", kPath, ""));
        std::vector<std::string> names;
        store.LoadIniSectionsLB(names, kPath);
        EXPECT_LE(files.stamps - stampsBefore, 1);
    });
    // The next event sees the change.
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { seen.push_back(store.ReadFromINI("A", "k", kPath, "")); });
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "1", "2"}));

    // Our own writes are seen at once within the event, and a save checks the disk whatever the
    // event: another program's change made meanwhile is kept.
    gate.dispatch(ports::EventGate::Kind::Operator, [&] {
        EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "2");
        files.editExternally(kPath, "[A]\nK=2\nTHEIRS=t\n");
        store.WriteToINI("A", "mine", "m", kPath);
        EXPECT_EQ(store.ReadFromINI("A", "mine", kPath, ""), "m");
        EXPECT_TRUE(store.flush());
    });
    EXPECT_EQ(files.content(kPath), "[A]\nK=2\nTHEIRS=t\nMINE=m\n");

    // Outside any event every read checks.
    files.editExternally(kPath, "[A]\nK=3\n");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "3");
}

TEST_F(ProfileStoreSavingTest, AReadTurnOutsideEventsChecksOnceAndAChangeBetweenTwoTurnsIsSeen) {
    ports::EventGate gate;
    store.followEvents(gate);
    files.editExternally(kPath, "[A]\nK=1\n");
    std::vector<std::string> seen;
    {
        const ProfileStore::ReadTurn turn(store);
        const int stampsBefore = files.stamps;
        for (int i = 0; i < 1000; ++i) store.ReadFromINI("A", "k", kPath, "");
        const ProfileStore::ReadTurn nested(store);
        EXPECT_LE(files.stamps - stampsBefore, 1);
        files.editExternally(kPath, "[A]\nK=2\n");
        seen.push_back(store.ReadFromINI("A", "k", kPath, ""));
        // An event inside the turn is a turn of its own: it checks again.
        gate.dispatch(ports::EventGate::Kind::Timer, [&] { seen.push_back(store.ReadFromINI("A", "k", kPath, "")); });
    }
    {
        const ProfileStore::ReadTurn turn(store);
        seen.push_back(store.ReadFromINI("A", "k", kPath, ""));
    }
    files.editExternally(kPath, "[A]\nK=3\n");
    {
        const ProfileStore::ReadTurn turn(store);
        seen.push_back(store.ReadFromINI("A", "k", kPath, ""));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "2", "3"}));
}

TEST_F(ProfileStoreSavingTest, AChangeOnDiskWhileWritesArePendingLosesNeitherSide) {
    files.editExternally(kPath, "[A]\nK=1\n");
    store.WriteToINI("A", "mine", "x", kPath);
    files.editExternally(kPath, "[A]\nK=1\nTHEIRS=y\n[B]\nZ=2\n");
    store.WriteToINI("B", "mine", "z", kPath);
    time.advance(50);
    EXPECT_EQ(files.content(kPath), "[A]\nK=1\nTHEIRS=y\nMINE=x\n[B]\nZ=2\nMINE=z\n");
}

TEST_F(ProfileStoreSavingTest, AReadWhilePendingSeesBothTheirChangeAndOurs) {
    files.editExternally(kPath, "[A]\nK=1\n");
    store.WriteToINI("A", "k", "mine", kPath);
    files.editExternally(kPath, "[A]\nK=theirs\nT=1\n");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "mine") << "our later write wins";
    EXPECT_EQ(store.ReadFromINI("A", "t", kPath, ""), "1");
}

TEST_F(ProfileStoreSavingTest, PendingDeletionsAndRenamesAreAppliedAgainInTheirOrder) {
    files.editExternally(kPath, "[A]\nK=1\nGONE=x\n[B]\nZ=1\n[C]\nold=v\n");
    store.DeleteIniKey("A", "gone", kPath);
    store.DeleteIniSection("B", kPath);
    store.WriteToINI("B", "fresh", "2", kPath);
    store.RenameIniKey("C", "old", "OLD", kPath);
    files.editExternally(kPath, "[A]\nK=1\nGONE=x\nTHEIRS=t\n[B]\nZ=1\nY=9\n[C]\nold=v\n");
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[A]\nK=1\nTHEIRS=t\n[C]\nOLD=v\n[B]\nFRESH=2\n");
}

TEST_F(ProfileStoreSavingTest, AnEmptyingOfTheFileWinsOverAnEarlierChangeOnDisk) {
    files.editExternally(kPath, "[OLD]\nK=1\n");
    store.createEmptyFile(kPath);
    store.WriteToINI("NEW", "k", "2", kPath);
    files.editExternally(kPath, "[OLD]\nK=1\n[THEIRS]\nK=3\n");
    EXPECT_EQ(store.ReadFromINI("THEIRS", "k", kPath, "none"), "none");
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[NEW]\nK=2\n");
}

TEST_F(ProfileStoreSavingTest, AfterASaveOnlyNewChangesAreAppliedOverTheirs) {
    files.editExternally(kPath, "[A]\nK=1\n");
    store.WriteToINI("A", "k", "mine", kPath);
    EXPECT_TRUE(store.flush());
    files.editExternally(kPath, "[A]\nK=theirs\n");
    store.WriteToINI("A", "j", "2", kPath);
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[A]\nK=theirs\nJ=2\n") << "an already saved write is not replayed";
}

TEST_F(ProfileStoreSavingTest, AFileRemovedByAnotherProgramIsRebuiltFromPendingWrites) {
    files.editExternally(kPath, "[A]\nK=1\n");
    store.WriteToINI("A", "j", "2", kPath);
    files.removeExternally(kPath);
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[A]\nJ=2\n");
}

// --- failures

class ProfileStoreFailureTest : public ProfileStoreSavingTest,
                                public ::testing::WithParamInterface<MemoryFileStore::Step> {};

TEST_P(ProfileStoreFailureTest, AFailedSaveKeepsTheOldFileAndIsReportedOnce) {
    files.editExternally(kPath, "[A]\nK=old\n");
    files.failAt(GetParam());
    store.WriteToINI("A", "k", "new", kPath);
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(files.content(kPath), "[A]\nK=old\n");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, kPath);
    EXPECT_FALSE(failures[0].second.empty());
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "new") << "the change is kept for the next save";

    store.WriteToINI("A", "j", "2", kPath);
    time.advance(50);
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(failures.size(), 1u) << "a lasting failure is shown once";

    files.failAt(MemoryFileStore::Step::None);
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(files.content(kPath), "[A]\nK=new\nJ=2\n");

    files.failAt(GetParam());
    store.WriteToINI("A", "k", "newer", kPath);
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(failures.size(), 2u) << "a new failure after a success is shown again";
}

INSTANTIATE_TEST_SUITE_P(EachStep, ProfileStoreFailureTest,
                         ::testing::Values(MemoryFileStore::Step::Write, MemoryFileStore::Step::Sync,
                                           MemoryFileStore::Step::Rename),
                         [](const ::testing::TestParamInfo<MemoryFileStore::Step>& param) {
                             switch (param.param) {
                                 case MemoryFileStore::Step::Write: return std::string("Write");
                                 case MemoryFileStore::Step::Sync: return std::string("Sync");
                                 default: return std::string("Rename");
                             }
                         });

TEST_F(ProfileStoreSavingTest, AScheduledSaveThatFailsIsReported) {
    files.failAt(MemoryFileStore::Step::Write);
    store.WriteToINI("A", "k", "v", kPath);
    time.advance(50);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].second.find("write"), std::string::npos);
}

TEST_F(ProfileStoreSavingTest, AFailedDeleteOfTheFileIsReported) {
    files.editExternally(kPath, "[A]\nK=1\n");
    files.failAt(MemoryFileStore::Step::Remove);
    store.deleteFile(kPath);
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_TRUE(files.exists(kPath));
}

// --- reading ahead

// The database read on another thread while the window is built is the one the first read
// uses, unless the file changed in between: then the change wins.
TEST_F(ProfileStoreSavingTest, AFileReadAheadIsUsedOnlyWhileItIsStillTheFileOnDisk) {
    files.editExternally(kPath, "[A]\nNAME=FIRST\n");
    auto readNow = [this] {
        std::promise<ProfileStore::ReadAhead> promise;
        promise.set_value(ProfileStore::readAndParse(files, kPath));
        return promise.get_future();
    };
    {
        ProfileStore ahead{files, time};
        ahead.readAhead(kPath, readNow());
        const int reads = files.reads;
        EXPECT_EQ(ahead.ReadFromINI("A", "NAME", kPath, "?"), "FIRST");
        EXPECT_EQ(files.reads, reads) << "the first use read the file again";
    }
    {
        ProfileStore stale{files, time};
        stale.readAhead(kPath, readNow());
        files.editExternally(kPath, "[A]\nNAME=SECOND\n");
        EXPECT_EQ(stale.ReadFromINI("A", "NAME", kPath, "?"), "SECOND");
    }
    {
        // Read ahead while there was no file; made before the first use.
        files.removeExternally(kPath);
        ProfileStore later{files, time};
        later.readAhead(kPath, readNow());
        files.editExternally(kPath, "[B]\nNAME=NEW\n");
        EXPECT_TRUE(later.fileExists(kPath));
        EXPECT_EQ(later.ReadFromINI("B", "NAME", kPath, "?"), "NEW");
    }
    {
        // A read-ahead that failed on its thread is only a lost head start.
        ProfileStore failed{files, time};
        std::promise<ProfileStore::ReadAhead> promise;
        promise.set_exception(std::make_exception_ptr(std::bad_alloc()));
        failed.readAhead(kPath, promise.get_future());
        EXPECT_EQ(failed.ReadFromINI("B", "NAME", kPath, "?"), "NEW");
    }
}

}  // namespace
}  // namespace nms::store
