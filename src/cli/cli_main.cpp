// nms-cli: the station without a window, for scripts and for checking a plant end to end.

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

namespace {

using namespace nms;

// The commands in the order the help lists them.
const cli::Command* const kCommands[] = {
    &cli::kDiscoverCommand, &cli::kSitesCommand,    &cli::kScanCommand,    &cli::kListCommand,
    &cli::kSetCommand,      &cli::kStatsCommand,
    &cli::kDelayCommand,    &cli::kSetDelayCommand, &cli::kMonitorCommand, &cli::kServiceCommand,
    &cli::kEventsCommand,   &cli::kSfnCommand,      &cli::kBackupCommand,  &cli::kRestoreCommand};

// What the help says after the commands, whichever it shows.
constexpr const char* kCommonHelp =
    "options:\n"
    "  --yes        answer Yes to the station's questions (nothing changes on air without it)\n"
    "  --json       print JSON instead of text\n"
    "  --demo       work on the simulated demo plant (\"Simulated network\")\n"
    "  --database PATH\n"
    "               use this nms.ini (the environment variable NMS_DATABASE does the same)\n"
    "  --verbose    also print the hints written for the window (the notice, an empty database)\n"
    "  --stats      discover: also print, to standard error, the datagrams received and dropped\n"
    "               and how long the end of the scan took; monitor: each cycle's duration,\n"
    "               replies, misses and processor time\n"
    "  --version    print the station's version\n"
    "  -h, --help   print this help; after a command, only that command's\n"
    "exit status: 0 done; 1 failed; 2 usage; 3 refused before sending; 4 not confirmed by the\n"
    "element; 5 no answer in time; 130 interrupted (SIGINT, SIGTERM or SIGHUP: the command\n"
    "ends as it normally does, its last figures written)\n";

// `text` a line per "\n", the first after `first`, the others after as many spaces.
std::string indented(std::string_view text, const std::string& first) {
    std::string out;
    bool firstLine = true;
    for (;;) {
        const auto end = text.find('\n');
        out += (firstLine ? first : std::string(first.size(), ' '));
        out += text.substr(0, end);
        out += '\n';
        firstLine = false;
        if (end == std::string_view::npos) return out;
        text.remove_prefix(end + 1);
    }
}

// A command's forms, each with what it does below it; its name alone when it declares none, so
// that the help names every command there is.
std::string usageOf(const cli::Command& c) {
    if (c.usage.empty()) return "  " + std::string(c.name) + "\n";
    std::string out;
    for (const auto& u : c.usage) {
        out += indented(u.form, "  " + std::string(c.name) + " ");
        out += indented(u.description, std::string(8, ' '));
    }
    return out;
}

// The options every command takes, the exit statuses, and which commands take no lock.
std::string commonHelp() {
    std::vector<const char*> reading;
    for (const cli::Command* c : kCommands)
        if (c->readOnly) reading.push_back(c->name);
    std::string names;
    for (std::size_t i = 0; i < reading.size(); ++i) {
        if (i > 0) names += i + 1 == reading.size() ? " and " : ", ";
        names += reading[i];
    }
    return kCommonHelp + names + " take no lock: they work while a station runs\n";
}

std::string usage() {
    std::string out = "usage: nms-cli COMMAND [options] [--demo] [--database PATH]\ncommands:\n";
    for (const cli::Command* c : kCommands) out += usageOf(*c);
    return out + commonHelp();
}

// The help of one command: its forms, then the options every command takes and the exit
// statuses.
std::string commandUsage(const cli::Command& c) {
    return "usage: nms-cli " + std::string(c.name) + " [options] [--demo] [--database PATH]\n" +
           usageOf(c) + commonHelp();
}

bool takesValue(const std::string& a) {
    return a == "--database";
}

// The command's words and options, each option checked as it is read; a status when reading
// them ended nms-cli (its help, its version, a refused value).
std::optional<int> readArguments(int argc, char** argv, const cli::Command& command, cli::Arguments& args) {
    args.stationArgs = {argv[0]};
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--help" || a == "-h") {
            std::fputs(commandUsage(command).c_str(), stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("nms-cli (Vantrelo NG NMS) %s\n", NMS_VERSION);
            return 0;
        } else if (a == "--yes") {
            args.yes = true;
        } else if (a == "--json") {
            args.json = true;
        } else if (a == "--verbose") {
            args.verbose = true;
        } else if (const auto* o = command.option(a)) {
            const std::string v = o->takesValue ? value() : std::string();
            if (const char* refused = o->refuses ? o->refuses(v) : nullptr) {
                std::fprintf(stderr, "nms-cli: %s\n", refused);
                return cli::kExitUsage;
            }
            args.commandOptions.emplace_back(a, v);
        } else if (a.rfind("--", 0) == 0) {
            // The station's own options (--demo, --database PATH).
            args.stationArgs.push_back(argv[i]);
            if (takesValue(a) && i + 1 < argc) args.stationArgs.push_back(argv[++i]);
        } else {
            args.positional.push_back(a);
        }
    }
    return std::nullopt;
}

// Whether the command has as many words as it takes (said when it has not).
bool wordsFit(const cli::Command& command, const cli::Arguments& args) {
    const auto words = static_cast<int>(args.positional.size());
    if (words < command.minWords || (command.maxWords >= 0 && words > command.maxWords)) {
        if (command.maxWords == 0)
            std::fprintf(stderr, "nms-cli: %s takes no %s\n", command.name,
                         args.positional.front().c_str());
        else
            std::fprintf(stderr, "nms-cli: usage: nms-cli %s %s\n", command.name, command.words);
        return false;
    }
    return true;
}

// Starts the station as the command needs it: reading needs no lock, so `list`, `events` and
// `backup` work while a station runs. A status when it could not start.
std::optional<int> startStation(cli::Session& session, const cli::Command& command) {
    if (command.readOnly) {
        session.startReadOnly();
    } else if (!session.start()) {
        if (cli::stopRequested() && !session.main().ended()) {
            session.finish();
            std::fprintf(stderr, "nms-cli: interrupted\n");
            return cli::kExitInterrupted;
        }
        const std::string holder = session.runtime().lockHolder();
        if (!holder.empty())
            std::fprintf(stderr, "nms-cli: the station is in use by %s\n", holder.c_str());
        return session.endedStatus();
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage().c_str(), stderr);
        return cli::kExitUsage;
    }
    cli::Arguments args;
    args.command = argv[1];
    if (args.command == "--help" || args.command == "-h" || args.command == "help") {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (args.command == "--version") {
        std::printf("nms-cli (Vantrelo NG NMS) %s\n", NMS_VERSION);
        return 0;
    }
    const cli::Command* command = nullptr;
    for (const cli::Command* c : kCommands)
        if (args.command == c->name) command = c;
    if (!command) {
        std::fprintf(stderr, "nms-cli: unknown command %s\n%s", args.command.c_str(),
                     usage().c_str());
        return cli::kExitUsage;
    }

    if (const auto ended = readArguments(argc, argv, *command, args)) return *ended;
    auto options = runtime::parseStationOptions(static_cast<int>(args.stationArgs.size()),
                                                args.stationArgs.data());
    // A script's demo keeps its database from one call to the next, so that `list` shows what
    // `discover` found.
    options.freshDemoDatabase = false;
    if (!options.error.empty()) {
        std::fprintf(stderr, "nms-cli: %s\n", options.error.c_str());
        return cli::kExitUsage;
    }
    if (!wordsFit(*command, args)) return cli::kExitUsage;

    QCoreApplication qapp(argc, argv);
    QCoreApplication::setApplicationName("Vantrelo NG NMS");
    QCoreApplication::setOrganizationName("Kestrova");
    // From here a Ctrl+C, a service manager's SIGTERM or a closed terminal's SIGHUP ends the
    // command as its normal end does (figures written, lock released) instead of killing it.
    cli::watchStopSignals();
    // A command that reads lends nothing: only one that binds the element ports asks the host's
    // service for them.
    options.askServiceForPorts = !command->readOnly;
    if (command->prepare)
        if (const int status = command->prepare(args, options); status != 0) return status;
    if (options.demo)
        std::fprintf(stderr,
                     "nms-cli: Simulated network (the built-in demo plant; nothing goes to a real "
                     "network)\n");
    cli::Session session(args, options, static_cast<int>(args.stationArgs.size()),
                         const_cast<char**>(args.stationArgs.data()));
    if (!session.runtime().databaseProblem().empty())
        std::fprintf(stderr, "nms-cli: %s\n", session.runtime().databaseProblem().c_str());
    auto& env = session.env();
    if (!command->withoutDatabase && !options.demo && !env.db.fileExists(env.databasePath)) {
        std::fprintf(stderr, "nms-cli: no database at %s (nms-cli discover makes one)\n",
                     env.databasePath.c_str());
        return 1;
    }
    if (const auto ended = startStation(session, *command)) return *ended;

    const int status = command->run(session, args);
    if (session.main().ended()) return session.endedStatus();
    session.finish();
    if (cli::stopRequested() && !command->runsUntilStopped) {
        std::fprintf(stderr, "nms-cli: interrupted\n");
        return cli::kExitInterrupted;
    }
    return status;
}
