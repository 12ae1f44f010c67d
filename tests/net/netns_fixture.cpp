#include "net/netns_fixture.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#ifndef NMS_TESTBED_SCRIPT
#error "NMS_TESTBED_SCRIPT must name scripts/netns-testbed.sh"
#endif
// The element programs, empty where the build made none (the tests that need them skip).
#ifndef NMS_ELEMENT_SIM
#define NMS_ELEMENT_SIM ""
#endif
#ifndef NMS_ELEMENT_CROWD
#define NMS_ELEMENT_CROWD ""
#endif

namespace nms::nettest {

namespace {

constexpr const char* kFamily = "vnt";

// Runs argv, capturing its standard output; the exit status, or -1.
int runCapture(const std::vector<std::string>& argv, std::string* out) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0 && out) out->append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Prefixes of test beds alive in this process, for the signal handler.
std::mutex liveMutex;
std::set<std::string> livePrefixes;
char signalPrefixes[8][64];
std::atomic<int> signalPrefixCount{0};

void refreshSignalCopy() {
    int i = 0;
    for (const auto& p : livePrefixes) {
        if (i == 8) break;
        std::snprintf(signalPrefixes[i++], sizeof signalPrefixes[0], "%s", p.c_str());
    }
    signalPrefixCount = i;
}

// Interrupted (Ctrl-C, a test driver's SIGTERM): take the namespaces down before dying. Only
// async-signal-safe calls here.
void onTerminate(int sig) {
    const int count = signalPrefixCount;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            char script[] = NMS_TESTBED_SCRIPT;
            char verb[] = "destroy";
            char* args[] = {script, verb, signalPrefixes[i], nullptr};
            ::execv(script, args);
            ::_exit(127);
        }
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void installOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Namespaces of earlier runs that were killed.
        runCapture({NMS_TESTBED_SCRIPT, "destroy-stale", kFamily}, nullptr);
        ::signal(SIGINT, onTerminate);
        ::signal(SIGTERM, onTerminate);
        ::signal(SIGHUP, onTerminate);
    });
}

class NamespaceSwitch {
public:
    explicit NamespaceSwitch(const std::string& ns) {
        home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (home_ < 0 || target < 0 || ::setns(target, CLONE_NEWNET) != 0) {
            if (target >= 0) ::close(target);
            throw std::runtime_error("cannot enter network namespace " + ns + ": " + std::strerror(errno));
        }
        ::close(target);
    }
    ~NamespaceSwitch() {
        if (::setns(home_, CLONE_NEWNET) != 0) std::abort();  // never carry on in the wrong namespace
        ::close(home_);
    }

private:
    int home_ = -1;
};

}  // namespace

std::string unavailableReason() {
    if (::geteuid() != 0) return "needs root (network namespaces); run as root, as CI does";
    if (::access("/usr/sbin/ip", X_OK) != 0 && ::access("/sbin/ip", X_OK) != 0 && ::access("/usr/bin/ip", X_OK) != 0)
        return "iproute2 (ip) is not installed";
    if (::access(NMS_TESTBED_SCRIPT, X_OK) != 0) return std::string("cannot run ") + NMS_TESTBED_SCRIPT;
    return {};
}

Testbed::Testbed(int elements, int networks) {
    create({"create", std::to_string(elements), std::to_string(networks)}, static_cast<std::size_t>(networks),
           static_cast<std::size_t>(elements));
}

Testbed::Testbed(RoutedLayout layout) {
    create({"create-routed", std::to_string(layout.sites), std::to_string(layout.elements)}, 1,
           static_cast<std::size_t>(layout.elements));
    ok_ = ok_ && routers_.size() == 1 && crowds_.size() == 2;
}

void Testbed::create(const std::vector<std::string>& verb, std::size_t stations, std::size_t elements) {
    installOnce();
    static std::atomic<int> counter{0};
    prefix_ = std::string(kFamily) + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    {
        std::lock_guard lock(liveMutex);
        livePrefixes.insert(prefix_);
        refreshSignalCopy();
    }
    std::string out;
    std::vector<std::string> argv{NMS_TESTBED_SCRIPT, verb.at(0), prefix_};
    argv.insert(argv.end(), verb.begin() + 1, verb.end());
    const int status = runCapture(argv, &out);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        Host h;
        if (!(f >> h.role >> h.ns >> h.interface >> h.ip >> h.mac >> h.network)) continue;
        auto& hosts = h.role == "station" ? stations_
                      : h.role == "router"  ? routers_
                      : h.role == "crowd"   ? crowds_
                                            : elements_;
        hosts.push_back(h);
    }
    ok_ = status == 0 && stations_.size() == stations && elements_.size() == elements;
    if (!ok_) error_ = "netns-testbed.sh " + verb.at(0) + " failed (status " + std::to_string(status) + ")";
}

Testbed::~Testbed() {
    for (pid_t pid : std::vector<pid_t>(children_)) stop(pid);
    runCapture({NMS_TESTBED_SCRIPT, "destroy", prefix_}, nullptr);
    std::lock_guard lock(liveMutex);
    livePrefixes.erase(prefix_);
    refreshSignalCopy();
}

const Host& Testbed::station(int network) const { return stations_.at(static_cast<std::size_t>(network - 1)); }
const Host& Testbed::element(int index) const { return elements_.at(static_cast<std::size_t>(index - 1)); }

bool Testbed::declareSubnets(const std::vector<std::string>& subnets) const {
    std::vector<std::string> argv{NMS_TESTBED_SCRIPT, "paging-count", prefix_, "declare"};
    argv.insert(argv.end(), subnets.begin(), subnets.end());
    return runCapture(argv, nullptr) == 0;
}

Testbed::PagingCount Testbed::pagingCount() const {
    std::string out;
    PagingCount count;
    if (runCapture({NMS_TESTBED_SCRIPT, "paging-count", prefix_, "read"}, &out) == 0)
        std::sscanf(out.c_str(), "paged %lld undeclared %lld", &count.paged, &count.undeclared);
    return count;
}

std::string Testbed::vacantAddress(int network) const { return "10.203." + std::to_string(network) + ".250"; }

void Testbed::inNamespace(const std::string& ns, const std::function<void()>& fn) const {
    NamespaceSwitch inside(ns);
    fn();
}

int Testbed::run(const std::string& ns, const std::string& shellCommand) const {
    return runCapture({"ip", "netns", "exec", ns, "sh", "-c", shellCommand}, nullptr);
}

bool Testbed::setSysctl(const std::string& ns, const std::string& key, const std::string& value) const {
    bool written = false;
    inNamespace(ns, [&] {
        std::ofstream f("/proc/sys/" + key);
        f << value << '\n';
        f.flush();
        written = static_cast<bool>(f);
    });
    return written;
}

pid_t Testbed::start(const std::string& ns, const std::vector<std::string>& argv) {
    const int target = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (target < 0 || argv.empty()) return 0;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Killed with the test program, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(126);
        if (::setns(target, CLONE_NEWNET) != 0) ::_exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(target);
    if (pid < 0) return 0;
    children_.push_back(pid);
    return pid;
}

void Testbed::stop(pid_t pid) {
    std::erase(children_, pid);
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

int Testbed::wait(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            std::erase(children_, pid);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop(pid);
    return -1;
}

std::string Testbed::elementSimPath() {
    return NMS_ELEMENT_SIM;
}

std::string Testbed::elementCrowdPath() {
    return NMS_ELEMENT_CROWD;
}

pid_t Testbed::startCrowd(const std::string& ns, const std::vector<std::string>& options) {
    const std::string path = elementCrowdPath();
    if (path.empty()) return 0;
    std::vector<std::string> argv{path, "--interface", "eth0"};
    argv.insert(argv.end(), options.begin(), options.end());
    return start(ns, argv);
}

pid_t Testbed::startElementSim(int index, const std::vector<std::string>& options) {
    const std::string path = elementSimPath();
    if (path.empty()) return 0;
    const Host& e = element(index);
    std::vector<std::string> argv{path, "--ip", e.ip, "--mac", e.mac};
    argv.insert(argv.end(), options.begin(), options.end());
    return start(e.ns, argv);
}

void ensureQtApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "nms_net_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    ensureQtApplication();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    QTimer wake;  // wakes the loop so that the deadline is seen
    wake.start(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void spinFor(int ms) {
    spinUntil([] { return false; }, ms);
}

}  // namespace nms::nettest
