// kill -9 during a long run of writes: a child process writes to the element database as fast
// as the station could, reporting each write to the parent with its time; the parent kills it
// at a random moment and then checks that the file still parses and holds every write made
// well before the kill (the store holds a write back for at most 100 ms, then syncs it). Runs on real time and a real disk, so it is a scenario
// program that prints what it found, not a unit test.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kill_rounds.h"
#include "platform/file_store_linux.h"
#include "store/ini_document.h"
#include "store/profile_store.h"

namespace {

using nms::bench::nowNs;

constexpr int kSections = 40;
constexpr int kKeysPerSection = 25;
constexpr std::int64_t kGraceMs = 100;
// A write the store holds back for its 100 ms is then written and synced, and a shared disk's
// sync can take tens of milliseconds more: a lost write counts against the store only once it
// is older than this (a store that held writes back would lose ones seconds old).
constexpr std::int64_t kFailAfterMs = 500;

// A scheduler driven by the writing loop itself, on the monotonic clock.
class LoopScheduler : public nms::ports::Scheduler {
public:
    TaskId callAfter(std::int64_t delayMs, std::function<void()> task) override {
        tasks_.emplace(++next_, Task{nowNs() + delayMs * 1000000, std::move(task)});
        return next_;
    }
    void cancel(TaskId id) override { tasks_.erase(id); }
    void runDue() {
        const std::int64_t now = nowNs();
        for (auto it = tasks_.begin(); it != tasks_.end();) {
            if (it->second.due <= now) {
                auto fn = std::move(it->second.fn);
                it = tasks_.erase(it);
                fn();
            } else {
                ++it;
            }
        }
    }

private:
    struct Task {
        std::int64_t due;
        std::function<void()> fn;
    };
    TaskId next_ = 0;
    std::map<TaskId, Task> tasks_;
};

struct Report {
    std::int64_t index;
    std::int64_t timeNs;
};

// Appended rather than "S" + text: GCC 12 warns falsely (-Wrestrict) on that form at -O3.
std::string section(std::int64_t i) { return std::string("S").append(std::to_string(i % kSections)); }
std::string key(std::int64_t i) { return std::string("K").append(std::to_string((i / kSections) % kKeysPerSection)); }

[[noreturn]] void writer(const std::string& path, int out) {
    nms::platform::LinuxFileStore files;
    LoopScheduler scheduler;
    nms::store::ProfileStore db{files, scheduler};
    for (std::int64_t i = 0;; ++i) {
        db.WriteToINI(section(i), key(i), std::to_string(i), path);
        const Report r{i, nowNs()};
        if (::write(out, &r, sizeof r) != sizeof r) ::_exit(2);
        scheduler.runDue();
        ::usleep(200);
    }
}

// Every line is a header or KEY=digits, and the file ends with a complete line.
bool wellFormed(const std::string& text) {
    if (!text.empty() && text.back() != '\n') return false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto nl = text.find('\n', pos);
        const std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == line.size()) return false;
        for (std::size_t k = eq + 1; k < line.size(); ++k)
            if (line[k] < '0' || line[k] > '9') return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    const nms::bench::ScratchFolder scratch("kill");
    if (!scratch.ok()) return 1;
    const std::string& dir = scratch.path();
    const std::string path = dir + "/nms.ini";
    std::mt19937 rng(static_cast<unsigned>(nowNs()));
    int failures = 0;

    std::printf("%5s %9s %8s %10s %9s %8s %s\n", "round", "kill ms", "writes", "checked", "lost", "temps", "file");
    for (int round = 1; round <= rounds; ++round) {
        std::filesystem::remove(path);
        int fds[2];
        if (::pipe(fds) != 0) return 1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            writer(path, fds[1]);
        }
        ::close(fds[1]);

        const std::int64_t start = nowNs();
        const std::int64_t runMs = std::uniform_int_distribution<int>(300, 2000)(rng);
        std::vector<Report> reports;
        Report r{};
        while (nowNs() - start < runMs * 1000000) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 5) > 0 && ::read(fds[0], &r, sizeof r) == sizeof r) reports.push_back(r);
        }
        const std::int64_t killNs = nowNs();
        nms::bench::killAndReap(pid);
        while (::read(fds[0], &r, sizeof r) == sizeof r) reports.push_back(r);
        ::close(fds[0]);

        // Left-over temporaries of a save the kill interrupted, before a new start removes them.
        const std::string prefix = nms::platform::LinuxFileStore::temporaryPrefix(path);
        const int temps = nms::bench::filesStartingWith(dir, prefix);

        nms::platform::LinuxFileStore files;
        const std::string text = files.read(path, nullptr).value_or("");
        const bool parses = wellFormed(text);

        // For each slot, the last write made more than the grace time before the kill.
        std::map<std::pair<std::string, std::string>, std::int64_t> due;
        std::map<std::int64_t, std::int64_t> timeOf;
        for (const auto& rep : reports) {
            timeOf[rep.index] = rep.timeNs;
            if (rep.timeNs < killNs - kGraceMs * 1000000) due[{section(rep.index), key(rep.index)}] = rep.index;
        }
        LoopScheduler scheduler;
        nms::store::ProfileStore db{files, scheduler};
        int lost = 0;
        std::int64_t oldestLostMs = 0;  // how long before the kill the oldest lost write was made
        for (const auto& [slot, index] : due) {
            const std::string v = db.ReadFromINI(slot.first, slot.second, path, "-1");
            if (std::atoll(v.c_str()) < index) {
                ++lost;
                oldestLostMs = std::max(oldestLostMs, (killNs - timeOf[index]) / 1000000);
            }
        }
        const int tempsAfter = nms::bench::filesStartingWith(dir, prefix);

        const bool ok = parses && oldestLostMs <= kFailAfterMs && tempsAfter == 0;
        failures += ok ? 0 : 1;
        std::printf("%5d %9lld %8zu %10zu %9d %8d %s%s", round, static_cast<long long>(runMs), reports.size(),
                    due.size(), lost, temps, parses ? "parses" : "TORN",
                    tempsAfter ? " (temporaries not removed)" : "");
        if (lost) std::printf(" (oldest lost write made %lld ms before the kill)", static_cast<long long>(oldestLostMs));
        std::printf("\n");
    }
    return nms::bench::verdict(rounds, failures,
                               "kept every write older than " + std::to_string(kFailAfterMs) +
                                   " ms in a whole file (lost ones older than " + std::to_string(kGraceMs) +
                                   " ms are shown with their age)");
}
