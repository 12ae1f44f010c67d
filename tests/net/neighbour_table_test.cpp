#include "platform/neighbour_table_linux.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "protocol/arp.h"

namespace nms::platform {
namespace {

// Two network namespaces joined by a veth pair, with private addresses that exist only inside
// them: 10.204.77.1 (ours), 10.204.77.2 (the peer) and nobody at 10.204.77.3. Everything is
// removed when the object goes, on SIGINT/SIGTERM, and (for a run that was killed) by the next
// run, which deletes the namespaces of test processes that no longer exist.
class VethPair {
public:
    static constexpr const char* kOurs = "10.204.77.1";
    static constexpr const char* kPeer = "10.204.77.2";
    static constexpr const char* kVacant = "10.204.77.3";

    VethPair() {
        removeStale();
        const std::string id = std::to_string(::getpid());
        a_ = kFamily + id + "a";
        b_ = kFamily + id + "b";
        registerForSignals();
        ok_ = sh("ip netns add " + a_) && sh("ip netns add " + b_) &&
              sh("ip -n " + a_ + " link add nva type veth peer name nvb netns " + b_) &&
              sh("ip -n " + a_ + " addr add " + kOurs + "/24 dev nva") &&
              sh("ip -n " + b_ + " addr add " + kPeer + "/24 dev nvb") &&
              sh("ip -n " + a_ + " link set nva up") && sh("ip -n " + b_ + " link set nvb up") &&
              sh("ip -n " + a_ + " link set lo up") && sh("ip -n " + b_ + " link set lo up");
    }
    ~VethPair() { tearDown(a_, b_); }

    bool ok() const { return ok_; }
    const std::string& ours() const { return a_; }
    const std::string& peer() const { return b_; }

    // The peer's MAC text as the kernel reports it, upper-cased.
    std::string peerMac() const {
        std::string mac = capture("ip netns exec " + b_ + " cat /sys/class/net/nvb/address");
        for (auto& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return mac;
    }
    // A datagram from one namespace to the other, which needs the peer's address resolved
    // (ping may not be installed; bash's /dev/udp always is where bash is).
    bool sendTraffic(const std::string& from, const std::string& to) const {
        return sh("ip netns exec " + from + " bash -c 'echo hello >/dev/udp/" + to + "/9' 2>/dev/null");
    }

    static bool sh(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }
    static std::string capture(const std::string& cmd) {
        std::string out;
        if (FILE* p = ::popen(cmd.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) out += buf;
            ::pclose(p);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }

private:
    static constexpr const char* kFamily = "nmsnt";

    static void tearDown(const std::string& a, const std::string& b) {
        // Deleting a namespace also deletes the veth end inside it.
        sh("ip netns del " + a + " 2>/dev/null");
        sh("ip netns del " + b + " 2>/dev/null");
    }

    static void removeStale() {
        std::istringstream list(capture("ip netns list 2>/dev/null"));
        std::string line;
        while (std::getline(list, line)) {
            const std::string name = line.substr(0, line.find(' '));
            if (name.rfind(kFamily, 0) != 0 || name.size() < std::string(kFamily).size() + 2) continue;
            const std::string digits = name.substr(std::string(kFamily).size(), name.size() - 6);
            const pid_t pid = static_cast<pid_t>(std::atoi(digits.c_str()));
            if (pid > 0 && ::kill(pid, 0) != 0) sh("ip netns del " + name + " 2>/dev/null");
        }
    }

    static void onSignal(int sig) {
        // Not async-signal-safe in theory; the process is about to die anyway and leaving the
        // namespaces behind is the worse outcome.
        const std::string id = std::to_string(::getpid());
        tearDown(kFamily + id + "a", kFamily + id + "b");
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
    static void registerForSignals() {
        ::signal(SIGINT, onSignal);
        ::signal(SIGTERM, onSignal);
    }

    std::string a_, b_;
    bool ok_ = false;
};

// Runs `fn` in a child process that has entered namespace `ns`, so that the test process itself
// never leaves its own; the child's text result comes back through a pipe.
std::string insideNamespace(const std::string& ns, std::string (*fn)()) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result;
        const int nsFd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0) result = "cannot enter namespace";
        else result = fn();
        (void)!::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return out;
}

// Asks the way the station's MAC wait does: repeatedly, with a pause between attempts.
std::string lookupWithRetries(const char* ip, int attempts) {
    LinuxNeighbourTable table;
    std::string mac = "none";
    for (int i = 0; i < attempts; ++i) {
        if (protocol::LookupMAC(table, ip, mac, ":")) return mac;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return mac;
}

class NeighbourTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "neighbour table test skipped: needs root to create network namespaces";
        if (!VethPair::sh("ip netns list >/dev/null 2>&1"))
            GTEST_SKIP() << "neighbour table test skipped: iproute2 (ip netns) is not available";
        pair_ = std::make_unique<VethPair>();
        ASSERT_TRUE(pair_->ok()) << "could not build the two namespaces";
    }
    std::unique_ptr<VethPair> pair_;
};

TEST_F(NeighbourTableTest, FindsThePeersMacAfterTraffic) {
    ASSERT_TRUE(pair_->sendTraffic(pair_->ours(), VethPair::kPeer));
    // The answer to the kernel's ARP request may take a moment to arrive.
    const std::string mac = insideNamespace(pair_->ours(), [] { return lookupWithRetries(VethPair::kPeer, 30); });
    EXPECT_EQ(mac, pair_->peerMac());
    EXPECT_EQ(mac.size(), 17u);
}

TEST_F(NeighbourTableTest, AMissingEntryIsResolvedForTheNextAttempt) {
    // No traffic beforehand: the first lookup finds nothing and starts resolution itself.
    const std::string mac = insideNamespace(pair_->ours(), [] {
        LinuxNeighbourTable table;
        std::string first = "none";
        if (protocol::LookupMAC(table, VethPair::kPeer, first, ":")) return std::string("found at once");
        return lookupWithRetries(VethPair::kPeer, 30);
    });
    EXPECT_EQ(mac, pair_->peerMac());
}

TEST_F(NeighbourTableTest, AnAddressWithNoHostGivesNothing) {
    const std::string mac = insideNamespace(pair_->ours(), [] { return lookupWithRetries(VethPair::kVacant, 15); });
    EXPECT_EQ(mac, "none");
}

}  // namespace
}  // namespace nms::platform
