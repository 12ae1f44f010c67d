#pragma once

// nms-cli run as a script runs it: in folders of the test's own, its status and both outputs
// kept, for the command-line tests of every concern.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/station_home.h"

namespace nms {

struct Result {
    int status = -1;
    std::string out, err;
};

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        char tmpl[] = "/tmp/nms-cli-test-XXXXXX";
        root_ = ::mkdtemp(tmpl);
        testing::makeStationHome(root_);
    }
    ~CliTest() override { std::filesystem::remove_all(root_); }

    // Runs a program (nms-cli unless said) in the test's own folders. `prepare`, when given, runs
    // first in a child process of its own (a mount namespace, say) that then runs the program.
    Result run(const std::string& args, const std::function<bool()>& prepare = {},
               const char* program = NMS_CLI) {
        const std::string command = "env -u NMS_DATABASE HOME=" + root_ + " XDG_CONFIG_HOME=" + root_ +
                                    "/cfg XDG_DATA_HOME=" + root_ + "/data XDG_RUNTIME_DIR=" + root_ + "/run " +
                                    program + " " + args + " >" + root_ + "/out 2>" + root_ + "/err";
        Result r;
        int raw = -1;
        if (!prepare) {
            raw = std::system(command.c_str());
        } else if (const pid_t child = ::fork(); child == 0) {
            if (!prepare()) ::_exit(98);
            const int inner = std::system(command.c_str());
            ::_exit(WIFEXITED(inner) ? WEXITSTATUS(inner) : 99);
        } else if (child > 0) {
            ::waitpid(child, &raw, 0);
        }
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = read("out");
        r.err = read("err");
        return r;
    }
    std::string read(const char* name) {
        std::ifstream f(root_ + "/" + name);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string demoFolder() const { return root_ + "/run/vantrelo-nms-demo-" + std::to_string(::getuid()); }
    // Starts nms-cli in the test's own folders without waiting for it; output goes to out and err.
    pid_t start(std::vector<std::string> args) {
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        testing::enterStationHome(root_);
        if (!std::freopen((root_ + "/out").c_str(), "w", stdout) ||
            !std::freopen((root_ + "/err").c_str(), "w", stderr))
            ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(NMS_CLI)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(NMS_CLI, argv.data());
        ::_exit(127);
    }
    // Waits up to 20 s for `ready`.
    static bool waitFor(const std::function<bool()>& ready) {
        for (int i = 0; i < 400; ++i) {
            if (ready()) return true;
            ::usleep(50 * 1000);
        }
        return false;
    }

    std::string root_;
};

}  // namespace nms
