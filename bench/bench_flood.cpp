// A hostile host sprays the main port with 100,000 datagrams while the station waits: on a box
// about a rejected answer, in the MAC wait, on a box during a scan, and on a box while the level
// meter runs. Prints the station's resident memory before and after (the box still open), what
// waited in the event gate at most, what was refused as it arrived, dropped at the queue's limit
// or counted as rejected, and the boxes the operator had to close. The same floods run once more
// with the bounds taken away (the acceptance filter and the queue's limit), for their memory.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "editor/frm_waiting.h"
#include "discovery/paging.h"
#include "protocol/address.h"
#include "protocol/feedback.h"
#include "support/hostile_spray.h"
#include "support/station_on_fakes.h"

namespace {

using namespace nms;
using Kind = ports::EventGate::Kind;

constexpr int kDatagrams = 100000;
constexpr const char* kDb = "/bench/nms.ini";
constexpr const char* kDatabase =
    "[00AA00000001]\nNAME=STUDIO A        "
    "\nIP=192.168.1.50\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
    "TYPE=16\nTX=0\nREMOTE=192.168.1.91\nROLE=1\nSN=1001\nVER=3.70\nSFN=0\nBUF=0\nATT=200\nLLO=0\n";

double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Answers every box; while the first one is open, `whileOpen` runs (the flood).
class Dialogs : public ports::Dialogs {
public:
    ports::Answer messageBox(const ports::MessageBox& box) override {
        ++boxes;
        if (std::getenv("NMS_BENCH_BOXES")) std::fprintf(stderr, "box: %s\n", box.text.c_str());
        if (whileOpen) std::exchange(whileOpen, nullptr)();
        return box.buttons == ports::MessageButtons::YesNo ? ports::Answer::Yes : ports::Answer::Ok;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
    std::function<void()> whileOpen;
    int boxes = 0;
};


struct Station : testing::StationOnFakes<Dialogs> {
    explicit Station(bool bounded) {
        files.editExternally(kDb, kDatabase);
        create({kDb});
        network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
        load();
        if (!bounded) {
            gate.limitQueue(Kind::Datagram, 0);
            main->udpClient.acceptIncoming = nullptr;
        }
    }
    void flood() {
        testing::HostileSpray h{{10, 9, 0}, 2, 250};
        for (int i = 0; i < kDatagrams; ++i) {
            network.deliver(2976, h.next(), "10.9.0.66");
            peakQueue = std::max(peakQueue, gate.queued());
        }
        floodedMb = residentMb();
    }
    // A whole answer from an address never paged; with serial number 0 it is rejected.
    static std::vector<std::uint8_t> stranger(std::int32_t serial) {
        protocol::FeedbackFields f;
        const std::uint8_t ip[4] = {10, 9, 0, 7}, mask[4] = {255, 255, 255, 0};
        std::memcpy(f.ip, ip, 4), std::memcpy(f.mask, mask, 4), std::memcpy(f.gateway, ip, 4);
        std::memcpy(f.remote, ip, 4);
        f.type = 16, f.role = 1, f.sn = serial, f.major = 3, f.minor = 70;
        return protocol::encodeFeedback(f);
    }
    static std::vector<std::uint8_t> rejected() { return stranger(0); }

    std::size_t peakQueue = 0;
    double floodedMb = 0;
};

void report(const char* what, bool bounded, double beforeMb, Station& s, int boxesBefore) {
    std::printf("%-26s %-9s %9.1f %9.1f %+9.1f %8zu %9llu %9llu %8s\n", what,
                bounded ? "bounded" : "unbounded", beforeMb, s.floodedMb, s.floodedMb - beforeMb,
                s.peakQueue, static_cast<unsigned long long>(s.main->udpClient.refusedDatagrams()),
                static_cast<unsigned long long>(s.gate.dropped(Kind::Datagram)),
                bounded ? std::to_string(s.dialogs.boxes - boxesBefore).c_str() : "-");
}

void rejectionBox(bool bounded) {
    const double before = residentMb();
    Station s(bounded);
    const int boxes = s.dialogs.boxes;
    s.dialogs.whileOpen = [&] { s.flood(); };
    s.network.deliver(2976, s.rejected());
    // Unbounded, a box per queued answer would follow; the figures are taken while the first
    // one is still open.
    if (!bounded) s.gate.shutDown();
    report("box about a rejection", bounded, before, s, boxes);
}

void macWait(bool bounded) {
    const double before = residentMb();
    Station s(bounded);
    const int boxes = s.dialogs.boxes;
    s.network.deliver(2976, Station::stranger(5));
    if (!s.main->waiting().isOpen()) std::fprintf(stderr, "the MAC wait did not open\n");
    s.flood();
    if (bounded) s.time.advance(21000);  // the wait ends; what was held is handled
    report("MAC wait", bounded, before, s, boxes);
    if (bounded && s.gate.queued() != 0) std::fprintf(stderr, "something is still queued\n");
}

void scanBox(bool bounded) {
    const double before = residentMb();
    Station s(bounded);
    s.gate.dispatch(Kind::Operator, [&] { s.main->Toolbar1_ButtonClick(station::toolbar::kDiscover); });
    const int boxes = s.dialogs.boxes;
    s.dialogs.whileOpen = [&] {
        s.flood();
        s.time.advance(6000);
    };
    s.network.deliver(2976, s.rejected());
    if (!bounded) s.gate.shutDown();
    report("box during a scan", bounded, before, s, boxes);
    if (bounded && s.main->paging().scanning()) std::fprintf(stderr, "the scan did not end\n");
}

void monitoringBox(bool bounded) {
    const double before = residentMb();
    Station s(bounded);
    s.gate.dispatch(Kind::Operator, [&] { s.main->TreeView1.clickNode(0); });
    s.gate.dispatch(Kind::Operator, [&] { s.main->Toolbar1_ButtonClick(station::toolbar::kStartMonitoring); });
    const int boxes = s.dialogs.boxes;
    s.dialogs.whileOpen = [&] { s.flood(); };
    s.network.deliver(2976, s.rejected());
    if (!bounded) s.gate.shutDown();
    report("box while monitoring", bounded, before, s, boxes);
}

}  // namespace

int main() {
    std::printf(
        "%d hostile datagrams to port 2976 while the station waits (resident memory in MB)\n",
        kDatagrams);
    std::printf("%-26s %-9s %9s %9s %9s %8s %9s %9s %8s\n", "while open", "station", "before",
                "after", "growth", "queued", "refused", "dropped", "boxes");
    // Each flood in a process of its own, so that one's memory does not hide the next one's.
    for (bool bounded : {true, false}) {
        for (auto* flood : {rejectionBox, macWait, scanBox, monitoringBox}) {
            std::fflush(stdout);
            const pid_t pid = ::fork();
            if (pid == 0) {
                flood(bounded);
                std::fflush(stdout);
                ::_exit(0);
            }
            ::waitpid(pid, nullptr, 0);
        }
    }
    std::printf(
        "\nbounded: as the station runs; unbounded: acceptance filter and queue limit taken away.\n"
        "queued: most events waiting in the gate at once; refused: dropped as they arrived;\n"
        "dropped: beyond the queue's limit; boxes: boxes the operator closes from the flood on\n"
        "(bounded only). NMS_BENCH_BOXES=1 prints the boxes' texts.\n");
    return 0;
}
