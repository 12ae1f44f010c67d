// kill -9 of `nms-cli monitor` while it writes: the headless monitor watches the demo plant with
// a metrics file, and every cycle's end writes the event journal (each run starts with every
// element unjudged, so its first cycle writes a batch) and replaces the metrics file. A first run
// measures when that first cycle's writes come; the parent then kills each run at a random moment
// within 60 ms of it, starts the monitor again for one cycle and checks what it leaves: a journal
// that passes SQLite's integrity check, a whole metrics file, and no temporary beside it. Runs on
// real files and real time, so it is a scenario program that prints what it found, not a unit test.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kill_rounds.h"
#include "support/station_home.h"

namespace {

namespace fs = std::filesystem;
using nms::bench::nowMs;

// nms-cli in the bench's own folders, its output thrown away; returns its pid.
pid_t start(const std::string& root, const std::vector<std::string>& args) {
    std::fflush(stdout);  // what is printed is not printed again by the child
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    nms::testing::enterStationHome(root);
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
        ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(NMS_CLI)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(NMS_CLI, argv.data());
    ::_exit(127);
}

int finish(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int temporaries(const std::string& dir, const std::string& name) {
    return nms::bench::filesStartingWith(dir, "." + name + ".tmp-");
}

// "ok" and the number of events, or what SQLite found.
std::string integrity(const std::string& path, long long& events) {
    events = -1;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string why = db ? sqlite3_errmsg(db) : "cannot be opened";
        sqlite3_close(db);
        return why;
    }
    std::string result;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK) {
        while (sqlite3_step(s) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(s, 0);
            result += (result.empty() ? "" : "; ") +
                      std::string(text ? reinterpret_cast<const char*>(text) : "");
        }
    } else {
        result = sqlite3_errmsg(db);
    }
    sqlite3_finalize(s);
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM events", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        events = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return result;
}

// Whole when its last line is the figure written last.
bool wholeMetrics(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    const std::string text = s.str();
    return text.find("\nvantrelo_monitor_last_cycle_timestamp_seconds ") != std::string::npos &&
           !text.empty() && text.back() == '\n';
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    const nms::bench::ScratchFolder scratch("monitor-kill");
    if (!scratch.ok()) return 1;
    const std::string& root = scratch.path();
    nms::testing::makeStationHome(root);
    const std::string demo = root + "/run/vantrelo-nms-demo-" + std::to_string(::getuid());
    const std::string journal = demo + "/nms-events.sqlite";
    const std::string metrics = root + "/vantrelo.prom";
    const std::vector<std::string> monitor{"monitor", "--demo",         "--interval",
                                           "2",       "--metrics-file", metrics};
    std::vector<std::string> once = monitor;
    once.insert(once.end(), {"--cycles", "1"});

    if (finish(start(root, {"discover", "--demo", "--yes", "--timeout", "1"})) != 0) {
        std::printf("the demo plant could not be discovered\n");
        return 1;
    }
    // When a run's first metrics are written, from its start.
    std::int64_t firstWrite = 0;
    {
        const pid_t pid = start(root, monitor);
        const std::int64_t begun = nowMs();
        while (!fs::exists(metrics) && nowMs() - begun < 10000) ::usleep(500);
        firstWrite = nowMs() - begun;
        nms::bench::killAndReap(pid);
    }
    std::mt19937 rng(static_cast<unsigned>(nowMs()));
    int failures = 0;
    std::printf(
        "kill -9 of nms-cli monitor on the demo plant (first writes %lld ms after its start), "
        "then one more cycle\n",
        static_cast<long long>(firstWrite));
    std::printf("%5s %8s %6s %11s %8s %8s  %s\n", "round", "kill ms", "temps", "after start",
                "events", "metrics", "journal");
    for (int round = 1; round <= rounds; ++round) {
        const pid_t pid = start(root, monitor);
        // Around its first cycle's writes.
        const auto around = static_cast<int>(firstWrite);
        const std::int64_t killAfter =
            std::uniform_int_distribution<int>(std::max(1, around - 60), around + 60)(rng);
        nms::bench::waitUntil(nowMs(), killAfter);
        const bool killed = nms::bench::killAndReap(pid);
        const int tempsBefore = temporaries(root, "vantrelo.prom");

        const int next = finish(start(root, once));
        const int tempsAfter = temporaries(root, "vantrelo.prom");
        long long events = -1;
        const std::string check = fs::exists(journal) ? integrity(journal, events) : "ok";
        const bool whole = wholeMetrics(metrics);
        const bool ok = killed && next == 0 && tempsAfter == 0 && check == "ok" && whole;
        failures += ok ? 0 : 1;
        std::printf("%5d %8lld %6d %11d %8lld %8s  %s%s%s\n", round,
                    static_cast<long long>(killAfter), tempsBefore, tempsAfter, events,
                    whole ? "whole" : "TORN", check.c_str(), killed ? "" : " (not killed)",
                    next == 0 ? "" : " (the next start failed)");
    }
    return nms::bench::verdict(
        rounds, failures,
        "left a sound journal, whole metrics and no temporary after the next start");
}
