#include "plant/plant_backup.h"

#include <gtest/gtest.h>

#include "station/demo_station.h"

namespace nms::testing {
namespace {

class PlantBackupDemo : public DemoStation {
protected:
    void SetUp() override {
        DemoStation::SetUp();
        discover();
        ASSERT_TRUE(db->snapshot(kDb, original));
        ASSERT_TRUE(original);
        backup.time = "2026-12-09T03:30:00Z";
        backup.station = "desk-1";
        backup.program = "1.0.0";
        backup.settings = {{"Vantrelo NG", "ScanTimeout", "6"}};
        backup.records = plant::recordsOfDatabase(*original);
        json = plant::backupJson(backup);
    }
    std::string fileNow() {
        std::optional<std::string> now;
        EXPECT_TRUE(db->snapshot(kDb, now));
        return now.value_or("<none>");
    }
    std::optional<std::string> original;
    plant::PlantBackup backup;
    std::string json;
};

TEST_F(PlantBackupDemo,
       RestoreAfterDiscoveryGivesTheSameDatabaseByteForByteAndKeepsTheReplacedOne) {
    // A key the station does not know survives, and numbers are numbers.
    const std::string decoder = sectionOf("TX EAST SFN");
    db->WriteToINI(decoder, "Site", "Hill 3", kDb);
    ASSERT_TRUE(db->snapshot(kDb, original));
    backup.records = plant::recordsOfDatabase(*original);
    json = plant::backupJson(backup);
    EXPECT_NE(json.find("\"format_version\": 1,"), std::string::npos);
    EXPECT_NE(json.find("\"ROLE\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"SITE\": \"Hill 3\""), std::string::npos) << json;

    db->WriteToINI(decoder, "name", "RENAMED", kDb);
    dialogs.expect(ports::Answer::Yes, "Are you sure?");
    discover();
    const std::string afterDiscovery = fileNow();
    ASSERT_NE(afterDiscovery, *original);

    const auto read = plant::readBackup(json);
    ASSERT_TRUE(read.backup) << read.error;
    EXPECT_EQ(read.backup->settings.size(), 1u);
    EXPECT_EQ(read.backup->records.size(), backup.records.size());
    EXPECT_EQ(read.backup->records.front().element.role.has_value(), true);
    EXPECT_NE(plant::replacementSummary(plant::recordsOfDatabase(afterDiscovery), *read.backup, kDb)
                  .find("1 changed"),
              std::string::npos);
    ASSERT_TRUE(plant::restoreDatabase(*db, kDb, *read.backup).ok);
    EXPECT_EQ(fileNow(), *original);
    std::optional<std::string> kept;
    ASSERT_TRUE(db->snapshot(std::string(kDb) + ".bak", kept));
    EXPECT_EQ(kept, afterDiscovery);
    // The station reads the restored file at once.
    EXPECT_EQ(db->ReadFromINI(decoder, "site", kDb, ""), "Hill 3");
}

TEST_F(PlantBackupDemo, BadFilesAreRefusedNamingWhatIsWrongAndChangeNothing) {
    auto replaced = [&](const std::string& from, const std::string& to, std::size_t after = 0) {
        std::string t = json;
        const auto at = t.find(from, after);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) t.replace(at, from.size(), to);
        return t;
    };
    const std::string firstKey = backup.records.at(0).key;
    const std::string secondKey = backup.records.at(1).key;
    const std::string mac2 = protocol::Decode_MAC(secondKey);
    std::string flood = "[0";
    for (int i = 0; i < 1'000'000; ++i) flood += ",0";
    flood += "]";
    const struct {
        const char* what;
        std::string text;
        std::string says;
    } cases[] = {
        {"another format version", replaced("\"format_version\": 1", "\"format_version\": 2"),
         "format version 2; this station reads version 1"},
        {"truncated", json.substr(0, json.size() / 2), "truncated"},
        {"not JSON", "NAME=X\n", "unexpected character at byte 1"},
        {"a bad role", replaced("\"ROLE\": ", "\"ROLE\": 7, \"X\": "), "record 1 ("},
        {"a bad address",
         replaced("\"IP\": \"", "\"IP\": \"10.0.0.300\", \"OLDIP\": \"", json.find(secondKey)),
         "record 2 (" + mac2},
        {"a duplicate MAC",
         replaced("\"key\": \"" + secondKey + "\"", "\"key\": \"" + firstKey + "\""),
         "record 2 (" + protocol::Decode_MAC(firstKey)},
        {"a line break in a value", replaced("\"NAME\": \"", "\"NAME\": \"A\\n[X]\\nB"),
         "record 1 ("},
        {"a value that is a list", replaced("\"ROLE\": ", "\"ROLE\": [], \"Y\": "), "record 1 ("},
        {"deeply nested", std::string(100, '[') + std::string(100, ']'), "nested too deeply"},
        {"a bad UTF-8 byte", replaced("\"NAME\": \"", "\"NAME\": \"\xC0\xAF"), "not UTF-8"},
        // What no element's controls can take is refused here, not half-way through a restore.
        {"a delay out of range", replaced("\"DLY\": ", "\"DLY\": 999999, \"OLDDLY\": "),
         "\"DLY\" is \"999999\", outside 0 to 25000"},
        {"a name too long", replaced("\"NAME\": \"", "\"NAME\": \"" + std::string(40, 'N')),
         "longer than the 16 characters an element holds"},
        // A C1 control in a key is read back by the database as a blank: never to be found.
        {"a C1 control in a key", replaced("\"ROLE\": ", "\"\\u0085K\": 1, \"ROLE\": "),
         "a key name the database cannot hold"},
        // Each value costs a hundred bytes of memory: their number is bounded, not only bytes.
        {"a flood of values", flood, "more than 1000000 values"},
    };
    for (const auto& c : cases) {
        const auto read = plant::readBackup(c.text);
        EXPECT_FALSE(read.backup) << c.what;
        EXPECT_NE(read.error.find(c.says), std::string::npos) << c.what << ": " << read.error;
    }
    // What an element may report of itself is restored as it was stored, though the editor's
    // controls would not take it (a silence threshold of 0, a blank name).
    EXPECT_TRUE(plant::readBackup(replaced("\"SDL\": ", "\"SDL\": 0, \"OLDSDL\": ")).backup);
    EXPECT_TRUE(plant::readBackup(replaced("\"NAME\": \"", "\"NAME\": \"   \", \"OLDNAME\": \""))
                    .backup);
    EXPECT_NE(plant::readBackup(cases[3].text).error.find("role 7 is neither"), std::string::npos);
    EXPECT_NE(plant::readBackup(cases[4].text).error.find("\"10.0.0.300\", not an IPv4 address"),
              std::string::npos);
    EXPECT_NE(plant::readBackup(cases[5].text).error.find("the MAC of an earlier record"),
              std::string::npos);
    EXPECT_EQ(fileNow(), *original);
}

}  // namespace
}  // namespace nms::testing
