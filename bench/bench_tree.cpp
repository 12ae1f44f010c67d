// Rebuilding the element tree from the database: the core rebuild alone (no drawing), against
// one plain parse of the same file, and the whole rebuild drawn by the Qt tree (offscreen).

#include <QApplication>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plant_database.h"

#include "platform/file_store_linux.h"
#include "sim/virtual_lan.h"
#include "store/ini_document.h"
#include "support/station_on_fakes.h"
#include "ui/main_window.h"

namespace {

using namespace nms;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

template <class F>
double medianMs(int runs, F f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        t.push_back(msSince(start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const std::string folder = std::filesystem::temp_directory_path().string() + "/nms-bench-tree";
    std::filesystem::create_directories(folder);

    std::printf("element tree rebuild (median of 5 runs; database on disk)\n");
    std::printf("%9s %12s %15s %8s %18s\n", "elements", "parse ms", "rebuild ms", "ratio", "drawn by Qt ms");
    for (int n : {1000, 10000}) {
        const std::string text = bench::plantDatabase(n);
        const std::string path = folder + "/nms.ini";
        platform::LinuxFileStore files;
        files.replace(path, text);
        const double parse = medianMs(5, [&] { auto doc = store::IniDocument::parse(text); (void)doc; });

        testing::StationOnFakes<> station;
        station.dialogs.allowUnexpected = true;
        sim::VirtualLan lan(station.time, station.time);
        station.create({path, &lan, &files});
        auto& main = *station.main;
        main.Form_Load();
        const double core = medianMs(5, [&] { main.Load_Config(); });

        {
            ui::MainWindow window(main, station.gate);
            window.resize(1280, 800);
            window.show();
            QApplication::processEvents();
            auto* tree = window.findChild<QTreeView*>("TreeView1");
            const double drawn = medianMs(5, [&] {
                main.Load_Config();
                if (tree) tree->repaint();
                QApplication::processEvents();
            });
            std::printf("%9d %12.2f %15.2f %7.2fx %18.2f\n", n, parse, core, core / parse, drawn);
            main.Form_Unload();
        }
        // The station goes before the virtual LAN its sockets are on.
        station.destroy();
    }
    std::filesystem::remove_all(folder);
    return 0;
}
