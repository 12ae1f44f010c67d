#include "stats/frm_statistics.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "protocol/statistics.h"
#include "store/profile_store.h"
#include "support/fake_network.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/station_on_fakes.h"
#include "support/virtual_time.h"

namespace nms::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kDb = "/db/nms.ini";
constexpr const char* kEncoder = "00:AA:00:00:00:01";
constexpr const char* kDecoder = "00:AA:00:00:00:02";
constexpr const char* kOtherDecoder = "00:AA:00:00:00:03";
constexpr const char* kDatabase =
    "[00AA00000001]\nNAME=ENC             \nIP=192.168.1.50\nROLE=1\nSFN=0\nSDM=0\n"
    "[00AA00000002]\nNAME=DEC\nIP=192.168.1.60\nROLE=2\nSFN=1\nSDM=3\n"
    "[00AA00000003]\nNAME=DEC2\nIP=192.168.1.70\nROLE=2\n";
const Bytes kGetStats = {'G', 'e', 't', 'S', 't', 'a', 't', 's'};
const Bytes kRstStats = {'R', 's', 't', 'S', 't', 'a', 't', 's'};

Bytes statsReply(std::int32_t audioFrames, std::uint16_t alarm = 0, bool decoderLayout = true,
                 std::size_t length = 66) {
    protocol::StatisticsFields f;
    f.txFramesOk = 1197, f.txFramesErr = 3;
    f.audioFramesOk = audioFrames;
    f.alarmWord = alarm;
    f.ethernetWord = 0x0500;
    f.measuredDelay = 1000, f.additionalLatency = 250;
    Bytes d = protocol::encodeStatistics(f, decoderLayout);
    d.resize(length, 0xFF);
    return d;
}

class StatisticsWindow : public ::testing::Test, protected StationWorld {
protected:
    ports::Label lblElementType;
    std::unique_ptr<stats::frmStatistics> win;  // goes before the context

    StatisticsWindow() : StationWorld(kDb) {
        files.editExternally(kDb, kDatabase);
        win = std::make_unique<stats::frmStatistics>(ctx);
    }
    void open(const char* mac, const char* type) {
        ctx.setShownElement(mac);
        lblElementType.setCaption(type);
        win->open();
        if (!network.sent.empty()) shownIp = network.sent.back().host;
    }
    // A datagram from the shown element, unless another sender is named.
    void receive(Bytes bytes, const std::string& from = "") {
        network.deliver(2978, std::move(bytes), from.empty() ? shownIp : from);
    }
    std::string shownIp;
    std::vector<Bytes> sent() const {
        std::vector<Bytes> out;
        for (const auto& s : network.sent) out.push_back(s.bytes);
        return out;
    }
};

TEST_F(StatisticsWindow, OpeningBindsPort2978AndAsksOnce) {
    open(kEncoder, "ENCODER");
    EXPECT_EQ(network.bound(),
              (std::vector<std::pair<std::string, std::uint16_t>>{{"0.0.0.0", 2978}}));
    EXPECT_EQ(win->frmStats.caption(), "ENC             :");
    ASSERT_EQ(sent(), std::vector<Bytes>{kGetStats});
    EXPECT_EQ(network.sent[0].host, "192.168.1.50");
    EXPECT_EQ(network.sent[0].port, 2978);
    time.advance(10000);  // no reply, no time-out, no request of its own
    EXPECT_EQ(network.sent.size(), 1u);
    win->cmdRefreshStats.click();
    EXPECT_EQ(sent(), std::vector<Bytes>(2, kGetStats));
}

TEST_F(StatisticsWindow, RepliesPaintTheWindowAndOversizedOnesAreDropped) {
    open(kEncoder, "ENCODER");
    receive(statsReply(0, 0x0100, false, 44));
    EXPECT_EQ(win->lblMACTxErr.caption(), "3 (0.25%)");
    EXPECT_EQ(win->lblAudio.backColor(), ports::rgb(255, 0, 0));
    EXPECT_EQ(win->lblAudio.toolTip(), "Silence detector is triggered.");
    EXPECT_EQ(win->lblClock.backColor(), ports::kSystemButtonFace);
    EXPECT_EQ(win->lblEthernet.backColor(), ports::rgb(0, 255, 0));
    EXPECT_EQ(win->lblEthernet.caption(), " 100 Full ");
    EXPECT_EQ(win->lblPTPLatency.caption(), "-");  // not SFN: PTP labels stay

    win->Form_Unload();
    open(kDecoder, "DECODER");
    receive(statsReply(0, 0x8C00));
    EXPECT_EQ(win->lblClock.backColor(), ports::kRed);
    EXPECT_EQ(win->lbl1PPS.backColor(), ports::kRed);
    EXPECT_TRUE(win->lblOMAlarmsList.visible());
    EXPECT_EQ(win->lblOMAlarmsList.caption(), "3072");
    EXPECT_EQ(win->lblPTPLatency.caption(), "1250 nS");

    const auto record = win->record;
    const auto text = win->snapshotText();
    receive(statsReply(9999, 0x0000, true, 67));
    EXPECT_EQ(win->record, record);
    EXPECT_EQ(win->snapshotText(), text);
    receive(statsReply(9999, 0x0000, true, 66));
    EXPECT_FALSE(win->lblOMAlarmsList.visible());
}

TEST_F(StatisticsWindow, FrameRateRunsOnTheTickCountAcrossWindowsAndElements) {
    time.advance(2000);
    open(kDecoder, "DECODER");
    receive(statsReply(2000));  // measured from tick 0 and count 0
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "2000 (1000 pps)");
    receive(statsReply(2500));  // no time has passed
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "2500");

    // Closed, another decoder shown, opened again: measured from the last reply all the same.
    win->form.closeByOperator();
    time.advance(1000);
    open(kOtherDecoder, "DECODER");
    receive(statsReply(3000));
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "3000 (500 pps)");
    time.advance(1000);
    receive(statsReply(10));  // the element's counters were reset
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "10");
    time.advance(1000);
    receive(statsReply(1010));
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "1010 (1000 pps)");

    // The 32-bit tick count wraps after about 49.7 days.
    time.advance(4294967296LL - time.monotonicMs() - 1000);
    receive(statsReply(1010));
    time.advance(2000);
    ASSERT_EQ(ctx.clock().tickCount(), 1000u);
    receive(statsReply(3010));
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "3010 (1000 pps)");
}

TEST_F(StatisticsWindow, ClearAsksFirstAndSendsOnlyTheReset) {
    open(kEncoder, "ENCODER");
    network.sent.clear();
    dialogs.expect(ports::Answer::No);
    win->cmdResetStats.click();
    const auto& box = dialogs.last();
    EXPECT_EQ(box.text, "You will reset all counters to zero.\rAre you sure?");
    EXPECT_EQ(box.title, "Reset counters");
    EXPECT_EQ(box.icon, ports::MessageIcon::Question);
    EXPECT_EQ(box.buttons, ports::MessageButtons::YesNo);
    EXPECT_EQ(box.defaultButton, ports::Answer::No);
    EXPECT_TRUE(network.sent.empty());
    dialogs.expect(ports::Answer::Yes);
    win->cmdResetStats.click();
    EXPECT_EQ(sent(), std::vector<Bytes>{kRstStats});
}

// A port that cannot be bound ends the program with the fixed sentence; a request the network
// refuses (a cable out) is said once with its reason, and the station goes on.
TEST_F(StatisticsWindow, OnlyAPortThatCannotBeBoundEndsTheProgram) {
    for (const bool occupied : {true, false}) {
        SCOPED_TRACE(occupied ? "bind" : "first request");
        ports::EventGate g;
        FakeLifecycle life;
        FakeNetwork net;
        if (occupied) net.occupiedPorts[2978] = "Address in use";
        net.failingHosts.insert("192.168.1.50");
        station::StationEnv e{time, time, g, dialogs, settings, lock, life, net, db, kDb, ""};
        station::StationContext context(e);
        context.setShownElement(kEncoder);
        stats::frmStatistics w(context);
        dialogs.expect(ports::Answer::Ok);
        w.open();
        EXPECT_EQ(dialogs.last().text, occupied ? "Error 2: Unable to use UDP port 2978: occupied."
                                                : "Error 2: Unable to use UDP port 2978: Network is unreachable");
        EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Critical);
        EXPECT_EQ(life.exits, occupied ? std::vector<int>{station::kExitSocketFailure} : std::vector<int>{});
        EXPECT_EQ(net.bound().empty(), occupied);
        if (occupied) continue;
        // Auto refresh would ask every second: the failure stops it, so it is said once.
        dialogs.expect(ports::Answer::Ok, "Network is unreachable");
        w.chkAutoRefresh.setChecked(true, ports::Origin::Operator);
        time.advance(5000);
        EXPECT_TRUE(dialogs.allUsed());
        EXPECT_FALSE(w.chkAutoRefresh.checked() || w.tmrAutoRefresh.enabled());
        EXPECT_TRUE(w.isOpen());
        w.Form_Unload();
    }
}

TEST_F(StatisticsWindow, ARecordWithoutAnAddressSendsNothingAndSaysSo) {
    files.editExternally(kDb, "[00AA00000001]\nNAME=ENC\nROLE=1\n");
    open(kEncoder, "ENCODER");
    dialogs.expect(ports::Answer::Yes);
    win->cmdResetStats.click();
    EXPECT_TRUE(network.sent.empty());
    EXPECT_EQ(win->lblStatus.caption(), "No address is stored for this element.");
    EXPECT_TRUE(lifecycle.exits.empty());
    files.editExternally(kDb, kDatabase);
    win->cmdRefreshStats.click();
    EXPECT_EQ(sent(), std::vector<Bytes>{kGetStats});
    EXPECT_EQ(win->lblStatus.caption(), "");
}

TEST_F(StatisticsWindow, AutoRefreshAsksOnceASecondWhileTickedAndTheWindowIsOpen) {
    open(kEncoder, "ENCODER");
    network.sent.clear();
    win->chkAutoRefresh.setChecked(true, ports::Origin::Operator);
    time.advance(3500);
    EXPECT_EQ(network.sent.size(), 3u);
    win->chkAutoRefresh.setChecked(false, ports::Origin::Operator);
    time.advance(3000);
    EXPECT_EQ(network.sent.size(), 3u);

    win->chkAutoRefresh.setChecked(true, ports::Origin::Operator);
    win->form.closeByOperator();
    EXPECT_FALSE(win->isOpen() || win->chkAutoRefresh.checked() || win->tmrAutoRefresh.enabled());
    EXPECT_TRUE(network.bound().empty());  // the port is free for the SFN window
    time.advance(5000);
    EXPECT_EQ(network.sent.size(), 3u);

    open(kEncoder, "ENCODER");
    win->chkAutoRefresh.setChecked(true, ports::Origin::Operator);
    ctx.endProgram(1);
    EXPECT_FALSE(win->tmrAutoRefresh.enabled());
    EXPECT_TRUE(network.bound().empty());
}

TEST_F(StatisticsWindow, CopyGivesThePlainTextOfTheWindow) {
    std::string copied;
    win->onCopy = [&](const std::string& text) { copied = text; };
    open(kDecoder, "DECODER");
    time.advance(5000);
    receive(statsReply(5000, 0x8C00));
    win->cmdCopy.click();
    EXPECT_EQ(copied,
              "Element: DEC (00:AA:00:00:00:02)\n"
              "Time: 2026-01-01T00:00:05Z\n"
              "Good TX Frames: 1197\n"
              "Good RX Frames: 0\n"
              "Bad TX Frames: 3 (0.25%)\n"
              "Bad RX Frames: 0 (0%)\n"
              "Good PTP Sync: 0\n"
              "Bad PTP Sync: 0\n"
              "Clock Difference: 0 nS\n"
              "Measured delay: 1250 nS\n"
              "OK Audio Frames: 5000 (1000 pps)\n"
              "Bad Audio Frames: 0 (0%)\n"
              "AUDIO: green, Packet loss detector is not triggered.\n"
              "10MHz: red, 10 MHz signal is problematic. See next error code.\n"
              "1PPS: red, 1 PPS signal is missing or is constantly HIGH.\n"
              "ETH (100 Full): green, ETH connected.\n"
              "Active alarms / status: 3072\n");
}

// Port 2978 is shared with the plant monitor and open to anyone: only the shown element's
// reply may stand under its name.
TEST_F(StatisticsWindow, OnlyTheShownElementsReplyIsTakenAnythingElseIsIgnoredAndCounted) {
    open(kDecoder, "DECODER");
    receive(statsReply(7777), "192.168.1.50");  // the encoder, answering someone else
    receive(statsReply(8888), "10.9.9.9");
    EXPECT_EQ(win->lblAudioRxFramesOK.caption(), "-");
    EXPECT_FALSE(win->lastView().has_value());
    EXPECT_EQ(win->ignoredReplies(), 2u);
    receive(statsReply(5000));
    EXPECT_EQ(win->lblMACTxOK.caption(), "1197");
    EXPECT_EQ(win->ignoredReplies(), 2u);

    // The monitor's poll of this very element was still unanswered when the window took the
    // port. Its answer looks like the window's and may overtake it: the window asks only once
    // it has come, or once the monitor would have given up on it.
    win->form.closeByOperator();
    ctx.port2978().setBackground({[this] {
                                      return std::vector<station::ElementSocket::OwedReply>{
                                          {"192.168.1.60", time.monotonicMs() + 500}};
                                  },
                                  [] {}});
    network.sent.clear();
    open(kDecoder, "DECODER");
    EXPECT_TRUE(network.sent.empty());
    EXPECT_EQ(win->ignoredReplies(), 0u);  // counted per opening
    receive(statsReply(6000));
    EXPECT_EQ(win->lblMACTxOK.caption(), "-");
    EXPECT_EQ(win->ignoredReplies(), 1u);
    time.advance(1);
    ASSERT_EQ(sent(), std::vector<Bytes>{kGetStats});
    receive(statsReply(6000));
    EXPECT_EQ(win->lblMACTxOK.caption(), "1197");

    win->form.closeByOperator();
    network.sent.clear();
    open(kDecoder, "DECODER");
    time.advance(499);
    EXPECT_TRUE(network.sent.empty());
    time.advance(1);  // never came
    EXPECT_EQ(sent(), std::vector<Bytes>{kGetStats});
}

TEST_F(StatisticsWindow, EachOpeningStartsWithoutThePreviousElementsFigures) {
    std::string copied;
    win->onCopy = [&](const std::string& text) { copied = text; };
    open(kDecoder, "DECODER");  // SFN on
    receive(statsReply(5000, 0x8C00));
    ASSERT_EQ(win->lblPTPLatency.caption(), "1250 nS");
    win->form.closeByOperator();

    open(kOtherDecoder, "DECODER");  // SFN off: a reply leaves the PTP figures alone
    for (const auto& row : win->figureRows()) EXPECT_EQ(row.figure.caption(), "-") << row.caption.caption();
    EXPECT_EQ(win->lblClock.backColor(), ports::kSystemButtonFace);
    EXPECT_EQ(win->lblOMAlarmsList.caption(), "-");
    EXPECT_FALSE(win->lastView().has_value());
    receive(statsReply(6000));
    EXPECT_EQ(win->lblMACTxOK.caption(), "1197");
    win->cmdCopy.click();
    EXPECT_NE(copied.find("Good PTP Sync: -\nBad PTP Sync: -\nClock Difference: -\nMeasured delay: -\n"),
              std::string::npos)
        << copied;
}

}  // namespace
}  // namespace nms::testing
