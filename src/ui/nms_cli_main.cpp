// nms-cli: the station without a window, for scripts and for checking a plant end to end.
//
//   nms-cli discover [--timeout S] [--yes] [--json] [--demo] [--database PATH]
//   nms-cli list [--json] [--demo] [--database PATH]

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
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

void usage(FILE* to) {
    std::fputs(
        "usage: nms-cli discover [--timeout S] [--yes] [--json] [--demo] [--database PATH]\n"
        "       nms-cli list [--json] [--demo] [--database PATH]\n"
        "  discover  page the network once (this replaces the database) and print the elements found\n"
        "  list      print the elements of the database\n"
        "  --timeout S  scan for S seconds instead of the stored scan time-out\n"
        "  --yes        answer Yes to the station's questions (the discovery confirmation)\n"
        "  --json       print JSON instead of a table\n"
        "  --demo       work on the simulated demo plant (\"Simulated network\")\n"
        "  --verbose    also print the hints written for the window (the notice, an empty database)\n"
        "  --version    print the station's version\n"
        "  --stats      also print, to standard error, the datagrams received and dropped and how long\n"
        "               the end of the scan took (saving the database and rebuilding the tree)\n",
        to);
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

struct Row {
    std::string key, mac, name, role, ip, firmware;
    std::vector<std::pair<std::string, std::string>> record;
};

// A role as a word; the number alone means nothing to a reader of the table.
std::string roleWord(const std::string& stored) {
    const double role = protocol::text::leadingNumber(stored);
    if (role == store::record::kRoleEncoder) return "ENCODER";
    if (role == store::record::kRoleDecoder) return "DECODER";
    return "UNKNOWN";
}

bool isNumber(const std::string& v) {
    if (v.empty() || v.size() > 15) return false;
    std::size_t i = v[0] == '-' ? 1 : 0;
    if (i == v.size() || (v[i] == '0' && v.size() > i + 1)) return false;
    for (; i < v.size(); ++i)
        if (v[i] < '0' || v[i] > '9') return false;
    return true;
}

// The elements of the database, sorted by name (then MAC), each with its stored record.
std::vector<Row> rowsOf(app::frmMain& main) {
    auto& db = main.db();
    const auto& path = main.databasePath();
    std::vector<Row> rows;
    for (const auto& section : main.lstHidden.items()) {
        Row r;
        r.key = section;
        r.mac = protocol::Decode_MAC(section);
        auto read = [&](std::string_view key) { return db.ReadFromINI(section, std::string(key), path, ""); };
        r.name = protocol::text::trim(read(store::record::kName));
        r.role = roleWord(read(store::record::kRole));
        r.ip = read(store::record::kIp);
        r.firmware = read(store::record::kVersion);
        std::vector<std::string> keys;
        db.LoadIniSectionKeysLB(section, keys, path);
        for (const auto& k : keys) {
            const std::string key = protocol::text::toLower(k);
            std::string value = db.ReadFromINI(section, key, path, "");
            if (key == store::record::kName) value = protocol::text::trim(value);
            r.record.emplace_back(key, value);
        }
        rows.push_back(std::move(r));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.name != b.name ? a.name < b.name : a.mac < b.mac; });
    return rows;
}

void printTree(app::frmMain& main, bool json) {
    const auto rows = rowsOf(main);
    if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& r = rows[i];
            std::printf("%s\n  {\"key\": %s, \"mac\": %s, \"name\": %s, \"role\": %s, \"ip\": %s, \"firmware\": %s, "
                        "\"record\": {",
                        i ? "," : "", jsonString(r.key).c_str(), jsonString(r.mac).c_str(), jsonString(r.name).c_str(),
                        jsonString(r.role).c_str(), jsonString(r.ip).c_str(), jsonString(r.firmware).c_str());
            for (std::size_t k = 0; k < r.record.size(); ++k) {
                const auto& [key, value] = r.record[k];
                std::printf("%s%s: %s", k ? ", " : "", jsonString(key).c_str(),
                            isNumber(value) ? value.c_str() : jsonString(value).c_str());
            }
            std::printf("}}");
        }
        std::printf("%s]\n", rows.empty() ? "" : "\n");
        return;
    }
    std::printf("%-16s  %-8s  %-17s  %-15s  %s\n", "NAME", "ROLE", "MAC", "IP", "FIRMWARE");
    for (const auto& r : rows)
        std::printf("%-16s  %-8s  %-17s  %-15s  %s\n", r.name.c_str(), r.role.c_str(), r.mac.c_str(), r.ip.c_str(),
                    r.firmware.c_str());
    std::printf("%zu element%s\n", rows.size(), rows.size() == 1 ? "" : "s");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        usage(stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("nms-cli (Vantrelo NG NMS) %s\n", NMS_VERSION);
        return 0;
    }
    if (command != "discover" && command != "list") {
        usage(stderr);
        return 2;
    }
    bool yes = false, json = false, stats = false, verbose = false;
    double timeout = 0;
    std::vector<const char*> stationArgs = {argv[0]};
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--yes") yes = true;
        else if (a == "--json") json = true;
        else if (a == "--stats") stats = true;
        else if (a == "--verbose") verbose = true;
        else if (a == "--timeout" && i + 1 < argc) {
            timeout = protocol::text::leadingNumber(argv[++i]);
            if (timeout <= 0 || timeout > 65) {
                std::fprintf(stderr, "nms-cli: --timeout takes seconds from 0.1 to 65\n");
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("nms-cli (Vantrelo NG NMS) %s\n", NMS_VERSION);
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
    ui::ConsoleDialogs dialogs(yes, verbose);
    ui::StationRuntime runtime(options, dialogs, static_cast<int>(stationArgs.size()), stationArgs.data());
    if (!runtime.databaseProblem().empty()) std::fprintf(stderr, "nms-cli: %s\n", runtime.databaseProblem().c_str());
    auto& env = runtime.env();
    if (options.demo) std::fprintf(stderr, "nms-cli: Simulated network (the built-in demo plant; nothing goes to a real network)\n");
    if (command == "list" && !options.demo && !env.db.fileExists(env.databasePath)) {
        std::fprintf(stderr, "nms-cli: no database at %s\n", env.databasePath.c_str());
        return 1;
    }
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
            if (verbose)
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
    if (stats)
        std::fprintf(stderr, "stats: datagrams refused as they arrived %llu, dropped at the full queue %llu\n",
                     static_cast<unsigned long long>(main.udpClient.refusedDatagrams()),
                     static_cast<unsigned long long>(env.gate.dropped(ports::EventGate::Kind::Datagram)));
    main.Form_Unload();
    if (main.ended()) return runtime.exitStatus(rc == 0 ? 1 : rc);
    return rc != 0 ? rc : status;
}
