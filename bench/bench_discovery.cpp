// Discovery burst on the in-process network: N elements answer one paging request within about
// 10 ms. Prints how many answered, how many records the database holds afterwards, the wall time
// the station spent on the burst itself, and the time from the end of the scan to the rebuilt
// tree (the database saved and the tree drawn into its model).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/frm_main.h"
#include "discovery/paging.h"
#include "platform/file_store_linux.h"
#include "sim/virtual_lan.h"
#include "store/profile_store.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"
#include "support/virtual_time.h"

namespace {

using namespace nms;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

struct Result {
    int answered = 0;
    int stored = 0;
    int messages = 0;
    double burstMs = 0;
    double rebuildMs = 0;
};

Result run(int elements, const std::string& folder) {
    testing::VirtualTime time;
    ports::EventGate gate;
    testing::ScriptedDialogs dialogs;
    dialogs.allowUnexpected = true;
    testing::MemorySettings settings;
    settings.set(station::settings::kApp, station::settings::kSection, "EULA1", "1");
    testing::FakeInstanceLock lock;
    testing::FakeLifecycle lifecycle;
    sim::VirtualLan::Options options;
    options.stationAddresses = {"10.20.0.1"};
    options.netmask = "255.255.0.0";
    options.minLatencyUs = 100;
    options.maxLatencyUs = 10000;  // every answer within 10 ms of the request
    sim::VirtualLan lan(time, time, options);
    for (int i = 0; i < elements; ++i) {
        sim::ElementIdentity id;
        id.name = "ELEMENT " + std::to_string(i);
        id.role = i % 3 == 0 ? sim::Role::Decoder : sim::Role::Encoder;
        id.serial = 100000 + i;
        const int host = i + 2;
        id.ip = {10, 20, static_cast<std::uint8_t>(host >> 8), static_cast<std::uint8_t>(host & 0xFF)};
        id.gateway = {10, 20, 0, 1};
        id.mask = {255, 255, 0, 0};
        id.mac = {0x00, 0x1A, 0x2B, 0x70, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF)};
        sim::ElementSettings s;
        s.remote = {239, 192, 0, 1};
        s.tx = id.role == sim::Role::Decoder ? 0 : static_cast<std::uint8_t>(i % 2);
        lan.addElement(id, s);
    }
    Result r;
    lan.onFrame = [&](const sim::VirtualLan::Frame& f) {
        if (f.destinationPort == 2976 && f.sourceIp != "10.20.0.1") ++r.answered;
    };

    platform::LinuxFileStore files;
    const std::string path = folder + "/nms-" + std::to_string(elements) + ".ini";
    files.remove(path);
    files.replace(path, "");
    store::ProfileStore db(files, time);
    station::StationEnv env{time, time, gate, dialogs, settings, lock, lifecycle, lan, db, path, ""};
    app::frmMain main(env);
    gate.dispatch(ports::EventGate::Kind::Posted, [&] { main.Form_Load(); });
    dialogs.clearShown();

    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main.Toolbar1_ButtonClick(1); });
    const auto burst = Clock::now();
    time.advance(50);  // every answer has arrived and been handled
    r.burstMs = msSince(burst);
    time.advance(5900);
    const auto rebuild = Clock::now();
    time.advance(100);  // the scan ends at 6 s: save, rebuild
    db.flush();
    r.rebuildMs = msSince(rebuild);
    r.stored = main.TreeView1.nodeCount();
    r.messages = static_cast<int>(dialogs.shown().size());
    if (main.paging().scanning()) std::fprintf(stderr, "scan did not end\n");
    files.remove(path);
    return r;
}

}  // namespace

int main() {
    const std::string folder = std::filesystem::temp_directory_path().string() + "/nms-bench-discovery";
    std::filesystem::create_directories(folder);
    std::printf("discovery burst on the virtual LAN (answers within 10 ms, database on disk)\n");
    std::printf("%9s %9s %9s %8s %12s %22s\n", "elements", "answered", "stored", "stored%", "burst ms",
                "scan end -> tree ms");
    for (int n : {1000, 4000}) {
        const auto r = run(n, folder);
        std::printf("%9d %9d %9d %7.1f%% %12.1f %22.1f%s\n", n, r.answered, r.stored, 100.0 * r.stored / n,
                    r.burstMs, r.rebuildMs, r.messages ? "  (messages shown!)" : "");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
