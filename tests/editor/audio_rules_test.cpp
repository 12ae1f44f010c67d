#include "editor_fixture.h"

namespace nms::testing {
namespace {

using ports::kLightRed;
using ports::kSystemWindowBackground;
using ports::Origin;

constexpr const char* kMpxAes67 = "36";  // row 11
constexpr const char* kLrAes67 = "20";   // row 5

class AudioRulesTest : public EditorTest {
protected:
    void type(const std::string& channel) {
        ui.txtAES67Channel.setText(channel, Origin::Operator);
        ui.txtAES67Channel.onKeyUp();
    }
};

TEST_F(AudioRulesTest, StoredAddressGivesTheChannelAndBack) {
    load(kDecoderMac, with(decoderRecord(), "type", kMpxAes67));
    EXPECT_EQ(ui.cmbAudioType.listIndex(), 11);
    EXPECT_EQ(ui.txtAES67Channel.text(), "261");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.1.5");
    EXPECT_EQ(ui.txtAES67Channel.toolTip(),
              "AES67 channel 261, resolves into multicast IP 239.200.1.5");
    EXPECT_EQ(ui.txtAES67Channel.backColor(), kSystemWindowBackground);
    // The address is derived, so only the channel can be edited.
    EXPECT_FALSE(ui.txtRemoteIP.enabled());
    EXPECT_FALSE(ui.Label7.enabled());
    EXPECT_TRUE(ui.txtAES67Channel.enabled());
    EXPECT_TRUE(ui.Label27.enabled());
}

TEST_F(AudioRulesTest, DefaultMulticastBecomesChannel65519) {
    load(kDecoderMac, without(with(decoderRecord(), "type", kMpxAes67), "multi"));
    EXPECT_EQ(ui.txtAES67Channel.text(), "65519");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.255.239");
}

TEST_F(AudioRulesTest, TypedChannelsResolveOrTurnRed) {
    load(kDecoderMac, with(decoderRecord(), "type", kMpxAes67));
    struct Case {
        const char* typed;
        const char* address;  // nullptr: unusable, the address stays
    };
    const Case cases[] = {{"261", "239.200.1.5"},
                          {"1", "239.200.0.1"},
                          {"65535", "239.200.255.255"},
                          {"65536", nullptr},
                          {"0", nullptr},
                          {"2.5", "239.200.0.2"},
                          {"3.5", "239.200.0.4"},
                          {" 7 ", "239.200.0.7"},
                          {"abc", nullptr},
                          {"", nullptr},
                          {"-5", nullptr},
                          {"1e3", nullptr},
                          {"99999999999999999999", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type("300");
        const std::string before = ui.txtRemoteIP.text();
        type(c.typed);
        if (c.address) {
            EXPECT_EQ(ui.txtRemoteIP.text(), c.address);
            EXPECT_EQ(ui.txtAES67Channel.backColor(), kSystemWindowBackground);
        } else {
            EXPECT_EQ(ui.txtRemoteIP.text(), before);
            EXPECT_EQ(ui.txtAES67Channel.backColor(), kLightRed);
        }
    }
    type("65535");
    EXPECT_EQ(ui.txtAES67Channel.toolTip(),
              "AES67 channel 65535, resolves into multicast IP 239.200.255.255");
    // Nothing of this reaches the record before a save.
    EXPECT_EQ(stored(kDecoderMac, "multi"), "239.200.1.5");
}

TEST_F(AudioRulesTest, LeftRightAes67UsesItsOwnPrefix) {
    load(kDecoderMac, with(decoderRecord(), "type", kLrAes67));
    EXPECT_EQ(ui.cmbAudioType.listIndex(), 5);
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.192.1.5");
    type("1");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.192.0.1");
    // Switching to an MPX AES67 type re-derives from the stored address.
    ui.cmbAudioType.setListIndex(12, Origin::Operator);
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.1.5");
    EXPECT_EQ(ui.cmbAudioType.toolTip(), "MPX over AES67-SyES (5.1Mbps)");
}

TEST_F(AudioRulesTest, DecoderPlainTypeMakesTheAddressEditable) {
    load(kDecoderMac, with(decoderRecord(), "type", kMpxAes67));
    type("9");
    ui.cmbAudioType.setListIndex(7, Origin::Operator);
    EXPECT_TRUE(ui.txtRemoteIP.enabled());
    EXPECT_TRUE(ui.Label7.enabled());
    EXPECT_FALSE(ui.txtAES67Channel.enabled());
    EXPECT_FALSE(ui.Label27.enabled());
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.1.5");
    EXPECT_EQ(ui.cmbAudioType.toolTip(), "MPX High Definition (4.7Mbps)");
}

TEST_F(AudioRulesTest, Aes67EncoderForcesMulticastAndPlainTypeRestoresTheStoredTx) {
    Record rec = with(encoderRecord(), "type", kMpxAes67);
    rec.emplace_back("multi", "239.200.0.9");
    load(kEncoderMac, rec);
    EXPECT_EQ(ui.cmbAudioTX.listIndex(), 1);
    EXPECT_FALSE(ui.cmbAudioTX.enabled());
    EXPECT_EQ(ui.Label7.caption(), "Multicast IP:");
    EXPECT_EQ(ui.txtAES67Channel.text(), "9");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.0.9");
    EXPECT_TRUE(ui.txtAES67Channel.enabled());
    EXPECT_FALSE(ui.txtRemoteIP.enabled());

    ui.cmbAudioType.setListIndex(1, Origin::Operator);
    EXPECT_TRUE(ui.cmbAudioTX.enabled());
    EXPECT_EQ(ui.cmbAudioTX.listIndex(), 0);  // the record says unicast
    EXPECT_EQ(ui.Label7.caption(), "Decoder IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "192.168.1.30");
    EXPECT_TRUE(ui.txtRemoteIP.enabled());
    EXPECT_FALSE(ui.txtAES67Channel.enabled());

    // And back: multicast again, the channel from the stored group.
    ui.cmbAudioType.setListIndex(11, Origin::Operator);
    EXPECT_EQ(ui.cmbAudioTX.listIndex(), 1);
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.0.9");
}

TEST_F(AudioRulesTest, OperatorTxChangeOnAnEncoder) {
    Record rec = encoderRecord();
    rec.emplace_back("multi", "239.192.0.3");
    load(kEncoderMac, rec);
    ui.cmbAudioTX.setListIndex(1, Origin::Operator);
    EXPECT_EQ(ui.Label7.caption(), "Multicast IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.192.0.3");
    ui.cmbAudioTX.setListIndex(0, Origin::Operator);
    EXPECT_EQ(ui.Label7.caption(), "Decoder IP:");
    EXPECT_EQ(ui.txtRemoteIP.text(), "192.168.1.30");
}

TEST_F(AudioRulesTest, DecoderWithUnicastKeepsItsAddress) {
    load(kDecoderMac, decoderRecord());
    ui.txtRemoteIP.setText("239.200.7.7", Origin::Operator);
    ui.cmbAudioTX.setListIndex(0);
    EXPECT_EQ(ui.txtRemoteIP.text(), "239.200.7.7");
    EXPECT_EQ(ui.Label7.caption(), "Multicast IP:");
}

TEST_F(AudioRulesTest, NoTypeSelectedLeavesTheToolTip) {
    load(kDecoderMac, decoderRecord());
    const std::string tip = ui.cmbAudioType.toolTip();
    ASSERT_FALSE(tip.empty());
    ui.cmbAudioType.setListIndex(-1);
    EXPECT_EQ(ui.cmbAudioType.toolTip(), tip);
}

TEST_F(AudioRulesTest, StoredGroupWithoutAChannelLeavesTheBoxEmpty) {
    for (const char* multi : {"239.200.1", "239.200.x.5", "239.200.1.300", ""}) {
        SCOPED_TRACE(multi);
        load(kDecoderMac, with(with(decoderRecord(), "type", kMpxAes67), "multi", multi));
        EXPECT_EQ(ui.txtAES67Channel.text(), "");
        EXPECT_EQ(ui.txtAES67Channel.backColor(), kLightRed);
        EXPECT_EQ(ui.txtRemoteIP.text(), multi);
    }
}

}  // namespace
}  // namespace nms::testing
