// nms-cli: the station without a window, for scripts and for checking a plant end to end.

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "cli/cli.h"

namespace {

using namespace nms;

constexpr const char* kUsage =
    "usage: nms-cli COMMAND [options] [--demo] [--database PATH]\n"
    "commands:\n"
    "  discover [--timeout S] [--yes] [--json] [--stats] [--merge]\n"
    "        page the network once (this replaces the database) and print the elements found\n"
    "  list [--json]\n"
    "        print the elements of the database, sorted by name\n"
    "  set MAC KEY=VALUE... [--yes] [--json]\n"
    "        change settings of an element as the window's \"Save changes\" does; KEY is a key of\n"
    "        its record (name ip mask gw input type tx remote multi sfn buf sdm sdl sdt llo)\n"
    "  set MAC --from FILE:MAC|MAC [--yes] [--json]\n"
    "        give an element (a replacement unit) the settings of another record of the same\n"
    "        role, from a plant backup or the database: the configuration as \"Save changes\"\n"
    "        sends it, then the audio level and the SFN delay and servo the record holds\n"
    "  stats MAC [--json] [--reset --yes]\n"
    "        fetch an element's counters, alarms and link state (or reset its counters)\n"
    "  delay MAC [--json] [--watch S]\n"
    "        measure an SFN decoder's network delay once, or every second for S seconds\n"
    "  set-delay MAC STEPS [--servo on|off] [--clear-counters] --yes\n"
    "        set an SFN decoder's additional delay (STEPS of 100 ns, 0 to 25000)\n"
    "  monitor [--interval S] [--cycles N] [--json] [--metrics-file PATH] [--stats]\n"
    "          [--listen ADDR:PORT] [--station NAME] [--web-config FILE]\n"
    "        watch every element's health: a line per change; with --metrics-file, the figures\n"
    "        in the Prometheus text format after every cycle (for node_exporter's textfile\n"
    "        collector); with --listen, a read-only web service of the monitor (status page,\n"
    "        /metrics, JSON, a live feed) on ADDR:PORT (127.0.0.1 unless an address is given),\n"
    "        --station NAME in its figures (the host name otherwise), --web-config FILE for TLS\n"
    "        and users as node_exporter's; runs until SIGINT, SIGTERM or SIGHUP (or N cycles)\n"
    "  service [--config FILE]\n"
    "        the plant monitor as the host's system service, from its configuration file\n"
    "        (/etc/vantrelo-nms/monitor.conf): web status, metrics file, merging discovery on a\n"
    "        schedule, its files under its state folder; SIGHUP reads the file again, SIGTERM\n"
    "        ends it; it lends the element ports to a station a person starts on this host\n"
    "  events [--since ISO8601] [--element MAC] [--json]\n"
    "        the event journal: health changes and the operator's changes, newest first\n"
    "  sfn [--group ADDR] [--seconds S] [--margin-us N] [--json] [--apply --yes]\n"
    "        measure every SFN decoder of each stream for S seconds (10), propose additional\n"
    "        delays that align their totals (margin N us, 100), and with --apply --yes set them\n"
    "  backup FILE\n"
    "        write every record of the database and the plant settings to one JSON file\n"
    "  restore FILE [--yes]\n"
    "        check a backup whole, say what it replaces, and with --yes replace the database\n"
    "        with it (the previous one is kept as nms.ini.bak)\n"
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
    "ends as it normally does, its last figures written)\n"
    "list, events and backup only read, and work while a station runs\n";

// The help of one command: its lines of the list of commands, then the options every command
// takes and the exit statuses.
std::string commandUsage(const std::string& name) {
    std::string out = "usage: nms-cli " + name + " [options] [--demo] [--database PATH]\n";
    std::istringstream lines(kUsage);
    std::string line;
    bool inside = false, options = false;
    while (std::getline(lines, line)) {
        options = options || line == "options:";
        const bool commandLine = line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ';
        if (!options && commandLine)
            inside = line.compare(2, name.size() + 1, name + " ") == 0 || line.substr(2) == name;
        if (options || (inside && line.rfind("  ", 0) == 0)) out += line + "\n";
    }
    return out;
}

bool takesValue(const std::string& a) {
    return a == "--database";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return cli::kExitUsage;
    }
    cli::Arguments args;
    args.command = argv[1];
    if (args.command == "--help" || args.command == "-h" || args.command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.command == "--version") {
        std::printf("nms-cli (Vantrelo NG NMS) %s\n", NMS_VERSION);
        return 0;
    }
    static const cli::Command* const kCommands[] = {
        &cli::kDiscoverCommand, &cli::kListCommand,     &cli::kSetCommand,     &cli::kStatsCommand,
        &cli::kDelayCommand,    &cli::kSetDelayCommand, &cli::kMonitorCommand, &cli::kEventsCommand,
        &cli::kSfnCommand,      &cli::kBackupCommand,   &cli::kRestoreCommand,  &cli::kServiceCommand};
    const cli::Command* command = nullptr;
    for (const cli::Command* c : kCommands)
        if (args.command == c->name) command = c;
    if (!command) {
        std::fprintf(stderr, "nms-cli: unknown command %s\n%s", args.command.c_str(), kUsage);
        return cli::kExitUsage;
    }

    args.stationArgs = {argv[0]};
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--help" || a == "-h") {
            std::fputs(commandUsage(command->name).c_str(), stdout);
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
        } else if (const auto* o = command->option(a)) {
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
    auto options = runtime::parseStationOptions(static_cast<int>(args.stationArgs.size()),
                                                args.stationArgs.data());
    // A script's demo keeps its database from one call to the next, so that `list` shows what
    // `discover` found.
    options.freshDemoDatabase = false;
    if (!options.error.empty()) {
        std::fprintf(stderr, "nms-cli: %s\n", options.error.c_str());
        return cli::kExitUsage;
    }
    const auto words = static_cast<int>(args.positional.size());
    if (words < command->minWords || (command->maxWords >= 0 && words > command->maxWords)) {
        if (command->maxWords == 0)
            std::fprintf(stderr, "nms-cli: %s takes no %s\n", command->name,
                         args.positional.front().c_str());
        else
            std::fprintf(stderr, "nms-cli: usage: nms-cli %s %s\n", command->name, command->words);
        return cli::kExitUsage;
    }

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
    // Reading needs no lock: `list`, `events` and `backup` work while a station runs.
    if (command->readOnly) {
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

    const int status = command->run(session, args);
    if (session.main().ended()) return session.endedStatus();
    session.finish();
    if (cli::stopRequested() && !command->runsUntilStopped) {
        std::fprintf(stderr, "nms-cli: interrupted\n");
        return cli::kExitInterrupted;
    }
    return status;
}
