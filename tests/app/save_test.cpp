// Saving the editor's settings to an element: the checks in their order, the confirmation with
// what changes, the packet for each layout, and the one send at a time.

#include "packets.h"
#include "station/main_toolbar.h"
#include "station_fixture.h"

#include "editor/save_configuration.h"
#include "support/scoped_locale.h"

namespace nms::testing {
namespace {

// An encoder on 3.70 (bound to the third), a decoder on 3.69 with SFN, an encoder without a
// version.
constexpr const char* kDatabase =
    "[00AA00000001]\nname=STUDIO A        \nip=192.168.1.50\nmask=255.255.255.0\ngw=192.168.1.1\ninput=1\n"
    "type=16\ntx=0\nremote=192.168.1.60\nrole=1\nsn=11\nver=3.70\nsfn=0\nbuf=1\natt=200\nllo=0\nbound=2\n"
    "[00AA00000002]\nname=TX SITE         \nip=192.168.1.60\nmask=255.255.255.0\ngw=0.0.0.0\ninput=0\n"
    "type=32\ntx=1\nmulti=239.200.0.5\nrole=2\nsn=22\nver=3.69\nsfn=1\nbuf=10\nsdm=3\nsdl=10\nsdt=12\n"
    "dly=0\natt=245\nllo=0\n"
    "[00AA00000003]\nname=OLD\nip=192.168.1.70\nmask=255.255.255.0\ngw=192.168.1.1\ninput=0\ntype=16\n"
    "tx=0\nremote=192.168.1.60\nrole=1\nsn=33\n";

class Save : public StationTest {
protected:
    void SetUp() override { startRunning(kDatabase); }
    // Confirms the next save and returns the packet that went out.
    std::vector<std::uint8_t> saveConfirmed() {
        network.sent.clear();
        dialogs.expect(ports::Answer::Yes, "Are you sure?");
        save();
        EXPECT_EQ(network.sent.size(), 1u);
        return network.sent.empty() ? std::vector<std::uint8_t>{} : network.sent.back().bytes;
    }
    void expectRefusal(const std::string& firstLine) {
        network.sent.clear();
        dialogs.expect(ports::Answer::Ok, firstLine);
        save();
        ASSERT_FALSE(dialogs.shown().empty());
        EXPECT_EQ(dialogs.last().text, firstLine + "\rCannot save.");
        EXPECT_EQ(dialogs.last().title, "Error!");
        EXPECT_EQ(dialogs.last().icon, ports::MessageIcon::Critical);
        EXPECT_TRUE(network.sent.empty());
    }
};

TEST_F(Save, ChecksRunInTheirOrderEachWithItsMessage) {
    expectRefusal("No Network Element selected!");
    show(0);
    auto& p = main->panel;
    // Every later check fails too; only the first failing one is said.
    p.cmbAudioInput.setListIndex(-1);
    p.txtElementName.setText("");
    p.txtElementIP.setText("192.168.1");
    files.removeExternally(kDb);
    expectRefusal("Please verify that all audio fields are correct!");
    p.cmbAudioInput.setListIndex(1);
    expectRefusal("Please verify that the name field is correct!");
    p.txtElementName.setText("A");
    expectRefusal("Please verify that all IP fields are correct!");
    p.txtElementIP.setText("192.168.1.256");
    expectRefusal("Please verify that all IP fields are correct!");
    p.txtElementIP.setText("192.168.1.50");
    p.txtElementMask.setText("255.255.255.0");
    p.txtElementGW.setText("0.0.0.0");
    expectRefusal("The local database in your computer, is corrupted!");
}

TEST_F(Save, NamesAndAddressesTheElementCannotUseAreRefusedNamingTheField) {
    const std::string name = "The element name cannot hold the character ";
    const std::string latin1 =
        ": only Latin-1 letters, digits and signs go to the element as they are.";
    const std::string unusable = " is not a usable host address of its subnet.";
    struct Case {
        int node;
        const char* control;
        const char* value;
        std::string refusal;
    };
    const Case cases[] = {
        {0, "name", "tx n\u00f6rd \u00c4\u00d6 \u20ac", name + "\"\u20ac\" (U+20AC)" + latin1},
        {0, "name", "A\tB", name + "(U+0009)" + latin1},
        {0, "name", "\u0142\u00f3d\u017a", name + "\"\u0142\" (U+0142)" + latin1},
        {0, "ip", "0.0.0.0", "The element's IP address 0.0.0.0" + unusable},
        {0, "ip", "255.255.255.255", "The element's IP address 255.255.255.255" + unusable},
        {0, "ip", "192.168.1.0", "The element's IP address 192.168.1.0" + unusable},
        {0, "ip", "192.168.1.255", "The element's IP address 192.168.1.255" + unusable},
        {0, "ip", "127.0.0.1", "The element's IP address 127.0.0.1" + unusable},
        {0, "ip", "224.0.0.5", "The element's IP address 224.0.0.5" + unusable},
        {0, "ip", "192.168.1.1",
         "The element's IP address 192.168.1.1 is the address of its gateway."},
        {0, "mask", "255.0.255.0", "The element's subnet mask 255.0.255.0 is not contiguous."},
        {0, "mask", "255.255.255.1", "The element's subnet mask 255.255.255.1 is not contiguous."},
        {0, "gw", "192.168.1.255",
         "The element's gateway 192.168.1.255 is not a usable host address."},
        {0, "gw", "239.0.0.1", "The element's gateway 239.0.0.1 is not a usable host address."},
        {0, "remote", "239.1.1.1",
         "The decoder IP address 239.1.1.1 is not a unicast host address."},
        {0, "remote", "0.0.0.0", "The decoder IP address 0.0.0.0 is not a unicast host address."},
        {1, "remote", "192.168.1.70",
         "The multicast IP address 192.168.1.70 is not a multicast address (224.0.0.0 to "
         "239.255.255.255)."},
        {1, "remote", "240.0.0.1",
         "The multicast IP address 240.0.0.1 is not a multicast address (224.0.0.0 to "
         "239.255.255.255)."},
    };
    auto& p = main->panel;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.control) + "=" + c.value);
        show(c.node);
        const std::string control = c.control;
        auto& box = control == "name"   ? p.txtElementName
                    : control == "ip"   ? p.txtElementIP
                    : control == "mask" ? p.txtElementMask
                    : control == "gw"   ? p.txtElementGW
                                        : p.txtRemoteIP;
        box.setText(c.value, ports::Origin::Operator);
        box.lostFocus();
        expectRefusal(c.refusal);
        EXPECT_TRUE(dialogs.allUsed());
    }
    // No gateway is still said with 0.0.0.0, and a /31 link uses both of its addresses.
    show(0);
    p.txtElementGW.setText("0.0.0.0", ports::Origin::Operator);
    p.txtElementMask.setText("255.255.255.254", ports::Origin::Operator);
    p.txtElementIP.setText("192.168.1.51", ports::Origin::Operator);
    const auto packet = saveConfirmed();
    ASSERT_EQ(packet.size(), 39u);
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin(), packet.begin() + 12),
              (std::vector<std::uint8_t>{192, 168, 1, 51, 255, 255, 255, 254, 0, 0, 0, 0}));
    dialogs.expect(ports::Answer::Ok, "timed out");
    time.advance(3001);
    // A decoder receiving unicast sends nothing to the address it keeps.
    show(1);
    p.cmbAudioTX.setListIndex(0);
    p.txtRemoteIP.setText("0.0.0.0", ports::Origin::Operator);
    ASSERT_EQ(saveConfirmed().size(), 41u);
    dialogs.expect(ports::Answer::Ok, "timed out");
    time.advance(3001);
}

TEST_F(Save, ANameOfLatin1LettersGoesOutAsTyped) {
    show(0);
    auto& p = main->panel;
    p.txtElementName.setText("tx n\u00f6rd \u00c4\u00d6 \u00ff", ports::Origin::Operator);
    p.txtElementName.lostFocus();
    const auto packet = saveConfirmed();
    ASSERT_EQ(packet.size(), 39u);
    EXPECT_EQ(std::string(packet.begin() + 20, packet.begin() + 36),
              "TX N\xD6RD \xC4\xD6 \xFF    ");
    dialogs.expect(ports::Answer::Ok, "timed out");
    time.advance(3001);
}

TEST_F(Save, AGatewayOutsideTheSubnetIsSentOnlyOnAYes) {
    show(0);
    main->panel.txtElementGW.setText("10.0.0.1", ports::Origin::Operator);
    const std::string question =
        "The element's gateway 10.0.0.1 is outside its subnet 192.168.1.0/24,\rso the element "
        "cannot reach it.\rSend this configuration anyway?";
    network.sent.clear();
    dialogs.expect(ports::Answer::No, "outside its subnet");
    save();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().text, question);
    EXPECT_EQ(dialogs.last().buttons, ports::MessageButtons::YesNo);
    EXPECT_EQ(dialogs.last().defaultButton, ports::Answer::No);
    EXPECT_TRUE(network.sent.empty());
    EXPECT_FALSE(main->exchange().awaitingConfigurationAnswer());

    dialogs.expect(ports::Answer::Yes, "outside its subnet");
    const auto packet = saveConfirmed();
    ASSERT_EQ(packet.size(), 39u);
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin() + 8, packet.begin() + 12),
              (std::vector<std::uint8_t>{10, 0, 0, 1}));
    dialogs.expect(ports::Answer::Ok, "timed out");
    time.advance(3001);
    EXPECT_TRUE(dialogs.allUsed());
}

// The element's answer left an encoder's buffer bar at its value (7.5mS) and the tree's rebuild
// emptied "Bound to"; after the confirmation the panel is what a click on the element shows.
TEST_F(Save, AfterTheConfirmationThePanelShowsTheRecord) {
    show(0);
    auto& p = main->panel;
    p.txtElementName.setText("studio b", ports::Origin::Operator);
    p.txtElementName.lostFocus();
    saveConfirmed();
    network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
    auto answer = ElementAnswer::encoder();
    answer.setName("STUDIO B");
    ElementAnswer::setAddress(answer.f.remote, "192.168.1.60");
    answer.f.buf = 1;
    dialogs.expect(ports::Answer::Ok, "sucessfuly saved");
    receive(answer.bytes());
    time.advance(1000);
    ASSERT_TRUE(dialogs.allUsed());
    EXPECT_EQ(read("00AA00000001", "name"), "STUDIO B        ");
    EXPECT_EQ(read("00AA00000001", "buf"), "1");

    const auto shown = [&p] {
        return std::vector<std::string>{
            p.txtElementName.text(), p.lblLatency.caption(), std::to_string(p.scrlBuffer.value()),
            std::to_string(p.cmbEncoders.listIndex()), p.cmbEncoders.text()};
    };
    const auto afterConfirmation = shown();
    EXPECT_EQ(afterConfirmation[1], "2.5mS");
    EXPECT_EQ(afterConfirmation[3], "2");
    EXPECT_EQ(afterConfirmation[4], "OLD [00:AA:00:00:00:03]");
    show(0);
    EXPECT_EQ(shown(), afterConfirmation);
}

TEST_F(Save, AnAes67ChannelThatCannotBeUsedFailsTheAddressCheck) {
    show(0);
    auto& p = main->panel;
    p.cmbAudioType.setListIndex(5, ports::Origin::Operator);  // L/R AES67
    p.txtAES67Channel.setText("70000", ports::Origin::Operator);
    main->editor().txtAES67Channel_KeyUp();
    ASSERT_EQ(p.txtAES67Channel.backColor(), ports::kLightRed);
    ASSERT_TRUE(protocol::IsValidIP(p.txtRemoteIP.text()));  // the last derived address still stands
    expectRefusal("Please verify that all IP fields are correct!");
    p.txtAES67Channel.setText("261", ports::Origin::Operator);
    main->editor().txtAES67Channel_KeyUp();
    const auto packet = saveConfirmed();
    ASSERT_EQ(packet.size(), 39u);
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin() + 12, packet.begin() + 16),
              (std::vector<std::uint8_t>{239, 192, 1, 5}));
}

TEST_F(Save, ConfirmationAsksWithNoAsDefaultAndNoSendsNothing) {
    show(0);
    main->panel.txtElementName.setText("Studio B", ports::Origin::Operator);
    network.sent.clear();
    dialogs.expect(ports::Answer::No, "Are you sure?");
    save();
    const auto& box = dialogs.last();
    EXPECT_EQ(box.text,
              "This configuration will be sent to selected Network Element and\r"
              "will also be saved to local database in your computer. \rAre you sure?");
    EXPECT_EQ(box.title, "Send configuration");
    EXPECT_EQ(box.icon, ports::MessageIcon::Question);
    EXPECT_EQ(box.buttons, ports::MessageButtons::YesNo);
    EXPECT_EQ(box.defaultButton, ports::Answer::No);
    EXPECT_EQ(box.details, "Name: STUDIO A \u2192 STUDIO B");
    EXPECT_TRUE(network.sent.empty());
    EXPECT_FALSE(main->exchange().awaitingConfigurationAnswer());
    EXPECT_EQ(read("00AA00000001", "name"), "STUDIO A        ");
}

TEST_F(Save, TheDetailsListEverySettingThatChanges) {
    show(1);  // the decoder
    auto& p = main->panel;
    dialogs.expect(ports::Answer::No);
    save();
    EXPECT_EQ(dialogs.last().details, "No setting differs from the stored record.");
    p.cmbAudioType.setListIndex(1, ports::Origin::Operator);  // L/R HD
    p.txtRemoteIP.setText("239.200.000.009", ports::Origin::Operator);
    p.scrlBuffer.setValue(12, ports::Origin::Operator);
    dialogs.expect(ports::Answer::No);
    save();
    EXPECT_EQ(dialogs.last().details,
              "Audio type: MPX HD \u2192 L/R HD\rMulticast address: 239.200.0.5 \u2192 239.200.0.9\r"
              "Buffer: 10 \u2192 12");
}

TEST_F(Save, EachLayoutByRoleAndFirmware) {
    show(0);  // encoder 3.70: 39 bytes, the constant and the sample width
    auto packet = saveConfirmed();
    ASSERT_EQ(packet.size(), 39u);
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin(), packet.begin() + 4), (std::vector<std::uint8_t>{192, 168, 1, 50}));
    EXPECT_EQ(packet[16], 1);   // input
    EXPECT_EQ(packet[17], 16);  // L/R HD
    EXPECT_EQ(std::string(packet.begin() + 20, packet.begin() + 36), "STUDIO A        ");
    EXPECT_EQ(packet[37], 1);
    EXPECT_EQ(packet[38], 24);
    EXPECT_EQ(network.sent.back().host, "192.168.1.50");
    EXPECT_EQ(network.sent.back().port, 2976);
    EXPECT_EQ(network.echoes.back(), "192.168.1.50");  // the silent ping after the send
    dialogs.expect(ports::Answer::Ok, "timed out");
    time.advance(3001);

    show(1);  // decoder 3.69: 41 bytes, no flags, no sample width
    main->panel.chkNarrowBand.setChecked(true);
    packet = saveConfirmed();
    dialogs.expect(ports::Answer::Ok, "timed out");
    ASSERT_EQ(packet.size(), 41u);
    EXPECT_EQ(packet[17], 32);
    EXPECT_EQ(packet[19], 1);  // SFN
    EXPECT_EQ(packet[36], 10);
    EXPECT_EQ(packet[37], 3);
    EXPECT_EQ(packet[38], 10);
    EXPECT_EQ(packet[39], 12);
    time.advance(3001);

    show(2);  // no version: the oldest encoder layout
    packet = saveConfirmed();
    dialogs.expect(ports::Answer::Ok, "timed out");
    EXPECT_EQ(packet.size(), 37u);
    EXPECT_EQ(std::string(packet.begin() + 20, packet.begin() + 36), "OLD             ");
    time.advance(3001);
    EXPECT_TRUE(dialogs.allUsed());
}

TEST_F(Save, FlagsOfTheTypeByteGoOnlyToFirmwareAbove369) {
    show(1);
    db->WriteToINI("00AA00000002", "ver", "3.70", kDb);
    auto& p = main->panel;
    p.chkNarrowBand.setChecked(true);
    p.chkEnableFLAC.setChecked(true);
    const auto packet = saveConfirmed();
    dialogs.expect(ports::Answer::Ok, "timed out");
    ASSERT_EQ(packet.size(), 42u);
    EXPECT_EQ(packet[17], 224);  // MPX HD, narrowband and FLAC
    EXPECT_EQ(packet[41], 24);
    time.advance(3001);
}

TEST_F(Save, SaveChangesWaitsForTheAnswerOrTheTimeOut) {
    show(0);
    saveConfirmed();
    dialogs.expect(ports::Answer::Ok, "timed out");
    EXPECT_TRUE(main->exchange().awaitingConfigurationAnswer());
    EXPECT_FALSE(main->Toolbar1.buttonEnabled(station::toolbar::kSave));
    network.sent.clear();
    save();  // disabled: nothing happens
    EXPECT_TRUE(network.sent.empty());
    time.advance(3000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(dialogs.shown().size(), 2u);
    EXPECT_TRUE(main->Toolbar1.buttonEnabled(station::toolbar::kSave));
    // Nothing was stored from the editor alone.
    EXPECT_EQ(read("00AA00000001", "name"), "STUDIO A        ");
}

TEST(SaveVersion, ReadWithAPointWhateverTheLocale) {
    EXPECT_EQ(editor::configurationVersion("3.7"), 3.7f);
    EXPECT_EQ(editor::configurationVersion("3.70"), 3.7f);
    EXPECT_EQ(editor::configurationVersion("2.0"), 2.0f);
    EXPECT_EQ(editor::configurationVersion("abc"), 0.0f);
    // The window's toolkit gives the C library the user's locale; "3.7" read as 3 would send
    // the oldest packet layout.
    for (const char* name : kCommaLocales) {
        const ScopedLocale comma(name);
        ASSERT_TRUE(comma.active()) << name << " is missing (scripts/install-deps.sh creates it)";
        EXPECT_EQ(editor::configurationVersion("3.7"), 3.7f) << name;
        EXPECT_EQ(editor::configurationVersion("3.69"), 3.69f) << name;
    }
}

}  // namespace
}  // namespace nms::testing
