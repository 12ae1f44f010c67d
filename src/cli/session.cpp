#include "cli/cli.h"

#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "app/frm_disclaimer.h"
#include "plant/json_reader.h"
#include "platform/qt_lifecycle.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/text.h"

namespace nms::cli {

Session::Session(const Arguments& args, const runtime::StationOptions& options, int argc,
                 char** argv)
    : app_(*QCoreApplication::instance()),
      dialogs_(args.yes, args.verbose),
      runtime_(options, dialogs_, argc, argv) {
    // `nms-cli monitor` starts the monitor itself; no other command polls the plant.
    runtime_.env().monitorAsRemembered = false;
    main_ = std::make_unique<app::frmMain>(runtime_.env());
    // The notice is a window; a script has read it in the manual.
    auto& notice = main_->disclaimer();
    notice.form.onViewChanged = [this, &notice, verbose = args.verbose] {
        if (!notice.form.shown()) return;
        if (verbose)
            std::fprintf(stderr, "%s\n%s\n", notice.Label1.caption().c_str(),
                         notice.Label2.caption().c_str());
        QTimer::singleShot(0, &app_, [&notice] { notice.cmdClose_Click(); });
    };
    readTurn_.emplace(env().db);
}

Session::~Session() {
    finish();
}

bool Session::start() {
    env().gate.dispatch(ports::EventGate::Kind::Posted, [this] { main_->Form_Load(); });
    runUntil([this] { return main_->running() || main_->ended(); }, 10000);
    return main_->running() && !main_->ended();
}

void Session::startReadOnly() {
    // Nothing to start: a reading command reads what it prints and builds no window's tree.
}

bool Session::runUntil(const std::function<bool()>& done, int ms, int pollMs) {
    // Another program may change the database while the loop runs: what the command reads after
    // it is checked again.
    readTurn_.reset();
    struct NextTurn {
        Session& session;
        ~NextTurn() { session.readTurn_.emplace(session.env().db); }
    } nextTurn{*this};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (main_ && main_->ended()) return false;
        if (stopRequested()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        QEventLoop loop;
        QTimer::singleShot(std::min<long long>(left.count(), std::max(pollMs, 1)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Session::runFor(int ms) {
    runUntil([] { return false; }, ms);
}

std::string macFromArgument(const std::string& macOrKey) {
    // An element behind a router is named by its role and serial number, hyphens and all.
    if (protocol::IsSerialKey(macOrKey)) return protocol::ElementIdentity(macOrKey);
    std::string key;
    for (char c : protocol::text::toUpper(macOrKey))
        if (c != ':' && c != '-') key += c;
    return key.size() == 12 ? protocol::ElementIdentity(key) : std::string();
}

bool Session::showElement(const std::string& macOrKey) {
    const std::string mac = macFromArgument(macOrKey);
    const auto& nodes = main_->TreeView1.nodes();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (mac.empty() || nodes[i].key != mac) continue;
        env().gate.dispatch(ports::EventGate::Kind::Operator,
                            [this, i] { main_->TreeView1.clickNode(static_cast<int>(i)); });
        return main_->panel.lblElementMAC.caption() == mac;
    }
    std::fprintf(stderr, "nms-cli: no element %s in the database (nms-cli list shows them)\n",
                 macOrKey.c_str());
    return false;
}

int Session::endedStatus() {
    // The station ends with 2 on a port it could not bind; for nms-cli 2 means a usage error.
    const int status = runtime_.exitStatus(1);
    return status == station::kExitSocketFailure ? 1 : status;
}

void Session::finish() {
    if (finished_ || !main_) return;
    finished_ = true;
    if (!main_->ended()) main_->Form_Unload();
}

bool stopRequested() {
    return platform::terminationSignal() != 0;
}

void watchStopSignals() {
    platform::noteTerminationSignals();
}

double processCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

std::string jsonString(const std::string& s) {
    return plant::json::quote(s);  // one escaper for every JSON the station writes
}

const char* timeoutRefused(const std::string& value) {
    const double seconds = protocol::text::leadingNumber(value);
    return seconds <= 0 || seconds > 65 ? "--timeout takes seconds from 0.1 to 65" : nullptr;
}

std::string ignoredNote(std::uint64_t ignored) {
    if (ignored == 0) return {};
    return " (" + std::to_string(ignored) +
           (ignored == 1 ? " other datagram" : " other datagrams") + " on port 2978 ignored)";
}

std::string jsonNumber(const std::optional<long long>& v) {
    return v ? std::to_string(*v) : "null";
}

}  // namespace nms::cli
