// The main socket's dispatch into a whole main window on the test fakes, with a stored
// database: datagrams of every length and content, plausible answers from known and unknown
// addresses with names full of control bytes and brackets, scans, saves, monitoring, the MAC
// wait, and events that arrive while a box is open. Whatever comes, the station runs on, what
// waits in the queue stays bounded, and the database holds only element records.
#include <cstring>
#include <set>

#include "editor/frm_waiting.h"
#include "discovery/paging.h"
#include "fuzz_support.h"
#include "protocol/address.h"
#include "protocol/feedback.h"
#include "station/main_toolbar.h"
#include "store/ini_document.h"

namespace {

using nms::fuzz::check;
using Kind = nms::ports::EventGate::Kind;

constexpr const char* kDatabase =
    "[00AA00000001]\nNAME=STUDIO A        "
    "\nIP=192.168.1.50\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=1\n"
    "TYPE=16\nTX=0\nREMOTE=192.168.1.91\nROLE=1\nSN=1001\nVER=3.70\nSFN=0\nBUF=0\nATT=200\nLLO=0\n"
    "[00AA00000002]\nNAME=TX EAST         "
    "\nIP=192.168.1.60\nMASK=255.255.255.0\nGW=192.168.1.1\nINPUT=0\n"
    "TYPE=16\nTX=1\nMULTI=239.1.1.1\nROLE=2\nSN=2002\nVER=3.70\nSFN=1\nBUF=4\nSDM=0\nSDL=37\nSDT="
    "43\nDLY=0\n"
    "ATT=245\nLLO=0\n";
const char* const kAddresses[] = {"192.168.1.50", "192.168.1.60", "192.168.1.77",
                                  "10.0.0.1",     "0.0.0.0",      "255.255.255.255"};
const std::set<std::string> kRecordKeys = {
    "NAME", "IP",  "MASK", "GW",  "INPUT", "TYPE", "TX",  "MULTI", "REMOTE", "ROLE", "SN",
    "VER",  "SFN", "BUF",  "SDM", "SDL",   "SDT",  "DLY", "ATT",   "LLO",    "SRV",  "BOUND"};

class Driver {
public:
    Driver(nms::fuzz::Bytes& in) : in_(in), s_(kDatabase) {
        s_.network.macs["192.168.1.50"] = {0x00, 0xAA, 0, 0, 0, 0x01};
        s_.network.macs["192.168.1.60"] = {0x00, 0xAA, 0, 0, 0, 0x02};
        s_.dialogs.whileOpen = [this](const nms::ports::MessageBox&) { inBox(); };
        check(s_.main->running(), "the station starts");
    }

    void run() {
        for (int step = 0; !in_.empty() && step < 200; ++step) {
            op();
            checkBounded();
        }
        // Everything that can still happen does: waits end, scans end, queues drain.
        s_.operatorDoes([&] { s_.main->Toolbar1.click(nms::station::toolbar::kStopMonitoring); });
        s_.dialogs.whileOpen = nullptr;
        for (int i = 0; i < 4; ++i) s_.time.advance(30000);
        check(!s_.main->waiting().isOpen() && !s_.main->paging().scanning(), "every wait ends");
        check(s_.gate.queued() == 0 && !s_.gate.isHeld(Kind::Datagram), "nothing is left waiting");
        checkDatabase();
    }

private:
    void op() {
        switch (in_.pick(12)) {
            case 0:
                deliver(in_.take(in_.byte() % 64));
                break;
            case 1: {
                auto reply = in_.take(in_.byte());
                reply.resize(1202 + in_.byte(), 0);
                deliver(std::move(reply));
                break;
            }
            case 2:
                deliver(answer());
                break;
            case 3:
                s_.time.advance(in_.byte() * 50);
                s_.network.sent.clear();  // level requests pile up while monitoring runs
                break;
            case 4:
                s_.operatorDoes([&, n = static_cast<int>(in_.pick(3))] {
                    if (n < s_.main->TreeView1.nodeCount()) s_.main->TreeView1.clickNode(n);
                });
                break;
            case 5: {
                namespace tb = nms::station::toolbar;
                static const int kButtons[] = {tb::kDiscover, tb::kRefresh, tb::kSave, tb::kStartMonitoring,
                                               tb::kStopMonitoring};
                s_.operatorDoes([&, b = kButtons[in_.pick(5)]] { s_.main->Toolbar1.click(b); });
                break;
            }
            case 6:
                pendingInBox_ = 1 + in_.byte() % 16;
                break;
            case 7:
                if (in_.flag())
                    s_.operatorDoes([&] { s_.main->waiting().form.closeByOperator(); });
                else
                    s_.operatorDoes([&] { s_.main->paging().frmPaging.closeByOperator(); });
                break;
            case 8: {
                const std::string ip = kAddresses[in_.pick(std::size(kAddresses))];
                auto mac = in_.take(6);
                mac.resize(6, 0);
                s_.network.macs[ip] = mac;
                break;
            }
            case 9: {
                std::string text;
                for (auto b : in_.take(in_.byte() % 24)) text.push_back(static_cast<char>(b));
                s_.operatorDoes([&, text] {
                    s_.main->panel.txtElementName.setText(text, nms::ports::Origin::Operator);
                });
                break;
            }
            case 10:
                // A spray of the last datagram: beyond what may wait in the queue, within what
                // keeps a run short.
                for (int n = in_.byte() + 1; n > 0 && !last_.empty() && sprayed_ < 3000;
                     --n, ++sprayed_)
                    deliver(last_);
                break;
            case 11: {
                std::string text;
                for (auto b : in_.take(in_.byte() % 8)) text.push_back(static_cast<char>(b));
                s_.dialogs.inputAnswer =
                    in_.flag() ? std::optional<std::string>(text) : std::nullopt;
                break;
            }
        }
    }

    // A plausible element answer whose fields the fuzzer chooses, from one of a few addresses.
    std::vector<std::uint8_t> answer() {
        nms::protocol::FeedbackFields f;
        const auto ip = nms::protocol::IPBytes(kAddresses[in_.pick(std::size(kAddresses))]);
        std::memcpy(f.ip, ip.data(), 4);
        const std::uint8_t mask[4] = {255, 255, 255, 0}, gw[4] = {192, 168, 1, 1};
        std::memcpy(f.mask, mask, 4);
        std::memcpy(f.gateway, gw, 4);
        const auto remote = in_.take(4);
        std::copy(remote.begin(), remote.end(), f.remote);
        f.input = in_.byte() % 3, f.type = in_.byte(), f.tx = in_.byte() % 3;
        const auto name = in_.take(16);  // control bytes, "[", "]", "=" and newlines included
        std::memset(f.name, ' ', 16);
        std::copy(name.begin(), name.end(), f.name);
        f.role = static_cast<std::uint8_t>(in_.pick(4));
        f.sn = static_cast<std::int32_t>(in_.u16()) - 100;
        f.major = 3, f.minor = static_cast<std::uint8_t>(in_.pick(100));
        f.sfn = in_.byte(), f.buf = in_.byte(), f.llo = in_.byte(), f.att = in_.byte();
        f.sdm = in_.byte(), f.sdl = in_.byte(), f.sdt = in_.byte();
        f.delayNs = static_cast<std::int32_t>(in_.u32());
        const std::size_t length = in_.flag() ? 0 : 1 + in_.pick(56);
        return nms::protocol::encodeFeedback(f, length);
    }

    void deliver(std::vector<std::uint8_t> bytes) {
        last_ = bytes;
        s_.network.deliver(2976, std::move(bytes), "192.168.1.200");
    }

    // Events of the script arrive while this box is open, as they would behind a real one.
    void inBox() {
        checkBounded();
        if (nested_ || pendingInBox_ == 0) return;
        nested_ = true;
        for (int n = std::exchange(pendingInBox_, 0); n > 0 && !in_.empty(); --n) {
            op();
            checkBounded();
        }
        nested_ = false;
    }

    void checkBounded() {
        check(s_.gate.queued(Kind::Datagram) <= nms::ports::EventGate::kDatagramQueueLimit,
              "queue bounded");
        check(!s_.main->ended(), "the station runs on");
    }

    void checkDatabase() {
        const std::string text = s_.file();
        const auto doc = nms::store::IniDocument::parse(text);
        check(doc.serialize() == text, "the file is what the engine writes");
        for (const auto& section : doc.sections()) {
            check(section.name.size() == 12, "a section is an element key");
            for (char c : section.name)
                check((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), "hex key");
            for (const auto& e : section.entries) {
                check(!e.raw, "no line but key=value");
                check(kRecordKeys.count(std::string(e.key())) == 1, "only record keys");
                for (unsigned char c : e.value())
                    check(c >= 0x20 && c != 0x7F, "no control byte in a value");
            }
        }
    }

    nms::fuzz::Bytes& in_;
    nms::fuzz::Station s_;
    std::vector<std::uint8_t> last_;
    int pendingInBox_ = 0;
    int sprayed_ = 0;
    bool nested_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);
    Driver(in).run();
    return 0;
}
