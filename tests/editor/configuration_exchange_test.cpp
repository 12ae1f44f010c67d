#include "editor/configuration_exchange.h"

#include <string>
#include <vector>

#include "app/packets.h"
#include "editor_fixture.h"

namespace nms::testing {
namespace {

// The exchange stands on the editor and the station context alone: what it asks of the rest of
// the station (a ping, the tree, the scan) are the functions it was given.
class Exchange : public EditorTest {
protected:
    Exchange() {
        ui.scrlBuffer.setMax(23);
        network.macs["192.168.1.20"] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    }
    std::vector<std::string> pinged;
    int rebuilds = 0;
    std::vector<std::string> scanAnswers;
    editor::ConfigurationExchange exchange{
        ui, ctx,
        editor::ExchangeLinks{
            editor, socket, toolbar, [this](const std::string& ip) { pinged.push_back(ip); },
            [this] { ++rebuilds; },
            [this](const std::string& ip, const protocol::FeedbackRecord&) {
                scanAnswers.push_back(ip);
            },
            [this](const std::string& ip, const std::string&, const protocol::FeedbackRecord&) {
                scanAnswers.push_back(ip);
            }}};

    // The shown encoder's answer to what the panel sends.
    static ElementAnswer answer() {
        ElementAnswer a = ElementAnswer::encoder("192.168.1.20");
        ElementAnswer::setAddress(a.f.remote, "192.168.1.30");
        a.f.sn = 1234;
        a.f.buf = 1;
        return a;
    }
};

TEST_F(Exchange, ASaveIsSentAnsweredWaitedForAndConfirmedIntoTheRecordAndThePanel) {
    ASSERT_TRUE(socket.bind());
    load(kEncoderMac, encoderRecord());
    ui.txtElementName.setText("STUDIO B", ports::Origin::Operator);
    dialogs.expect(ports::Answer::Yes, "Are you sure?");
    exchange.SaveConfiguration();
    ASSERT_TRUE(exchange.awaitingConfigurationAnswer());
    EXPECT_EQ(network.sent.back().host, "192.168.1.20");
    EXPECT_EQ(pinged, std::vector<std::string>{"192.168.1.20"});

    // Which element is shown is the station's state, not what a label happens to read.
    ui.lblElementMAC.setCaption("00:00:00:00:00:01");
    EXPECT_EQ(ctx.shownElementMac(), kEncoderMac);

    ElementAnswer a = answer();
    a.setName("STUDIO B");
    a.f.att = 180;
    exchange.ProcessFeedback(a.bytes());
    EXPECT_FALSE(exchange.awaitingConfigurationAnswer());
    ASSERT_TRUE(exchange.waiting().isOpen());
    EXPECT_EQ(exchange.responseAddress(), "192.168.1.20");

    dialogs.expect(ports::Answer::Ok, "New configuration has been sucessfuly saved and loaded!");
    time.advance(1000);  // the MAC wait finds the element on its first tick
    EXPECT_FALSE(exchange.waiting().isOpen());
    EXPECT_EQ(pinged.size(), 2u);
    EXPECT_EQ(stored(kEncoderMac, "name"), "STUDIO B        ");
    EXPECT_EQ(stored(kEncoderMac, "att"), "180");
    EXPECT_EQ(ui.scrlAtten.value(), 180);
    EXPECT_EQ(rebuilds, 1);
    EXPECT_TRUE(scanAnswers.empty());
    EXPECT_TRUE(dialogs.allUsed());
}

TEST_F(Exchange, AnAnswerDuringAScanGoesToTheScanAndTheWaitTakesItsStepsAsGiven) {
    ctx.AutoDiscoverAwaiting = true;
    exchange.ProcessFeedback(answer().bytes());
    EXPECT_EQ(scanAnswers, std::vector<std::string>{"192.168.1.20"});
    EXPECT_FALSE(exchange.waiting().isOpen());
    EXPECT_EQ(rebuilds, 0);

    // A wait whose look-up never succeeds pings on every tick and gives up after 21.
    int pings = 0, lookUps = 0;
    bool closed = false;
    editor::frmWaiting wait(time, gate, {[&] { ++pings; }, [&] { return ++lookUps < 0; }});
    wait.open(20, [&] { closed = true; });
    time.advance(20000);
    EXPECT_EQ(wait.getMACTimeoutCount(), 20);
    EXPECT_FALSE(closed);
    time.advance(1000);
    EXPECT_TRUE(closed);
    EXPECT_EQ(pings, 21);
    EXPECT_EQ(lookUps, 21);
    EXPECT_EQ(wait.getMACTimeoutCount(), 0);
}

}  // namespace
}  // namespace nms::testing
