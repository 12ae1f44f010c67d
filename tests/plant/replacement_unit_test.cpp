#include "plant/replacement_unit.h"

#include <gtest/gtest.h>

#include "editor/save_configuration.h"
#include "monitor/plant_monitor.h"
#include "plant/plant_backup.h"
#include "station/demo_station.h"

namespace nms::testing {
namespace {

using plant::ReplacementUnit;

// TX EAST SFN fails; a spare decoder with factory settings takes its place and is found by a
// scan, which replaces the database: the failed unit's record is only in the backup.
class ReplacementDemo : public DemoStation {
protected:
    void SetUp() override {
        DemoStation::SetUp();
        discover();
        backup =
            *plant::readBackup(plant::backupJson({.records = plant::recordsOfDatabase(file())}))
                 .backup;
        eastKey = sectionOf("TX EAST SFN");
        element("TX EAST SFN").identity().ip = {10, 99, 0, 1};  // gone from the network
        sim::ElementIdentity spare;
        spare.role = sim::Role::Decoder;
        spare.mac = {0x00, 0x1A, 0x2B, 0x50, 0x00, 0x99};
        plant.lan().addElement(spare);
        dialogs.expect(ports::Answer::Yes, "delete the local database");
        discover();
        ASSERT_EQ(stored("ELEMENT", "ip"), "192.168.50.100");
        show("ELEMENT");
        unit = std::make_unique<ReplacementUnit>(
            ReplacementUnit::Links{main->context(), main->panel, main->editor(), main->exchange(),
                                   [this] { main->exchange().SaveConfiguration(); }});
        unit->onFinished = [this] { ++finished; };
    }
    std::string applyFrom(const plant::SourceRecord& source) {
        std::string refusal;
        operatorDoes([&] { refusal = unit->apply(source); });
        return refusal;
    }
    plant::PlantBackup backup;
    std::string eastKey;
    std::unique_ptr<ReplacementUnit> unit;
    int finished = 0;
};

TEST_F(ReplacementDemo, AFactoryDefaultSpareTakesTheFailedDecodersSettingsFromABackupInOneStep) {
    const auto source = plant::recordFromBackup(backup, eastKey, "plant.json");
    ASSERT_TRUE(source);
    dialogs.expect(ports::Answer::Yes, "Are you sure?");
    dialogs.expect(ports::Answer::Ok, "sucessfuly saved");
    ASSERT_EQ(applyFrom(*source), "");
    // The confirmation listed every change, each marked as the operator's.
    const auto& asked = dialogs.shown().at(dialogs.shown().size() - 1).box;
    EXPECT_NE(asked.details.find("Name: ELEMENT → TX EAST SFN"), std::string::npos)
        << asked.details;
    EXPECT_NE(asked.details.find("SFN: off → on"), std::string::npos);
    time.advance(25000);
    ASSERT_EQ(finished, 1);
    const auto& s = unit->summary();
    EXPECT_TRUE(s.configurationConfirmed) << s.text();
    EXPECT_TRUE(s.delaySent && s.delayConfirmed) << s.text();
    EXPECT_TRUE(s.complete()) << s.text();

    // The spare now is what the failed unit was, on air and in the database.
    auto& spare = *plant.lan().elementByMac({0x00, 0x1A, 0x2B, 0x50, 0x00, 0x99});
    auto& east = element("TX EAST SFN");
    EXPECT_EQ(spare.identity().name.substr(0, 11), "TX EAST SFN");
    EXPECT_EQ(spare.identity().ip, (sim::Ipv4{192, 168, 50, 32}));
    EXPECT_EQ(spare.settings().remote, east.settings().remote);
    // The FLAC flag is the unit's own: only the audio type and narrowband follow the record.
    EXPECT_EQ(spare.settings().type & 0x7F, east.settings().type & 0x7F);
    EXPECT_EQ(spare.settings().sfn, 1);
    EXPECT_EQ(spare.settings().buffer, east.settings().buffer);
    EXPECT_EQ(spare.settings().level, east.settings().level);
    EXPECT_EQ(spare.settings().additionalDelayNs, 1200 * 100);
    const auto spareKey = protocol::Encode_MAC("00:1A:2B:50:00:99");
    EXPECT_EQ(db->ReadFromINI(spareKey, "dly", kDb, ""), "1200");
    EXPECT_EQ(db->ReadFromINI(spareKey, "ip", kDb, ""), "192.168.50.32");
    EXPECT_FALSE(main->plantMonitor().paused());
}

TEST_F(ReplacementDemo, BadSourcesAreRefusedAndChangeNothing) {
    const std::string before = file();
    const auto sentBefore = plant.lan().framesDelivered();
    // An encoder's record onto a decoder.
    const auto encoder = plant::recordFromBackup(backup, sectionOf("STUDIO A LR"), "plant.json");
    ASSERT_TRUE(encoder);
    EXPECT_NE(applyFrom(*encoder).find("is an encoder, the shown element a decoder"),
              std::string::npos);
    // The shown element's own record.
    const auto own = plant::recordFromDatabase(*db, kDb, protocol::Encode_MAC("00:1A:2B:50:00:99"));
    ASSERT_TRUE(own);
    EXPECT_NE(applyFrom(*own).find("own record"), std::string::npos);
    // A record holding a value the element cannot take: nothing of it stays in the editor.
    auto edited = *plant::recordFromBackup(backup, eastKey, "plant.json");
    for (auto& [k, v] : edited.values)
        if (k == "BUF") v = "99";
    EXPECT_NE(applyFrom(edited).find("\"BUF\" is \"99\", outside 0 to 44"), std::string::npos)
        << applyFrom(edited);
    // The whole record is judged before anything goes: a name or a delay the element cannot
    // hold is not left for the end, after the rest went out.
    for (const auto& [key, value, says] :
         {std::tuple<std::string, std::string, std::string>{"DLY", "999999", "outside 0 to 25000"},
          {"NAME", std::string(40, 'X'), "longer than the 16 characters"}}) {
        auto bad = *plant::recordFromBackup(backup, eastKey, "plant.json");
        for (auto& [k, v] : bad.values)
            if (k == key) v = value;
        EXPECT_NE(applyFrom(bad).find(says), std::string::npos) << key;
    }
    EXPECT_EQ(main->panel.txtElementName.text().rfind("ELEMENT ", 0), 0u);
    EXPECT_TRUE(editor::configurationChanges(main->panel, main->AudioTypes,
                                             [this](std::string_view key, std::string_view fb) {
                                                 return main->context().readShown(key, fb);
                                             })
                    .empty());
    // A backup that is not one, and a record that is not in it.
    EXPECT_FALSE(plant::readBackup("{\"format_version\": 2}").backup);
    EXPECT_FALSE(plant::recordFromBackup(backup, "00AA00000000", "plant.json"));
    time.advance(1000);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(plant.lan().framesDelivered() - sentBefore, 0u);
    // The element's own record from a file is a source (last week's backup); only the
    // database's own is nothing to apply.
    auto ownFromFile = *own;
    ownFromFile.origin = "plant.json";
    EXPECT_EQ(applyFrom(ownFromFile), "");
}

// A replacement unit takes the address of the unit it replaces only once that unit no longer
// answers there; another element's address is refused outright.
TEST_F(ReplacementDemo, TheReplacedUnitsAddressIsTakenOnlyWhenItNoLongerAnswers) {
    const auto north = plant::recordFromDatabase(*db, kDb, sectionOf("TX NORTH"));
    ASSERT_TRUE(north);
    EXPECT_EQ(applyFrom(*north), "");  // it asks the replaced unit first
    time.advance(3000);
    ASSERT_EQ(finished, 1);
    EXPECT_EQ(unit->summary().configurationEnd, editor::ConfigurationExchange::SaveEnd::NotSent);
    EXPECT_NE(unit->summary().configuration.find("TX NORTH (00:1A:2B:50:00:1F) still answers"),
              std::string::npos)
        << unit->summary().configuration;
    EXPECT_EQ(stored("ELEMENT", "ip"), "192.168.50.100");
    EXPECT_FALSE(main->plantMonitor().paused());

    // Another element shown while the replaced one is being asked gets none of it.
    EXPECT_EQ(applyFrom(*north), "");
    show("TX WEST SFN");
    time.advance(3000);
    ASSERT_EQ(finished, 2);
    EXPECT_NE(unit->summary().configuration.find("another element was shown"), std::string::npos)
        << unit->summary().configuration;
    EXPECT_FALSE(main->plantMonitor().paused());
    show("ELEMENT");

    element("TX NORTH").identity().ip = {10, 99, 0, 2};  // taken off the network
    dialogs.expect(ports::Answer::Yes, "Are you sure?");
    dialogs.expect(ports::Answer::Ok, "sucessfuly saved");
    EXPECT_EQ(applyFrom(*north), "");
    time.advance(25000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(unit->summary().configurationEnd, editor::ConfigurationExchange::SaveEnd::Confirmed)
        << unit->summary().text();
}

}  // namespace
}  // namespace nms::testing
