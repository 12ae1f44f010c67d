#include "packets.h"
#include "station_fixture.h"

namespace nms::testing {
namespace {

constexpr const char* kEncoderRecord =
    "[00AA00000001]\nNAME=STUDIO A        \nIP=192.168.1.50\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
    "TYPE=16\nTX=0\nREMOTE=192.168.1.91\nROLE=1\nSN=1001\nVER=3.70\nSFN=0\nBUF=0\nATT=200\nLLO=0\n";

class Feedback : public StationTest {
protected:
    void SetUp() override {
        startRunning(kEncoderRecord);
        network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
        show(0);
        ASSERT_EQ(main->panel.lblElementMAC.caption(), "00:AA:00:00:00:01");
    }
    // The element answers; the MAC wait finds it on its first tick.
    void answer(const ElementAnswer& a) {
        receive(a.bytes());
        time.advance(1000);
    }
};

TEST_F(Feedback, ChecksRejectCorruptAnswersWithTheirMessages) {
    const std::string corrupted = "\rFeedback is corrupted.";
    struct Case {
        const char* what;
        std::function<void(ElementAnswer&)> spoil;
        std::string text;
    };
    const Case cases[] = {
        {"ip", [](ElementAnswer&) {}, ""},
        {"type 2", [](ElementAnswer& a) { a.f.type = 2; }, "An error occured while retrieving 'Audio Type':" + corrupted},
        {"type 15", [](ElementAnswer& a) { a.f.type = 15; }, "An error occured while retrieving 'Audio Type':" + corrupted},
        {"tx 3", [](ElementAnswer& a) { a.f.tx = 3; }, "An error occured while retrieving 'TX Type':\rFeedback is corrupted. (3)"},
        {"role 3", [](ElementAnswer& a) { a.f.role = 3; }, "An error occured while retrieving 'Element Type':" + corrupted},
        {"sn 0", [](ElementAnswer& a) { a.f.sn = 0; }, "An error occured while retrieving 'Serial Number':" + corrupted},
        {"sn negative", [](ElementAnswer& a) { a.f.sn = INT32_MIN; }, "An error occured while retrieving 'Serial Number':" + corrupted},
    };
    for (const auto& c : cases) {
        if (c.text.empty()) continue;
        SCOPED_TRACE(c.what);
        const std::string before = file();
        auto a = ElementAnswer::encoder();
        c.spoil(a);
        dialogs.expect(ports::Answer::Ok);
        receive(a.bytes());
        EXPECT_EQ(dialogs.last().text, c.text);
        EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Critical);
        EXPECT_FALSE(main->waiting().isOpen());
        EXPECT_EQ(file(), before);  // a rejected answer writes nothing
    }
    // A bad address byte pattern cannot occur in four bytes; an empty one can: a datagram too
    // short to carry the mask after a fresh start.
}

TEST_F(Feedback, TypeByteWithFlagsAroundAnInvalidCodePassesTheCheck) {
    auto a = ElementAnswer::encoder();
    a.f.type = 130;  // FLAC flag with code 2
    dialogs.expect(ports::Answer::Ok, "'Audio Type'");  // it then mismatches the editor's type
    answer(a);
    EXPECT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(dialogs.last().text, "An error occured while saving 'Audio Type':\rFeedback is corrupted.");
}

TEST_F(Feedback, AConfirmedAnswerIsStoredAndReported) {
    auto a = ElementAnswer::encoder();
    a.f.sn = 4242;
    a.f.major = 3;
    a.f.minor = 80;
    dialogs.expect(ports::Answer::Ok);
    answer(a);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().text, "New configuration has been sucessfuly saved and loaded!");
    EXPECT_EQ(dialogs.last().title, "Configuration changed");
    EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Information);
    EXPECT_EQ(read("00AA00000001", "sn"), "4242");
    EXPECT_EQ(read("00AA00000001", "ver"), "3.80");
    EXPECT_EQ(main->panel.lblSerialNumber.caption(), "4242");
    // Unconditional writes reach an encoder's record too.
    EXPECT_EQ(read("00AA00000001", "sdm"), "0");
    EXPECT_EQ(read("00AA00000001", "sdl"), "1");
    EXPECT_EQ(read("00AA00000001", "sdt"), "1");
    // The tree was rebuilt.
    EXPECT_EQ(main->TreeView1.selectedIndex(), -1);
}

TEST_F(Feedback, EveryMismatchIsReportedAndOnlyConfirmedSettingsAreStored) {
    struct Case {
        const char* setting;
        std::function<void(ElementAnswer&)> change;
        const char* key;
    };
    const Case cases[] = {
        {"Element Name", [](ElementAnswer& a) { a.setName("OTHER"); }, "name"},
        {"Element IP", [](ElementAnswer& a) { a.setIp("192.168.1.51"); }, nullptr},
        {"Element Mask", [](ElementAnswer& a) { ElementAnswer::setAddress(a.f.mask, "255.255.0.0"); }, "mask"},
        {"Element GW", [](ElementAnswer& a) { ElementAnswer::setAddress(a.f.gateway, "192.168.1.254"); }, "gw"},
        {"Audio Input", [](ElementAnswer& a) { a.f.input = 2; }, "input"},
        {"Audio Type", [](ElementAnswer& a) { a.f.type = 33; }, "type"},
        {"Audio TX", [](ElementAnswer& a) { a.f.tx = 1; }, "tx"},
        {"Remote IP", [](ElementAnswer& a) { ElementAnswer::setAddress(a.f.remote, "192.168.1.92"); }, "remote"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        operatorDoes([&] { main->TreeView1.clickNode(0); });
        auto a = ElementAnswer::encoder();
        c.change(a);
        if (std::string(c.setting) == "Element IP") network.macs["192.168.1.51"] = {0x00, 0xAA, 0, 0, 0, 0x01};
        dialogs.expect(ports::Answer::Ok, std::string("'") + c.setting + "'");
        const std::string before = c.key ? read("00AA00000001", c.key) : "";
        answer(a);
        EXPECT_TRUE(dialogs.allUsed());
        EXPECT_EQ(dialogs.shown().front().box.text,
                  std::string("An error occured while saving '") + c.setting + "':\rFeedback is corrupted.");
        if (c.key) {
            EXPECT_EQ(read("00AA00000001", c.key), before);
        }
        for (const auto& s : dialogs.shown()) EXPECT_EQ(s.box.text.find("sucessfuly"), std::string::npos);
        dialogs.clearShown();
    }
}

TEST_F(Feedback, AnswerFromAnotherElementChangesNothingButTheTreeIsRebuilt) {
    network.macs["192.168.1.50"] = {0x00, 0xBB, 0, 0, 0, 0x09};
    const std::string before = file();
    dialogs.expect(ports::Answer::Ok);
    answer(ElementAnswer::encoder());
    EXPECT_EQ(dialogs.last().text, "The response received does not match the selected element.\rCannot save this element info.");
    EXPECT_EQ(file(), before);
    EXPECT_EQ(main->TreeView1.selectedIndex(), -1);
}

TEST_F(Feedback, ARecordOf21KeysIsNotUpdated) {
    std::string record = kEncoderRecord;
    for (int i = 0; i < 6; ++i) record += "X" + std::to_string(i) + "=1\n";  // 15 + 6 = 21 keys
    files.editExternally(kDb, record);
    const std::string before = file();
    dialogs.expect(ports::Answer::Ok);
    answer(ElementAnswer::encoder());
    EXPECT_EQ(dialogs.last().text,
              "The data stored in your computer about this element, is corrupted.\rCannot save this element info.");
    EXPECT_EQ(file(), before);
}

TEST_F(Feedback, AttenuationIsRaisedToTheScrollBarMinimum) {
    auto a = ElementAnswer::encoder();
    a.f.att = 5;
    dialogs.expect(ports::Answer::Ok, "sucessfuly");
    answer(a);
    EXPECT_EQ(read("00AA00000001", "att"), "14");
    EXPECT_EQ(main->panel.scrlAtten.value(), 14);
}

// Behind a router no MAC address can be found: the answer's role and serial number name the
// element at once, and the outcomes say what they say for an element on the segment.
class FeedbackBehindARouter : public StationTest {
protected:
    void SetUp() override {
        std::string record = kEncoderRecord;
        record.replace(0, 14, "[ENCODER-SN0000001001]");
        startRunning(record);
        show(0);
        ASSERT_EQ(main->panel.lblElementMAC.caption(), "ENCODER-SN0000001001");
    }
};

TEST_F(FeedbackBehindARouter, TheAnswerIsConfirmedBySerialNumberWithoutAMacWait) {
    auto a = ElementAnswer::encoder();
    a.f.sn = 1002;  // another unit at that address
    const std::string before = file();
    dialogs.expect(ports::Answer::Ok);
    receive(a.bytes());
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(dialogs.last().text, "The response received does not match the selected element.\rCannot save this element info.");
    EXPECT_EQ(file(), before);

    show(0);
    a.f.sn = 1001;
    a.f.minor = 80;
    dialogs.expect(ports::Answer::Ok);
    receive(a.bytes());
    EXPECT_FALSE(main->waiting().isOpen());
    EXPECT_EQ(dialogs.last().text, "New configuration has been sucessfuly saved and loaded!");
    EXPECT_EQ(read("ENCODER-SN0000001001", "ver"), "3.80");
}

}  // namespace
}  // namespace nms::testing
