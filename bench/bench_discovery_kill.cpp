// kill -9 during discovery: a child process runs a whole station on the in-process network with a
// plant of 1000 elements whose answers are spread over the scan, and pages it again and again
// (each scan empties the database and writes every answer as it comes, the engine saving the
// file every 50 ms of the scan). The parent kills it at a random moment, then checks what a
// station that starts next finds: a database file that parses and holds only whole records, no
// temporary file left once that station has started, and a tree with one node per record. Runs
// on real files and real time, so it is a scenario program that prints what it found, not a
// unit test.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>

#include "crowd.h"
#include "discovery/paging.h"
#include "kill_rounds.h"
#include "platform/file_store_linux.h"
#include "station/main_toolbar.h"
#include "store/ini_document.h"
#include "support/station_on_fakes.h"

namespace {

using namespace nms;
using bench::nowMs;

constexpr int kElements = 1000;
constexpr int kEncoderKeys = 15;
constexpr int kDecoderKeys = 19;

// The operator agrees with every question (the discovery confirmation included).
class YesDialogs : public ports::Dialogs {
public:
    ports::Answer messageBox(const ports::MessageBox& box) override {
        return box.buttons == ports::MessageButtons::YesNo ||
                       box.buttons == ports::MessageButtons::YesNoCancel
                   ? ports::Answer::Yes
                   : ports::Answer::Ok;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

// The station's world: everything but the database file is in memory.
struct World : testing::StationOnFakes<YesDialogs> {
    // Answers spread over the first second and a half of the scan, so that the file is saved some
    // 30 times while it grows.
    World(const std::string& path, int elements) : lan(time, time, crowdOptions(1000, 1500000)) {
        addCrowd(lan, elements, false);
        create({path, &lan, &disk});
        load();
    }
    ~World() { destroy(); }

    sim::VirtualLan lan;
    platform::LinuxFileStore disk;
};

[[noreturn]] void runStation(const std::string& path) {
    World w(path, kElements);
    for (;;) {
        w.gate.dispatch(ports::EventGate::Kind::Operator, [&] { w.main->Toolbar1_ButtonClick(station::toolbar::kDiscover); });
        // Virtual time as fast as the station can go; the file is saved for real.
        while (w.main->paging().scanning()) w.time.advance(1);
    }
}

int temporaries(const std::string& dir, const std::string& path) {
    return bench::filesStartingWith(dir, platform::LinuxFileStore::temporaryPrefix(path));
}

struct Found {
    bool parses = true;
    std::string problem;
    int records = 0;
};

// Every line a header or KEY=value, the file ending with a whole line, and every section a whole
// record of an element (its first key NAME, its last LLO, the count of its role).
Found inspect(const std::string& text) {
    Found f;
    if (!text.empty() && text.back() != '\n') return {false, "the last line is cut", 0};
    const auto doc = store::IniDocument::parse(text);
    if (!doc.preamble().empty()) return {false, "text before the first section", 0};
    std::set<std::string> seen;
    for (const auto& s : doc.sections()) {
        if (!seen.insert(s.name).second) return {false, "section " + s.name + " twice", 0};
        const auto& e = s.entries;
        for (const auto& entry : e)
            if (entry.raw) return {false, "a line that is no entry in " + s.name, 0};
        const auto* role = doc.find(s.name, "ROLE");
        const int expected = role && role->value() == "2" ? kDecoderKeys : kEncoderKeys;
        if (static_cast<int>(e.size()) != expected || e.front().key() != "NAME" ||
            e.back().key() != "LLO")
            return {false,
                    "record " + s.name + " is not whole (" + std::to_string(e.size()) + " keys)",
                    0};
        ++f.records;
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    const bench::ScratchFolder scratch("discovery-kill");
    if (!scratch.ok()) return 1;
    const std::string& dir = scratch.path();
    const std::string path = dir + "/nms.ini";
    std::mt19937 rng(static_cast<unsigned>(nowMs()));
    int failures = 0;

    std::printf("kill -9 during discovery of %d elements on the in-process network\n", kElements);
    std::printf("%5s %9s %8s %8s %11s %7s  %s\n", "round", "kill ms", "records", "temps",
                "after start", "nodes", "file");
    for (int round = 1; round <= rounds; ++round) {
        const pid_t pid = ::fork();
        if (pid < 0) return 1;
        if (pid == 0) runStation(path);

        // A moment anywhere in the first scans: while the database is emptied, while it grows,
        // while the tree is rebuilt at the end.
        const std::int64_t killAfter = std::uniform_int_distribution<int>(20, 3000)(rng);
        bench::waitUntil(nowMs(), killAfter);
        const bool killed = bench::killAndReap(pid);

        const int tempsBefore = temporaries(dir, path);
        platform::LinuxFileStore files;
        const Found found = inspect(files.read(path, nullptr).value_or(""));

        // The next start: a station on the same file (with no element answering).
        int nodes = -1;
        {
            World next(path, 0);
            nodes = next.main->TreeView1.nodeCount();
            // An empty database shows one node-less tree; a node count of 0 is what it holds.
            if (found.records == 0) nodes = 0;
        }
        const int tempsAfter = temporaries(dir, path);

        const bool ok = killed && found.parses && tempsAfter == 0 && nodes == found.records;
        failures += ok ? 0 : 1;
        std::printf("%5d %9lld %8d %8d %11d %7d  %s%s\n", round, static_cast<long long>(killAfter),
                    found.records, tempsBefore, tempsAfter, nodes,
                    found.parses ? "whole" : ("TORN: " + found.problem).c_str(),
                    killed ? "" : " (the station was not killed)");
    }
    return bench::verdict(rounds, failures,
                          "left a whole database and no temporary after the next start");
}
