// A host on the station's segment that sprays port 2976 while a box or the MAC wait is open:
// what is queued stays bounded, and the operator gets one box per event, not one per datagram.
#include "discovery/paging.h"
#include "packets.h"
#include "station/main_toolbar.h"
#include "station_fixture.h"

namespace nms::testing {
namespace {

using Kind = ports::EventGate::Kind;

constexpr const char* kEncoderRecord =
    "[00AA00000001]\nNAME=STUDIO A        "
    "\nIP=192.168.1.50\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
    "TYPE=16\nTX=0\nREMOTE=192.168.1.91\nROLE=1\nSN=1001\nVER=3.70\nSFN=0\nBUF=0\nATT=200\nLLO=0\n";
constexpr const char* kSerialRejected =
    "An error occured while retrieving 'Serial Number':\rFeedback is corrupted.";
constexpr const char* kNoMac =
    "An error occured while retrieving 'Element MAC':\rFeedback is corrupted.";

std::vector<std::uint8_t> rejectedAnswer(int i = 0) {
    auto a = ElementAnswer::encoder("192.168.1." + std::to_string(100 + i % 100));
    a.f.sn = 0;
    return a.bytes();
}

// Plausible in every byte, from an address nobody has paged and no neighbour answers for.
std::vector<std::uint8_t> strangerAnswer(int i) {
    return ElementAnswer::encoder("10.9." + std::to_string(i / 250) + "." +
                                  std::to_string(1 + i % 250))
        .bytes();
}

class HostileInput : public StationTest {
protected:
    void SetUp() override {
        startRunning(kEncoderRecord);
        network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
    }
    void showElement() {
        show(0);
        ASSERT_EQ(main->panel.lblElementMAC.caption(), "00:AA:00:00:00:01");
    }
    // Runs `spray` while the first box is open, and `laterBoxes` while any later one is.
    void whileFirstBoxIsOpen(std::function<void()> spray) {
        dialogs.whileOpen = [this, spray = std::move(spray),
                             done = false](const ports::MessageBox&) mutable {
            if (std::exchange(done, true)) {
                if (laterBoxes) laterBoxes();
                return;
            }
            spray();
            peakQueue = std::max(peakQueue, gate.queued());
        };
    }
    std::function<void()> laterBoxes;
    std::size_t peakQueue = 0;
};

TEST_F(HostileInput, LengthsTheStationNeverHandlesAreDroppedBeforeTheyAreQueued) {
    dialogs.expect(ports::Answer::Ok, "'Serial Number'");
    whileFirstBoxIsOpen([&] {
        for (int i = 0; i < 10000; ++i) {
            const std::size_t lengths[] = {0, 4, 57, 600, 1201};
            receive(std::vector<std::uint8_t>(lengths[i % 5], 0xFF));
        }
    });
    receive(rejectedAnswer());
    EXPECT_EQ(peakQueue, 0u);
    EXPECT_EQ(main->udpClient.refusedDatagrams(), 10000u);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{kSerialRejected});
}

TEST_F(HostileInput, RejectionsWhileABoxIsOpenAreCountedAndSaidOnce) {
    dialogs.expect(ports::Answer::Ok, "'Serial Number'");
    dialogs.expect(ports::Answer::Ok);
    whileFirstBoxIsOpen([&] {
        for (int i = 0; i < 12; ++i) receive(rejectedAnswer(i));
    });
    receive(rejectedAnswer());
    EXPECT_EQ(peakQueue, 0u) << "a rejected answer is counted, never queued";
    ASSERT_EQ(dialogs.texts(),
              (std::vector<std::string>{
                  kSerialRejected, "12 more answers were rejected while this message was open."}));
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Exclamation);
    EXPECT_EQ(dialogs.last().title, station::kApplicationTitle);

    // The next rejection, alone, gets its own box again, and nothing more.
    dialogs.clearShown();
    dialogs.whileOpen = nullptr;
    dialogs.expect(ports::Answer::Ok, "'Serial Number'");
    receive(rejectedAnswer());
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{kSerialRejected});
    EXPECT_TRUE(dialogs.allUsed());
}

TEST_F(HostileInput, OneRejectionIsSaidInTheSingular) {
    dialogs.expect(ports::Answer::Ok, "'Serial Number'");
    dialogs.expect(ports::Answer::Ok, "1 more answer was rejected while this message was open.");
    whileFirstBoxIsOpen([&] { receive(rejectedAnswer(1)); });
    receive(rejectedAnswer());
    EXPECT_TRUE(dialogs.allUsed());
}

// One plausible answer from outside a scan opens the MAC wait; a flood meanwhile must neither
// grow the queue nor cost a wait per answer afterwards.
TEST_F(HostileInput, AFloodDuringTheMacWaitCostsOneWaitAndTwoBoxes) {
    receive(strangerAnswer(0));
    ASSERT_TRUE(main->waiting().isOpen());
    for (int i = 1; i <= 1000; ++i) receive(i % 10 == 0 ? strangerAnswer(i) : rejectedAnswer(i));
    EXPECT_EQ(gate.queued(Kind::Datagram), ports::EventGate::kDatagramQueueLimit);
    EXPECT_EQ(gate.dropped(Kind::Datagram), 100u - 64u);

    dialogs.expect(ports::Answer::Ok, "'Element MAC'");
    dialogs.expect(ports::Answer::Ok);
    time.advance(21000);
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(gate.queued(), 0u);
    ASSERT_EQ(dialogs.texts(),
              (std::vector<std::string>{
                  kNoMac, "964 more answers were rejected while this message was open."}));
    // Nothing is left to wait for: no second MAC wait, no further box.
    time.advance(60000);
    EXPECT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(file(), kEncoderRecord);
}

TEST_F(HostileInput, TheElementsOwnAnswerQueuedBehindAForgedOneIsStillConfirmed) {
    showElement();
    receive(strangerAnswer(0));  // arrives just before the element's answer
    ASSERT_TRUE(main->waiting().isOpen());
    auto genuine = ElementAnswer::encoder();
    genuine.f.sn = 4242;
    receive(genuine.bytes());

    dialogs.expect(ports::Answer::Ok, "'Element MAC'");
    dialogs.expect(ports::Answer::Ok, "New configuration has been sucessfuly saved and loaded!");
    time.advance(21000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(read("00AA00000001", "sn"), "4242");
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
}

// During a scan the scan ends on time: what was queued behind a box is handled without boxes of
// its own, the scan's end is not pushed back, and the count follows it.
TEST_F(HostileInput, AFloodDuringAScanDelaysNeitherItsEndNorStoresAnyoneButTheElements) {
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    operatorDoes([&] { main->Toolbar1.click(station::toolbar::kDiscover); });
    ASSERT_TRUE(main->paging().scanning());
    dialogs.clearShown();

    auto element = ElementAnswer::encoder("192.168.1.50");
    bool scanOverBeforeCount = false;
    laterBoxes = [&] { scanOverBeforeCount = !main->paging().scanning(); };
    dialogs.expect(ports::Answer::Ok, "'Serial Number'");
    // The strangers answered but have no MAC: they are listed once, at the scan's end.
    dialogs.expect(ports::Answer::Ok, "49 elements answered the paging, but their MAC addresses could not be found");
    dialogs.expect(ports::Answer::Ok, "more answers were rejected while this message was open.");
    whileFirstBoxIsOpen([&] {
        receive(element.bytes());
        for (int i = 1; i < 100000; ++i) {
            // Rejected answers, junk of every length, answers from strangers.
            if (i % 2000 == 0)
                receive(strangerAnswer(i / 2000));
            else
                receive(i % 3 == 0 ? rejectedAnswer(i) : std::vector<std::uint8_t>(i % 1300, 0x5B));
        }
        time.advance(6000);  // the scan's time is over while the box is still open
    });
    receive(rejectedAnswer());
    EXPECT_LE(peakQueue, ports::EventGate::kDatagramQueueLimit + 2);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.shown().size(), 3u) << ::testing::PrintToString(dialogs.texts());
    EXPECT_TRUE(scanOverBeforeCount);
    EXPECT_FALSE(main->paging().scanning());
    EXPECT_EQ(main->TreeView1.nodeCount(), 1);
    EXPECT_EQ(read("00AA00000001", "ip"), "192.168.1.50");
}

TEST_F(HostileInput, AFloodWhileAnotherBoxIsOpenQueuesNoMoreThanTheLimit) {
    // The reply time-out's box says nothing about feedback: what arrives meanwhile is queued,
    // up to the limit, and handled afterwards as a run behind the first rejection.
    dialogs.allowUnexpected = true;
    whileFirstBoxIsOpen([&] {
        for (int i = 0; i < 5000; ++i) receive(rejectedAnswer(i));
    });
    operatorDoes([&] { main->exchange().timerRemoteSent_Timer(); });
    EXPECT_EQ(peakQueue, ports::EventGate::kDatagramQueueLimit);
    EXPECT_EQ(gate.dropped(Kind::Datagram), 5000u - 64u);
    ASSERT_EQ(dialogs.texts().size(), 3u);
    EXPECT_EQ(dialogs.texts()[1], kSerialRejected);
    EXPECT_EQ(dialogs.texts()[2], "63 more answers were rejected while this message was open.");
}

}  // namespace
}  // namespace nms::testing
