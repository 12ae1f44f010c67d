// nms-cli: the station without a window, for scripts and for checking a plant end to end.
//
//   nms-cli discover [--timeout S] [--yes] [--json] [--demo] [--database PATH]
//   nms-cli list [--json] [--demo] [--database PATH]

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include <cstdio>
#include <string>
#include <vector>

#include "app/frm_disclaimer.h"
#include "app/frm_main.h"
#include "discovery/paging.h"
#include "protocol/address.h"
#include "protocol/text.h"
#include "store/element_record.h"
#include "ui/console_dialogs.h"
#include "ui/station_runtime.h"

namespace {

using namespace nms;

void usage() {
    std::fputs(
        "usage: nms-cli discover [--timeout S] [--yes] [--json] [--demo] [--database PATH]\n"
        "       nms-cli list [--json] [--demo] [--database PATH]\n"
        "  discover  page the network once (this replaces the database) and print the elements found\n"
        "  list      print the elements of the database\n"
        "  --timeout S  scan for S seconds instead of the stored scan time-out\n"
        "  --yes        answer Yes to the station's questions (the discovery confirmation)\n"
        "  --json       print JSON instead of a table\n"
        "  --demo       work on the simulated demo plant\n"
        "  --stats      also print, to standard error, the datagrams received and dropped and how long\n"
        "               the end of the scan took (saving the database and rebuilding the tree)\n",
        stderr);
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The element tree as the window shows it, with each element's stored record.
void printTree(app::frmMain& main, bool json) {
    auto& db = main.db();
    const auto& path = main.databasePath();
    const auto& sections = main.lstHidden.items();
    const auto& nodes = main.TreeView1.nodes();
    if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < nodes.size() && i < sections.size(); ++i) {
            std::vector<std::string> keys;
            db.LoadIniSectionKeysLB(sections[i], keys, path);
            std::printf("%s\n  {\"key\": %s, \"mac\": %s, \"text\": %s, \"picture\": %d, \"record\": {", i ? "," : "",
                        jsonString(sections[i]).c_str(), jsonString(nodes[i].key).c_str(),
                        jsonString(nodes[i].text).c_str(), nodes[i].image);
            for (std::size_t k = 0; k < keys.size(); ++k) {
                const std::string key = protocol::text::toLower(keys[k]);
                std::printf("%s%s: %s", k ? ", " : "", jsonString(key).c_str(),
                            jsonString(db.ReadFromINI(sections[i], key, path, "")).c_str());
            }
            std::printf("}}");
        }
        std::printf("%s]\n", nodes.empty() ? "" : "\n");
        return;
    }
    std::printf("%s\n", main.frmTreeView.caption().c_str());
    for (std::size_t i = 0; i < nodes.size() && i < sections.size(); ++i) {
        const auto role = db.ReadFromINI(sections[i], std::string(store::record::kRole), path, "");
        const char* kind = nodes[i].image == station::toolbar::kPictureEncoder ? "ENCODER" : (role == "2" ? "DECODER" : "OTHER");
        std::printf("%-8s %-16s %-17s %-15s fw %s\n", kind,
                    protocol::text::trim(db.ReadFromINI(sections[i], std::string(store::record::kName), path, "")).c_str(),
                    nodes[i].key.c_str(), db.ReadFromINI(sections[i], std::string(store::record::kIp), path, "").c_str(),
                    db.ReadFromINI(sections[i], std::string(store::record::kVersion), path, "").c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    const std::string command = argv[1];
    if (command != "discover" && command != "list") {
        usage();
        return 2;
    }
    bool yes = false, json = false, stats = false;
    double timeout = 0;
    std::vector<const char*> stationArgs = {argv[0]};
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--yes") yes = true;
        else if (a == "--json") json = true;
        else if (a == "--stats") stats = true;
        else if (a == "--timeout" && i + 1 < argc) {
            timeout = protocol::text::leadingNumber(argv[++i]);
            if (timeout <= 0 || timeout > 65) {
                std::fprintf(stderr, "nms-cli: --timeout takes seconds from 0.1 to 65\n");
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            stationArgs.push_back(argv[i]);
            if (a == "--database" && i + 1 < argc) stationArgs.push_back(argv[++i]);
        }
    }
    auto options = ui::parseStationOptions(static_cast<int>(stationArgs.size()), stationArgs.data());
    options.freshDemoDatabase = false;
    if (!options.error.empty()) {
        std::fprintf(stderr, "nms-cli: %s\n", options.error.c_str());
        return 2;
    }

    QCoreApplication qapp(argc, argv);
    ui::ConsoleDialogs dialogs(yes);
    ui::StationRuntime runtime(options, dialogs, static_cast<int>(stationArgs.size()), stationArgs.data());
    if (!runtime.databaseProblem().empty()) std::fprintf(stderr, "nms-cli: %s\n", runtime.databaseProblem().c_str());
    auto& env = runtime.env();
    app::frmMain main(env);

    int status = 1;
    bool scanRan = false;

    // Figures for scripts that measure a plant: every datagram counted, and the scan's end timed.
    std::uint64_t received = 0;
    double scanEndMs = 0;
    auto arrival = main.udpClient.onDataArrival;
    main.udpClient.onDataArrival = [&, arrival](const ports::Datagram& d) {
        ++received;
        arrival(d);
    };
    auto scanEnd = main.paging().Timer1.onTimer;
    main.paging().Timer1.onTimer = [&, scanEnd] {
        const auto start = std::chrono::steady_clock::now();
        scanEnd();
        env.db.flush();
        scanEndMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    main.paging().frmPaging.onViewChanged = [&] {
        if (main.paging().frmPaging.shown()) {
            scanRan = true;
            return;
        }
        if (!scanRan) return;
        printTree(main, json);
        status = 0;
        QTimer::singleShot(0, &qapp, [&] { qapp.exit(0); });
    };
    main.onStarted = [&] {
        if (command == "list") {
            printTree(main, json);
            status = 0;
            QTimer::singleShot(0, &qapp, [&] { qapp.exit(0); });
            return;
        }
        if (timeout > 0) main.paging().overrideDuration(timeout);
        // After start-up has returned, as the operator's click would come.
        QTimer::singleShot(0, &qapp, [&] {
            env.gate.dispatch(ports::EventGate::Kind::Operator, [&] { main.Toolbar1_ButtonClick(1); });
            if (!scanRan) qapp.exit(1);
        });
    };
    // The notice is a window; a script has read it in the manual.
    main.disclaimer().form.onViewChanged = [&] {
        if (main.disclaimer().form.shown()) {
            std::fprintf(stderr, "%s\n%s\n", main.disclaimer().Label1.caption().c_str(),
                         main.disclaimer().Label2.caption().c_str());
            QTimer::singleShot(0, &qapp, [&] { main.disclaimer().cmdClose_Click(); });
        }
    };

    env.gate.dispatch(ports::EventGate::Kind::Posted, [&] { main.Form_Load(); });
    if (main.ended()) return runtime.exitStatus(1);
    const int rc = qapp.exec();
    if (stats)
        std::fprintf(stderr, "stats: datagrams received %llu, dropped by the kernel %llu, elements stored %d, scan end to tree %.1f ms\n",
                     static_cast<unsigned long long>(received),
                     static_cast<unsigned long long>(main.udpClient.droppedDatagrams()), main.TreeView1.nodeCount(),
                     scanEndMs);
    main.Form_Unload();
    if (main.ended()) return runtime.exitStatus(rc == 0 ? 1 : rc);
    return rc != 0 ? rc : status;
}
