#pragma once

// A station home of its own for a program of the station that a test or a benchmark starts:
// settings (the notice already read), data, the instance lock and the demo plant below one
// folder, never the machine's.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace nms::testing {

// Makes the folders of a home below `root`.
inline void makeStationHome(const std::string& root) {
    std::filesystem::create_directories(root + "/run");
    std::filesystem::permissions(root + "/run", std::filesystem::perms::owner_all);
    std::filesystem::create_directories(root + "/cfg/vantrelo-nms");
    std::ofstream(root + "/cfg/vantrelo-nms/Kestrova.ini") << "[Vantrelo%20NG]\nEULA1=1\n";
}

// Points this process (a child about to run the program) at the home below `root`, with no
// database named by the environment.
inline void enterStationHome(const std::string& root) {
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/cfg").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    ::unsetenv("NMS_DATABASE");
}

}  // namespace nms::testing
