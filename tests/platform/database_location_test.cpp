#include "platform/database_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/file_store_linux.h"
#include "platform/host_names.h"

namespace nms::platform {
namespace {

namespace fs = std::filesystem;

class ChooseDatabasePath : public ::testing::Test {
protected:
    std::string choose() {
        return chooseDatabasePath(
            in, [this](const std::string& p) { return files.count(p) != 0; },
            [this](const std::string& p) { return folders.count(p) != 0; });
    }
    DatabaseLocationInputs in{{}, std::nullopt, std::nullopt, std::string("/home/op"), "/opt/nms/bin", "/work"};
    std::set<std::string> files;
    std::set<std::string> folders;
};

TEST_F(ChooseDatabasePath, DefaultsToTheUsersDataFolder) {
    EXPECT_EQ(choose(), "/home/op/.local/share/Kestrova/Vantrelo NG/nms.ini");
    in.xdgDataHome = "/data/op";
    EXPECT_EQ(choose(), "/data/op/Kestrova/Vantrelo NG/nms.ini");
    in.xdgDataHome = "relative/data";  // not absolute: ignored
    EXPECT_EQ(choose(), "/home/op/.local/share/Kestrova/Vantrelo NG/nms.ini");
    in.xdgDataHome = "";
    EXPECT_EQ(choose(), "/home/op/.local/share/Kestrova/Vantrelo NG/nms.ini");
}

TEST_F(ChooseDatabasePath, ACopyBesideTheProgramIsUsedForPortableUse) {
    files.insert("/opt/nms/bin/nms.ini");
    in.xdgDataHome = "/data/op";
    EXPECT_EQ(choose(), "/opt/nms/bin/nms.ini");
}

TEST_F(ChooseDatabasePath, TheOptionComesFirstThenTheEnvironment) {
    files.insert("/opt/nms/bin/nms.ini");
    in.nmsDatabase = "/env/nms.ini";
    EXPECT_EQ(choose(), "/env/nms.ini");
    in.args = {"GPS", "--database", "/opt/x.ini"};
    EXPECT_EQ(choose(), "/opt/x.ini");
    in.args = {"--database=/opt/y.ini", "LL"};
    EXPECT_EQ(choose(), "/opt/y.ini");
    in.args = {"--database"};  // no value: ignored
    EXPECT_EQ(choose(), "/env/nms.ini");
}

TEST_F(ChooseDatabasePath, ARelativePathIsTakenFromTheWorkingFolderAndAFolderGetsTheFileName) {
    in.args = {"--database", "db/site.ini"};
    EXPECT_EQ(choose(), "/work/db/site.ini");
    in.args = {"--database", "/srv/db/"};
    EXPECT_EQ(choose(), "/srv/db/nms.ini");
    folders.insert("/srv/store");
    in.args = {"--database", "/srv/store"};
    EXPECT_EQ(choose(), "/srv/store/nms.ini");
}

TEST(DatabaseOption, IsTakenOutOfTheCommandLine) {
    EXPECT_EQ(withoutDatabaseOption({"--database", "/x.ini", "GPS"}), std::vector<std::string>{"GPS"});
    EXPECT_EQ(withoutDatabaseOption({"LL", "--database=/x.ini"}), std::vector<std::string>{"LL"});
    EXPECT_EQ(withoutDatabaseOption({"GPS"}), std::vector<std::string>{"GPS"});
}

TEST(LocateDatabase, CreatesTheFolderOrSaysOnceWhyItCannot) {
    char pattern[] = "/tmp/nms-location-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    LinuxFileStore files;
    DatabaseLocationInputs in;
    in.xdgDataHome = root + "/data";
    const auto ok = locateDatabase(in, files);
    EXPECT_TRUE(ok.ok()) << ok.error;
    EXPECT_EQ(ok.path, root + "/data/Kestrova/Vantrelo NG/nms.ini");
    EXPECT_TRUE(fs::is_directory(root + "/data/Kestrova/Vantrelo NG"));

    std::ofstream(root + "/blocker") << "a file, not a folder";
    in.xdgDataHome = root + "/blocker";
    const auto bad = locateDatabase(in, files);
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error.find(bad.path), std::string::npos) << bad.error;

    std::error_code ec;
    fs::remove_all(root, ec);
}

TEST(LocateDatabase, TheCurrentProcessIsDescribed) {
    const char* argv[] = {"nms", "--database", "/tmp/x.ini", "GPS"};
    const auto in = currentProcessInputs(4, argv);
    EXPECT_EQ(in.args, (std::vector<std::string>{"--database", "/tmp/x.ini", "GPS"}));
    EXPECT_FALSE(in.executableDir.empty());
    EXPECT_FALSE(in.workingDir.empty());
    EXPECT_TRUE(in.home.has_value());
}

// The names a browser may use for the web status page include the machine's full name; its
// domain is read as the resolver reads it, never asked of the network.
TEST(LocalDomainName, IsReadAsTheResolverReadsIt) {
    struct Case {
        const char *variable, *conf, *host, *domain;
    } const cases[] = {
        {"", "nameserver 10.0.0.1\ndomain studio.example\n", "tx1", "studio.example"},
        {"", "search plant.example other.example\n", "tx1", "plant.example"},
        {"", "domain a.example\nsearch b.example\n", "tx1", "b.example"},  // the last line wins
        {"", "# domain x.example\n  domain\t c.example \n", "tx1", "c.example"},
        {"", "nameserver 10.0.0.1\n", "tx1.site.example", "site.example"},
        {"", "", "tx1", ""},
        {" forced.example other", "domain c.example\n", "tx1", "forced.example"},
    };
    for (const auto& c : cases) EXPECT_EQ(localDomainName(c.variable, c.conf, c.host), c.domain) << c.conf;
}

}  // namespace
}  // namespace nms::platform
