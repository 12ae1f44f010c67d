// How long the window stops answering while the plant monitor cycles with the Events panel shown:
// a 1 ms timer on the window's thread records the longest gap between its ticks over several
// cycles of a plant of 1000 elements on the virtual LAN (each cycle adds the demo's incident rate
// of events, 3 per 1000 element-seconds, to the journal), with a journal of nothing, of one day
// and of 90 days of that rate, written through the journal in large batches. A journal beyond the
// default size bound is generated as the bound keeps it: the newest events that fit. Then the
// same at 4000 elements with the 90-day journal. Each figure is printed against the empty
// journal's in the same run, and against the window alone: the same cycles without the panel
// (what the monitor itself costs the window's thread, its journal writes and prunes included).
//
// Then a burst on that full journal at 4000 elements: the whole segment stops answering for three
// cycles and answers again for two, so that three cycles each journal a batch of one event per
// element (warning, offline, online again) besides the incidents; against the same with every
// journal write waited for on the window's thread (as the monitor wrote before), with an empty
// journal, and with the monitor off. --burst runs only that last case (it still generates its
// journal).
//
//   bench_events_panel [--cycles N] [--dir PATH] [--burst]

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "crowd.h"
#include "monitor/health.h"
#include "monitor/plant_monitor.h"
#include "platform/sqlite_journal.h"
#include "station/station_context.h"
#include "support/station_on_fakes.h"
#include "ui/monitor_view.h"

namespace {

using namespace nms;

constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
constexpr int kIntervalMs = 10000;
// The demo's incident rate: 3 events per 1000 element-seconds.
constexpr double kEventsPerElementMs = 3.0 / 1000.0 / 1000.0;

std::string macOf(int i) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "00:1A:2B:70:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    return mac;
}

std::string reasonOf(bool answered, std::int32_t alarm) {
    monitor::CycleResult c;
    c.answered = answered;
    c.missesInARow = answered ? 0 : 3;
    c.sfn = 1;
    c.alarmWord = answered ? alarm : 65535;
    c.ethernetWord = answered ? 3 : 65535;
    return monitor::assess(c).reason;
}

// The k-th incident event of a plant of `elements`: alarms on and off, elements silent and back.
ports::JournalEvent incident(std::int64_t k, std::int64_t atMs, int elements) {
    static const std::string alarm = reasonOf(true, 0x8000), clean = reasonOf(true, 0),
                             offline = reasonOf(false, 0);
    const int i = static_cast<int>((k * 7919) % elements);
    const std::string name = "ELEMENT " + std::to_string(i);
    switch (k % 4) {
        case 0:
            return {atMs, macOf(i), name, "alarm", "health", "online", "alarm", alarm};
        case 1:
            return {atMs, macOf(i), name, "info", "health", "alarm", "online", clean};
        case 2:
            return {atMs, macOf(i), name, "alarm", "health", "online", "offline", offline};
        default:
            return {atMs, macOf(i), name, "info", "health", "offline", "online", clean};
    }
}

struct Generated {
    std::int64_t rows = 0;
    double days = 0, seconds = 0;
    std::int64_t bytes = 0;
    bool bounded = false;
};

// `days` of the incident rate of `elements` up to `endMs`, in one transaction with one prepared
// statement; no more than the size bound keeps (the newest events that fit), as the monitor's
// prunes would leave it.
Generated generate(const std::string& path, int elements, double days, std::int64_t endMs) {
    Generated g;
    QElapsedTimer took;
    took.start();
    // The journal writes its own file, as the station does, in large batches.
    platform::SqliteJournal j(path);
    j.append({incident(0, endMs - static_cast<std::int64_t>(days * kDayMs) - 1, elements)});
    const double rowsPerMs = kEventsPerElementMs * elements;
    const std::int64_t bound =
        static_cast<std::int64_t>(monitor::PlantMonitor::kDefaultJournalMegabytes) * 1024 * 1024;
    // What the prunes leave: the bound less the write-ahead log's room, to their share of it.
    const double keep = platform::SqliteJournal::kPruneToShare *
                        static_cast<double>(bound - platform::SqliteJournal::kWalLimitBytes);
    // At least 30 bytes an event with its indexes; the size is checked as it grows.
    const double wanted = days * kDayMs * rowsPerMs;
    const double fits = keep / 30.0;
    const auto rows = static_cast<std::int64_t>(std::min(wanted, fits));
    g.bounded = wanted > fits;
    const double spanMs = static_cast<double>(rows) / rowsPerMs;
    const double startMs = static_cast<double>(endMs) - spanMs;
    std::vector<ports::JournalEvent> batch;
    for (std::int64_t k = 0; k < rows; ++k) {
        batch.push_back(incident(
            k, static_cast<std::int64_t>(startMs + static_cast<double>(k) / rowsPerMs), elements));
        ++g.rows;
        if (batch.size() < 10000 && k + 1 < rows) continue;
        if (!j.append(batch)) {
            std::fprintf(stderr, "bench_events_panel: %s\n", j.error().c_str());
            std::exit(1);
        }
        batch.clear();
        if (static_cast<double>(j.fileBytes()) > keep) {
            g.bounded = true;
            break;
        }
    }
    g.days = static_cast<double>(g.rows) / rowsPerMs / kDayMs;
    g.seconds = static_cast<double>(took.elapsed()) / 1000.0;
    g.bytes = j.fileBytes();  // the file once its log is copied back, as at its close
    return g;
}

double rssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

std::string loadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The longest gap between the ticks of a 1 ms timer on the window's thread: in wall time (what
// the operator sees, other programs on the machine included) and in the thread's own processor
// time (what the station's code took).
class Watchdog {
public:
    Watchdog() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const double cpu = threadCpuMs();
            if (armed_) {
                longest_ = std::max(longest_, now - last_);
                longestCpu_ = std::max(longestCpu_, cpu - lastCpu_);
            }
            last_ = now;
            lastCpu_ = cpu;
        });
        clock_.start();
        timer_.start(1);
    }
    void arm() {
        armed_ = true;
        longest_ = 0;
        longestCpu_ = 0;
        last_ = clock_.nsecsElapsed();
        lastCpu_ = threadCpuMs();
    }
    double longestMs() const { return static_cast<double>(longest_) / 1e6; }
    double longestCpuMs() const { return longestCpu_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0;
    double lastCpu_ = 0, longestCpu_ = 0;
    bool armed_ = false;
};

template <class F>
auto timed(double& worst, F f) {
    QElapsedTimer t;
    t.start();
    auto r = f();
    worst = std::max(worst, static_cast<double>(t.nsecsElapsed()) / 1e6);
    return r;
}

// The journal as the monitor and the panel use it, the longest of the monitor's calls on the
// window's thread timed. `beside`: its writes run where the journal runs them, beside the window,
// and the longest wait from a batch given to its answer is timed too; otherwise the window's
// thread waits for every write and prune, as the monitor did before.
class TimedJournal : public ports::EventJournal {
public:
    TimedJournal(ports::EventJournal& journal, bool beside) : j_(journal), beside_(beside) {}
    bool append(const std::vector<ports::JournalEvent>& batch) override {
        largestBatch = std::max(largestBatch, batch.size());
        return timed(worstAppendMs, [&] { return j_.append(batch); });
    }
    void appendLater(std::vector<ports::JournalEvent> batch,
                     std::function<void(bool)> done) override {
        if (!beside_) {
            done(append(batch));
            return;
        }
        largestBatch = std::max(largestBatch, batch.size());
        auto given = std::make_shared<QElapsedTimer>();
        given->start();
        ++underWay;
        timed(worstAppendMs, [&] {
            j_.appendLater(std::move(batch), [this, given, done = std::move(done)](bool ok) {
                --underWay;
                worstWrittenMs =
                    std::max(worstWrittenMs, static_cast<double>(given->nsecsElapsed()) / 1e6);
                done(ok);
            });
            return 0;
        });
    }
    void settle() override { j_.settle(); }
    std::uint64_t appended() const override { return j_.appended(); }
    ports::JournalPage read(const ports::JournalQuery& q) override { return j_.read(q); }
    ReadId readLater(const ports::JournalQuery& q,
                     std::function<void(ports::JournalPage)> done) override {
        return j_.readLater(q, std::move(done));
    }
    void cancel(ReadId id) override { j_.cancel(id); }
    std::unique_ptr<ports::JournalReader> openReader() override { return j_.openReader(); }
    void prune(std::int64_t beforeUnixMs, std::int64_t maxBytes) override {
        timed(worstPruneMs, [&] {
            j_.prune(beforeUnixMs, maxBytes);
            return 0;
        });
    }
    void pruneLater(std::int64_t beforeUnixMs, std::int64_t maxBytes) override {
        if (!beside_) {
            prune(beforeUnixMs, maxBytes);
            return;
        }
        timed(worstPruneMs, [&] {
            j_.pruneLater(beforeUnixMs, maxBytes);
            return 0;
        });
    }
    const std::string& error() const override { return j_.error(); }
    double worstAppendMs = 0, worstPruneMs = 0;
    double worstWrittenMs = 0;  // from a batch given to its answer, beside the window
    int underWay = 0;           // batches given, not answered yet
    std::size_t largestBatch = 0;

private:
    ports::EventJournal& j_;
    const bool beside_;
};

void runFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

struct Figures {
    double firstMs = 0, longestMs = 0, longestCpuMs = 0, rss = 0;
    double worstAppendMs = 0, worstPruneMs = 0, worstWrittenMs = 0;
    std::size_t largestBatch = 0;
    int asked = 0, replies = 0, offline = 0;
    std::int64_t appended = 0;
    int rows = 0;  // shown in the panel
};

enum class Plant {
    Steady,  // the incidents only
    Burst,   // the segment down for three cycles, then back for two
    Off,     // the burst's cycles with the monitor off: the window and the panel alone
};

// A monitor of `elements` on the virtual LAN writing to the journal at `path`, its panel shown;
// one cycle to start (the element list filled, the first page read), then `cycles` measured.
// Plant time moves in slices from the event loop, as replies reach a real socket in bursts.
Figures measure(const std::string& path, int elements, int cycles, bool panel,
                Plant scenario = Plant::Steady, bool beside = true) {
    testing::StationFakes<testing::ScriptedDialogs> fakes;
    fakes.dialogs.allowUnexpected = true;
    sim::VirtualLan lan(fakes.time, fakes.time, crowdOptions(200, 10000));
    addCrowd(lan, elements, false);
    std::string database;
    for (int i = 0; i < elements; ++i) {
        char key[13];
        std::snprintf(key, sizeof key, "001A2B70%02X%02X", (i >> 8) & 0xFF, i & 0xFF);
        const int host = i + 2;
        database += std::string("[") + key + "]\nname=ELEMENT " + std::to_string(i) +
                    "\nip=10.20." + std::to_string(host >> 8) + "." + std::to_string(host & 0xFF) +
                    "\nrole=" + (i % 3 == 0 ? "2" : "1") + "\n";
    }
    fakes.files.editExternally("/bench/nms.ini", database);
    store::ProfileStore db(fakes.files, fakes.time);
    station::StationEnv env{fakes.time,
                            fakes.time,
                            fakes.gate,
                            fakes.dialogs,
                            fakes.settings,
                            fakes.lock,
                            fakes.lifecycle,
                            lan,
                            db,
                            "/bench/nms.ini",
                            "",
                            {}};
    station::StationContext ctx(env);
    platform::SqliteJournal file(path);
    TimedJournal journal(file, beside);
    monitor::PlantMonitor plant(ctx, journal);
    std::unique_ptr<ui::MonitorView> view;
    if (panel) {
        view = std::make_unique<ui::MonitorView>(
            plant, [&](bool on) { on ? plant.start() : plant.stop(); }, fakes.gate, nullptr,
            nullptr);
        view->resize(1000, 400);
        view->show();
    }
    Watchdog watchdog;
    runFor(200);
    std::int64_t k = 0;
    const double perCycle = kEventsPerElementMs * elements * kIntervalMs;
    auto cycle = [&](bool down) {
        for (auto* e : lan.elements()) e->faults.drop = down ? -1 : 0;
        // The incidents of the cycle, written with its batch; none while the monitor is off.
        if (plant.running())
            for (int n = 0; n < static_cast<int>(perCycle); ++n)
                plant.note(incident(k++, fakes.time.unixTimeMs() + n, elements));
        QElapsedTimer wall;
        wall.start();
        for (int ms = 0; ms < kIntervalMs; ms += 5) {
            // Plant time runs many times faster than the wall clock here: a write beside the
            // window taking half a second of a 10 s interval would span several. While one is
            // under way plant time runs as the wall clock does.
            while (journal.underWay > 0 && wall.nsecsElapsed() < 5'000'000)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
            wall.restart();
            fakes.gate.dispatch(ports::EventGate::Kind::Timer, [&] { fakes.time.advance(5); });
            QApplication::processEvents();
        }
        // Time for the panel to see the journal grow and show it (it looks every half second).
        runFor(700);
    };
    Figures f;
    watchdog.arm();
    plant.start();
    cycle(false);
    f.firstMs = watchdog.longestMs();
    const std::uint64_t appendedBefore = journal.appended();
    journal.worstAppendMs = journal.worstPruneMs = journal.worstWrittenMs = 0;
    journal.largestBatch = 0;
    if (scenario == Plant::Off) plant.stop();
    watchdog.arm();
    if (scenario == Plant::Steady) {
        for (int c = 0; c < cycles; ++c) cycle(false);
    } else {
        for (const bool down : {true, true, true, false, false}) {
            cycle(down);
            int offline = 0;
            for (const auto& e : plant.elements()) offline += e.health == monitor::Health::Offline;
            f.offline = std::max(f.offline, offline);
        }
    }
    f.longestMs = watchdog.longestMs();
    f.longestCpuMs = watchdog.longestCpuMs();
    f.worstAppendMs = journal.worstAppendMs;
    f.worstPruneMs = journal.worstPruneMs;
    f.worstWrittenMs = journal.worstWrittenMs;
    f.largestBatch = journal.largestBatch;
    f.appended = static_cast<std::int64_t>(journal.appended() - appendedBefore);
    f.asked = plant.lastCycle().asked;
    f.replies = plant.lastCycle().replies;
    f.rss = rssMb();
    if (view) f.rows = view->findChild<QTableWidget*>("eventsTable")->rowCount();
    plant.stop();
    return f;
}

void printBurst(const char* what, const Figures& f, const Figures& off) {
    std::printf(
        "    %s: longest stall %6.1f ms = %5.2fx the monitor off; of the thread's own "
        "processor time %5.1f ms\n      on the window's thread the slowest append %.1f ms, "
        "prune %.1f ms; the longest from a batch given to its answer %.1f ms; largest batch %zu "
        "events, %lld batches, %d offline at most\n",
        what, f.longestMs, off.longestMs > 0 ? f.longestMs / off.longestMs : 0.0, f.longestCpuMs,
        f.worstAppendMs, f.worstPruneMs, f.worstWrittenMs, f.largestBatch,
        static_cast<long long>(f.appended), f.offline);
}

// The segment down and back over the full journal at `path`, against the same with every write
// waited for on the window's thread (as the monitor wrote before), an empty journal and the
// monitor off, the panel shown in each.
void burst(const std::string& path, const std::string& emptyPath, int elements,
           const Generated& g) {
    std::printf(
        "  a burst at %d elements: the segment down for three cycles and back for two, each "
        "transition an event of every element, the panel shown; the journal %lld events, %.1f MB\n",
        elements, static_cast<long long>(g.rows), static_cast<double>(g.bytes) / 1048576.0);
    const Figures off = measure(path, elements, 0, true, Plant::Off);
    const Figures full = measure(path, elements, 0, true, Plant::Burst);
    const Figures window = measure(path, elements, 0, true, Plant::Burst, false);
    const Figures empty = measure(emptyPath, elements, 0, true, Plant::Burst);
    for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(emptyPath + end);
    printBurst("full journal, written beside the window", full, off);
    printBurst("full journal, waited for on the window's thread (as before)", window, off);
    printBurst("empty journal, written beside the window", empty, off);
    std::printf(
        "    monitor off: longest stall %6.1f ms; of the thread's own processor time %5.1f ms\n",
        off.longestMs, off.longestCpuMs);
}

}  // namespace

int main(int argc, char** argv) {
    int cycles = 5;
    std::string dir = "/tmp";
    bool burstOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--burst")
            burstOnly = true;
        else if (a == "--cycles" && i + 1 < argc)
            cycles = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string work = dir + "/nms-bench-events-" + std::to_string(::getpid());
    std::filesystem::create_directories(work);
    const std::string loadBefore = loadAverage();
    // Where the plant's virtual clock starts: the journal ends there.
    const std::int64_t now = testing::VirtualTime::kEpochMs;

    struct Case {
        const char* what;
        int elements;
        double days;
    };
    const Case cases[] = {{"empty journal", 1000, 0},
                          {"1 day", 1000, 1},
                          {"90 days", 1000, 90},
                          {"90 days", 4000, 90}};
    std::printf(
        "Events panel: longest stall of the window's thread (gap between ticks of a 1 ms "
        "timer) over %d monitor cycles, after one to start; the window alone is the same "
        "without the panel\n",
        cycles);
    std::printf("  load average before: %s; %ld processors\n", loadBefore.c_str(),
                sysconf(_SC_NPROCESSORS_ONLN));
    double emptyMs = 0;
    int n = 0;
    const auto remove = [](const std::string& path) {
        std::filesystem::remove(path);
        std::filesystem::remove(path + "-wal");
        std::filesystem::remove(path + "-shm");
    };
    for (const auto& c : cases) {
        const bool last = &c == &cases[std::size(cases) - 1];
        if (burstOnly && !last) continue;
        const std::string path = work + "/journal-" + std::to_string(n++) + ".sqlite";
        Generated g;
        if (c.days > 0) g = generate(path, c.elements, c.days, now);
        if (burstOnly) {
            burst(path, work + "/journal-empty.sqlite", c.elements, g);
            remove(path);
            break;
        }
        const Figures alone = measure(path, c.elements, cycles, false);
        const Figures f = measure(path, c.elements, cycles, true);
        if (c.days == 0) emptyMs = f.longestMs;
        std::printf("  %s at %d elements:", c.what, c.elements);
        if (c.days > 0)
            std::printf(" %lld events (%.2f days%s), %.1f MB, generated in %.1f s",
                        static_cast<long long>(g.rows), g.days,
                        g.bounded ? ", what the size bound keeps" : "",
                        static_cast<double>(g.bytes) / 1048576.0, g.seconds);
        std::printf(
            "\n    with the panel: longest stall %6.1f ms = %5.2fx the window alone "
            "(%5.1f ms), %5.2fx the empty journal; of the thread's own processor time "
            "%5.1f ms (alone %5.1f ms)\n",
            f.longestMs, alone.longestMs > 0 ? f.longestMs / alone.longestMs : 0.0, alone.longestMs,
            emptyMs > 0 ? f.longestMs / emptyMs : 0.0, f.longestCpuMs, alone.longestCpuMs);
        std::printf(
            "    the monitor's own journal calls: slowest append %.1f ms, prune %.1f ms "
            "(alone %.1f, %.1f ms)\n",
            f.worstAppendMs, f.worstPruneMs, alone.worstAppendMs, alone.worstPruneMs);
        std::printf(
            "    first cycle (elements listed, first page read) %.1f ms, alone %.1f ms; "
            "%d rows shown; last cycle asked %d, %d replies; %lld batches written; RSS "
            "%.0f MB\n",
            f.firstMs, alone.firstMs, f.rows, f.asked, f.replies,
            static_cast<long long>(f.appended), f.rss);
        if (last) burst(path, work + "/journal-empty.sqlite", c.elements, g);
        remove(path);
    }
    std::printf("  target: <= 50 ms at 4000 elements with the 90-day journal\n");
    std::printf(
        "  before the panel read only what it shows (as measured then, 1000 elements): "
        "24-31 ms with an empty journal, 2.3-3.2 s with one day's\n");
    std::printf("  load average after: %s\n", loadAverage().c_str());
    std::filesystem::remove_all(work);
    return 0;
}
