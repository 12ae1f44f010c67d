// nms-cli as a script uses it: its help and version, the demo marked as such, the element list
// as a table and as JSON, a missing database, a second station that cannot get the lock while
// reading needs none, a lock folder that cannot take the lock, the stop signals, and the window's
// own help and version.

#include <gtest/gtest.h>

#include <QLockFile>
#include <QString>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_fixture.h"
#include "support/scoped_locale.h"

namespace nms {
namespace {

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
    auto r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: nms-cli"), std::string::npos);
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_NE(r.out.find("--database PATH"), std::string::npos);
    // After a command, that command's lines only (both of set's, not set-delay's), with the
    // options every command takes.
    r = run("set --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  set MAC KEY=VALUE"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  set MAC --from"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("set-delay"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("  discover ["), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--yes"), std::string::npos) << r.out;
    EXPECT_NE(run("monitor --help").out.find("[--listen ADDR:PORT]"), std::string::npos);
    r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("3.7.8"), std::string::npos) << r.out;
    EXPECT_EQ(run("frobnicate").status, 2);
}

// The help's part on nms-cli (the window's help shows it too) names every command the usage lists.
TEST_F(CliTest, TheHelpNamesEveryCommand) {
    std::ifstream file(NMS_README);
    const std::string readme((std::istreambuf_iterator<char>(file)), {});
    const auto part = readme.find("### The command line: nms-cli");
    ASSERT_NE(part, std::string::npos);
    const std::string help = readme.substr(part, readme.find("\n#", part + 1) - part);
    const auto r = run("--help");
    std::istringstream lines(r.out.substr(0, r.out.find("options:")));
    const std::regex commandLine("^  ([a-z-]+)( |$)");
    int commands = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, commandLine)) continue;
        ++commands;
        const std::string name = m[1].str();
        EXPECT_TRUE(help.find("`" + name + " ") != std::string::npos ||
                    help.find("`" + name + "`") != std::string::npos)
            << name;
    }
    EXPECT_GE(commands, 11);
}

// A command takes only the options it declares: another command's option is a usage error
// rather than silently ignored, and a value an option refuses is one before the station starts.
TEST_F(CliTest, ACommandRefusesOptionsItDoesNotTake) {
    auto r = run("list --demo --timeout 5");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("nms-cli: unknown option --timeout"), std::string::npos) << r.err;
    EXPECT_EQ(run("stats 00:1A:2B:50:00:15 --demo --clear-counters").status, 2);
    r = run("monitor --interval 1");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "nms-cli: --interval takes seconds from 2 to 300\n");
    // A missing or malformed argument is usage whatever the database holds; the operator's No
    // is a refusal before anything was sent, for every command alike.
    for (const char* usage : {"stats --demo", "set-delay 00:1A:2B:50:00:21 abc --demo",
                              "monitor --demo --listen 127.0.0.1:80000", "list --demo extra",
                              "set 00:1A:2B:50:00:15 colour=red --demo",
                              "events --demo --since 2026-04-31"})
        EXPECT_EQ(run(usage).status, 2) << usage << ": " << run(usage).err;
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    EXPECT_EQ(run("discover --demo --timeout 1").status, 3);  // it would replace the database
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

// A journal that cannot be read is not "no events": the command fails and says which file and why.
TEST_F(CliTest, AnEventJournalThatCannotBeReadIsSaidAndFails) {
    std::filesystem::create_directories(demoFolder());
    const std::string journal = demoFolder() + "/nms-events.sqlite";
    auto r = run("events --demo");
    EXPECT_EQ(r.status, 0) << r.err;  // none written yet
    std::ofstream(journal) << std::string(4096, 'x');
    r = run("events --demo");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(journal + ": file is not a database"), std::string::npos) << r.err;
    std::filesystem::remove(journal);
    std::filesystem::create_directory(journal);
    r = run("events --demo --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(journal + ": is a folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// A run killed while it wrote the metrics left its temporary; the next run removes it, and leaves
// a temporary of a process that still runs alone.
TEST_F(CliTest, TheMonitorRemovesTheMetricsTemporariesOfKilledRuns) {
    const std::string stale = root_ + "/.m.prom.tmp-2147483646-1";
    const std::string live = root_ + "/.m.prom.tmp-" + std::to_string(::getpid()) + "-1";
    std::ofstream(stale) << "torn";
    std::ofstream(live) << "being written";
    const auto r =
        run("monitor --demo --cycles 1 --interval 2 --metrics-file " + root_ + "/m.prom");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(root_ + "/m.prom"));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
}

// The service runs from its file alone: a line it cannot follow ends it at once, naming the
// line, rather than leaving it running on half of what was meant.
TEST_F(CliTest, TheServiceRefusesAConfigurationItCannotFollow) {
    const struct {
        const char* text;
        const char* said;
    } cases[] = {
        {"interval = 1\n", "line 1: interval takes seconds from 2 to 300"},
        {"# a comment\nintervall = 10\n", "line 2: intervall is not a key of this file"},
        {"discover_every = 30s\n", "discover_every takes a time of a minute or more"},
        {"discover_at_start = maybe\n", "discover_at_start takes yes, no or when-empty"},
        {"listen = 127.0.0.1:80000\n", "listen:"},
        {"just words\n", "line 1: not a key = value line"},
    };
    for (const auto& c : cases) {
        std::ofstream(root_ + "/monitor.conf") << c.text;
        const auto r = run("service --demo --config " + root_ + "/monitor.conf");
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << c.text << r.err;
    }
    const auto missing = run("service --demo --config " + root_ + "/nowhere.conf");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(root_ + "/nowhere.conf cannot be read"), std::string::npos) << missing.err;
}

TEST_F(CliTest, ADatabaseThatDoesNotExistIsSaid) {
    const auto r = run("list --database " + root_ + "/nowhere/nms.ini");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no database at " + root_ + "/nowhere/nms.ini"), std::string::npos) << r.err;
}

// Only what uses the station's ports or changes its files takes the lock: reading the database
// or the journal works beside a running station; anything else says which station holds it.
TEST_F(CliTest, AStationThatRunsLeavesReadingFreeAndSaysWhoHoldsTheLock) {
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    QLockFile held(QString::fromStdString(demoFolder() + "/nms.lock"));
    ASSERT_TRUE(held.tryLock(0));
    auto r = run("list --demo");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("STUDIO A LR"), std::string::npos) << r.out;
    r = run("events --demo");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("already running"), std::string::npos) << r.err;
    r = run("discover --demo --yes --timeout 1");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("already running"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("in use by process " + std::to_string(::getpid())), std::string::npos) << r.err;
    r = run("list --demo");
    EXPECT_NE(r.out.find("STUDIO A LR"), std::string::npos)
        << "the refused discovery changed the database";
}

// A folder that cannot take the lock (read-only, full) is not a running station: the message
// says so and where, and the status is 1, not 3.
TEST_F(CliTest, ALockFolderThatCannotTakeTheLockIsSaidWithItsPlace) {
    const std::string folder = demoFolder();
    std::filesystem::create_directories(folder);
    std::function<bool()> readOnly;
    if (::getuid() == 0) {
        // Permissions do not stop root: a read-only file system in a mount namespace of its own.
        readOnly = [folder] {
            return ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "mode=0700") == 0;
        };
    } else {
        std::filesystem::permissions(
            folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    const auto r = run("discover --demo --yes --timeout 1", readOnly);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    if (r.status == 98) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("cannot be created in " + folder + ": "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("already running"), std::string::npos) << r.err;
}

// SIGINT, SIGTERM and SIGHUP end a command as its normal end does, with 130: the monitor writes
// its figures and releases the lock; a delay watch keeps what it printed.
TEST_F(CliTest, EveryStopSignalEndsACommandAsItsNormalEndWith130) {
    ASSERT_EQ(run("discover --demo --yes --timeout 1").status, 0);
    const std::string metrics = root_ + "/metrics.prom";
    const std::string lock = demoFolder() + "/nms.lock";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::filesystem::remove(metrics);
        const pid_t pid =
            start({"monitor", "--demo", "--interval", "2", "--metrics-file", metrics});
        ASSERT_GT(pid, 0);
        const bool cycled = waitFor([&] { return std::filesystem::exists(metrics); });
        std::filesystem::remove(metrics);  // written again on the way out
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(cycled) << read("err");
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << signal << " killed it";
        EXPECT_EQ(WEXITSTATUS(status), 130) << signal;
        EXPECT_TRUE(std::filesystem::exists(metrics)) << signal;
        EXPECT_FALSE(std::filesystem::exists(lock)) << signal;
    }

    const std::string list = run("list --demo").out;
    const auto at = list.find("TX EAST SFN");
    ASSERT_NE(at, std::string::npos) << list;
    const std::string mac = list.substr(list.find(':', at) - 2, 17);
    const pid_t pid = start({"delay", mac, "--demo", "--watch", "60"});
    ASSERT_GT(pid, 0);
    const bool printed =
        waitFor([&] { return read("out").find("Auto delay compensation") != std::string::npos; });
    ::kill(pid, SIGHUP);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(printed) << read("err");
    ASSERT_TRUE(WIFEXITED(status)) << "SIGHUP killed it";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(read("out").find("Auto delay compensation"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(lock));

    // An SFN measurement cut short prints the figures it has, without proposals, in text as in
    // JSON. Its decoders answer at once on the demo plant: a second in, both have.
    for (const bool json : {false, true}) {
        std::vector<std::string> args{"sfn", "--demo", "--seconds", "60"};
        if (json) args.push_back("--json");
        const pid_t sfn = start(args);
        ASSERT_GT(sfn, 0);
        const bool locked = waitFor([&] { return std::filesystem::exists(lock); });
        ::usleep(1000 * 1000);
        ::kill(sfn, SIGINT);
        ASSERT_EQ(::waitpid(sfn, &status, 0), sfn);
        ASSERT_TRUE(locked) << read("err");
        ASSERT_TRUE(WIFEXITED(status)) << "SIGINT killed it: " << read("err");
        EXPECT_EQ(WEXITSTATUS(status), 130) << read("err");
        const std::string out = read("out");
        EXPECT_NE(out.find(json ? "\"name\": \"TX EAST SFN\"" : "TX EAST SFN"), std::string::npos)
            << out;
        EXPECT_NE(out.find(json ? "\"answered\": true" : "network "), std::string::npos) << out;
        if (json)
            EXPECT_NE(out.find("\"target_ns\": null"), std::string::npos) << out;
        else
            EXPECT_EQ(out.find("proposed"), std::string::npos) << out;
    }
}

// Ctrl+C in the middle of a discovery keeps the database the scan was replacing, not the half
// of the plant that had answered.
TEST_F(CliTest, AnInterruptedDiscoveryKeepsTheOldDatabase) {
    std::filesystem::create_directories(demoFolder());
    const std::string folder = "run/vantrelo-nms-demo-" + std::to_string(::getuid());
    const std::string old = "[00AA00000001]\nNAME=OLD\nIP=192.168.50.99\nROLE=1\n";
    std::ofstream(demoFolder() + "/nms.ini") << old;
    const pid_t pid = start({"discover", "--demo", "--yes", "--timeout", "30"});
    ASSERT_GT(pid, 0);
    const bool answered = waitFor([&] { return read((folder + "/nms.ini").c_str()).find("[001A2B") != std::string::npos; });
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(answered) << read("err");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(read((folder + "/nms.ini").c_str()), old);
    EXPECT_EQ(read((folder + "/nms.ini.bak").c_str()), old);
}

#ifdef NMS_GUI
// Help and version come before any window, lock or file.
TEST_F(CliTest, TheWindowAnswersHelpAndVersionWithoutStarting) {
    auto r = run("--version", {}, NMS_GUI);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("nms (Vantrelo NG NMS) 3.7.8", 0), 0u) << r.out;
    r = run("--help", {}, NMS_GUI);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(root_ + "/run/vantrelo-nms.lock"));
}
#endif

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

// nms-cli, like the window, lets Qt give the C library the user's locale. Under a decimal comma a
// whole session on the demo plant (discovery, a save and the database it leaves, statistics, SFN
// delay, the monitor's metrics file, the journal) must send, store and print what it does under
// "C"; only what changes from one run to the next (times, counters, clock readings) is masked.
TEST_F(CliTest, ACommaLocaleChangesNothingTheStationSendsStoresOrPrints) {
    const std::regex isoTime(R"(\d{4}-\d\d-\d\dT[0-9:.]+Z)");
    const std::regex figure("-?[0-9]+");
    // Lines sorted: elements answer a cycle in any order.
    auto sorted = [](const std::string& text) {
        std::istringstream in(text);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == ',') line.pop_back();
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        std::string out;
        for (const auto& l : lines) out += l + "\n";
        return out;
    };
    auto masked = [&](const std::string& text) { return std::regex_replace(text, figure, "#"); };
    // The database's sections sorted, each byte for byte: discovery stores elements as they answer.
    auto sections = [](const std::string& ini) {
        std::vector<std::string> blocks;
        for (std::size_t at = 0; at < ini.size();) {
            const std::size_t next = ini.find("\n[", at);
            const std::size_t end = next == std::string::npos ? ini.size() : next + 1;
            blocks.push_back(ini.substr(at, end - at));
            at = end;
        }
        std::sort(blocks.begin(), blocks.end());
        std::string out;
        for (const auto& b : blocks) out += b;
        return out;
    };
    auto session = [&](const std::string& locale) {
        std::filesystem::remove_all(demoFolder());
        const std::string cli = "env LC_ALL=" + locale + " " + NMS_CLI;
        std::string all;
        // The command, its status and its output, reduced by `shape` when given.
        auto take = [&](const std::string& args,
                        const std::function<std::string(const std::string&)>& shape = {}) {
            const Result r = run(args + " --demo", {}, cli.c_str());
            all += "$ " + args + " -> " + std::to_string(r.status) + "\n" +
                   (shape ? shape(r.out) : r.out);
            return r;
        };
        all += masked(take("discover --yes --timeout 1 --json --stats").err);
        take("list --json");
        take("set 00:1A:2B:50:00:16 name=STUDIO-B --yes --json");
        take("set 00:1A:2B:50:00:21 sdl=3 --yes --json");
        all += sections(
            read(("run/vantrelo-nms-demo-" + std::to_string(::getuid()) + "/nms.ini").c_str()));
        take("list --json");
        take("stats 00:1A:2B:50:00:16 --json", masked);
        take("delay 00:1A:2B:50:00:20 --json", masked);
        const Result watched =
            take("monitor --cycles 2 --interval 2 --json --stats --metrics-file " + root_ +
                     "/metrics.prom",
                 [&](const std::string& out) { return sorted(masked(out)); });
        all += sorted(masked(watched.err)) + sorted(masked(read("metrics.prom")));
        auto withoutTimes = [&](const std::string& out) {
            return sorted(std::regex_replace(out, isoTime, "T"));
        };
        take("events --json", withoutTimes);
        take("events", withoutTimes);
        return all;
    };
    const std::string reference = session("C");
    ASSERT_NE(reference.find("\"confirmed\": true"), std::string::npos) << reference;
    ASSERT_NE(reference.find("vantrelo_element_ptp_clock_difference_seconds{"), std::string::npos)
        << reference;
    for (const char* name : testing::kCommaLocales) {
        ASSERT_TRUE(testing::ScopedLocale(name).active())
            << name << " is missing (scripts/install-deps.sh creates it)";
        EXPECT_EQ(session(name), reference) << name;
    }
}

}  // namespace
}  // namespace nms
