#include "station/main_toolbar.h"
#include "station_fixture.h"

namespace nms::testing {
namespace {

class ElementTree : public StationTest {};

constexpr const char* kThreeElements =
    "[00AA00000001]\nNAME=D1              \nROLE=2\n"
    "[00AA00000002]\nNAME=E1              \nROLE=1\n"
    "[00AA00000003]\nNAME=E2              \nROLE=1\n";

TEST_F(ElementTree, NodesFollowTheFileWithTheirPicturesAndTheEncoderList) {
    start(std::string(kThreeElements));
    const auto& nodes = main->TreeView1.nodes();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].key, "00:AA:00:00:00:01");
    EXPECT_EQ(nodes[0].text, "D1               [00:AA:00:00:00:01]");
    EXPECT_EQ(nodes[0].image, station::toolbar::kPictureDecoder);
    EXPECT_EQ(nodes[0].selectedImage, station::toolbar::kPictureDecoder);
    EXPECT_EQ(nodes[1].image, station::toolbar::kPictureEncoder);
    EXPECT_EQ(nodes[2].image, station::toolbar::kPictureEncoder);
    EXPECT_EQ(main->panel.cmbEncoders.items(),
              (std::vector<std::string>{"<None>", nodes[1].text, nodes[2].text}));
    EXPECT_EQ(main->frmTreeView.caption(), "Select element: (3 items)");
    EXPECT_EQ(main->lstHidden.items(), (std::vector<std::string>{"00AA00000001", "00AA00000002", "00AA00000003"}));
}

TEST_F(ElementTree, UnclassifiableRolesAndOddSectionsAreShownNeverDropped) {
    start(std::string("[00AA00000001]\nNAME=X\nROLE=abc\n"
                      "[00AA00000002]\nNAME=Y\n"
                      "[00AA00000003]\nROLE=1\n"
                      "[NOT-A-KEY]\nNAME=Z\nROLE=1\n"
                      "[00AA00000005]\nROLE=\nNAME=W\n"));
    const auto& nodes = main->TreeView1.nodes();
    ASSERT_EQ(nodes.size(), 5u);
    EXPECT_EQ(nodes[0].image, station::toolbar::kPictureDecoder);
    EXPECT_EQ(nodes[1].image, station::toolbar::kPictureDecoder);
    EXPECT_EQ(nodes[2].text, " [00:AA:00:00:00:03]");  // empty name
    EXPECT_EQ(nodes[2].image, station::toolbar::kPictureEncoder);
    EXPECT_EQ(nodes[3].key, "");
    EXPECT_EQ(nodes[3].text, "Z []");
    EXPECT_EQ(nodes[4].image, station::toolbar::kPictureDecoder);
    EXPECT_EQ(main->frmTreeView.caption(), "Select element: (5 items)");
}

TEST_F(ElementTree, MissingAndEmptyDatabasesHaveTheirOwnMessages) {
    start(std::nullopt);
    EXPECT_EQ(dialogs.last().text, "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.");
    EXPECT_EQ(dialogs.last().title, "Information");
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Information);
    EXPECT_EQ(main->frmTreeView.caption(), "Select element: (0 items)");

    files.editExternally(kDb, "");
    dialogs.expect(ports::Answer::Ok);
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kRefresh); });
    EXPECT_EQ(dialogs.last().text,
              "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.");
}

TEST_F(ElementTree, RefreshReflectsTheFileAsItIsNowAndEmptiesTheEditor) {
    start(std::string(kThreeElements));
    main->TreeView1.clickNode(1);
    files.editExternally(kDb, "[00AA00000009]\nNAME=NEW\nROLE=2\n");  // another program rewrote it
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kRefresh); });
    ASSERT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_EQ(main->TreeView1.nodes()[0].text, "NEW [00:AA:00:00:00:09]");
    EXPECT_EQ(main->TreeView1.selectedIndex(), -1);
    EXPECT_EQ(main->panel.cmbEncoders.items(), (std::vector<std::string>{"<None>"}));
    EXPECT_EQ(main->panel.lblElementMAC.caption(), "-");

    files.removeExternally(kDb);
    dialogs.expect(ports::Answer::Ok, "Please click 'Auto Discover' icon");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kRefresh); });
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);
    EXPECT_EQ(main->frmTreeView.caption(), "Select element: (0 items)");
}

TEST_F(ElementTree, ARightClickDoesNothing) {
    start(std::string(kThreeElements));
    main->TreeView1.onMouseUp(2);
    EXPECT_EQ(main->TreeView1.nodeCount(), 3);
    EXPECT_TRUE(dialogs.shown().empty());
}

}  // namespace
}  // namespace nms::testing
