// qelv: the viewer's command-line tool.
#include <array>
#include <iostream>
#include <string_view>

#include "cli/commands.h"

namespace {

using qelv::cli::Arguments;

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(const Arguments&, std::ostream&, std::ostream&);
};

constexpr std::array kCommands{
    Command{"config", "[FILE]  print the viewer configuration as JSON",
            qelv::cli::runConfigCommand},
    Command{"name", "PATH...  print what recording file names say, one JSON line each",
            qelv::cli::runNameCommand},
    Command{"play", "[--rate R] [--seconds S] [--no-sync] FRONT [REAR [THIRD]]  play headless",
            qelv::cli::runPlayCommand},
    Command{"repair",
            "[--camera front|rear] [--size-class 0-3] FILE...  write the missing index "
            "of unfinished recordings in place",
            qelv::cli::runRepairCommand},
    Command{"demo-card", "DIR [options]  write a simulated recorder card",
            qelv::cli::runDemoCardCommand},
    Command{"drives", "[--sysfs DIR] [--mountinfo FILE] [--dev DIR]  list the card drives",
            qelv::cli::runDrivesCommand},
    Command{"scan", "(--drive ROOT | --folder DIR | --wyfs IMAGE) [options]  list recordings",
            qelv::cli::runScanCommand},
    Command{"telemetry",
            "FILE [--format json|csv|gpx|kml]  print a recording's GPS and G-sensor records",
            qelv::cli::runTelemetryCommand},
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
            return command.run(args, std::cout, std::cerr);
        }
    }
    std::cerr << "qelv: unknown command '" << name << "'\n";
    printHelp(std::cerr);
    return 2;
}
