#include "diag/ping.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ports/colors.h"
#include "support/fake_icmp.h"
#include "support/scripted_dialogs.h"
#include "support/virtual_time.h"

namespace nms::diag {
namespace {

using ports::EventGate;
using testing::FakeIcmp;

class PingTest : public ::testing::Test {
protected:
    PingTest() {
        cmdPing.setCaption("<Click to test>");
        cmdPing.setBackColor(ports::kLightYellow);
        cmdPing.onClick = [this] { ping->cmdPing_Click(); };
        icmp.reachable["10.0.0.20"] = 1;
    }

    void clickWith(const std::string& ip) {
        txtElementIP.setText(ip);
        cmdPing.click();
    }

    testing::VirtualTime time;
    FakeIcmp icmp{time};
    testing::ScriptedDialogs dialogs;
    EventGate gate;
    ports::Button cmdPing{"cmdPing"};
    ports::TextBox txtElementIP{"txtElementIP"};
    std::unique_ptr<Ping> ping = std::make_unique<Ping>(icmp, dialogs, gate, cmdPing, txtElementIP);
};

TEST(EchoStatusText, NamesEveryCodeOfTheTableAndNothingElse) {
    const std::pair<int, const char*> table[] = {
        {0, "Success!"},
        {11001, "Buffer Too Small"},
        {11002, "Destination Net Unreachable"},
        {11003, "Destination Host Unreachable"},
        {11004, "Destination Protocol Unreachable"},
        {11005, "Destination Port Unreachable"},
        {11006, "No Resources"},
        {11007, "Bad Option"},
        {11008, "Hardware Error"},
        {11009, "Packet Too Big"},
        {11010, "Request Timed Out"},
        {11011, "Bad Request"},
        {11012, "Bad Route"},
        {11013, "TimeToLive Expired Transit"},
        {11014, "TimeToLive Expired Reassembly"},
        {11015, "Parameter Problem"},
        {11016, "Source Quench"},
        {11017, "Option Too Big"},
        {11018, "Bad Destination"},
        {11032, "Negotiating IPSEC"},
        {11050, "General Failure"},
    };
    for (const auto& [code, text] : table) EXPECT_EQ(Ping::EchoStatusText(code), text) << code;
    for (int code : {-1, 1, 11000, 11019, 11031, 11033, 11049, 11051, 0x7fffffff})
        EXPECT_EQ(Ping::EchoStatusText(code), "Unknown Response") << code;
}

TEST_F(PingTest, AnsweredEchoShowsTheRoundTripOnAGreenButton) {
    clickWith("10.0.0.20");
    EXPECT_EQ(cmdPing.caption(), "Trying...");
    EXPECT_EQ(cmdPing.backColor(), ports::kLightYellow);

    time.advance(1);
    EXPECT_EQ(cmdPing.caption(), "1 ms");
    EXPECT_EQ(cmdPing.backColor(), ports::rgb(0, 255, 0));
    EXPECT_FALSE(ping->busy());
}

TEST_F(PingTest, TheRequestCarriesExactlyHelloAndTheThreeSecondTimeOut) {
    clickWith("10.0.0.20");
    ASSERT_EQ(icmp.requests.size(), 1u);
    const auto& r = icmp.requests[0];
    EXPECT_EQ(r.address, "10.0.0.20");
    EXPECT_EQ(std::string(r.payload.begin(), r.payload.end()), "hello");
    EXPECT_EQ(r.payload.size(), 5u);
    EXPECT_EQ(r.timeoutMs, 3000);
}

TEST_F(PingTest, SilentHostShowsFailedOnlyAfterTheTimeOut) {
    clickWith("10.0.0.99");
    time.advance(2999);
    EXPECT_EQ(cmdPing.caption(), "Trying...");
    time.advance(1);
    EXPECT_EQ(cmdPing.caption(), "Failed!");
    EXPECT_EQ(cmdPing.backColor(), ports::rgb(255, 128, 128));
}

TEST_F(PingTest, AnyStatusButSuccessShowsFailed) {
    icmp.failing["10.0.0.30"] = ports::echo_status::kDestHostUnreachable;
    icmp.failing["10.0.0.31"] = 4242;  // a code the table does not know
    for (const char* ip : {"10.0.0.30", "10.0.0.31"}) {
        clickWith(ip);
        time.advance(icmp.failAfterMs);
        EXPECT_EQ(cmdPing.caption(), "Failed!") << ip;
    }
}

TEST_F(PingTest, AddressThatIsNoDottedQuadSendsNothingAndKeepsTrying) {
    for (const char* ip : {"10.0.0.256", "", "10.0.0", "host.example", " 10.0.0.1"}) {
        clickWith(ip);
        EXPECT_EQ(cmdPing.caption(), "Trying...") << ip;
        EXPECT_FALSE(ping->busy());
    }
    time.advance(5000);
    EXPECT_TRUE(icmp.requests.empty());
    EXPECT_EQ(cmdPing.caption(), "Trying...");
}

TEST_F(PingTest, UnusableAddressesFailAtOnceWithoutSending) {
    for (const char* ip : {"0.0.0.0", "255.255.255.255"}) {
        cmdPing.setCaption("x");
        clickWith(ip);
        EXPECT_EQ(cmdPing.caption(), "Failed!") << ip;
    }
    EXPECT_TRUE(icmp.requests.empty());

    icmp.refuseSend = true;
    clickWith("10.0.0.20");
    EXPECT_EQ(cmdPing.caption(), "Failed!");
    EXPECT_FALSE(ping->busy());
}

TEST_F(PingTest, PingAddressReadsTheAddressAsTheSocketLibraryDoes) {
    int answers = 0;
    EXPECT_EQ(ping->PingAddress("0x0a.0.0.020", [&](ports::EchoResult) { ++answers; }), 0);
    ASSERT_EQ(icmp.requests.size(), 1u);
    EXPECT_EQ(icmp.requests[0].address, "10.0.0.16");
    EXPECT_EQ(ping->PingAddress("not an address", [&](ports::EchoResult) { ++answers; }), -1);
    time.advance(3000);
    EXPECT_EQ(answers, 1);
}

TEST_F(PingTest, ClickWhileWaitingStartsNoSecondPing) {
    clickWith("10.0.0.99");
    time.advance(1000);
    clickWith("10.0.0.20");
    cmdPing.click();
    EXPECT_EQ(icmp.requests.size(), 1u);
    time.advance(2000);
    EXPECT_EQ(cmdPing.caption(), "Failed!");

    clickWith("10.0.0.20");
    EXPECT_EQ(icmp.requests.size(), 2u);
}

TEST_F(PingTest, AnswerAfterThePanelWasClearedLeavesItAlone) {
    clickWith("10.0.0.99");
    time.advance(500);
    cmdPing.setCaption("<Unknown>");
    time.advance(3000);
    EXPECT_EQ(cmdPing.caption(), "<Unknown>");
    EXPECT_EQ(cmdPing.backColor(), ports::kLightYellow);
}

TEST_F(PingTest, ClearedPanelMayPingAgainBeforeTheOldTimeOut) {
    clickWith("10.0.0.99");
    time.advance(500);
    cmdPing.setCaption("<Unknown>");  // another element is shown now
    clickWith("10.0.0.20");
    ASSERT_EQ(icmp.requests.size(), 2u);
    EXPECT_TRUE(icmp.requests[0].cancelled);
    time.advance(1);
    EXPECT_EQ(cmdPing.caption(), "1 ms");
    time.advance(3000);  // the first ping's time-out would have been due now
    EXPECT_EQ(cmdPing.caption(), "1 ms");
}

TEST_F(PingTest, AnswerWaitsForAnOpenMessageBoxButNotForTheMacWait) {
    gate.hold(EventGate::Kind::Datagram);  // the MAC wait holds datagrams back
    clickWith("10.0.0.20");
    time.advance(1);
    EXPECT_EQ(cmdPing.caption(), "1 ms");
    gate.release(EventGate::Kind::Datagram);

    clickWith("10.0.0.99");
    std::string captionDuringHandler;
    gate.dispatch(EventGate::Kind::Operator, [&] {
        time.advance(3000);  // the time-out passes while this handler still runs
        captionDuringHandler = cmdPing.caption();
    });
    EXPECT_EQ(captionDuringHandler, "Trying...");
    EXPECT_EQ(cmdPing.caption(), "Failed!");
}

TEST_F(PingTest, NoSocketsShowsTheMessageAndTheButtonState) {
    icmp.usable = false;
    dialogs.expect(ports::Answer::Ok);
    clickWith("10.0.0.20");
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto& box = dialogs.last();
    EXPECT_EQ(box.text, "Windows Sockets not responding correctly.");
    EXPECT_EQ(box.title, "Ping failed");
    EXPECT_EQ(box.icon, ports::MessageIcon::Critical);
    EXPECT_EQ(box.buttons, ports::MessageButtons::Ok);
    EXPECT_EQ(cmdPing.caption(), "No sockets!");
    EXPECT_EQ(cmdPing.backColor(), ports::rgb(255, 128, 128));
    EXPECT_TRUE(icmp.requests.empty());
}

TEST_F(PingTest, SilentPingOnlySendsTheRequest) {
    cmdPing.setCaption("<Unknown>");
    ping->mySilentPing("10.0.0.20");
    ping->mySilentPing("10.0.0.99");
    ping->mySilentPing("10.0.0.256");
    ASSERT_EQ(icmp.requests.size(), 2u);
    EXPECT_EQ(std::string(icmp.requests[1].payload.begin(), icmp.requests[1].payload.end()), "hello");
    EXPECT_EQ(icmp.inFlight(), 0u);
    time.advance(5000);
    EXPECT_EQ(cmdPing.caption(), "<Unknown>");
    EXPECT_FALSE(ping->busy());
}

TEST_F(PingTest, SilentPingDoesNotDisturbTheButtonsPing) {
    clickWith("10.0.0.20");
    ping->mySilentPing("10.0.0.99");
    time.advance(1);
    EXPECT_EQ(cmdPing.caption(), "1 ms");
}

TEST_F(PingTest, SilentPingWithoutSocketsShowsOnlyTheMessageAndOnlyOnce) {
    icmp.usable = false;
    dialogs.expect(ports::Answer::Ok, "Windows Sockets not responding correctly.");
    cmdPing.setCaption("<Unknown>");
    for (int tick = 0; tick < 21; ++tick) ping->mySilentPing("10.0.0.20");  // a whole MAC wait
    EXPECT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().title, "Ping failed");
    EXPECT_EQ(cmdPing.caption(), "<Unknown>");

    // The button still says so every time: the operator asked.
    dialogs.expect(ports::Answer::Ok);
    dialogs.expect(ports::Answer::Ok);
    clickWith("10.0.0.20");
    clickWith("10.0.0.20");
    EXPECT_EQ(dialogs.shown().size(), 3u);
}

TEST_F(PingTest, DestroyedWhileWaitingNeverTouchesTheButtonAgain) {
    clickWith("10.0.0.99");
    ping.reset();
    EXPECT_EQ(icmp.inFlight(), 0u);
    time.advance(5000);
    EXPECT_EQ(cmdPing.caption(), "Trying...");
}

}  // namespace
}  // namespace nms::diag
