#include "app/frm_disclaimer.h"
#include "station/main_toolbar.h"
#include "station_fixture.h"

using nms::ports::Answer;
using nms::ports::MessageIcon;

namespace nms::testing {
namespace {

class StartUp : public StationTest {};

TEST_F(StartUp, TitleAndBufferRangeFollowTheOptionWord) {
    const struct {
        const char* word;
        const char* suffix;
        int bufferMax;
    } cases[] = {{"", " - Kestrova Broadcast", 23},
                 {"gps", " [GPSDO version] - Kestrova Broadcast", 23},
                 {"GPS", " [GPSDO version] - Kestrova Broadcast", 23},
                 {"ll", " [Low Latency Option] - Kestrova Broadcast", 44},
                 {"GPS LL", " - Kestrova Broadcast", 23},
                 {"nonsense", " - Kestrova Broadcast", 23}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        start(std::string("[001A2B3C4D5E]\nROLE=1\n"), c.word);
        EXPECT_TRUE(main->running());
        EXPECT_EQ(main->caption.caption(), std::string("Vantrelo NG NMS v.3.7.8") + c.suffix);
        EXPECT_EQ(main->panel.scrlBuffer.max(), c.bufferMax);
        main->Form_Unload();
        main.reset();
    }
}

TEST_F(StartUp, BindsTheMainSocketOnPort2976OfTheSavedInterface) {
    settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "192.168.1.10");
    start(std::string("[001A2B3C4D5E]\nROLE=1\nNAME=A\n"));
    ASSERT_TRUE(main->running());
    EXPECT_EQ(network.bound(), (std::vector<std::pair<std::string, std::uint16_t>>{{"192.168.1.10", 2976}}));
    EXPECT_EQ(main->strLocalNMSIPAddress, "192.168.1.10");
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(StartUp, AudioTypeListHoldsExactlyTheThirteenTypes) {
    create();
    main->panel.cmbAudioType.addItems({"stale", "entries"});
    files.editExternally(kDb, "[001A2B3C4D5E]\nROLE=1\n");
    gate.dispatch(ports::EventGate::Kind::Posted, [&] { main->Form_Load(); });
    const auto& items = main->panel.cmbAudioType.items();
    ASSERT_EQ(items.size(), 13u);
    EXPECT_EQ(items.front(), "L/R Legacy");
    EXPECT_EQ(items.back(), "MPX AES67-SyES");
}

TEST_F(StartUp, MonitoringButtonsStayDisabledUntilAnElementIsShownAndButtons6And7Toggle) {
    start(std::string("[001A2B3C4D5E]\nROLE=1\n"));
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStopMonitoring));
    main->Toolbar1.setButtonEnabled(station::toolbar::kStartMonitoring, true);
    main->Toolbar1_ButtonClick(station::toolbar::kStartMonitoring);
    EXPECT_TRUE(main->panel.chkGetVolume.checked());
    EXPECT_TRUE(main->meter().tmrVolume.enabled());
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kStopMonitoring));
    main->Toolbar1_ButtonClick(station::toolbar::kStopMonitoring);
    EXPECT_FALSE(main->panel.chkGetVolume.checked());
    EXPECT_FALSE(main->meter().tmrVolume.enabled());
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kStartMonitoring));
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kStopMonitoring));
    EXPECT_EQ(main->panel.lblVolume.caption(), "-oodBFS");
}

TEST_F(StartUp, ASecondInstanceShowsOnlyTheInformationBoxAndEnds) {
    lock = FakeInstanceLock(true);
    dialogs.expect(Answer::Ok, "is already running");
    create();
    EXPECT_FALSE(main->Form_Load());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().text, "Kestrova Vantrelo NG NMS is already running (check the icon in system tray)!");
    EXPECT_EQ(dialogs.last().title, "Kestrova Vantrelo NG NMS");
    EXPECT_EQ(dialogs.last().icon, MessageIcon::Information);
    EXPECT_EQ(lifecycle.exits, (std::vector<int>{station::kExitAlreadyRunning}));
    EXPECT_TRUE(network.bound().empty());
    EXPECT_FALSE(main->disclaimer().form.shown());
}

TEST_F(StartUp, AFailedBindShowsMessage102AndEndsWithAnError) {
    network.occupiedPorts[2976] = "Address already in use";
    files.editExternally(kDb, "[001A2B3C4D5E]\nROLE=1\n");
    dialogs.expect(Answer::Ok, "102 - Unable to use UDP port 2976: ");
    create();
    EXPECT_FALSE(main->Form_Load());
    EXPECT_EQ(dialogs.last().text, "102 - Unable to use UDP port 2976: Address already in use");
    EXPECT_EQ(dialogs.last().icon, MessageIcon::Critical);
    EXPECT_EQ(dialogs.last().title, "Kestrova Vantrelo NG Manager");
    ASSERT_EQ(lifecycle.exits.size(), 1u);
    EXPECT_NE(lifecycle.exits[0], 0);
    EXPECT_FALSE(main->running());
    EXPECT_FALSE(lock.held);
}

TEST_F(StartUp, FirstStartShowsTheNoticeBeforeAnythingElse) {
    settings.values.clear();
    files.editExternally(kDb, "[001A2B3C4D5E]\nROLE=1\n");
    create();
    EXPECT_TRUE(main->Form_Load());
    EXPECT_TRUE(main->disclaimer().form.shown());
    EXPECT_EQ(main->strLocalNMSIPAddress, "0.0.0.0");
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);  // the tree waits for the notice
    EXPECT_TRUE(network.bound().empty());
    EXPECT_FALSE(main->running());

    // Tick, untick, close: shown again next time.
    main->disclaimer().chkAgree.setValue(1, ports::Origin::Operator);
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "EULA1", "?"), "1");
    main->disclaimer().chkAgree.setValue(0, ports::Origin::Operator);
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "EULA1", "?"), "0");
    main->disclaimer().cmdClose.click();
    EXPECT_FALSE(main->disclaimer().form.shown());
    EXPECT_TRUE(main->running());
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_EQ(network.bound(), (std::vector<std::pair<std::string, std::uint16_t>>{{"0.0.0.0", 2976}}));
}

TEST_F(StartUp, InterfaceListSkipsOnlyTheLoopbackAddressAndKeepsTheSavedChoice) {
    network.addresses = {{"10.0.0.5", "127.0.0.1", "192.168.1.10"}, 0};
    settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "192.168.1.10");
    start(std::string("[001A2B3C4D5E]\nROLE=1\n"));
    EXPECT_EQ(main->cmbNMSIPAddr.items(), (std::vector<std::string>{"10.0.0.5", "192.168.1.10", "0.0.0.0"}));
    EXPECT_EQ(main->cmbNMSIPAddr.listIndex(), 1);
    EXPECT_EQ(network.bindCount, 1);  // only start-up's own bind
}

TEST_F(StartUp, AVanishedInterfaceIsReplacedByTheFirstEntry) {
    network.addresses = {{"10.0.0.5", "192.168.1.10"}, 0};
    settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "172.16.0.9");
    start(std::string("[001A2B3C4D5E]\nROLE=1\n"));
    EXPECT_EQ(main->cmbNMSIPAddr.listIndex(), 0);
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "NMS IP Address", ""), "10.0.0.5");
    EXPECT_EQ(network.bound(), (std::vector<std::pair<std::string, std::uint16_t>>{{"10.0.0.5", 2976}}));
}

TEST_F(StartUp, PickingAllInterfacesRebindsTheMainSocketOnPort2976) {
    network.addresses = {{"10.0.0.5"}, 0};
    settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "10.0.0.5");
    start(std::string("[001A2B3C4D5E]\nROLE=1\n"));
    operatorDoes([&] { main->cmbNMSIPAddr.setListIndex(1, ports::Origin::Operator); });
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "NMS IP Address", ""), "0.0.0.0");
    EXPECT_EQ(network.bound(), (std::vector<std::pair<std::string, std::uint16_t>>{{"0.0.0.0", 2976}}));
}

// The window starts the monitor the operator left on; a station without a window (nms-cli) runs
// it only for the command that monitors, so that no other command polls the plant.
TEST_F(StartUp, TheMonitorLeftOnStartsOnlyWhereTheStationAllowsIt) {
    settings.set(station::settings::kApp, station::settings::kSection, "MonitorPlant", "1");
    files.editExternally(kDb, "[001A2B3C4D5E]\nROLE=1\n");
    for (const bool allowed : {true, false}) {
        create();
        env->monitorAsRemembered = allowed;
        gate.dispatch(ports::EventGate::Kind::Posted, [&] { main->Form_Load(); });
        ASSERT_TRUE(main->running());
        EXPECT_EQ(main->plantMonitoring(), allowed);
        main->Form_Unload();
        main.reset();
    }
}

// A lock that cannot be created at all (its folder read-only or full) is not another station:
// the station says where and why, and ends with a failure instead of "already running".
TEST_F(StartUp, ALockThatCannotBeCreatedIsSaidAsSuch) {
    lock.setCannotCreate("The station's lock /run/user/1000/vantrelo-nms.lock cannot be created in "
                         "/run/user/1000: Read-only file system");
    dialogs.expect(Answer::Ok, "cannot be created");
    create();
    EXPECT_FALSE(main->Form_Load());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().text,
              "The station's lock /run/user/1000/vantrelo-nms.lock cannot be created in "
              "/run/user/1000: Read-only file system");
    EXPECT_EQ(dialogs.last().icon, MessageIcon::Critical);
    EXPECT_EQ(lifecycle.exits, (std::vector<int>{station::kExitLockUnavailable}));
    EXPECT_EQ(station::kExitLockUnavailable, 1);
    EXPECT_TRUE(network.bound().empty());
}

TEST_F(StartUp, ShutdownClosesTheSocketAndReleasesTheLock) {
    start(std::string("[001A2B3C4D5E]\nROLE=1\n"));
    EXPECT_TRUE(lock.held);
    main->Form_Unload();
    EXPECT_TRUE(network.bound().empty());
    EXPECT_FALSE(lock.held);
    EXPECT_TRUE(lifecycle.exits.empty());
}

}  // namespace
}  // namespace nms::testing

namespace nms::testing {
namespace {

TEST_F(StationTest, ASecondStationTouchesNoFileBeforeItHoldsTheLock) {
    lock.setHeldElsewhere(true);
    files.editExternally(kDb, "[00AA00000001]\nNAME=ENC\n");
    create();
    int cleanUps = 0;
    env->afterInstanceLock = [&] { ++cleanUps; };
    dialogs.expect(ports::Answer::Ok, "already running");
    gate.dispatch(ports::EventGate::Kind::Posted, [&] { main->Form_Load(); });
    EXPECT_EQ(cleanUps, 0);
    EXPECT_EQ(files.content(kDb), "[00AA00000001]\nNAME=ENC\n");
}

TEST_F(StationTest, TheStationThatHoldsTheLockCleansUpFirstAndReadsWhatTheCleanUpChose) {
    files.editExternally(kDb, "[00AA00000001]\nNAME=ENC\n");
    create();
    int cleanUps = 0;
    env->afterInstanceLock = [&] {
        ++cleanUps;
        settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "0.0.0.0");
    };
    settings.set("Kestrova", "Vantrelo NG", "NMS IP Address", "10.9.9.9");
    gate.dispatch(ports::EventGate::Kind::Posted, [&] { main->Form_Load(); });
    EXPECT_EQ(cleanUps, 1);
    EXPECT_EQ(main->strLocalNMSIPAddress, "0.0.0.0");
}

}  // namespace
}  // namespace nms::testing
