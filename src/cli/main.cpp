// qelv: the viewer's command-line tool. Built twice: `qelv` without the commands that play or
// encode, so that it starts without loading GStreamer (a listing is over in a few
// milliseconds, the media framework alone takes more than one to load), and `qelv-media`
// with every command, to which `qelv` hands those.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"

namespace {

using qelv::cli::Arguments;

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(const Arguments&, std::ostream&, std::ostream&);  // null: run by qelv-media
};

#ifdef QELV_CLI_MEDIA
constexpr auto kPlay = qelv::cli::runPlayCommand;
constexpr auto kDemoCard = qelv::cli::runDemoCardCommand;
constexpr auto kExport = qelv::cli::runExportCommand;
#else
constexpr int (*kPlay)(const Arguments&, std::ostream&, std::ostream&) = nullptr;
constexpr int (*kDemoCard)(const Arguments&, std::ostream&, std::ostream&) = nullptr;
constexpr int (*kExport)(const Arguments&, std::ostream&, std::ostream&) = nullptr;
#endif

constexpr std::array kCommands{
    Command{"config", "[FILE]  print the viewer configuration as JSON",
            qelv::cli::runConfigCommand},
    Command{"name", "PATH...  print what recording file names say, one JSON line each",
            qelv::cli::runNameCommand},
    Command{"play", "[--rate R] [--seconds S] [--no-sync] FRONT [REAR [THIRD]]  play headless",
            kPlay},
    Command{"export",
            "FRONT [REAR [THIRD]] --from S --to S [--layout side|pip|front] [--no-overlay] "
            "[--no-sound] [--size WxH] --out FILE.mp4  export a clip of every camera",
            kExport},
    Command{"repair",
            "[--camera front|rear] [--size-class 0-3] FILE...  write the missing index "
            "of unfinished recordings in place",
            qelv::cli::runRepairCommand},
    Command{"demo-card", "DIR [options]  write a simulated recorder card", kDemoCard},
    Command{"drives",
            "[--sysfs DIR] [--mountinfo FILE] [--swaps FILE] [--dev DIR] [--media DIR[:DIR...]]  "
            "list the card drives",
            qelv::cli::runDrivesCommand},
    Command{"scan", "(--drive ROOT | --folder DIR | --wyfs IMAGE) [options]  list recordings",
            qelv::cli::runScanCommand},
    Command{"settings",
            "[--quiet] CARD_ROOT [KEY=VALUE ...]  print or change the recorder's settings file",
            qelv::cli::runSettingsCommand},
    Command{"storage-info", "ROOT  print a mounted card's capacity and use per category",
            qelv::cli::runStorageInfoCommand},
    Command{"telemetry",
            "FILE [--format json|csv|gpx|kml]  print a recording's GPS and G-sensor records",
            qelv::cli::runTelemetryCommand},
    Command{
        "events",
        "[--sort severity|time] [--csv] [--min-severity X] [--braking KMH_PER_S] "
        "[--braking-from KMH] [--impact G] [--swerve G] (PATH... | --wyfs IMAGE [DIR/NAME...])  "
        "list the hard braking, impacts and swerves of every recording, most severe first",
        qelv::cli::runEventsCommand},
    Command{"trips",
            "[--gap SECONDS] [--braking KMH_PER_S] [--braking-from KMH] [--impact G] [--swerve G] "
            "(PATH... | --wyfs IMAGE [DIR/NAME...])  join the recordings into trips: start, end, "
            "distance, top speed, incidents",
            qelv::cli::runTripsCommand},
    Command{"wyfs", "mkfs|put|ls|get|info IMAGE ...  make and read WyFS card images",
            qelv::cli::runWyfsCommand},
};

void printHelp(std::ostream& out) {
    out << "usage: qelv COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << " " << command.summary << '\n';
    }
    out << "\nRun 'qelv COMMAND --help' for a command's options.\n";
}

// Runs the same command line in qelv-media beside this program; returns only when that fails.
int handOverToMedia(int argc, char** argv) {
    const std::string media = (qelv::cli::programFolder() / "qelv-media").string();
    std::vector<char*> arguments(argv, argv + argc);
    arguments[0] = const_cast<char*>(media.c_str());
    arguments.push_back(nullptr);
    ::execv(media.c_str(), arguments.data());
    std::cerr << "qelv: cannot start " << media << ": " << std::strerror(errno) << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printHelp(std::cerr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(std::cout);
        return 0;
    }
    const Arguments args(argv + 2, argv + argc);
    for (const Command& command : kCommands) {
        if (command.name == name) {
            return command.run != nullptr ? command.run(args, std::cout, std::cerr)
                                          : handOverToMedia(argc, argv);
        }
    }
    std::cerr << "qelv: unknown command '" << name << "'\n";
    printHelp(std::cerr);
    return 2;
}
