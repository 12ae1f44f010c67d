// Start-up of the station's window with a large database: the time from exec to the moment the
// X server maps the window, against a bare Qt program that shows a tree of as many items in a
// window of the same size. Both are timed by the same harness in the same run (median of several
// starts each), so the ratio is what matters. Needs an X display (bench/bench_gui.sh starts a
// virtual one).
//
//   bench_startup NMS_BINARY [RUNS] [OTHER_NMS] the figures; with another build of nms (an
//                                              older one), that one too, in the same alternation
//   bench_startup --bare-tree N                (the baseline program, started by the harness)

// Qt before Xlib, whose macros (Bool, Status) Qt's headers must not see.
#include <QApplication>
#include <QTreeWidget>

#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plant_database.h"

namespace {

using Clock = std::chrono::steady_clock;

int bareTree(int argc, char** argv, int items) {
    QApplication app(argc, argv);
    QTreeWidget tree;
    tree.setColumnCount(1);
    tree.setHeaderHidden(true);
    tree.setUniformRowHeights(true);
    QList<QTreeWidgetItem*> list;
    list.reserve(items);
    char mac[18];
    for (int i = 0; i < items; ++i) {
        std::snprintf(mac, sizeof mac, "00:1A:2B:%02X:%02X:%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                      i & 0xFF);
        list.append(new QTreeWidgetItem(QStringList{QString("ELEMENT %1 [%2]").arg(i).arg(mac)}));
    }
    tree.addTopLevelItems(list);
    tree.resize(1280, 800);
    tree.show();
    return app.exec();
}

// The resident memory of a process, in MiB (-1 when it cannot be read).
double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

struct Start {
    double ms = -1;   // from the fork to the mapped window
    double rss = -1;  // MiB, once the first paint after mapping is done
};

// Starts argv with env and returns the milliseconds from the fork to the first window the X
// server maps afterwards (-1 when none came within 20 s), and the program's resident memory a
// moment later, when it has drawn what it shows. The program is ended afterwards.
Start startToMappedWindow(Display* display, const std::vector<std::string>& argv,
                          const std::vector<std::string>& env) {
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);  // nothing that happened before counts
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    double ms = -1;
    const int fd = ConnectionNumber(display);
    while (ms < 0 && Clock::now() - start < std::chrono::seconds(20)) {
        while (XPending(display) > 0) {
            XEvent ev;
            XNextEvent(display, &ev);
            if (ev.type == MapNotify && !ev.xmap.override_redirect) {
                ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                break;
            }
        }
        if (ms >= 0) break;
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 50);
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "bench_startup: %s ended before it showed a window\n",
                         argv[0].c_str());
            return {};
        }
    }
    Start result{ms, -1};
    if (ms >= 0) {
        ::usleep(300 * 1000);
        result.rss = residentMiB(pid);
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return result;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

double fastest(const std::vector<double>& v) {
    return v.empty() ? -1 : *std::min_element(v.begin(), v.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--bare-tree")
        return bareTree(argc, argv, std::atoi(argv[2]));
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_startup NMS_BINARY [RUNS] [OTHER_NMS]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf(
            "bench_startup: skipped: no X display (bench/bench_gui.sh starts a virtual one)\n");
        return 0;
    }
    const std::string nms = std::filesystem::absolute(argv[1]).string();
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const std::string other =
        argc > 3 ? std::filesystem::absolute(argv[3]).string() : std::string();

    const std::string home = std::filesystem::temp_directory_path().string() +
                             "/nms-bench-startup-" + std::to_string(::getpid());
    std::filesystem::create_directories(home + "/cfg/vantrelo-nms");
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    std::ofstream(home + "/cfg/vantrelo-nms/Kestrova.ini") << "[Vantrelo%20NG]\nEULA1=1\n";
    const std::vector<std::string> env{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/cfg",
                                       "XDG_RUNTIME_DIR=" + home + "/run",
                                       "XDG_DATA_HOME=" + home + "/data"};

    std::printf("start-up to the mapped window (median of %d starts; X display %s)\n", runs,
                DisplayString(display));
    // The median is what an operator meets; the fastest start is the least disturbed by other
    // work on the machine. Both sides are taken the same way.
    std::printf("%9s %12s %12s %8s   %12s %12s %8s   %11s %11s %8s\n", "elements", "station ms",
                "bare Qt ms", "ratio", "fastest", "fastest", "ratio", "station MiB", "bare MiB",
                "ratio");
    // Resident memory beyond the bare tree's, at each size, for the memory per element.
    std::vector<std::pair<int, double>> beyond, beyondOther;
    for (int n : {1000, 10000}) {
        const std::string db = home + "/nms-" + std::to_string(n) + ".ini";
        std::ofstream(db) << bench::plantDatabase(n);
        std::vector<double> station, bare, others, stationRss, bareRss, otherRss;
        // Alternating, so that a change of the machine's load touches all alike; one start of
        // each first, unmeasured, to warm the caches.
        for (int r = -1; r < runs; ++r) {
            const Start s = startToMappedWindow(display, {nms, "--database", db}, env);
            const Start b =
                startToMappedWindow(display, {self, "--bare-tree", std::to_string(n)}, env);
            const Start o = other.empty()
                                ? Start{}
                                : startToMappedWindow(display, {other, "--database", db}, env);
            if (r < 0) continue;
            if (s.ms >= 0) station.push_back(s.ms), stationRss.push_back(s.rss);
            if (b.ms >= 0) bare.push_back(b.ms), bareRss.push_back(b.rss);
            if (o.ms >= 0) others.push_back(o.ms), otherRss.push_back(o.rss);
        }
        const double s = median(station), b = median(bare);
        const double sf = fastest(station), bf = fastest(bare);
        const double sm = median(stationRss), bm = median(bareRss);
        std::printf("%9d %12.1f %12.1f %7.2fx   %12.1f %12.1f %7.2fx   %11.1f %11.1f %7.2fx\n", n, s,
                    b, b > 0 ? s / b : 0.0, sf, bf, bf > 0 ? sf / bf : 0.0, sm, bm,
                    bm > 0 ? sm / bm : 0.0);
        beyond.emplace_back(n, sm - bm);
        if (!others.empty()) {
            const double o = median(others), of = fastest(others), om = median(otherRss);
            std::printf("%9s %12.1f %12s %7.2fx   %12.1f %12s %7.2fx   %11.1f %11s %7.2fx   (%s)\n",
                        "other", o, "", b > 0 ? o / b : 0.0, of, "", bf > 0 ? of / bf : 0.0, om, "",
                        bm > 0 ? om / bm : 0.0, other.c_str());
            beyondOther.emplace_back(n, om - bm);
        }
    }
    // What each further element costs beyond what it costs the bare tree: the growth of the
    // difference from the small plant to the large, so the window's fixed part drops out.
    auto perElement = [](const std::vector<std::pair<int, double>>& v) {
        return (v[1].second - v[0].second) * 1024.0 / (v[1].first - v[0].first);
    };
    std::printf("memory per element beyond the bare tree: %.2f KiB", perElement(beyond));
    if (beyondOther.size() == 2) std::printf(" (other: %.2f KiB)", perElement(beyondOther));
    std::printf("\n");
    std::ifstream load("/proc/loadavg");
    std::string l1, l5, l15;
    load >> l1 >> l5 >> l15;
    std::printf("load average: %s %s %s\n", l1.c_str(), l5.c_str(), l15.c_str());
    std::filesystem::remove_all(home);
    XCloseDisplay(display);
    return 0;
}
