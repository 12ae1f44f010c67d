// The element database's two heavy workloads, timed against the cost of the file itself:
//   (a) rebuilding the element list: all section names, then `role` and `name` of each element;
//   (b) writing whole records as discovery does: 19 keys per element, then the final save.
// Each is shown as a ratio to one plain parse (a) or one atomic save (b) of the same final file,
// next to the same work done with QSettings in INI format.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_store_linux.h"
#include "protocol/address.h"
#include "store/ini_document.h"
#include "store/profile_store.h"

#if __has_include(<QSettings>)
#include <QSettings>
#include <QString>
#define NMS_BENCH_QSETTINGS 1
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The benchmark saves explicitly with flush(); a scheduled save never comes due.
class IdleScheduler : public nms::ports::Scheduler {
public:
    TaskId callAfter(std::int64_t, std::function<void()>) override { return ++next_; }
    void cancel(TaskId) override {}

private:
    TaskId next_ = 0;
};

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Median of `reps` runs of fn, in ms.
double median(int reps, const std::function<double()>& fn) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) t.push_back(fn());
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::string elementKey(int i) {
    char buf[13];
    std::snprintf(buf, sizeof buf, "00A0%08X", static_cast<unsigned>(i) * 2654435761u);
    return buf;
}

// A decoder's record after paging, in the order the feedback handler writes it.
std::vector<std::pair<std::string, std::string>> record(int i) {
    const std::string ip = "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
                           std::to_string(i % 256);
    return {{"name", nms::protocol::FormatElementName("Studio " + std::to_string(i))},
            {"ip", ip},
            {"mask", "255.255.0.0"},
            {"gw", "10.0.0.1"},
            {"input", "1"},
            {"type", "144"},
            {"tx", "1"},
            {"multi", "239.255.255.239"},
            {"role", "2"},
            {"sn", std::to_string(100000 + i)},
            {"ver", "3.70"},
            {"sfn", "0"},
            {"buf", "4"},
            {"sdm", "0"},
            {"sdl", "37"},
            {"sdt", "43"},
            {"dly", "1200"},
            {"att", "0"},
            {"llo", "0"}};
}

struct Folder {
    Folder() {
        char pattern[] = "/tmp/nms-bench-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

// The final file of n elements, written the way the engine writes it.
std::string finalFile(int n) {
    nms::store::IniDocument doc;
    for (int i = 0; i < n; ++i)
        for (const auto& [k, v] : record(i)) {
            std::string upper = k;
            for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            doc.set(elementKey(i), upper, v);
        }
    return doc.serialize();
}

int reps(int n) { return n >= 10000 ? 5 : 15; }

struct Rebuild {
    double parse, cold, warm, qs;
};

Rebuild benchRebuild(int n) {
    Folder dir;
    const std::string path = dir.path + "/nms.ini";
    const std::string text = finalFile(n);
    nms::platform::LinuxFileStore files;
    files.replace(path, text);
    Rebuild r{};
    r.parse = median(reps(n), [&] {
        const auto t0 = Clock::now();
        auto doc = nms::store::IniDocument::parse(text);
        benchmark::DoNotOptimize(doc);
        return msSince(t0);
    });
    IdleScheduler time;
    auto rebuild = [&](nms::store::ProfileStore& db) {
        std::vector<std::string> names;
        db.LoadIniSectionsLB(names, path);
        std::size_t total = 0;
        for (const auto& s : names) {
            total += db.ReadFromINI(s, "role", path, "").size();
            total += db.ReadFromINI(s, "name", path, "").size();
        }
        benchmark::DoNotOptimize(total);
        if (names.size() != static_cast<std::size_t>(n)) std::abort();
    };
    r.cold = median(reps(n), [&] {
        const auto t0 = Clock::now();
        nms::store::ProfileStore db{files, time};
        rebuild(db);
        return msSince(t0);
    });
    nms::store::ProfileStore warmDb{files, time};
    rebuild(warmDb);
    r.warm = median(reps(n), [&] {
        const auto t0 = Clock::now();
        rebuild(warmDb);
        return msSince(t0);
    });
#ifdef NMS_BENCH_QSETTINGS
    r.qs = median(reps(n), [&] {
        const auto t0 = Clock::now();
        QSettings qs(QString::fromStdString(path), QSettings::IniFormat);
        std::size_t total = 0;
        for (const auto& g : qs.childGroups()) {
            total += qs.value(g + "/role").toString().size();
            total += qs.value(g + "/name").toString().size();
        }
        benchmark::DoNotOptimize(total);
        return msSince(t0);
    });
#endif
    return r;
}

struct Discovery {
    double save, nms, writes, qsBatched, qsSync;
    bool qsSyncExtrapolated;
    int flushes;
};

Discovery benchDiscovery(int n) {
    Folder dir;
    const std::string path = dir.path + "/nms.ini";
    nms::platform::LinuxFileStore files;
    Discovery d{};
    const std::string text = finalFile(n);
    d.save = median(reps(n), [&] {
        const auto t0 = Clock::now();
        if (!files.replace(path, text).ok) std::abort();
        return msSince(t0);
    });
    IdleScheduler time;
    // The records are made before the clock starts: only the engine's work is timed.
    std::vector<std::string> keys;
    std::vector<std::vector<std::pair<std::string, std::string>>> records;
    for (int i = 0; i < n; ++i) {
        keys.push_back(elementKey(i));
        records.push_back(record(i));
    }
    std::vector<double> writePhase;
    d.nms = median(reps(n), [&] {
        files.remove(path);
        const auto t0 = Clock::now();
        nms::store::ProfileStore db{files, time};
        db.createEmptyFile(path);
        for (int i = 0; i < n; ++i)
            for (const auto& [k, v] : records[static_cast<std::size_t>(i)])
                db.WriteToINI(keys[static_cast<std::size_t>(i)], k, v, path);
        writePhase.push_back(msSince(t0));
        if (!db.flush()) std::abort();
        return msSince(t0);
    });
    std::sort(writePhase.begin(), writePhase.end());
    d.writes = writePhase[writePhase.size() / 2];
    {
        // The saved file must be exactly the file the baseline saved.
        auto back = files.read(path, nullptr);
        if (!back || *back != text) std::abort();
    }
#ifdef NMS_BENCH_QSETTINGS
    // QSettings keeps a per-process cache of every file it has opened, so each run gets a file
    // of its own.
    int run = 0;
    auto fresh = [&] { return dir.path + "/qs" + std::to_string(++run) + ".ini"; };
    d.qsBatched = median(reps(n), [&] {
        const std::string qpath = fresh();
        const auto t0 = Clock::now();
        QSettings qs(QString::fromStdString(qpath), QSettings::IniFormat);
        for (int i = 0; i < n; ++i) {
            const QString g = QString::fromStdString(keys[static_cast<std::size_t>(i)]) + "/";
            for (const auto& [k, v] : records[static_cast<std::size_t>(i)]) qs.setValue(g + QString::fromStdString(k), QString::fromStdString(v));
        }
        qs.sync();
        return msSince(t0);
    });
    // A sync after every key rewrites the whole file each time, so its cost grows with the square
    // of the size; beyond 100 elements it is measured on the first 100 and scaled.
    const int measured = std::min(n, 100);
    double t = 0;
    {
        const std::string qpath = fresh();
        const auto t0 = Clock::now();
        QSettings qs(QString::fromStdString(qpath), QSettings::IniFormat);
        for (int i = 0; i < measured; ++i) {
            const QString g = QString::fromStdString(keys[static_cast<std::size_t>(i)]) + "/";
            for (const auto& [k, v] : records[static_cast<std::size_t>(i)]) {
                qs.setValue(g + QString::fromStdString(k), QString::fromStdString(v));
                qs.sync();
            }
        }
        t = msSince(t0);
    }
    const double scale = static_cast<double>(n) / measured;
    d.qsSync = t * scale * scale;
    d.qsSyncExtrapolated = measured != n;
#endif
    return d;
}

}  // namespace

int main() {
    const int sizes[] = {100, 1000, 10000};
    std::printf("(a) rebuilding the element list: section names, then role and name of each element\n");
    std::printf("%9s %10s %12s %7s %12s %14s %9s\n", "elements", "parse ms", "nms cold ms", "ratio", "nms warm ms",
                "QSettings ms", "vs QS");
    for (int n : sizes) {
        const auto r = benchRebuild(n);
        std::printf("%9d %10.2f %12.2f %6.2fx %12.2f %14.2f %8.1fx\n", n, r.parse, r.cold, r.cold / r.parse, r.warm,
                    r.qs, r.qs > 0 ? r.qs / r.cold : 0.0);
    }
    std::printf("\n(b) writing whole records as discovery does: 19 keys per element, then the save\n");
    std::printf("%9s %12s %10s %7s %11s %14s %18s %9s\n", "elements", "1 save ms", "nms ms", "ratio", "of which",
                "QS batched ms", "QS sync/key ms", "vs QS");
    std::printf("%9s %12s %10s %7s %11s\n", "", "", "", "", "writes ms");
    for (int n : sizes) {
        const auto d = benchDiscovery(n);
        std::printf("%9d %12.2f %10.2f %6.2fx %11.2f %14.2f %17.0f%s %8.1fx\n", n, d.save, d.nms, d.nms / d.save,
                    d.writes, d.qsBatched, d.qsSync, d.qsSyncExtrapolated ? "*" : " ", d.qsBatched > 0 ? d.qsBatched / d.nms : 0.0);
    }
    std::printf("\nratio: the engine's time over one plain parse (a) or one atomic save (b) of the same file.\n"
                "(b) nms: a fresh engine empties the file, takes every write, then flushes (one save);\n"
                "  'of which writes' is the time before that save. Saves sync to disk, so they vary with load.\n"
                "nms cold: a fresh engine that must read the file; warm: the file is already known.\n"
                "vs QS: QSettings (batched) time over the engine's time.\n"
                "* QSettings with a sync after every key, measured on 100 elements and scaled by the square\n"
                "  of the size (every sync rewrites the whole file).\n");
    return 0;
}
