// nms-cli as a script uses it: its help and version, the demo marked as such, the element list
// as a table and as JSON, a missing database, and a second station that cannot get the lock.

#include <gtest/gtest.h>

#include <QLockFile>
#include <QString>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace nms {
namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        char tmpl[] = "/tmp/nms-cli-test-XXXXXX";
        root_ = ::mkdtemp(tmpl);
        std::filesystem::create_directories(root_ + "/run");
        std::filesystem::permissions(root_ + "/run", std::filesystem::perms::owner_all);
        std::filesystem::create_directories(root_ + "/cfg/vantrelo-nms");
        std::ofstream(root_ + "/cfg/vantrelo-nms/Kestrova.ini") << "[Vantrelo%20NG]\nEULA1=1\n";
    }
    ~CliTest() override { std::filesystem::remove_all(root_); }

    Result run(const std::string& args) {
        const std::string command = "env -u NMS_DATABASE HOME=" + root_ + " XDG_CONFIG_HOME=" + root_ +
                                    "/cfg XDG_DATA_HOME=" + root_ + "/data XDG_RUNTIME_DIR=" + root_ + "/run " +
                                    NMS_CLI + " " + args + " >" + root_ + "/out 2>" + root_ + "/err";
        Result r;
        const int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = read("out");
        r.err = read("err");
        return r;
    }
    std::string read(const char* name) {
        std::ifstream f(root_ + "/" + name);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string demoFolder() const { return root_ + "/run/vantrelo-nms-demo-" + std::to_string(::getuid()); }

    std::string root_;
};

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
    auto r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: nms-cli"), std::string::npos);
    EXPECT_TRUE(r.err.empty()) << r.err;
    r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("3.7.8"), std::string::npos) << r.out;
    EXPECT_EQ(run("frobnicate").status, 2);
}

TEST_F(CliTest, TheDemoSaysItIsADemoAndListsItsPlantSortedByName) {
    auto r = run("discover --demo --yes --timeout 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Simulated network"), std::string::npos) << r.err;
    // The window's notice and hints are not for a script.
    EXPECT_EQ(r.err.find("IMPORTANT NOTICE"), std::string::npos) << r.err;

    r = run("list --demo");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string header, first, second;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(header.rfind("NAME", 0), 0u) << r.out;
    EXPECT_NE(header.find("ROLE"), std::string::npos);
    EXPECT_NE(header.find("FIRMWARE"), std::string::npos);
    EXPECT_EQ(first.rfind("STUDIO A LR", 0), 0u) << r.out;
    EXPECT_EQ(second.rfind("STUDIO B MPX", 0), 0u) << r.out;
    EXPECT_EQ(run("list --demo").out, r.out);  // stable from run to run

    r = run("list --demo --json");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"name\": \"STUDIO A LR\","), std::string::npos) << r.out;  // no padding
    EXPECT_NE(r.out.find("\"type\": 16,"), std::string::npos) << r.out;              // a number
    EXPECT_EQ(r.out.find("picture"), std::string::npos);
}

TEST_F(CliTest, AnEmptyDatabaseHintIsOnlyForTheVerbose) {
    auto r = run("list --demo");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("Local database is empty"), std::string::npos) << r.err;
    r = run("list --demo --verbose");
    EXPECT_NE(r.err.find("Local database is empty"), std::string::npos) << r.err;
}

TEST_F(CliTest, ADatabaseThatDoesNotExistIsSaid) {
    const auto r = run("list --database " + root_ + "/nowhere/nms.ini");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no database at " + root_ + "/nowhere/nms.ini"), std::string::npos) << r.err;
}

TEST_F(CliTest, ASecondStationSaysWhichStationHoldsTheLock) {
    std::filesystem::create_directories(demoFolder());
    QLockFile held(QString::fromStdString(demoFolder() + "/nms.lock"));
    ASSERT_TRUE(held.tryLock(0));
    const auto r = run("list --demo");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("already running"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("in use by process " + std::to_string(::getpid())), std::string::npos) << r.err;
}

#ifdef NMS_GUI
// A logout or a service manager ends the station with SIGTERM: it shuts down as when its window
// is closed, with a success status and its instance lock released, instead of dying on the spot.
TEST_F(CliTest, TheWindowShutsDownCleanlyOnSigterm) {
    std::ofstream(root_ + "/nms.ini") << "[00AA00000001]\nNAME=STUDIO A\nIP=10.1.1.1\nROLE=1\n";
    const std::string lock = root_ + "/run/vantrelo-nms.lock";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("HOME", root_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "/cfg").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("NMS_DATABASE");
        // Under the sanitizers this test is about the exit, not about what the toolkit keeps.
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const std::string database = root_ + "/nms.ini";
        ::execl(NMS_GUI, NMS_GUI, "--database", database.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    bool running = false;
    for (int i = 0; i < 200 && !running; ++i) {
        running = std::filesystem::exists(lock);
        if (!running) ::usleep(50 * 1000);
    }
    ::usleep(200 * 1000);  // well into its event loop
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(running) << "the station never took its lock";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(lock));
}
#endif

}  // namespace
}  // namespace nms
