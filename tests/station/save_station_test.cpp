// Saving a configuration to a simulated element on the in-process network: the element applies
// the packet of its own layout and answers, and the station confirms and stores what it said.

#include <gtest/gtest.h>

#include <algorithm>

#include "station/demo_station.h"
#include "station/main_toolbar.h"

namespace nms::testing {
namespace {

using SaveStation = DemoStation;

struct Layout {
    const char* element;
    int minor;
    std::size_t packetLength;
};

class SaveEachLayout : public SaveStation, public ::testing::WithParamInterface<Layout> {};

TEST_P(SaveEachLayout, TheElementConfirmsAndTheRecordIsUpdated) {
    const Layout layout = GetParam();
    auto& e = element(layout.element);
    e.identity().minor = static_cast<std::uint8_t>(layout.minor);
    discover();
    show(layout.element);
    main->panel.txtElementName.setText("Renamed", ports::Origin::Operator);
    main->panel.txtElementName.lostFocus();
    const bool decoder = e.isDecoder();
    if (decoder) main->panel.scrlBuffer.setValue(7, ports::Origin::Operator);
    saveEndingIn("New configuration has been sucessfuly saved and loaded!");
    EXPECT_EQ(e.identity().name, "RENAMED");
    EXPECT_EQ(stored("RENAMED", "name"), "RENAMED         ");
    if (decoder) {
        EXPECT_EQ(stored("RENAMED", "buf"), "7");
    }
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kSave));
    EXPECT_EQ(main->TreeView1.nodeCount(), 5);
    time.advance(5000);  // no time-out after the answer
    EXPECT_TRUE(dialogs.allUsed());
}

INSTANTIATE_TEST_SUITE_P(ByRoleAndFirmware, SaveEachLayout,
                         ::testing::Values(Layout{"STUDIO A LR", 40, 37}, Layout{"STUDIO A LR", 60, 38},
                                           Layout{"STUDIO B MPX", 72, 39}, Layout{"TX NORTH", 69, 41},
                                           Layout{"TX EAST SFN", 72, 42}));

TEST_F(SaveStation, AnElementThatDoesNotAnswerTimesOutOnceAndNothingIsStored) {
    discover();
    show("TX NORTH");
    const std::string section = main->context().shownSection();
    element("TX NORTH").faults.drop = -1;
    main->panel.txtElementName.setText("Silent", ports::Origin::Operator);
    save();
    time.advance(2999);
    EXPECT_TRUE(dialogs.allUsed());
    dialogs.expect(ports::Answer::Ok, "Waiting for a response from Network Element has timed out!");
    time.advance(1);
    time.advance(10000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(db->ReadFromINI(section, "name", kDb, ""), "TX NORTH        ");
}

TEST_F(SaveStation, AnElementThatKeepsOneSettingIsReportedForThatSettingAndTheRestIsStored) {
    discover();
    show("STUDIO A LR");
    // The element answers with its gateway's last byte changed.
    auto& e = element("STUDIO A LR");
    e.faults.onlyForPort = 2976;
    e.faults.overwriteByte = std::make_pair(std::size_t{11}, std::uint8_t{99});
    main->panel.txtElementName.setText("Studio Z", ports::Origin::Operator);
    saveEndingIn("An error occured while saving 'Element GW':");
    EXPECT_EQ(dialogs.last().text, "An error occured while saving 'Element GW':\rFeedback is corrupted.");
    EXPECT_EQ(stored("STUDIO Z", "name"), "STUDIO Z        ");
    EXPECT_EQ(stored("STUDIO Z", "gw"), "192.168.50.1");
}

// Another element's address strands both, so it is refused before anything is sent, naming
// that element; another's name is asked about, No by default.
TEST_F(SaveStation, AnotherElementsAddressIsRefusedAndItsNameAskedAbout) {
    discover();
    show("STUDIO A LR");
    const std::string ipBefore = element("STUDIO A LR").ipText();
    main->panel.txtElementIP.setText(stored("TX NORTH", "ip"), ports::Origin::Operator);
    dialogs.expect(ports::Answer::Ok, "is that of TX NORTH (");
    gate.dispatch(ports::EventGate::Kind::Operator,
                  [&] { main->Toolbar1.click(station::toolbar::kSave); });
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(element("STUDIO A LR").ipText(), ipBefore);

    show("STUDIO A LR");
    main->panel.txtElementName.setText("tx north", ports::Origin::Operator);
    main->panel.txtElementName.lostFocus();
    dialogs.expect(ports::Answer::No, "The name TX NORTH is already that of TX NORTH (");
    gate.dispatch(ports::EventGate::Kind::Operator,
                  [&] { main->Toolbar1.click(station::toolbar::kSave); });
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(element("STUDIO A LR").identity().name, "STUDIO A LR");
    EXPECT_EQ(stored("STUDIO A LR", "name"), "STUDIO A LR     ");
}

}  // namespace
}  // namespace nms::testing
