#include "packets.h"
#include "station_fixture.h"

namespace nms::testing {
namespace {

class DatabaseFailure : public StationTest {};

TEST_F(DatabaseFailure, AFailedSaveIsSaidOnceWithThePathAndTheOldFileStaysWhole) {
    start(std::string("[00AA00000001]\nNAME=A\nROLE=2\nATT=0\n"));
    const std::string before = files.content(kDb);
    files.failAt(MemoryFileStore::Step::Rename);
    // Loading a decoder whose level is below the bar's minimum rewrites it.
    operatorDoes([&] { main->TreeView1.clickNode(0); });
    dialogs.expect(ports::Answer::Ok, "could not be saved");
    time.advance(200);
    ASSERT_TRUE(dialogs.allUsed());
    EXPECT_NE(dialogs.last().text.find(kDb), std::string::npos);
    EXPECT_EQ(files.content(kDb), before);
    // The next failures of the same run are not said again.
    operatorDoes([&] { main->TreeView1.clickNode(0); });
    db->WriteToINI("00AA00000001", "att", "20", kDb);
    time.advance(200);
    EXPECT_EQ(dialogs.shown().size(), 1u);
    // Once the disk takes writes again, the pending change arrives.
    files.failAt(MemoryFileStore::Step::None);
    EXPECT_TRUE(db->flush());
    EXPECT_NE(files.content(kDb).find("ATT=20"), std::string::npos);
}

}  // namespace
}  // namespace nms::testing
