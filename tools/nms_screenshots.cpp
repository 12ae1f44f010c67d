// nms-screenshots: draws the main window, the statistics window and the SFN window of the demo
// plant, as an operator would first see them, then the plant monitor running (the list grouped by
// health, the Events panel, the settings) and the help, on a light or a dark palette.
//
//   nms-screenshots OUT_DIR light|dark
//   nms-screenshots --scale IN.png OUT.png WIDTH     (a smaller copy, smoothly scaled)
//
// It runs the real station on the demo plant in a folder of its own, with a scan of two seconds,
// and answers every question of the station with Yes. Meant for QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPalette>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QTableWidget>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

#include "app/frm_main.h"
#include "monitor/plant_monitor.h"
#include "ports/dialogs.h"
#include "runtime/station_runtime.h"
#include "sfn/frm_adjust.h"
#include "station/settings_keys.h"
#include "ui/adjust_dialog.h"
#include "ui/delay_plot.h"
#include "ui/main_window.h"
#include "ui/help_window.h"
#include "ui/monitor_controls.h"
#include "ui/settings_dialog.h"
#include "ui/sfn_overview_window.h"
#include "ui/plant_windows.h"
#include "ui/statistics_dialog.h"

namespace {

using namespace nms;

// The operator who says Yes to everything.
class AgreeingDialogs : public ports::Dialogs {
public:
    ports::Answer messageBox(const ports::MessageBox& box) override {
        std::fprintf(stderr, "nms-screenshots: answered: %s\n", box.text.c_str());
        switch (box.buttons) {
            case ports::MessageButtons::YesNo:
            case ports::MessageButtons::YesNoCancel:
                return ports::Answer::Yes;
            case ports::MessageButtons::RetryCancel:
                return ports::Answer::Cancel;
            default:
                return ports::Answer::Ok;
        }
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string& proposed) override {
        return proposed;
    }
};

// Runs the event loop, in real time, until the condition holds (false after the time limit).
bool waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QEventLoop loop;
        QTimer::singleShot(25, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void pause(int ms) {
    waitFor([] { return false; }, ms);
}

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x2b, 0x2d, 0x30), base(0x1e, 0x1f, 0x22), text(0xe4, 0xe6, 0xeb);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3d, 0x41));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x35, 0x74, 0xc6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8f, 0x98));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7a, 0x7f, 0x88));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7a, 0x7f, 0x88));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7a, 0x7f, 0x88));
    p.setColor(QPalette::Link, QColor(0x6c, 0xb0, 0xff));
    return p;
}

bool save(QWidget* widget, const QString& path) {
    const bool ok = widget->grab().save(path);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                 qPrintable(path));
    return ok;
}

// What every screenshot step works on.
struct Shots {
    ui::MainWindow& window;
    app::frmMain& main;
    QString out, theme;
    std::function<void(std::function<void()>)> operatorDoes;

    // Saves the widget's picture as OUT/NAME-THEME.png.
    bool take(QWidget* widget, const char* name) const {
        return save(widget, out + "/" + name + "-" + theme + ".png");
    }
};

// The statistics window once the element has answered, and the SFN window after some measurements.
bool shootDiagnostics(Shots& s) {
    bool ok = true;
    s.window.control<QPushButton>("cmdGetStats")->click();
    pause(800);
    if (auto* statistics = s.window.statisticsDialog()) {
        ok = s.take(statistics, "statistics");
        statistics->reject();
    }
    s.window.control<QPushButton>("cmdAdjust")->click();
    if (auto* adjust = s.window.adjustDialog()) {
        for (int i = 0; i < 12; ++i) {
            s.operatorDoes([&s] { s.main.adjust().cmdRefresh.click(); });
            pause(250);
        }
        adjust->plot()->refresh();
        pause(200);
        ok = s.take(adjust, "sfn-adjustment") && ok;
        adjust->reject();
    }
    return ok;
}

// The SFN overview after a short measurement of the first stream, aligned.
bool shootSfnOverview(Shots& s) {
    auto* plant = s.window.plantWindows();
    if (!plant) return true;
    plant->showSfnOverview();
    auto* overview = plant->sfnOverviewWindow();
    if (!overview) return true;
    if (auto* seconds = overview->findChild<QSpinBox*>(QStringLiteral("seconds")))
        seconds->setValue(seconds->minimum());
    if (auto* measure = overview->findChild<QPushButton*>(QStringLiteral("cmdMeasure")))
        measure->click();
    auto align = [overview] { return overview->findChild<QPushButton*>(QStringLiteral("cmdAlign")); };
    waitFor([&] { return align() && align()->isEnabled(); }, 15000);
    if (align()) align()->click();
    pause(300);
    const bool ok = s.take(overview, "sfn-overview");
    overview->close();
    return ok;
}

// The plant monitor and its settings on a window of 1280x800: the list grouped by health, the
// counts in the status bar, an alarm acknowledged, an event chosen in the Events panel.
bool shootPlantMonitor(Shots& s) {
    s.window.resize(1280, 800);
    s.main.plantMonitor().setInterval(monitor::PlantMonitor::kMinIntervalSeconds);
    s.main.setPlantMonitoring(true);
    pause(5000);
    auto* controls = s.window.monitorControls();
    if (!controls) return true;
    controls->groupBy(QStringLiteral("health"));
    for (const auto& e : s.main.plantMonitor().elements()) {
        if (e.health == monitor::Health::Alarm) {
            s.main.plantMonitor().acknowledge(e.mac, "maria");
            break;
        }
    }
    pause(1200);
    if (auto* events = s.window.findChild<QTableWidget*>(QStringLiteral("eventsTable")))
        if (events->rowCount() > 0) events->selectRow(0);
    pause(300);
    bool ok = s.take(&s.window, "plant-monitor");
    controls->settingsAction()->trigger();
    pause(200);
    if (auto* settings = controls->settingsDialog()) {
        ok = s.take(settings, "settings") && ok;
        settings->reject();
    }
    return ok;
}

// The help, opened with F1 in the Events panel.
bool shootHelp(Shots& s) {
    auto* events = s.window.findChild<QWidget*>(QStringLiteral("eventsTable"));
    if (!events) return true;
    s.window.showHelpFor(events);
    pause(300);
    auto* help = s.window.helpWindow();
    if (!help) return true;
    const bool ok = s.take(help, "help");
    help->close();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && QString(argv[1]) == "--scale") {
        QGuiApplication gui(argc, argv);
        const QImage image(QString::fromLocal8Bit(argv[2]));
        const int width = QString(argv[4]).toInt();
        if (image.isNull() || width <= 0) return 1;
        return image.scaledToWidth(width, Qt::SmoothTransformation)
                       .save(QString::fromLocal8Bit(argv[3]), "PNG", 9)
                   ? 0
                   : 1;
    }
    if (argc != 3 || (QString(argv[2]) != "light" && QString(argv[2]) != "dark")) {
        std::fprintf(stderr, "usage: %s OUT_DIR light|dark\n", argv[0]);
        return 2;
    }
    QApplication qapp(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QString theme = QString::fromLocal8Bit(argv[2]);
    QApplication::setPalette(theme == "dark" ? darkPalette()
                                             : QApplication::style()->standardPalette());
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    QTemporaryDir folder;
    runtime::StationOptions options;
    options.demo = true;
    options.demoFolder = folder.path().toStdString();
    AgreeingDialogs dialogs;
    const char* const noArgs[] = {argv[0]};
    runtime::StationRuntime runtime(options, dialogs, 1, noArgs);
    auto& env = runtime.env();
    namespace keys = station::settings;
    env.settings.set(keys::kApp, keys::kNoticeAccepted.section, keys::kNoticeAccepted.name, "1");
    env.settings.set(keys::kApp, keys::kScanTimeout.section, keys::kScanTimeout.name, "2");

    app::frmMain main(env);
    ui::MainWindow window(main, env.gate);
    window.markSimulated();
    main.onStarted = [&] { window.show(); };
    env.gate.dispatch(ports::EventGate::Kind::Posted, [&] { main.Form_Load(); });
    if (!waitFor([&] { return main.running() && window.isVisible(); }, 5000)) {
        std::fprintf(stderr, "nms-screenshots: the station did not start\n");
        return 1;
    }
    auto operatorDoes = [&](std::function<void()> action) {
        env.gate.dispatch(ports::EventGate::Kind::Operator, std::move(action));
    };

    // Discover the plant, then show the first SFN decoder.
    operatorDoes([&] { main.Toolbar1.click(station::toolbar::kDiscover); });
    if (!waitFor([&] { return !main.AutoDiscoverAwaiting && main.TreeView1.nodeCount() > 0; },
                 20000)) {
        std::fprintf(stderr, "nms-screenshots: the discovery found nothing\n");
        return 1;
    }
    int shown = 0;
    for (int i = 0; i < main.TreeView1.nodeCount(); ++i) {
        if (main.TreeView1.nodes()[i].text.find("SFN") != std::string::npos) {
            shown = i;
            break;
        }
    }
    operatorDoes([&] { main.TreeView1.clickNode(shown); });
    pause(300);
    bool ok = save(&window, out + "/main-window-" + theme + ".png");

    Shots shots{window, main, out, theme, operatorDoes};
    ok = shootDiagnostics(shots) && ok;
    ok = shootSfnOverview(shots) && ok;
    ok = shootPlantMonitor(shots) && ok;
    ok = shootHelp(shots) && ok;
    main.setPlantMonitoring(false);
    pause(100);
    window.close();
    main.Form_Unload();
    return ok ? 0 : 1;
}
