#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The network-namespace test bed for tests that need real sockets: a station namespace and
// element namespaces on one or more bridged networks, made by scripts/netns-testbed.sh and
// taken down again when the Testbed goes out of scope. The names carry the test program's
// process id, so that a run that was killed is cleaned up by the next one. Root only.
namespace nms::nettest {

struct Host {
    std::string role;       // "station" or "element"
    std::string ns;         // network namespace
    std::string interface;  // inside the namespace
    std::string ip;
    std::string mac;
    int network = 0;        // 1: 10.203.1.0/24, 2: 10.203.2.0/24, ...; routed: the site (0: the station's)
};

// A station whose elements sit on site subnets behind a router (10.211.s.0/24, s = 1..sites),
// with link-only namespaces for element crowds beside the station and behind the router, and
// `elements` hosts for element daemons in the sites. See netns-testbed.sh create-routed.
struct RoutedLayout {
    int sites = 1;
    int elements = 0;
};

// Why the test bed cannot run here ("" when it can).
std::string unavailableReason();

// Skips the current test, with the reason, when the test bed cannot run; otherwise makes sure of
// the Qt application the sockets need.
#define NMS_REQUIRE_TESTBED()                                                          \
    do {                                                                               \
        const std::string why_ = ::nms::nettest::unavailableReason();                  \
        if (!why_.empty()) GTEST_SKIP() << "network-namespace test skipped: " << why_; \
        ::nms::nettest::ensureQtApplication();                                         \
    } while (0)

// The same for a test that also runs element daemons.
#define NMS_REQUIRE_ELEMENT_DAEMONS()                            \
    do {                                                         \
        NMS_REQUIRE_TESTBED();                                   \
        if (::nms::nettest::Testbed::elementSimPath().empty())   \
            GTEST_SKIP() << "vantrelo-element-sim is not built"; \
    } while (0)

class Testbed {
public:
    Testbed(int elements, int networks = 1);
    explicit Testbed(RoutedLayout layout);
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // False (see error()) when the namespaces could not be made.
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const std::string& prefix() const { return prefix_; }

    // The station's address on network k (1-based).
    const Host& station(int network = 1) const;
    // Element i (1-based).
    const Host& element(int index) const;
    const std::vector<Host>& elements() const { return elements_; }
    // Of a routed bed: its router, and the namespaces of its crowds (their interface is eth0).
    const Host& router() const { return routers_.at(0); }
    const std::string& crowdBesideStation() const { return crowds_.at(0).ns; }
    const std::string& crowdBehindRouter() const { return crowds_.at(1).ns; }
    // The router counts the paging datagrams it forwards, and those among them to an address
    // outside `subnets` (the counts start again from 0 here).
    bool declareSubnets(const std::vector<std::string>& subnets) const;
    struct PagingCount {
        long long paged = -1;
        long long undeclared = -1;
    };
    PagingCount pagingCount() const;
    // An address on network k where no host lives.
    std::string vacantAddress(int network = 1) const;

    // Runs fn with the calling thread inside namespace `ns`: sockets made there belong to it.
    void inNamespace(const std::string& ns, const std::function<void()>& fn) const;
    // Runs a shell command inside `ns`; its exit status (-1 when it could not run).
    int run(const std::string& ns, const std::string& shellCommand) const;
    // Writes a value below /proc/sys/ as seen from `ns` ("net/ipv4/ping_group_range").
    bool setSysctl(const std::string& ns, const std::string& key, const std::string& value) const;

    // Starts a program inside `ns`; it dies with the test program at the latest. 0 on failure.
    pid_t start(const std::string& ns, const std::vector<std::string>& argv);
    // Stops it (SIGTERM, then SIGKILL after a second) and reaps it.
    void stop(pid_t pid);
    // Waits for it to end by itself: its exit status (128 + signal when a signal ended it), or -1
    // when it was still running after `timeoutMs` (it is stopped then).
    int wait(pid_t pid, int timeoutMs);

    // The element simulator daemon's path ("" when it is not built).
    static std::string elementSimPath();
    // The element crowd's ("" when it is not built), and the crowd started in `ns` on its eth0
    // with these options (--first, --count ...).
    static std::string elementCrowdPath();
    pid_t startCrowd(const std::string& ns, const std::vector<std::string>& options);
    // Starts the simulator for element i with its address and MAC, plus `options`
    // (--role, --name, --fw, --tx ...).
    pid_t startElementSim(int index, const std::vector<std::string>& options);

private:
    void create(const std::vector<std::string>& verb, std::size_t stations, std::size_t elements);

    std::string prefix_;
    bool ok_ = false;
    std::string error_;
    std::vector<Host> stations_;
    std::vector<Host> elements_;
    std::vector<Host> routers_;
    std::vector<Host> crowds_;
    std::vector<pid_t> children_;
};

// The Qt application the adapters need for their event loop (made on first use).
void ensureQtApplication();
// Runs the Qt event loop until `done` holds or `timeoutMs` has passed; whether it held.
bool spinUntil(const std::function<bool()>& done, int timeoutMs);
// Runs the Qt event loop for `ms`.
void spinFor(int ms);

// A fixture whose tests each run on a test bed of their own, made by makeBed in SetUp: the test
// is skipped where no bed can run, and fails when its bed cannot be made.
class TestbedTest : public ::testing::Test {
protected:
    void makeBed(int elements, int networks = 1) {
        NMS_REQUIRE_TESTBED();
        bed = std::make_unique<Testbed>(elements, networks);
        ASSERT_TRUE(bed->ok()) << bed->error();
    }
    // Whether SetUp may go on with the bed.
    bool bedReady() const { return bed && bed->ok() && !IsSkipped() && !HasFatalFailure(); }

    std::unique_ptr<Testbed> bed;
};

}  // namespace nms::nettest
