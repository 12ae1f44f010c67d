// Discovery burst on the in-process network: N elements answer one paging request within about
// 10 ms. Prints how many answered, how many records the database holds afterwards, the wall time
// the station spent on the burst itself, and the time from the end of the scan to the rebuilt
// tree (the database saved and the tree drawn into its model).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "crowd.h"
#include "discovery/paging.h"
#include "platform/file_store_linux.h"
#include "station/main_toolbar.h"
#include "support/station_on_fakes.h"

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
    testing::StationOnFakes<> s;
    s.dialogs.allowUnexpected = true;
    sim::VirtualLan lan(s.time, s.time, crowdOptions(100, 10000));  // every answer within 10 ms of the request
    addCrowd(lan, elements, true);
    Result r;
    lan.onFrame = [&](const sim::VirtualLan::Frame& f) {
        if (f.destinationPort == 2976 && f.sourceIp != "10.20.0.1") ++r.answered;
    };

    platform::LinuxFileStore files;
    const std::string path = folder + "/nms-" + std::to_string(elements) + ".ini";
    files.remove(path);
    files.replace(path, "");
    s.create({path, &lan, &files});
    s.load();
    s.dialogs.clearShown();

    s.operatorDoes([&] { s.main->Toolbar1_ButtonClick(station::toolbar::kDiscover); });
    const auto burst = Clock::now();
    s.time.advance(50);  // every answer has arrived and been handled
    r.burstMs = msSince(burst);
    s.time.advance(5900);
    const auto rebuild = Clock::now();
    s.time.advance(100);  // the scan ends at 6 s: save, rebuild
    s.db->flush();
    r.rebuildMs = msSince(rebuild);
    r.stored = s.main->TreeView1.nodeCount();
    r.messages = static_cast<int>(s.dialogs.shown().size());
    if (s.main->paging().scanning()) std::fprintf(stderr, "scan did not end\n");
    s.destroy();
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
