#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/file_store.h"

namespace nms::platform {

// What decides where nms.ini lives, gathered so the choice itself can be tested.
struct DatabaseLocationInputs {
    std::vector<std::string> args;           // command-line words after the program name
    std::optional<std::string> nmsDatabase;  // $NMS_DATABASE
    std::optional<std::string> xdgDataHome;  // $XDG_DATA_HOME
    std::optional<std::string> home;         // $HOME
    std::string executableDir;               // folder of the running program
    std::string workingDir;                  // for a relative path on the command line
};

struct DatabaseLocation {
    std::string path;
    // Empty when the folder can be written; otherwise a sentence naming the path, to show once.
    std::string error;
    bool ok() const { return error.empty(); }
};

// In order: "--database PATH" (or "--database=PATH"), $NMS_DATABASE, an nms.ini that already
// stands beside the program (portable use), then $XDG_DATA_HOME/Kestrova/Vantrelo NG/nms.ini
// with ~/.local/share as the default data folder. A path naming a folder gets nms.ini added.
std::string chooseDatabasePath(const DatabaseLocationInputs& in,
                               const std::function<bool(const std::string& path)>& isFile,
                               const std::function<bool(const std::string& path)>& isFolder);

// Chooses the path and makes sure its folder exists and can be written.
DatabaseLocation locateDatabase(const DatabaseLocationInputs& in, ports::FileStore& files);

// The inputs of this process: its arguments, environment and executable.
DatabaseLocationInputs currentProcessInputs(int argc, const char* const* argv);

// The command-line words with the database option and its value taken out.
std::vector<std::string> withoutDatabaseOption(const std::vector<std::string>& args);

}  // namespace nms::platform
