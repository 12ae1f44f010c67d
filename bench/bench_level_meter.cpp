// The processor time of monitoring an encoder's level: the station's window on the demo plant
// (an encoder answering every 50 ms request, in the same process) against a bare Qt window that
// redraws a label and a level bar at the same 20 Hz. Each runs as a process of its own for the
// same wall time; the ratio of their processor times is the figure. It also counts the paint
// events of the diagnostics frame and of the meter's bar and label, to show what one reply
// repaints. Needs an X display (bench/bench_gui.sh starts a virtual one).
//
//   bench_level_meter [SECONDS]          the figures
//   bench_level_meter --station SECONDS  (one side, started by the harness)
//   bench_level_meter --bare SECONDS

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/frm_disclaimer.h"
#include "discovery/paging.h"
#include "station/main_toolbar.h"
#include "support/station_on_fakes.h"  // the main window model, as tests and benches reach it
#include "ui/level_bar.h"
#include "ui/main_window.h"
#include "runtime/station_runtime.h"

namespace {

using namespace nms;

double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// Counts the paint events of the widgets of interest.
class PaintCounter : public QObject {
public:
    int frame = 0, frameWhole = 0, bar = 0, label = 0, layouts = 0;
    QObject* frameWidget = nullptr;
    QObject* barWidget = nullptr;
    QObject* labelWidget = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++layouts;
        if (event->type() == QEvent::Paint) {
            if (watched == frameWidget) {
                ++frame;
                // The whole frame, not just the part behind a child that changed.
                const QRect painted = static_cast<QPaintEvent*>(event)->rect();
                if (painted.width() * painted.height() * 2 >
                    static_cast<QWidget*>(watched)->width() *
                        static_cast<QWidget*>(watched)->height())
                    ++frameWhole;
            }
            if (watched == barWidget) ++bar;
            if (watched == labelWidget) ++label;
        }
        return false;
    }
};

// Measures `seconds` of the running loop after one second of warming up; prints one line.
void measure(QApplication& app, int seconds, PaintCounter& paints,
             const std::function<int()>& replies) {
    QTimer::singleShot(1000, &app, [&app, seconds, &paints, replies] {
        const double cpuStart = cpuMs();
        const int repliesStart = replies();
        paints.frame = paints.frameWhole = paints.bar = paints.label = paints.layouts = 0;
        QTimer::singleShot(
            seconds * 1000, &app, [&app, seconds, &paints, replies, cpuStart, repliesStart] {
                const double cpu = cpuMs() - cpuStart;
                std::printf(
                    "cpu %.1f ms in %d s, replies %d, paints: frame %d (whole %d) bar %d label %d, "
                    "layouts run %d\n",
                    cpu, seconds, replies() - repliesStart, paints.frame, paints.frameWhole,
                    paints.bar, paints.label, paints.layouts);
                std::fflush(stdout);
                app.exit(0);
            });
    });
}

int runStation(int argc, char** argv, int seconds) {
    QApplication app(argc, argv);
    testing::ScriptedDialogs dialogs;
    dialogs.allowUnexpected = true;
    const char* stationArgs[] = {argv[0], "--demo"};
    auto options = runtime::parseStationOptions(2, stationArgs);
    runtime::StationRuntime runtime(options, dialogs, 2, stationArgs);
    auto& env = runtime.env();
    app::frmMain main(env);
    ui::MainWindow window(main, env.gate);
    PaintCounter paints;
    app.installEventFilter(&paints);
    paints.frameWidget = window.findChild<QWidget*>("frmDiagnostics");
    paints.barWidget = window.findChild<QWidget*>("VUMeter");
    paints.labelWidget = window.findChild<QWidget*>("lblVolume");

    int levelReplies = 0;
    main.udpClient.dataArrived.connect([&levelReplies](const ports::Datagram& d) {
        if (d.bytes.size() > 1201) ++levelReplies;
    });
    main.onStarted = [&] {
        window.resize(1280, 800);
        window.show();
        main.paging().overrideDuration(0.3);
        env.gate.dispatch(ports::EventGate::Kind::Operator, [&] { main.Toolbar1_ButtonClick(station::toolbar::kDiscover); });
    };
    // Once the scan has ended: the first encoder is shown and monitored.
    main.paging().frmPaging.onViewChanged = [&] {
        if (main.paging().frmPaging.shown()) return;
        QTimer::singleShot(0, &app, [&] {
            env.gate.dispatch(ports::EventGate::Kind::Operator, [&] {
                const auto& nodes = main.TreeView1.nodes();
                for (std::size_t i = 0; i < nodes.size(); ++i) {
                    if (nodes[i].image == station::toolbar::kPictureEncoder) {
                        main.TreeView1.clickNode(static_cast<int>(i));
                        break;
                    }
                }
                main.Toolbar1_ButtonClick(station::toolbar::kStartMonitoring);
            });
            measure(app, seconds, paints, [&levelReplies] { return levelReplies; });
        });
    };
    // The demo's own settings start without the notice dismissed: it is read and closed.
    main.disclaimer().form.onViewChanged = [&] {
        if (main.disclaimer().form.shown())
            QTimer::singleShot(0, &app, [&] { main.disclaimer().cmdClose_Click(); });
    };
    env.gate.dispatch(ports::EventGate::Kind::Posted, [&] { main.Form_Load(); });
    const int rc = app.exec();
    if (!main.ended()) main.Form_Unload();
    return rc;
}

int runBare(int argc, char** argv, int seconds) {
    QApplication app(argc, argv);
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    auto* bar = new ui::LevelBar(&window);
    auto* label = new QLabel(QStringLiteral("-oodBFS"), &window);
    row->addWidget(bar);
    row->addWidget(label);
    row->addStretch();
    window.resize(400, 60);
    window.show();
    PaintCounter paints;
    app.installEventFilter(&paints);
    paints.barWidget = bar;
    paints.labelWidget = label;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // A level that wanders as a programme does.
        ++ticks;
        const double db = -12.0 + 6.0 * std::sin(ticks * 0.37) + 2.0 * std::sin(ticks * 1.3);
        bar->setVisibleWidth(static_cast<int>(ui::LevelBar::kWidth * std::pow(10.0, db / 20.0)));
        label->setText(QString::number(std::round(db * 10.0) / 10.0) + QStringLiteral("dBFS"));
    });
    tick.start(50);
    measure(app, seconds, paints, [&ticks] { return ticks; });
    return app.exec();
}

// Runs one side as a child and returns its line of figures.
std::string runChild(const std::string& mode, int seconds, const std::string& home) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/cfg").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        const std::string self = std::filesystem::canonical("/proc/self/exe").string();
        const std::string s = std::to_string(seconds);
        ::execl(self.c_str(), self.c_str(), mode.c_str(), s.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    const auto line = out.rfind("cpu ");
    if (line == std::string::npos) return {};
    return out.substr(line, out.find('\n', line) - line);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--station")
        return runStation(argc, argv, std::atoi(argv[2]));
    if (argc == 3 && std::string(argv[1]) == "--bare")
        return runBare(argc, argv, std::atoi(argv[2]));
    if (!std::getenv("DISPLAY")) {
        std::printf(
            "bench_level_meter: skipped: no X display (bench/bench_gui.sh starts a virtual one)\n");
        return 0;
    }
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    const std::string home = std::filesystem::temp_directory_path().string() + "/nms-bench-level-" +
                             std::to_string(::getpid());
    std::filesystem::create_directories(home + "/cfg/vantrelo-nms");
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    FILE* settings = std::fopen((home + "/cfg/vantrelo-nms/Kestrova.ini").c_str(), "w");
    if (settings) {
        std::fputs("[Vantrelo%20NG]\nEULA1=1\n", settings);
        std::fclose(settings);
    }

    std::printf("level monitoring at 20 Hz for %d s (processor time of the whole process)\n",
                seconds);
    const std::string station = runChild("--station", seconds, home);
    const std::string bare = runChild("--bare", seconds, home);
    std::printf("  station window: %s\n  bare window:    %s\n", station.c_str(), bare.c_str());
    double s = 0, b = 0;
    if (std::sscanf(station.c_str(), "cpu %lf", &s) == 1 &&
        std::sscanf(bare.c_str(), "cpu %lf", &b) == 1 && b > 0) {
        std::printf("  station %.2f%% of a core, bare %.2f%%: ratio %.2fx\n", s / (seconds * 10.0),
                    b / (seconds * 10.0), s / b);
    }
    double load[3] = {};
    if (::getloadavg(load, 3) == 3)
        std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::filesystem::remove_all(home);
    return 0;
}
