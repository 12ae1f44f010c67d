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

// A database as discovery writes it: a third decoders (19 keys), the rest encoders (15 keys).
std::string database(int elements) {
    std::string s;
    char key[16];
    for (int i = 0; i < elements; ++i) {
        std::snprintf(key, sizeof key, "001A2B%06X", i);
        const bool decoder = i % 3 == 0;
        s += std::string("[") + key + "]\n";
        s += "NAME=ELEMENT " + std::to_string(i) + std::string(16 - std::min<std::size_t>(16, 8 + std::to_string(i).size()), ' ') + "\n";
        s += "IP=10.20." + std::to_string((i + 2) >> 8) + "." + std::to_string((i + 2) & 0xFF) + "\n";
        s += "MASK=255.255.0.0\nGW=10.20.0.1\nINPUT=1\nTYPE=16\nTX=0\n";
        s += decoder ? "MULTI=239.192.0.1\n" : "REMOTE=10.20.0.9\n";
        s += std::string("ROLE=") + (decoder ? "2" : "1") + "\nSN=" + std::to_string(100000 + i) + "\nVER=3.70\nSFN=0\nBUF=1\n";
        if (decoder) s += "SDM=0\nSDL=37\nSDT=43\nDLY=0\n";
        s += "ATT=245\nLLO=0\n";
    }
    return s;
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
        const std::string text = database(n);
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
