#include "discovery/paging.h"
#include "packets.h"
#include "station/main_toolbar.h"
#include "station_fixture.h"

namespace nms::testing {
namespace {

class PagingScan : public StationTest {
protected:
    void startWith(const std::string& database) {
        start(database);
        ASSERT_TRUE(main->running());
    }
    discovery::Paging& paging() { return main->paging(); }
    // A scan of a station that starts with no database, the boxes of its start forgotten.
    void scanFromEmpty() {
        startWith("");
        dialogs.clearShown();
        operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    }
    void element(const ElementAnswer& a, std::vector<std::uint8_t> mac) {
        network.macs[protocol::FormatIP(std::span<const std::uint8_t>(a.f.ip, 4))] = std::move(mac);
    }
};

TEST_F(PagingScan, AnEmptyDatabaseStartsWithoutAskingAndTheRequestIsExact) {
    startWith("");
    network.sent.clear();
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_TRUE(paging().frmPaging.shown());
    EXPECT_EQ(paging().frmPaging.caption(), "Paging network...");
    EXPECT_TRUE(main->AutoDiscoverAwaiting);
    ASSERT_EQ(network.sent.size(), 1u);
    const auto& s = network.sent[0];
    EXPECT_EQ(std::string(s.bytes.begin(), s.bytes.end()), "IPMPXSTL KESTROVA PAGING REQUEST");
    EXPECT_EQ(s.bytes.size(), 32u);
    EXPECT_EQ(s.host, "255.255.255.255");
    EXPECT_EQ(s.port, 1901);
    EXPECT_EQ(s.localPort, 2976);
    EXPECT_EQ(file(), "");  // the database was emptied
}

TEST_F(PagingScan, NoLeavesEverythingAsItWas) {
    startWith("[00AA00000001]\nNAME=A\nROLE=1\n");
    operatorDoes([&] { main->TreeView1.clickNode(0); });
    dialogs.expect(ports::Answer::No, "Performing an 'Auto Discovery'");
    network.sent.clear();
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_EQ(dialogs.last().text,
              "Performing an 'Auto Discovery' will delete the local database in your computer and create a new one, "
              "based on the Network Elements found (if any). \rAre you sure?");
    EXPECT_EQ(dialogs.last().title, "Auto Discovery");
    EXPECT_EQ(dialogs.last().defaultButton, ports::Answer::No);
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Question);
    EXPECT_FALSE(paging().frmPaging.shown());
    EXPECT_TRUE(network.sent.empty());
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_EQ(main->panel.lblElementMAC.caption(), "00:AA:00:00:00:01");
}

TEST_F(PagingScan, AnswersBecomeTheNewDatabaseAndTheTreeIsRebuiltAtTheEnd) {
    startWith("[00FFFFFFFFFF]\nNAME=OLD\nROLE=1\n");
    main->udpClient.remotePort = 2976;
    main->udpClient.remoteHost = "192.168.1.99";
    dialogs.expect(ports::Answer::Yes);
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);

    auto unicast = ElementAnswer::encoder("192.168.1.50");
    auto multicast = ElementAnswer::encoder("192.168.1.51");
    multicast.f.tx = 1;
    ElementAnswer::setAddress(multicast.f.remote, "239.192.0.1");
    auto decoder = ElementAnswer::decoder("192.168.1.60");
    element(unicast, {0, 0x11, 0, 0, 0, 1});
    element(multicast, {0, 0x11, 0, 0, 0, 2});
    element(decoder, {0, 0x11, 0, 0, 0, 3});
    receive(unicast.bytes());
    receive(multicast.bytes());
    receive(decoder.bytes());
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);  // nothing is rebuilt during the scan

    time.advance(5999);
    EXPECT_TRUE(paging().frmPaging.shown());
    EXPECT_EQ(paging().lblTimeout.caption(), "1");
    time.advance(1);
    EXPECT_FALSE(paging().frmPaging.shown());
    EXPECT_FALSE(main->AutoDiscoverAwaiting);
    EXPECT_EQ(main->udpClient.remotePort, 2976);
    EXPECT_EQ(main->udpClient.remoteHost, "192.168.1.99");
    ASSERT_EQ(main->TreeView1.nodeCount(), 3);
    EXPECT_EQ(main->TreeView1.nodes()[0].text, "STUDIO A         [00:11:00:00:00:01]");
    EXPECT_EQ(main->TreeView1.nodes()[2].image, station::toolbar::kPictureDecoder);

    db->flush();
    EXPECT_EQ(file(),
              "[001100000001]\nNAME=STUDIO A        \nIP=192.168.1.50\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
              "TYPE=16\nTX=0\nREMOTE=192.168.1.91\nROLE=1\nSN=1001\nVER=3.70\nSFN=0\nBUF=0\nATT=200\nLLO=0\n"
              "[001100000002]\nNAME=STUDIO A        \nIP=192.168.1.51\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
              "TYPE=16\nTX=1\nMULTI=239.192.0.1\nROLE=1\nSN=1001\nVER=3.70\nSFN=0\nBUF=0\nATT=200\nLLO=0\n"
              "[001100000003]\nNAME=TX SITE         \nIP=192.168.1.60\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
              "TYPE=16\nTX=0\nMULTI=239.1.1.1\nROLE=2\nSN=2002\nVER=3.70\nSFN=0\nBUF=4\nSDM=0\nSDL=37\nSDT=43\n"
              "DLY=123\nATT=245\nLLO=0\n");
    EXPECT_EQ(db->GetSectionKeyCount("001100000001", kDb), 15);
    EXPECT_EQ(db->GetSectionKeyCount("001100000003", kDb), 19);
}

TEST_F(PagingScan, ASecondAnswerOfTheSameElementOverwritesTheFirst) {
    startWith("");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    auto a = ElementAnswer::encoder();
    element(a, {0, 0x11, 0, 0, 0, 1});
    receive(a.bytes());
    a.setName("RENAMED");
    receive(a.bytes());
    time.advance(6000);
    EXPECT_EQ(read("001100000001", "name"), "RENAMED         ");
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
}

// A link address that is not six bytes (a tunnel's 4, InfiniBand's 20) is no MAC: the answer is
// listed as unresolved, never stored under an empty section that every such element would share.
TEST_F(PagingScan, ALinkAddressOfAnotherLengthIsNoMac) {
    scanFromEmpty();
    receive(ElementAnswer::encoder("192.168.1.50").bytes());
    receive(ElementAnswer::decoder("192.168.1.60").bytes());
    ASSERT_EQ(network.neighbourWatches.size(), 2u);
    auto watches = std::move(network.neighbourWatches);
    network.neighbourWatches.clear();
    for (auto& [id, watch] : watches)
        watch.second({ports::NeighbourTable::State::Complete,
                      std::vector<std::uint8_t>(watch.first == "192.168.1.50" ? 4 : 20, 0x80)});
    dialogs.expect(ports::Answer::Ok, "Local database is empty");
    dialogs.expect(ports::Answer::Ok, "'Element MAC'");
    time.advance(6000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(paging().unresolvedAnswers(),
              (std::vector<std::string>{"192.168.1.50", "192.168.1.60"}));
    EXPECT_EQ(read("", "ip"), "<missing>");
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);
}

TEST_F(PagingScan, NoAnswerEndsWithTheEmptyDatabaseMessage) {
    startWith("");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    dialogs.expect(ports::Answer::Ok, "Please click the 'Auto Discover' icon");
    time.advance(6000);
    EXPECT_TRUE(dialogs.allUsed());
}

// The database a scan replaces is kept beside it, one generation; a scan that cannot page the
// network, or cannot keep that copy, replaces nothing.
TEST_F(PagingScan, TheReplacedDatabaseIsKeptAndAScanThatCannotStartChangesNothing) {
    const std::string old = "[00FFFFFFFFFF]\nNAME=OLD\nROLE=1\n";
    const std::string bak = std::string(kDb) + ".bak";
    startWith(old);

    network.failingHosts.insert("255.255.255.255");
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    dialogs.expect(ports::Answer::Ok, "Unable to send the paging request: Network is unreachable");
    // While the box says why, the list still shows the database, which is as it was.
    int shownWhileSaid = -1;
    dialogs.whileOpen = [&](const ports::MessageBox& box) {
        if (box.text.find("Unable to send") != std::string::npos)
            shownWhileSaid = main->TreeView1.nodeCount();
    };
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    dialogs.whileOpen = nullptr;
    EXPECT_EQ(shownWhileSaid, 1);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_TRUE(paging().stoppedBeforeRequest());
    EXPECT_FALSE(paging().scanning() || main->AutoDiscoverAwaiting);
    EXPECT_EQ(file(), old);
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);

    files.failAt(MemoryFileStore::Step::Write, 1);
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    dialogs.expect(ports::Answer::Ok, "Unable to keep a copy of the local database (" + bak);
    network.failingHosts.clear();
    network.sent.clear();
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_TRUE(network.sent.empty());  // nothing asked that the database could not take
    EXPECT_EQ(file(), old);

    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_FALSE(paging().stoppedBeforeRequest());
    EXPECT_EQ(files.content(bak), old);
    EXPECT_EQ(file(), "");
    auto a = ElementAnswer::encoder();
    element(a, {0, 0x11, 0, 0, 0, 1});
    receive(a.bytes());
    time.advance(6000);
    const std::string found = file();
    ASSERT_NE(found.find("[001100000001]"), std::string::npos);

    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_EQ(files.content(bak), found);  // one generation
}

// A scan abandoned half way (a script interrupted) leaves the database as it was before it.
TEST_F(PagingScan, AnAbandonedScanPutsThePreviousDatabaseBack) {
    for (const bool hadFile : {true, false}) {
        SCOPED_TRACE(hadFile ? "a database" : "no database");
        const std::string old = "[00FFFFFFFFFF]\nNAME=OLD\nROLE=1\n";
        if (hadFile) startWith(old);
        else start(std::nullopt);
        if (hadFile) dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
        dialogs.allowUnexpected = true;  // the empty database's hint
        operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
        auto a = ElementAnswer::encoder();
        element(a, {0, 0x11, 0, 0, 0, 1});
        receive(a.bytes());
        time.advance(1000);
        ASSERT_NE(file().find("[001100000001]"), std::string::npos);
        operatorDoes([&] { paging().abandonScan(); });
        EXPECT_FALSE(paging().scanning() || main->AutoDiscoverAwaiting);
        EXPECT_EQ(file(), hadFile ? old : "<missing>");
        EXPECT_EQ(main->TreeView1.nodeCount(), hadFile ? 1 : 0);
        time.advance(10000);
        EXPECT_EQ(file(), hadFile ? old : "<missing>");
        main.reset();
        files.removeExternally(kDb);
        dialogs.allowUnexpected = false;
    }
}

// A script watches the scan's end and counts the datagrams without taking the window's place:
// its watchers run just before and just after the tree is rebuilt, whether the scan ended or
// was abandoned.
TEST_F(PagingScan, WatchersSeeTheScanEndAroundTheRebuiltTree) {
    startWith("");
    std::vector<std::string> seen;
    paging().scanEnding.connect([&] { seen.push_back("ending " + std::to_string(main->TreeView1.nodeCount())); });
    paging().scanEnded.connect([&] { seen.push_back("ended " + std::to_string(main->TreeView1.nodeCount())); });
    const auto delivered = main->udpClient.deliveredDatagrams();
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    auto a = ElementAnswer::encoder();
    element(a, {0, 0x11, 0, 0, 0, 1});
    receive(a.bytes());
    EXPECT_EQ(main->udpClient.deliveredDatagrams(), delivered + 1);
    time.advance(6000);
    ASSERT_FALSE(paging().scanning());
    EXPECT_EQ(seen, (std::vector<std::string>{"ending 0", "ended 1"}));

    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    operatorDoes([&] { paging().abandonScan(); });
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen.back(), "ended 1");
}

TEST_F(PagingScan, ChangingTheTimeoutRestartsTheScanFromThatMoment) {
    startWith("");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    time.advance(3000);
    EXPECT_EQ(paging().lblTimeout.caption(), "3");
    dialogs.expectInput("10");
    operatorDoes([&] { paging().cmdChangeTimeout.click(); });
    ASSERT_EQ(dialogs.inputsShown().size(), 1u);
    EXPECT_EQ(dialogs.inputsShown()[0].prompt, "Enter timeout in seconds, from 3 to 15:");
    EXPECT_EQ(dialogs.inputsShown()[0].title, "Set scanning timeout");
    EXPECT_EQ(dialogs.inputsShown()[0].proposed, "6");
    EXPECT_EQ(paging().lblTimeout.caption(), "10");
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "ScanTimeout", ""), "10");
    dialogs.expect(ports::Answer::Ok);  // nothing answered: empty database
    time.advance(9999);
    EXPECT_TRUE(paging().frmPaging.shown());
    time.advance(1);
    EXPECT_FALSE(paging().frmPaging.shown());
}

TEST_F(PagingScan, CancelOrAnUnacceptableAnswerChangesNothingButRestartsTheTimers) {
    startWith("");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    time.advance(3000);
    for (const char* answer : {"abc", "2", "16", "", "0", "-5"}) {
        dialogs.expectInput(std::string(answer));
        operatorDoes([&] { paging().cmdChangeTimeout.click(); });
    }
    dialogs.expectInput(std::nullopt);
    operatorDoes([&] { paging().cmdChangeTimeout.click(); });
    EXPECT_FALSE(settings.get("Kestrova", "Vantrelo NG", "ScanTimeout"));
    EXPECT_EQ(paging().lblTimeout.caption(), "3");
    time.advance(5000);
    EXPECT_EQ(paging().lblTimeout.caption(), "-2");  // the countdown goes below zero
    dialogs.expect(ports::Answer::Ok);
    time.advance(1000);
    EXPECT_FALSE(paging().frmPaging.shown());
}

TEST_F(PagingScan, AHandEditedTimeoutOutsideTheRangeCountsAsSix) {
    settings.set("Kestrova", "Vantrelo NG", "ScanTimeout", "0");
    startWith("");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_EQ(paging().lblTimeout.caption(), "6");
    dialogs.expect(ports::Answer::Ok);
    time.advance(6000);
    EXPECT_FALSE(paging().frmPaging.shown());
}

TEST_F(PagingScan, ClosingThePagingWindowByHandEndsTheScan) {
    scanFromEmpty();
    auto a = ElementAnswer::encoder();
    element(a, {0, 0x11, 0, 0, 0, 1});
    receive(a.bytes());
    operatorDoes([&] { paging().frmPaging.closeByOperator(); });
    EXPECT_FALSE(paging().frmPaging.shown());
    EXPECT_FALSE(main->AutoDiscoverAwaiting);
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    time.advance(10000);  // the stopped timers stay quiet
    EXPECT_TRUE(dialogs.shown().empty());
}

// A plant answers faster than the station's neighbour table fills: an answer whose sender has no
// entry yet is resolved while the scan goes on, and stored as soon as its MAC is known.
TEST_F(PagingScan, AnAnswerWithoutMacIsResolvedWhileTheScanGoesOn) {
    scanFromEmpty();
    auto late = ElementAnswer::encoder("192.168.1.50");
    receive(late.bytes());  // nobody in the neighbour table yet
    receive(late.bytes());  // asked again: still one resolution
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(paging().frmPaging.shown());
    ASSERT_EQ(network.neighbourWatches.size(), 1u);
    auto [ip, done] = network.neighbourWatches.begin()->second;
    network.neighbourWatches.clear();
    EXPECT_EQ(ip, "192.168.1.50");
    time.advance(2000);
    done({ports::NeighbourTable::State::Complete, {0, 0x11, 0, 0, 0, 9}});
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);  // still nothing is rebuilt during the scan
    time.advance(4000);
    EXPECT_FALSE(paging().scanning());
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_EQ(read("001100000009", "ip"), "192.168.1.50");
    EXPECT_TRUE(paging().unresolvedAnswers().empty());
}

// What has no MAC when the scan ends is said once, counted and listed, and never stored.
TEST_F(PagingScan, AnswersStillWithoutMacAreReportedOnceAtTheEnd) {
    scanFromEmpty();
    auto found = ElementAnswer::encoder("192.168.1.20");
    element(found, {0, 0x11, 0, 0, 0, 1});
    receive(found.bytes());
    for (int i = 0; i < 12; ++i) receive(ElementAnswer::encoder("192.168.1." + std::to_string(100 + i)).bytes());
    EXPECT_EQ(network.neighbourWatches.size(), 12u);
    // The kernel gives up on the first one; the others are still resolving at the end.
    auto first = network.neighbourWatches.begin();
    auto failed = first->second.second;
    network.neighbourWatches.erase(first);
    failed({ports::NeighbourTable::State::Unreachable, {}});
    EXPECT_TRUE(dialogs.shown().empty());

    dialogs.expect(ports::Answer::Ok, "'Element MAC'");
    time.advance(6000);
    EXPECT_TRUE(dialogs.allUsed());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto& box = dialogs.last();
    EXPECT_EQ(box.text,
              "An error occured while retrieving 'Element MAC':\r12 elements answered the paging, but their MAC "
              "addresses could not be found:\r192.168.1.100, 192.168.1.101, 192.168.1.102, 192.168.1.103, "
              "192.168.1.104, 192.168.1.105, 192.168.1.106, 192.168.1.107, 192.168.1.108, 192.168.1.109 and 2 more "
              "(see the details).\rThey are not in the new database; run the discovery again to find them.");
    EXPECT_EQ(box.title, "Auto Discovery");
    EXPECT_EQ(box.icon, ports::MessageIcon::Critical);  // they are missing from the new database
    EXPECT_NE(box.details.find("192.168.1.111\n"), std::string::npos);
    EXPECT_EQ(paging().unresolvedAnswers().size(), 12u);
    EXPECT_TRUE(network.neighbourWatches.empty());  // nothing is left watching
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_FALSE(paging().scanning());
    time.advance(10000);
    EXPECT_EQ(dialogs.shown().size(), 1u);

    // The next scan starts with a clean slate.
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    EXPECT_TRUE(paging().unresolvedAnswers().empty());
}

// An address the kernel gave up on that answers again once it can be resolved is stored, and
// not listed as missing.
TEST_F(PagingScan, AnAddressGivenUpOnThatAnswersAgainAndResolvesIsFoundAfterAll) {
    scanFromEmpty();
    auto answer = ElementAnswer::encoder("192.168.1.50");
    receive(answer.bytes());
    ASSERT_EQ(network.neighbourWatches.size(), 1u);
    auto failed = network.neighbourWatches.begin()->second.second;
    network.neighbourWatches.clear();
    failed({ports::NeighbourTable::State::Unreachable, {}});
    EXPECT_EQ(paging().unresolvedAnswers(), (std::vector<std::string>{"192.168.1.50"}));
    element(answer, {0, 0x11, 0, 0, 0, 7});
    receive(answer.bytes());
    time.advance(6000);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(paging().unresolvedAnswers().empty());
    EXPECT_EQ(read("001100000007", "ip"), "192.168.1.50");
}

// A later answer from an address still being resolved replaces the earlier one: it is the one
// stored when the address resolves, and the address is resolved once.
TEST_F(PagingScan, ALaterAnswerFromAnAddressStillResolvingIsTheOneStored) {
    scanFromEmpty();
    auto first = ElementAnswer::encoder("192.168.1.50");
    first.setName("OLD NAME");
    receive(first.bytes());
    auto second = ElementAnswer::encoder("192.168.1.50");
    second.setName("NEW NAME");
    receive(second.bytes());
    ASSERT_EQ(network.neighbourWatches.size(), 1u);
    auto done = network.neighbourWatches.begin()->second.second;
    network.neighbourWatches.clear();
    done({ports::NeighbourTable::State::Complete, {0, 0x11, 0, 0, 0, 7}});
    time.advance(6000);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(read("001100000007", "name"), "NEW NAME        ");
}

// Outside a scan the station's own MAC wait is unchanged: a resolution that completes after
// the scan has ended stores nothing.
TEST_F(PagingScan, AResolutionThatEndsAfterTheScanStoresNothing) {
    scanFromEmpty();
    receive(ElementAnswer::encoder("192.168.1.50").bytes());
    ASSERT_EQ(network.neighbourWatches.size(), 1u);
    auto done = network.neighbourWatches.begin()->second.second;
    dialogs.expect(ports::Answer::Ok, "Local database is empty.");
    dialogs.expect(ports::Answer::Ok, "1 element answered the paging, but its MAC address could not be found:\r192.168.1.50\r");
    time.advance(6000);
    EXPECT_TRUE(dialogs.allUsed());
    done({ports::NeighbourTable::State::Complete, {0, 0x11, 0, 0, 0, 9}});
    EXPECT_EQ(file(), "");
    EXPECT_EQ(main->TreeView1.nodeCount(), 0);
}

// A routed site: paged address by address at its pace and only inside its subnet, its elements
// known by role and serial number, merged; the broadcast's Discover then keeps its records.
TEST_F(PagingScan, ASiteIsPagedAtItsPaceInsideItsSubnetAndMergedByIdentity) {
    settings.set("Kestrova", "Vantrelo NG", "Sites", "Hill=10.9.1.0/29");
    startWith("[00AA00000001]\nNAME=LOCAL\nIP=192.168.1.5\nROLE=1\n"
              "[ENCODER-SN0000000777]\nNAME=GONE\nIP=10.9.1.3\nROLE=1\nSN=777\n");
    dialogs.clearShown();
    network.sent.clear();
    const auto plan = discovery::planSiteScan(station::loadSites(settings), {}, 100, 6);
    EXPECT_EQ(plan.addresses, 6u);
    EXPECT_EQ(plan.summary(), "Scanning 1 site pages 6 addresses, 100 a second: about 7 seconds.");
    operatorDoes([&] { paging().StartSiteScan(plan.subnets, plan.rate); });
    EXPECT_EQ(network.sent.size(), 1u);  // one now, the rest at 100 a second
    time.advance(20);
    EXPECT_EQ(network.sent.size(), 3u);
    time.advance(40);
    ASSERT_EQ(network.sent.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(network.sent[i].host, "10.9.1." + std::to_string(i + 1));
        EXPECT_EQ(network.sent[i].port, 1901);
        EXPECT_EQ(std::string(network.sent[i].bytes.begin(), network.sent[i].bytes.end()),
                  "IPMPXSTL KESTROVA PAGING REQUEST");
    }
    // Behind the router: no MAC ever resolves. An answer from outside the subnet is not the scan's.
    receive(ElementAnswer::decoder("10.9.1.2").bytes());
    receive(ElementAnswer::decoder("10.9.2.2").bytes());
    time.advance(6000);
    EXPECT_FALSE(paging().scanning());
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(read("DECODER-SN0000002002", "ip"), "10.9.1.2");
    EXPECT_EQ(read("ENCODER-SN0000000777", "name"), "GONE");  // kept, said as not found
    EXPECT_EQ(paging().notFound(), std::vector<std::string>{"ENCODER-SN0000000777"});
    EXPECT_EQ(read("00AA00000001", "name"), "LOCAL");  // outside the site: untouched
    EXPECT_EQ(main->TreeView1.nodeCount(), 3);

    // The broadcast replaces the segment's records only.
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    time.advance(6000);
    EXPECT_EQ(read("00AA00000001", "name"), "<missing>");
    EXPECT_EQ(read("DECODER-SN0000002002", "ip"), "10.9.1.2");
    EXPECT_EQ(read("ENCODER-SN0000000777", "name"), "GONE");
}

// A station that stalls (a box, a slow disk) picks the pace up again from then: what it missed is
// not sent in a burst afterwards, which is what the pace keeps the routers from.
TEST_F(PagingScan, ASiteScanAfterAStallKeepsItsPaceInsteadOfCatchingUp) {
    settings.set("Kestrova", "Vantrelo NG", "Sites", "Hill=10.9.1.0/24");
    startWith("[00AA00000001]\nNAME=LOCAL\nIP=192.168.1.5\nROLE=1\n");
    network.sent.clear();
    operatorDoes([&] { paging().StartSiteScan(station::loadSites(settings)[0].subnets, 100); });
    ASSERT_EQ(network.sent.size(), 1u);
    gate.hold(ports::EventGate::Kind::Timer);
    time.advance(3000);
    gate.release(ports::EventGate::Kind::Timer);
    EXPECT_EQ(network.sent.size(), 11u);  // a tenth of a second's worth at most
    time.advance(100);
    EXPECT_LE(network.sent.size(), 22u);  // then 100 a second again
    EXPECT_GE(network.sent.size(), 19u);
}

// With the link down every request is refused: the scan stops after its first ones and says why
// once, instead of running through the subnet's refusals.
TEST_F(PagingScan, ASiteScanWhoseRequestsAreAllRefusedStopsAndSaysWhy) {
    settings.set("Kestrova", "Vantrelo NG", "Sites", "Hill=10.9.1.0/27");
    startWith("[00AA00000001]\nNAME=LOCAL\nIP=192.168.1.5\nROLE=1\n");
    dialogs.clearShown();
    for (int host = 1; host <= 30; ++host) network.failingHosts.insert("10.9.1." + std::to_string(host));
    dialogs.expect(ports::Answer::Ok, "Unable to send the paging request");
    operatorDoes([&] { paging().StartSiteScan(station::loadSites(settings)[0].subnets, 10000); });
    time.advance(100);
    EXPECT_FALSE(paging().scanning());
    EXPECT_FALSE(main->AutoDiscoverAwaiting);
    EXPECT_EQ(paging().requestsRefused(), 20u);
    ASSERT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.last().text, "Unable to send the paging request: Network is unreachable\rThe scan stopped; "
                                   "no element was asked and the database was not changed.");
}

}  // namespace
}  // namespace nms::testing
