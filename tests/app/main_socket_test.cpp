#include "packets.h"
#include "station/main_toolbar.h"
#include "station_fixture.h"

namespace nms::testing {
namespace {

constexpr const char* kDatabase =
    "[00AA00000001]\nNAME=ENC\nIP=192.168.1.50\nROLE=1\nVER=3.70\n"
    "[00AA00000002]\nNAME=DEC\nIP=192.168.1.60\nROLE=2\nVER=3.70\n";

class MainSocket : public StationTest {
protected:
    void SetUp() override { startRunning(kDatabase); }
};

TEST_F(MainSocket, DatagramsAreDispatchedByLength) {
    // A feedback handler that is reached shows a check message for an all-zero datagram; the
    // level handler never shows anything. Count the boxes per length.
    dialogs.allowUnexpected = true;
    const struct {
        std::size_t length;
        bool feedback;
    } cases[] = {{0, false}, {3, true}, {4, false}, {5, true}, {56, true}, {57, false}, {1201, false}, {1202, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        dialogs.clearShown();
        receive(std::vector<std::uint8_t>(c.length, 0));
        EXPECT_EQ(!dialogs.shown().empty(), c.feedback);
    }
}

TEST_F(MainSocket, ALevelReplyReachesTheMeterOnlyAboveTheLengthLimit) {
    main->panel.chkGetVolume.setValue(1);
    std::vector<std::uint8_t> reply(1202, 0);
    reply[0] = 0x40;  // peak 4194304: half of full scale
    receive(reply);
    EXPECT_EQ(main->panel.lblVolume.caption(), "-6dBFS");
    EXPECT_EQ(main->panel.VUMeter.width(), 1050);
    reply.resize(1201);
    reply[0] = 0x80;
    receive(reply);
    EXPECT_EQ(main->panel.lblVolume.caption(), "-6dBFS");
}

TEST_F(MainSocket, LevelDisplayEdges) {
    main->panel.chkGetVolume.setValue(1);
    std::vector<std::uint8_t> reply(1203, 0);
    receive(reply);
    EXPECT_EQ(main->panel.lblVolume.caption(), "-oodBFS");
    reply[3] = 0x80;  // the most negative sample
    receive(reply);
    EXPECT_EQ(main->panel.lblVolume.caption(), "0dBFS");
    EXPECT_EQ(main->panel.VUMeter.width(), 2100);
    std::vector<std::uint8_t> tiny(1204, 0);
    tiny[0] = 0xFF, tiny[1] = 0xFF, tiny[2] = 0xFF;  // -1
    tiny[1203] = 0x7F;  // a trailing byte that is no sample
    receive(tiny);
    EXPECT_EQ(main->panel.lblVolume.caption(), "-138.5dBFS");
    EXPECT_EQ(main->panel.VUMeter.width(), 0);
    // Monitoring switched off while the reply travelled.
    main->panel.chkGetVolume.setValue(0);
    reply[3] = 0x40;
    receive(reply);
    EXPECT_EQ(main->panel.lblVolume.caption(), "-oodBFS");
}

TEST_F(MainSocket, CommandByteGoesToThePortOfTheRoleFromPort2976) {
    show(1);  // decoder
    network.sent.clear();
    main->SendCommandByte(200, 2977);
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent[0].bytes, (std::vector<std::uint8_t>{200, 0}));
    EXPECT_EQ(network.sent[0].host, "192.168.1.60");
    EXPECT_EQ(network.sent[0].port, 2977);
    EXPECT_EQ(network.sent[0].localPort, 2976);
}

TEST_F(MainSocket, LevelRequestIsExactlyThreeBytesEvery50ms) {
    show(0);  // encoder
    network.sent.clear();
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kStartMonitoring); });
    time.advance(200);
    ASSERT_EQ(network.sent.size(), 4u);
    for (const auto& s : network.sent) {
        EXPECT_EQ(s.bytes, (std::vector<std::uint8_t>{'V', 'O', 'L'}));
        EXPECT_EQ(s.port, 2977);
        EXPECT_EQ(s.host, "192.168.1.50");
    }
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kStopMonitoring); });
    time.advance(200);
    EXPECT_EQ(network.sent.size(), 4u);
}

// A cable out or a link down is said once per action, with the numbered message and the
// network's reason, and the station goes on; the next action sends again.
TEST_F(MainSocket, ASendTheNetworkRefusesIsSaidWithItsReasonAndTheStationGoesOn) {
    show(0);
    network.failingHosts.insert("192.168.1.50");
    dialogs.expect(ports::Answer::Ok, "103 - Unable to use UDP port 2979: ");
    EXPECT_FALSE(main->SendCommandByte(55, 2979));
    EXPECT_EQ(dialogs.last().text, "103 - Unable to use UDP port 2979: Network is unreachable");
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Critical);

    // The configuration send: no reply wait is left running behind it.
    network.sendError = "No buffer space available";
    dialogs.expect(ports::Answer::Ok, "101 - Unable to use UDP port 2976: No buffer space available");
    const std::uint8_t packet[39] = {};
    EXPECT_FALSE(main->exchange().SendConfigurationBytes(packet));
    EXPECT_FALSE(main->exchange().awaitingConfigurationAnswer());
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kSave));

    // The level meter asks 20 times a second: it says it once and stops.
    network.sendError = "Network is unreachable";
    dialogs.expect(ports::Answer::Ok, "104 - Unable to use UDP port 2976: Network is unreachable");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kStartMonitoring); });
    time.advance(5000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.shown().size(), 3u);  // no reply time-out either
    EXPECT_FALSE(main->meter().tmrVolume.enabled());
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kStartMonitoring));

    EXPECT_FALSE(main->ended());
    EXPECT_TRUE(lifecycle.exits.empty());
    network.failingHosts.clear();
    network.sent.clear();
    EXPECT_TRUE(main->SendCommandByte(55, 2979));
    EXPECT_EQ(network.sent.size(), 1u);
}

// Only a port that cannot be bound ends the station.
TEST_F(MainSocket, APortThatCannotBeBoundStillEndsTheProgram) {
    show(0);
    main->mainSocket().close();
    network.occupiedPorts[2976] = "Address already in use";
    dialogs.expect(ports::Answer::Ok, "103 - Unable to use UDP port 2979: Address already in use");
    main->SendCommandByte(55, 2979);
    ASSERT_EQ(lifecycle.exits.size(), 1u);
    EXPECT_NE(lifecycle.exits[0], 0);
    EXPECT_TRUE(main->ended());
}

TEST_F(MainSocket, ARecordWithoutAnAddressIsReportedWithoutEndingTheStation) {
    files.editExternally(kDb, "[00AA00000001]\nNAME=ENC\nROLE=1\nVER=3.70\n");
    show(0);
    network.sent.clear();
    dialogs.expect(ports::Answer::Ok, "103 - Unable to use UDP port 2979: ");
    main->SendCommandByte(55, 2979);
    EXPECT_EQ(dialogs.last().text, "103 - Unable to use UDP port 2979: no valid address is stored for this element.");
    EXPECT_TRUE(network.sent.empty());
    EXPECT_FALSE(main->ended());
    EXPECT_TRUE(lifecycle.exits.empty());
}

TEST_F(MainSocket, ReplyTimeOutIsReportedOnce3000msAfterTheSend) {
    show(0);
    const std::uint8_t packet[39] = {};
    ASSERT_TRUE(main->exchange().SendConfigurationBytes(packet));
    EXPECT_EQ(network.echoes, (std::vector<std::string>{"192.168.1.50"}));  // the silent ping after the send
    time.advance(2999);
    EXPECT_TRUE(dialogs.shown().empty());
    dialogs.expect(ports::Answer::Ok);
    time.advance(1);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().text, "Waiting for a response from Network Element has timed out!\rCannot save.");
    EXPECT_EQ(dialogs.last().title, "Error!");
    time.advance(10000);
    EXPECT_EQ(dialogs.shown().size(), 1u);
}

TEST_F(MainSocket, AnAcceptedFeedbackStopsTheReplyTimeOut) {
    show(0);
    const std::uint8_t packet[39] = {};
    main->exchange().SendConfigurationBytes(packet);
    network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
    dialogs.allowUnexpected = true;  // the comparison messages are not what this test is about
    receive(ElementAnswer::encoder().bytes());
    time.advance(6000);
    EXPECT_FALSE(dialogs.shown().empty());
    for (const auto& s : dialogs.shown()) EXPECT_EQ(s.box.text.find("timed out"), std::string::npos);
}

TEST_F(MainSocket, MacWaitMakesAtMost21LookUpsAndResetsItsCount) {
    show(0);
    dialogs.allowUnexpected = true;
    receive(ElementAnswer::encoder().bytes());
    EXPECT_TRUE(main->waiting().isOpen());
    EXPECT_EQ(main->waiting().form.caption(), "Waiting remote response...");
    EXPECT_EQ(main->waiting().lblWaitTimeout.caption(), "Please wait while retrieving response from remote element....");
    const int before = network.lookups;
    time.advance(20000);
    EXPECT_TRUE(main->waiting().isOpen());
    EXPECT_EQ(network.lookups - before, 20);
    time.advance(1000);
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(network.lookups - before, 21);
    EXPECT_EQ(main->waiting().getMACTimeoutCount(), 0);
    EXPECT_EQ(network.echoes.size(), 21u);  // one silent ping per tick
    ASSERT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(dialogs.last().text, "An error occured while retrieving 'Element MAC':\rFeedback is corrupted.");
}

TEST_F(MainSocket, ClosingTheMacWaitByHandEndsItAsATimeOut) {
    show(0);
    dialogs.expect(ports::Answer::Ok, "'Element MAC'");
    receive(ElementAnswer::encoder().bytes());
    time.advance(3000);
    EXPECT_EQ(main->waiting().getMACTimeoutCount(), 3);
    main->waiting().form.closeByOperator();
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(main->waiting().getMACTimeoutCount(), 0);
    EXPECT_TRUE(dialogs.allUsed());
}

TEST_F(MainSocket, ADatagramDuringTheMacWaitWaitsUntilTheFeedbackHasEnded) {
    show(0);
    dialogs.allowUnexpected = true;
    receive(ElementAnswer::encoder().bytes());
    ASSERT_TRUE(main->waiting().isOpen());
    auto other = ElementAnswer::encoder("192.168.1.77");
    receive(other.bytes());
    EXPECT_EQ(main->exchange().responseAddress(), "192.168.1.50");  // the feedback in progress is untouched
    network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
    time.advance(1000);
    // The first feedback was compared with the editor (its messages), and only then was the
    // held datagram handled: with one look-up rather than a wait of its own (a spray of them
    // would otherwise cost 21 seconds each), and its failure counted rather than shown.
    EXPECT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(main->exchange().responseAddress(), "192.168.1.77");
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(dialogs.last().text, "1 more answer was rejected while this message was open.");
}

}  // namespace
}  // namespace nms::testing

namespace nms::testing {
namespace {

class MonitoringFaults : public StationTest {};

TEST_F(MonitoringFaults, EmptyingThePanelStopsMonitoringAndDisablesItsButtons) {
    start(std::string(kDatabase));
    operatorDoes([&] { main->TreeView1.clickNode(0); });
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kStartMonitoring); });
    ASSERT_TRUE(main->meter().tmrVolume.enabled());
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kRefresh); });  // Refresh list
    EXPECT_FALSE(main->meter().tmrVolume.enabled());
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStopMonitoring));
    network.sent.clear();
    time.advance(1000);
    EXPECT_TRUE(network.sent.empty());
}

TEST_F(MonitoringFaults, ALevelRequestWithNowhereToGoIsSaidOnceAndStopsMonitoring) {
    start("[00AA00000001]\nNAME=ENC\nROLE=1\nVER=3.70\n");
    operatorDoes([&] { main->TreeView1.clickNode(0); });
    dialogs.expect(ports::Answer::Ok, "104 - Unable to use UDP port 2976: no valid address");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kStartMonitoring); });
    time.advance(5000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.shown().size(), 1u);
    EXPECT_FALSE(main->meter().tmrVolume.enabled());
    EXPECT_FALSE(main->panel.chkGetVolume.checked());
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStopMonitoring));
    EXPECT_FALSE(main->ended());
}

TEST_F(MonitoringFaults, ABoxThatNamesNoTitleShowsTheApplicationsTitle) {
    std::string record = "[00AA00000001]\nNAME=ENC\nROLE=1\n";
    for (int i = 0; i < 25; ++i) record += "K" + std::to_string(i) + "=1\n";
    start(record);
    dialogs.expect(ports::Answer::Ok, "is corrupted (1)");
    operatorDoes([&] { main->TreeView1.clickNode(0); });
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().title, "Kestrova Vantrelo NG Manager");
}

TEST_F(MonitoringFaults, TheFirstSendAfterStartUpKeepsTheSocketBoundFromStartUp) {
    start(std::string(kDatabase));
    const int bindsAtStart = network.bindCount;
    operatorDoes([&] { main->TreeView1.clickNode(1); });
    main->SendCommandByte(10, 2977);
    EXPECT_EQ(network.bindCount, bindsAtStart);
}

}  // namespace
}  // namespace nms::testing
