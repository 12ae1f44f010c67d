#include "sfn/frm_adjust.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "protocol/delay.h"
#include "store/profile_store.h"
#include "support/fake_network.h"
#include "support/fakes.h"
#include "support/memory_file_store.h"
#include "support/scripted_dialogs.h"
#include "support/station_on_fakes.h"
#include "support/virtual_time.h"

namespace nms::sfn {
namespace {

using namespace nms::testing;
using Bytes = std::vector<std::uint8_t>;
using ports::Answer;
using ports::Origin;

constexpr const char* kDb = "/db/nms.ini";
constexpr const char* kDecoder = "NAME=DEC\nIP=192.168.1.60\nROLE=2\nSFN=1\n";
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
const Bytes kGetDel{'G', 'e', 't', 'D', 'e', 'l'};
const Bytes kRstStats{'R', 's', 't', 'S', 't', 'a', 't', 's'};
const std::string kError4 =
    "Error 4 while retrieving values. Please reset the device and try again.";

Bytes delayReply(std::int32_t avg, std::int32_t min, std::int32_t max, std::int32_t additional = 0,
                 std::int32_t servo = 0, bool servoOn = false) {
    return protocol::encodeDelayReply({avg, min, max, additional, servo, servoOn});
}

class AdjustTest : public ::testing::Test, protected StationWorld {
protected:
    ports::Label lblElementType;
    frmAdjust adjust{ctx};

    AdjustTest() : StationWorld(kDb) {
        ctx.setShownElement("00:AA:00:00:00:02");
        lblElementType.setCaption("DECODER");
    }
    // Opens the window on a record (written as if by hand), closing it first when open.
    void open(const std::string& record = kDecoder) {
        adjust.form.closeByOperator();
        files.editExternally(kDb, "[00AA00000002]\n" + record);
        adjust.open();
    }
    // A datagram from the decoder's address, unless another sender is named.
    void receive(Bytes bytes, const std::string& from = "192.168.1.60") {
        network.deliver(2978, std::move(bytes), from);
    }
    std::string stored(const std::string& key) {
        return db.ReadFromINI("00AA00000002", key, kDb, "-");
    }
    std::vector<Bytes> sent() const {
        std::vector<Bytes> out;
        for (const auto& s : network.sent) out.push_back(s.bytes);
        return out;
    }
    // A reply that repeats the window's choice, but for what it is asked to change.
    Bytes replyChanging(bool bar, bool servo) {
        const int steps = adjust.scrlAdditionalDelay.value() + (bar ? 1 : 0);
        return delayReply(1000, 900, 1100, steps * 100, 0, adjust.chkAutoServo.checked() != servo);
    }
};

TEST_F(AdjustTest, OpeningShowsTheStoredChoiceAndAsksForTheDelaysOnPort2978) {
    settings.set("Kestrova", "Vantrelo", "AutoClearCounters", "1");
    open(std::string(kDecoder) + "DLY=1234\nSRV=1\n");
    EXPECT_EQ(adjust.form.caption(), "SFN Adjustment - DEC");
    EXPECT_EQ(adjust.lblAdditionalDelay.caption(), "123 uS, 400 nS");
    EXPECT_TRUE(adjust.chkAutoServo.checked() && adjust.chkAutoClear.checked());
    EXPECT_EQ(adjust.lblFixedLatencyMAC.caption(), "-");
    ASSERT_EQ(sent(), std::vector<Bytes>{kGetDel});
    EXPECT_EQ(network.sent[0].host, "192.168.1.60");
    EXPECT_EQ(network.sent[0].port, 2978);
    EXPECT_EQ(network.sent[0].localPort, 2978);
    // A stored delay the bar cannot show is limited to its range.
    for (const auto& [dly, value] : std::vector<std::pair<std::string, int>>{
             {"-5", 0}, {"30000", 25000}, {"99999999999999999999999999", 25000}, {"abc", 0}}) {
        open(std::string(kDecoder) + "DLY=" + dly + "\n");
        EXPECT_EQ(adjust.AdditionalDelay, value * 100) << dly;
    }
}

TEST_F(AdjustTest, SetSendsTheDelayAndServoThenAutoClearResetsOnce250msLater) {
    open();
    network.sent.clear();
    adjust.scrlAdditionalDelay.setValue(1234, Origin::Operator);
    adjust.cmdSet.click();
    adjust.chkAutoClear.setChecked(true, Origin::Operator);
    EXPECT_EQ(settings.get("Kestrova", "Vantrelo", "AutoClearCounters"), "1");
    adjust.chkAutoServo.setChecked(true, Origin::Operator);
    adjust.scrlAdditionalDelay.setValue(25000, Origin::Operator);
    adjust.cmdSet.click();
    time.advance(249);
    EXPECT_EQ(network.sent.size(), 2u);
    time.advance(5000);
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0x53, 0x00, 0x01, 0xE2, 0x08, 0x00},
                                          {0x53, 0x00, 0x26, 0x25, 0xA0, 0x01},
                                          kRstStats}));
}

TEST_F(AdjustTest, ClearAsksFirstAndOnlyYesResetsTheCounters) {
    open();
    network.sent.clear();
    dialogs.expect(Answer::No, "You will reset all counters to zero.\rAre you sure?");
    adjust.cmdResetStats.click();
    EXPECT_EQ(dialogs.last().title, "Reset counters");
    EXPECT_EQ(dialogs.last().defaultButton, Answer::No);
    EXPECT_TRUE(network.sent.empty());
    dialogs.expect(Answer::Yes);
    adjust.cmdResetStats.click();
    EXPECT_EQ(sent(), std::vector<Bytes>{kRstStats});
}

TEST_F(AdjustTest, AutoRefreshesEverySecondUntilAStopRule) {
    open();
    network.sent.clear();
    adjust.chkAutoUpdate.setChecked(true, Origin::Operator);
    time.advance(2999);
    EXPECT_EQ(sent(), (std::vector<Bytes>{kGetDel, kGetDel}));
    receive(replyChanging(false, false));  // changes nothing, so refreshing goes on
    EXPECT_TRUE(adjust.Timer2.enabled());

    auto& bar = adjust.scrlAdditionalDelay;
    auto& servo = adjust.chkAutoServo;
    const std::pair<const char*, std::function<void()>> stops[] = {
        {"unchecking &Auto", [&] { adjust.chkAutoUpdate.setChecked(false, Origin::Operator); }},
        {"&Set", [&] { adjust.cmdSet.click(); }},
        {"&Clear answered No",
         [&] {
             dialogs.expect(Answer::No);
             adjust.cmdResetStats.click();
         }},
        {"the operator moves the bar", [&] { bar.setValue(bar.value() + 1, Origin::Operator); }},
        {"the operator drags the thumb", [&] { bar.onScroll(); }},
        {"a reply moves the bar", [&] { receive(replyChanging(true, false)); }},
        {"the operator changes the servo",
         [&] { servo.setChecked(!servo.checked(), Origin::Operator); }},
        {"a reply changes the servo", [&] { receive(replyChanging(false, true)); }},
        {"Auto clea&r counters", [&] { adjust.chkAutoClear.setChecked(true, Origin::Operator); }},
    };
    for (const auto& [what, stop] : stops) {
        adjust.chkAutoUpdate.setChecked(true, Origin::Operator);
        stop();
        EXPECT_FALSE(adjust.chkAutoUpdate.checked() || adjust.Timer2.enabled()) << what;
    }
}

TEST_F(AdjustTest, ReplyAdditionalDelayBecomesTheBarValueHalvesToEvenWithinRange) {
    open();
    const std::pair<std::int32_t, int> cases[] = {
        {3000000, 25000}, {-100, 0}, {150, 2}, {250, 2}, {350, 4}, {123400, 1234}, {-kMax - 1, 0}};
    for (const auto& [field, value] : cases) {
        receive(delayReply(1000, 900, 1100, field));
        EXPECT_EQ(adjust.scrlAdditionalDelay.value(), value) << field;
        EXPECT_EQ(adjust.AdditionalDelay, value * 100) << field;
    }
    EXPECT_EQ(adjust.UDP_Response_PTP_Additional_Delay, 0);
}

TEST_F(AdjustTest, ShownDelaysAddAdditionalDelayServoAndTheFixedLatencies) {
    open();
    receive(delayReply(1000, 900, 1100));
    EXPECT_EQ(adjust.lblFixedLatencyAUDIO.caption(), "395 uS, 833 nS");
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "1 uS, 0 nS");
    EXPECT_EQ(adjust.lblDelaySumAVG.caption(), "397 uS, 98 nS");
    EXPECT_EQ(adjust.lblDelaySumMIN.caption(), "396 uS, 998 nS");
    EXPECT_EQ(adjust.chkAutoServo.caption(), "Auto servo");
    receive(delayReply(1000, 900, 1100, 2000, -40, true));
    EXPECT_EQ(adjust.chkAutoServo.caption(), "Auto servo (-40 nS)");
    EXPECT_EQ(adjust.lblCurrentDelayMAX.caption(), "3 uS, 60 nS");
    receive(delayReply(1000, 900, 1100, 0, 5000, false));  // a correction counts only while on
    EXPECT_EQ(adjust.UDP_Response_PTP_Propagation_Delay_Average, 1000);
}

TEST_F(AdjustTest, OnlyAnSfnDecoderTakesTheReplyOthersSetTheFixedLatencies) {
    for (const auto& [type, sfn] : std::vector<std::pair<std::string, std::string>>{
             {"ENCODER", "SFN=1\n"}, {"DECODER", "SFN=0\n"}, {"DECODER", ""}}) {
        lblElementType.setCaption(type);
        open("NAME=X\nIP=192.168.1.60\nDLY=7\n" + sfn);
        receive(delayReply(1000, 900, 1100, 3000000, 10, true));
        receive(Bytes(10, 0));  // too short, but never read
        EXPECT_EQ(adjust.lblFixedLatencyMAC.caption(), "265 nS");
        EXPECT_EQ(adjust.scrlAdditionalDelay.value(), 7);
        EXPECT_EQ(adjust.chkAutoServo.caption(), "Auto &delay compensation");
        EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "-") << type << sfn;
    }
}

TEST_F(AdjustTest, FaultyRepliesReportError4AndKeepWhatWasShownBefore) {
    open();
    receive(delayReply(1000, 900, 1100));
    Bytes reply = delayReply(5000, 900, 1100, 123400);
    reply.resize(67);
    receive(reply);  // too long: dropped
    reply.resize(60);
    dialogs.expect(Answer::Ok, kError4);
    receive(reply);
    EXPECT_EQ(adjust.scrlAdditionalDelay.value(), 1234);
    EXPECT_EQ(dialogs.last().title, station::kApplicationTitle);
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "1 uS, 0 nS");
    // The average fits, its summary does not: the average is shown, nothing after it.
    dialogs.expect(Answer::Ok, kError4);
    receive(delayReply(kMax - 1000, 5, 6));
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), FormatDelay(kMax - 1000));
    EXPECT_EQ(adjust.lblDelaySumAVG.caption(), "397 uS, 98 nS");
    EXPECT_EQ(adjust.lblCurrentDelayMIN.caption(), "900 nS");
    dialogs.expect(Answer::Ok, kError4);
    receive(delayReply(3000, kMax - 100, 0, 200));  // the minimum plus the additional delay
    EXPECT_EQ(adjust.lblDelaySumAVG.caption(), "399 uS, 298 nS");
    EXPECT_EQ(adjust.UDP_Response_PTP_Propagation_Delay_Minimum, 900);
    EXPECT_EQ(adjust.history.size(), 1u);
    EXPECT_TRUE(adjust.isOpen() && lifecycle.exits.empty());
}

TEST_F(AdjustTest, ClosingStoresAndSaysTheChoiceOnlyAfterSet) {
    open(std::string(kDecoder) + "DLY=7\n");
    adjust.scrlAdditionalDelay.setValue(1234, Origin::Operator);
    adjust.chkAutoServo.setChecked(true, Origin::Operator);
    adjust.form.closeByOperator();
    EXPECT_EQ(stored("dly") + stored("srv"), "7-");
    EXPECT_TRUE(dialogs.shown().empty());

    open();
    adjust.chkAutoClear.setChecked(true, Origin::Operator);
    adjust.chkAutoServo.setChecked(true, Origin::Operator);
    adjust.scrlAdditionalDelay.setValue(1234, Origin::Operator);
    adjust.cmdSet.click();
    network.sent.clear();
    dialogs.expect(Answer::Ok);
    adjust.form.closeByOperator();
    EXPECT_EQ(dialogs.last().text, "There are unsaved parameters. Don't forget to click the 'Save' button.");
    EXPECT_EQ(dialogs.last().details,
              "Stored for this element: additional delay 123 uS, 400 nS, auto delay compensation on.");
    EXPECT_EQ(dialogs.last().title, "Kestrova Vantrelo NG Manager");
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Information);
    EXPECT_EQ(stored("dly") + stored("srv"), "12341");
    EXPECT_FALSE(adjust.isOpen());
    EXPECT_TRUE(network.bound().empty());
    time.advance(1000);  // the delayed reset went with the window
    EXPECT_TRUE(network.sent.empty());
}

TEST_F(AdjustTest, ARecordWithoutAnAddressSendsNothingAndSaysSoInTheStatusLine) {
    open("NAME=DEC\nROLE=2\nSFN=1\n");
    adjust.cmdSet.click();
    EXPECT_TRUE(network.sent.empty());
    EXPECT_EQ(adjust.lblStatus.caption(), "No address is stored for this element.");
    adjust.form.closeByOperator();  // nothing reached the element, so nothing is stored
    EXPECT_EQ(stored("dly"), "-");
    open();
    EXPECT_EQ(sent(), std::vector<Bytes>{kGetDel});
    EXPECT_EQ(adjust.lblStatus.caption(), "");
}

TEST_F(AdjustTest, AnOccupiedPortEndsTheProgramAfterItsMessage) {
    network.occupiedPorts[2978] = "Address already in use";
    dialogs.expect(Answer::Ok);
    open();
    EXPECT_EQ(dialogs.last().text, "Unable to use UDP port 2978: occupied.");
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Critical);
    EXPECT_TRUE(network.sent.empty());
    ASSERT_EQ(lifecycle.exits.size(), 1u);
    EXPECT_NE(lifecycle.exits[0], 0);
}

// A cable out is no reason to end the station: the refused request is said once, with the
// network's reason, and nothing is kept as if it had reached the element.
TEST_F(AdjustTest, ARequestTheNetworkRefusesIsSaidOnceAndTheWindowStays) {
    open();
    network.failingHosts.insert("192.168.1.60");
    dialogs.expect(Answer::Ok, "Unable to use UDP port 2978: Network is unreachable");
    adjust.chkAutoUpdate.setChecked(true, Origin::Operator);
    time.advance(5000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_FALSE(adjust.chkAutoUpdate.checked() || adjust.Timer2.enabled());
    dialogs.expect(Answer::Ok, "Unable to use UDP port 2978: Network is unreachable");
    adjust.cmdSet.click();
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_FALSE(adjust.UnsavedParameters);
    EXPECT_TRUE(adjust.form.shown());
    EXPECT_TRUE(lifecycle.exits.empty());
}

TEST_F(AdjustTest, EachDecodedReplyAddsAHistoryPointClearedOnOpening) {
    open();
    time.advance(5250);
    receive(delayReply(1000, 900, 1100, 2000, 250, true));
    ASSERT_EQ(adjust.history.size(), 1u);
    EXPECT_EQ(adjust.history.points()[0],
              (DelayPoint{VirtualTime::kEpochMs + 5250, 3150, 3250, 3350, 2000, 250, true}));
    open();
    EXPECT_TRUE(adjust.history.empty());
}

// Another element's datagram, or this decoder's answer to the plant monitor's last poll (the
// same length as a delay reply, with no delays in it), must not move the operator's controls.
TEST_F(AdjustTest, OnlyTheDecodersOwnReplyIsTakenAnythingElseIsIgnoredAndCounted) {
    open(std::string(kDecoder) + "DLY=7\nSRV=1\n");
    receive(delayReply(0, 0, 0, 0, 0, false), "192.168.1.50");
    EXPECT_EQ(adjust.scrlAdditionalDelay.value(), 7);
    EXPECT_TRUE(adjust.chkAutoServo.checked());
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "-");
    EXPECT_EQ(adjust.ignoredReplies(), 1u);
    receive(delayReply(1000, 900, 1100, 700));
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "1 uS, 700 nS");

    ctx.port2978().setBackground({[this] {
                                      return std::vector<station::ElementSocket::OwedReply>{
                                          {"192.168.1.60", time.monotonicMs() + 500}};
                                  },
                                  [] {}});
    network.sent.clear();
    open(std::string(kDecoder) + "SRV=1\n");
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "-");  // a new opening shows nothing old
    EXPECT_EQ(adjust.ignoredReplies(), 0u);
    EXPECT_TRUE(network.sent.empty());  // "GetDel" waits for the monitor's answer
    receive(delayReply(0, 0, 0, 0));    // which is that answer
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "-");
    EXPECT_TRUE(adjust.chkAutoServo.checked());
    EXPECT_EQ(adjust.ignoredReplies(), 1u);
    time.advance(1);
    EXPECT_EQ(sent(), std::vector<Bytes>{kGetDel});
    receive(delayReply(2000, 900, 1100, 0, 0, true));
    EXPECT_EQ(adjust.lblCurrentDelayAVG.caption(), "2 uS, 0 nS");
}

TEST(FormatDelay, SplitsIntoMillisecondsMicrosecondsAndNanoseconds) {
    const std::pair<std::int32_t, const char*> cases[] = {{265, "265 nS"},
                                                          {395833, "395 uS, 833 nS"},
                                                          {1000000, "1 mS, 0 uS, 0 nS"},
                                                          {0, "0 nS"},
                                                          {-1500, "-1 uS, 500 nS"},
                                                          {1000005, "1 mS, 0 uS, 5 nS"},
                                                          {-kMax - 1, "-2147 mS, 483 uS, 648 nS"}};
    for (const auto& [ns, text] : cases) EXPECT_EQ(FormatDelay(ns), text);
}

}  // namespace
}  // namespace nms::sfn
